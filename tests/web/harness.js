// What the web page's tests and benchmark share: the simulated chips, the
// bridge that serves the site and carries the stand-in ports' bytes, and
// headless Chromium with the stand-in put into every page.

import { spawn } from 'node:child_process';
import { once } from 'node:events';
import { mkdtempSync, readFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { createInterface } from 'node:readline';
import { fileURLToPath, pathToFileURL } from 'node:url';

import puppeteer from 'puppeteer-core';
import WebSocket from 'ws';

import { installStandInSerial } from './stand_in_serial.js';

const here = path.dirname(fileURLToPath(import.meta.url));
export const repo = path.resolve(here, '../..');
export const site = process.env.TAVREK_SITE_DIR ?? path.join(repo, 'build-web');
const nativeBuild = process.env.TAVREK_BUILD_DIR ? path.resolve(repo, process.env.TAVREK_BUILD_DIR) : path.join(repo, 'build');
export const simProgram = path.join(nativeBuild, 'tavrek-sim');
const version = readFileSync(path.join(repo, 'CMakeLists.txt'), 'utf8').match(/project\(Tavrek VERSION ([0-9.]+)/)[1];
const webBuild = path.resolve(repo, process.env.TAVREK_WEB_BUILD_DIR ?? 'build/web');
export const oneFilePage = path.join(webBuild, `tavrek-${version}.html`);
export const cliProgram = path.join(nativeBuild, 'tavrek-cli');

const kStepTimeoutMs = 20000;  // the longest any one step of a test may take

// The first line a program prints, e.g. the terminal tavrek-sim serves.
async function firstLine(child, what) {
    const lines = createInterface({ input: child.stdout });
    const [line] = await Promise.race([
        once(lines, 'line'),
        once(child, 'exit').then(([code]) => { throw new Error(`${what} ended (${code}) before it printed a line`); }),
    ]);
    lines.close();
    return line;
}

function stopper(child) {
    return async () => {
        if (child.exitCode !== null || child.signalCode !== null)
            return;
        child.kill('SIGTERM');
        await once(child, 'exit');
    };
}

// A folder under /tmp for the test's files, removed with everything else.
export function workFolder() {
    const folder = mkdtempSync(path.join(tmpdir(), 'tavrek-web-'));
    return { folder, remove: () => rmSync(folder, { recursive: true, force: true }) };
}

// tavrek-sim with `args`, saving what the chip received into `saved` where
// one is given (after every packet: a benchmark gives none).
export async function startSim(saved, args = []) {
    const saving = saved ? ['--save', saved] : [];
    const child = spawn(simProgram, [...saving, ...args], { stdio: ['ignore', 'pipe', 'inherit'] });
    const device = await firstLine(child, 'tavrek-sim');
    return { device, stop: stopper(child) };
}

// The bridge, serving `siteDir`.
export async function startBridge(siteDir = site) {
    const child = spawn('/usr/bin/python3', [path.join(here, 'serial_bridge.py'), siteDir], { stdio: ['ignore', 'pipe', 'inherit'] });
    const port = Number(await firstLine(child, 'serial_bridge.py'));
    return { origin: `http://127.0.0.1:${port}`, stop: stopper(child) };
}

// Where the page is opened from: the site through the bridge, or the one
// file from the disk.
export const places = {
    site: (bridge) => `${bridge.origin}/`,
    'one file': () => pathToFileURL(oneFilePage).href,
};

// The stand-in's wires, each a WebSocket from here to the bridge's terminal:
// the page opens, sends on and closes them through window.standInWire, and
// gets what they bring, in order, through window.standInDeliver.
async function connectStandIn(page, bridge) {
    const sockets = new Map();
    let nextId = 1;
    const deliver = (id, bytes) => page.evaluate((...args) => window.standInDeliver(...args), id, bytes)
        .catch(() => {});  // the page has gone
    await page.exposeFunction('standInWire', async ({ open, send, close, bytes }) => {
        if (open) {
            const socket = new WebSocket(`${bridge.origin.replace('http', 'ws')}${open}`);
            await new Promise((resolve, reject) => {
                socket.once('open', resolve);
                socket.once('error', reject);
            });
            const id = nextId++;
            sockets.set(id, socket);
            let delivered = Promise.resolve();
            socket.on('message', (data) => { delivered = delivered.then(() => deliver(id, Array.from(data))); });
            socket.on('close', () => {
                sockets.delete(id);
                delivered = delivered.then(() => deliver(id, null));
            });
            return id;
        }
        if (send)
            sockets.get(send)?.send(Uint8Array.from(bytes));
        if (close)
            sockets.get(close)?.close();
        return null;
    });
}

const profiles = new WeakMap();

// Debian's Chromium, headless, as root, touching nothing outside this
// machine, with a profile of its own that closeBrowser removes.
export async function launchBrowser() {
    const profile = mkdtempSync(path.join(tmpdir(), 'tavrek-chromium-'));
    const browser = await puppeteer.launch({
        executablePath: process.env.TAVREK_CHROMIUM ?? '/usr/bin/chromium',
        headless: true,
        userDataDir: profile,
        args: ['--no-sandbox', '--disable-background-networking', '--disable-component-update', '--disable-sync',
            '--no-first-run', '--disable-gpu', '--disable-quic'],
    });
    profiles.set(browser, profile);
    return browser;
}

// Once Chromium has ended, nothing writes into its profile any more.
export async function closeBrowser(browser) {
    await browser.close();
    rmSync(profiles.get(browser), { recursive: true, force: true });
}

// The page at `url` (the site's by default) in a new page of its own, in a
// new browser context unless `context` is given. `ports` are the stand-in's
// ports: each a terminal to reach through the bridge, with the USB ids the
// page is told; `granted` those the page may use from the start (all by
// default); `chooser` the one the browser's chooser grants (none: the user
// cancels). `serial: false` leaves the page without navigator.serial;
// `portsHeld: true` gives it a getPorts() that answers only on
// window.standInAnswerPorts(); `pageSocket: true` has the stand-in's bytes go
// through a WebSocket of the page's own (the site's Content-Security-Policy
// allows its bridge). `fakeClock: true` holds the page's timers of a second
// or more until window.fakeClock.advance() runs them. What the page fetched
// is in page.fetched, what its Content-Security-Policy refused in
// window.refused. Returns once the form is shown and, unless they are held,
// the ports listed.
export async function openPage(browser, bridge, {
    url = places.site(bridge), context, ports = [], granted, chooser = null, serial = true, pageSocket = false,
    portsHeld = false, fakeClock = false,
} = {}) {
    const page = await (context ?? await browser.createBrowserContext()).newPage();
    page.setDefaultTimeout(kStepTimeoutMs);
    page.fetched = [];
    page.on('request', (request) => page.fetched.push(request.url()));
    await page.evaluateOnNewDocument(() => {
        window.refused = [];
        document.addEventListener('securitypolicyviolation', (event) => window.refused.push(event.blockedURI));
    });
    if (serial) {
        const described = ports.map(({ device, usbVendorId, usbProductId }) => ({
            device: device ?? '/dev/pts/none', usbVendorId, usbProductId,
        }));
        if (!pageSocket)
            await connectStandIn(page, bridge);
        const pageBridge = pageSocket ? bridge.origin.replace('http', 'ws') : undefined;
        await page.evaluateOnNewDocument(installStandInSerial,
            { ports: described, granted, chooser, portsHeld, bridge: pageBridge });
    } else {
        await page.evaluateOnNewDocument(() => { delete Navigator.prototype.serial; });
    }
    if (fakeClock)
        await page.evaluateOnNewDocument(installFakeClock);
    await page.goto(url);
    if (serial)
        await page.waitForSelector('html.ready');
    if (serial && !portsHeld)
        await page.waitForFunction(() => performance.getEntriesByName('tavrek-ready').length > 0);
    return page;
}

// The page's long timers (a second or more: notices, not the line's waits)
// wait until the test advances the clock.
function installFakeClock() {
    const { setTimeout: realSetTimeout, clearTimeout: realClearTimeout } = window;
    const held = new Map();
    let nextId = -1;
    window.setTimeout = (callback, ms, ...args) => {
        if (!(ms >= 1000))
            return realSetTimeout(callback, ms, ...args);
        held.set(nextId, () => callback(...args));
        return nextId--;
    };
    window.clearTimeout = (id) => (held.delete(id) ? undefined : realClearTimeout(id));
    window.fakeClock = {
        advance() {
            const due = [...held.values()];
            held.clear();
            due.forEach((run) => run());
        },
    };
}

export const logLines = (page) => page.$eval('#txtInfo', (box) => box.value.split('\n').filter((line) => line !== ''));

// Records, from now on, [Write, Reset, "..."]'s disabled states each time one
// of them changes, into window.buttonStates: a run too quick to be caught
// between two reads still leaves every state it passed through there.
export const recordButtonStates = (page) => page.evaluate(() => {
    const buttons = ['cmdWrite', 'cmdReset', 'cmdOpen'].map((id) => document.getElementById(id));
    window.buttonStates = [];
    new MutationObserver(() => window.buttonStates.push(buttons.map((button) => button.disabled)))
        .observe(document.getElementById('frmMain'), { subtree: true, attributeFilter: ['disabled'] });
});

// "..." and the browser's chooser, as a user picks `file`.
export async function chooseFile(page, file) {
    const [chooser] = await Promise.all([page.waitForFileChooser(), page.click('#cmdOpen')]);
    await chooser.accept([file]);
    await page.waitForFunction((name) => document.getElementById('lblFileName').textContent === name, {},
        path.basename(file));
}

// Presses Write and waits until it has ended: Write is enabled again, or a
// message box has come up, whose text it returns.
export async function write(page) {
    await page.click('#cmdWrite');
    await page.waitForFunction(() => !document.getElementById('cmdWrite').disabled ||
        document.getElementById('msgBox').open, { polling: 'mutation', timeout: 60000 });
    return page.$eval('#msgBox', (box) => (box.open ? document.getElementById('msgText').textContent : null));
}

// tavrek-cli writing `file` into the terminal `device`: what the desktop
// program sends, for comparison.
export async function writeWithCli(file, device) {
    const child = spawn(cliProgram, ['write', file, '--port', device, '--quiet'], { stdio: 'inherit' });
    const [code] = await once(child, 'exit');
    if (code !== 0)
        throw new Error(`tavrek-cli write ended with ${code}`);
}
