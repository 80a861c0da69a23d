// The zip archive in the page: the fflate package the worker hands the
// module (Module.zip: its unzipSync, Zip, ZipDeflate and ZipPassThrough)
// reads the members of the bytes at `bytes` and writes the archive again;
// zip_archive_browser.cpp asks, one call at a time, and takes each answer's
// bytes (a name, a member's bytes, the library's words) with
// bibsources_zip_take. Linked into the module with --js-library.

mergeInto(LibraryManager.library, {
    // The archives open, by the number the module holds.
    $bibsourcesZipArchives: function () {
        return Module["bibsourcesZipArchives"] || (Module["bibsourcesZipArchives"] = { next: 1, open: new Map() });
    },

    // The faults, as zip_archive.h numbers them.
    $bibsourcesZipFaults: {
        open: { none: 0, notZip: 1, unreadable: 2 },
        read: { none: 0, noSize: 1, tooLarge: 2, encrypted: 3, cannotOpen: 4, damaged: 5, longer: 6 },
    },

    // One archive: the members fflate finds in the central directory, in
    // order, each {name, size, originalSize, compression}; and the answer the
    // module takes next.
    $bibsourcesZipArchive__deps: ["$bibsourcesZipFaults"],
    $bibsourcesZipArchive: function (bytes, length) {
        const zip = Module["zip"];
        const faults = bibsourcesZipFaults;
        const encoder = new TextEncoder();
        // The bytes stay where they are, but the module's memory may grow
        // and move under any view of them: a view is made for each use.
        const data = () => HEAPU8.subarray(bytes, bytes + length);
        const archive = { pending: new Uint8Array(0), members: [], changes: new Map(), added: [] };

        const answer = (value) => {
            archive.pending = typeof value === "string" ? encoder.encode(value) : value;
            return archive.pending.length;
        };

        // fflate lists the members as the filter sees them and unpacks only
        // those it lets through: none here.
        archive.open = function () {
            try {
                zip.unzipSync(data(), { filter: (member) => (archive.members.push(member), false) });
                return faults.open.none;
            } catch (error) {
                answer(String(error && error.message));
                // fflate's "invalid zip data": no end of a central directory.
                return error && error.code === 13 ? faults.open.notZip : faults.open.unreadable;
            }
        };

        archive.count = () => archive.members.length;
        archive.name = (index) => answer(archive.members[index].name);

        // The member at index unpacked into at most its claimed size, which is
        // within the limit: a member that would unpack to more is cut there,
        // as fflate says nothing of it. {fault, bytes}, the library's words
        // pending for a damaged one.
        archive.unpacked = function (index, limit) {
            const member = archive.members[index];
            if (member.compression === 99) {
                return { fault: faults.read.encrypted }; // AES, the one encryption fflate can see
            }
            if (member.originalSize > limit) {
                return { fault: faults.read.tooLarge };
            }
            if (member.compression !== 0 && member.compression !== 8) {
                answer(`unknown compression type ${member.compression}`);
                return { fault: faults.read.cannotOpen };
            }
            let at = 0;
            try {
                const found = zip.unzipSync(data(), { filter: () => at++ === index });
                return { fault: faults.read.none, bytes: found[member.name] };
            } catch (error) {
                answer(String(error && error.message));
                return { fault: faults.read.damaged };
            }
        };

        archive.read = function (index, limit) {
            const read = archive.unpacked(index, limit);
            if (read.fault === faults.read.none) {
                answer(read.bytes);
            }
            return read.fault;
        };

        // What the member at `replaced` (or a new member, when -1) holds when
        // the archive is written: the `size` bytes at `content`, which stay
        // where they are until then.
        archive.change = function (replaced, name, content, size) {
            const change = { name, content, size };
            if (replaced < 0) {
                archive.added.push(change);
            } else {
                archive.changes.set(replaced, change);
            }
        };

        // The whole archive, every member in its place and the new ones at
        // the end: an unchanged member is unpacked and packed again as it
        // was (stored or deflated), since fflate does not hand over its
        // stored bytes; a changed or new one is deflated. The archive's bytes
        // pending, or the library's words and false.
        archive.write = function () {
            const chunks = [];
            let failure = null;
            const writer = new zip.Zip((error, chunk) => {
                if (error) {
                    failure = failure || error;
                } else {
                    chunks.push(chunk);
                }
            });
            const add = (name, bytes, deflated) => {
                const member = deflated ? new zip.ZipDeflate(name, { level: 6 }) : new zip.ZipPassThrough(name);
                writer.add(member);
                member.push(bytes, true);
            };
            const contentOf = (change) => HEAPU8.slice(change.content, change.content + change.size);
            try {
                for (let index = 0; index < archive.members.length && failure === null; ++index) {
                    const change = archive.changes.get(index);
                    const member = archive.members[index];
                    if (change) {
                        add(member.name, contentOf(change), true);
                        continue;
                    }
                    const kept = archive.unpacked(index, Number.MAX_SAFE_INTEGER);
                    if (kept.fault !== faults.read.none) {
                        answer(`its member '${member.name}' cannot be copied`);
                        return false;
                    }
                    add(member.name, kept.bytes, member.compression !== 0);
                }
                for (const change of archive.added) {
                    add(change.name, contentOf(change), true);
                }
                writer.end();
            } catch (error) {
                failure = failure || error;
            }
            if (failure !== null) {
                answer(String(failure && failure.message));
                return false;
            }
            const whole = new Uint8Array(chunks.reduce((sum, chunk) => sum + chunk.length, 0));
            chunks.reduce((at, chunk) => (whole.set(chunk, at), at + chunk.length), 0);
            answer(whole);
            return true;
        };
        return archive;
    },

    bibsources_zip_open__deps: ["$bibsourcesZipArchives", "$bibsourcesZipArchive"],
    bibsources_zip_open: function (bytes, length) {
        bytes >>>= 0;
        const archives = bibsourcesZipArchives();
        const number = archives.next++;
        archives.open.set(number, bibsourcesZipArchive(bytes, length));
        return number;
    },

    bibsources_zip_opening__deps: ["$bibsourcesZipArchives"],
    bibsources_zip_opening: function (number) {
        return bibsourcesZipArchives().open.get(number).open();
    },

    bibsources_zip_count__deps: ["$bibsourcesZipArchives"],
    bibsources_zip_count: function (number) {
        return bibsourcesZipArchives().open.get(number).count();
    },

    bibsources_zip_name__deps: ["$bibsourcesZipArchives"],
    bibsources_zip_name: function (number, index) {
        return bibsourcesZipArchives().open.get(number).name(index);
    },

    bibsources_zip_read__deps: ["$bibsourcesZipArchives"],
    bibsources_zip_read: function (number, index, limit) {
        return bibsourcesZipArchives().open.get(number).read(index, limit);
    },

    bibsources_zip_change__deps: ["$bibsourcesZipArchives"],
    bibsources_zip_change: function (number, replaced, name, content, size) {
        content >>>= 0;
        bibsourcesZipArchives().open.get(number).change(replaced, UTF8ToString(name), content, size);
    },

    bibsources_zip_write__deps: ["$bibsourcesZipArchives"],
    bibsources_zip_write: function (number) {
        return bibsourcesZipArchives().open.get(number).write() ? 1 : 0;
    },

    bibsources_zip_pending__deps: ["$bibsourcesZipArchives"],
    bibsources_zip_pending: function (number) {
        return bibsourcesZipArchives().open.get(number).pending.length;
    },

    bibsources_zip_take__deps: ["$bibsourcesZipArchives"],
    bibsources_zip_take: function (number, out) {
        out >>>= 0;
        const archive = bibsourcesZipArchives().open.get(number);
        HEAPU8.set(archive.pending, out);
        archive.pending = new Uint8Array(0);
    },

    bibsources_zip_close__deps: ["$bibsourcesZipArchives"],
    bibsources_zip_close: function (number) {
        bibsourcesZipArchives().open.delete(number);
    },
});
