// The page: what the window does, with the converter in a worker. Files are
// dropped on the picture or chosen with Open…; Convert makes one Sources.xml
// of the .bib files, or one Sources.bib of the sources of source lists
// (.xml) or Word documents dropped alone, and offers it as a download.

import { Converter } from "./converter.js";
import { Picture } from "./picture.js";
import { FieldReportView } from "./field-report.js";
import { MessagesView } from "./messages.js";
import { documentSummaryOf, namesOf, progressText, summaryOf } from "./words.js";

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
// from source lists and documents.
let loadedTarget = "Sources.xml";
// Whether the last loaded file is the Word document the .bib files go into,
// and loadedTarget its name.
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

const idleText = "Drop .bib files on the picture, or choose them with Open…; with a Word document (.docx) their sources go into it, and a source list (.xml) or a Word document dropped alone gives its sources back as a .bib file.";
const takenText = "only .bib files, source lists (.xml) and Word documents (.docx) can be converted";
const togetherText = "A source list cannot yet be merged with .bib files here: drop .bib files to make Sources.xml, or a source list (.xml) alone to get its sources as Sources.bib.";
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
    ui.stop.hidden = !converting;
    ui.busy.hidden = !converting;
    ui.status.hidden = converting;
}

const endsIn = (file, ending) => file.name.endsWith(ending) && file.name.length > ending.length;

// Word documents, by their names as the command knows them (in any case).
const isDocument = (file) => /.\.(docx|docm|dotx|dotm)$/i.test(file.name);

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
        loadedInto = true;
        ui.convert.title = `Put the sources of the .bib files into ${loadedTarget} (Enter)`;
        picture.loaded(namesOf(loaded));
        setStatus(`${namesOf(bibFiles)} into ${loadedTarget} — ready to convert${refusal ? ` (${refusal})` : ""}`);
    } else if (bibFiles.length > 0 && lists.length > 0) {
        loaded = [];
        picture.idle();
        setStatus(documents.length > 0 ? documentTogetherText : togetherText);
    } else if (taken.length === 0) {
        loaded = [];
        picture.idle();
        setStatus(files.length === 0 ? `The dropped item is not a file; ${takenText}.` : refusal);
    } else {
        loaded = taken;
        loadedTarget = bibFiles.length > 0 ? "Sources.xml" : "Sources.bib";
        loadedInto = false;
        ui.convert.title = `Make ${loadedTarget} from the loaded files (Enter)`;
        picture.loaded(namesOf(taken));
        setStatus(`${namesOf(taken)} — ready to convert${refusal ? ` (${refusal})` : ""}`);
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
    loaded = [];
    converting = true;
    const names = namesOf(files);
    ui.busyLabel.textContent = `Converting ${names}…`;
    ui.progress.value = 0;
    ui.progressText.textContent = "Starting…";
    picture.converting(names);
    updateButtons();
    ui.stop.focus();
    const tidy = ui.tidy.checked;
    const toBib = target === "Sources.bib";
    // A document's list is set as `bibsources -o DOCUMENT` sets it, in place of the one it has.
    const into = loadedInto ? { merge: false } : null;
    const outcome = await converter.convert(files, { tidy, report: tidy && !toBib && !into, toBib, into });
    converting = false;
    updateButtons();
    showOutcome(outcome, names, target);
    ui.area.focus();
}

function showOutcome(outcome, names, target) {
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
        picture.failed(`Could not convert ${names}`);
        setStatus(`Could not convert ${names}: ${outcome.reason}. The converter has been restarted; drop the files again to retry.`);
        return;
    }
    const { result, parts } = outcome;
    messages.set(result.inputs.flatMap((input) => input.messages.map((message) => ({ input: input.inputPath, message }))));
    ui.messagesButton.disabled = messages.isEmpty();
    if (result.error !== "") {
        picture.failed(`Could not convert ${names}`);
        setStatus(`Could not convert ${names}: ${result.error}`);
        return;
    }
    if (result.document.intoDocument) {
        const unchanged = result.document.unchanged;
        picture.converted(unchanged ? `${target} unchanged` : `Sources added to ${target}`);
        setStatus(documentSummaryOf(result, target), unchanged ? undefined : offerDownload(parts, target));
        return;
    }
    picture.converted(`${target} written`);
    setStatus(summaryOf(result, target), offerDownload(parts, target));
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
            picture.loaded(namesOf(loaded));
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
