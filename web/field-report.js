// Fields…: the field report of a tidy run, the command's --report table
// (line, key, tag, field, element, note) to look at, and to save as the
// module wrote it. Only so many rows are shown; the saved file has them all.

import { rowsShown, TableDialog } from "./table-dialog.js";

export class FieldReportView extends TableDialog {
    constructor(elements) {
        super(elements);
        this.parts = [];
        this.lines = [];
        this.download = null;
        elements.saveButton.addEventListener("click", () => this.save());
    }

    // parts: the report's text as the module handed it out; none when the
    // run made no report.
    set(parts) {
        this.parts = parts;
        this.lines = null;
        this.clear();
    }

    isEmpty() {
        return this.parts.length === 0;
    }

    // The report's rows, below its heading line; split when first shown.
    reportLines() {
        this.lines ??= new TextDecoder()
            .decode(concatenated(this.parts))
            .split("\n")
            .slice(1)
            .filter((line) => line !== "");
        return this.lines;
    }

    cells() {
        return this.reportLines().slice(0, rowsShown).map((line) => line.split("\t"));
    }

    summaryText() {
        const count = this.reportLines().length;
        const numbers = new Intl.NumberFormat();
        return count > rowsShown
            ? `The first ${numbers.format(rowsShown)} of ${numbers.format(count)} fields; the saved report has them all.`
            : `${numbers.format(count)} ${count === 1 ? "field" : "fields"}.`;
    }

    save() {
        if (this.download) {
            URL.revokeObjectURL(this.download);
        }
        this.download = URL.createObjectURL(new Blob(this.parts, { type: "text/tab-separated-values" }));
        const link = document.createElement("a");
        link.href = this.download;
        link.download = "field-report.tsv";
        link.click();
    }
}

function concatenated(parts) {
    const whole = new Uint8Array(parts.reduce((sum, part) => sum + part.length, 0));
    let at = 0;
    for (const part of parts) {
        whole.set(part, at);
        at += part.length;
    }
    return whole;
}
