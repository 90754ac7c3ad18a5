// The page's service worker: it keeps the site's files, so that the page
// opens and writes a chip with the network gone. The build writes the
// site's files and their SHA-256 into siteFiles, so each version of the site
// has a worker of its own and a cache named after its files. A worker takes
// the files of its version whole, each checked against its hash, or takes
// none, and serves only those: a page never mixes the files of two
// versions. The browser starts a new version's worker beside the old one;
// it takes over once no page of the old one is open, and removes the old
// files.
'use strict';

const siteFiles = @SITE_FILES@;  // name: SHA-256 in hex
const cachePrefix = `tavrek ${self.registration.scope} `;
const cacheName = `${cachePrefix}@SITE_VERSION@`;

const hex = (digest) => Array.from(new Uint8Array(digest), (byte) => byte.toString(16).padStart(2, '0')).join('');

// The file from the host, if it is this version's. A redirected answer is
// stored as a plain one, as a page may not be loaded from the former.
async function fetchChecked(name) {
    const response = await fetch(name, { cache: 'no-cache' });
    if (!response.ok)
        throw new Error(`${name}: ${response.status} ${response.statusText}`);
    const body = await response.arrayBuffer();
    if (hex(await crypto.subtle.digest('SHA-256', body)) !== siteFiles[name])
        throw new Error(`${name} is not the file of this version of the page`);
    return new Response(body, { headers: response.headers });
}

self.addEventListener('install', (event) => {
    event.waitUntil((async () => {
        const names = Object.keys(siteFiles);
        const responses = await Promise.all(names.map(fetchChecked));
        const cache = await caches.open(cacheName);
        await Promise.all(names.map((name, i) => cache.put(name, responses[i])));
    })());
});

// Other versions' files go; caches of other pages of the same host stay.
self.addEventListener('activate', (event) => {
    event.waitUntil((async () => {
        for (const name of await caches.keys())
            if (name.startsWith(cachePrefix) && name !== cacheName)
                await caches.delete(name);
    })());
});

self.addEventListener('fetch', (event) => {
    const url = new URL(event.request.url);
    const scope = new URL(self.registration.scope);
    if (url.origin !== scope.origin || !url.pathname.startsWith(scope.pathname))
        return;
    const name = url.pathname.slice(scope.pathname.length) || 'index.html';
    if (!(name in siteFiles))
        return;
    event.respondWith(caches.open(cacheName)
        .then((cache) => cache.match(name))
        .then((stored) => stored ?? fetch(event.request)));
});
