"""The declaration table against lib/ebd.h: every exported operation, with the
header's widths and signedness, and nothing the header does not have."""

from __future__ import annotations

import ctypes
import re
import subprocess
from pathlib import Path
from typing import Dict, List, Tuple

import pytest

from conftest import REPO_DIR

from ebd import _declarations
from ebd._declarations import DECLARATIONS, TraceCallback

HEADER = REPO_DIR / "lib" / "ebd.h"

_INTEGERS = {
    "uint8_t": ctypes.c_uint8, "uint16_t": ctypes.c_uint16, "uint32_t": ctypes.c_uint32,
    "int8_t": ctypes.c_int8, "int16_t": ctypes.c_int16, "int32_t": ctypes.c_int32,
    "EBDHandle": ctypes.c_uint32,
}

Prototype = Tuple[str, str, List[Tuple[str, str]]]  # name, result, (type, name) params


def _strip(text: str) -> str:
    text = re.sub(r"/\*.*?\*/", " ", text, flags=re.S)
    text = re.sub(r"//[^\n]*", " ", text)
    return re.sub(r"^\s*#[^\n]*", " ", text, flags=re.M)


def parse_header(path: Path) -> Tuple[Dict[str, str], Dict[str, Prototype]]:
    """The typedefs and the function prototypes of a C header like ebd.h."""
    text = _strip(path.read_text())
    text = re.sub(r'extern\s+"C"\s*\{|\}', " ", text)
    typedefs: Dict[str, str] = {}
    prototypes: Dict[str, Prototype] = {}
    for statement in (s.strip() for s in " ".join(text.split()).split(";")):
        if not statement:
            continue
        if statement.startswith("typedef"):
            typedefs[_typedef_name(statement)] = statement
            continue
        match = re.fullmatch(r"(.+?)\s*\b(\w+)\s*\((.*)\)", statement)
        assert match, f"cannot read the declaration {statement!r}"
        result, name, params = match.groups()
        parsed = []
        if params.strip() != "void":
            for param in params.split(","):
                kind, param_name = re.fullmatch(r"(.+?)\s*(\w+)", param.strip()).groups()
                parsed.append((" ".join(kind.replace("*", " * ").split()), param_name))
        prototypes[name] = (name, " ".join(result.replace("*", " * ").split()), parsed)
    return typedefs, prototypes


def _typedef_name(statement: str) -> str:
    pointer = re.search(r"\(\s*\*\s*(\w+)\s*\)", statement)
    return pointer.group(1) if pointer else statement.split()[-1]


def ctypes_for(c_type: str):
    """The ctypes type the table must use for a C type of the header."""
    words = c_type.split()
    if words[-1] == "*":
        base = " ".join(w for w in words[:-1] if w != "const")
        if base == "char":
            return ctypes.c_char_p if words[0] == "const" else ctypes.POINTER(ctypes.c_char)
        return ctypes.POINTER(_INTEGERS[base])
    if c_type == "void":
        return None
    if c_type == "EBDTraceCallback":
        return TraceCallback
    return _INTEGERS[c_type]


@pytest.fixture(scope="module")
def header():
    return parse_header(HEADER)


def test_the_header_is_read_completely(header):
    # A reader that lost declarations would pass the comparison below vacuously.
    typedefs, prototypes = header
    assert set(typedefs) == {"EBDHandle", "EBDTraceCallback"}
    source = _strip(HEADER.read_text())
    assert len(prototypes) == len(re.findall(r"\b[A-Z]\w*\s*\(", source))
    assert len(prototypes) > 90


def test_the_table_holds_every_operation_of_the_header_and_nothing_else(header):
    _, prototypes = header
    assert [d.name for d in DECLARATIONS] == list(prototypes), "same operations, in the header's order"


@pytest.mark.parametrize("declaration", DECLARATIONS, ids=[d.name for d in DECLARATIONS])
def test_each_operation_has_the_types_and_names_of_the_header(header, declaration):
    _, prototypes = header
    _, result, params = prototypes[declaration.name]
    assert declaration.restype is ctypes_for(result), f"result {result}"
    assert [name for name, _ in declaration.params] == [name for _, name in params]
    for (name, kind), (c_type, _) in zip(declaration.params, params):
        assert kind is ctypes_for(c_type), f"{name}: {c_type}"


def test_the_handle_and_the_trace_callback_have_the_header_types(header):
    typedefs, _ = header
    assert typedefs["EBDHandle"] == "typedef uint32_t EBDHandle"
    callback = re.fullmatch(r"typedef (\w+) \( \* EBDTraceCallback \) \((.*)\)",
                            typedefs["EBDTraceCallback"].replace("(", " ( ").replace(")", " ) ")
                            .replace("*", " * ").replace("  ", " ").strip().replace("  ", " "))
    assert callback, typedefs["EBDTraceCallback"]
    result, params = callback.groups()
    assert TraceCallback._restype_ is ctypes_for(result)
    kinds = [" ".join(p.split()[:-1]) for p in params.split(",")]
    assert list(TraceCallback._argtypes_) == [ctypes_for(" ".join(k.replace("*", " * ").split())) for k in kinds]


def test_the_integer_types_have_the_widths_and_signedness_their_names_say():
    for name, kind in _INTEGERS.items():
        if name == "EBDHandle":
            continue
        bits = int(re.search(r"\d+", name).group())
        assert ctypes.sizeof(kind) * 8 == bits
        assert (kind(-1).value < 0) == (not name.startswith("u")), name


def test_the_library_exports_every_operation_of_the_table(build_dir):
    library = ctypes.CDLL(str(build_dir / "lib" / "libebd.so"))
    missing = [d.name for d in DECLARATIONS if not hasattr(library, d.name)]
    assert missing == []
    symbols = subprocess.run(["nm", "-D", "--defined-only", str(build_dir / "lib" / "libebd.so")],
                             capture_output=True, text=True, check=True).stdout
    c_functions = {line.split()[-1] for line in symbols.splitlines()
                   if line.split()[-2:-1] == ["T"] and not line.split()[-1].startswith("_")}
    assert c_functions == {d.name for d in DECLARATIONS}, "every C function the library exports is declared"


def test_out_of_range_integers_are_refused_by_their_c_type():
    _declarations.check_arguments("WComOpen", (-2 ** 31, 2 ** 31 - 1, 2 ** 32 - 1))
    with pytest.raises(ValueError, match="WComOpen: tHandle=-1 is outside uint32_t"):
        _declarations.check_arguments("WComOpen", (1, 115200, -1))
    with pytest.raises(ValueError, match="baudRate=2147483648 is outside int32_t"):
        _declarations.check_arguments("WComOpen", (1, 2 ** 31, 0))
    with pytest.raises(ValueError, match=r"rssi\[1\]=-32769"):
        _declarations.array(ctypes.c_int16, [0, -32769], 2, "rssi")
