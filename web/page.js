// The page: what the window does, with the converter in a worker. Files are
// dropped on the picture or chosen with Open…; Convert makes one Sources.xml
// of the .bib files, merges them into the source list (.xml) dropped with
// them, puts their sources into the Word document dropped with them, or
// makes one Sources.bib of the sources of source lists or Word documents
// dropped alone, and offers the file it made as a download.

import { Converter } from "./converter.js";
import { Picture } from "./picture.js";
import { FieldReportView } from "./field-report.js";
import { MessagesView } from "./messages.js";
import { documentSummaryOf, mergeSummaryOf, namesOf, progressText, summaryOf } from "./words.js";

const element = (id) => document.getElementById(id);
const ui = {
    area: element("drop-area"),
    chooser: element("chooser"),
    status: element("status"),
    busy: element("busy"),
    busyLabel: element("busy-label"),
    progress: element("progress"),
    progressText: element("progress-text"),
    tidy: element("tidy"),
    keepLabel: element("keep-label"),
    keepSources: element("keep-sources"),
    open: element("open-button"),
    stop: element("stop-button"),
    convert: element("convert-button"),
    messagesButton: element("messages-button"),
    fieldsButton: element("fields-button"),
};

const picture = new Picture(element("picture"), ui.area);
const messages = new MessagesView({
    dialog: element("messages-dialog"),
    table: element("messages-table"),
    summary: element("messages-summary"),
    closeButton: element("messages-close"),
});
const fieldReport = new FieldReportView({
    dialog: element("fields-dialog"),
    table: element("fields-table"),
    summary: element("fields-summary"),
    saveButton: element("fields-save"),
    closeButton: element("fields-close"),
});
let loaded = [];
// What the loaded files make: "Sources.xml" from .bib files, "Sources.bib"
// from source lists and documents, the list itself, merged into, with
// loadedList, and the Word document the .bib files go into with loadedInto.
let loadedTarget = "Sources.xml";
let loadedList = null;
let loadedInto = false;
let converting = false;
let converterReady = false;
let download = null;

const converter = new Converter({
    onReady: (ready, reason) => {
        converterReady = ready;
        if (!ready) {
            setStatus(`The converter could not be loaded: ${reason}. Reload the page to try again.`);
        } else if (!converting && ui.status.dataset.said !== "yes") {
            setStatus(idleText);
        }
        updateButtons();
    },
    onProgress: ({ fraction, entriesRead }) => {
        ui.progress.value = Math.round(fraction * 1000);
        ui.progressText.textContent = progressText(fraction, entriesRead);
    },
});

const idleText = "Drop .bib files on the picture, or choose them with Open…; with a source list (.xml) they are merged into it, with a Word document (.docx) their sources go into it, and a list or a document dropped alone gives its sources back as a .bib file.";
const takenText = "only .bib files, source lists (.xml) and Word documents (.docx) can be converted";
const listsTogetherText = "Only one source list can be merged into at a time: drop .bib files with one list (.xml) to merge them into it, .bib files alone to make Sources.xml, or source lists alone to get their sources as Sources.bib.";
const documentTogetherText = "Sources go into one Word document at a time, without source lists: drop .bib files with one Word document (.docx) to put their sources into it.";

function setStatus(text, link) {
    ui.status.dataset.said = "yes";
    ui.status.replaceChildren(text);
    if (link) {
        ui.status.append(" — ", link);
    }
}

function updateButtons() {
    ui.convert.disabled = converting || loaded.length === 0 || !converterReady;
    ui.open.hidden = converting;
    // A list's sources go back to BibTeX as they are: there is no mapping to choose.
    // Nor for a document, which always gets the tidy mapping.
    ui.tidy.disabled = converting || (loaded.length > 0 && (loadedTarget === "Sources.bib" || loadedInto));
    // A document's list takes the sources in place of its own, or with them.
    ui.keepLabel.hidden = !loadedInto || loaded.length === 0;
    ui.keepSources.disabled = converting;
    ui.stop.hidden = !converting;
    ui.busy.hidden = !converting;
    ui.status.hidden = converting;
}

// "refs.bib", or "refs.bib into Sources.xml" for files to merge into a list.
function loadedNames() {
    return loadedList ? `${namesOf(loaded)} into ${loadedList.name}` : namesOf(loaded);
}

const endsIn = (file, ending) => file.name.endsWith(ending) && file.name.length > ending.length;

// Word documents, by their names as the command knows them (in any case).
const isDocument = (file) => /.\.(docx|docm|dotx|dotm)$/i.test(file.name);

// Nothing dropped is taken, for the reason given.
function takeNothing(reason) {
    loaded = [];
    picture.idle();
    setStatus(reason);
}

// Only names ending in exactly ".bib" are taken, as in the window, or in
// ".xml" (source lists) or a document's, whose sources go back to BibTeX
// when they come without .bib files.
function offerFiles(files) {
    if (converting) {
        return;
    }
    const bibFiles = files.filter((file) => endsIn(file, ".bib"));
    const lists = files.filter((file) => endsIn(file, ".xml") || isDocument(file));
    const taken = bibFiles.length > 0 ? bibFiles : lists;
    const refused = files.filter((file) => !bibFiles.includes(file) && !lists.includes(file));
    const refusal = refused.length === 0 ? ""
        : refused.length === 1 ? `${refused[0].name} is not a .bib file, a source list or a Word document; ${takenText}.`
        : `${namesOf(refused)} are not .bib files, source lists or Word documents; ${takenText}.`;
    const documents = lists.filter(isDocument);
    if (bibFiles.length > 0 && documents.length === 1 && lists.length === 1) {
        loaded = [...bibFiles, documents[0]];
        loadedTarget = documents[0].name;
        loadedList = null;
        loadedInto = true;
        ui.convert.title = `Put the sources of the .bib files into ${loadedTarget} (Enter)`;
        picture.loaded(namesOf(loaded));
        setStatus(`${namesOf(bibFiles)} into ${loadedTarget} — ready to convert${refusal ? ` (${refusal})` : ""}`);
    } else if (bibFiles.length > 0 && documents.length > 0) {
        takeNothing(documentTogetherText);
    } else if (bibFiles.length > 0 && lists.length > 1) {
        takeNothing(listsTogetherText);
    } else if (taken.length === 0) {
        takeNothing(files.length === 0 ? `The dropped item is not a file; ${takenText}.` : refusal);
    } else {
        loaded = taken;
        loadedList = bibFiles.length > 0 && lists.length === 1 ? lists[0] : null;
        loadedInto = false;
        loadedTarget = loadedList?.name ?? (bibFiles.length > 0 ? "Sources.xml" : "Sources.bib");
        ui.convert.title = loadedList ? `Merge the loaded files into ${loadedTarget} (Enter)`
            : `Make ${loadedTarget} from the loaded files (Enter)`;
        const names = loadedNames();
        const doing = loadedList ? "merge" : "convert";
        picture.loaded(names, doing);
        setStatus(`${names} — ready to ${doing}${refusal ? ` (${refusal})` : ""}`);
    }
    updateButtons();
    if (loaded.length > 0) {
        ui.convert.focus();
    }
}

async function convert() {
    if (converting || loaded.length === 0 || !converterReady) {
        return;
    }
    const files = loaded;
    const target = loadedTarget;
    const list = loadedList;
    loaded = [];
    converting = true;
    const names = namesOf(files);
    const working = list ? `Merging ${names} into ${list.name}` : `Converting ${names}`;
    ui.busyLabel.textContent = `${working}…`;
    ui.progress.value = 0;
    ui.progressText.textContent = "Starting…";
    picture.converting(working);
    updateButtons();
    ui.stop.focus();
    const tidy = ui.tidy.checked;
    const toBib = !list && target === "Sources.bib";
    // A document's list is set as `bibsources [--merge] -o DOCUMENT` sets it:
    // in place of the one it has, or merged into it when its sources are kept.
    const into = loadedInto ? { merge: ui.keepSources.checked } : null;
    const outcome = await converter.convert(files, { tidy, report: tidy && !toBib && !into, toBib, list, into });
    converting = false;
    updateButtons();
    showOutcome(outcome, list ? `merge ${names} into ${list.name}` : `convert ${names}`, target, list !== null);
    ui.area.focus();
}

// `doing` says what the run was asked to do ("convert refs.bib"); `merged`
// whether it merged into the list named `target`.
function showOutcome(outcome, doing, target, merged) {
    fieldReport.set(outcome.kind === "done" ? outcome.reportParts : []);
    ui.fieldsButton.disabled = fieldReport.isEmpty();
    if (outcome.kind === "stopped") {
        messages.set([]);
        ui.messagesButton.disabled = true;
        picture.idle();
        setStatus("Stopped; nothing was written.");
        return;
    }
    if (outcome.kind === "crashed") {
        messages.set([]);
        ui.messagesButton.disabled = true;
        picture.failed(`Could not ${doing}`);
        setStatus(`Could not ${doing}: ${outcome.reason}. The converter has been restarted; drop the files again to retry.`);
        return;
    }
    const { result, parts } = outcome;
    // What the merge said about the list follows what the inputs' parser said.
    const listMessages = result.merge.messages.map((text) => ({ input: target, message: { line: 0, lastLine: 0, text } }));
    messages.set([...result.inputs.flatMap((input) => input.messages.map((message) => ({ input: input.inputPath, message }))),
        ...listMessages]);
    ui.messagesButton.disabled = messages.isEmpty();
    if (result.error !== "") {
        picture.failed(`Could not ${doing}`);
        setStatus(`Could not ${doing}: ${result.error}`);
        return;
    }
    if (result.document.intoDocument) {
        const unchanged = result.document.unchanged;
        picture.converted(unchanged ? `${target} unchanged` : `Sources added to ${target}`);
        setStatus(documentSummaryOf(result, target), unchanged ? undefined : offerDownload(parts, target));
        return;
    }
    picture.converted(merged ? `Merged into ${target}` : `${target} written`);
    setStatus(merged ? mergeSummaryOf(result, target) : summaryOf(result, target), offerDownload(parts, target));
}

// The document as a file to save, saved at once as the window writes it;
// the link saves it again.
function offerDownload(parts, name) {
    if (download) {
        URL.revokeObjectURL(download);
    }
    const type = name.endsWith(".bib") ? "text/x-bibtex"
        : name.endsWith(".xml") ? "application/xml" : "application/octet-stream";
    download = URL.createObjectURL(new Blob(parts, { type }));
    const link = document.createElement("a");
    link.href = download;
    link.download = name;
    link.id = "download-link";
    link.textContent = `Save ${name}`;
    link.click();
    return link;
}

function choose() {
    if (!converting) {
        ui.chooser.value = "";
        ui.chooser.click();
    }
}

ui.area.addEventListener("click", choose);
ui.area.addEventListener("keydown", (event) => {
    if (event.key === "Enter" || event.key === " ") {
        event.preventDefault();
        if (loaded.length > 0 && event.key === "Enter") {
            convert();
        } else {
            choose();
        }
    }
});
ui.open.addEventListener("click", choose);
ui.chooser.addEventListener("change", () => offerFiles([...ui.chooser.files]));
ui.convert.addEventListener("click", convert);
ui.stop.addEventListener("click", () => converter.stop());
ui.messagesButton.addEventListener("click", () => messages.open());
ui.fieldsButton.addEventListener("click", () => fieldReport.open());

// A drag that carries files animates the picture; anything dropped
// elsewhere on the page is not opened by the browser instead.
let dragDepth = 0;
ui.area.addEventListener("dragenter", (event) => {
    if (!converting && event.dataTransfer.types.includes("Files")) {
        event.preventDefault();
        dragDepth += 1;
        picture.startHover();
    }
});
ui.area.addEventListener("dragover", (event) => {
    if (!converting && event.dataTransfer.types.includes("Files")) {
        event.preventDefault();
        event.dataTransfer.dropEffect = "copy";
    }
});
ui.area.addEventListener("dragleave", () => {
    dragDepth = Math.max(0, dragDepth - 1);
    if (dragDepth === 0 && picture.animation !== null) {
        picture.idle();
        if (loaded.length > 0) {
            picture.loaded(loadedNames(), loadedList ? "merge" : "convert");
        }
    }
});
ui.area.addEventListener("drop", (event) => {
    event.preventDefault();
    dragDepth = 0;
    picture.stopHover();
    offerFiles([...event.dataTransfer.files]);
});
window.addEventListener("dragover", (event) => event.preventDefault());
window.addEventListener("drop", (event) => event.preventDefault());

// Ctrl+O opens, Ctrl+Enter converts, as in the window.
window.addEventListener("keydown", (event) => {
    if ((event.ctrlKey || event.metaKey) && event.key.toLowerCase() === "o") {
        event.preventDefault();
        choose();
    } else if ((event.ctrlKey || event.metaKey) && event.key === "Enter") {
        event.preventDefault();
        convert();
    }
});

// The browser asks now and then whether the service worker changed; it
// asks its own cache, so that a loaded page sends nothing anywhere (a new
// build is seen once the host's cache time for it has passed).
if ("serviceWorker" in navigator) {
    navigator.serviceWorker.register("service-worker.js", { updateViaCache: "all" });
}
updateButtons();
