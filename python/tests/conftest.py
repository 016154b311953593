"""Fixtures: the package from the source tree, the build tree with the library
and module-sim, and simulated modules on pseudo-terminals mapped to COM ports.

The build tree is the one EBD_BUILD_DIR names (CI sets it; a missing library
or module-sim there is an error), else ``build`` at the top of the repository
(tests that need it are skipped when it is not there).
"""

from __future__ import annotations

import logging
import os
import selectors
import signal
import subprocess
import sys
import time
from pathlib import Path
from typing import Callable, Iterator, List, Optional

import pytest

PYTHON_DIR = Path(__file__).resolve().parents[1]
REPO_DIR = PYTHON_DIR.parent
sys.path.insert(0, str(PYTHON_DIR / "src"))


def _build_dir() -> Optional[Path]:
    named = os.environ.get("EBD_BUILD_DIR")
    if named:
        return Path(named).resolve()
    default = REPO_DIR / "build"
    if (default / "lib" / "libebd.so").exists():
        os.environ["EBD_BUILD_DIR"] = str(default)
        return default
    return None


BUILD_DIR = _build_dir()


@pytest.fixture(scope="session")
def build_dir() -> Path:
    """The build tree; the package loads the library from it (EBD_LIBRARY), so
    that an installed library cannot stand in for the one under test."""
    if BUILD_DIR is None:
        pytest.skip("no build tree: set EBD_BUILD_DIR or build into ./build")
    for part in ("lib/libebd.so", "sim/module-sim"):
        assert (BUILD_DIR / part).exists(), f"{part} is missing in the build tree {BUILD_DIR}"
    os.environ.setdefault("EBD_LIBRARY", str(BUILD_DIR / "lib" / "libebd.so"))
    return BUILD_DIR


class ModuleSim:
    """module-sim in the background, ended by its own pid."""

    START_TIMEOUT = 5.0

    def __init__(self, program: Path, options: List[str]) -> None:
        self.process = subprocess.Popen([str(program), *options], stdout=subprocess.PIPE, stdin=subprocess.DEVNULL)
        self.pid = self.process.pid
        self.device = self._first_line()

    def _first_line(self) -> str:
        # The device path is the first line it prints; wait for it with a deadline.
        assert self.process.stdout is not None
        selector = selectors.DefaultSelector()
        selector.register(self.process.stdout, selectors.EVENT_READ)
        deadline = time.monotonic() + self.START_TIMEOUT
        line = b""
        while not line.endswith(b"\n"):
            left = deadline - time.monotonic()
            if left <= 0 or not selector.select(left):
                self.stop()
                raise RuntimeError("module-sim printed no device")
            chunk = os.read(self.process.stdout.fileno(), 1)
            if not chunk:
                self.stop()
                raise RuntimeError("module-sim ended before it printed its device")
            line += chunk
        selector.close()
        return line.decode().strip()

    def stop(self) -> None:
        if self.process.returncode is not None:
            return
        os.kill(self.pid, signal.SIGTERM)
        try:
            self.process.wait(timeout=5)
        except subprocess.TimeoutExpired:
            os.kill(self.pid, signal.SIGKILL)
            self.process.wait()
        if self.process.stdout is not None:
            self.process.stdout.close()


@pytest.fixture
def attach_module(build_dir: Path, monkeypatch: pytest.MonkeyPatch) -> Iterator[Callable[..., ModuleSim]]:
    """``attach_module(port, *options)`` starts module-sim with ``options`` and
    maps COM<port> to its pseudo-terminal (EBD_COM<port>)."""
    started: List[ModuleSim] = []

    def attach(port: int, *options: str) -> ModuleSim:
        module = ModuleSim(build_dir / "sim" / "module-sim", list(options))
        started.append(module)
        monkeypatch.setenv(f"EBD_COM{port}", module.device)
        return module

    yield attach
    for module in started:
        module.stop()


class TraceRecords(logging.Handler):
    """Collects the trace records of the ``ebd`` logger."""

    def __init__(self) -> None:
        super().__init__(logging.DEBUG)
        self.records: List[logging.LogRecord] = []

    def emit(self, record: logging.LogRecord) -> None:
        self.records.append(record)

    def lines(self, logger_name: Optional[str] = None) -> List[str]:
        return [r.getMessage() for r in self.records if logger_name is None or r.name == logger_name]


@pytest.fixture
def trace_records() -> Iterator[TraceRecords]:
    handler = TraceRecords()
    logger = logging.getLogger("ebd")
    level = logger.level
    logger.setLevel(logging.DEBUG)
    logger.addHandler(handler)
    yield handler
    logger.removeHandler(handler)
    logger.setLevel(level)
