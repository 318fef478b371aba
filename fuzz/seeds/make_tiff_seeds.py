#!/usr/bin/env python3
"""Writes the small TIFF and BigTIFF seed files of the TIFF harnesses (run from fuzz/)."""
import struct, os

def tiff(pages, width, height, bits=16, spp=1, big=False, desc=None, compression=1, planar=1):
    """pages: number of images; pixel bytes are a ramp."""
    bpp = bits // 8 * spp
    out = bytearray()
    out += b'II' + (struct.pack('<HHHQ', 43, 8, 0, 16) if big else struct.pack('<HI', 42, 8))
    next_ptr_at = len(out) - (8 if big else 4)
    for p in range(pages):
        pixels = bytes((p * 7 + i) & 0xFF for i in range(width * height * bpp))
        data_off = len(out)
        out += pixels
        text = (desc or '').encode() + b'\0' if desc else None
        text_off = len(out)
        if text: out += text
        if len(out) % 2: out += b'\0'
        entries = [(256, 4, 1, width), (257, 4, 1, height), (258, 3, 1, bits), (259, 3, 1, compression),
                   (262, 3, 1, 1), (273, 4, 1, data_off), (277, 3, 1, spp), (278, 4, 1, height),
                   (279, 4, 1, len(pixels))]
        if text: entries.append((270, 2, len(text), text_off))
        if planar != 1: entries.append((284, 3, 1, planar))
        entries.sort()
        ifd = len(out)
        struct.pack_into('<Q' if big else '<I', out, next_ptr_at, ifd)
        if big:
            out += struct.pack('<Q', len(entries))
            for tag, typ, cnt, val in entries:
                out += struct.pack('<HHQQ', tag, typ, cnt, val)
            next_ptr_at = len(out); out += struct.pack('<Q', 0)
        else:
            out += struct.pack('<H', len(entries))
            for tag, typ, cnt, val in entries:
                v = struct.pack('<HH', val, 0) if typ == 3 else struct.pack('<I', val)
                out += struct.pack('<HHI', tag, typ, cnt) + v
            next_ptr_at = len(out); out += struct.pack('<I', 0)
    return bytes(out)

seeds = {
    'gray16_2x2.tif': tiff(1, 2, 2),
    'stack16_3x1x4.tif': tiff(4, 3, 1, desc='hStackManager.zs = [0 1.5 3 4.5]'),
    'gray8_4x3.tif': tiff(1, 4, 3, bits=8),
    'rgb16_2x2x2.tif': tiff(2, 2, 2, spp=3),
    'big16_2x2x3.tif': tiff(3, 2, 2, big=True, desc='frame'),
    # refused layouts: compressed strips, and samples in separate planes
    'zlib16_2x2.tif': tiff(1, 2, 2, compression=8),
    'planar_rgb16_2x2.tif': tiff(1, 2, 2, spp=3, planar=2),
}
for harness in ('tiff_c', 'tiff_stack'):
    os.makedirs(f'corpus/{harness}', exist_ok=True)
    for name, data in seeds.items():
        open(f'corpus/{harness}/{name}', 'wb').write(data)
