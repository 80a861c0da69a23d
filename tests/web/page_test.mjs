// The page in headless Chromium, as a person uses it: files dropped or
// chosen, Convert pressed, Sources.xml downloaded, byte for byte what the
// command writes for the same files and choice; the window's words and
// pictures; the keyboard alone; no request at all once the page has
// loaded; and the page still working with the server gone.
//
// node page_test.mjs, with BIBSOURCES_SITE (the folder scripts/build-web
// made), BIBSOURCES_CLI (the command) and BIBSOURCES_SAMPLES (.bib files,
// separated by ":").

import assert from "node:assert/strict";
import { execFile } from "node:child_process";
import { mkdtemp, readFile, rm, writeFile } from "node:fs/promises";
import { tmpdir } from "node:os";
import { basename, dirname, join } from "node:path";
import { after, before, describe, test } from "node:test";
import { fileURLToPath } from "node:url";
import { promisify } from "node:util";

import { startBrowser, startServer } from "./browser.mjs";
import { chooseFiles, dropFiles, pictureState, setTidy, statusText, waitForReady, waitForRunEnd } from "./page_actions.mjs";

const run = promisify(execFile);
const site = process.env.BIBSOURCES_SITE;
const command = process.env.BIBSOURCES_CLI;
const samples = (process.env.BIBSOURCES_SAMPLES ?? "").split(":").filter(Boolean);
const serverScript = fileURLToPath(new URL("../../web/tools/serve.mjs", import.meta.url));

// The command's document for the same inputs, run beside them as the page
// names them; null when the command refuses them.
async function commandDocument(paths, tidy) {
    const scratch = await mkdtemp(join(tmpdir(), "bibsources-expected-"));
    const output = join(scratch, "Sources.xml");
    const { stdout } = await run(command, ["--help"]);
    const reader = stdout.includes("--reader") ? ["--reader=own"] : [];
    try {
        await run(command, [...reader, ...(tidy ? ["--tidy"] : []), "-o", output, ...paths.map((path) => basename(path))],
            { cwd: dirname(paths[0]) });
        return await readFile(output);
    } catch {
        return null;
    } finally {
        await rm(scratch, { recursive: true, force: true });
    }
}

function sameBytes(actual, expected, what) {
    if (!actual.equals(expected)) {
        const at = [...expected].findIndex((byte, i) => actual[i] !== byte);
        const from = Math.max(0, at - 80);
        assert.fail(`${what}: the page's Sources.xml differs from the command's at byte ${at}:\n`
            + `page:    ${JSON.stringify(actual.subarray(from, at + 80).toString())}\n`
            + `command: ${JSON.stringify(expected.subarray(from, at + 80).toString())}`);
    }
}

describe("the page", { concurrency: false, timeout: 240000 }, () => {
    let server;
    let chromium;
    let page;
    let requestsAtLoad = 0;

    before(async () => {
        assert.ok(site && command && samples.length > 0, "BIBSOURCES_SITE, BIBSOURCES_CLI and BIBSOURCES_SAMPLES");
        server = await startServer(serverScript, site);
        chromium = await startBrowser();
        page = await chromium.browser.newPage();
        await page.goto(server.url);
        await waitForReady(page);
        // Loaded: the converter is up and every file of the page is kept.
        await page.evaluate(async () => {
            await navigator.serviceWorker.ready;
        });
        await page.reload();
        await waitForReady(page);
        await page.waitForFunction(() => navigator.serviceWorker.controller !== null);
        requestsAtLoad = server.requests.length;
    });

    after(async () => {
        await chromium?.close();
        await server?.stop();
    });

    // What a drop or a choice of these files and Convert download.
    async function convertOnPage(paths, { tidy, by }) {
        await setTidy(page, tidy);
        if (by === "drop") {
            await dropFiles(page, paths);
        } else {
            await chooseFiles(page, paths);
        }
        assert.equal(await pictureState(page), "loaded");
        return chromium.nextDownload(() => page.click("#convert-button"));
    }

    const cases = samples.flatMap((path, index) => [true, false].map((tidy) => ({ path, tidy, by: index % 2 ? "drop" : "chooser" })));
    for (const { path, tidy, by } of cases) {
        test(`${basename(path)} ${tidy ? "tidy" : "plain"}, by ${by}: the command's document`, async () => {
            const expected = await commandDocument([path], tidy);
            if (expected === null) {
                await setTidy(page, tidy);
                await dropFiles(page, [path]);
                await page.click("#convert-button");
                await waitForRunEnd(page);
                assert.equal(await pictureState(page), "failed");
                assert.match(await statusText(page), /^Could not convert /);
                return;
            }
            const download = await convertOnPage([path], { tidy, by });
            assert.equal(download.name, "Sources.xml");
            sameBytes(download.bytes, expected, basename(path));
            assert.equal(await pictureState(page), "converted");
            assert.match(await statusText(page), /^[0-9,.]+ sources? written to Sources\.xml/);
        });
    }

    test("several files dropped together: one document of them all, as the command makes it", async () => {
        const paths = samples.filter((path) => dirname(path) === dirname(samples[0])).slice(0, 3);
        const expected = await commandDocument(paths, true);
        const download = await convertOnPage(paths, { tidy: true, by: "drop" });
        sameBytes(download.bytes, expected, paths.map((path) => basename(path)).join(" "));
    });

    test("a file that is not .bib is refused in the window's words, and the picture stays idle", async () => {
        const scratch = await mkdtemp(join(tmpdir(), "bibsources-refused-"));
        const notes = join(scratch, "notes.txt");
        await writeFile(notes, "@article{a, title={T}}\n");
        await page.waitForFunction(() => document.getElementById("drop-area").dataset.state === "idle");
        await dropFiles(page, [notes]);
        await rm(scratch, { recursive: true, force: true });
        assert.equal(await statusText(page), "notes.txt is not a .bib file; only .bib files can be converted.");
        assert.equal(await pictureState(page), "idle");
        assert.equal(await page.$eval("#convert-button", (button) => button.disabled), true);
    });

    test("by keyboard alone: Tab to the picture, Enter chooses, Enter converts", async () => {
        const path = samples[0];
        const expected = await commandDocument([path], true);
        await setTidy(page, true);
        // A click on the heading above the picture, which takes no focus,
        // starts the keyboard's way through the page there.
        await page.mouse.click(2, 2);
        await page.keyboard.press("Tab");
        assert.equal(await page.evaluate(() => document.activeElement.id), "drop-area");
        await chooseFiles(page, [path], () => page.keyboard.press("Enter"));
        assert.equal(await page.evaluate(() => document.activeElement.id), "convert-button");
        const download = await chromium.nextDownload(() => page.keyboard.press("Enter"));
        sameBytes(download.bytes, expected, basename(path));
        assert.equal(await page.evaluate(() => document.activeElement.id), "drop-area");
    });

    test("a converter that dies on a run is said in the page and replaced; the next run converts", async () => {
        const [worker] = page.workers();
        // The worker fails on the next run as a trap in the module fails it.
        await worker.evaluate(() => {
            self.onmessage = () => {
                throw new WebAssembly.RuntimeError("unreachable");
            };
        });
        await setTidy(page, true);
        await dropFiles(page, [samples[0]]);
        await page.click("#convert-button");
        await waitForRunEnd(page);
        assert.equal(await pictureState(page), "failed");
        assert.match(await statusText(page), /^Could not convert .*: the converter failed .*unreachable.*The converter has been restarted/);
        await page.waitForFunction(() => !document.getElementById("open-button").hidden);
        const expected = await commandDocument([samples[0]], true);
        const download = await convertOnPage([samples[0]], { tidy: true, by: "drop" });
        sameBytes(download.bytes, expected, basename(samples[0]));
    });

    test("a long run shows how far it has come, and Stop ends it with nothing written", async () => {
        const scratch = await mkdtemp(join(tmpdir(), "bibsources-long-"));
        const long = join(scratch, "long.bib");
        const entry = (i) => `@article{key${i}, author = {M{\\"u}ller, Anna and van der Berg, Jan}, title = {Title ${i}}, year = 2024}\n`;
        await writeFile(long, Array.from({ length: 200000 }, (_, i) => entry(i)).join(""));
        await setTidy(page, true);
        await dropFiles(page, [long]);
        await rm(scratch, { recursive: true, force: true });
        await page.click("#convert-button");
        await page.waitForFunction(() => document.getElementById("progress").value > 0, { polling: "mutation" });
        assert.match(await page.$eval("#progress-text", (text) => text.textContent), /^[0-9]+% read · [0-9,.]+ entr/);
        await page.click("#stop-button");
        await waitForRunEnd(page);
        assert.equal(await statusText(page), "Stopped; nothing was written.");
        assert.equal(await pictureState(page), "idle");
        const expected = await commandDocument([samples[0]], false);
        const download = await convertOnPage([samples[0]], { tidy: false, by: "chooser" });
        sameBytes(download.bytes, expected, basename(samples[0]));
    });

    test("once loaded, the page made no request at all", () => {
        assert.deepEqual(server.requests.slice(requestsAtLoad), []);
    });

    test("with the server gone the page loads again and converts", async () => {
        await server.stop();
        server = null;
        await page.reload();
        await waitForReady(page);
        const path = samples[samples.length - 1];
        const expected = await commandDocument([path], true);
        if (expected !== null) {
            const download = await convertOnPage([path], { tidy: true, by: "drop" });
            sameBytes(download.bytes, expected, basename(path));
        }
    });
});
