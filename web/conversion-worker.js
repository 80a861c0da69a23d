// The worker that runs the converter module: the files it is sent are
// mounted, unread, where the module's reader reads them slice by slice, and
// the document (the merged list, the Word document, or for source lists
// the BibTeX text) comes back as the pieces the module hands out. The module
// is handed what the browser lacks a built-in for: an XML parser that a
// worker can run, and a zip package for Word documents.

import saxes from "./vendor/saxes/saxes.mjs";
import { unzipSync, Zip, ZipDeflate, ZipPassThrough } from "./vendor/fflate/fflate.mjs";
import createConverter from "./bibsources.mjs";

let pieces = [];
let reportPieces = [];
let progress = () => {};

const module = createConverter({
    // The core reads XML with it (core/xml/src/xml_reading_browser.js).
    xmlParser: saxes.SaxesParser,
    // And zip files with it (core/package/src/zip_archive_browser.js).
    zip: { unzipSync, Zip, ZipDeflate, ZipPassThrough },
    takeOutput: (bytes) => pieces.push(bytes),
    takeReport: (bytes) => reportPieces.push(bytes),
    onProgress: (...report) => progress(...report),
    // A module that aborted cannot be called again: the page replaces the worker.
    onAbort: (what) => postMessage({ type: "crashed", reason: reasonOf(what) }),
    print: () => {},
    printErr: () => {},
}).then(
    (converter) => {
        postMessage({ type: "ready" });
        return converter;
    },
    (error) => {
        postMessage({ type: "unavailable", reason: reasonOf(error) });
        throw error;
    },
);

function reasonOf(error) {
    const text = String(error?.message ?? error);
    if (/memory|OOM|allocat/i.test(text)) {
        return "the converter ran out of memory";
    }
    return `the converter failed (${text})`;
}

// The files are mounted in /inputs, which becomes the current folder, so
// messages name them as the command does when run beside them. Files of
// the same name are each mounted in a numbered folder ("2/refs.bib").
// Returns the paths to convert and the mount points to undo.
function mountInputs(FS, files) {
    FS.mkdir("/inputs");
    const WORKERFS = FS.filesystems.WORKERFS;
    if (new Set(files.map((file) => file.name)).size === files.length) {
        FS.mount(WORKERFS, { files }, "/inputs");
        FS.chdir("/inputs");
        return { paths: files.map((file) => file.name), mounts: ["/inputs"] };
    }
    const mounts = files.map((file, index) => {
        const folder = `/inputs/${index + 1}`;
        FS.mkdir(folder);
        FS.mount(WORKERFS, { files: [file] }, folder);
        return folder;
    });
    FS.chdir("/inputs");
    return { paths: files.map((file, index) => `${index + 1}/${file.name}`), mounts };
}

function unmountInputs(FS, mounts) {
    FS.chdir("/");
    for (const mount of mounts) {
        FS.unmount(mount);
        if (mount !== "/inputs") {
            FS.rmdir(mount);
        }
    }
    FS.rmdir("/inputs");
}

// Reports how far the whole run has come, over all its inputs.
function progressOver(files, paths) {
    const total = files.reduce((sum, file) => sum + file.size, 0) || 1;
    const done = new Map();
    return (inputPath, bytesRead, bytesTotal, entriesRead) => {
        const index = paths.indexOf(inputPath);
        const before = files.slice(0, Math.max(index, 0)).reduce((sum, file) => sum + file.size, 0);
        done.set(inputPath, entriesRead);
        const entries = [...done.values()].reduce((sum, count) => sum + count, 0);
        postMessage({ type: "progress", fraction: Math.min(1, (before + bytesRead) / total), entriesRead: entries });
    };
}

// The run asked for: .bib files converted, merged into a list (the last
// path), or put into a Word document (the last path), or source lists and
// documents back to BibTeX. The module says what came of it as JSON.
function runOf(converter, { paths, tidy, report, toBib, list, into }) {
    if (toBib) {
        return converter.toBib(paths);
    }
    if (into) {
        return converter.intoDocument(paths.slice(0, -1), paths[paths.length - 1], into.merge);
    }
    if (list) {
        return converter.merge(paths[paths.length - 1], paths.slice(0, -1), tidy, report);
    }
    return converter.convert(paths, tidy, report);
}

// Every way a run can end is said to the page: its result, or that the
// converter failed, so the page never waits on a run that went nowhere.
// With a list, files are merged into it; it is mounted beside them. With
// `into` ({merge}), the last file is the Word document the records of the
// others go into, and the parts are the whole document written again.
async function convert({ files, tidy, report, toBib, list, into }) {
    try {
        const converter = await module;
        const { paths, mounts } = mountInputs(converter.FS, list ? [...files, list] : files);
        pieces = [];
        reportPieces = [];
        progress = progressOver(files, paths.slice(0, files.length));
        const result = JSON.parse(runOf(converter, { paths, tidy, report, toBib, list, into }));
        const [parts, reportParts] = result.error === "" ? [pieces, reportPieces] : [[], []];
        pieces = [];
        reportPieces = [];
        unmountInputs(converter.FS, mounts);
        postMessage({ type: "done", result, parts, reportParts },
            [...parts, ...reportParts].map((part) => part.buffer));
    } catch (error) {
        postMessage({ type: "crashed", reason: reasonOf(error) });
    }
}

onmessage = (event) => {
    if (event.data.type === "convert") {
        convert(event.data);
    }
};
