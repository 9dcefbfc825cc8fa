#!/usr/bin/env python3
"""PNG facts for the install tests, with no imaging library.

  png.py size FILE          prints WIDTHxHEIGHT
  png.py diff A B           prints the share of pixels, in percent, whose
                            colour or opacity differs by more than a quarter
                            of full scale between two same-sized pictures
                            (edge smoothing stays below; a changed shape or
                            colour does not)
"""
import struct
import sys
import zlib


def read(path):
    data = open(path, 'rb').read()
    if data[:8] != b'\x89PNG\r\n\x1a\n':
        raise SystemExit(f'{path}: not a PNG')
    pos, idat = 8, b''
    while pos < len(data):
        length, kind = struct.unpack('>I4s', data[pos:pos + 8])
        chunk = data[pos + 8:pos + 8 + length]
        if kind == b'IHDR':
            width, height, depth, colour = struct.unpack('>IIBB', chunk[:10])
        elif kind == b'IDAT':
            idat += chunk
        pos += 12 + length
    return width, height, depth, colour, idat


def unfilter(raw, width, height, channels):
    stride, pos, prev, rows = width * channels, 0, bytearray(width * channels), []
    for _ in range(height):
        kind, line = raw[pos], bytearray(raw[pos + 1:pos + 1 + stride])
        pos += 1 + stride
        for x in range(stride):
            a = line[x - channels] if x >= channels else 0
            b = prev[x]
            c = prev[x - channels] if x >= channels else 0
            if kind == 1:
                line[x] = (line[x] + a) & 255
            elif kind == 2:
                line[x] = (line[x] + b) & 255
            elif kind == 3:
                line[x] = (line[x] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[x] = (line[x] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append(line)
        prev = line
    return rows


def rgba_pixels(path):
    width, height, depth, colour, idat = read(path)
    channels = {2: 3, 6: 4}.get(colour)
    if depth != 8 or channels is None:
        raise SystemExit(f'{path}: only 8-bit RGB or RGBA is read here')
    pixels = []
    for line in unfilter(zlib.decompress(idat), width, height, channels):
        for i in range(0, len(line), channels):
            pixels.append(tuple(line[i:i + 3]) + ((line[i + 3],) if channels == 4 else (255,)))
    return width, height, pixels


def main(argv):
    if len(argv) == 3 and argv[1] == 'size':
        width, height = read(argv[2])[:2]
        print(f'{width}x{height}')
    elif len(argv) == 4 and argv[1] == 'diff':
        wa, ha, a = rgba_pixels(argv[2])
        wb, hb, b = rgba_pixels(argv[3])
        if (wa, ha) != (wb, hb):
            raise SystemExit(f'sizes differ: {wa}x{ha} and {wb}x{hb}')
        differing = sum(1 for pa, pb in zip(a, b) if max(abs(p - q) for p, q in zip(pa, pb)) > 64)
        print(f'{100.0 * differing / (wa * ha):.3f}')
    else:
        raise SystemExit(__doc__)


if __name__ == '__main__':
    main(sys.argv)
