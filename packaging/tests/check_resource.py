#!/usr/bin/env python3
"""Compiles the Windows resource script with windres and checks the compiled resources: the
version record must hold exactly the program's identity, and the application icon exactly its
three images.

    check_resource.py WINDRES PREPROCESSOR RC_FILE OUT_DIR
"""

import struct
import subprocess
import sys
from pathlib import Path

RT_ICON, RT_GROUP_ICON, RT_VERSION = 3, 14, 16
LANG_EN_US = 0x0409
CODEPAGE_UNICODE = 1200

IDENTITY = {
    'CompanyName': 'QUENDA',
    'ProductName': 'RZ-417',
    'FileVersion': '1.00',
    'ProductVersion': '1.00',
    'InternalName': 'RZ417',
    'OriginalFilename': 'RZ417.exe',
}
VERSION_1_0_0_0 = (0x00010000, 0x00000000)
# (width, height, colours, bits per pixel)
ICON_IMAGES = sorted([(32, 32, 2, 1), (32, 32, 16, 4), (16, 16, 16, 4)])

failures = []


def expect(condition, message):
    if not condition:
        failures.append(message)
    return condition


def align4(n):
    return (n + 3) & ~3


def read_id(data, off):
    """A resource type or name: 0xFFFF and a number, or a NUL-terminated UTF-16 string."""
    if struct.unpack_from('<H', data, off)[0] == 0xFFFF:
        return struct.unpack_from('<H', data, off + 2)[0], off + 4
    end = off
    while struct.unpack_from('<H', data, end)[0] != 0:
        end += 2
    return data[off:end].decode('utf-16-le'), end + 2


def read_res(data):
    """The entries of a .res file as (type, name, language, payload)."""
    entries = []
    off = 0
    while off < len(data):
        size, header_size = struct.unpack_from('<II', data, off)
        kind, p = read_id(data, off + 8)
        name, p = read_id(data, p)
        p = align4(p)
        _data_version, _flags, language = struct.unpack_from('<IHH', data, p)
        payload = data[off + header_size:off + header_size + size]
        if header_size:
            entries.append((kind, name, language, payload))
        off = align4(off + header_size + size)
    # The file opens with an empty entry that only marks the format.
    return [e for e in entries if e[0] != 0]


def read_ver_node(data, off):
    """One node of a version record: (key, type, value bytes, children, offset after it)."""
    length, value_length, value_type = struct.unpack_from('<HHH', data, off)
    end = off + length
    key_start = off + 6
    key_end = key_start
    while struct.unpack_from('<H', data, key_end)[0] != 0:
        key_end += 2
    key = data[key_start:key_end].decode('utf-16-le')
    p = align4(key_end + 2)
    value_bytes = value_length * 2 if value_type == 1 else value_length
    value = data[p:p + value_bytes]
    p = align4(p + value_bytes)
    children = []
    while p < end:
        child = read_ver_node(data, p)
        children.append(child)
        p = align4(child[4])
    return key, value_type, value, children, end


def text(value):
    return value.decode('utf-16-le').rstrip('\0')


def check_version(entries):
    versions = [e for e in entries if e[0] == RT_VERSION]
    if not expect(len(versions) == 1, f'{len(versions)} version records, not 1'):
        return
    _, name, language, payload = versions[0]
    expect(name == 1, f'version record named {name!r}, not 1')
    expect(language == LANG_EN_US, f'version record language {language:#06x}, not US English')

    key, _, fixed, children, _ = read_ver_node(payload, 0)
    expect(key == 'VS_VERSION_INFO', f'version record key {key!r}')
    if expect(len(fixed) == 52, 'no fixed file information'):
        signature, _struc, file_ms, file_ls, product_ms, product_ls = struct.unpack_from(
            '<6I', fixed, 0)
        file_type = struct.unpack_from('<I', fixed, 36)[0]
        expect(signature == 0xFEEF04BD, 'fixed file information has no signature')
        expect((file_ms, file_ls) == VERSION_1_0_0_0,
               f'numeric file version {file_ms:#010x} {file_ls:#010x}, not 1.0.0.0')
        expect((product_ms, product_ls) == VERSION_1_0_0_0,
               f'numeric product version {product_ms:#010x} {product_ls:#010x}, not 1.0.0.0')
        expect(file_type == 1, f'file type {file_type}, not an application')

    blocks = {child[0]: child for child in children}
    expect(sorted(blocks) == ['StringFileInfo', 'VarFileInfo'],
           f'version record blocks {sorted(blocks)}')

    if 'StringFileInfo' in blocks:
        tables = blocks['StringFileInfo'][3]
        keys = [t[0] for t in tables]
        if expect(keys == ['040904B0'] or keys == ['040904b0'],
                  f'string tables {keys}, not one for US English in Unicode'):
            strings = {k: text(v) for k, t, v, _, _ in tables[0][3] if expect(
                t == 1, f'value of {k} is not text')}
            expect(len(strings) == len(tables[0][3]), 'a key appears twice')
            expect(strings == IDENTITY, f'identity strings {strings}, expected {IDENTITY}')

    if 'VarFileInfo' in blocks:
        variables = {k: v for k, _, v, _, _ in blocks['VarFileInfo'][3]}
        translation = variables.get('Translation', b'')
        expect(translation == struct.pack('<HH', LANG_EN_US, CODEPAGE_UNICODE),
               f'translation {translation.hex()}, not US English, Unicode')


def check_icon(entries):
    groups = [e for e in entries if e[0] == RT_GROUP_ICON]
    if not expect(len(groups) == 1, f'{len(groups)} icon groups, not 1'):
        return
    images = {e[1]: e[3] for e in entries if e[0] == RT_ICON}
    payload = groups[0][3]
    reserved, kind, count = struct.unpack_from('<HHH', payload, 0)
    expect((reserved, kind) == (0, 1), 'icon group header is not that of an icon')
    found = []
    for i in range(count):
        width, height, colours, _pad, _planes, bits, size, image_id = struct.unpack_from(
            '<BBBBHHIH', payload, 6 + 14 * i)
        width, height = width or 256, height or 256
        found.append((width, height, colours, bits))
        image = images.get(image_id)
        if not expect(image is not None, f'icon image {image_id} is missing'):
            continue
        expect(len(image) == size, f'icon image {image_id} is {len(image)} bytes, group says {size}')
        # The image itself must be what its group entry announces, or Windows picks a wrong one.
        _hsize, bmp_width, bmp_height, _planes, bmp_bits = struct.unpack_from('<IiiHH', image, 0)
        expect((bmp_width, bmp_height, bmp_bits) == (width, 2 * height, bits),
               f'icon image {image_id} is {bmp_width} x {bmp_height // 2} at {bmp_bits} bits, '
               f'group says {width} x {height} at {bits} bits')
    expect(sorted(found) == ICON_IMAGES,
           f'icon images (width, height, colours, bits) {sorted(found)}, expected {ICON_IMAGES}')
    expect(len(images) == count, f'{len(images)} icon images for {count} group entries')


def main(argv):
    if len(argv) != 5:
        raise SystemExit(__doc__)
    windres, preprocessor, rc_file, out_dir = argv[1:]
    res = Path(out_dir) / 'rz417.res'
    res.parent.mkdir(parents=True, exist_ok=True)
    res.unlink(missing_ok=True)
    # windres would look for a MinGW compiler to preprocess with; the host's serves as well.
    subprocess.run([windres, f'--preprocessor={preprocessor}', '--preprocessor-arg=-E',
                    '--preprocessor-arg=-xc', '--preprocessor-arg=-DRC_INVOKED',
                    '-i', rc_file, '-O', 'res', '-o', str(res)], check=True)
    entries = read_res(res.read_bytes())
    check_version(entries)
    check_icon(entries)
    for failure in failures:
        print(f'FAIL: {failure}', file=sys.stderr)
    print('resource checked: ' + ('FAILED' if failures else 'ok'))
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
