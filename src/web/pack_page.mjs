// Makes the page's files that the build writes, from the page's sources:
//   node pack_page.mjs service-worker TEMPLATE SITE_DIR FILE...
//     SITE_DIR/service-worker.js: TEMPLATE with the site's FILEs (names in
//     SITE_DIR) and their SHA-256 in it, and a version made of them.
//   node pack_page.mjs one-file PAGE STYLE_SHEET ICON SCRIPT OUTPUT
//     OUTPUT: the page with its style sheet, icon and script (the compiled
//     core inside, as emscripten's single-file output holds it) in itself,
//     under a Content-Security-Policy that allows those inline parts by
//     their hashes and nothing else.

import { createHash } from 'node:crypto';
import { readFileSync, writeFileSync } from 'node:fs';
import path from 'node:path';

const sha256 = (data, encoding) => createHash('sha256').update(data).digest(encoding);

function fail(message) {
    console.error(`pack_page.mjs: ${message}`);
    process.exit(1);
}

// `text` with `part`, which must be in it once, replaced by `by`.
function replaceOnce(text, part, by, what) {
    const at = text.indexOf(part);
    if (at < 0 || text.indexOf(part, at + 1) >= 0)
        fail(`${what}: expected "${part}" once`);
    return text.slice(0, at) + by + text.slice(at + part.length);
}

function serviceWorker([template, site, ...files]) {
    const hashes = Object.fromEntries(files.map((name) => [name, sha256(readFileSync(path.join(site, name)), 'hex')]));
    const version = sha256(files.map((name) => `${hashes[name]}  ${name}\n`).join(''), 'hex');
    let worker = readFileSync(template, 'utf8');
    worker = replaceOnce(worker, '@SITE_FILES@', JSON.stringify(hashes, null, 4), template);
    worker = replaceOnce(worker, '@SITE_VERSION@', version, template);
    writeFileSync(path.join(site, 'service-worker.js'), worker);
}

// The page's own files become inline parts; a file opened from the disk
// fetches nothing but its core, from the data: URL in its script, which is
// how emscripten's loader reads it.
function oneFile([page, styleSheet, icon, script, output]) {
    const style = readFileSync(styleSheet, 'utf8');
    const code = readFileSync(script, 'utf8');
    for (const [element, text] of [['style', style], ['script', code]])
        if (text.toLowerCase().includes(`</${element}`))
            fail(`${element} holds "</${element}", which would end it early in the page`);
    const hash = (text) => `'sha256-${sha256(text, 'base64')}'`;
    const policy = `default-src 'none'; script-src ${hash(code)} 'wasm-unsafe-eval'; connect-src data:; ` +
        `style-src ${hash(style)}; img-src data:; base-uri 'none'; form-action 'none'`;
    const iconUrl = `data:image/svg+xml;base64,${readFileSync(icon).toString('base64')}`;

    let html = readFileSync(page, 'utf8');
    html = html.replace(/(<meta http-equiv="Content-Security-Policy" content=")[^"]*(">)/, `$1${policy}$2`);
    if (!html.includes(policy))
        fail(`${page}: no Content-Security-Policy to replace`);
    html = replaceOnce(html, '<link rel="manifest" href="tavrek.webmanifest">\n', '', page);
    html = replaceOnce(html, '<link rel="stylesheet" href="tavrek.css">', `<style>${style}</style>`, page);
    html = replaceOnce(html, '<script src="tavrek.js"></script>', `<script>${code}</script>`, page);
    html = html.replaceAll('"tavrek.svg"', `"${iconUrl}"`);
    writeFileSync(output, html);
}

const [command, ...args] = process.argv.slice(2);
const commands = { 'service-worker': serviceWorker, 'one-file': oneFile };
if (!commands[command])
    fail(`unknown command "${command}"`);
commands[command](args);
