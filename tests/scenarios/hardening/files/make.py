#!/usr/bin/env python3
"""Writes the malformed and odd files the hardening scenarios copy onto the
device with `put settings|state FILE` (and compare with `expect bytes`).
The files are kept in the repository; run this only to change them.

Well-formed lists are written by Python's plistlib (and some converted by
libplist's plistutil), broken ones are made from them byte by byte.
"""
import datetime
import os
import plistlib
import struct

HERE = os.path.dirname(os.path.abspath(__file__))

FLAGS = ["isEnabled", "isCircle", "isAppsOnly", "isInAppOnly", "isLSOnly", "isSticky", "isLocked",
         "isDim", "isAlwaysDim", "isHiddenInCC", "isSBOnly", "isHiddenInLS", "isBadgeEnabled"]
NUMBERS = ["bubbleSize"]
COLOURS = ["frameColor", "badgeColor", "badgeTextColor"]
ALL = FLAGS + NUMBERS + COLOURS
DATE = datetime.datetime(2020, 5, 17, 12, 0, 0)


def write(name, data):
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(data)


def binary(value):
    return plistlib.dumps(value, fmt=plistlib.FMT_BINARY, sort_keys=False)


def xml(value):
    return plistlib.dumps(value, fmt=plistlib.FMT_XML, sort_keys=False)


def every_key(value):
    return {key: value for key in ALL}


def settings_files():
    # Each key with a value of each type that has no reading: the
    # variables keep their defaults. Flags are set to the opposite of
    # their defaults first by the scenario, so "unchanged" is visible.
    write("settings-arrays.bplist", binary(every_key([True, 70])))
    write("settings-dicts.xml", xml(every_key({"value": True})))
    write("settings-data.bplist", binary(every_key(b"\x01\x02")))
    write("settings-dates.xml", xml(every_key(DATE)))
    # Numbers a text file cannot say in the scenario language.
    write("settings-nan.bplist", binary({"bubbleSize": float("nan"), "isHiddenInCC": float("nan"),
                                         "frameColor": float("nan")}))
    write("settings-inf.xml", xml({"bubbleSize": float("inf"), "isAlwaysDim": float("-inf"), "isSticky": float("inf")}))
    write("settings-neginf.bplist", binary({"bubbleSize": float("-inf")}))
    write("settings-huge-integers.bplist", binary({"bubbleSize": 2**63 - 1, "isCircle": -(2**63),
                                                  "isDim": 2**64 - 1}))
    write("settings-negative-zero.bplist", binary({"bubbleSize": -0.0}))
    # Roots that are not dictionaries.
    write("root-array.xml", xml(["bubbleSize", 70]))
    write("root-string.bplist", binary("bubbleSize"))
    write("root-integer.xml", xml(70))
    write("root-bool.bplist", binary(True))
    write("root-data.xml", xml(b"\x00\x01"))
    good = binary({"bubbleSize": 70.0, "isCircle": False, "frameColor": "#00ff00"})
    good_xml = xml({"bubbleSize": 70.0, "isCircle": False, "frameColor": "#00ff00"})
    write("settings-good.bplist", good)
    # Cut short: at the trailer, in the middle, after the header.
    write("truncated-trailer.bplist", good[:-1])
    write("truncated-half.bplist", good[: len(good) // 2])
    write("truncated-header.bplist", good[:8])
    write("truncated.xml", good_xml[: len(good_xml) - 30])
    write("truncated-no-end.xml", good_xml.replace(b"</plist>\n", b""))
    # Corrupted binary lists.
    trailer = len(good) - 32
    t = bytearray(good)
    t[trailer + 6] = 5                   # an offset size libplist cannot read
    write("corrupt-offset-size.bplist", bytes(t))
    t = bytearray(good)
    t[trailer + 24:trailer + 32] = struct.pack(">Q", len(good) * 4)  # offset table past the end
    write("corrupt-table-offset.bplist", bytes(t))
    t = bytearray(good)
    t[trailer + 8:trailer + 16] = struct.pack(">Q", 2**40)           # more objects than bytes
    write("corrupt-object-count.bplist", bytes(t))
    t = bytearray(good)
    t[trailer + 16:trailer + 24] = struct.pack(">Q", 999)            # top object out of range
    write("corrupt-top-object.bplist", bytes(t))
    table = struct.unpack(">Q", good[trailer + 24:trailer + 32])[0]
    t = bytearray(good)
    t[table] = 0xF0                                                   # first offset far outside
    write("corrupt-offset.bplist", bytes(t))
    write("corrupt-magic.bplist", b"bplist01" + good[8:])
    # An array that holds itself: object 0 = [ref 0].
    cycle = b"bplist00" + bytes([0xA1, 0x00]) + bytes([0x08]) + \
        bytes(6) + bytes([1, 1]) + struct.pack(">QQQ", 1, 0, 10)
    write("corrupt-cycle.bplist", cycle)
    # Corrupted XML.
    write("corrupt-unclosed.xml", good_xml.replace(b"</dict>", b""))
    write("corrupt-mismatched.xml", good_xml.replace(b"</real>", b"</integer>"))
    write("corrupt-utf8.xml", good_xml.replace(b"#00ff00", b"#00\xff\xfe00"))
    write("corrupt-nul.xml", good_xml.replace(b"#00ff00", b"#00\x00ff00"))
    write("corrupt-nul-reference.xml", good_xml.replace(b"#00ff00", b"#00&#0;ff00"))
    write("corrupt-garbage.xml", b"<?xml version=\"1.0\"?>\n<plist version=\"1.0\"><<<>>>&&&</plist>\n")
    write("corrupt-text.plist", b"bubbleSize = 70;\nisCircle = NO;\n")
    write("empty.plist", b"")
    # Nested too deep for the guard (128 levels), with a good key beside the
    # nesting so that a reader that took the rest would show it.
    depth = 300
    write("deep.xml", b"<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>bubbleSize</key>"
          b"<real>70</real><key>deep</key>" + b"<array>" * depth + b"</array>" * depth +
          b"</dict></plist>\n")
    objects = []
    # object 0: the root dict {bubbleSize: 70.0, deep: obj 3}; 1, 2 keys;
    # 3..: arrays each holding the next; the last is empty.
    first = 4
    objects.append(bytes([0xD2, 1, 2, 3, first]))
    objects.append(b"\x5a" + b"bubbleSize")
    objects.append(b"\x54" + b"deep")
    objects.append(b"\x23" + struct.pack(">d", 70.0))
    for i in range(depth):
        objects.append(bytes([0xA1]) + struct.pack(">H", first + i + 1) if i + 1 < depth else bytes([0xA0]))
    # two-byte references throughout
    objects[0] = bytes([0xD2]) + struct.pack(">HHHH", 1, 2, 3, first)
    body = b"bplist00"
    offsets = []
    for o in objects:
        offsets.append(len(body))
        body += o
    table_at = len(body)
    for off in offsets:
        body += struct.pack(">H", off)
    body += bytes(6) + bytes([2, 2]) + struct.pack(">QQQ", len(objects), 0, table_at)
    write("deep.bplist", body)
    # Keys the plugin does not know, and a key standing twice (first place,
    # last value): a binary list with "bubbleSize" twice, 40 then 80.
    odd = binary({"bubbleSize": 40.0, "unknownKey": [1, 2], "bubbleSizf": 80.0})
    write("duplicate-key.bplist", odd.replace(b"bubbleSizf", b"bubbleSize"))


def state_files():
    write("state-flags.xml", xml({
        "FLTTILE-com.example.yes": "YES", "FLTTILE-com.example.no": "no",
        "FLTTILE-com.example.two": 2, "FLTTILE-com.example.zero": 0.0,
        "FLTTILE-com.example.half": 0.5, "FLTTILE-com.example.array": [True],
        "FLTTILE-com.example.dict": {"a": True}, "FLTTILE-com.example.data": b"\x01",
        "FLTTILE-com.example.date": DATE, "FLTTILE-com.example.empty": "",
        "FLTTILE-com.example.digits": "12abc",
    }))
    write("state-flags-nan.bplist", binary({"FLTTILE-com.example.nan": float("nan"),
                                            "FLTTILE-com.example.inf": float("-inf")}))
    chosen = {"FLTTILE-com.example.%s" % c: True for c in "abcdefghijklmnop"}
    positions = {
        "POSAPPS-com.example.a": 5,
        "POSAPPS-com.example.b": "100,200",
        "POSAPPS-com.example.c": [],
        "POSAPPS-com.example.d": [150.0],
        "POSAPPS-com.example.e": ["150", "300"],
        "POSAPPS-com.example.f": [float("nan"), 300.0],
        "POSAPPS-com.example.g": [float("inf"), 300.0],
        "POSAPPS-com.example.h": {"x": 150.0, "y": 300.0},
        "POSAPPS-com.example.i": [[150.0], [300.0]],
        "POSAPPS-com.example.j": [150.0, 300.0, 99.0],
        "POSAPPS-com.example.k": [True, False],
        "POSAPPS-com.example.l": b"\x01\x02",
        "POSAPPS-com.example.m": DATE,
        "POSAPPS-com.example.n": [1e39, 300.0],
        "POSAPPS-com.example.o": [-1e30, 1e30],
        "POSAPPS-com.example.p": [-20, 700],
    }
    write("state-positions.bplist", binary({**chosen, **positions}))
    write("state-hide-flags.xml", xml({
        "FLTTILE-com.example.a": True,
        "HIDAPPS-com.example.yes": "YES", "HIDAPPS-com.example.no": "NO",
        "HIDAPPS-com.example.array": [True], "HIDAPPS-com.example.dict": {"a": 1},
        "HIDAPPS-com.example.data": b"\x01", "HIDAPPS-com.example.date": DATE,
        "HIDAPPS-com.example.one": 1, "HIDAPPS-com.example.zero": 0,
    }))
    base = {"FLTTILE-com.example.a": True, "POSAPPS-com.example.a": [100.0, 200.0]}
    good = binary(base)
    write("state-good.bplist", good)
    write("state-root-array.bplist", binary(["FLTTILE-com.example.a", True]))
    write("state-truncated.bplist", good[:-3])
    write("state-truncated.xml", xml(base)[:-40])
    write("state-corrupt-utf8-key.xml", xml(base).replace(b"FLTTILE-", b"FLT\xc3\x28ILE-"))
    t = bytearray(good)
    t[len(good) - 32 + 7] = 0                                     # reference size 0
    write("state-corrupt-ref-size.bplist", bytes(t))


if __name__ == "__main__":
    settings_files()
    state_files()
