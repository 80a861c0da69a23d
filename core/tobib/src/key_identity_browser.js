// What utf8proc's full case folding does for the keys of the tobib room in
// the native build, done with the browser's own case mappings. Linked into
// the module with --js-library; key_identity_browser.cpp declares the
// function and says what it does.
//
// Folding is taken one character at a time, so that no context rule of
// toLowerCase applies (a final sigma folds to "σ", as Unicode's folding has
// it), as upper case then lower case, again until nothing changes ("ẞ" ->
// "ß" -> "ss"). Two fold otherwise in Unicode's table: Cherokee
// folds to its capitals, the older letters, where lower case would give the
// small ones, so it keeps its upper case; and the Turkic dotless "ı" folds
// to itself, not to "i" through "I".

mergeInto(LibraryManager.library, {
    $bibsourcesKeyFolding: function () {
        return Module["bibsourcesKeyFolding"] || (Module["bibsourcesKeyFolding"] = {
            strictDecoder: new TextDecoder("utf-8", { fatal: true }),
            encoder: new TextEncoder(),
            cherokee: /^\p{Script=Cherokee}$/u,
            folded: new Map(),
        });
    },

    $bibsourcesFoldedCharacter__deps: ["$bibsourcesKeyFolding"],
    $bibsourcesFoldedCharacter: function (character) {
        const folding = bibsourcesKeyFolding();
        const kept = folding.folded.get(character);
        if (kept !== undefined) {
            return kept;
        }
        let folded = character;
        if (character === "\u0131") {
            return character;
        }
        if (folding.cherokee.test(character)) {
            folded = character.toUpperCase();
        } else {
            for (let before = ""; before !== folded;) {
                before = folded;
                folded = Array.from(folded, (one) => one.toUpperCase().toLowerCase()).join("");
            }
        }
        if (folding.folded.size >= 4096) {
            folding.folded.clear();
        }
        folding.folded.set(character, folded);
        return folded;
    },

    bibsources_folded_key__deps: ["$bibsourcesKeyFolding", "$bibsourcesFoldedCharacter", "malloc"],
    bibsources_folded_key: function (key, length, foldedLength) {
        const folding = bibsourcesKeyFolding();
        let text;
        try {
            text = folding.strictDecoder.decode(HEAPU8.subarray(key, key + length));
        } catch (notUtf8) {
            return 0;
        }
        const bytes = folding.encoder.encode(Array.from(text, bibsourcesFoldedCharacter).join(""));
        const out = _malloc(bytes.length + 1);
        HEAPU8.set(bytes, out);
        HEAP32[foldedLength >> 2] = bytes.length;
        return out;
    },
});
