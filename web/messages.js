// Messages…: what the parser and the converter said about each input, one
// row each (file, line, message), as in the window's dialog. A large file
// may have a message for nearly every entry: the table is laid out when it
// is looked at, with at most so many rows.

const rowsShown = 5000;

export class MessagesView {
    constructor({ dialog, table, summary, closeButton }) {
        this.dialog = dialog;
        this.body = table.tBodies[0];
        this.summary = summary;
        this.rows = [];
        closeButton.addEventListener("click", () => dialog.close());
    }

    // rows: [{input, message: {line, lastLine, text}}]
    set(rows) {
        this.rows = rows;
        this.body.replaceChildren();
        this.summary.textContent = "";
        this.summary.hidden = true;
    }

    isEmpty() {
        return this.rows.length === 0;
    }

    open() {
        if (this.body.rows.length === 0 && !this.isEmpty()) {
            this.fill();
        }
        this.dialog.showModal();
    }

    fill() {
        const rows = document.createDocumentFragment();
        for (const { input, message } of this.rows.slice(0, rowsShown)) {
            const row = document.createElement("tr");
            const line = message.line === 0 ? ""
                : message.lastLine > message.line ? `${message.line}–${message.lastLine}` : String(message.line);
            for (const text of [input, line, message.text]) {
                const cell = document.createElement("td");
                cell.textContent = text;
                row.append(cell);
            }
            rows.append(row);
        }
        this.body.replaceChildren(rows);
        if (this.rows.length > rowsShown) {
            const numbers = new Intl.NumberFormat();
            this.summary.textContent = `The first ${numbers.format(rowsShown)} of ${numbers.format(this.rows.length)} messages.`;
            this.summary.hidden = false;
        }
    }
}
