// The page in headless Chromium, as a person uses it: files dropped or
// chosen, Convert pressed, Sources.xml downloaded, byte for byte what the
// command writes for the same files and choice; the window's words and
// pictures; the keyboard alone; no request at all once the page has
// loaded; and the page still working with the server gone.
//
// node page_test.mjs, with BIBSOURCES_SITE (the folder scripts/build-web
// made), BIBSOURCES_CLI (the command), BIBSOURCES_GENERATE (the benchmark's
// .bib generator), BIBSOURCES_SAMPLES (.bib files, separated by ":"),
// BIBSOURCES_LISTS (source lists, the same way) and BIBSOURCES_MERGE_LISTS
// (source lists to merge into, the same way, the first of them with
// BIBSOURCES_MERGE_BIB).

import assert from "node:assert/strict";
import { execFile, spawn } from "node:child_process";
import { once } from "node:events";
import { mkdtemp, open, readFile, rm, writeFile } from "node:fs/promises";
import { tmpdir } from "node:os";
import { basename, dirname, join } from "node:path";
import { after, before, beforeEach, describe, test } from "node:test";
import { fileURLToPath } from "node:url";
import { promisify } from "node:util";

import { startBrowser, startServer } from "./browser.mjs";
import { citing, documentWithList, plainDocument, refusedDocuments, writeDocument } from "./word_documents.mjs";
import { unzipSync } from "../../web/node_modules/fflate/esm/index.mjs";
import { dropFiles, fileChooserOf, pictureState, setTidy, statusText, waitForReady, waitForRunEnd, waitInPage } from "./page_actions.mjs";
import { pageState, within } from "./waits.mjs";

const run = promisify(execFile);
const site = process.env.BIBSOURCES_SITE;
const command = process.env.BIBSOURCES_CLI;
const samples = (process.env.BIBSOURCES_SAMPLES ?? "").split(":").filter(Boolean);
const lists = (process.env.BIBSOURCES_LISTS ?? "").split(":").filter(Boolean);
const mergeLists = (process.env.BIBSOURCES_MERGE_LISTS ?? "").split(":").filter(Boolean);
const mergeBib = process.env.BIBSOURCES_MERGE_BIB;
const generator = process.env.BIBSOURCES_GENERATE;
const serverScript = fileURLToPath(new URL("../../web/tools/serve.mjs", import.meta.url));

// Writes a generated .bib file of `entries` entries (the benchmark's generator) to `path`.
async function generate(path, entries) {
    const file = await open(path, "w");
    try {
        const generating = spawn(generator, [String(entries)], { stdio: ["ignore", file.fd, "inherit"] });
        const [code] = await once(generating, "exit");
        assert.equal(code, 0, `${generator} ${entries}`);
    } finally {
        await file.close();
    }
}

// The command's document for the same inputs, run beside them as the page
// names them; null when the command refuses them.
async function commandDocument(paths, tidy) {
    return (await commandOutputs(paths, { tidy }))?.document ?? null;
}

// The command's document and, with report (and tidy), its --report table;
// null when the command refuses the inputs.
async function commandOutputs(paths, { tidy, report = false }) {
    const scratch = await mkdtemp(join(tmpdir(), "bibsources-expected-"));
    const output = join(scratch, "Sources.xml");
    const table = join(scratch, "report.tsv");
    const { stdout } = await run(command, ["--help"]);
    const reader = stdout.includes("--reader") ? ["--reader=own"] : [];
    const options = [...reader, ...(tidy ? ["--tidy"] : []), ...(report ? ["--report", table] : [])];
    try {
        await run(command, [...options, "-o", output, ...paths.map((path) => basename(path))], { cwd: dirname(paths[0]) });
        return { document: await readFile(output), report: report ? await readFile(table) : null };
    } catch {
        return null;
    } finally {
        await rm(scratch, { recursive: true, force: true });
    }
}

// What `bibsources --to-bib` makes of the lists, run beside them as the page
// names them: {bib} when it writes the .bib, else {error} (its standard error).
async function commandBib(paths) {
    const scratch = await mkdtemp(join(tmpdir(), "bibsources-expected-"));
    const output = join(scratch, "Sources.bib");
    try {
        await run(command, ["-q", "--to-bib", "-o", output, ...paths.map((path) => basename(path))], { cwd: dirname(paths[0]) });
        return { bib: await readFile(output) };
    } catch (failure) {
        return { error: String(failure.stderr) };
    } finally {
        await rm(scratch, { recursive: true, force: true });
    }
}

// What `bibsources --merge -o LIST BIBS...` makes of a copy of the list,
// with the list and the .bib files beside each other as the page names
// them: {list, report, summary, messages} when it merges (the merged list,
// the --report table with report, its "merged into" line and its messages
// about the list, each with the list named as the page names it), else
// {error} (its standard error).
async function commandMerge(listPath, bibPaths, { tidy, report = false }) {
    const scratch = await mkdtemp(join(tmpdir(), "bibsources-expected-"));
    const list = basename(listPath);
    const destination = join(scratch, list);
    try {
        for (const path of [listPath, ...bibPaths]) {
            await writeFile(join(scratch, basename(path)), await readFile(path));
        }
        const options = ["--reader=own", ...(tidy ? ["--tidy"] : []), ...(report ? ["--report", "report.tsv"] : [])];
        const { stderr } = await run(command, [...options, "--merge", "-o", list, ...bibPaths.map((path) => basename(path))], { cwd: scratch });
        const lines = stderr.split("\n");
        const summary = lines.find((line) => line.startsWith(`merged into ${destination}: `));
        return {
            list: await readFile(destination),
            report: report ? await readFile(join(scratch, "report.tsv")) : null,
            summary: summary?.replace(`merged into ${destination}`, `Merged into ${list}`),
            messages: lines.filter((line) => line.startsWith(`${destination}: `)).map((line) => line.slice(destination.length + 2)),
        };
    } catch (failure) {
        return { error: String(failure.stderr) };
    } finally {
        await rm(scratch, { recursive: true, force: true });
    }
}

// What `bibsources [--merge] -o DOCUMENT BIBS...` makes of a copy of the
// document, run beside the inputs as the page names them: {document,
// stderr}, or {error}.
async function commandIntoDocument(bibPaths, documentPath, { merge = false } = {}) {
    const scratch = await mkdtemp(join(tmpdir(), "bibsources-expected-"));
    const copy = join(scratch, basename(documentPath));
    await writeFile(copy, await readFile(documentPath));
    for (const path of bibPaths) {
        await writeFile(join(scratch, basename(path)), await readFile(path));
    }
    try {
        const { stderr } = await run(command,
            ["--reader=own", ...(merge ? ["--merge"] : []), "-o", basename(copy), ...bibPaths.map((path) => basename(path))],
            { cwd: scratch });
        return { document: await readFile(copy), stderr };
    } catch (failure) {
        return { error: String(failure.stderr) };
    } finally {
        await rm(scratch, { recursive: true, force: true });
    }
}

// The records of a source list's text, each with its tag.
function recordsOf(text) {
    return [...String(text).matchAll(/<b:Source>[^]*?<\/b:Source>/g)].map(([record]) => ({
        record,
        tag: /<b:Tag>([^<]*)<\/b:Tag>/.exec(record)?.[1],
    }));
}

// Two packages hold the same members, in the same order, with the same
// bytes; only a new list's random item id may differ. Their zip bytes may
// differ: the page packs every member again.
function sameMembers(actual, expected, what) {
    const membersOf = (bytes) => Object.entries(unzipSync(new Uint8Array(bytes))).map(([name, data]) =>
        [name, Buffer.from(data).toString("latin1").replace(/ds:itemID="\{[0-9A-F-]{36}\}"/, 'ds:itemID="{random}"')]);
    assert.deepEqual(membersOf(actual), membersOf(expected), `${what}: the page's document holds other members than the command's`);
    compared.set("documents (member by member)", (compared.get("documents (member by member)") ?? 0) + 1);
}

// .xml files that are not source lists, by name: a web page, a list cut
// short, another kind of XML.
const notSourceLists = {
    "page.xml": "<!DOCTYPE html>\n<html><body>Not a list</body></html>\n",
    "cut.xml": `<?xml version="1.0"?>\n<b:Sources xmlns:b="http://schemas.openxmlformats.org/officeDocument/2006/bibliography">\n<b:Source><b:Tag>a</b:Tag>\n`,
    "other.xml": "<?xml version=\"1.0\"?>\n<catalog><book/></catalog>\n",
};

// How many of the page's files were compared with the command's, by kind.
const compared = new Map();

function sameBytes(actual, expected, what, kind = "Sources.xml") {
    compared.set(kind, (compared.get(kind) ?? 0) + 1);
    if (!actual.equals(expected)) {
        const length = Math.max(actual.length, expected.length);
        const at = Array.from({ length }, (_, i) => i).find((i) => actual[i] !== expected[i]);
        const from = Math.max(0, at - 80);
        assert.fail(`${what}: the page's ${kind} differs from the command's at byte ${at}:\n`
            + `page:    ${JSON.stringify(actual.subarray(from, at + 80).toString())}\n`
            + `command: ${JSON.stringify(expected.subarray(from, at + 80).toString())}`);
    }
}

// The whole suite's time limit, inside the test command's (300 s), so that
// a page that stops answering still ends the run with its cause.
describe("the page", { concurrency: false, timeout: 270000 }, () => {
    let server;
    let chromium;
    let page;
    let chooser;
    let tabsOpened = 0;
    let requestsAtLoad = 0;
    let pageUrl;

    // Each test has a tab of its own, the page loaded afresh in it (from the
    // service worker's copy, once it is kept): a tab that starts more than
    // about ten downloads within a second, as a run of quick tests does,
    // has Chromium refuse every later download from it.
    async function openPage() {
        await page?.close();
        page = await chromium.browser.newPage();
        tabsOpened += 1;
        page.on("pageerror", (error) => console.error(`page error: ${error.message}`));
        page.on("console", (message) => {
            if (message.type() === "error" || message.type() === "warn") {
                console.error(`page console (${message.type()}): ${message.text()}`);
            }
        });
        chooser = await fileChooserOf(page);
        await within(30, "the page did not load", page.goto(pageUrl), () => pageState(page));
        await waitForReady(page);
    }

    before(async () => {
        assert.ok(site && command && generator && samples.length > 0 && lists.length > 0 && mergeLists.length > 1 && mergeBib,
            "BIBSOURCES_SITE, BIBSOURCES_CLI, BIBSOURCES_GENERATE, BIBSOURCES_SAMPLES, BIBSOURCES_LISTS, BIBSOURCES_MERGE_LISTS and BIBSOURCES_MERGE_BIB");
        server = await startServer(serverScript, site);
        pageUrl = server.url;
        chromium = await startBrowser();
        await openPage();
        // Loaded: the converter is up and every file of the page is kept.
        await within(30, "the service worker never became ready",
            page.evaluate(async () => {
                await navigator.serviceWorker.ready;
            }), () => pageState(page));
        await openPage();
        assert.equal(await page.evaluate(() => navigator.serviceWorker.controller !== null), true,
            "a page loaded after the service worker is ready is answered by it");
        requestsAtLoad = server.requests.length;
        tabsOpened = 1;
    });

    beforeEach(openPage);

    after(async () => {
        console.log(`# byte for byte the command's: ${[...compared].map(([kind, count]) => `${count} ${kind}`).join(", ")}`);
        await chromium?.close();
        await server?.stop();
    });

    // Presses Convert and resolves with the download it starts.
    function downloadOnConvert(press = () => page.click("#convert-button"), seconds = undefined) {
        return chromium.nextDownload(press, () => pageState(page), seconds);
    }

    // What a drop or a choice of these files and Convert download.
    async function convertOnPage(paths, { tidy, by }) {
        await setTidy(page, tidy);
        if (by === "drop") {
            await dropFiles(page, paths);
        } else {
            await chooser.choose(paths);
        }
        assert.equal(await pictureState(page), "loaded");
        return downloadOnConvert();
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

    // The field report of a tidy run, for each input the command converts:
    // the table Fields… shows and the file it saves, the command's --report.
    for (const path of samples) {
        test(`${basename(path)}: Fields… shows and saves the command's field report`, async () => {
            const expected = await commandOutputs([path], { tidy: true, report: true });
            if (expected === null) {
                return;
            }
            const download = await convertOnPage([path], { tidy: true, by: "drop" });
            sameBytes(download.bytes, expected.document, basename(path));
            await page.click("#fields-button");
            await waitInPage(page, "the field report never opened", () => document.getElementById("fields-dialog").open);
            const rows = expected.report.toString().split("\n").slice(1, -1).map((line) => line.split("\t"));
            const shown = await page.$$eval("#fields-table tbody tr", (trs) => trs.map((tr) => [...tr.cells].map((td) => td.textContent)));
            assert.deepEqual(shown, rows.slice(0, 5000), `${basename(path)}: the table shown`);
            const saved = await downloadOnConvert(() => page.click("#fields-save"));
            assert.equal(saved.name, "field-report.tsv");
            sameBytes(saved.bytes, expected.report, basename(path), "field report");
        });
    }

    test("a plain run has no field report", async () => {
        await convertOnPage([samples[0]], { tidy: false, by: "drop" });
        assert.equal(await page.$eval("#fields-button", (button) => button.disabled), true);
    });

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
        await dropFiles(page, [notes]);
        await rm(scratch, { recursive: true, force: true });
        assert.equal(await statusText(page),
            "notes.txt is not a .bib file, a source list or a Word document; "
            + "only .bib files, source lists (.xml) and Word documents (.docx) can be converted.");
        assert.equal(await pictureState(page), "idle");
        assert.equal(await page.$eval("#convert-button", (button) => button.disabled), true);
    });

    // What a drop or a choice of these source lists and Convert download.
    async function bibOnPage(paths, by) {
        if (by === "drop") {
            await dropFiles(page, paths);
        } else {
            await chooser.choose(paths);
        }
        assert.equal(await pictureState(page), "loaded");
        assert.equal(await page.$eval("#tidy", (box) => box.disabled), true, "a list has no mapping to choose");
        return downloadOnConvert();
    }

    lists.forEach((path, index) => {
        const by = index % 2 ? "drop" : "chooser";
        test(`${basename(dirname(path))}/${basename(path)} alone, by ${by}: the command's --to-bib`, async () => {
            const expected = await commandBib([path]);
            assert.ok(expected.bib, `the command writes a .bib for ${path}: ${expected.error}`);
            const download = await bibOnPage([path], by);
            assert.equal(download.name, "Sources.bib");
            sameBytes(download.bytes, expected.bib, basename(path), "Sources.bib");
            assert.equal(await pictureState(page), "converted");
            assert.match(await statusText(page), /^[0-9,.]+ sources? written to Sources\.bib/);
        });
    });

    test("a Sources.xml the command wrote, and two lists together: the command's --to-bib", async () => {
        const scratch = await mkdtemp(join(tmpdir(), "bibsources-lists-"));
        try {
            const written = join(scratch, "Sources.xml");
            await run(command, ["-q", "-o", written, samples[0]]);
            const expected = await commandBib([written]);
            sameBytes((await bibOnPage([written], "drop")).bytes, expected.bib, "a Sources.xml of the command's", "Sources.bib");
            // Keys stay unique across the lists, as the command keeps them.
            const again = join(scratch, "again.xml");
            await writeFile(again, await readFile(written));
            const both = await commandBib([written, again]);
            await openPage();
            sameBytes((await bibOnPage([written, again], "chooser")).bytes, both.bib, "two lists", "Sources.bib");
        } finally {
            await rm(scratch, { recursive: true, force: true });
        }
    });

    // After Convert on files the command refused: the picture shows the
    // failure, the status line is `prefix` and one of the errors the command
    // wrote (`commandError`, its standard error), and nothing is offered.
    // Returns the page's error.
    async function saysRefusal(name, prefix, commandError) {
        await page.click("#convert-button");
        await waitForRunEnd(page);
        assert.equal(await pictureState(page), "failed", name);
        const status = await statusText(page);
        assert.ok(status.startsWith(prefix), status);
        const error = status.slice(prefix.length);
        assert.ok(commandError.includes(`bibsources: ${error}\n`),
            `${name}: the page said ${JSON.stringify(error)}, the command ${JSON.stringify(commandError)}`);
        assert.equal(await page.$("#download-link"), null);
        return error;
    }

    test("a file that is not a source list fails in the command's words, and nothing is offered", async () => {
        const scratch = await mkdtemp(join(tmpdir(), "bibsources-not-lists-"));
        try {
            const files = notSourceLists;
            for (const [name, text] of Object.entries(files)) {
                const path = join(scratch, name);
                await writeFile(path, text);
                const expected = await commandBib([path]);
                assert.equal(expected.bib, undefined, `the command refuses ${name}`);
                await openPage();
                await dropFiles(page, [path]);
                const error = await saysRefusal(name, `Could not convert ${name}: `, expected.error);
                assert.ok(error.startsWith(`'${name}' `), error);
            }
        } finally {
            await rm(scratch, { recursive: true, force: true });
        }
    });

    // What a drop or a choice of these .bib files with a source list and
    // Convert download: the merged list.
    async function mergeOnPage(listPath, bibPaths, { tidy, by }) {
        await setTidy(page, tidy);
        const paths = by === "drop" ? [listPath, ...bibPaths] : [...bibPaths, listPath];
        if (by === "drop") {
            await dropFiles(page, paths);
        } else {
            await chooser.choose(paths);
        }
        assert.equal(await pictureState(page), "loaded");
        const names = `${bibPaths.map((path) => basename(path)).join(" and ")} into ${basename(listPath)}`;
        assert.equal(await statusText(page), `${names} — ready to merge`);
        assert.equal(await page.$eval("#drop-area", (area) => area.getAttribute("aria-label")), `${names} ready to merge`);
        assert.equal(await page.$eval("#tidy", (box) => box.disabled), false, "a merge has its mapping to choose");
        return downloadOnConvert();
    }

    // The list's name, the page's summary line and the merge's messages, as the command gives them.
    async function sameMergeWords(listPath, expected) {
        assert.equal(await pictureState(page), "converted");
        const status = await statusText(page);
        assert.ok(expected.summary && status.startsWith(expected.summary), `the page said ${JSON.stringify(status)}, the command ${JSON.stringify(expected.summary)}`);
        assert.equal(await page.$eval("#download-link", (link) => link.download), basename(listPath));
        if (expected.messages.length === 0) {
            return;
        }
        await page.click("#messages-button");
        await waitInPage(page, "the messages never opened", () => document.getElementById("messages-dialog").open);
        const rows = await page.$$eval("#messages-table tbody tr", (trs) => trs.map((tr) => [...tr.cells].map((td) => td.textContent)));
        assert.deepEqual(rows.filter(([file]) => file === basename(listPath)).map(([, , text]) => text), expected.messages);
    }

    // Each list, tidy and plain, with the .bib written for the first and a
    // golden input beside it for the others, dropped and chosen in turn.
    const goldenBibs = samples.filter((path) => dirname(path) === dirname(samples[0]));
    const mergeCases = mergeLists.flatMap((list, index) => [true, false].map((tidy, choice) => {
        const number = 2 * index + choice;
        return { list, tidy, by: number % 2 ? "drop" : "chooser",
            bibs: index === 0 ? [mergeBib] : [mergeBib, goldenBibs[number % goldenBibs.length]] };
    }));
    for (const { list, tidy, bibs, by } of mergeCases) {
        test(`${bibs.map((path) => basename(path)).join(" and ")} into ${basename(list)} ${tidy ? "tidy" : "plain"}, by ${by}: the command's --merge`, async () => {
            const expected = await commandMerge(list, bibs, { tidy });
            if (expected.error) {
                await setTidy(page, tidy);
                await dropFiles(page, [...bibs, list]);
                await page.click("#convert-button");
                await waitForRunEnd(page);
                assert.equal(await pictureState(page), "failed");
                const status = await statusText(page);
                const error = status.replace(/^Could not merge .* into [^:]*: /, "");
                assert.ok(error !== status && expected.error.includes(`bibsources: ${error}\n`), `the page said ${JSON.stringify(status)}, the command ${JSON.stringify(expected.error)}`);
                return;
            }
            const download = await mergeOnPage(list, bibs, { tidy, by });
            assert.equal(download.name, basename(list));
            sameBytes(download.bytes, expected.list, `${basename(list)} merged`, "merged list");
            await sameMergeWords(list, expected);
        });
    }

    // A Sources.xml the command wrote of two files, merged into with one of
    // them again and a new one: its tags stay, the records of the file not
    // given again stay byte for byte, and with tidy so do those given again.
    test("a list holding some of the same sources: tags and records kept, the command's --merge and --report", async () => {
        const scratch = await mkdtemp(join(tmpdir(), "bibsources-merge-"));
        try {
            const [again, kept, added] = [mergeBib, ...samples.filter((path) => dirname(path) === dirname(samples[0]) && /names|accents/.test(basename(path)))];
            assert.ok(kept && added, "names.bib and accents.bib among the samples");
            const written = join(scratch, "Sources.xml");
            await run(command, ["-q", "--reader=own", "--tidy", "-o", written, again, kept]);
            const before = recordsOf(await readFile(written));
            const againTags = new Set(recordsOf((await commandOutputs([again], { tidy: true })).document).map(({ tag }) => tag));
            for (const tidy of [true, false]) {
                const expected = await commandMerge(written, [again, added], { tidy, report: tidy });
                await openPage();
                const download = await mergeOnPage(written, [again, added], { tidy, by: tidy ? "drop" : "chooser" });
                assert.equal(download.name, "Sources.xml");
                sameBytes(download.bytes, expected.list, `Sources.xml merged ${tidy ? "tidy" : "plain"}`, "merged list");
                await sameMergeWords(written, expected);
                assert.match(expected.summary, /kept, [1-9][0-9]* replaced, [1-9][0-9]* added/);
                const after = recordsOf(download.bytes);
                for (const { record, tag } of before) {
                    assert.ok(after.some((merged) => merged.tag === tag), `the tag ${tag} is kept`);
                    if (tidy || !againTags.has(tag)) {
                        assert.ok(after.some((merged) => merged.record === record), `the record tagged ${tag} is kept byte for byte`);
                    }
                }
                if (tidy) {
                    await page.$eval("#messages-dialog", (dialog) => dialog.close());
                    await page.click("#fields-button");
                    await waitInPage(page, "the field report never opened", () => document.getElementById("fields-dialog").open);
                    const saved = await downloadOnConvert(() => page.click("#fields-save"));
                    sameBytes(saved.bytes, expected.report, "Sources.xml merged", "field report");
                }
            }
        } finally {
            await rm(scratch, { recursive: true, force: true });
        }
    });

    // A list holding two records of one tag, and (plain) two inputs giving
    // one tag: the merge's messages, in the Messages… table as the command says them.
    test("the merge's messages about the list are the command's", async () => {
        const scratch = await mkdtemp(join(tmpdir(), "bibsources-merge-"));
        try {
            const namesakes = ["A", "B"].map((title) => `<b:Source><b:Tag>lee07</b:Tag><b:SourceType>Misc</b:SourceType><b:Title>${title}</b:Title></b:Source>`).join("");
            const list = join(scratch, "master.xml");
            await writeFile(list, String(await readFile(mergeLists[0])).replace("</b:Sources>", `${namesakes}</b:Sources>`));
            const twin = join(scratch, "twin.bib");
            await writeFile(twin, await readFile(mergeBib));
            for (const tidy of [true, false]) {
                const expected = await commandMerge(list, [mergeBib, twin], { tidy });
                assert.ok(expected.messages.length > 0, `the command has something to say: ${JSON.stringify(expected)}`);
                await openPage();
                const download = await mergeOnPage(list, [mergeBib, twin], { tidy, by: "drop" });
                sameBytes(download.bytes, expected.list, `master.xml merged ${tidy ? "tidy" : "plain"}`, "merged list");
                await sameMergeWords(list, expected);
            }
        } finally {
            await rm(scratch, { recursive: true, force: true });
        }
    });

    test("a .xml that is not a source list, dropped with a .bib file, is refused in the command's words", async () => {
        const scratch = await mkdtemp(join(tmpdir(), "bibsources-not-lists-"));
        try {
            const files = { ...notSourceLists, "empty.xml": "" };
            for (const [name, text] of Object.entries(files)) {
                const path = join(scratch, name);
                await writeFile(path, text);
                const expected = await commandMerge(path, [mergeBib], { tidy: true });
                assert.ok(expected.error, `the command refuses ${name}`);
                await openPage();
                await dropFiles(page, [mergeBib, path]);
                const error = await saysRefusal(name, `Could not merge ${basename(mergeBib)} into ${name}: `, expected.error);
                assert.ok(error.startsWith(`'${name}' `), error);
            }
        } finally {
            await rm(scratch, { recursive: true, force: true });
        }
    });

    test(".bib files with two source lists are refused, saying what the page can do", async () => {
        await dropFiles(page, [samples[0], mergeLists[0], lists[0]]);
        assert.equal(await statusText(page),
            "Only one source list can be merged into at a time: drop .bib files with one list (.xml) to merge them "
            + "into it, .bib files alone to make Sources.xml, or source lists alone to get their sources as Sources.bib.");
        assert.equal(await pictureState(page), "idle");
        assert.equal(await page.$eval("#convert-button", (button) => button.disabled), true);
    });

    // The page says what the command says of a document it refuses: the
    // status line is "Could not convert NAME: " and the command's error.
    async function saysTheCommandsRefusal(path) {
        const name = basename(path);
        const expected = await commandBib([path]);
        assert.equal(expected.bib, undefined, `the command refuses ${name}`);
        await openPage();
        await dropFiles(page, [path]);
        await saysRefusal(name, `Could not convert ${name}: `, expected.error);
        compared.set("refused .docx", (compared.get("refused .docx") ?? 0) + 1);
    }

    test("a Word document's own source list, dropped or chosen alone: the command's --to-bib", async () => {
        const scratch = await mkdtemp(join(tmpdir(), "bibsources-documents-"));
        try {
            for (const [index, list] of lists.slice(0, 4).entries()) {
                const path = join(scratch, `paper ${index + 1}.docx`);
                await writeDocument(path, documentWithList(await readFile(list)));
                const expected = await commandBib([path]);
                assert.ok(expected.bib, `the command writes a .bib for ${basename(list)} in a document: ${expected.error}`);
                await openPage();
                const download = await bibOnPage([path], index % 2 ? "drop" : "chooser");
                assert.equal(download.name, "Sources.bib");
                sameBytes(download.bytes, expected.bib, `${basename(list)} in a document`, "Sources.bib (from a .docx)");
                assert.equal(await pictureState(page), "converted");
                assert.match(await statusText(page), /^[0-9,.]+ sources? written to Sources\.bib/);
            }
            // A document and a list together, as the command takes them.
            const both = [join(scratch, "paper 1.docx"), join(scratch, "list.xml")];
            await writeFile(both[1], await readFile(lists[1]));
            await openPage();
            sameBytes((await bibOnPage(both, "drop")).bytes, (await commandBib(both)).bib, "a document and a list",
                "Sources.bib (from a .docx)");
        } finally {
            await rm(scratch, { recursive: true, force: true });
        }
    });

    test("a document the command refuses is refused in the page in the command's words", async () => {
        const scratch = await mkdtemp(join(tmpdir(), "bibsources-refused-documents-"));
        try {
            const documents = refusedDocuments(await readFile(lists[0]));
            for (const [name, bytes] of Object.entries(documents)) {
                const path = join(scratch, name);
                await writeFile(path, bytes);
                await saysTheCommandsRefusal(path);
            }
        } finally {
            await rm(scratch, { recursive: true, force: true });
        }
    });

    test(".bib files with a Word document: the document back with its list set, as the command sets it", async () => {
        const scratch = await mkdtemp(join(tmpdir(), "bibsources-into-document-"));
        try {
            const bib = join(scratch, "refs.bib");
            await writeFile(bib, await readFile(samples.find((path) => basename(path) === "names.bib") ?? samples[0]));
            const documents = {
                "with list.docx": documentWithList(await readFile(lists[0])),
                "without list.docx": plainDocument(),
                "citing.docx": plainDocument({ body: citing("nowhere2024", "absent1999") }),
            };
            for (const [index, [name, members]] of Object.entries(documents).entries()) {
                const path = join(scratch, name);
                await writeDocument(path, members);
                const expected = await commandIntoDocument([bib], path);
                assert.ok(expected.document, `the command puts the sources into ${name}: ${expected.error}`);
                await openPage();
                if (index % 2) {
                    await dropFiles(page, [bib, path]);
                } else {
                    await chooser.choose([bib, path]);
                }
                assert.equal(await pictureState(page), "loaded");
                assert.equal(await page.$eval("#tidy", (box) => box.disabled), true, "a document always gets tidy");
                const download = await downloadOnConvert();
                assert.equal(download.name, name);
                sameMembers(download.bytes, expected.document, name);
                assert.equal(await pictureState(page), "converted");
                // The page's line says, in the command's words, where the list went.
                const status = await statusText(page);
                // (The command names the document by its whole path.)
                const said = expected.stderr.split("\n").filter((line) => line.includes(`/${name}: `))
                    .map((line) => line.slice(line.indexOf(`/${name}: `) + name.length + 3));
                assert.ok(said.length > 0, expected.stderr);
                for (const line of said) {
                    assert.ok(status.includes(line), `${name}: the page said ${JSON.stringify(status)}, the command ${JSON.stringify(line)}`);
                }
                if (name === "citing.docx") {
                    assert.ok(said.some((line) => line.startsWith("it cites 'nowhere2024'"))
                        && said.some((line) => line.startsWith("it cites 'absent1999'")), expected.stderr);
                }
            }
        } finally {
            await rm(scratch, { recursive: true, force: true });
        }
    });

    test("with Keep the sources, the document's list is merged into, as --merge -o DOCUMENT merges", async () => {
        const scratch = await mkdtemp(join(tmpdir(), "bibsources-merge-document-"));
        try {
            // The list holds Jones2002 for a source of its own; the second k1
            // is given a made-up tag, which must keep clear of it.
            const list = await readFile(lists[0]);
            const theirs = "<b:Source><b:Tag>Jones2002</b:Tag><b:SourceType>Book</b:SourceType>"
                + "<b:Guid>{0B6E2F41-7C3A-4E59-8D21-5A9C4F7B1E06}</b:Guid><b:Title>Another source</b:Title></b:Source>";
            const withTheirs = String(list).replace("</b:Sources>", `${theirs}</b:Sources>`);
            const bib = join(scratch, "refs.bib");
            await writeFile(bib, "@misc{k1, title={One}, author={Ann Smith}, year={2001}}\n"
                + "@misc{k1, title={Two}, author={Bob Jones}, year={2002}}\n");
            const path = join(scratch, "paper.docx");
            await writeDocument(path, documentWithList(Buffer.from(withTheirs)));
            const expected = await commandIntoDocument([bib], path, { merge: true });
            assert.ok(expected.document, expected.error);
            await openPage();
            assert.equal(await page.$eval("#keep-label", (label) => label.hidden), true, "no document, no choice");
            await dropFiles(page, [bib, path]);
            assert.equal(await page.$eval("#keep-label", (label) => label.hidden), false);
            await page.click("#keep-sources");
            const download = await downloadOnConvert();
            sameMembers(download.bytes, expected.document, "paper.docx merged into");
            const merged = unzipSync(new Uint8Array(download.bytes))["customXml/item1.xml"];
            assert.ok(Buffer.from(merged).toString().includes(theirs), "the document's own source is kept byte for byte");
            const status = await statusText(page);
            const said = expected.stderr.split("\n").filter((line) => line.includes("/paper.docx: "))
                .map((line) => line.replace(/^merged into \S*\/paper\.docx/, "merged into paper.docx")
                    .replace(/^\S*\/paper\.docx: /, ""));
            assert.ok(said.some((line) => line.startsWith("merged into paper.docx: ")), expected.stderr);
            for (const line of said) {
                assert.ok(status.includes(line), `the page said ${JSON.stringify(status)}, the command ${JSON.stringify(line)}`);
            }
        } finally {
            await rm(scratch, { recursive: true, force: true });
        }
    });

    test("a document the command cannot put sources into is refused in its words, and nothing offered", async () => {
        const scratch = await mkdtemp(join(tmpdir(), "bibsources-refused-into-"));
        try {
            const bib = join(scratch, "refs.bib");
            await writeFile(bib, await readFile(samples[0]));
            const documents = refusedDocuments(await readFile(lists[0]));
            for (const name of ["signed.docx", "strict.docx", "bomb.docx"]) {
                const path = join(scratch, name);
                await writeFile(path, documents[name]);
                const expected = await commandIntoDocument([bib], path);
                assert.equal(expected.document, undefined, `the command refuses ${name}`);
                await openPage();
                await dropFiles(page, [bib, path]);
                await saysRefusal(name, `Could not convert refs.bib and ${name}: `, expected.error);
            }
        } finally {
            await rm(scratch, { recursive: true, force: true });
        }
    });

    test("two Word documents with .bib files are refused, saying what the page can do", async () => {
        const scratch = await mkdtemp(join(tmpdir(), "bibsources-two-documents-"));
        try {
            const paths = [join(scratch, "one.docx"), join(scratch, "two.docx")];
            for (const path of paths) {
                await writeDocument(path, plainDocument());
            }
            await dropFiles(page, [samples[0], ...paths]);
            assert.equal(await statusText(page),
                "Sources go into one Word document at a time, without source lists: "
                + "drop .bib files with one Word document (.docx) to put their sources into it.");
            assert.equal(await pictureState(page), "idle");
        } finally {
            await rm(scratch, { recursive: true, force: true });
        }
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
        await chooser.choose([path], () => page.keyboard.press("Enter"));
        assert.equal(await page.evaluate(() => document.activeElement.id), "convert-button");
        const download = await downloadOnConvert(() => page.keyboard.press("Enter"));
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
        await waitInPage(page, "Open… never came back", () => !document.getElementById("open-button").hidden);
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
        await waitInPage(page, "the long run never showed progress", () => document.getElementById("progress").value > 0);
        assert.match(await page.$eval("#progress-text", (text) => text.textContent), /^[0-9]+% read · [0-9,.]+ entr/);
        await page.click("#stop-button");
        await waitForRunEnd(page);
        assert.equal(await statusText(page), "Stopped; nothing was written.");
        assert.equal(await pictureState(page), "idle");
        const expected = await commandDocument([samples[0]], false);
        const download = await convertOnPage([samples[0]], { tidy: false, by: "chooser" });
        sameBytes(download.bytes, expected, basename(samples[0]));
    });

    test("a 200,000-entry file converts, its progress shown, to the command's document", async () => {
        const scratch = await mkdtemp(join(tmpdir(), "bibsources-large-"));
        try {
            const large = join(scratch, "large.bib");
            await generate(large, 200000);
            const expected = await commandDocument([large], true);
            await setTidy(page, true);
            await chooser.choose([large]);
            const download = await downloadOnConvert(async () => {
                await page.click("#convert-button");
                await waitInPage(page, "the large file's run never showed progress",
                    () => document.getElementById("progress").value > 0
                        && /^[0-9]+% read · [0-9,.]+ entr/.test(document.getElementById("progress-text").textContent));
            }, 200);
            sameBytes(download.bytes, expected, "a generated file of 200,000 entries");
            assert.match(await statusText(page), /^200,000 sources written to Sources\.xml/);
        } finally {
            await rm(scratch, { recursive: true, force: true });
        }
    });

    test("once loaded, the page made no request at all", () => {
        const sinceLoad = server.requests.slice(requestsAtLoad);
        console.log(`# requests after load (${tabsOpened - 1} tabs loaded since): ${JSON.stringify(sinceLoad)}`);
        assert.deepEqual(sinceLoad, []);
    });

    test("with the server gone the page loads again and converts", async () => {
        await server.stop();
        server = null;
        await openPage();
        const path = samples[samples.length - 1];
        const expected = await commandDocument([path], true);
        if (expected !== null) {
            const download = await convertOnPage([path], { tidy: true, by: "drop" });
            sameBytes(download.bytes, expected, basename(path));
        }
    });
});
