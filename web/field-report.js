// Fields…: the field report of a tidy run, the command's --report table
// (line, key, tag, field, element, note) to look at, and to save as the
// module wrote it. Only so many rows are shown; the saved file has them all.

const rowsShown = 5000;

export class FieldReportView {
    constructor({ dialog, table, summary, saveButton, closeButton }) {
        this.dialog = dialog;
        this.body = table.tBodies[0];
        this.summary = summary;
        this.parts = [];
        this.download = null;
        saveButton.addEventListener("click", () => this.save());
        closeButton.addEventListener("click", () => dialog.close());
    }

    // parts: the report's text as the module handed it out; none when the
    // run made no report.
    set(parts) {
        this.parts = parts;
        this.body.replaceChildren();
        this.summary.textContent = "";
    }

    isEmpty() {
        return this.parts.length === 0;
    }

    // The table is laid out when it is first looked at, not for every run.
    open() {
        if (this.body.rows.length === 0 && !this.isEmpty()) {
            this.fill();
        }
        this.dialog.showModal();
    }

    fill() {
        const text = new TextDecoder().decode(concatenated(this.parts));
        const lines = text.split("\n").slice(1).filter((line) => line !== "");
        const rows = document.createDocumentFragment();
        for (const line of lines.slice(0, rowsShown)) {
            const row = document.createElement("tr");
            for (const cell of line.split("\t")) {
                const item = document.createElement("td");
                item.textContent = cell;
                row.append(item);
            }
            rows.append(row);
        }
        this.body.replaceChildren(rows);
        const numbers = new Intl.NumberFormat();
        this.summary.textContent = lines.length > rowsShown
            ? `The first ${numbers.format(rowsShown)} of ${numbers.format(lines.length)} fields; the saved report has them all.`
            : `${numbers.format(lines.length)} ${lines.length === 1 ? "field" : "fields"}.`;
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
