"""The library's trace: the loggers its lines go to, and the trace file.

Sessions send their trace lines to ``logging``: each line is one DEBUG
record on the logger ``ebd.COM<port>``, a child of ``ebd``, with the line
exactly as the library wrote it (``record.getMessage()``). To see them::

    logging.getLogger("ebd").setLevel(logging.DEBUG)
    logging.getLogger("ebd").addHandler(logging.StreamHandler())

A session opened with ``trace=False`` sends its lines to the library's trace
file instead, ``tracefiles/tracefile.txt`` below the working directory, which
is written only while ``enable_trace_file()`` is in force.
"""

from __future__ import annotations

from . import _library
from ._trace import LOGGER_NAME, logger, port_logger

__all__ = ["LOGGER_NAME", "logger", "port_logger", "enable_trace_file", "disable_trace_file"]


def enable_trace_file() -> None:
    """Writes the trace lines of sessions without a trace route to the trace
    file (``WEnableTraceFile``)."""
    _library.get().WEnableTraceFile()


def disable_trace_file() -> None:
    """Stops writing the trace file (``WDisableTraceFile``)."""
    _library.get().WDisableTraceFile()
