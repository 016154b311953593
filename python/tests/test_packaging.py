"""The package as stations get it: the in-tree build backend, the offline
install into a fresh virtual environment, and the search for the library."""

from __future__ import annotations

import base64
import csv
import hashlib
import importlib.util
import io
import os
import re
import shutil
import subprocess
import sys
import tarfile
import zipfile
from pathlib import Path
from typing import Dict, List

import pytest

from conftest import PYTHON_DIR

BACKEND_FILE = PYTHON_DIR / "build_backend" / "ebd_build.py"
PACKAGE_DIR = PYTHON_DIR / "src" / "ebd"
# The project's one version, which every artifact carries.
VERSION = re.search(r"^project\(ebd VERSION (\S+)", (PYTHON_DIR.parent / "CMakeLists.txt").read_text(), re.M).group(1)
DIST = f"ebd-{VERSION}"


@pytest.fixture(scope="module")
def backend():
    spec = importlib.util.spec_from_file_location("ebd_build_under_test", BACKEND_FILE)
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


def _package_files() -> List[str]:
    return sorted(f"ebd/{p.relative_to(PACKAGE_DIR).as_posix()}" for p in PACKAGE_DIR.rglob("*")
                  if p.is_file() and "__pycache__" not in p.parts)


def _tree_listing() -> List[str]:
    return sorted(str(p.relative_to(PYTHON_DIR)) for p in PYTHON_DIR.rglob("*")
                  if "__pycache__" not in p.parts and ".pytest_cache" not in p.parts)


def test_the_wheel_records_every_file_with_its_hash_and_size(backend, tmp_path):
    name = backend.build_wheel(str(tmp_path))
    assert name == f"{DIST}-py3-none-any.whl"
    with zipfile.ZipFile(tmp_path / name) as wheel:
        contents: Dict[str, bytes] = {info.filename: wheel.read(info) for info in wheel.infolist()}
    record = list(csv.reader(io.StringIO(contents[f"{DIST}.dist-info/RECORD"].decode())))
    assert sorted(row[0] for row in record) == sorted(contents)
    for path, digest, size in record:
        if path == f"{DIST}.dist-info/RECORD":
            assert (digest, size) == ("", "")
            continue
        expected = base64.urlsafe_b64encode(hashlib.sha256(contents[path]).digest()).rstrip(b"=").decode()
        assert (digest, int(size)) == (f"sha256={expected}", len(contents[path])), path
    package = sorted(p for p in contents if not p.startswith(f"{DIST}.dist-info/"))
    assert package == _package_files()
    for path in package:
        assert contents[path] == (PACKAGE_DIR.parent / path).read_bytes()
    metadata = contents[f"{DIST}.dist-info/METADATA"].decode()
    assert metadata.startswith(f"Metadata-Version: 2.1\nName: ebd\nVersion: {VERSION}\n")
    assert "License: MIT\nLicense-File: LICENSE\n" in metadata
    assert contents[f"{DIST}.dist-info/LICENSE"] == (PYTHON_DIR.parent / "LICENSE").read_bytes()
    assert "Requires-Python: >=3.8\n" in metadata
    assert metadata.split("\n\n", 1)[1] == (PYTHON_DIR / "README.md").read_text()
    assert contents[f"{DIST}.dist-info/WHEEL"].decode().splitlines() == [
        "Wheel-Version: 1.0", "Generator: ebd_build 1.0", "Root-Is-Purelib: true", "Tag: py3-none-any"]
    assert contents[f"{DIST}.dist-info/top_level.txt"] == b"ebd\n"


def test_builds_are_reproducible_and_an_sdist_builds_the_same_wheel(backend, tmp_path):
    first, second, from_sdist = tmp_path / "first", tmp_path / "second", tmp_path / "from-sdist"
    wheel = backend.build_wheel(str(first))
    backend.build_wheel(str(second))
    assert (first / wheel).read_bytes() == (second / wheel).read_bytes()

    sdist = backend.build_sdist(str(tmp_path))
    assert sdist == f"{DIST}.tar.gz"
    with tarfile.open(tmp_path / sdist) as archive:
        names = archive.getnames()
        assert all(n.startswith(f"{DIST}/") for n in names)
        assert {f"{DIST}/PKG-INFO", f"{DIST}/pyproject.toml", f"{DIST}/README.md",
                f"{DIST}/build_backend/ebd_build.py"} <= set(names)
        assert sorted(n[len(f"{DIST}/src/"):] for n in names if n.startswith(f"{DIST}/src/")) == _package_files()
        archive.extractall(tmp_path / "unpacked")
    unpacked = tmp_path / "unpacked" / DIST
    subprocess.run([sys.executable, "-c", "import sys; sys.path.insert(0, 'build_backend'); import ebd_build; "
                    f"ebd_build.build_wheel({str(from_sdist)!r})"], cwd=unpacked, check=True, timeout=60)
    assert (from_sdist / wheel).read_bytes() == (first / wheel).read_bytes()


def test_the_editable_wheel_puts_the_source_folder_on_the_path(backend, tmp_path):
    name = backend.build_editable(str(tmp_path))
    with zipfile.ZipFile(tmp_path / name) as wheel:
        assert wheel.read(f"__editable__.{DIST}.pth").decode() == str(PYTHON_DIR / "src") + "\n"
        assert not [n for n in wheel.namelist() if n.startswith("ebd/")]


def test_the_fallback_reader_of_pyproject_agrees_with_tomllib(backend):
    tomllib = pytest.importorskip("tomllib")
    text = (PYTHON_DIR / "pyproject.toml").read_text()
    assert backend._parse_toml_subset(text) == tomllib.loads(text)


# ---- Offline installs into fresh virtual environments ----------------------------------------------


def _interpreters() -> List[str]:
    """Debian's python3 and the python3 on PATH, each once."""
    found: Dict[str, str] = {}
    for candidate in ("/usr/bin/python3", shutil.which("python3"), sys.executable):
        if not candidate or not os.path.exists(candidate):
            continue
        real = subprocess.run([candidate, "-c", "import sys; print(sys.executable)"], capture_output=True,
                              text=True, timeout=60).stdout.strip()
        found.setdefault(os.path.realpath(real), candidate)
    return sorted(found.values())


INSTALLS = [(python, isolation) for python in _interpreters() for isolation in (True, False)]


@pytest.mark.parametrize("python, isolation", INSTALLS,
                         ids=[f"{p}-{'isolated' if i else 'no-build-isolation'}" for p, i in INSTALLS])
def test_pip_installs_the_package_offline_into_a_fresh_venv(python, isolation, tmp_path, attach_module):
    venv = tmp_path / "venv"
    subprocess.run([python, "-m", "venv", str(venv)], check=True, timeout=300)
    venv_python = venv / "bin" / "python"
    env = dict(os.environ, PIP_DISABLE_PIP_VERSION_CHECK="1", PIP_NO_INPUT="1")
    env.pop("PYTHONPATH", None)
    before = _tree_listing()
    command = [str(venv_python), "-m", "pip", "install", "--no-index", str(PYTHON_DIR)]
    if not isolation:
        command.insert(5, "--no-build-isolation")
    installed = subprocess.run(command, capture_output=True, text=True, env=env, timeout=300)
    assert installed.returncode == 0, installed.stdout + installed.stderr
    assert _tree_listing() == before, "the build leaves nothing behind in python/"

    # One call through the installed package: the tool's workflow on a module.
    attach_module(19)
    env = dict(os.environ, PYTHONPATH="")
    script = ("import ebd, importlib.metadata as m; print(ebd.__file__); print(ebd.autostart_off(19)); "
              "print(ebd.__version__, ebd.library_version(), m.version('ebd'))")
    run = subprocess.run([str(venv_python), "-c", script], capture_output=True, text=True, env=env, cwd=tmp_path,
                         timeout=120)
    assert run.returncode == 0, run.stderr
    location, outcome, *versions = run.stdout.split()
    assert Path(location).is_relative_to(venv) and outcome == "SUCCESS"
    assert versions == [VERSION] * 3, "package, library and metadata carry the one version"


def test_an_editable_install_runs_the_source_tree(tmp_path, build_dir):
    venv = tmp_path / "venv"
    subprocess.run([sys.executable, "-m", "venv", str(venv)], check=True, timeout=300)
    env = dict(os.environ, PIP_DISABLE_PIP_VERSION_CHECK="1", PIP_NO_INPUT="1")
    env.pop("PYTHONPATH", None)
    installed = subprocess.run([str(venv / "bin" / "python"), "-m", "pip", "install", "--no-index", "-e",
                                str(PYTHON_DIR)], capture_output=True, text=True, env=env, timeout=300)
    assert installed.returncode == 0, installed.stdout + installed.stderr
    run = subprocess.run([str(venv / "bin" / "python"), "-c", "import ebd; print(ebd.__file__)"],
                         capture_output=True, text=True, env=env, cwd=tmp_path, timeout=60)
    assert run.stdout.strip() == str(PACKAGE_DIR / "__init__.py")


# ---- Finding the library ----------------------------------------------------------------------


def _load_in_child(env_changes: Dict[str, str], drop=("EBD_LIBRARY", "EBD_BUILD_DIR")) -> subprocess.CompletedProcess:
    env = {k: v for k, v in os.environ.items() if k not in drop}
    env.update(env_changes, PYTHONPATH=str(PYTHON_DIR / "src"))
    script = ("import ebd, ebd._library as l\n"
              "try:\n    print('loaded', l.get()._name)\n"
              "except ebd.LibraryNotFoundError as e:\n    print('error', e)\n")
    return subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, env=env, timeout=60)


def test_the_library_is_found_through_ebd_library_first_then_the_build_tree(build_dir, tmp_path):
    library = build_dir / "lib" / "libebd.so"
    loaded = _load_in_child({"EBD_BUILD_DIR": str(build_dir)}).stdout
    found_installed = _load_in_child({}).stdout.startswith("loaded")
    if not found_installed:
        assert loaded == f"loaded {library}\n"
    named = tmp_path / "libebd-copy.so"
    shutil.copy(library, named)
    assert _load_in_child({"EBD_LIBRARY": str(named), "EBD_BUILD_DIR": str(build_dir)}).stdout == \
        f"loaded {named}\n"

    missing = tmp_path / "nothing.so"
    refused = _load_in_child({"EBD_LIBRARY": str(missing), "EBD_BUILD_DIR": str(build_dir)}).stdout
    assert refused.startswith("error cannot load the module-control library")
    assert f"tried EBD_LIBRARY={missing}" in refused, "a named library that fails is not replaced by another"


def test_without_any_library_the_error_says_where_it_looked(tmp_path):
    result = _load_in_child({"EBD_BUILD_DIR": str(tmp_path)}).stdout
    if result.startswith("loaded"):
        pytest.skip("a library is installed on this machine")
    assert result == ("error cannot load the module-control library (no library file found); tried the installed "
                      f"library (ebd): not found, EBD_BUILD_DIR={tmp_path}\n")
