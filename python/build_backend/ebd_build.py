"""The build backend of the ``ebd`` package: the standard library only.

Test stations are often offline, and a fresh virtual environment has no
``wheel`` package, so this backend builds the wheel and the sdist itself:
``pip install --no-index ./python`` then needs nothing from an index, with or
without build isolation. It implements the hooks pip calls (PEP 517, and
PEP 660 for editable installs) for a pure-Python package in ``src/``, with the
metadata of the ``[project]`` table of ``pyproject.toml``.

Builds are reproducible: files are stored in sorted order with the time of
``SOURCE_DATE_EPOCH`` (1980-01-01 without it) and fixed permissions.
"""

from __future__ import annotations

import base64
import gzip
import hashlib
import io
import os
import re
import tarfile
import time
import zipfile
from typing import Any, Dict, List, Optional, Tuple

_ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
_SOURCE = "src"
_TAG = "py3-none-any"
_GENERATOR = "ebd_build 1.0"
# The files of the project that an sdist carries, besides the package itself.
_SDIST_FILES = ("pyproject.toml", "README.md", "build_backend/ebd_build.py")
_ZIP_EPOCH = 315532800  # 1980-01-01, the earliest time a zip entry can hold


# ---- pyproject.toml ---------------------------------------------------------------


def _parse_toml_subset(text: str) -> Dict[str, Any]:
    """Reads the part of TOML that this project's pyproject.toml uses (tables,
    strings, arrays of strings), for Pythons older than 3.11 without tomllib."""
    document: Dict[str, Any] = {}
    table = document
    pending: Optional[Tuple[str, List[str]]] = None
    string = r'"((?:[^"\\]|\\.)*)"'
    for raw in text.splitlines():
        line = raw.strip()
        if pending is not None:
            key, items = pending
            for match in re.finditer(string, line):
                items.append(_unescape(match.group(1)))
            if line.startswith("]"):
                table[key] = items
                pending = None
            continue
        if not line or line.startswith("#"):
            continue
        header = re.fullmatch(r"\[([A-Za-z0-9_.-]+)\]", line)
        if header:
            table = document
            for part in header.group(1).split("."):
                table = table.setdefault(part, {})
            continue
        entry = re.fullmatch(r'([A-Za-z0-9_-]+)\s*=\s*(.*?)\s*(#.*)?', line)
        if not entry:
            raise ValueError(f"pyproject.toml: cannot read the line {raw!r}")
        key, value = entry.group(1), entry.group(2)
        if value.startswith("["):
            items = [_unescape(match.group(1)) for match in re.finditer(string, value)]
            if value.endswith("]"):
                table[key] = items
            else:
                pending = (key, items)
        elif re.fullmatch(string, value):
            table[key] = _unescape(value[1:-1])
        elif value in ("true", "false"):
            table[key] = value == "true"
        else:
            raise ValueError(f"pyproject.toml: cannot read the value of {key!r}")
    return document


def _unescape(text: str) -> str:
    return re.sub(r'\\(["\\])', r"\1", text)


def _load_pyproject(root: str) -> Dict[str, Any]:
    with open(os.path.join(root, "pyproject.toml"), "rb") as file:
        data = file.read()
    try:
        import tomllib  # Python 3.11 and later
    except ImportError:
        return _parse_toml_subset(data.decode("utf-8"))
    return tomllib.loads(data.decode("utf-8"))


def _dynamic_version(root: str) -> str:
    """The version from PKG-INFO when the package is an unpacked sdist, else
    from project() of the CMake project around the package."""
    pkg_info = os.path.join(root, "PKG-INFO")
    if os.path.exists(pkg_info):
        with open(pkg_info, encoding="utf-8") as file:
            match = re.search(r"^Version: (\S+)$", file.read(), re.M)
        if not match:
            raise ValueError(f"{pkg_info}: no Version")
        return match.group(1)
    cmake = os.path.join(os.path.dirname(root), "CMakeLists.txt")
    with open(cmake, encoding="utf-8") as file:
        match = re.search(r"^project\(\s*ebd\s+VERSION\s+([0-9]+(?:\.[0-9]+)*)\b", file.read(), re.M)
    if not match:
        raise ValueError(f"{cmake}: no project(ebd VERSION ...)")
    return match.group(1)


def _license_file(root: str) -> Optional[str]:
    """LICENSE of the package (an sdist), else that of the project around it."""
    for candidate in (os.path.join(root, "LICENSE"), os.path.join(os.path.dirname(root), "LICENSE")):
        if os.path.exists(candidate):
            return candidate
    return None


class _Project:
    """The metadata of the project and the files of its package."""

    def __init__(self, root: str = _ROOT) -> None:
        self.root = root
        project = _load_pyproject(root)["project"]
        self.name: str = project["name"]
        self.version: str = project["version"] if "version" in project else _dynamic_version(root)
        self.license: str = project.get("license", "")
        self.summary: str = project.get("description", "")
        self.requires_python: str = project.get("requires-python", "")
        self.classifiers: List[str] = list(project.get("classifiers", []))
        self.readme: Optional[str] = project.get("readme")
        self.normalized = re.sub(r"[-_.]+", "_", self.name).lower()

    @property
    def dist_info(self) -> str:
        return f"{self.normalized}-{self.version}.dist-info"

    def metadata(self) -> bytes:
        lines = ["Metadata-Version: 2.1", f"Name: {self.name}", f"Version: {self.version}"]
        if self.summary:
            lines.append(f"Summary: {self.summary}")
        if self.license:
            lines.append(f"License: {self.license}")
        if _license_file(self.root):
            lines.append("License-File: LICENSE")
        if self.requires_python:
            lines.append(f"Requires-Python: {self.requires_python}")
        lines.extend(f"Classifier: {classifier}" for classifier in self.classifiers)
        body = ""
        if self.readme:
            lines.append("Description-Content-Type: text/markdown")
            with open(os.path.join(self.root, self.readme), encoding="utf-8") as file:
                body = file.read()
        return ("\n".join(lines) + "\n\n" + body).encode("utf-8")

    def wheel_file(self) -> bytes:
        return (f"Wheel-Version: 1.0\nGenerator: {_GENERATOR}\nRoot-Is-Purelib: true\nTag: {_TAG}\n").encode()

    def package_files(self) -> List[Tuple[str, str]]:
        """(path in the wheel, path on disk) of every file of the package, sorted."""
        source = os.path.join(self.root, _SOURCE)
        files = []
        for folder, subfolders, names in os.walk(source):
            subfolders[:] = sorted(d for d in subfolders if d != "__pycache__")
            for name in names:
                if name.endswith((".pyc", ".pyo")):
                    continue
                path = os.path.join(folder, name)
                files.append((os.path.relpath(path, source).replace(os.sep, "/"), path))
        return sorted(files)

    def top_level(self) -> List[str]:
        return sorted({path.split("/")[0] for path, _ in self.package_files() if "/" in path})


# ---- Archives ---------------------------------------------------------------------------


def _epoch() -> int:
    return max(int(os.environ.get("SOURCE_DATE_EPOCH", _ZIP_EPOCH)), _ZIP_EPOCH)


def _record_hash(data: bytes) -> str:
    digest = hashlib.sha256(data).digest()
    return "sha256=" + base64.urlsafe_b64encode(digest).rstrip(b"=").decode("ascii")


class _WheelWriter:
    """A wheel: files in the order added, then RECORD with each file's hash."""

    def __init__(self, path: str) -> None:
        self._zip = zipfile.ZipFile(path, "w", compression=zipfile.ZIP_DEFLATED)
        self._records: List[str] = []
        self._time = time.gmtime(_epoch())[:6]

    def add(self, name: str, data: bytes) -> None:
        info = zipfile.ZipInfo(name, date_time=self._time)
        info.external_attr = 0o644 << 16
        info.compress_type = zipfile.ZIP_DEFLATED
        self._zip.writestr(info, data)
        self._records.append(f"{name},{_record_hash(data)},{len(data)}")

    def close(self, record_name: str) -> None:
        # RECORD lists itself without hash or size.
        record = "\n".join(self._records + [f"{record_name},,"]) + "\n"
        info = zipfile.ZipInfo(record_name, date_time=self._time)
        info.external_attr = 0o644 << 16
        info.compress_type = zipfile.ZIP_DEFLATED
        self._zip.writestr(info, record.encode("utf-8"))
        self._zip.close()


def _write_metadata_dir(project: _Project, directory: str) -> str:
    target = os.path.join(directory, project.dist_info)
    os.makedirs(target, exist_ok=True)
    for name, data in _dist_info_files(project):
        with open(os.path.join(target, name), "wb") as file:
            file.write(data)
    return project.dist_info


def _dist_info_files(project: _Project) -> List[Tuple[str, bytes]]:
    files = [
        ("METADATA", project.metadata()),
        ("WHEEL", project.wheel_file()),
        ("top_level.txt", ("\n".join(project.top_level()) + "\n").encode()),
    ]
    license_file = _license_file(project.root)
    if license_file:
        with open(license_file, "rb") as file:
            files.insert(0, ("LICENSE", file.read()))
    return files


def _build(wheel_directory: str, editable: bool) -> str:
    project = _Project()
    filename = f"{project.normalized}-{project.version}-{_TAG}.whl"
    os.makedirs(wheel_directory, exist_ok=True)
    wheel = _WheelWriter(os.path.join(wheel_directory, filename))
    if editable:
        # The source folder goes onto sys.path; edits take effect at once.
        source = os.path.join(project.root, _SOURCE)
        wheel.add(f"__editable__.{project.normalized}-{project.version}.pth", (source + "\n").encode("utf-8"))
    else:
        for name, path in project.package_files():
            with open(path, "rb") as file:
                wheel.add(name, file.read())
    for name, data in _dist_info_files(project):
        wheel.add(f"{project.dist_info}/{name}", data)
    wheel.close(f"{project.dist_info}/RECORD")
    return filename


# ---- The hooks ----------------------------------------------------------------------------


def get_requires_for_build_wheel(config_settings: Optional[Dict[str, Any]] = None) -> List[str]:
    return []


def get_requires_for_build_sdist(config_settings: Optional[Dict[str, Any]] = None) -> List[str]:
    return []


def get_requires_for_build_editable(config_settings: Optional[Dict[str, Any]] = None) -> List[str]:
    return []


def prepare_metadata_for_build_wheel(metadata_directory: str,
                                     config_settings: Optional[Dict[str, Any]] = None) -> str:
    return _write_metadata_dir(_Project(), metadata_directory)


def prepare_metadata_for_build_editable(metadata_directory: str,
                                        config_settings: Optional[Dict[str, Any]] = None) -> str:
    return _write_metadata_dir(_Project(), metadata_directory)


def build_wheel(wheel_directory: str, config_settings: Optional[Dict[str, Any]] = None,
                metadata_directory: Optional[str] = None) -> str:
    return _build(wheel_directory, editable=False)


def build_editable(wheel_directory: str, config_settings: Optional[Dict[str, Any]] = None,
                   metadata_directory: Optional[str] = None) -> str:
    return _build(wheel_directory, editable=True)


def build_sdist(sdist_directory: str, config_settings: Optional[Dict[str, Any]] = None) -> str:
    project = _Project()
    base = f"{project.normalized}-{project.version}"
    filename = f"{base}.tar.gz"
    mtime = _epoch()
    members: List[Tuple[str, bytes]] = [("PKG-INFO", project.metadata())]
    for relative in _SDIST_FILES:
        with open(os.path.join(project.root, relative), "rb") as file:
            members.append((relative, file.read()))
    license_file = _license_file(project.root)
    if license_file:
        with open(license_file, "rb") as file:
            members.append(("LICENSE", file.read()))
    for name, path in project.package_files():
        with open(path, "rb") as file:
            members.append((f"{_SOURCE}/{name}", file.read()))
    os.makedirs(sdist_directory, exist_ok=True)
    buffer = io.BytesIO()
    with tarfile.open(fileobj=buffer, mode="w", format=tarfile.PAX_FORMAT) as tar:
        for name, data in sorted(members):
            info = tarfile.TarInfo(f"{base}/{name}")
            info.size = len(data)
            info.mtime = mtime
            info.mode = 0o644
            info.uname = info.gname = "root"
            tar.addfile(info, io.BytesIO(data))
    with open(os.path.join(sdist_directory, filename), "wb") as raw:
        with gzip.GzipFile(filename="", mode="wb", fileobj=raw, mtime=mtime) as compressed:
            compressed.write(buffer.getvalue())
    return filename
