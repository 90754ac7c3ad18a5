// The browser: the page around the form, and the serial ports through Web
// Serial. Bundled ahead of the compiled form (emcc --pre-js), whose calls
// reach the page through `tavrekPage`.
'use strict';

var tavrekPage = (() => {
    const element = (id) => document.getElementById(id);

    // The commands behind the buttons, as the form's exports number them.
    const Command = { cmdOpen: 1, cmdWrite: 2, cmdReset: 3 };

    // A port's failures are DOMExceptions: these names end the line for good
    // (the device has gone, or the port was closed under it); the others
    // (break, framing, parity, overrun) end only the read that met them.
    const lineEndingErrors = ['NetworkError', 'UnknownError', 'InvalidStateError'];

    // What the tooltip of a granted port calls it, by USB vendor id and then
    // product id: the adapters most boards are wired to.
    const knownAdapters = {
        0x0403: { maker: 'FTDI', chips: { 0x6001: 'FT232R', 0x6010: 'FT2232', 0x6011: 'FT4232H', 0x6014: 'FT232H', 0x6015: 'FT230X/FT231X' } },
        0x10c4: { maker: 'Silicon Labs', chips: { 0xea60: 'CP210x', 0xea70: 'CP2105', 0xea71: 'CP2108' } },
        0x1a86: { maker: 'WCH', chips: { 0x7523: 'CH340', 0x5523: 'CH341', 0x55d4: 'CH9102' } },
        0x067b: { maker: 'Prolific', chips: { 0x2303: 'PL2303' } },
    };

    // --- Commands -------------------------------------------------------
    // The form runs one command at a time. A click during a command (the
    // form waiting for a reply, say) waits in `queued` until the form
    // processes its events, as a desktop window's click waits in its queue.

    let running = false;
    const queued = [];
    let wakeForm = null;  // ends the form's current wait early

    function wakeUp() {
        if (wakeForm)
            wakeForm();
    }

    function click(command) {
        if (running) {
            queued.push(command);
            wakeUp();
            return;
        }
        run(command);
    }

    async function run(command) {
        running = true;
        try {
            await Module.ccall('tavrek_command', null, ['number'], [command], { async: true });
        } finally {
            running = false;
        }
        if (queued.length > 0)
            run(queued.shift());
    }

    // --- Strings into the form's memory --------------------------------

    function newString(text) {
        const size = lengthBytesUTF8(text) + 1;
        const pointer = _malloc(size);
        stringToUTF8(text, pointer, size);
        return pointer;
    }

    // --- Ports ----------------------------------------------------------
    // COM1 to COM5 are the ports the user granted this page, in the order
    // navigator.serial.getPorts() gives them; an id names a port for the
    // page's life.

    let granted = [];
    const portIds = new WeakMap();
    let nextPortId = 1;

    function idOf(port) {
        if (!portIds.has(port))
            portIds.set(port, nextPortId++);
        return portIds.get(port);
    }

    const hex4 = (n) => n.toString(16).toUpperCase().padStart(4, '0');

    function describePort(port) {
        if (!port)
            return 'no serial port: "Add a port..." lets this page use one';
        const info = port.getInfo();
        if (info.usbVendorId === undefined)
            return 'a serial port without USB ids (built in, or Bluetooth)';
        const ids = `USB ${hex4(info.usbVendorId)}:${hex4(info.usbProductId)}`;
        const adapter = knownAdapters[info.usbVendorId];
        if (!adapter)
            return `a USB serial adapter (${ids})`;
        const chip = adapter.chips[info.usbProductId];
        return `${adapter.maker}${chip ? ' ' + chip : ''} (${ids})`;
    }

    function showPorts() {
        const options = element('cboPort').options;
        for (let i = 0; i < options.length; ++i)
            options[i].title = describePort(granted[i]);
    }

    async function refreshPorts() {
        granted = await navigator.serial.getPorts();
        showPorts();
    }

    // A browser whose serial service is slow, or switched off, may answer
    // getPorts() late or never: the form works meanwhile, and a notice says
    // so once the answer is this late.
    const kPortsAnswerMs = 3000;

    function listPortsWhenTheyCome() {
        const late = setTimeout(() => { element('portsLate').hidden = false; }, kPortsAnswerMs);
        refreshPorts().then(() => {
            clearTimeout(late);
            element('portsLate').hidden = true;
            performance.mark('tavrek-ready');
        });
    }

    // requestPort() opens the browser's chooser; it needs the user's click.
    async function addPort() {
        let port;
        try {
            port = await navigator.serial.requestPort();
        } catch (error) {
            if (error.name !== 'NotFoundError')  // the user closed the chooser
                console.warn('Tavrek: no port added:', error);
            return;
        }
        await refreshPorts();
        const position = granted.indexOf(port);
        if (position >= 0 && position < element('cboPort').options.length)
            element('cboPort').selectedIndex = position;
    }

    // --- Open lines -----------------------------------------------------

    const lines = new Map();
    let nextLineId = 1;
    let lastFailure = '';

    // 0: done; 1: failed; 2: the device has gone. The failure's words wait
    // in lastFailure.
    function failed(error, gone) {
        lastFailure = error && error.message ? error.message : String(error);
        return gone ? 2 : 1;
    }

    class Line {
        constructor(port) {
            this.port = port;
            this.received = [];
            this.failure = null;
            this.closing = false;
            this.lastWrite = Promise.resolve();
        }

        async open(options, dtr) {
            await this.port.open(options);
            this.writer = this.port.writable.getWriter();
            this.reading = this.readAll();
            await this.setDtr(dtr);
        }

        // Takes what arrives until the line is closed or its device has gone.
        async readAll() {
            while (this.port.readable && !this.closing) {
                this.reader = this.port.readable.getReader();
                try {
                    for (;;) {
                        const { value, done } = await this.reader.read();
                        if (done)
                            break;
                        this.received.push(value);
                        wakeUp();
                    }
                } catch (error) {
                    if (lineEndingErrors.includes(error.name))
                        this.fail(error);
                } finally {
                    this.reader.releaseLock();
                }
            }
            if (!this.closing)
                this.fail(new Error('the device has gone'));
        }

        fail(error) {
            if (!this.failure)
                this.failure = error;
            wakeUp();
        }

        available() {
            return this.received.reduce((sum, chunk) => sum + chunk.length, 0);
        }

        // Copies the received bytes into the form's memory at `pointer`.
        take(pointer, size) {
            let taken = 0;
            while (this.received.length > 0 && taken + this.received[0].length <= size) {
                const chunk = this.received.shift();
                HEAPU8.set(chunk, pointer + taken);
                taken += chunk.length;
            }
            return taken;
        }

        // The write is not awaited: the next one queues behind it, and a
        // failure is told by the next call.
        send(bytes) {
            this.lastWrite = this.writer.write(bytes).catch((error) => this.fail(error));
        }

        // Bytes sent before a switch of DTR leave before it.
        async setDtr(active) {
            await this.lastWrite;
            await this.port.setSignals({ dataTerminalReady: active });
        }

        async wait(maxMs) {
            if (this.received.length > 0 || this.failure || queued.length > 0)
                return;
            let timer;
            await new Promise((resolve) => {
                wakeForm = resolve;
                timer = setTimeout(resolve, maxMs);
            });
            wakeForm = null;
            clearTimeout(timer);
        }

        // Closing lets the bytes sent go first; a port whose device has gone
        // closes as well as it can.
        async close() {
            this.closing = true;
            await this.lastWrite;
            try {
                await this.writer.close();
            } catch (error) { /* gone already */ }
            if (this.writer)
                this.writer.releaseLock();
            try {
                await this.reader.cancel();
            } catch (error) { /* gone already */ }
            await this.reading;
            try {
                await this.port.close();
            } catch (error) { /* gone already */ }
        }
    }

    function lineCall(id, call) {
        const line = lines.get(id);
        if (line.failure)
            return failed(line.failure, true);
        try {
            call(line);
            return 0;
        } catch (error) {
            return failed(error, lineEndingErrors.includes(error.name));
        }
    }

    // --- The page -------------------------------------------------------

    function showCaption(button, caption) {
        const key = caption.indexOf('&');
        button.textContent = '';
        if (key < 0 || key + 1 >= caption.length) {
            button.textContent = caption;
            return;
        }
        const underlined = document.createElement('u');
        underlined.textContent = caption[key + 1];
        button.append(caption.slice(0, key), underlined, caption.slice(key + 2));
        button.accessKey = caption[key + 1].toLowerCase();
    }

    let focusBeforeDisabling = null;  // Write or Reset, when it had the focus as a Write began

    // The log box's text, every line ended by CR LF as the form holds it.
    const asLog = (text) => text.replace(/\r?\n/g, '\r\n');

    function start() {
        for (const id of Object.keys(Command))
            element(id).addEventListener('click', () => click(Command[id]));
        element('cmdAddPort').addEventListener('click', addPort);
        element('msgOk').addEventListener('click', () => element('msgBox').close());
        element('txtInfo').addEventListener('input', () => {
            const text = newString(asLog(element('txtInfo').value));
            Module.ccall('tavrek_log_typed', null, ['number'], [text]);
        });
        navigator.serial.addEventListener('connect', refreshPorts);
        navigator.serial.addEventListener('disconnect', refreshPorts);
        // Leaving during a Write asks first: the chip would be left half written.
        window.addEventListener('beforeunload', (event) => {
            if (element('cmdWrite').disabled)
                event.preventDefault();
        });
        document.documentElement.classList.add('ready');
        element('cmdOpen').focus();
        listPortsWhenTheyCome();
    }

    // Firefox and Safari have no Web Serial; a page served over plain HTTP
    // from another machine has none either.
    function lacksSerial() {
        if ('serial' in navigator)
            return false;
        element('frmMain').hidden = true;
        element(window.isSecureContext ? 'noSerial' : 'notSecure').hidden = false;
        return true;
    }

    // From a host, the page keeps its files to open offline next time
    // (service-worker.js); opened as a file, it holds them all itself.
    // (No ?. here: emscripten's minifier does not take it.)
    if ((location.protocol === 'https:' || location.protocol === 'http:') && navigator.serviceWorker) {
        navigator.serviceWorker.register('service-worker.js')
            .catch((error) => console.warn('Tavrek: the page will not open offline:', error));
    }

    if (lacksSerial())
        Module.noInitialRun = true;
    Module.onAbort = (what) => {
        element('frmMain').hidden = true;
        element('notStarted').hidden = false;
        element('notStarted').append(` What failed: ${what}`);
    };
    Module.onRuntimeInitialized = () => {
        if (!Module.noInitialRun)
            start();
    };

    // The file's bytes as they are, under its own name.
    async function storeFile(file, folder) {
        FS.mkdirTree(folder);
        for (const name of FS.readdir(folder))
            if (name !== '.' && name !== '..')
                FS.unlink(`${folder}/${name}`);
        try {
            FS.writeFile(`${folder}/${file.name}`, new Uint8Array(await file.arrayBuffer()));
        } catch (error) {
            console.warn('Tavrek: the file could not be read:', error);  // Write will say "Cannot open file"
        }
        return file.name;
    }

    return {
        // The form's view.
        place(id, left, top, width, height) {
            Object.assign(element(id).style, { left: `${left}px`, top: `${top}px`, width: `${width}px`, height: `${height}px` });
        },
        caption: (id, caption) => showCaption(element(id), caption),
        showFileName: (path) => { element('lblFileName').textContent = path; },
        showLog(log) {
            const box = element('txtInfo');
            box.value = log;
            box.setSelectionRange(box.value.length, box.value.length);
            box.scrollTop = box.scrollHeight;
        },
        portChoice: () => element('cboPort').selectedIndex,
        selectPort: (position) => { element('cboPort').selectedIndex = position; },
        // A disabled button loses the focus; it comes back once the buttons
        // are enabled again, unless the user has put it elsewhere meanwhile.
        enableCommands(enabled) {
            const focused = document.activeElement;
            element('cmdWrite').disabled = !enabled;
            element('cmdReset').disabled = !enabled;
            if (!enabled) {
                focusBeforeDisabling = ['cmdWrite', 'cmdReset'].includes(focused.id) ? focused : null;
                return;
            }
            if (focusBeforeDisabling && (focused === document.body || focused === null))
                focusBeforeDisabling.focus();
            focusBeforeDisabling = null;
        },
        nextCommand: () => queued.shift() || 0,

        // The browser's file chooser; the chosen file goes into `folder` of
        // the form's file system, alone. Resolves to its name, or '' when
        // the user cancelled.
        chooseFile(accept, folder) {
            const input = element('hexFile');
            input.accept = accept;
            input.value = '';
            return new Promise((resolve) => {
                const done = async (event) => {
                    input.removeEventListener('change', done);
                    input.removeEventListener('cancel', done);
                    const file = event.type === 'change' ? input.files[0] : null;
                    resolve(file ? newString(await storeFile(file, folder)) : newString(''));
                };
                input.addEventListener('change', done);
                input.addEventListener('cancel', done);
                input.click();
            });
        },

        showMessage(text) {
            const box = element('msgBox');
            element('msgText').textContent = text;
            // The window's words, and what to do where the page knows it.
            element('msgHint').hidden = text !== 'Cannot open file' || element('lblFileName').textContent !== '';
            return new Promise((resolve) => {
                box.addEventListener('close', resolve, { once: true });
                box.showModal();
            });
        },

        // The serial ports.
        portId: (position) => (granted[position] ? idOf(granted[position]) : 0),
        async openLine(portId, options, dtr) {
            const port = granted.find((p) => idOf(p) === portId);
            if (!port) {
                failed(new Error('the port is no longer granted to this page'), false);
                return -1;
            }
            const line = new Line(port);
            try {
                await line.open(options, dtr);
            } catch (error) {
                await line.close();
                failed(error, false);
                return -1;
            }
            const id = nextLineId++;
            lines.set(id, line);
            return id;
        },
        closeLine(id) {
            const line = lines.get(id);
            lines.delete(id);
            return line.close();
        },
        async setDtr(id, active) {
            const line = lines.get(id);
            if (line.failure)
                return failed(line.failure, true);
            try {
                await line.setDtr(active);
                return 0;
            } catch (error) {
                return failed(error, lineEndingErrors.includes(error.name));
            }
        },
        available: (id) => lines.get(id).available(),
        take: (id, pointer, size) => lines.get(id).take(pointer, size),
        send: (id, pointer, size) => lineCall(id, (line) => line.send(HEAPU8.slice(pointer, pointer + size))),
        waitForInput: (id, maxMs) => lines.get(id).wait(maxMs),
        failed: (id) => (lines.get(id).failure ? failed(lines.get(id).failure, true) : 0),
        lastFailure: () => newString(lastFailure),
    };

})();
