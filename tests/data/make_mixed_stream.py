#!/usr/bin/env python3
"""Writes mixed_stream.bin: what a compass might send over a minute of a
noisy line. Binary frames of every received type, NMEA sentences with and
without line ends, garbage, the near misses that must be dropped, the
edges of framing, and the limits of rendering (the longest lines, counts
beyond what a line shows, the rarer branches).

The file is committed; run this only to change the stream on purpose,
then `make regen` to rewrite the expected messages (with their renderings,
effects and the decoder's counts) in golden/protocol_mixed_stream.txt, and
say why in the commit."""
import random
import struct
import sys

random.seed(2026)
out = bytearray()


def frame(t, payload, delta=0):
    b = bytes([0x0D, 0x0A, 0x7E, t, len(payload)]) + bytes(payload)
    return b + bytes([(sum(b) + delta) & 0xFF])


def nmea(text, lower=False):
    x = 0
    for c in text.encode():
        x ^= c
    return ("$%s*" % text + ("%02x" if lower else "%02X") % x).encode()


def angle(deg):
    """Signed binary angle for an 'h' field."""
    v = int(deg * 32768 / 180) & 0xFFFF
    return v - 0x10000 if v >= 0x8000 else v


def heading(deg):
    """Unsigned binary angle for an 'H' field."""
    return int(deg * 32768 / 180) & 0xFFFF


FLT_MAX = 3.4028234663852886e38


def garbage(n):
    return bytes(random.choice([0x00, 0xFF, 0x0A, 0x7E, 0x2A, 0x41, 0x80, 0x13]) for _ in range(n))


samples = [
    frame(0x44, b"Compass module ready\x00"),
    frame(0xC3, struct.pack("<hhHibb", 1, 4, 0x0100, 123456, 3, 1)),
    frame(0x50, struct.pack("<Bhhh", 0, angle(2.5), angle(-1.0), angle(0.5))),
    frame(0x54, struct.pack("<Bh", 0, angle(-12.3))),
    frame(0x7F, struct.pack("<h", 100)),
    frame(0x64, struct.pack("<hhh12xhhh12xhhH", 12, -34, 1000, 200, -150, 400, 215, 120, heading(123.4))),
    frame(0x7E, struct.pack("<Bc", 0, b"A") + struct.pack("<hh", 5, -2)),
    frame(0x7E, struct.pack("<Bc", 1, b"F") + struct.pack("<ff", 1.5, -0.000125)),
    frame(0x57, struct.pack("<BiiffhhhH", 5, 12345, -6789, 45.5, -122.25, 30, heading(90), 3, 17)),
    frame(0x5F, struct.pack("<bffhhhhi", 1, 45.5, -122.25, 5, 12, 7, 30, 3725)),
    frame(0x56, b""),
    frame(0x52, b""),
    frame(0x53, struct.pack("<Bh", 0, 250)),
    frame(0x4A, b"\x01"),
    frame(0x65, bytes([1, 12]) + bytes(range(64))),
    frame(0x65, b"\x00"),
    frame(0x49, struct.pack("<hHh", 215, heading(270), 30)),
    frame(0x59, struct.pack("<Bffhhh", 3, 45.5, -122.25, 5, 30, 2)),
    frame(0x5E, bytes([1, 0, 1, 50]) + b"GPS-FW 3.21\x00"),
    frame(0x5E, bytes([0, 3, 0, 0, 0])),
    frame(0x4E, b"\x01\x00"),
    frame(0x48, struct.pack("<H", 0)),
    frame(0x48, struct.pack("<H", 0x12)),
    frame(0x47, b"\x03"),
    frame(0x47, b"\x04"),
    frame(0x66, struct.pack("<Hhhhhh", 1, angle(-12.3), angle(2.5), angle(0.5), angle(-1.0), 100)),
    frame(0x67, struct.pack("<hhhhhhhhh", 1, -2, 3, -4, 5, -6, angle(-12.3), angle(1.0), 42)),
    frame(0x69, b"\x00"),
    frame(0x70, struct.pack("<hhH", angle(-3.2), angle(1.5), heading(123.4))),
    frame(0x70, struct.pack("<hhHhhhhhh", angle(180), angle(-0.1), 0xC000, 1, 2, 3, -4, -5, -6)),
    frame(0x71, struct.pack("<icffhfHBBB", 45296, b"A", 45.5, -122.25, 5, 12.5, heading(200), 7, 12, 26)),
    frame(0x72, bytes([1, 0, 3, 0, 5, 1, 2, 0, 0, 4, 12]) + struct.pack("<h", 0)),
    frame(0x72, bytes([7, 1] + [16] * 8 + [100]) + struct.pack("<h", 87)),
    frame(0x55, struct.pack("<Bh", 1, angle(-15.25)) + b"WMM2025\x00"),
    frame(0x20, b"binary frame of the NMEA type"),
    frame(0x33, b"a type outside the catalogue"),
    nmea("HCHDT,123.4,T"),
    nmea("HCHDG,101.1,,,7.1,W", lower=True) + b"\r\n",
    nmea("PTNTHPR,85.9,N,-0.9,N,0.8,N") + b"\r\n",
    nmea("A" * 100) + nmea("A"),                               # kept as the first 80, then a short one
]
# Rendering: the rarer branches, counts beyond what a line shows, and the
# longest lines (cut at 131 characters).
limits = [
    frame(0x7E, struct.pack("<Bchb", 0, b"z", -1, 7)),                            # odd byte after the last short
    frame(0x7E, struct.pack("<Bc9h", 0, b"B", *range(1, 10))),                    # 9 shorts, 8 shown
    frame(0x7E, struct.pack("<Bc5f", 2, b"g", 1, 2, 3, 4, 5)),                    # 5 floats, 4 shown
    frame(0x7E, struct.pack("<BcfB", 1, b"f", 1e10, 0x40)),
    frame(0x7E, b"\x01"),                                                         # no type letter
    frame(0x5F, struct.pack("<B16xi", 2, 86340)),                                 # precise, last minute of the day
    frame(0x5F, b"\xFF"),                                                         # invalid, all else missing
    frame(0xC3, struct.pack("<hhHibb", 10, 123, 0xABCD, -1, 2, -1)),
    *[frame(0xC3, struct.pack("<hhHibb", 1, 0, 0, 0, up, fwd)) for up, fwd in ((-2, -3), (0, 4), (-4, 3))],
    frame(0xC3, b""),                                                             # the serial number request's echo
    frame(0x65, bytes([0, 255])),
    frame(0x5E, bytes([1, 4, 0, 0])),                                             # sleeping, no firmware text
    frame(0x5E, bytes(4) + b"ABCDEFGHIJKLMNOPQRSTUVWXYZ"),                        # firmware text cut at 20
    frame(0x4E, b"\x00\x02"),
    frame(0x66, struct.pack("<H", 0x1234)),
    frame(0x70, struct.pack("<hhh", 0, 0, 0) + bytes([1] * 11)),                  # 17 bytes: the short form
    frame(0x71, struct.pack("<iB", 86340, 0)),
    frame(0x72, b"\x03"),
    frame(0x72, b"\x04"),
    frame(0x57, struct.pack("<Biiff", 0, 0, 0, FLT_MAX, FLT_MAX)),
    frame(0x5F, struct.pack("<Bff", 0, FLT_MAX, -FLT_MAX)),
    frame(0x71, struct.pack("<icffhf", 0, b"A", -FLT_MAX, FLT_MAX, 0, FLT_MAX)),
]
# The edges of framing, each with what it must yield.
edges = [
    frame(0x72, b"\x02"),                                         # a worked compensation request: 72 02
    frame(0x7E, bytes(range(1, 81))),                             # length 80 accepted
    frame(0x70, bytes(range(1, 82))),                             # length 81 abandoned at once: nothing
    frame(0x64, bytes(range(0x80, 0x80 + 42))) + frame(0x64, b"\x07"),  # a short frame after a long one
    b"\r" + frame(0x47, b"\x02"),                                 # CR CR LF starts a frame
    bytes([0x0D, 0x7E, 0x47, 1, 2]) + frame(0x47, b"\x03"),        # missing LF: only 47 03
    bytes([0x0D, 0x0A, 0x47, 1, 2, 0x47]) + frame(0x47, b"\x03"),  # missing tilde: only 47 03
    bytes([0x0D, 0x0A, 0x7E, 0x50, 2, 0xAA, 0xBB]) + frame(0xC3, b""),  # cut short, next CR where the sum is due
    bytes([0x0D, 0x0A, 0x7E, 0x78, 0, 0x0D, 0x0A, 0x7E, 0xC3, 0, 0x58]),  # a sum of 0D also starts C3
    frame(0x50, bytes([0x0D, 0x0A, 0x7E, 1, 0, 0, 0])),           # CR in a payload does not restart
    b"$HCHDT,123.4,T*3D",                                         # NMEA first digit wrong: nothing
    b"$HCHDT,123.3,T*2a$HCHDT,123.6,T*2f",                        # lower-case a and f: both
    b"$A\x7f*3E",                                                 # 0x7F is text: delivered
    b"$A\x80*C1",                                                 # 0x80 breaks: nothing
    b"$HCHDT,12\t3.4,T*24",                                       # a control character breaks: nothing
    b"$GPXXX,1" + nmea("HCHDT,123.4,T"),                          # '$' inside text restarts: HCHDT only
    b"$HCHDT,123.4,T*" + nmea("J"),                               # '$' in place of a digit restarts: J only
    b"$*G0$*0G",                                                  # non-hex where a 0 digit is due: nothing
    b"$*00",                                                      # the empty sentence
    nmea("HCHDT,1.0,T") + b"\r\n" + frame(0x70, bytes([1, 0, 2, 0, 3, 0])),  # sentence, CR LF, frame: both
    frame(0x44, nmea("X") + b"\x00"),                             # '$' in a payload: the sentence and the frame
    frame(0x44, b"$PWR,on\x00") + b"*00",                         # ... a control byte after it: the frame only
]
near_misses = [
    frame(0x70, struct.pack("<hhH", 1, 2, 3), delta=1),       # checksum off by one
    frame(0x70, struct.pack("<hhH", 1, 2, 3), delta=-1),
    bytes([0x0D, 0x0A, 0x7E, 0x70, 81]) + frame(0x48, b"\x00\x00"),  # length 81 hides a frame
    b"$HCHDT,123.4,T*2E",                                      # NMEA checksum off by one
    b"$HCHDT,123.4,T\r\n",                                     # no checksum
    b"$HCHDT,12\x803.4,T*2D",                                  # high-bit byte inside text
    frame(0x44, b"$PWR*00\x00"),                               # '$' inside a binary payload
    bytes([0x0D, 0x0A, 0x7E, 0x50, 0x07, 1, 2]) + frame(0x7F, struct.pack("<h", 250)),  # cut short
]

for _ in range(2):
    items = samples + near_misses + limits + edges
    random.shuffle(items)
    for item in items:
        out += garbage(random.randrange(0, 6))
        out += item

sys.stdout.buffer.write(bytes(out)) if len(sys.argv) < 2 else open(sys.argv[1], "wb").write(bytes(out))
