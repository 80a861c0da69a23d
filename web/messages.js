// Messages…: what the parser and the converter said about each input, one
// row each (file, line, message), as in the window's dialog.

export class MessagesView {
    constructor(dialog, table, closeButton) {
        this.dialog = dialog;
        this.body = table.tBodies[0];
        this.rows = [];
        closeButton.addEventListener("click", () => dialog.close());
    }

    // rows: [{input, message: {line, lastLine, text}}]
    set(rows) {
        this.rows = rows;
        this.body.replaceChildren(...rows.map(({ input, message }) => {
            const row = document.createElement("tr");
            const line = message.line === 0 ? ""
                : message.lastLine > message.line ? `${message.line}–${message.lastLine}` : String(message.line);
            for (const text of [input, line, message.text]) {
                const cell = document.createElement("td");
                cell.textContent = text;
                row.append(cell);
            }
            return row;
        }));
    }

    isEmpty() {
        return this.rows.length === 0;
    }

    open() {
        this.dialog.showModal();
    }
}
