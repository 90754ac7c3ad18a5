// Figures of the web page: a whole 48 KB chip written through the page, the
// stand-in serial port and a line-paced tavrek-sim, against what the line,
// the flash writes and the reset hold account for; the time from loading
// the page to its being ready; and the site's size. It prints figures and
// judges nothing.
//   node bench.js   (after scripts/test-web.sh, which builds and installs what it needs)

import { once } from 'node:events';
import { readdirSync, readFileSync, writeFileSync } from 'node:fs';
import path from 'node:path';
import { gzipSync } from 'node:zlib';

import WebSocket from 'ws';

import { chooseFile, closeBrowser, launchBrowser, openPage, site, startBridge, startSim, workFolder } from './harness.js';

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

// The write just done as the stand-in saw it: each chunk the page sent, the
// reply bytes that came before the next, and the seconds the page itself
// took from each reply to the chunk that followed it.
async function traffic(page) {
    const { sent, received } = await page.evaluate(() => ({
        sent: window.standInSent.splice(0), received: window.standInReceived.splice(0),
    }));
    let pageMs = 0;
    const chunks = sent.map(({ at, bytes }, i) => {
        const reply = received.filter((message) => message.at < at).pop();
        if (reply !== undefined)
            pageMs += at - reply.at;
        const next = sent[i + 1]?.at ?? Infinity;
        const replyBytes = received.filter((message) => message.at > at && message.at <= next)
            .reduce((sum, message) => sum + message.length, 0);
        return { bytes, replyBytes };
    });
    return { chunks, pageSeconds: pageMs / 1000 };
}

// Seconds the same chunks take sent from node straight into the bridge, each
// after the replies to the one before: the stand-in's path without the
// browser.
async function replay(bridge, device, chunks) {
    const socket = new WebSocket(`${bridge.origin.replace('http', 'ws')}${device}`);
    await once(socket, 'open');
    let received = 0;
    let arrived = () => {};
    socket.on('message', (data) => {
        received += data.length;
        arrived();
    });
    const started = performance.now();
    for (const { bytes, replyBytes } of chunks) {
        const expected = received + replyBytes;
        socket.send(Uint8Array.from(bytes));
        while (received < expected)
            await new Promise((resolve) => { arrived = resolve; });
    }
    const seconds = (performance.now() - started) / 1000;
    socket.close();
    return seconds;
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
    const sims = [await startSim(null, ['--line-pacing']), await startSim(null, ['--line-pacing'])];
    const ratios = [];
    const pageShares = [];
    const rigShares = [];
    try {
        const page = await openPage(browser, bridge, { ports: [{ device: sims[0].device }], pageSocket: true });
        await chooseFile(page, file);
        for (let i = 0; i < kWrites; ++i) {
            ratios.push((await timedWrite(page)) / pacedSeconds());
            const last = await page.$eval('#txtInfo', (box) => box.value.trim().split('\n').pop());
            if (last !== 'Write Successful!')
                throw new Error(`the write ended in "${last}"`);
            const { chunks, pageSeconds } = await traffic(page);
            pageShares.push(pageSeconds / pacedSeconds());
            rigShares.push((await replay(bridge, sims[1].device, chunks)) / (pacedSeconds() - kResetHoldSeconds));
        }
    } finally {
        await Promise.all(sims.map((sim) => sim.stop()));
    }
    console.log(`whole 48 KB chip through the page, line-paced tavrek-sim: wall over the ${pacedSeconds().toFixed(2)} s ` +
        `the line, flash writes and reset hold take: ${range(ratios, 3)} (${kWrites} writes)`);
    console.log(`  the page itself, from each reply to the next packet: ${range(pageShares, 3)} of that time`);
    console.log('  the same bytes sent from node straight into the bridge, without the browser: wall over what the line ' +
        `and flash writes take: ${range(rigShares, 3)}`);

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
    await closeBrowser(browser);
    await bridge.stop();
    work.remove();
}
