#!/usr/bin/env python3
"""tolvane-decode --csv read back with Python's csv module and compared with
the decoded messages as --time prints them: a capture with times made
here (orientation, NMEA with commas, a text with quotes) and a raw stream."""
import csv
import datetime
import io
import re
import subprocess
import sys
import tempfile

decode, raw_stream = sys.argv[1], sys.argv[2]


def frame(kind, payload):
    head = bytes([13, 10, 0x7E, kind, len(payload)]) + bytes(payload)
    return head + bytes([sum(head) & 0xFF])


def run(*args):
    return subprocess.run([decode, *args], check=True, capture_output=True).stdout.decode('latin-1')


def compare(path, start):
    rows = list(csv.reader(io.StringIO(run('--csv', path), newline='')))
    assert rows[0] == ['time', 'type', 'mnemonic', 'azimuth', 'pitch', 'roll', 'text'], rows[0]
    lines = run('--time', path).splitlines()
    assert len(rows) - 1 == len(lines) > 0, (len(rows), len(lines))
    for row, line in zip(rows[1:], lines):
        ms, mnemonic, text = int(line[:8]), line[10:20].strip(), line[20:]
        assert len(row) == 7 and row[2] == mnemonic, (row, line)
        if start:
            assert datetime.datetime.fromisoformat(row[0]) == start + datetime.timedelta(milliseconds=ms), row
        else:
            assert row[0] == '', row
        if mnemonic == 'DORIENT':
            shown = dict(re.findall(r'(\w+)=(-?[\d.]+)', text))
            for name, value in (('Azimuth', row[3]), ('Pitch', row[4]), ('Roll', row[5])):
                assert abs(float(value) - float(shown[name])) <= 0.05 + 1e-9, (row, line)
            assert row[6] == ''
        else:
            assert row[3:6] == ['', '', ''] and row[6] == text, (row, line)
    return len(rows) - 1


with tempfile.NamedTemporaryFile('w', suffix='.tcap', delete=False) as f:
    f.write('TOLVANE-CAPTURE 1 baud=9600 start=2026-12-31T23:59:59-0130 device=/dev/ttyUSB0\n')
    chunks = [(250, frame(0x70, [0x10, 0, 0xF0, 0xFF, 0, 0x40])),
              (999, b'$HCHDG,45.0,,,0.0,E*18\r\n'),
              (1000, frame(0x70, [0x9C, 0xFF, 0x64, 0, 0xFF, 0xFF])),
              (61001, frame(0x44, [1, 4, 0x01, 0x01, 0x19, 0x60]))]
    for ms, data in chunks:
        f.write('R %d %s\n' % (ms, ' '.join('%02X' % b for b in data)))
start = datetime.datetime(2026, 12, 31, 23, 59, 59, tzinfo=datetime.timezone(-datetime.timedelta(hours=1, minutes=30)))
count = compare(f.name, start)
assert count >= 3, count
print('%d rows with times and %d raw rows read back' % (count, compare(raw_stream, None)))
