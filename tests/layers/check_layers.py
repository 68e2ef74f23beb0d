#!/usr/bin/env python3
"""Fails when a source file includes a header from a higher layer.

The layers, low to high (docs/layers.md):
  0 platform                      operating-system services, Qt Core only
  1 hid, xml                      the HID interface; the XML reader
  2 devicelink, sim               siblings: neither includes the other
  3 effects, devicecontrol,       the effect model (platform only), what drives
    updater, backends             controllers, the updater engine, backend selection
  4 skin, mainwindow, openrgb     skinned windows; the SDK protocol and mapping
                                  (windowless: never includes skin or mainwindow)
  5 app, cli, updater/nimbrel,    programs
    tools
A folder includes its own layer and lower ones. Tests, benchmarks and fuzz
targets may include anything.
Usage: check_layers.py SOURCE_ROOT
"""
import pathlib
import re
import sys

RANKS = {
    "platform": 0,
    "hid": 1, "xml": 1,
    "devicelink": 2, "sim": 2,
    "effects": 3, "devicecontrol": 3, "updater": 3, "backends": 3,
    "skin": 4, "mainwindow": 4, "openrgb": 4,
    "app": 5, "cli": 5, "updater/nimbrel": 5, "tools": 5,
}
# Pairs within a layer that must stay apart, and folders held below their rank.
FORBIDDEN = {("devicelink", "sim"), ("sim", "devicelink"), ("openrgb", "skin"), ("openrgb", "mainwindow")}
ONLY = {"effects": {"effects", "platform"}}

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def folder_of(relative):
    """The layer folder of a path such as 'updater/nimbrel/main.cpp'."""
    parts = pathlib.PurePosixPath(relative).parts
    if len(parts) > 2 and "/".join(parts[:2]) in RANKS:
        return "/".join(parts[:2])
    return parts[0] if parts and parts[0] in RANKS else None


def main(root):
    root = pathlib.Path(root)
    problems = []
    for path in sorted(root.rglob("*")):
        if path.suffix not in (".cpp", ".h", ".inc"):
            continue
        relative = path.relative_to(root).as_posix()
        source = folder_of(relative)
        if source is None:
            continue
        for included in INCLUDE.findall(path.read_text(errors="replace")):
            target = folder_of(included)
            if target is None or target == source:
                continue
            if (RANKS[target] > RANKS[source] or (source, target) in FORBIDDEN
                    or (source in ONLY and target not in ONLY[source])):
                problems.append(f"{relative}: includes \"{included}\" ({source} may not include {target})")
    for problem in problems:
        print(problem)
    print(f"{len(problems)} include(s) against the layers")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1] if len(sys.argv) > 1 else "."))
