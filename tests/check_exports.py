#!/usr/bin/env python3
"""Fails when the lists of the library's exported operations disagree.

    check_exports.py HEADER DEF MAP PY_DECLARATIONS [NM LIBRARY]

The operations lib/ebd.h declares are exactly those lib/ebd.def lists (the
Windows exports), those python/src/ebd/_declarations.py declares, and, with a
built libebd.so and nm, exactly the symbols it exports. Every one of them is
matched by a global pattern of the version script lib/libebd.map.
"""
import fnmatch
import re
import subprocess
import sys
from pathlib import Path


def header_operations(path: Path) -> set:
    text = re.sub(r"/\*.*?\*/", " ", path.read_text(), flags=re.S)
    text = re.sub(r"//[^\n]*", " ", text)
    text = re.sub(r"^\s*#[^\n]*", " ", text, flags=re.M)
    text = re.sub(r'extern\s+"C"\s*\{|\{[^{}]*\}', " ", text)
    names = set()
    for statement in (s.strip() for s in " ".join(text.split()).split(";")):
        if not statement or statement.startswith("typedef") or statement == "}":
            continue
        match = re.fullmatch(r"[^()]+?\b(\w+)\s*\([^()]*\)", statement)
        if not match:
            raise SystemExit(f"{path}: cannot read the declaration {statement!r}")
        names.add(match.group(1))
    return names


def def_operations(path: Path) -> set:
    lines = path.read_text().splitlines()
    start = next(i for i, line in enumerate(lines) if line.strip() == "EXPORTS")
    return {line.split(";")[0].split()[0] for line in lines[start + 1:] if line.split(";")[0].strip()}


def map_globals(path: Path) -> list:
    text = re.sub(r"/\*.*?\*/", " ", path.read_text(), flags=re.S)
    part = re.search(r"global:(.*?)local:", text, flags=re.S)
    if not part:
        raise SystemExit(f"{path}: no global part")
    return [p.strip() for p in part.group(1).split(";") if p.strip()]


def python_operations(path: Path) -> set:
    return set(re.findall(r'^\s*_d\("(\w+)"', path.read_text(), flags=re.M))


def library_exports(nm: str, library: str) -> set:
    out = subprocess.run([nm, "-D", "--defined-only", library], check=True, capture_output=True, text=True).stdout
    return {fields[-1] for fields in (line.split() for line in out.splitlines()) if len(fields) >= 3}


def main(argv) -> int:
    if len(argv) not in (5, 7):
        print(__doc__)
        return 64
    header, def_file, map_file, py_file = (Path(a) for a in argv[1:5])
    declared = header_operations(header)
    lists = {
        str(def_file): def_operations(def_file),
        str(py_file): python_operations(py_file),
    }
    if len(argv) == 7:
        lists[argv[6]] = library_exports(argv[5], argv[6])
    failed = len(declared) < 90  # a reader that lost declarations would agree with anything
    if failed:
        print(f"{header}: only {len(declared)} operations read")
    for where, names in lists.items():
        if names != declared:
            failed = True
            print(f"{header} and {where} differ:")
            for name in sorted(declared - names):
                print(f"  missing in {where}: {name}")
            for name in sorted(names - declared):
                print(f"  not in {header}: {name}")
    patterns = map_globals(map_file)
    for name in sorted(declared):
        if not any(fnmatch.fnmatchcase(name, pattern) for pattern in patterns):
            failed = True
            print(f"{map_file}: no global pattern exports {name}")
    print(f"{len(declared)} operations in {1 + len(lists)} lists" + (": they differ" if failed else ", all alike"))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
