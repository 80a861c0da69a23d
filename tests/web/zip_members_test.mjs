// The page's reading of zip files held to libzip's: every zip file of
// tests/data/zip, read by the core's zip reading compiled for the page with
// the zip package the page's worker hands it, tells exactly what its golden
// file says: NAME.page where there is one (what fflate cannot tell), else
// NAME.members, which the native build's libzip reading is held to.
//
// node --no-experimental-fetch zip_members_test.mjs, with BIBSOURCES_ZIP_MEMBERS
// (the tool scripts/build-web made, zip_members.js), BIBSOURCES_SITE (the
// page's folder, whose bundled zip package is the one read with) and
// BIBSOURCES_ZIP_DATA (the folder of zip files).

import assert from "node:assert/strict";
import { readdir, readFile } from "node:fs/promises";
import { join } from "node:path";
import { createRequire } from "node:module";
import { test } from "node:test";
import { pathToFileURL } from "node:url";

const tool = process.env.BIBSOURCES_ZIP_MEMBERS;
const site = process.env.BIBSOURCES_SITE;
const folder = process.env.BIBSOURCES_ZIP_DATA;
const limit = 1 << 20;

const zip = await import(pathToFileURL(join(site, "vendor/fflate/fflate.mjs")));
const createZipMembers = createRequire(import.meta.url)(tool);
const module = await createZipMembers({ zip });

async function expectedOf(name) {
    try {
        return await readFile(join(folder, `${name}.page`), "utf8");
    } catch (error) {
        if (error.code !== "ENOENT") {
            throw error;
        }
        return readFile(join(folder, `${name}.members`), "utf8");
    }
}

const names = (await readdir(folder)).filter((file) => file.endsWith(".zip")).map((file) => file.slice(0, -4)).sort();

test("the folder holds zip files", () => assert.ok(names.length > 0, folder));

for (const name of names) {
    test(name, async () => {
        const bytes = await readFile(join(folder, `${name}.zip`));
        assert.equal(module.describeZip(bytes, limit), await expectedOf(name));
    });
}

// Written again by fflate with a member changed and one added, a package
// holds what libzip's writing of it holds (the zip bytes differ: fflate
// packs every member again, with its own times and headers).
for (const name of ["ordered", "streamed"]) {
    test(`${name} written again`, async () => {
        const bytes = await readFile(join(folder, `${name}.zip`));
        assert.equal(module.describeRewritten(bytes, limit), await readFile(join(folder, `${name}.rewritten`), "utf8"));
    });
}
