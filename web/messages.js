// Messages…: what the parser and the converter said about each input, one
// row each (file, line, message), as in the window's dialog.

import { rowsShown, TableDialog } from "./table-dialog.js";

export class MessagesView extends TableDialog {
    constructor(elements) {
        super(elements);
        this.rows = [];
    }

    // rows: [{input, message: {line, lastLine, text}}]
    set(rows) {
        this.rows = rows;
        this.clear();
    }

    isEmpty() {
        return this.rows.length === 0;
    }

    cells() {
        return this.rows.slice(0, rowsShown).map(({ input, message }) => [input, lineText(message), message.text]);
    }

    summaryText() {
        const numbers = new Intl.NumberFormat();
        return this.rows.length > rowsShown
            ? `The first ${numbers.format(rowsShown)} of ${numbers.format(this.rows.length)} messages.`
            : "";
    }
}

function lineText({ line, lastLine }) {
    if (line === 0) {
        return "";
    }
    return lastLine > line ? `${line}–${lastLine}` : String(line);
}
