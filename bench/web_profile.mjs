// Where the page's conversion spends its time: node bench/web_profile.mjs
// SITE FILE.bib [tidy|plain] [ROUNDS]. Converts the file once to warm the
// worker, then ROUNDS times (3) under the worker's sampling profiler, and
// prints the functions with the most self time. Wasm functions have names
// only in a module linked with --profiling-funcs:
//   LDFLAGS=--profiling-funcs BIBSOURCES_WEB_BUILD_DIR=build-web-profile scripts/build-web
// The whole profile goes to bibsources-page.cpuprofile, which Chromium's
// developer tools open.

import { writeFile } from "node:fs/promises";

import { startBrowser, startServer } from "../tests/web/browser.mjs";
import { fileChooserOf, setTidy, waitForReady } from "../tests/web/page_actions.mjs";

const [site, file, mapping = "tidy", rounds = "3"] = process.argv.slice(2);
const shown = 40;

const server = await startServer(new URL("../web/tools/serve.mjs", import.meta.url).pathname, site);
const chromium = await startBrowser();
const page = await chromium.browser.newPage();
const workers = [];
page.on("workercreated", (worker) => workers.push(worker));
const chooser = await fileChooserOf(page);
await page.goto(server.url);
await waitForReady(page);
await setTidy(page, mapping === "tidy");

async function convertOnce() {
    await chooser.choose([file]);
    const started = performance.now();
    await chromium.nextDownload(async () => {
        await page.click("#convert-button");
        await page.waitForFunction(() => document.getElementById("drop-area").dataset.state === "converted",
            { polling: "mutation", timeout: 0 });
    });
    return (performance.now() - started) / 1000;
}

// Self samples by function, as percentages of all samples.
function selfTimes(profile) {
    const nodes = new Map(profile.nodes.map((node) => [node.id, node]));
    const byFunction = new Map();
    for (const id of profile.samples) {
        const { functionName, url } = nodes.get(id).callFrame;
        const name = `${functionName || "(anonymous)"}  ${url.split("/").pop()}`;
        byFunction.set(name, (byFunction.get(name) ?? 0) + 1);
    }
    return [...byFunction].sort((a, b) => b[1] - a[1])
        .map(([name, count]) => [name, (100 * count) / profile.samples.length]);
}

await convertOnce();
const worker = workers.at(-1).client;
await worker.send("Profiler.enable");
await worker.send("Profiler.setSamplingInterval", { interval: 100 });
await worker.send("Profiler.start");
const seconds = [];
for (let round = 0; round < Number(rounds); ++round) {
    seconds.push(await convertOnce());
}
const { profile } = await worker.send("Profiler.stop");
await writeFile("bibsources-page.cpuprofile", JSON.stringify(profile));
console.log(`${mapping}, ${rounds} rounds: ${seconds.map((s) => s.toFixed(2)).join(" ")} s (profiled)`);
for (const [name, percent] of selfTimes(profile).slice(0, shown)) {
    console.log(`${percent.toFixed(1).padStart(5)}%  ${name.slice(0, 150)}`);
}
await chromium.close();
await server.stop();
