#!/usr/bin/python3
"""Serves the web page's site to the tests and carries a stand-in serial
port's bytes to a simulator's pseudo-terminal, on one port of 127.0.0.1, so
that the page's own Content-Security-Policy ('self') lets it connect.

    serial_bridge.py SITE_DIR

prints the port it listens on, then serves until it is ended. GET /FILE
serves SITE_DIR/FILE; a WebSocket to /dev/pts/N opens that terminal as a
host opens a serial port, and carries its bytes both ways as binary
messages until either side closes. A terminal that goes away (the
simulator closed it) closes the WebSocket with code 1011.
"""

import asyncio
import errno
import http
import mimetypes
import os
import re
import sys

import websockets

READ_CHUNK = 4096          # bytes taken from the terminal at a time
DEVICE_GONE = 1011         # WebSocket close code: the terminal went away
TERMINAL = re.compile(r"/dev/pts/\d+")


def site_file(site, path):
    name = path.split("?", 1)[0].lstrip("/") or "index.html"
    full = os.path.realpath(os.path.join(site, name))
    if not full.startswith(os.path.realpath(site) + os.sep) or not os.path.isfile(full):
        return http.HTTPStatus.NOT_FOUND, [], b"not found\n"
    with open(full, "rb") as f:
        body = f.read()
    kind = mimetypes.guess_type(full)[0] or "application/octet-stream"
    return http.HTTPStatus.OK, [("Content-Type", kind), ("Cache-Control", "no-store")], body


async def write_all(fd, data):
    while data:
        try:
            data = data[os.write(fd, data):]
        except BlockingIOError:
            await asyncio.sleep(0.001)  # the terminal's buffer is full: the simulator reads soon


async def relay(ws, path):
    if not TERMINAL.fullmatch(path):
        await ws.close(1008, "not a terminal")
        return
    fd = os.open(path, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
    loop = asyncio.get_running_loop()
    received = asyncio.Queue()

    def readable():
        try:
            data = os.read(fd, READ_CHUNK)
        except BlockingIOError:
            return
        except OSError as error:
            if error.errno != errno.EIO:
                raise
            data = b""
        if not data:
            loop.remove_reader(fd)
        received.put_nowait(data)

    async def to_page():
        while data := await received.get():
            await ws.send(data)
        await ws.close(DEVICE_GONE, "the device has gone")

    loop.add_reader(fd, readable)
    sending = asyncio.create_task(to_page())
    try:
        async for message in ws:
            await write_all(fd, message)
    except websockets.ConnectionClosed:
        pass
    finally:
        sending.cancel()
        loop.remove_reader(fd)
        os.close(fd)


async def main(site):
    def answer_http(path, headers):
        if "Upgrade" in headers:
            return None
        return site_file(site, path)

    async with websockets.serve(relay, "127.0.0.1", 0, process_request=answer_http,
                                max_size=None, compression=None) as server:
        print(server.sockets[0].getsockname()[1], flush=True)
        await asyncio.Future()


if __name__ == "__main__":
    asyncio.run(main(sys.argv[1]))
