#!/usr/bin/python3
# Writes the seed inputs of the fuzz targets into corpus/<target>/ (run from this folder:
# ./make-seeds.py). Pictures come from tests/data; a small clip is made with ffmpeg when it is
# installed. Inputs that once found a fault are kept beside the seeds under crash-* names.
import os
import shutil
import struct
import subprocess

HERE = os.path.dirname(os.path.abspath(__file__))
DATA = os.path.join(HERE, '..', 'tests', 'data')


def put(target, name, data):
    folder = os.path.join(HERE, 'corpus', target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), 'wb') as f:
        f.write(data if isinstance(data, bytes) else data.encode())


def text(s):
    b = s.encode()
    if len(b) < 255:
        return bytes([len(b)]) + b
    return b'\xff' + struct.pack('<H', len(b)) + b


def texts(items):
    return struct.pack('<I', len(items)) + b''.join(text(s) for s in items)


def tile_list(v):
    """One record in the layout of version v (108..119), as the loader reads it."""
    b = struct.pack('<III', v, 12, 12)
    if v >= 110:
        b += b'\x01'
    if v >= 112:
        b += text('/saved/list.tg4') + texts(['/inc/'])
        if v >= 113:
            b += texts(['/exc/']) + texts(['/req/'])
        if v >= 119:
            b += texts(['/vid/'])
    else:
        b += text('/old/') + text('/old')
    b += struct.pack('<I', 1) + text('/old/sub/t.jpg' if v <= 111 else '/inc/t.jpg')
    b += struct.pack('<qI', 77, 88)
    if v <= 110:
        b += struct.pack('<III', 0, 0, 3)
    if 111 <= v <= 114:
        b += b'\x01'
    if v >= 114:
        b += struct.pack('<H', 1)
    if v >= 119:
        b += struct.pack('<HH', 5, 12500)
    b += b'\x01'
    if v >= 117:
        b += b''.join(struct.pack('<I', (i * 40503) & 0xFFFFFF) for i in range(161)) + b'\x01\x01'
    else:
        b += struct.pack('<I', 0xDEADBEEF)
        b += b''.join(struct.pack('<I', (i * 40503) & 0xFFFFFF) for i in range(17, 161))
        if v >= 115:
            b += b'\x01' + struct.pack('<I', 7) + b'\x00'
    return b


for v in range(108, 120):
    put('fuzz_tile_list', 'version-%d.tg4' % v, tile_list(v))
for name in os.listdir(os.path.join(DATA, 'tiles')):
    if name.endswith('.tg4'):
        shutil.copy(os.path.join(DATA, 'tiles', name), os.path.join(HERE, 'corpus', 'fuzz_tile_list', name))

put('fuzz_settings', 'mosaic-settings.txt', '''\ufeff[Mosaic Settings]
Version=1
MosaicSizeUnit=cm
MosaicSizeWidth=50.000000
MosaicSizeHeight=40.000000
ResolutionUnit=ppi
ResolutionSize=150
TileUnit=tilesxrow
TileSize=40.000000
TileDuplication=0
DuplicateSpacing=1
Pattern=parquet
TileAdapt=adapt_tile
FileFormat=tiff_jpg80
TileVariants=normal|rotate90
MosaicDirectory=/tmp/out
BorderSizeUnit=pixel
BorderSizeWidth=2
Advanced.Version=1
Advanced.Options.ThreadCount=2
Advanced.Options.MemoryMaxSizeMB=1500
Advanced.ImageCompare.ProrityRed=
TileList=/lists/holiday.tg4
''')
put('fuzz_settings', 'odd-lines.txt', b'[a\r\nVersion=1\r\n;comment\n[]\nkey=\xff\xfe\x00value\n[b]\nVersion=2\n')

for i, t in enumerate(['50 x 40 cm', '30x40"', '50 MP', '2,5 cm', '40 tiles x row', '15%',
                       '1e308 inch', '-0 px', '0x0 pixel', '300 dpi', '  7 KP ', '1.5 GP']):
    put('fuzz_units', 'text-%02d' % i, b'\x2c\x01\x28\x00' + t.encode())

for i, t in enumerate(['-i "a b.jpg" -o out.jpg -i c.jpg', '-m', '-a -I x.jpg', '-o lost.jpg',
                       '-i "unterminated', '-x skip -i \xc3\xa9.jpg', '-i a\0-o\0b.jpg']):
    put('fuzz_command_line', 'line-%02d' % i, t)

# Mask pictures: 8 x 8 with two regions split by a black line, and 16 x 4 of noise.
mask = bytes([8, 8, 8, 0, 8, 0, 0]) + bytes(
    (0x00 if x == 4 else (0x3F if x < 4 else 0x15)) for y in range(8) for x in range(8))
put('fuzz_mask_cells', 'two-regions', mask)
put('fuzz_mask_cells', 'noise', bytes([16, 4, 0, 0, 0, 0, 1]) + bytes((i * 37) & 0xFF for i in range(64)))

for name in os.listdir(os.path.join(DATA, 'imaging')):
    if name.endswith(('.jpg', '.png')):
        with open(os.path.join(DATA, 'imaging', name), 'rb') as f:
            body = f.read()
        mode = b'\x01' if name.endswith('.png') else b'\x00'
        put('fuzz_image_decode', name, mode + body)

for i, t in enumerate(['/home/me/Pictures/a.jpg', 'C:\\photos\\b "c", d.jpg', 'x',
                       '/p/\xe9t\xe9/caf\xc3\xa9.png', '/a/b#c%d?e<f>.jpg', '../rel/path.jpg',
                       '/' + 'long' * 80 + '.jpg', '"quoted,field"\n']):
    put('fuzz_output_paths', 'path-%02d' % i, t.encode('utf-8', 'surrogateescape')
        if isinstance(t, str) else t)

if shutil.which('ffmpeg'):
    for codec in ['rawvideo', 'mjpeg']:
        out = os.path.join(HERE, 'corpus', 'fuzz_video_open', 'clip-%s.avi' % codec)
        subprocess.run(['ffmpeg', '-loglevel', 'error', '-y', '-f', 'lavfi', '-i',
                        'testsrc=size=16x16:rate=5', '-frames:v', '3', '-c:v', codec,
                        '-pix_fmt', 'bgr24' if codec == 'rawvideo' else 'yuvj420p', out],
                       check=True)
