// The page's conversion time beside the command's, in the same run, on one
// file, each from its start until its file is saved: node bench/web_page.mjs
// SITE COMMAND FILE.bib RUNS [LIST.xml]. Rounds alternate the page and the
// command; prints the median wall time of each, plain and --tidy, and with
// LIST the file merged (--tidy --merge) into LIST, and checks that both gave
// the same bytes. A tidy run in the page also makes the field report
// (Fields…), so the command's is timed with --report as well.

import { execFile } from "node:child_process";
import { copyFile, mkdtemp, readFile, rm } from "node:fs/promises";
import { tmpdir } from "node:os";
import { basename, dirname, join } from "node:path";
import { promisify } from "node:util";

import { startBrowser, startServer } from "../tests/web/browser.mjs";
import { fileChooserOf, setTidy, waitForReady } from "../tests/web/page_actions.mjs";

const run = promisify(execFile);
const [site, command, file, runs = "3", list] = process.argv.slice(2);
const median = (values) => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)];

const server = await startServer(new URL("../web/tools/serve.mjs", import.meta.url).pathname, site);
const chromium = await startBrowser();
const page = await chromium.browser.newPage();
const chooser = await fileChooserOf(page);
await page.goto(server.url);
await waitForReady(page);
const scratch = await mkdtemp(join(tmpdir(), "bibsources-bench-"));

// The page's time runs from its Convert button's click, as the page saw it
// (not from when this script asked the browser to click, a round trip that
// is no part of the page), until the browser has saved the file.
await page.evaluate(() => document.getElementById("convert-button").addEventListener("click", (event) => {
    window.benchClickedAt = performance.timeOrigin + event.timeStamp;
}, { capture: true }));

async function onPage(tidy, list) {
    await setTidy(page, tidy);
    await chooser.choose(list ? [file, list] : [file]);
    const download = await chromium.nextDownload(async () => {
        await page.click("#convert-button");
        await page.waitForFunction(() => document.getElementById("drop-area").dataset.state === "converted",
            { polling: "mutation", timeout: 0 });
    });
    const clickedAt = await page.evaluate(() => window.benchClickedAt);
    return { seconds: (download.finishedAt - clickedAt) / 1000, bytes: download.bytes };
}

// With list, the file is merged into a fresh copy of it.
async function byCommand(tidy, list) {
    const output = join(scratch, list ? basename(list) : "Sources.xml");
    if (list) {
        await copyFile(list, output);
    }
    const started = performance.now();
    const tidyArguments = tidy ? ["--tidy", "--report", join(scratch, "field-report.tsv")] : [];
    await run(command, ["--reader=own", ...tidyArguments, ...(list ? ["--merge"] : []), "-o", output, basename(file)],
        { cwd: dirname(file) });
    return { seconds: (performance.now() - started) / 1000, bytes: await readFile(output) };
}

console.log(`file: ${basename(file)}, ${runs} rounds, median wall seconds`);
console.log("mapping  page   command  page/command  same bytes");
const rows = [{ name: "plain", tidy: false }, { name: "tidy ", tidy: true }, ...(list ? [{ name: "merge", tidy: true, list }] : [])];
for (const { name, tidy, list } of rows) {
    const times = { page: [], command: [] };
    let same = true;
    for (let round = 0; round < Number(runs); ++round) {
        const fromPage = await onPage(tidy, list);
        const fromCommand = await byCommand(tidy, list);
        times.page.push(fromPage.seconds);
        times.command.push(fromCommand.seconds);
        same &&= fromPage.bytes.equals(fromCommand.bytes);
    }
    const [pageTime, commandTime] = [median(times.page), median(times.command)];
    console.log(`${name}    ${pageTime.toFixed(2)}   ${commandTime.toFixed(2)}     `
        + `${(pageTime / commandTime).toFixed(2)}x         ${same ? "yes" : "NO"}`);
}
await rm(scratch, { recursive: true, force: true });
await chromium.close();
await server.stop();
