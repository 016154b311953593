"""The one loaded library of the process and the ports this package holds.

The library is loaded, declared and initialised (``WInitLibrary``) on first
use. ``WInitLibrary`` ends every session (it closes the port without a word to
the module), so this package runs it again only while it holds no port: the lock below orders it
with every ``WComOpen`` and ``WComClose`` made through the package.
"""

from __future__ import annotations

import atexit
import ctypes
import threading
from typing import Dict, Optional

from . import _declarations, _loader, _trace

_lock = threading.RLock()
_library: Optional[ctypes.CDLL] = None
# Port number -> handle of every session this package has open.
_open: Dict[int, int] = {}


def get() -> ctypes.CDLL:
    """The library with every operation declared; loaded on first call.

    Raises:
        LibraryNotFoundError: the library cannot be found or loaded.
    """
    global _library
    if _library is not None:
        return _library
    with _lock:
        if _library is None:
            library = _loader.load()
            try:
                _declarations.declare(library)
            except AttributeError as error:
                raise _loader.LibraryNotFoundError(
                    f"the loaded library {library._name} lacks an operation: {error}") from None
            library.WInitLibrary()
            _library = library
            atexit.register(_close_all)
    return _library


def reinitialise_if_idle() -> bool:
    """Runs ``WInitLibrary`` unless this package holds a port; True if it ran."""
    library = get()
    with _lock:
        if _open:
            return False
        library.WInitLibrary()
        return True


def open_session(port: int, baud_rate: int, trace: bool) -> int:
    """``WComOpen`` for ``port``; the handle, or 0 when the open failed.

    With ``trace`` the session's trace lines go to the logger of its port.
    """
    library = get()
    with _lock:
        trace_handle = _trace.trace_handle_for(port) if trace else 0
        if trace_handle:
            _trace.ensure_registered(library)
        handle = library.WComOpen(port, baud_rate, trace_handle)
        if handle:
            _open[port] = handle
        return int(handle)


def close_session(port: int, handle: int) -> bool:
    """``WComClose`` for a session this package opened; False if it was no
    longer open (closed already, or at the end of the process)."""
    library = get()
    with _lock:
        if _open.get(port) != handle:
            return False
        del _open[port]
        library.WComClose(handle)
        return True


def _close_all() -> None:
    # At the end of the process: close what is still open while the trace
    # callback can still run, then unregister the callback before the
    # interpreter tears down the objects behind it.
    with _lock:
        for port, handle in list(_open.items()):
            try:
                _library.WComClose(handle)  # type: ignore[union-attr]
            except Exception:  # pragma: no cover - nothing to report to at exit
                pass
            del _open[port]
        _trace.unregister(_library)
