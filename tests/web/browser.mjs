// Headless Chromium (Debian's) with the page served on 127.0.0.1, for the
// page's tests: a fresh profile each time, downloads into a folder of the
// test's own, and every request the server answers remembered.

import { spawn } from "node:child_process";
import { once } from "node:events";
import { mkdtemp, readFile, rm } from "node:fs/promises";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { createRequire } from "node:module";
import { createInterface } from "node:readline";

import { within } from "./waits.mjs";

// The browser driver is the page's own development package (web/package.json).
const pagePackages = createRequire(new URL("../../web/package.json", import.meta.url));
const { default: puppeteer } = await import(pagePackages.resolve("puppeteer-core"));

// Seconds a download may take to begin after the action that starts it,
// and then to finish.
const downloadWait = 20;

const chromiumFlags = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
    "--disable-background-networking", "--disable-component-update", "--disable-sync"];

// The page's server (web/tools/serve.mjs), whose log lines are the requests.
export async function startServer(serverScript, site) {
    const server = spawn(process.execPath, [serverScript, site, "0"], { stdio: ["ignore", "pipe", "pipe"] });
    const requests = [];
    createInterface({ input: server.stderr }).on("line", (line) => requests.push(line));
    const [first] = await once(createInterface({ input: server.stdout }), "line");
    const url = first.replace(/^serving /, "");
    return {
        url,
        requests,
        async stop() {
            server.kill();
            await once(server, "exit");
        },
    };
}

export async function startBrowser() {
    const scratch = await mkdtemp(join(tmpdir(), "bibsources-page-"));
    const downloads = join(scratch, "downloads");
    const browser = await puppeteer.launch({
        executablePath: process.env.CHROMIUM ?? "/usr/bin/chromium",
        headless: true,
        args: [...chromiumFlags, `--user-data-dir=${join(scratch, "profile")}`],
        userDataDir: join(scratch, "profile"),
    });
    const session = await browser.target().createCDPSession();
    await session.send("Browser.setDownloadBehavior", { behavior: "allowAndName", downloadPath: downloads, eventsEnabled: true });
    const finished = new Map();
    const waiting = new Map();
    session.on("Browser.downloadProgress", (event) => {
        if (event.state === "completed" || event.state === "canceled") {
            finished.set(event.guid, event.state);
            waiting.get(event.guid)?.(event.state);
        }
    });
    let began = null;
    session.on("Browser.downloadWillBegin", (event) => began?.(event));
    return {
        browser,
        scratch,
        // Does `action` and resolves with the name and bytes of the download
        // it starts, and when it finished (ms since 1970, as the page's
        // performance.timeOrigin counts); fails, saying how the page stands
        // (`describe()`), when none begins within `seconds` or it does not
        // finish.
        async nextDownload(action, describe, seconds = downloadWait) {
            const beginning = new Promise((resolve) => {
                began = resolve;
            });
            try {
                await action();
                const { guid, suggestedFilename } = await within(seconds, "no download began", beginning, describe);
                const ending = finished.has(guid) ? finished.get(guid)
                    : new Promise((resolve) => waiting.set(guid, resolve));
                const state = await within(downloadWait, `the download of ${suggestedFilename} did not finish`, ending, describe);
                const finishedAt = performance.timeOrigin + performance.now();
                if (state !== "completed") {
                    throw new Error(`the download of ${suggestedFilename} was ${state}`);
                }
                return { name: suggestedFilename, bytes: await readFile(join(downloads, guid)), finishedAt };
            } finally {
                began = null;
            }
        },
        async close() {
            await browser.close();
            await rm(scratch, { recursive: true, force: true });
        },
    };
}
