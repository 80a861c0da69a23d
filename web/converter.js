// The converter, in a worker of its own so the page never freezes: one run
// at a time, its progress as it comes, and a worker that failed (a trap or
// running out of memory in the module) or was stopped replaced by a new one.

export class Converter {
    constructor({ onReady, onProgress }) {
        this.onReady = onReady;
        this.onProgress = onProgress;
        this.run = null;
        this.start();
    }

    start() {
        this.ready = false;
        this.worker = new Worker(new URL("conversion-worker.js", import.meta.url), { type: "module" });
        this.worker.onmessage = (event) => this.receive(event.data);
        this.worker.onerror = (event) => {
            event.preventDefault();
            this.crashed(`the converter failed (${event.message || "it stopped working"})`);
        };
    }

    receive(message) {
        switch (message.type) {
        case "ready":
            this.ready = true;
            this.onReady(true, "");
            break;
        case "unavailable":
            this.onReady(false, message.reason);
            break;
        case "progress":
            this.onProgress(message);
            break;
        case "done":
            this.finish({ kind: "done", result: message.result, parts: message.parts, reportParts: message.reportParts });
            break;
        case "crashed":
            this.crashed(message.reason);
            break;
        }
    }

    // Resolves with {kind: "done", result, parts, reportParts} (the
    // document's and, when asked for with tidy, the field report's pieces;
    // with a list, the source list the files are merged into, parts the
    // merged list and result.merge what became of its records; with toBib,
    // files are source lists and parts the BibTeX text of their sources;
    // with into ({merge}), the last file is the Word document the others go
    // into and parts the whole document), {kind: "crashed", reason} or
    // {kind: "stopped"}.
    convert(files, { tidy, report, toBib = false, list = null, into = null }) {
        return new Promise((resolve) => {
            this.run = resolve;
            this.worker.postMessage({ type: "convert", files, tidy, report, toBib, list, into });
        });
    }

    stop() {
        this.replaceWorker();
        this.finish({ kind: "stopped" });
    }

    crashed(reason) {
        this.replaceWorker();
        this.finish({ kind: "crashed", reason });
    }

    replaceWorker() {
        this.worker.terminate();
        this.start();
    }

    finish(outcome) {
        const run = this.run;
        this.run = null;
        if (run) {
            run(outcome);
        }
    }
}
