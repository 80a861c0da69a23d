// readXml in the page: the XML parser the worker hands the module
// (Module.xmlParser, the saxes package's SaxesParser) reads the text a slice
// at a time, and what it finds is written as a batch of events that
// xml_reading_browser.cpp walks; the layout of a batch is said there.
// Linked into the module with --js-library.

mergeInto(LibraryManager.library, {
    // The readings under way, by the number the module holds.
    $bibsourcesXmlReadings: function () {
        return Module["bibsourcesXmlReadings"] || (Module["bibsourcesXmlReadings"] = { next: 1, open: new Map() });
    },

    // A reading of the `length` bytes at `text`: the decoder its bytes call
    // for, the parser, and the batch the parser's events are written to.
    $bibsourcesXmlReading__deps: ["$bibsourcesXmlBatch", "$bibsourcesXmlDecoding"],
    $bibsourcesXmlReading: function (text, length, allowDocumentType, depthLimit) {
        // The kinds of fault, as xml_reading.h numbers them.
        const kind = { none: 0, documentType: 1, tooLarge: 2, mismatched: 3, tooDeep: 4, endedEarly: 5, notWellFormed: 6 };
        const sliceBytes = 1 << 20;

        const decoding = bibsourcesXmlDecoding(HEAPU8.subarray(text, text + Math.min(length, 1024)));
        const batch = bibsourcesXmlBatch();
        // Offsets are told for UTF-8 alone, and are 0 in any other encoding.
        const offsetsHold = decoding.name === "";
        const reading = {
            text, length, batch,
            read: decoding.skip, // bytes of the text handed to the parser so far
            started: false,
        };
        // Where the parser has come to, in characters it was given and in
        // bytes of UTF-8, and the last '<' passed: markup is counted up to
        // an event's position only once, whatever the slices.
        const scan = { pending: "", from: 0, index: 0, bytes: decoding.skip, lessIndex: -1, lessBytes: 0 };
        const stop = { reason: null };
        let depth = 0;
        // Set while the parser has its last words: {keepText} says whether
        // the text it still holds is told (text cut off within the root).
        let closing = null;

        function advanceTo(position) {
            // (No destructuring here: the module's optimiser drops it.)
            const pending = scan.pending;
            const from = scan.from;
            let bytes = scan.bytes;
            for (let i = scan.index - from, last = position - from; i < last; ++i) {
                const c = pending.charCodeAt(i);
                if (c < 0x80) {
                    if (c === 0x3c) {
                        scan.lessIndex = i + from;
                        scan.lessBytes = bytes;
                    }
                    bytes += 1;
                } else if (c < 0x800) {
                    bytes += 2;
                } else if (c >= 0xd800 && c < 0xdc00) {
                    bytes += 4; // and nothing for the low surrogate that follows
                } else if (c < 0xdc00 || c >= 0xe000) {
                    bytes += 3;
                }
            }
            scan.index = position;
            scan.bytes = bytes;
        }

        // What the reading found: a fault of `errorKind` on the parser's
        // line, with what else `fields` say of it.
        function found(errorKind, fields) {
            const fault = { kind: errorKind, line: parser.line, message: "", startTagName: "", endTagName: "", startTagLine: 0, depthLimit: 0 };
            return Object.assign(fault, fields);
        }

        function fail(errorKind, fields) {
            stop.reason = found(errorKind, fields);
            throw stop;
        }

        const parser = new Module["xmlParser"]({ xmlns: true, forceXMLVersion: true, defaultXMLVersion: "1.0" });
        parser.on("error", (error) => {
            if (stop.reason === null) {
                stop.reason = found(kind.notWellFormed, { message: String(error.message).replace(/^\d+:\d+: /, "") });
            }
            // At the end the parser goes on to hand over the text it holds.
            if (closing === null) {
                throw stop;
            }
        });
        parser.on("doctype", (declaration) => {
            if (!allowDocumentType) {
                // Said on the line its "<!DOCTYPE" starts on.
                const lines = declaration.split("\n").length - 1;
                fail(kind.documentType, { line: parser.line - lines, message: "a document type declaration is not allowed" });
            }
        });
        parser.on("opentagstart", (tag) => {
            if (depth >= depthLimit) {
                fail(kind.tooDeep, { depthLimit, message: `elements nested deeper than ${depthLimit}` });
            }
            tag.line = parser.line;
        });
        // The start tag's declarations and other attributes, made anew for each.
        const declarations = [];
        const attributes = [];
        parser.on("opentag", (tag) => {
            declarations.length = 0;
            attributes.length = 0;
            for (const qualified in tag.attributes) {
                const attribute = tag.attributes[qualified];
                if (attribute.prefix === "xmlns" || qualified === "xmlns") {
                    // libxml2 holds a namespace to the characters of a URI:
                    // none beyond ASCII, no blank.
                    if (!/^[A-Za-z0-9\-._~:/?#[\]@!$&'()*+,;=%]*$/.test(attribute.value)) {
                        fail(kind.notWellFormed, { message: `${qualified}: '${attribute.value}' is not a valid URI` });
                    }
                    declarations.push(attribute);
                } else {
                    attributes.push(attribute);
                }
            }
            ++depth;
            advanceTo(parser.position);
            batch.startTag(tag, declarations, attributes, offsetsHold ? scan.lessBytes : 0, offsetsHold ? scan.bytes : 0);
        });
        parser.on("closetag", (tag) => {
            --depth;
            if (tag.isSelfClosing) {
                batch.endTag(tag, -1, -1);
                return;
            }
            advanceTo(parser.position);
            // The parser has closed the innermost element, whatever the end
            // tag names: it must name that element.
            const nameAt = scan.lessIndex - scan.from + 2;
            const after = scan.pending.charCodeAt(nameAt + tag.name.length);
            const closes = scan.pending.startsWith(tag.name, nameAt) && (after === 0x3e || after === 0x20 || after === 0x09 || after === 0x0a || after === 0x0d);
            if (!closes) {
                const written = scan.pending.slice(nameAt, scan.index - scan.from - 1).replace(/[ \t\r\n]+$/, "");
                fail(kind.mismatched, {
                    startTagName: tag.name, endTagName: written, startTagLine: tag.line,
                    message: `the end tag </${written}> does not close <${tag.name}> of line ${tag.line}`,
                });
            }
            batch.endTag(tag, offsetsHold ? scan.lessBytes : 0, offsetsHold ? scan.bytes : 0);
        });

        const inRoot = (characters) => {
            if (depth > 0 && (closing === null || closing.keepText)) {
                batch.text(characters);
            }
        };
        parser.on("text", inRoot);
        parser.on("cdata", inRoot);

        // The parser fed `characters`, the next slice of the text.
        function feed(characters) {
            scan.pending = scan.pending.slice(scan.index - scan.from) + characters;
            scan.from = scan.index;
            if (scan.lessIndex < scan.from) {
                scan.lessIndex = -1;
            }
            parser.write(characters);
        }

        // The parser's last words at the end of the text: elements still
        // open, or what else it finds missing. Text cut off within the root
        // is told before the fault, as libxml2 tells it.
        function finish() {
            // saxes 6.0.0 (pinned) stands in its state 13 between markup.
            const endedEarly = depth > 0 && parser.state === 13;
            // libxml2 leaves one last byte of text after markup unread, waiting
            // for a second: neither that text nor the line it ends is told.
            const held = parser.text;
            const lastByteUnread = endedEarly && held.length === 1 && held.charCodeAt(0) < 0x80
                && length >= 2 && HEAPU8[text + length - 2] === 0x3E;
            closing = { keepText: endedEarly && !lastByteUnread };
            parser.close();
            if (stop.reason !== null) {
                if (endedEarly) {
                    stop.reason.kind = kind.endedEarly;
                    stop.reason.line -= lastByteUnread && held === "\n" ? 1 : 0;
                }
                throw stop;
            }
        }

        function result(fault) {
            batch.result(fault);
        }

        // Writes the next batch: the events of the next slice of the text,
        // and the result once the text is read to its end or a fault found.
        reading.next = function () {
            batch.reset();
            if (!reading.started) {
                reading.started = true;
                batch.encoding(decoding.name);
                if (decoding.error !== "") {
                    result(found(kind.notWellFormed, { line: 1, message: decoding.error }));
                    return batch.finished();
                }
            }
            try {
                if (reading.read < length) {
                    const slice = decoding.slice(HEAPU8.subarray(text, text + length), reading.read, sliceBytes);
                    reading.read = slice.end;
                    feed(slice.characters);
                    if (slice.error !== "") {
                        fail(kind.notWellFormed, { message: slice.error });
                    }
                }
                if (reading.read >= length) {
                    finish();
                    result(found(kind.none, { line: 0 }));
                } else {
                    batch.more();
                }
            } catch (error) {
                // Whatever else the parser throws ends the reading as a fault
                // too, rather than the module's call.
                result(error === stop ? stop.reason : found(kind.notWellFormed, { message: String(error && error.message) }));
            }
            return batch.finished();
        };
        return reading;
    },

    // How the text's bytes become characters: UTF-8 unless a byte-order mark
    // or the XML declaration says otherwise. {name (empty for UTF-8, else as
    // libxml2 names it: as declared, UTF-16 with its byte order), skip
    // (the byte-order mark's length), error, slice(bytes, from, atMost)}.
    $bibsourcesXmlDecoding: function (head) {
        const starts = function () {
            return Array.prototype.every.call(arguments, (byte, i) => head[i] === byte);
        };
        const declared = () => {
            // Only the encoding's label is looked for here; the parser reads the declaration.
            const opening = String.fromCharCode.apply(null, head.subarray(0, 200));
            const label = /^<\?xml[ \t\r\n][^>]*?encoding[ \t\r\n]*=[ \t\r\n]*(["'])([A-Za-z][A-Za-z0-9._-]*)\1/.exec(opening);
            return label ? label[2] : "";
        };
        let name = "";
        let label = "utf-8";
        let skip = 0;
        if (starts(0xef, 0xbb, 0xbf)) {
            skip = 3;
        } else if (starts(0xfe, 0xff) || starts(0xff, 0xfe)) {
            label = head[0] === 0xfe ? "utf-16be" : "utf-16le";
            skip = 2;
        } else if (starts(0x3c, 0x00, 0x3f, 0x00) || starts(0x00, 0x3c, 0x00, 0x3f)) {
            label = head[0] === 0 ? "utf-16be" : "utf-16le";
        } else {
            name = declared();
            label = name === "" ? "utf-8" : name;
        }
        if (label.startsWith("utf-16")) {
            name = label.toUpperCase();
        }
        if (/^utf-?8$/i.test(name)) {
            name = "";
        }
        let decoder;
        try {
            decoder = new TextDecoder(label, { fatal: true });
        } catch (unknown) {
            // As libxml2, which names no encoding it has no decoder for.
            return { name: "", skip, error: `unsupported encoding ${name}`, slice: null };
        }
        if (decoder.encoding === "utf-8") {
            name = "";
        }
        const utf8 = decoder.encoding === "utf-8";
        // For UTF-8 a slice ends where a character does and is decoded on its
        // own; for the other encodings the decoder carries what a slice cuts.
        const slice = (bytes, from, atMost) => {
            let end = Math.min(bytes.length, from + atMost);
            if (utf8) {
                for (let back = 0; back < 3 && end < bytes.length && (bytes[end] & 0xc0) === 0x80; ++back) {
                    --end;
                }
            }
            const part = bytes.subarray(from, end);
            const stream = { stream: end < bytes.length };
            try {
                return { characters: decoder.decode(part, stream), end, error: "" };
            } catch (unknown) {
                // The characters before the first bytes that are not in the
                // encoding, so that the parser stands on their line.
                let good = 0;
                let bad = part.length;
                while (bad - good > 1) {
                    const middle = (good + bad) >>> 1;
                    try {
                        new TextDecoder(label, { fatal: true }).decode(part.subarray(0, middle), { stream: true });
                        good = middle;
                    } catch (unknown) {
                        bad = middle;
                    }
                }
                const characters = new TextDecoder(label, { fatal: true }).decode(part.subarray(0, good), { stream: true });
                return { characters, end: bytes.length, error: `the text is not ${decoder.encoding}` };
            }
        };
        return { name, skip, error: "", slice };
    },

    // The events of one slice, as words of 32 bits: strings as their length
    // in bytes and their UTF-8, padded to a word; a name or namespace as the
    // number the batch gave it when it first wrote it (record `name`).
    $bibsourcesXmlBatch: function () {
        // The records, as xml_reading_browser.cpp numbers them.
        const record = { more: 0, start: 1, end: 2, text: 3, name: 4, result: 5, encoding: 6 };
        const encoder = new TextEncoder();
        let buffer = new ArrayBuffer(1 << 16);
        let words = new Int32Array(buffer);
        let bytes = new Uint8Array(buffer);
        let at = 0; // in words
        const names = new Map();
        const scratch = [];

        function room(wordsNeeded) {
            if (at + wordsNeeded <= words.length) {
                return;
            }
            const bigger = new ArrayBuffer(Math.max(buffer.byteLength * 2, (at + wordsNeeded) * 4));
            new Int32Array(bigger).set(words.subarray(0, at));
            buffer = bigger;
            words = new Int32Array(buffer);
            bytes = new Uint8Array(buffer);
        }
        function word(value) {
            room(1);
            words[at++] = value;
        }
        function string(value) {
            room(1 + Math.ceil((value.length * 3) / 4));
            const written = encoder.encodeInto(value, bytes.subarray((at + 1) * 4)).written;
            words[at] = written;
            at += 1 + ((written + 3) >>> 2);
        }
        // Names and namespaces come again and again: each is written once.
        // The number a name is given waits until the record it is in is
        // written, so a record's names are defined before it.
        function name(value) {
            let number = names.get(value);
            if (number === undefined) {
                number = names.size;
                names.set(value, number);
                word(record.name);
                string(value);
            }
            return number;
        }

        return {
            reset() {
                at = 0;
            },
            more() {
                word(record.more);
            },
            encoding(value) {
                word(record.encoding);
                string(value);
            },
            // A start tag, its declarations and its other attributes apart.
            startTag(tag, declarations, attributes, begin, end) {
                // Its names first, so that any the batch has not had yet
                // are written before the record.
                const numbers = scratch;
                let count = 0;
                numbers[count++] = name(tag.prefix);
                numbers[count++] = name(tag.local);
                numbers[count++] = name(tag.uri);
                for (let i = 0; i < declarations.length; ++i) {
                    const declaration = declarations[i];
                    numbers[count++] = name(declaration.prefix === "xmlns" ? declaration.local : "");
                    numbers[count++] = name(declaration.value);
                }
                for (let i = 0; i < attributes.length; ++i) {
                    const attribute = attributes[i];
                    numbers[count++] = name(attribute.prefix);
                    numbers[count++] = name(attribute.local);
                    numbers[count++] = name(attribute.uri);
                }
                room(count + 7);
                words[at++] = record.start;
                words[at++] = begin;
                words[at++] = end;
                words[at++] = tag.isSelfClosing ? 1 : 0;
                let next = 0;
                words[at++] = numbers[next++];
                words[at++] = numbers[next++];
                words[at++] = numbers[next++];
                words[at++] = declarations.length;
                for (let i = 0; i < declarations.length; ++i) {
                    words[at++] = numbers[next++];
                    words[at++] = numbers[next++];
                }
                words[at++] = attributes.length;
                for (let i = 0; i < attributes.length; ++i) {
                    room(3);
                    words[at++] = numbers[next++];
                    words[at++] = numbers[next++];
                    words[at++] = numbers[next++];
                    string(attributes[i].value);
                }
            },
            // An end tag; begin and end are -1 for the end of an empty element.
            endTag(tag, begin, end) {
                const prefix = name(tag.prefix);
                const local = name(tag.local);
                const uri = name(tag.uri);
                room(6);
                words[at++] = record.end;
                words[at++] = begin;
                words[at++] = end;
                words[at++] = prefix;
                words[at++] = local;
                words[at++] = uri;
            },
            text(characters) {
                word(record.text);
                string(characters);
            },
            result(found) {
                word(record.result);
                [found.kind, found.line, found.startTagLine, found.depthLimit].forEach(word);
                [found.message, found.startTagName, found.endTagName].forEach(string);
            },
            // The batch's bytes, which stay as they are until the next reset.
            finished() {
                return bytes.subarray(0, at * 4);
            },
        };
    },

    bibsources_xml_open__deps: ["$bibsourcesXmlReadings", "$bibsourcesXmlReading"],
    bibsources_xml_open: function (text, length, allowDocumentType, depthLimit) {
        text >>>= 0;
        const readings = bibsourcesXmlReadings();
        const number = readings.next++;
        readings.open.set(number, { reading: bibsourcesXmlReading(text, length, allowDocumentType !== 0, depthLimit), batch: null });
        return number;
    },

    bibsources_xml_next__deps: ["$bibsourcesXmlReadings"],
    bibsources_xml_next: function (number) {
        const open = bibsourcesXmlReadings().open.get(number);
        open.batch = open.reading.next();
        return open.batch.length;
    },

    bibsources_xml_take__deps: ["$bibsourcesXmlReadings"],
    bibsources_xml_take: function (number, out) {
        out >>>= 0;
        const open = bibsourcesXmlReadings().open.get(number);
        HEAPU8.set(open.batch, out);
        open.batch = null;
    },

    bibsources_xml_close__deps: ["$bibsourcesXmlReadings"],
    bibsources_xml_close: function (number) {
        bibsourcesXmlReadings().open.delete(number);
    },
});
