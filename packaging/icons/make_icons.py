#!/usr/bin/env python3
"""Draws the application icon from the pixel maps below and writes every file made from it:
the Windows icon (one 2-colour and one 16-colour image at 32 x 32, one 16-colour image at 16 x 16),
the 16 and 32 pixel PNGs and the SVG of the hicolor theme.

    make_icons.py            rewrite the files beside this script
    make_icons.py --check    exit 1 if a committed file differs from what the maps give

The files are committed so that a build needs no generator; --check keeps them from going stale.
"""

import struct
import sys
import zlib
from pathlib import Path

HERE = Path(__file__).resolve().parent
PACKAGING = HERE.parent

# The standard 16-colour Windows palette; the 16-colour images use it as it is, so every
# index below has the same colour on every display.
VGA16 = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]

# Pixel letter -> (index into VGA16, index in the 2-colour image: 0 black, 1 white).
# '.' is transparent.
INK = {
    'K': (0, 0),   # outline and key shadows
    'D': (8, 0),   # key faces, the display's sunken edge
    'd': (8, 1),   # the panel's shadowed edge, left out of the 2-colour image
    'S': (7, 1),   # the panel's face
    'w': (15, 1),  # raised edges
    'W': (15, 1),  # the display's background
    'g': (2, 0),   # the display's digits, the instrument's green
    'R': (9, 0),   # the output key
}

# A front panel: the setpoint display at top left, the output key and the mode keys under it,
# the keypad at the right with Enter across two columns.
PANEL_32 = """
................................
................................
................................
................................
.KKKKKKKKKKKKKKKKKKKKKKKKKKKKKK.
KwwwwwwwwwwwwwwwwwwwwwwwwwwwwwdK
KwSSSSSSSSSSSSSSSSSSSSSSSSSSSSdK
KwSDDDDDDDDDDDDDwSDDDSDDDSDDDSdK
KwSDWWWWWWWWWWWWwSDDDSDDDSDDDSdK
KwSDWgWgggWWWgggwSDDDSDDDSDDDSdK
KwSDggWWWgWWWgWWwSKKKSKKKSKKKSdK
KwSDWgWgggWWWgggwSSSSSSSSSSSSSdK
KwSDWgWgWWWWWWWgwSDDDSDDDSDDDSdK
KwSDWgWgggWgWgggwSDDDSDDDSDDDSdK
KwSDWWWWWWWWWWWWwSDDDSDDDSDDDSdK
KwSwwwwwwwwwwwwwwSKKKSKKKSKKKSdK
KwSSSSSSSSSSSSSSSSSSSSSSSSSSSSdK
KwSRRRRRSDDDSDDDSSDDDSDDDSDDDSdK
KwSRRRRRSDDDSDDDSSDDDSDDDSDDDSdK
KwSRRRRRSDDDSDDDSSDDDSDDDSDDDSdK
KwSKKKKKSKKKSKKKSSKKKSKKKSKKKSdK
KwSSSSSSSSSSSSSSSSSSSSSSSSSSSSdK
KwSSSSSSSDDDSDDDSSDDDSDDDDDDDSdK
KwSSSSSSSDDDSDDDSSDDDSDDDDDDDSdK
KwSSSSSSSDDDSDDDSSDDDSDDDDDDDSdK
KwSSSSSSSKKKSKKKSSKKKSKKKKKKKSdK
KddddddddddddddddddddddddddddddK
.KKKKKKKKKKKKKKKKKKKKKKKKKKKKKK.
................................
................................
................................
................................
"""

PANEL_16 = """
................
................
.KKKKKKKKKKKKKK.
KwwwwwwwwwwwwwwK
KwDDDDDDDSDSDSDK
KwDgWgggwSSSSSSK
KwDgWgWgwSDSDSDK
KwDgWgWgwSSSSSSK
KwDgWgggwSDSDSDK
KwwwwwwwwSSSSSSK
KwRRRSDSDSDSDDDK
KwSSSSSSSSSSSSSK
KddddddddddddddK
.KKKKKKKKKKKKKK.
................
................
"""


def parse(text, size):
    rows = [line for line in text.strip('\n').split('\n')]
    if len(rows) != size or any(len(r) != size for r in rows):
        raise SystemExit(f'pixel map is not {size} x {size}')
    bad = {c for r in rows for c in r} - set(INK) - {'.'}
    if bad:
        raise SystemExit(f'pixel map uses undefined letters: {"".join(sorted(bad))}')
    return rows


def rgba(rows):
    return [[None if c == '.' else VGA16[INK[c][0]] for c in r] for r in rows]


# Windows icon: each image is a BMP without its file header, its height doubled because the
# 1-bit AND mask (set where the picture is transparent) follows the colour bitmap; rows run
# bottom-up and each is padded to 4 bytes.
def packed_rows(pixel_rows, bits):
    out = b''
    for row in reversed(pixel_rows):
        acc = bytearray()
        value = used = 0
        for p in row:
            value = (value << bits) | p
            used += bits
            if used == 8:
                acc.append(value)
                value = used = 0
        if used:
            acc.append(value << (8 - used))
        acc.extend(b'\0' * (-len(acc) % 4))
        out += acc
    return bytes(out)


def ico_image(rows, bits):
    size = len(rows)
    palette = [(0, 0, 0), (255, 255, 255)] if bits == 1 else VGA16
    slot = 1 if bits == 1 else 0
    colour = [[0 if c == '.' else INK[c][slot] for c in r] for r in rows]
    mask = [[1 if c == '.' else 0 for c in r] for r in rows]
    xor = packed_rows(colour, bits)
    and_mask = packed_rows(mask, 1)
    header = struct.pack('<IiiHHIIiiII', 40, size, 2 * size, 1, bits, 0,
                         len(xor) + len(and_mask), 0, 0, len(palette), 0)
    quads = b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in palette)
    return header + quads + xor + and_mask, len(palette)


def ico(images):
    blobs = [(len(rows), bits) + ico_image(rows, bits) for rows, bits in images]
    out = struct.pack('<HHH', 0, 1, len(blobs))
    offset = 6 + 16 * len(blobs)
    for size, bits, blob, colours in blobs:
        out += struct.pack('<BBBBHHII', size, size, colours, 0, 1, bits, len(blob), offset)
        offset += len(blob)
    return out + b''.join(blob for _, _, blob, _ in blobs)


def png(rows):
    size = len(rows)
    raw = b''
    for r in rgba(rows):
        raw += b'\0' + b''.join(bytes((*p, 255)) if p else b'\0\0\0\0' for p in r)

    def chunk(kind, data):
        return (struct.pack('>I', len(data)) + kind + data
                + struct.pack('>I', zlib.crc32(kind + data) & 0xffffffff))

    return (b'\x89PNG\r\n\x1a\n'
            + chunk(b'IHDR', struct.pack('>IIBBBBB', size, size, 8, 6, 0, 0, 0))
            + chunk(b'IDAT', zlib.compress(raw, 9))
            + chunk(b'IEND', b''))


def svg(rows):
    # One rectangle per horizontal run of a colour, drawn edge to edge so that the picture
    # stays the pixel drawing at any size.
    size = len(rows)
    rects = []
    for y, r in enumerate(rgba(rows)):
        x = 0
        while x < size:
            p = r[x]
            end = x
            while end < size and r[end] == p:
                end += 1
            if p:
                rects.append(f'  <rect x="{x}" y="{y}" width="{end - x}" height="1" '
                             f'fill="#{p[0]:02x}{p[1]:02x}{p[2]:02x}"/>')
            x = end
    return ('<?xml version="1.0" encoding="UTF-8"?>\n'
            f'<svg xmlns="http://www.w3.org/2000/svg" width="{size}" height="{size}" '
            f'viewBox="0 0 {size} {size}" shape-rendering="crispEdges">\n'
            + '\n'.join(rects) + '\n</svg>\n').encode('ascii')


def outputs():
    p32 = parse(PANEL_32, 32)
    p16 = parse(PANEL_16, 16)
    return {
        PACKAGING / 'windows' / 'rz417.ico': ico([(p32, 1), (p32, 4), (p16, 4)]),
        PACKAGING / 'icons' / '32' / 'rz417.png': png(p32),
        PACKAGING / 'icons' / '16' / 'rz417.png': png(p16),
        PACKAGING / 'icons' / 'rz417.svg': svg(p32),
    }


def main(argv):
    check = argv[1:] == ['--check']
    if argv[1:] and not check:
        raise SystemExit(__doc__)
    stale = []
    for path, data in outputs().items():
        if check:
            if not path.exists() or path.read_bytes() != data:
                stale.append(path)
        else:
            path.parent.mkdir(parents=True, exist_ok=True)
            path.write_bytes(data)
    for path in stale:
        print(f'{path.relative_to(PACKAGING)} does not match the pixel maps: '
              'run packaging/icons/make_icons.py', file=sys.stderr)
    return 1 if stale else 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
