// The page's reading of XML held to libxml2's: every document of
// tests/data/xml_events, read by the core's readXml compiled for the page
// with the XML parser the page's worker hands it, tells exactly the events
// of its golden file (NAME.events, which the native build's libxml2 reading
// is held to as well), with the options of NAME.options.
//
// node --no-experimental-fetch xml_events_test.mjs, with BIBSOURCES_XML_EVENTS
// (the tool scripts/build-web made, xml_events.js), BIBSOURCES_SITE (the
// page's folder, whose bundled XML parser is the one read with) and
// BIBSOURCES_XML_EVENTS_DATA (the folder of documents).

import assert from "node:assert/strict";
import { readdir, readFile } from "node:fs/promises";
import { join } from "node:path";
import { createRequire } from "node:module";
import { test } from "node:test";
import { pathToFileURL } from "node:url";

const tool = process.env.BIBSOURCES_XML_EVENTS;
const site = process.env.BIBSOURCES_SITE;
const folder = process.env.BIBSOURCES_XML_EVENTS_DATA;

const { default: saxes } = await import(pathToFileURL(join(site, "vendor/saxes/saxes.mjs")));
const createXmlEvents = createRequire(import.meta.url)(tool);
const module = await createXmlEvents({ xmlParser: saxes.SaxesParser });

// The options a document is read with, as its NAME.options says them.
async function optionsOf(name) {
    const options = { allowDocumentType: false, lifted: false, stopAt: 0 };
    let words = [];
    try {
        words = (await readFile(join(folder, `${name}.options`), "utf8")).split(/\s+/).filter(Boolean);
    } catch (error) {
        if (error.code !== "ENOENT") {
            throw error;
        }
    }
    for (let i = 0; i < words.length; ++i) {
        if (words[i] === "allow-document-type") {
            options.allowDocumentType = true;
        } else if (words[i] === "lifted") {
            options.lifted = true;
        } else if (words[i] === "stop-at") {
            options.stopAt = Number(words[++i]);
        } else {
            assert.fail(`${name}.options: unknown option '${words[i]}'`);
        }
    }
    return options;
}

const names = (await readdir(folder)).filter((file) => file.endsWith(".xml")).map((file) => file.slice(0, -4)).sort();

test("the folder holds documents", () => assert.ok(names.length > 0, folder));

for (const name of names) {
    test(name, async () => {
        const { allowDocumentType, lifted, stopAt } = await optionsOf(name);
        const text = await readFile(join(folder, `${name}.xml`));
        const expected = await readFile(join(folder, `${name}.events`), "utf8");
        assert.equal(module.describeXmlEvents(text, allowDocumentType, lifted, stopAt), expected);
    });
}
