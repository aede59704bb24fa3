#!/usr/bin/python3
# Writes the damaged Tile Images List files the tile tests read. Each is named for what is
# wrong with it. Run from this folder: ./make-samples.py
import struct


def text(s):
    b = s.encode()
    return bytes([len(b)]) + b


def header():
    # version 119, two format checks, colour flag, saved path, four empty folder sets
    return struct.pack('<iiiB', 119, 12, 12, 0) + text('/l.tg4') + struct.pack('<iiii', 0, 0, 0, 0)


def record(path):
    return (text(path) + struct.pack('<qihHHB', 5, 6, 0, 0, 0, 1) + bytes(644) + b'\x00\x01')


files = {
    'empty-file.tg4': b'',
    # the second record stops in the middle of its signature
    'truncated-record.tg4': header() + struct.pack('<i', 2) + record('/a.jpg') + record('/b.jpg')[:300],
    # claims two million records in a file of one
    'record-count-larger-than-file.tg4': header() + struct.pack('<i', 2000000) + record('/a.jpg'),
    # an include entry whose 32-bit length runs far past the end of the file
    'string-length-beyond-end.tg4': struct.pack('<iiiB', 119, 12, 12, 0) + text('')
    + struct.pack('<i', 1) + b'\xff\xff\xff' + struct.pack('<I', 0x7FFFFFF0) + b'abc',
    'negative-set-count.tg4': struct.pack('<iiiB', 119, 12, 12, 0) + text('') + struct.pack('<i', -1),
}
for name, data in files.items():
    with open(name, 'wb') as f:
        f.write(data)
