// Figures of the web page: a whole 48 KB chip written through the page, the
// stand-in serial port and a line-paced tavrek-sim, against what the line,
// the flash writes and the reset hold account for; the time from loading
// the page to its being ready; and the site's size. It prints figures and
// judges nothing.
//   node bench.js   (after scripts/test-web.sh, which builds and installs what it needs)

import { readdirSync, readFileSync, writeFileSync } from 'node:fs';
import path from 'node:path';
import { gzipSync } from 'node:zlib';

import { chooseFile, launchBrowser, openPage, site, startBridge, startSim, workFolder } from './harness.js';

// The chip and the line, as tavrek-sim --line-pacing holds them (sim/bootloader.h).
const kChipRows = 512;             // the dsPIC30F4011's 48 KB of flash
const kRowBytes = 128;
const kCfgWords = 7;
const kCfgWordBytes = 4;
const kSecondsPerByte = 10 / 115200;  // start, 8 data and stop bits at 115200 baud
const kRowWriteSeconds = 0.002;
const kConfigWriteSeconds = 0.002;
const kResetHoldSeconds = 0.100;
const kWrites = 3;
const kLoads = 5;

function record(type, offset, data) {
    const bytes = [data.length, offset >> 8, offset & 0xff, type, ...data];
    const sum = bytes.reduce((a, b) => a + b, 0);
    const hex = [...bytes, (256 - (sum % 256)) % 256].map((b) => b.toString(16).toUpperCase().padStart(2, '0'));
    return `:${hex.join('')}\n`;
}

// Every row of the chip and every configuration word, in 16-byte records,
// as the desktop benchmarks write it (bench/whole_chip.h).
function wholeChipHex() {
    let hex = record(4, 0, [0, 0]);
    for (let address = 0; address < kChipRows * kRowBytes; address += 16) {
        const data = Array.from({ length: 16 }, (_, i) => ((address + i) % 4 === 3 ? 0 : ((address + i) * 31 + 7) & 0xff));
        hex += record(0, address, data);
    }
    hex += record(4, 0, [0x01, 0xf0]);
    for (let word = 0; word < kCfgWords; ++word)
        hex += record(0, word * kCfgWordBytes, [0x12, 0x34, 0, 0]);
    return hex + ':00000001FF\n';
}

function pacedSeconds() {
    const sent = 1 + kChipRows * (4 + kRowBytes + 1) + kCfgWords * (4 + kCfgWordBytes + 1);
    const replies = 2 + kChipRows + kCfgWords;
    return kResetHoldSeconds + (sent + replies) * kSecondsPerByte + kChipRows * kRowWriteSeconds +
        kCfgWords * kConfigWriteSeconds;
}

// Seconds from the click on Write until Write is enabled again.
function timedWrite(page) {
    return page.evaluate(() => new Promise((resolve) => {
        const write = document.getElementById('cmdWrite');
        const started = performance.now();
        new MutationObserver(() => {
            if (!write.disabled)
                resolve((performance.now() - started) / 1000);
        }).observe(write, { attributes: true });
        write.click();
    }));
}

// Seconds the page itself took between each reply and the packet that
// followed it, from the stand-in's record of the write just done.
async function pageSeconds(page) {
    const { sent, received } = await page.evaluate(() => ({
        sent: window.standInSent.splice(0), received: window.standInReceived.splice(0),
    }));
    let ms = 0;
    for (const at of sent) {
        const reply = received.filter((time) => time < at).pop();
        if (reply !== undefined)
            ms += at - reply;
    }
    return ms / 1000;
}

const median = (values) => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)];
const range = (values, digits) => `${Math.min(...values).toFixed(digits)} to ${Math.max(...values).toFixed(digits)}, ` +
    `median ${median(values).toFixed(digits)}`;

const work = workFolder();
const bridge = await startBridge();
const browser = await launchBrowser();
try {
    const file = path.join(work.folder, 'whole-chip.hex');
    writeFileSync(file, wholeChipHex());
    const sim = await startSim(null, ['--line-pacing']);
    const ratios = [];
    const pageShares = [];
    try {
        const page = await openPage(browser, bridge, { ports: [{ device: sim.device }] });
        await chooseFile(page, file);
        for (let i = 0; i < kWrites; ++i) {
            ratios.push((await timedWrite(page)) / pacedSeconds());
            pageShares.push((await pageSeconds(page)) / pacedSeconds());
            const last = await page.$eval('#txtInfo', (box) => box.value.trim().split('\n').pop());
            if (last !== 'Write Successful!')
                throw new Error(`the write ended in "${last}"`);
        }
    } finally {
        await sim.stop();
    }
    console.log(`whole 48 KB chip through the page, line-paced tavrek-sim: wall over the ${pacedSeconds().toFixed(2)} s ` +
        `the line, flash writes and reset hold take: ${range(ratios, 3)} (${kWrites} writes); of which the page ` +
        `itself, from each reply to the next packet: ${range(pageShares, 3)}; the rest is the line and the ` +
        'stand-in\'s path (WebSocket, bridge, pseudo-terminal)');

    const loads = [];
    for (let i = 0; i < kLoads; ++i) {
        const page = await openPage(browser, bridge);
        loads.push(await page.evaluate(() => performance.getEntriesByName('tavrek-ready')[0].startTime));
        await page.close();
    }
    console.log(`page load to ready (wasm compiled, ports listed, controls usable): ${range(loads, 0)} ms (${kLoads} loads)`);

    const sizes = readdirSync(site).map((name) => {
        const bytes = readFileSync(path.join(site, name));
        return { name, raw: bytes.length, gzipped: gzipSync(bytes, { level: 9 }).length };
    });
    const total = (key) => sizes.reduce((sum, size) => sum + size[key], 0);
    console.log(`site: ${(total('gzipped') / 1024).toFixed(0)} KB gzipped, ${(total('raw') / 1024).toFixed(0)} KB as served; ` +
        sizes.map(({ name, gzipped }) => `${name} ${(gzipped / 1024).toFixed(1)} KB`).join(', '));
} finally {
    await browser.close();
    await bridge.stop();
    work.remove();
}
