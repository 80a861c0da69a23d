// Keeps every file of the page (files.json, written by scripts/build-web),
// so that once it has loaded the page works without a network and is
// answered from here: nothing is fetched again while a copy is kept. Each
// build names its own copy (scripts/build-web puts its files' digest in
// the name), and the copies of earlier builds are dropped.

const cacheName = "bibsources-page";

async function keepPage() {
    const listing = await fetch("files.json", { cache: "no-store" });
    const files = await listing.json();
    const cache = await caches.open(cacheName);
    await cache.addAll(["./", ...files]);
}

self.addEventListener("install", (event) => {
    event.waitUntil(keepPage().then(() => self.skipWaiting()));
});

self.addEventListener("activate", (event) => {
    event.waitUntil(caches.keys()
        .then((names) => Promise.all(names.filter((name) => name !== cacheName).map((name) => caches.delete(name))))
        .then(() => self.clients.claim()));
});

self.addEventListener("fetch", (event) => {
    if (event.request.method !== "GET") {
        return;
    }
    event.respondWith(caches.open(cacheName).then(async (cache) => {
        const kept = await cache.match(event.request, { ignoreSearch: true });
        return kept ?? fetch(event.request);
    }));
});
