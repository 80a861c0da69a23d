// A dialog that shows a table of a run's rows: Messages… and Fields…. A
// large file may give a row for nearly every entry, so the table is laid out
// when the dialog is first opened after a run, with at most rowsShown rows.

export const rowsShown = 5000;

export class TableDialog {
    constructor({ dialog, table, summary, closeButton }) {
        this.dialog = dialog;
        this.body = table.tBodies[0];
        this.summary = summary;
        closeButton.addEventListener("click", () => dialog.close());
    }

    // A new run's rows are coming: what the last one showed goes.
    clear() {
        this.body.replaceChildren();
        this.summary.textContent = "";
    }

    open() {
        if (this.body.rows.length === 0 && !this.isEmpty()) {
            this.body.replaceChildren(tableRows(this.cells()));
            this.summary.textContent = this.summaryText();
            this.summary.hidden = this.summary.textContent === "";
        }
        this.dialog.showModal();
    }

    // What a kind of dialog says: whether it has rows, the text of each
    // cell of the rows shown (an array of arrays), and the line below them.
    isEmpty() {
        throw new Error("isEmpty() is the dialog's own");
    }

    cells() {
        throw new Error("cells() is the dialog's own");
    }

    summaryText() {
        return "";
    }
}

function tableRows(cells) {
    const rows = document.createDocumentFragment();
    for (const texts of cells) {
        const row = document.createElement("tr");
        for (const text of texts) {
            const cell = document.createElement("td");
            cell.textContent = text;
            row.append(cell);
        }
        rows.append(row);
    }
    return rows;
}
