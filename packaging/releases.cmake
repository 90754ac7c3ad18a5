# Every release of Tavrek, newest first: tavrek_release(VERSION DATE CHANGE...), one
# sentence per change, without semicolons (CMake would cut the sentence there). The newest must be the version set in CMakeLists.txt; the package's
# changelog and the AppStream metadata's releases are made from this list.

tavrek_release(0.4.0 "2026-12-07 22:00"
    "Tavrek in the browser: the window as a web page that writes a chip through Web Serial in Chrome or Edge, with nothing installed."
    "The Windows window sends each packet in one write, as tavrek-cli does, so that a whole chip takes what the line takes, and keeps the focus where the operator left it after a dialog, a message box or another program."
    "A chip whose application talks on its serial port is written: what it sent before its reset, which a USB adapter may hand over during the reset pulse, is no longer taken for the bootloader's answer."
    "tavrek-cli write records every chip in a JSON Lines file (--report), finds the one port where a chip answers (--port auto), and writes again whenever the file has changed (--watch)."
    "USB adapters that hold replies back: on Linux Tavrek asks the driver for low latency, and on Windows it tells when an FTDI adapter's latency timer costs time and how to set it to 1 ms."
    "tavrek-cli reset takes --trace, and tavrek-sim models an adapter's latency timer (--latency-timer)."
)

tavrek_release(0.3.0 2026-12-07
    "tavrek-cli tells on standard error what stands behind every failure and what to check, names the line of a HEX file that does not parse, and takes --baud for bootloaders built for another line rate."
    "The window's behaviour lives once, in a form that each platform's window shows."
    "The package carries the sample firmware, and the window's manual page tells how to try it with tavrek-sim."
    "Tavrek for Windows: the window made of Windows' own controls and tavrek-cli.exe, one program file each for 32- and 64-bit Windows 7 SP1 to 11, with an installer that needs no administrator and a portable zip."
    "Boards on another machine: tavrek-cli and the window write through serial ports that ser2net exports with RFC 2217, named rfc2217://HOST:PORT."
)

tavrek_release(0.2.0 2026-12-06
    "The window writes Intel HEX firmware into dsPIC30F4011/4012 chips through their serial bootloader, and resets them by pulsing DTR."
    "COM1 to COM5 are the serial ports present, built-in ports first and then USB adapters, and each entry of the port list names its device in a tooltip."
    "tavrek-cli writes, resets and checks from a terminal, a build script or a production bench, for one chip or several at once."
    "tavrek-sim, a simulated bootloader on a pseudo-terminal, lets you try Tavrek without a chip, and tells its version with --version."
    "Installs like any desktop program: menu entry, icon, manual pages, AppStream metadata and licence, in a Debian package."
)
