// Tavrek's web page in headless Chromium, writing through the stand-in
// serial ports into tavrek-sim, as a user would drive it.

import assert from 'node:assert/strict';
import { readFileSync, writeFileSync } from 'node:fs';
import path from 'node:path';
import { after, before, describe, it } from 'node:test';

import {
    chooseFile, closeBrowser, launchBrowser, logLines, openPage, recordButtonStates, repo, startBridge, startSim,
    workFolder, write, writeWithCli,
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

describe('a write', () => {
    it('writes blink.hex byte for byte as the desktop program does, with the window\'s log', async () => {
        await withSims([[], []], async ([chip, reference]) => {
            const page = await openPage(browser, bridge, { ports: [{ device: chip.device }] });
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
            assert.deepEqual(page.fetched.filter((url) => !url.startsWith(`${bridge.origin}/`)), []);
            assert.deepEqual(await page.evaluate(() => window.refused), []);
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
                const page = await openPage(browser, bridge, { ports: [{ device: chip.device }] });
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
            const page = await openPage(browser, bridge, { ports: [{ device: vanishing.device }, { device: other.device }] });
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
            const page = await openPage(browser, bridge, { ports: [{ device: chip.device }] });
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
        const page = await openPage(browser, bridge, { ports: adapters.map(([ids]) => ids) });
        const tooltips = await page.$$eval('#cboPort option', (options) => options.map((option) => option.title));
        assert.deepEqual(tooltips, adapters.map(([, tooltip]) => tooltip));
    });

    it('leaves everything as it was when the user cancels a chooser, and adds the port chosen', async () => {
        const ports = [{ usbVendorId: 0x0403, usbProductId: 0x6001 }, { usbVendorId: 0x1a86, usbProductId: 0x7523 }];
        const page = await openPage(browser, bridge, { ports, granted: [0], chooser: null });
        await chooseFile(page, blink);
        const [chooser] = await Promise.all([page.waitForFileChooser(), page.click('#cmdOpen')]);
        await chooser.cancel();
        await page.click('#cmdAddPort');
        const tooltips = () => page.$$eval('#cboPort option', (options) => options.map((option) => option.title));
        assert.equal(await page.$eval('#lblFileName', (label) => label.textContent), 'blink.hex');
        assert.equal(await page.$eval('#hexFile', (input) => input.accept), '.HEX');
        assert.match((await tooltips())[1], /^no serial port/);

        const granting = await openPage(browser, bridge, { ports, granted: [0], chooser: 1 });
        await granting.click('#cmdAddPort');
        await granting.waitForFunction(() => document.getElementById('cboPort').selectedIndex === 1);
        assert.equal((await granting.$$eval('#cboPort option', (options) => options.map((o) => o.title)))[1],
            'WCH CH340 (USB 1A86:7523)');
    });

    it('shows its form at once while the browser does not list its ports, says so, and lists them later', async () => {
        const page = await openPage(browser, bridge,
            { ports: [{ usbVendorId: 0x0403, usbProductId: 0x6001 }], portsHeld: true, fakeClock: true });
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

    it('tells a browser without Web Serial which browsers work', async () => {
        const page = await openPage(browser, bridge, { serial: false });
        await page.waitForSelector('#noSerial', { visible: true });
        assert.equal(await page.$eval('#frmMain', (window) => window.hidden), true);
        assert.match(await page.$eval('#noSerial', (note) => note.textContent), /Chrome.*Edge.*Chromium-based/s);
    });
});
