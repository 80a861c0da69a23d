// The page's reading of XML on one document, beside nothing else: node
// --no-experimental-fetch bench/web_xml_reading.mjs TOOL SITE FILE.xml RUNS,
// with TOOL the xml_events.js scripts/build-web builds and SITE its page
// (whose bundled XML parser reads). Prints the median wall time of readXml
// over the whole text, with a handler that takes every event and its bytes,
// and the rate in MB/s.

import { readFile } from "node:fs/promises";
import { createRequire } from "node:module";
import { join } from "node:path";
import { pathToFileURL } from "node:url";

const [tool, site, file, runs = "3"] = process.argv.slice(2);
const { default: saxes } = await import(pathToFileURL(join(site, "vendor/saxes/saxes.mjs")));
const module = await createRequire(import.meta.url)(tool)({ xmlParser: saxes.SaxesParser });
const text = await readFile(file);

const seconds = [];
let counted;
for (let round = 0; round < Number(runs); ++round) {
    const started = performance.now();
    counted = module.countXmlEvents(text);
    seconds.push((performance.now() - started) / 1000);
}
const median = [...seconds].sort((a, b) => a - b)[Math.floor(seconds.length / 2)];
console.log(`${file}: ${(text.length / 1e6).toFixed(1)} MB, ${counted.events} events, well-formed: ${counted.wellFormed}`);
console.log(`page's readXml: ${median.toFixed(2)} s median of ${runs} (${(text.length / 1e6 / median).toFixed(0)} MB/s)`);
