"""The library's trace lines as ``logging`` records.

One callback is registered with ``WSetTraceCallback`` for the whole process.
Sessions of this package use their port number as trace handle, so a line is
logged at DEBUG level on the logger ``ebd.COM<port>`` (a child of ``ebd``); a
line with any other trace handle goes to ``ebd`` itself. The callback object
is held here for as long as it is registered, since the library keeps only a
pointer to it.
"""

from __future__ import annotations

import contextlib
import ctypes
import logging
import signal
import threading
from typing import Iterator, List, Optional

from ._declarations import TraceCallback

LOGGER_NAME = "ebd"
logger = logging.getLogger(LOGGER_NAME)
logger.addHandler(logging.NullHandler())

_lock = threading.Lock()
_callback: Optional[TraceCallback] = None


def port_logger(port: int) -> logging.Logger:
    """The logger of one port's trace lines, ``ebd.COM<port>``."""
    return logging.getLogger(f"{LOGGER_NAME}.COM{port}")


def trace_handle_for(port: int) -> int:
    """The trace handle a session on ``port`` is opened with (never 0)."""
    return port if 1 <= port <= 255 else 0xEBD0_0000 | (port & 0xFFFF)


def _logger_for(trace_handle: int) -> logging.Logger:
    if 1 <= trace_handle <= 255:
        return port_logger(trace_handle)
    return logger


# What the callback caught that must not be lost (KeyboardInterrupt,
# SystemExit, ...), per thread: the library calls back on the caller's thread.
_pending = threading.local()


def _deliver(trace_handle: int, line: Optional[bytes]) -> int:
    # Runs inside a library call: nothing may escape into the C frames, where
    # ctypes would print it and drop it. An interrupt is kept for
    # raise_pending() once the call has returned.
    try:
        target = _logger_for(trace_handle)
        if target.isEnabledFor(logging.DEBUG):
            text = (line or b"").decode("ascii", "backslashreplace")
            target.debug(text)
    except Exception:  # pragma: no cover - a failing handler must not break the call
        pass
    except BaseException as interrupt:  # KeyboardInterrupt, SystemExit, ...
        if getattr(_pending, "error", None) is None:
            _pending.error = interrupt
    return 0


@contextlib.contextmanager
def keeping_interrupts() -> Iterator[None]:
    """Holds back signals that arrive during a library call and hands them to
    their handler when it returns: Ctrl-C may land in the trace callback,
    where no exception can get out, and is raised as KeyboardInterrupt once
    the call has returned. Only the main thread receives signals."""
    if threading.current_thread() is not threading.main_thread():
        yield
        return
    previous = signal.getsignal(signal.SIGINT)
    if not callable(previous):  # ignored, or the system's default
        yield
        return
    caught: List[int] = []
    signal.signal(signal.SIGINT, lambda number, frame: caught.append(number))
    try:
        yield
    finally:
        signal.signal(signal.SIGINT, previous)
        if caught:
            previous(caught[0], None)


def raise_pending() -> None:
    """Raises what the callback kept during the last library call of this
    thread (a KeyboardInterrupt from Ctrl-C, for example), if anything."""
    error = getattr(_pending, "error", None)
    if error is not None:
        _pending.error = None
        raise error


def ensure_registered(library: ctypes.CDLL) -> None:
    """Registers the callback once; it stays registered until the process ends."""
    global _callback
    with _lock:
        if _callback is None:
            callback = TraceCallback(_deliver)
            library.WSetTraceCallback(callback)
            _callback = callback


def unregister(library: Optional[ctypes.CDLL]) -> None:
    """Unregisters the callback, then lets go of it."""
    global _callback
    with _lock:
        if _callback is not None and library is not None:
            library.WSetTraceCallback(None)
        _callback = None
