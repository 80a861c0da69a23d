// Pictures of the page in each of its states, at a desktop's and a phone's
// width: node screenshots.mjs SITE OUT_FOLDER BIG.bib UNREADABLE.bib
// writes OUT_FOLDER/{desktop,phone}-{waiting,loaded,converting,converted,failed}.png.

import { join } from "node:path";

import { startBrowser, startServer } from "../../tests/web/browser.mjs";
import { fileChooserOf, waitForReady } from "../../tests/web/page_actions.mjs";

const [site, out, big, unreadable] = process.argv.slice(2);
const widths = { desktop: { width: 720, height: 760 }, phone: { width: 390, height: 844, isMobile: true, deviceScaleFactor: 2 } };

const server = await startServer(new URL("serve.mjs", import.meta.url).pathname, site);
const chromium = await startBrowser();
for (const [name, viewport] of Object.entries(widths)) {
    const page = await chromium.browser.newPage();
    await page.setViewport(viewport);
    const chooser = await fileChooserOf(page);
    await page.goto(server.url);
    await waitForReady(page);
    const shot = (state) => page.screenshot({ path: join(out, `${name}-${state}.png`) });
    const stateIs = (state) => page.waitForFunction((state) => document.getElementById("drop-area").dataset.state === state,
        { polling: "mutation", timeout: 0 }, state);
    await shot("waiting");
    await chooser.choose([big]);
    await shot("loaded");
    const converted = chromium.nextDownload(() => page.click("#convert-button"));
    await page.waitForFunction(() => document.getElementById("progress").value > 0, { polling: 20, timeout: 0 });
    await shot("converting");
    await converted;
    await stateIs("converted");
    await shot("converted");
    await chooser.choose([unreadable]);
    await page.click("#convert-button");
    await stateIs("failed");
    await shot("failed");
    await page.close();
}
await chromium.close();
await server.stop();
