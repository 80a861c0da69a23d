// What utf8proc does for the text room in the native build, done with the
// browser's own Unicode tables (String.prototype.normalize and the Unicode
// property escapes of regular expressions). Linked into the module with
// --js-library; combining_mark_browser.cpp and folded_text_browser.cpp
// declare these functions and say what they do.

mergeInto(LibraryManager.library, {
    bibsources_mark_cluster: function (text, length, mark, out, outCapacity, replaced) {
        const head = new TextDecoder("utf-8", { fatal: false }).decode(HEAPU8.subarray(text, text + length));
        const cluster = /^[\p{L}\p{Nd}]\p{M}*/u.exec(head);
        if (!cluster) {
            return -1;
        }
        const clusterBytes = new TextEncoder().encode(cluster[0]).length;
        if (clusterBytes > outCapacity - 4) {
            return -1;
        }
        const markText = String.fromCodePoint(mark).normalize("NFD");
        const decomposed = Array.from((cluster[0] + markText).normalize("NFD"));
        if (decomposed.length > 16) {
            return -1;
        }
        // Canonical ordering moves a mark only past marks of a higher class:
        // one that stays behind U+0301 (class 230) in either order but moves
        // in front of U+0315 (232) has class 230 itself, and goes above.
        const keeps = (before, after) => (before + after).normalize("NFD") === before.normalize("NFD") + after;
        const goesAbove = keeps("a" + markText, "\u0301") && keeps("a\u0301", markText) && !keeps("a\u0315", markText);
        if (goesAbove && (decomposed[0] === "\u0131" || decomposed[0] === "\u0237")) {
            decomposed[0] = decomposed[0] === "\u0131" ? "i" : "j";
        }
        const composed = new TextEncoder().encode(decomposed.join("").normalize("NFC"));
        if (composed.length > outCapacity) {
            return -1;
        }
        HEAPU8.set(composed, out);
        HEAP32[replaced >> 2] = clusterBytes;
        return composed.length;
    },

    bibsources_folded_text: function (text, length, foldedLength) {
        let word;
        try {
            word = new TextDecoder("utf-8", { fatal: true }).decode(HEAPU8.subarray(text, text + length));
        } catch (notUtf8) {
            return 0;
        }
        const folded = word.normalize("NFD").toUpperCase().toLowerCase().normalize("NFD").replace(/\p{M}/gu, "");
        const bytes = new TextEncoder().encode(folded);
        const out = _malloc(bytes.length + 1);
        HEAPU8.set(bytes, out);
        HEAP32[foldedLength >> 2] = bytes.length;
        return out;
    },
    bibsources_folded_text__deps: ["malloc"],
});
