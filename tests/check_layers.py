#!/usr/bin/env python3
"""Fails when a source file includes a header of a layer above its own.

The library's layers, lowest first: platform, core, link, rpc, lib, app. A file
may include headers of its own layer and of the layers below it. The module
double (sim) stands beside the library and may include the platform only.
Tests, fuzz targets and benchmarks may include anything and are not read.

One header is a leaf that every layer may include: lib/ebd_errors.h, the table
of last-error codes that the public header hands out. It stays a leaf: it
includes no header of the project.
"""
import pathlib
import re
import sys

LAYERS = ["platform", "core", "link", "rpc", "lib", "app"]
ALLOWED = {layer: set(LAYERS[: i + 1]) for i, layer in enumerate(LAYERS)}
ALLOWED["sim"] = {"sim", "platform"}
INCLUDE = re.compile(r'^\s*#\s*include\s*"(([^"/]+)/[^"]*)"')
LEAVES = {"lib/ebd_errors.h"}


def violations(root: pathlib.Path):
    for folder, allowed in ALLOWED.items():
        for path in sorted((root / folder).glob("*")):
            if path.suffix not in (".h", ".cpp"):
                continue
            for number, line in enumerate(path.read_text(errors="replace").splitlines(), 1):
                match = INCLUDE.match(line)
                if match and match.group(1) in LEAVES:
                    continue
                if match and match.group(2) in ALLOWED and match.group(2) not in allowed:
                    yield f"{path.relative_to(root)}:{number}: {folder}/ includes {match.group(1)}/: {line.strip()}"


def leaves_include_nothing(root: pathlib.Path):
    for leaf in sorted(LEAVES):
        for number, line in enumerate((root / leaf).read_text(errors="replace").splitlines(), 1):
            if re.match(r'^\s*#\s*include\s*"', line):
                yield f"{leaf}:{number}: a leaf that every layer includes must include no project header: {line.strip()}"


def main() -> int:
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).resolve().parent.parent)
    found = list(violations(root)) + list(leaves_include_nothing(root))
    for line in found:
        print(line)
    if found:
        print(f"{len(found)} include(s) point up the layers (" + " -> ".join(reversed(LAYERS)) + ")")
        return 1
    print("includes point down the layers only: " + " -> ".join(reversed(LAYERS)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
