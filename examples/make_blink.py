#!/usr/bin/env python3
"""Writes blink.hex: a small dsPIC30F4011/4012 program that toggles pin RB0
about once a second, with two configuration words, as Intel HEX in its 32-bit
form (INHEX32) laid out as the dsPIC tool chain lays it out.

Layout: program memory is addressed in bytes at twice the word address; each
24-bit instruction takes four bytes, low byte first, the fourth always 0.
Configuration word i lies at word address 0xF80000 + 2i, which is HEX address
0x01F00000 + 4i (extended linear address 0x01F0).

Run it from anywhere: python3 examples/make_blink.py
"""

from pathlib import Path

# Special function registers of the dsPIC30F4011/4012 (data addresses).
ADPCFG = 0x02A8  # analog/digital pin selection of port B
TRISB = 0x02C6   # port B direction
LATB = 0x02CA    # port B output latch

# Where the application starts: after the interrupt vector tables.
MAIN = 0x000100
# The configuration words as HEX byte addresses.
CONFIG_BASE = 0x01F00000
FOSC = 0  # word 0: oscillator
FWDT = 1  # word 1: watchdog timer
FOSC_FRC = 0xC100      # internal fast RC oscillator, no PLL; clock switching off
FWDT_OFF = 0x003F      # watchdog timer off
DELAY_ROUNDS = 100     # 100 x 16384 instruction cycles, about 0.9 s at 1.84 MIPS
RECORD_BYTES = 16      # data bytes per HEX record, as the tool chain writes them


# Instruction encodings (24 bits), from the dsPIC30F instruction set.
def mov_literal(value, w):         # MOV #lit16, Wn
    return 0x200000 | (value & 0xFFFF) << 4 | w


def mov_to_file(w, address):       # MOV Wn, f (f a word address in data memory)
    return 0x880000 | (address >> 1) << 4 | w


def clr(w):                        # CLR Wn
    return 0xEB0000 | w << 7


def btg(w, bit):                   # BTG Wn, #bit
    return 0xA20000 | bit << 12 | w


def repeat(count):                 # REPEAT #lit14: the next instruction runs count + 1 times
    return 0x090000 | count


NOP = 0x000000


def dec(w):                        # DEC Wn, Wn
    return 0xE90000 | w << 7 | w


def branch(condition, at, target):  # BRA cc, target (condition 0x7: always, 0xA: not zero)
    offset = (target - (at + 2)) // 2
    return (0x30 | condition) << 16 | (offset & 0xFFFF)


def goto(target):                  # GOTO lit23: two instruction words
    return [0x040000 | (target & 0xFFFE), (target >> 16) & 0x7F]


def program():
    """(word address, instruction) pairs of the whole program."""
    code = [
        mov_literal(0xFFFF, 0), mov_to_file(0, ADPCFG),  # port B pins are digital
        clr(0), mov_to_file(0, TRISB),                   # port B drives its pins
        clr(1),                                          # W1: the pattern on port B
    ]
    loop = MAIN + 2 * len(code)
    code += [btg(1, 0), mov_to_file(1, LATB), mov_literal(DELAY_ROUNDS, 2)]
    delay = MAIN + 2 * len(code)
    code += [repeat(0x3FFF), NOP, dec(2)]
    code.append(branch(0xA, MAIN + 2 * len(code), delay))
    code.append(branch(0x7, MAIN + 2 * len(code), loop))
    reset = list(enumerate(goto(MAIN)))
    return [(2 * i, word) for i, word in reset] + [(MAIN + 2 * i, word) for i, word in enumerate(code)]


def record(kind, offset, data):
    body = bytes([len(data), offset >> 8, offset & 0xFF, kind]) + bytes(data)
    checksum = (-sum(body)) & 0xFF
    return ":" + body.hex().upper() + f"{checksum:02X}"


def extended_address(upper):
    return record(0x04, 0, [upper >> 8, upper & 0xFF])


def data_records(start, data, upper):
    """Records of at most RECORD_BYTES each for `data` from HEX address
    `start`, with an extended address record wherever the upper 16 bits differ
    from `upper`. Returns the lines and the upper bits in force after them."""
    lines = []
    for at in range(0, len(data), RECORD_BYTES):
        address = start + at
        if address >> 16 != upper:
            upper = address >> 16
            lines.append(extended_address(upper))
        lines.append(record(0x00, address & 0xFFFF, data[at:at + RECORD_BYTES]))
    return lines, upper


def instruction_bytes(word):
    return [word & 0xFF, (word >> 8) & 0xFF, (word >> 16) & 0xFF, 0x00]


def blocks():
    """Runs of consecutive instructions as (HEX address, bytes)."""
    runs = []
    for address, word in program():
        hex_address = 2 * address
        if runs and runs[-1][0] + len(runs[-1][1]) == hex_address:
            runs[-1][1].extend(instruction_bytes(word))
        else:
            runs.append((hex_address, instruction_bytes(word)))
    return runs


def config_word(value):
    return [value & 0xFF, value >> 8, 0x00, 0x00]


def hex_lines():
    lines, upper = [], None
    for address, data in blocks():
        more, upper = data_records(address, data, upper)
        lines += more
    config = config_word(FOSC_FRC) + config_word(FWDT_OFF)
    more, upper = data_records(CONFIG_BASE + 4 * FOSC, config, upper)
    return lines + more + [record(0x01, 0, [])]


if __name__ == "__main__":
    target = Path(__file__).with_name("blink.hex")
    target.write_text("\n".join(hex_lines()) + "\n")
    print(f"wrote {target}")
