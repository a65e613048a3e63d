#!/usr/bin/env python3
"""Writes the fuzz targets' seed corpora (fuzz/corpus/<target>/).

The property lists among them come from two writers that share no code with
ours: Python's plistlib and libplist's command-line tool plistutil (package
libplist-utils), each in both the binary and the XML format. The seeds are
kept in the repository; run this again only to change them:

    fuzz/corpus/generate.py
"""
import datetime
import os
import plistlib
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(os.path.dirname(HERE))


def write(target, name, data):
    folder = os.path.join(HERE, target)
    os.makedirs(folder, exist_ok=True)
    if isinstance(data, str):
        data = data.encode("utf-8")
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def plistutil(data, fmt):
    """data converted by libplist's own tool into fmt ('bin' or 'xml')."""
    with tempfile.TemporaryDirectory() as tmp:
        src, dst = os.path.join(tmp, "in"), os.path.join(tmp, "out")
        with open(src, "wb") as f:
            f.write(data)
        subprocess.run(["plistutil", "-i", src, "-o", dst, "-f", fmt], check=True)
        with open(dst, "rb") as f:
            return f.read()


def all_writers(target, name, value):
    """The value as plistlib writes it (binary, XML) and as plistutil
    rewrites each (the other format). A form a writer refuses (plistlib
    has no XML for a UID, nor a binary integer of 2**64 - 1) is left out."""
    made = {}
    for fmt, suffix in ((plistlib.FMT_BINARY, "bplist"), (plistlib.FMT_XML, "xml")):
        try:
            made[suffix] = plistlib.dumps(value, fmt=fmt, sort_keys=False)
        except (OverflowError, TypeError, ValueError) as e:
            print("plistlib: no %s form of %s/%s: %s" % (suffix, target, name, e), file=sys.stderr)
            continue
        write(target, "%s.plistlib.%s" % (name, suffix), made[suffix])
    if not shutil.which("plistutil"):
        return
    for suffix, other, fmt in (("bplist", "xml", "xml"), ("xml", "bplist", "bin")):
        if suffix in made:
            try:
                write(target, "%s.plistutil.%s" % (name, other), plistutil(made[suffix], fmt))
            except subprocess.CalledProcessError as e:
                print("plistutil: no %s form of %s/%s: %s" % (other, target, name, e), file=sys.stderr)


def settings_values():
    full = {
        "isEnabled": True, "isCircle": True, "isAppsOnly": False, "isInAppOnly": False,
        "isLSOnly": False, "isSticky": True, "isLocked": False, "isDim": True,
        "isAlwaysDim": False, "isHiddenInCC": True, "isSBOnly": False, "isHiddenInLS": False,
        "isBadgeEnabled": True, "bubbleSize": 64.5, "frameColor": "#00ff00",
        "badgeColor": "#0000ff", "badgeTextColor": "#fffefe",
    }
    odd = {
        "isEnabled": "YES", "isCircle": 0, "isDim": 0.5, "isSticky": "nope", "isLocked": [1, 2],
        "isBadgeEnabled": {"a": 1}, "isHiddenInLS": b"\x01", "isSBOnly": datetime.datetime(2020, 1, 2),
        "bubbleSize": "44.5px", "frameColor": 12, "badgeColor": "", "badgeTextColor": "#12345g",
    }
    numbers = {
        "bubbleSize": float("nan"), "isCircle": float("inf"), "isDim": -1,
        "isAlwaysDim": 2**63 - 1, "isAppsOnly": -(2**63), "isInAppOnly": 2**64 - 1,
        "badgeColor": "#ff0000:0.5", "frameColor": " #abc ",
    }
    return {"full": full, "odd": odd, "numbers": numbers,
            "size-only": {"bubbleSize": 70}, "huge-size": {"bubbleSize": 1e39},
            "negative-size": {"bubbleSize": -5.0}, "disabled": {"isEnabled": False},
            "empty": {}, "not-a-dict": [1, 2, 3], "string-root": "settings"}


def state_values():
    chosen = {
        "FLTTILE-com.example.a": True, "FLTTILE-com.example.b": True,
        "FLTTILE-com.example.c": True, "FLTTILE-com.example.d": False,
        "POSAPPS-com.example.a": [120.0, 300.0], "HIDAPPS-com.example.b": True,
    }
    odd = {
        "FLTTILE-com.example.a": "YES", "xxFLTTILE-com.example.b": 1,
        "FLTTILE-com.example.aFLTTILE-com.example.d": True,
        "POSAPPS-com.example.a": [float("nan"), 5.0], "POSAPPS-com.example.b": [1.0],
        "POSAPPS-com.example.d": {"x": 1, "y": 2}, "HIDAPPS-com.example.a": [True],
        "HIDAPPS-": True, "FLTTILE-": True, "FLTTILE-com.example.zz": True,
    }
    positions = {
        "FLTTILE-com.example.a": True, "FLTTILE-com.example.d": True,
        "POSAPPS-com.example.a": [1e30, -1e30], "POSAPPS-com.example.d": ["10", "20"],
        "HIDAPPS-com.example.a": False, "HIDAPPS-com.example.d": "1",
    }
    return {"chosen": chosen, "odd": odd, "positions": positions,
            "uid": {"FLTTILE-com.example.a": True, "archived": plistlib.UID(3)},
            "dates": {"FLTTILE-com.example.a": True, "when": datetime.datetime(1999, 12, 31, 23, 59, 59)},
            "nested": {"FLTTILE-com.example.a": True, "deep": [[[[{"a": [b"\x00\xff"]}]]]]},
            "empty": {}, "not-a-dict": ["FLTTILE-com.example.a"]}


def plist_values():
    values = dict(settings_values())
    values.update({"state-" + k: v for k, v in state_values().items()})
    values.update({
        "unicode": {"é": "ünïcödé ✓", "emoji": "😀", "bidi": "\u202eabc", "ctl": "\x01\x7f"},
        "integers": [0, 1, -1, 255, 256, 65535, 65536, 2**31, -(2**31), 2**32, 2**63 - 1, -(2**63), 2**64 - 1],
        "reals": [0.0, -0.0, 0.1, 1e-300, 1e300, float("inf"), float("-inf"), float("nan")],
        "data": {"empty": b"", "bytes": bytes(range(256))},
        "dates": [datetime.datetime(2001, 1, 1), datetime.datetime(1970, 1, 1), datetime.datetime(2038, 1, 19)],
        "shared": {"a": "same text", "b": "same text", "c": ["same text", "same text"]},
        "many-keys": {"key%03d" % i: i for i in range(300)},
        "long-string": "x" * 5000,
        "bool-root": True,
    })
    return values


def handmade_plists():
    """Inputs the writers never make but a file may hold."""
    write("plist", "truncated.bplist", plistlib.dumps({"a": [1, 2, 3]}, fmt=plistlib.FMT_BINARY)[:-5])
    write("plist", "truncated.xml", plistlib.dumps({"a": [1, 2, 3]})[:-20])
    write("plist", "deep.xml", b'<?xml version="1.0"?><plist version="1.0">' + b"<array>" * 200 +
          b"</array>" * 200 + b"</plist>")
    write("plist", "comment-cdata.xml", b'<?xml version="1.0"?><!-- c --><plist version="1.0"><dict>'
          b"<key>a</key><string><![CDATA[x<y]]></string><key>b</key><string>&amp;&#65;</string>"
          b"<key>c</key><true/><key>d</key><integer>-5</integer><key>e</key><real>1.5e3</real>"
          b"<key>f</key><data>AAEC</data><key>g</key><date>2020-01-01T00:00:00Z</date></dict></plist>")
    write("plist", "duplicate-keys.xml", b'<?xml version="1.0"?><plist version="1.0"><dict><key>a</key>'
          b"<integer>1</integer><key>a</key><integer>2</integer></dict></plist>")
    write("plist", "bplist-header-only.bplist", b"bplist00")
    write("plist", "garbage.bin", b"bplist00 this is not a property list\x00\xff")


def main():
    for target in ("plist", "settings", "state"):
        folder = os.path.join(HERE, target)
        if os.path.isdir(folder):
            shutil.rmtree(folder)
    for name, value in settings_values().items():
        all_writers("settings", name, value)
    for name, value in state_values().items():
        all_writers("state", name, value)
    for name, value in plist_values().items():
        all_writers("plist", name, value)
    handmade_plists()

    colours = ["#ff0000", "#FFFEFE", "#fff", "00ff00", "#00ff00:0.5", " #abc ", "", "#12345g",
               "#ff0000\0#00ff00", "nonsense\0#0000ff", "#ff00ff:.5", "#ff00ff:1.5", "#f80:0",
               "#ffffff\0", "\0", "#ABCDEF\t"]
    for i, text in enumerate(colours):
        write("colour", "colour%02d" % i, text)

    badges = [b"\x00" + b"3", b"\x00" + b"9\n10\n999\n998\n12000\n12000\n0\n5",
              b"\x01" + b"12abc\n abc\n-4\n+7\n 42", b"\x05" + b"#9223372036854775807\n#-9223372036854775808\n#4294967301",
              b"\x06" + b"%1e300\n%nan\n%-0.5\n%9999.9", b"\x02" + b"@\n[12\n!3\n7\n!x",
              b"\x80" + b"5\n6", b"\x07" + "٣\n１２\n3\u00a0".encode("utf-8")]
    for i, data in enumerate(badges):
        write("badge", "badge%02d" % i, data)

    # The scenario language's own examples: every scenario in the tests.
    scenarios = os.path.join(REPO, "tests", "scenarios")
    count = 0
    for base, _, files in sorted(os.walk(scenarios)):
        for f in sorted(files):
            if f.endswith(".scenario") and count < 40:
                with open(os.path.join(base, f), "rb") as src:
                    write("scenario", "%02d-%s" % (count, f), src.read())
                count += 1
    write("scenario", "expect-values", 'expect /bubbles/com.a/frame ~ [600, 90, 50, 50]\n'
          'expect /files/settings/a~1b == 1\nexpect "/files/settings/t~0x/1" == "x" # c\n'
          'expect /plugin/bubbleSize >= 4.5e1\nsettings k=[1,[2,[3,"a,b"]]] "q k"=true x=-7 y=0.5\n')


if __name__ == "__main__":
    main()
