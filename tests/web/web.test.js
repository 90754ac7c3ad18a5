// Tavrek's web page in headless Chromium, writing through the stand-in
// serial ports into tavrek-sim, as a user would drive it.

import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { cpSync, readFileSync, writeFileSync } from 'node:fs';
import path from 'node:path';
import { after, before, describe, it } from 'node:test';

import {
    chooseFile, closeBrowser, launchBrowser, logLines, openPage, places, recordButtonStates, repo, site, startBridge,
    startSim, workFolder, write, writeWithCli,
} from './harness.js';

const blink = path.join(repo, 'examples', 'blink.hex');
const kStartOfRun = ['Resetting PIC..', 'Searching for bootloader...'];
const kFound = [...kStartOfRun, 'Found dsPIC30F4011/dsPIC30F4012', 'Writing flash...'];
const kWholeRun = [...kFound, 'Writing Configuration Bits', 'Write Successful!'];
const kResetHoldMs = 100;   // DTR held before the start byte
const kReplyTimeoutMs = 800;

let browser;
let bridge;
let work;

before(async () => {
    work = workFolder();
    bridge = await startBridge();
    browser = await launchBrowser();
});

after(async () => {
    if (browser)
        await closeBrowser(browser);
    await bridge?.stop();
    work?.remove();
});

// Runs `body` with a simulator for each entry of `simArgs`, each saving what
// its chip received; stops them however it ends.
async function withSims(simArgs, body) {
    const sims = [];
    try {
        for (const [i, args] of simArgs.entries()) {
            const saved = path.join(work.folder, `received-${Date.now()}-${i}.hex`);
            sims.push({ ...(await startSim(saved, args)), saved });
        }
        return await body(sims);
    } finally {
        await Promise.all(sims.map((sim) => sim.stop()));
    }
}

// The site and the one file take the same cases.
for (const [place, urlOf] of Object.entries(places)) describe(`the page as ${place}`, () => {
    const open = (options) => openPage(browser, bridge, { url: urlOf(bridge), ...options });

    describe('a write', () => {
        it('writes blink.hex byte for byte as the desktop program does, with the window\'s log', async () => {
            await withSims([[], []], async ([chip, reference]) => {
                const page = await open({ ports: [{ device: chip.device }] });
                await chooseFile(page, blink);

                await recordButtonStates(page);
                assert.equal(await write(page), null);
                assert.deepEqual(await logLines(page), kWholeRun);
                // Write and Reset go off together for the run and come back together; "..." stays on.
                assert.deepEqual(await page.evaluate(() => window.buttonStates), [[true, true, false], [false, false, false]]);
                assert.equal(await page.evaluate(() => document.activeElement.id), 'cmdWrite');

                await writeWithCli(blink, reference.device);
                await chip.stop();
                await reference.stop();
                assert.equal(readFileSync(chip.saved, 'latin1'), readFileSync(reference.saved, 'latin1'));

                const opens = await page.evaluate(() => window.standInOpens);
                assert.deepEqual(opens, [{ baudRate: 115200, dataBits: 8, stopBits: 1, parity: 'none', flowControl: 'none' }]);
                const [opened, held, released] = await page.evaluate(() => window.standInSignals);
                assert.deepEqual([opened.dataTerminalReady, held.dataTerminalReady, released.dataTerminalReady], [false, true, false]);
                assert.ok(released.at - held.at >= kResetHoldMs, `DTR held ${released.at - held.at} ms`);
                assert.deepEqual(page.fetched.filter((url) => !url.startsWith(urlOf(bridge)) && !url.startsWith('data:')), []);
                assert.deepEqual(await page.evaluate(() => window.refused), []);
                const policy = await page.$eval('meta[http-equiv="Content-Security-Policy"]', (meta) => meta.content);
                assert.match(policy, /default-src 'none'/);
                assert.doesNotMatch(policy, /unsafe-inline/);
            });
        });

        const endings = [
            { name: 'a silent chip', sim: ['--silent'], log: [...kStartOfRun, 'Bootloader not found!'], atLeastMs: kReplyTimeoutMs },
            { name: 'a packet refused ten times', sim: ['--reject-all'], log: [...kFound, 'Packet rejected 10 times'] },
            { name: 'a file that does not parse', sim: [], file: ':0400000000010400F6\n:00000001FF\n', log: ['Could not parse hex file.'] },
        ];
        for (const ending of endings) {
            it(`ends on ${ending.name} as the window does`, async () => {
                await withSims([ending.sim], async ([chip]) => {
                    const page = await open({ ports: [{ device: chip.device }] });
                    const file = ending.file ? path.join(work.folder, 'bad.hex') : blink;
                    if (ending.file)
                        writeFileSync(file, ending.file);
                    await chooseFile(page, file);
                    const started = Date.now();
                    assert.equal(await write(page), null);
                    assert.ok(Date.now() - started >= (ending.atLeastMs ?? 0));
                    assert.deepEqual(await logLines(page), ending.log);
                });
            });
        }

        it('ends with the device gone as on an unplugged adapter, and the page goes on', async () => {
            await withSims([['--vanish-after', '2'], []], async ([vanishing, other]) => {
                const page = await open({ ports: [{ device: vanishing.device }, { device: other.device }] });
                await chooseFile(page, blink);
                assert.equal(await write(page), 'Error opening port...');
                assert.deepEqual(await logLines(page), kFound);
                await page.click('#msgOk');
                await page.waitForFunction(() => !document.getElementById('cmdWrite').disabled);

                // The list follows: the port left, and COM1 is the other one now.
                await page.waitForFunction(() => document.querySelectorAll('#cboPort option')[1].title.startsWith('no serial port'));
                assert.equal(await write(page), null);
                assert.deepEqual((await logLines(page)).slice(kFound.length), kWholeRun);
            });
        });
    });

    describe('the page around the form', () => {
        it('pulses DTR at least 50 ms on Reset after a Write, on the port the Write closed, and logs nothing', async () => {
            await withSims([[]], async ([chip]) => {
                const page = await open({ ports: [{ device: chip.device }] });
                await chooseFile(page, blink);
                assert.equal(await write(page), null);
                const signalsOfWrite = (await page.evaluate(() => window.standInSignals)).length;
                await page.click('#cmdReset');
                await page.waitForFunction((n) => window.standInSignals.length === n + 2, {}, signalsOfWrite);
                const [opened, held] = (await page.evaluate(() => window.standInSignals)).slice(signalsOfWrite);
                assert.deepEqual([opened.dataTerminalReady, held.dataTerminalReady], [false, true]);
                const closedAt = await page.evaluate(async () => {
                    const port = (await navigator.serial.getPorts())[0];
                    while (port.readable)
                        await new Promise((resolve) => setTimeout(resolve, 5));
                    return performance.now();
                });
                assert.ok(closedAt - held.at >= 50, `DTR held ${closedAt - held.at} ms`);
                assert.equal(await page.$eval('#msgBox', (box) => box.open), false);
                assert.deepEqual(await logLines(page), kWholeRun);
            });
        });

        it('names each granted adapter in its entry\'s tooltip', async () => {
            const adapters = [
                [{ usbVendorId: 0x0403, usbProductId: 0x6001 }, 'FTDI FT232R (USB 0403:6001)'],
                [{ usbVendorId: 0x10c4, usbProductId: 0xea60 }, 'Silicon Labs CP210x (USB 10C4:EA60)'],
                [{ usbVendorId: 0x1a86, usbProductId: 0x7523 }, 'WCH CH340 (USB 1A86:7523)'],
                [{ usbVendorId: 0x067b, usbProductId: 0x2303 }, 'Prolific PL2303 (USB 067B:2303)'],
                [{ usbVendorId: 0x1234, usbProductId: 0x0001 }, 'a USB serial adapter (USB 1234:0001)'],
            ];
            const page = await open({ ports: adapters.map(([ids]) => ids) });
            const tooltips = await page.$$eval('#cboPort option', (options) => options.map((option) => option.title));
            assert.deepEqual(tooltips, adapters.map(([, tooltip]) => tooltip));
        });

        it('shows its form at once while the browser does not list its ports, says so, and lists them later', async () => {
            const page = await open({ ports: [{ usbVendorId: 0x0403, usbProductId: 0x6001 }], portsHeld: true, fakeClock: true });
            const shown = (id) => page.$eval(id, (element) => !element.hidden && getComputedStyle(element).visibility === 'visible');
            assert.equal(await shown('#cmdWrite'), true);
            assert.equal(await page.evaluate(() => document.activeElement.id), 'cmdOpen');
            assert.equal(await shown('#portsLate'), false);
            await page.evaluate(() => window.fakeClock.advance());
            assert.equal(await shown('#portsLate'), true);

            // Write with no file chosen: the window's words, and what to do.
            assert.equal(await write(page), 'Cannot open file');
            assert.equal(await shown('#msgHint'), true);
            assert.match(await page.$eval('#msgHint', (hint) => hint.textContent), /press "\.\.\." and choose the HEX file/);
            await page.click('#msgOk');

            await page.evaluate(() => window.standInAnswerPorts());
            await page.waitForFunction(() => document.getElementById('portsLate').hidden);
            assert.equal(await page.$eval('#cboPort option', (option) => option.title), 'FTDI FT232R (USB 0403:6001)');
        });

        it('leaves everything as it was when the user cancels a chooser, and adds the port chosen', async () => {
            const ports = [{ usbVendorId: 0x0403, usbProductId: 0x6001 }, { usbVendorId: 0x1a86, usbProductId: 0x7523 }];
            const page = await open({ ports, granted: [0], chooser: null });
            await chooseFile(page, blink);
            const [chooser] = await Promise.all([page.waitForFileChooser(), page.click('#cmdOpen')]);
            await chooser.cancel();
            await page.click('#cmdAddPort');
            const tooltips = () => page.$$eval('#cboPort option', (options) => options.map((option) => option.title));
            assert.equal(await page.$eval('#lblFileName', (label) => label.textContent), 'blink.hex');
            assert.equal(await page.$eval('#hexFile', (input) => input.accept), '.HEX');
            assert.match((await tooltips())[1], /^no serial port/);

            const granting = await open({ ports, granted: [0], chooser: 1 });
            await granting.click('#cmdAddPort');
            await granting.waitForFunction(() => document.getElementById('cboPort').selectedIndex === 1);
            assert.equal((await granting.$$eval('#cboPort option', (options) => options.map((o) => o.title)))[1],
                'WCH CH340 (USB 1A86:7523)');
        });

        it('tells a browser without Web Serial which browsers work', async () => {
            const page = await open({ serial: false });
            await page.waitForSelector('#noSerial', { visible: true });
            assert.equal(await page.$eval('#frmMain', (window) => window.hidden), true);
            assert.match(await page.$eval('#noSerial', (note) => note.textContent), /Chrome.*Edge.*Chromium-based/s);
        });
    });
});

describe('the site once opened', () => {
    // Runs `body` with a copy of the site in the work folder, served by a
    // bridge of its own that the test may stop or serve other files from.
    async function withHostedCopy(name, body) {
        const folder = path.join(work.folder, name);
        cpSync(site, folder, { recursive: true });
        const host = await startBridge(folder);
        try {
            return await body(folder, host);
        } finally {
            await host.stop();
        }
    }
    // Once the page's service worker has taken the site's files.
    const activated = (page) => page.evaluate(async () => {
        const worker = (await navigator.serviceWorker.ready).active;
        while (worker.state !== 'activated')
            await new Promise((resolve) => worker.addEventListener('statechange', resolve, { once: true }));
    });

    it('offers to install itself, and writes a chip with its server gone', async () => {
        await withHostedCopy('offline', (folder, host) => withSims([[]], async ([chip]) => {
            // Chromium offers no installing from an incognito context, which a page of its own has.
            const page = await openPage(browser, bridge, {
                url: `${host.origin}/`, context: browser.defaultBrowserContext(), ports: [{ device: chip.device }],
            });
            await activated(page);
            const devtools = await page.createCDPSession();
            assert.deepEqual((await devtools.send('Page.getInstallabilityErrors')).installabilityErrors, []);
            const manifest = await devtools.send('Page.getAppManifest');
            assert.deepEqual([manifest.errors, JSON.parse(manifest.data).name], [[], 'Tavrek']);

            await host.stop();
            await page.reload();
            await page.waitForSelector('html.ready');
            await chooseFile(page, blink);
            assert.equal(await write(page), null);
            assert.deepEqual(await logLines(page), kWholeRun);
        }));
    });

    it('takes a new version whole once its pages are closed, and none of one whose files are not all there', async () => {
        await withHostedCopy('served', async (folder, host) => {
            const next = path.join(work.folder, 'next');
            cpSync(site, next, { recursive: true });
            const change = (name, edit) =>
                writeFileSync(path.join(next, name), edit(readFileSync(path.join(next, name), 'utf8')));
            change('index.html', (html) => html.replace('<title>Tavrek</title>', '<title>Tavrek, next</title>'));
            change('tavrek.css', (style) => `${style}/* next */\n`);
            const files = Object.keys(JSON.parse(readFileSync(path.join(site, 'service-worker.js'), 'utf8')
                .match(/const siteFiles = ({[^}]*});/)[1]));
            execFileSync('node', [path.join(repo, 'src/web/pack_page.mjs'), 'service-worker',
                path.join(repo, 'src/web/service-worker.js'), next, ...files]);
            const serveNext = (...names) =>
                names.forEach((name) => cpSync(path.join(next, name), path.join(folder, name)));
            // What the page shows of its version: title and style sheet, as the worker serves them.
            const version = (page) => page.evaluate(async () =>
                [document.title, (await (await fetch('tavrek.css')).text()).endsWith('/* next */\n')]);
            // The state the next version's worker comes to once the browser has looked for it.
            const lookForNext = (page) => page.evaluate(async () => {
                const registration = await navigator.serviceWorker.getRegistration();
                await registration.update();
                const worker = registration.installing ?? registration.waiting;
                while (worker?.state === 'installing')
                    await new Promise((resolve) => worker.addEventListener('statechange', resolve, { once: true }));
                return worker?.state ?? 'none';
            });

            const context = await browser.createBrowserContext();
            const page = await openPage(browser, bridge, { url: `${host.origin}/`, context });
            await activated(page);
            await page.reload();  // now a page of the worker, which it must keep while it is open
            serveNext('service-worker.js');
            assert.equal(await lookForNext(page), 'redundant');
            serveNext('index.html', 'tavrek.css');
            assert.equal(await lookForNext(page), 'installed');
            await page.reload();
            assert.deepEqual(await version(page), ['Tavrek', false]);

            await page.close();
            await host.stop();
            const reopened = await openPage(browser, bridge, { url: `${host.origin}/`, context });
            assert.deepEqual(await version(reopened), ['Tavrek, next', true]);
            assert.equal((await reopened.evaluate(() => caches.keys())).length, 1);
        });
    });
});
