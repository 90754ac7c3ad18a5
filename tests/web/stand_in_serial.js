// A stand-in for the browser's navigator.serial, put into the page before it
// loads. Its ports carry their bytes to the test's bridge, which hands them
// to a tavrek-sim's pseudo-terminal, so that the chip behind the page is the
// simulator every other test uses. The bytes go through the test program
// (window.standInWire, a binding to it, and window.standInDeliver back), not
// the page's network, so that neither the page's Content-Security-Policy (a
// page opened from the disk connects nowhere) nor a server gone stands in
// their way; a benchmark may have them go through a WebSocket of the page's
// own instead (config.bridge), the shorter way. It behaves as
// Chromium's Web Serial does where the page relies on it: streams that
// error with a NetworkError and a `disconnect` event when the device goes,
// a port that refuses a second open or a close while its streams are
// locked, and a chooser that the user may cancel (NotFoundError).
//
// config: { ports: [{ device, usbVendorId, usbProductId }], granted: [indices],
//           chooser: index to grant on requestPort(), or null to cancel,
//           portsHeld: true for a getPorts() that answers only once the test
//           calls window.standInAnswerPorts(),
//           bridge: the bridge's ws:// address, for the page's own WebSocket }
// Every setSignals() is recorded in window.standInSignals, every port's
// opening options in window.standInOpens, every write (its time by
// performance.now() and its bytes) in window.standInSent, and every message
// received (its time and length) in window.standInReceived.
export function installStandInSerial(config) {
    const lost = () => new DOMException('The device has been lost.', 'NetworkError');
    const serial = new EventTarget();
    const wires = new Map();  // a wire's id: what takes the bytes it brings, and null when it closes
    window.standInDeliver = (id, bytes) => wires.get(id)?.(bytes);

    // A wire to the terminal `device`, handing what it brings to `bring`.
    async function openWire(device, bring) {
        if (config.bridge) {
            const socket = new WebSocket(config.bridge + device);
            socket.binaryType = 'arraybuffer';
            await new Promise((resolve, reject) => { socket.onopen = resolve; socket.onerror = reject; });
            socket.onmessage = (event) => bring(new Uint8Array(event.data));
            socket.onclose = () => bring(null);
            return { send: (bytes) => socket.send(bytes), close: () => socket.close() };
        }
        const id = await window.standInWire({ open: device });
        wires.set(id, (bytes) => {
            if (!bytes)
                wires.delete(id);
            bring(bytes && Uint8Array.from(bytes));
        });
        return {
            send: (bytes) => window.standInWire({ send: id, bytes: Array.from(bytes) }),
            close: () => window.standInWire({ close: id }),
        };
    }

    window.standInSignals = [];
    window.standInOpens = [];
    window.standInSent = [];
    window.standInReceived = [];

    class StandInPort extends EventTarget {
        constructor(description) {
            super();
            this.description = description;
            this.readable = null;
            this.writable = null;
            this.wire = null;
        }

        getInfo() {
            const { usbVendorId, usbProductId } = this.description;
            return usbVendorId === undefined ? {} : { usbVendorId, usbProductId };
        }

        async open(options) {
            if (this.wire)
                throw new DOMException('The port is already open.', 'InvalidStateError');
            window.standInOpens.push(options);
            let reading, writing;
            const bring = (bytes) => {
                if (bytes) {
                    window.standInReceived.push({ at: performance.now(), length: bytes.length });
                    reading.enqueue(bytes);
                    return;
                }
                if (this.wire !== wire)
                    return;  // closed by the page
                reading.error(lost());
                writing.error(lost());
                this.forget();
                this.dispatchEvent(new Event('disconnect'));
                serial.dispatchEvent(Object.assign(new Event('disconnect'), { port: this }));
            };
            let wire;
            try {
                wire = await openWire(this.description.device, bring);
            } catch (error) {
                throw new DOMException('Failed to open serial port.', 'NetworkError');
            }
            this.wire = wire;
            this.readable = new ReadableStream({ start: (c) => { reading = c; } });
            this.writable = new WritableStream({
                start: (c) => { writing = c; },
                write: (chunk) => {
                    if (this.wire !== wire)
                        throw lost();
                    window.standInSent.push({ at: performance.now(), bytes: Array.from(chunk) });
                    wire.send(chunk);
                },
            });
        }

        async setSignals(signals) {
            if (!this.wire)
                throw new DOMException('The port is closed.', 'InvalidStateError');
            window.standInSignals.push({ ...signals, at: performance.now() });
        }

        async close() {
            if (this.readable?.locked || this.writable?.locked)
                throw new TypeError('Cannot close a port whose streams are locked.');
            const wire = this.wire;
            this.wire = null;
            this.readable = null;
            this.writable = null;
            wire?.close();
        }

        forget() {
            this.wire = null;
            this.readable = null;
            this.writable = null;
            granted = granted.filter((port) => port !== this);
        }
    }

    const ports = config.ports.map((description) => new StandInPort(description));
    let granted = (config.granted ?? ports.map((_, i) => i)).map((i) => ports[i]);
    const heldAnswers = [];
    serial.getPorts = () => new Promise((resolve) => {
        if (config.portsHeld)
            heldAnswers.push(resolve);
        else
            resolve([...granted]);
    });
    window.standInAnswerPorts = () => {
        config.portsHeld = false;
        heldAnswers.splice(0).forEach((resolve) => resolve([...granted]));
    };
    serial.requestPort = async () => {
        const port = ports[config.chooser];
        if (!port)
            throw new DOMException('No port selected by the user.', 'NotFoundError');
        if (!granted.includes(port))
            granted.push(port);
        return port;
    };
    Object.defineProperty(Navigator.prototype, 'serial', { get: () => serial, configurable: true });
}
