// What a person does on the page, done through the page itself: a real drop
// (a DataTransfer holding the files, dragged over and dropped on the
// picture), the file chooser, the keyboard. Every wait gives up with the
// page's state after `patience` seconds.

import { readFile } from "node:fs/promises";
import { basename, resolve } from "node:path";

import { pageState, within } from "./waits.mjs";

const patience = 30;

// Waits until `predicate` holds in the page; fails saying `what` did not happen.
export async function waitInPage(page, what, predicate, ...args) {
    const holds = page.waitForFunction(predicate, { polling: "mutation", timeout: 0 }, ...args);
    try {
        await within(patience, what, holds, () => pageState(page));
    } finally {
        holds.catch(() => {});
    }
}

export async function waitForReady(page) {
    await waitInPage(page, "the converter never said it was ready",
        () => document.getElementById("status").textContent.startsWith("Drop .bib files"));
}

export async function statusText(page) {
    return page.$eval("#status", (status) => status.textContent);
}

export async function pictureState(page) {
    return page.$eval("#drop-area", (area) => area.dataset.state);
}

// Drops the files on the picture as a file manager would.
export async function dropFiles(page, paths) {
    const files = await Promise.all(paths.map(async (path) => ({
        name: basename(path),
        bytes: (await readFile(path)).toString("base64"),
    })));
    await page.evaluate((files) => {
        const transfer = new DataTransfer();
        for (const { name, bytes } of files) {
            const data = Uint8Array.from(atob(bytes), (c) => c.charCodeAt(0));
            transfer.items.add(new File([data], name));
        }
        const area = document.getElementById("drop-area");
        for (const type of ["dragenter", "dragover", "drop"]) {
            area.dispatchEvent(new DragEvent(type, { dataTransfer: transfer, bubbles: true, cancelable: true }));
        }
    }, files);
}

// The tab's file chooser, answered here: from the start the browser shows
// none of its own but says when the page opens one, so that none is missed.
// choose(paths, open) does `open` (by default a click on Open…) and
// chooses the files in the chooser it opens.
export async function fileChooserOf(page) {
    const session = await page.createCDPSession();
    let opened = null;
    session.on("Page.fileChooserOpened", (event) => opened?.(event));
    await session.send("Page.enable");
    await session.send("Page.setInterceptFileChooserDialog", { enabled: true });
    return {
        async choose(paths, open = () => page.click("#open-button")) {
            const shown = new Promise((resolve) => {
                opened = resolve;
            });
            try {
                await open();
                const { backendNodeId } = await within(patience, "no file chooser opened", shown, () => pageState(page));
                await session.send("DOM.setFileInputFiles", { files: paths.map((path) => resolve(path)), backendNodeId });
            } finally {
                opened = null;
            }
        },
    };
}

export async function setTidy(page, tidy) {
    await page.$eval("#tidy", (box, tidy) => {
        box.checked = tidy;
    }, tidy);
}

// Waits for the run that is going on to end, converted or failed.
export async function waitForRunEnd(page) {
    await waitInPage(page, "the run never ended",
        () => ["converted", "failed", "idle"].includes(document.getElementById("drop-area").dataset.state)
            && document.getElementById("busy").hidden);
}
