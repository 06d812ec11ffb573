#!/usr/bin/python3
"""Writes a cabinet with stored (uncompressed) data and whatever names, sizes and
links it is told to, so that tests can hand readers cabinets no honest writer makes.

  make_cabinet.py OUT NAME=TEXT ... [--size NAME=N] [--next NAME] [--index N]
"""
import struct
import sys


def cabinet(files, sizes, next_name=None, index=0):
    data = b"".join(text for _, text in files)
    names = [name.encode("latin-1") for name, _ in files]
    flags = 2 if next_name else 0
    strings = b""
    if next_name:
        strings = next_name.encode() + b"\0" + b"disk\0"
    files_offset = 36 + len(strings) + 8
    entries = b""
    offset = 0
    for (name, text), raw in zip(files, names):
        size = sizes.get(name, len(text))
        entries += struct.pack("<IIHHHH", size, offset, 0, 0x5A21, 0, 0x20) + raw + b"\0"
        offset += len(text)
    data_offset = files_offset + len(entries)
    blocks = b""
    count = 0
    for start in range(0, len(data), 32768):
        chunk = data[start:start + 32768]
        blocks += struct.pack("<IHH", 0, len(chunk), len(chunk)) + chunk
        count += 1
    total = data_offset + len(blocks)
    header = struct.pack("<4sIIIIIBBHHHHH", b"MSCF", 0, total, 0, files_offset, 0, 3, 1, 1,
                         len(files), flags, 21554, index)
    folder = struct.pack("<IHH", data_offset, count, 0)
    return header + strings + folder + entries + blocks


def main(argv):
    out = argv[1]
    files, sizes, next_name, index = [], {}, None, 0
    args = iter(argv[2:])
    for arg in args:
        if arg == "--size":
            name, n = next(args).rsplit("=", 1)
            sizes[name] = int(n)
        elif arg == "--next":
            next_name = next(args)
        elif arg == "--index":
            index = int(next(args))
        else:
            name, text = arg.split("=", 1)
            files.append((name, text.encode()))
    with open(out, "wb") as f:
        f.write(cabinet(files, sizes, next_name, index))


main(sys.argv)
