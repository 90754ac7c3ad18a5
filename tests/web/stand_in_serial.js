// A stand-in for the browser's navigator.serial, put into the page before it
// loads. Its ports carry their bytes over a WebSocket to the test's bridge,
// which hands them to a tavrek-sim's pseudo-terminal, so that the chip
// behind the page is the simulator every other test uses. It behaves as
// Chromium's Web Serial does where the page relies on it: streams that
// error with a NetworkError and a `disconnect` event when the device goes,
// a port that refuses a second open or a close while its streams are
// locked, and a chooser that the user may cancel (NotFoundError).
//
// config: { ports: [{ url, usbVendorId, usbProductId }], granted: [indices],
//           chooser: index to grant on requestPort(), or null to cancel,
//           portsHeld: true for a getPorts() that answers only once the test
//           calls window.standInAnswerPorts() }
// Every setSignals() is recorded in window.standInSignals, every port's
// opening options in window.standInOpens, every write (its time by
// performance.now() and its bytes) in window.standInSent, and every message
// received (its time and length) in window.standInReceived.
export function installStandInSerial(config) {
    const lost = () => new DOMException('The device has been lost.', 'NetworkError');
    const serial = new EventTarget();
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
            this.socket = null;
        }

        getInfo() {
            const { usbVendorId, usbProductId } = this.description;
            return usbVendorId === undefined ? {} : { usbVendorId, usbProductId };
        }

        async open(options) {
            if (this.socket)
                throw new DOMException('The port is already open.', 'InvalidStateError');
            window.standInOpens.push(options);
            const socket = new WebSocket(this.description.url);
            socket.binaryType = 'arraybuffer';
            await new Promise((resolve, reject) => {
                socket.onopen = resolve;
                socket.onerror = () => reject(new DOMException('Failed to open serial port.', 'NetworkError'));
            });
            this.socket = socket;
            let reading, writing;
            this.readable = new ReadableStream({ start: (c) => { reading = c; } });
            this.writable = new WritableStream({
                start: (c) => { writing = c; },
                write: (chunk) => {
                    if (socket.readyState !== WebSocket.OPEN)
                        throw lost();
                    window.standInSent.push({ at: performance.now(), bytes: Array.from(chunk) });
                    socket.send(chunk);
                },
            });
            socket.onmessage = (event) => {
                window.standInReceived.push({ at: performance.now(), length: event.data.byteLength });
                reading.enqueue(new Uint8Array(event.data));
            };
            socket.onclose = () => {
                if (this.socket !== socket)
                    return;  // closed by the page
                reading.error(lost());
                writing.error(lost());
                this.forget();
                this.dispatchEvent(new Event('disconnect'));
                serial.dispatchEvent(Object.assign(new Event('disconnect'), { port: this }));
            };
        }

        async setSignals(signals) {
            if (!this.socket)
                throw new DOMException('The port is closed.', 'InvalidStateError');
            window.standInSignals.push({ ...signals, at: performance.now() });
        }

        async close() {
            if (this.readable?.locked || this.writable?.locked)
                throw new TypeError('Cannot close a port whose streams are locked.');
            const socket = this.socket;
            this.socket = null;
            this.readable = null;
            this.writable = null;
            socket?.close();
        }

        forget() {
            this.socket = null;
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
