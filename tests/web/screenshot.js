// Takes the page's picture after a write: examples/blink.hex written into
// tavrek-sim through a stand-in FTDI adapter, in headless Chromium, with the
// pointer resting on the port list's first entry.
//   node screenshot.js PICTURE.png

import path from 'node:path';

import { chooseFile, closeBrowser, launchBrowser, openPage, repo, startBridge, startSim, write } from './harness.js';

const kMargin = 12;  // pixels of the page shown around the window

const picture = process.argv[2];
const bridge = await startBridge();
const browser = await launchBrowser();
const sim = await startSim(null);
try {
    const page = await openPage(browser, bridge, { ports: [{ device: sim.device, usbVendorId: 0x0403, usbProductId: 0x6001 }] });
    await page.setViewport({ width: 640, height: 320 });
    await chooseFile(page, path.join(repo, 'examples', 'blink.hex'));
    if (await write(page) !== null)
        throw new Error('the write ended in a message box');
    const last = await page.$eval('#txtInfo', (box) => box.value.trim().split('\n').pop());
    if (last !== 'Write Successful!')
        throw new Error(`the write ended in "${last}"`);
    const window = await (await page.$('#frmMain')).boundingBox();
    await page.screenshot({
        path: picture,
        clip: { x: window.x - kMargin, y: window.y - kMargin, width: window.width + 2 * kMargin, height: window.height + 2 * kMargin },
    });
    console.log(`wrote ${picture}`);
} finally {
    await sim.stop();
    await closeBrowser(browser);
    await bridge.stop();
}
