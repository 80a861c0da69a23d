// A static server for the page, on 127.0.0.1 only: node serve.mjs FOLDER PORT
// (PORT 0: any free one). Says "serving http://127.0.0.1:PORT/" on standard
// output once it listens, then logs every request on standard error.

import { createReadStream, statSync } from "node:fs";
import { createServer } from "node:http";
import { extname, join, normalize, resolve } from "node:path";

const [folder, port = "8080"] = process.argv.slice(2);
const root = resolve(folder);
const types = {
    ".html": "text/html; charset=utf-8",
    ".css": "text/css; charset=utf-8",
    ".js": "text/javascript; charset=utf-8",
    ".mjs": "text/javascript; charset=utf-8",
    ".json": "application/json",
    ".webmanifest": "application/manifest+json",
    ".wasm": "application/wasm",
    ".png": "image/png",
};
// The page's own policy, for the worker too, which a page's meta element does not reach.
const policy = "default-src 'self'; script-src 'self' 'wasm-unsafe-eval'; worker-src 'self'; img-src 'self'; "
    + "style-src 'self'; connect-src 'self'; manifest-src 'self'; object-src 'none'; base-uri 'none'; form-action 'none'";

function fileFor(url) {
    const path = decodeURIComponent(new URL(url, "http://localhost").pathname);
    const file = normalize(join(root, path.endsWith("/") ? `${path}index.html` : path));
    return file.startsWith(root) ? file : null;
}

const server = createServer((request, response) => {
    console.error(`${request.method} ${request.url}`);
    const file = fileFor(request.url);
    let size = -1;
    try {
        size = file && statSync(file).isFile() ? statSync(file).size : -1;
    } catch {
        size = -1;
    }
    if (size < 0 || request.method !== "GET") {
        response.writeHead(request.method === "GET" ? 404 : 405, { "Content-Type": "text/plain" });
        response.end("not here\n");
        return;
    }
    response.writeHead(200, {
        "Content-Type": types[extname(file)] ?? "application/octet-stream",
        "Content-Length": size,
        "Content-Security-Policy": policy,
        "X-Content-Type-Options": "nosniff",
        // The browser's checks for a new service worker are answered from
        // its cache for this long, so a loaded page asks the server nothing.
        "Cache-Control": "max-age=3600",
    });
    createReadStream(file).pipe(response);
});
server.listen(Number(port), "127.0.0.1", () => {
    console.log(`serving http://127.0.0.1:${server.address().port}/`);
});
