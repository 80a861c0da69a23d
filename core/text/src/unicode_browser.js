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

    bibsources_mark_cluster__deps: ["$bibsourcesUnicode", "$bibsourcesMarkedCluster"],
    bibsources_mark_cluster: function (text, length, mark, out, outCapacity, replaced) {
        const unicode = bibsourcesUnicode();
        const head = unicode.decoder.decode(HEAPU8.subarray(text, text + length));
        const cluster = unicode.cluster.exec(head);
        if (!cluster) {
            return -1;
        }
        const { clusterBytes, composed, decomposedLength } = bibsourcesMarkedCluster(cluster[0], mark);
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
