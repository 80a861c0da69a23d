// What utf8proc does for the text room in the native build, done with the
// browser's own Unicode tables (String.prototype.normalize and the Unicode
// property escapes of regular expressions). Linked into the module with
// --js-library; combining_mark_browser.cpp and folded_text_browser.cpp
// declare these functions and say what they do.

mergeInto(LibraryManager.library, {
    // The coders and patterns every call uses, made on the first call, and
    // the clusters made so far: a file puts the same few accents on the
    // same few letters over and over.
    $bibsourcesUnicode: function () {
        return Module["bibsourcesUnicode"] || (Module["bibsourcesUnicode"] = {
            decoder: new TextDecoder("utf-8", { fatal: false }),
            strictDecoder: new TextDecoder("utf-8", { fatal: true }),
            encoder: new TextEncoder(),
            cluster: /^[\p{L}\p{Nd}]\p{M}*/u,
            marks: /\p{M}/gu,
            clustersMade: new Map(),
        });
    },

    // `mark` put on `cluster` (a letter or digit and the marks on it):
    // {clusterBytes, composed (UTF-8), decomposedLength}.
    $bibsourcesMarkedCluster__deps: ["$bibsourcesUnicode"],
    $bibsourcesMarkedCluster: function (cluster, mark) {
        const unicode = bibsourcesUnicode();
        const key = cluster + "\0" + mark;
        const kept = unicode.clustersMade.get(key);
        if (kept !== undefined) {
            return kept;
        }
        const markText = String.fromCodePoint(mark).normalize("NFD");
        const decomposed = Array.from((cluster + markText).normalize("NFD"));
        // Canonical ordering moves a mark only past marks of a higher class:
        // one that stays behind U+0301 (class 230) in either order but moves
        // in front of U+0315 (232) has class 230 itself, and goes above.
        const keeps = (before, after) => (before + after).normalize("NFD") === before.normalize("NFD") + after;
        const goesAbove = keeps("a" + markText, "\u0301") && keeps("a\u0301", markText) && !keeps("a\u0315", markText);
        if (goesAbove && (decomposed[0] === "\u0131" || decomposed[0] === "\u0237")) {
            decomposed[0] = decomposed[0] === "\u0131" ? "i" : "j";
        }
        const made = {
            clusterBytes: unicode.encoder.encode(cluster).length,
            composed: unicode.encoder.encode(decomposed.join("").normalize("NFC")),
            decomposedLength: decomposed.length,
        };
        // A file of ever new clusters keeps no more than this many.
        if (unicode.clustersMade.size >= 4096) {
            unicode.clustersMade.clear();
        }
        unicode.clustersMade.set(key, made);
        return made;
    },

    // The letter or digit that starts the `length` bytes at `text`, with the
    // marks on it; null when they start with neither. Most accents go on an
    // ASCII letter with no mark yet, which needs no decoding: no ASCII byte
    // is a mark, and the only ASCII letters and digits are A-Z, a-z, 0-9.
    $bibsourcesClusterAt__deps: ["$bibsourcesUnicode"],
    $bibsourcesClusterAt: function (text, length) {
        const first = HEAPU8[text];
        if (first < 0x80 && (length === 1 || HEAPU8[text + 1] < 0x80)) {
            const letter = String.fromCharCode(first);
            return /[A-Za-z0-9]/.test(letter) ? letter : null;
        }
        const head = bibsourcesUnicode().decoder.decode(HEAPU8.subarray(text, text + length));
        const cluster = bibsourcesUnicode().cluster.exec(head);
        return cluster ? cluster[0] : null;
    },

    bibsources_mark_cluster__deps: ["$bibsourcesUnicode", "$bibsourcesMarkedCluster", "$bibsourcesClusterAt"],
    bibsources_mark_cluster: function (text, length, mark, out, outCapacity, replaced) {
        const unicode = bibsourcesUnicode();
        const cluster = bibsourcesClusterAt(text, length);
        if (cluster === null) {
            return -1;
        }
        const { clusterBytes, composed, decomposedLength } = bibsourcesMarkedCluster(cluster, mark);
        if (clusterBytes > outCapacity - 4 || decomposedLength > 16 || composed.length > outCapacity) {
            return -1;
        }
        HEAPU8.set(composed, out);
        HEAP32[replaced >> 2] = clusterBytes;
        return composed.length;
    },

    bibsources_folded_text__deps: ["$bibsourcesUnicode", "malloc"],
    bibsources_folded_text: function (text, length, foldedLength) {
        const unicode = bibsourcesUnicode();
        let word;
        try {
            word = unicode.strictDecoder.decode(HEAPU8.subarray(text, text + length));
        } catch (notUtf8) {
            return 0;
        }
        const folded = word.normalize("NFD").toUpperCase().toLowerCase().normalize("NFD").replace(unicode.marks, "");
        const bytes = unicode.encoder.encode(folded);
        const out = _malloc(bytes.length + 1);
        HEAPU8.set(bytes, out);
        HEAP32[foldedLength >> 2] = bytes.length;
        return out;
    },
});
