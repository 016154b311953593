"""Control of the cellular radio module through the module-control library.

The package wraps ``libebd`` (``lib/ebd.h``) through ``ctypes``::

    import logging
    import ebd

    logging.basicConfig(level=logging.DEBUG)      # the library's trace lines
    with ebd.Session(port=1) as s:                # COM1; closed on every path
        s.init_service_mode()
        s.write_user_item(7, 1, b"station 4")
        print(s.read_user_item(7, 1))
        s.switch_java_autostart(False)
        s.switch_off()

    print(ebd.autostart_off(2))                   # the tool's workflow on COM2

What is here:

- ``Session``: one open port, methods for every operation of the library.
- ``EbdError``: raised when an operation fails, with its name and error code;
  ``PortOpenError``, also an ``OSError``, when the port cannot be opened.
- ``autostart_off`` and ``Outcome``: the tool's workflow and its five outcomes.
- ``library_version``: the release version of the loaded library.
- ``raw``: every C function as declared in ``lib/ebd.h``, for what ``Session``
  does not cover.
- The trace: the library's trace lines are logged at DEBUG level on
  ``ebd.COM<port>``, children of the logger ``ebd``.

The library is looked for in ``EBD_LIBRARY`` (a file), then among the
installed libraries, then in the build tree that ``EBD_BUILD_DIR`` names.
"""

from __future__ import annotations

from . import raw
from ._loader import LibraryNotFoundError
from .errors import EbdError, PortOpenError, error_meaning
from .results import ExitData, FlashSerialNumber, GainTable, IQOffsets, LibrarySettings, LoopbackData
from .session import (DEFAULT_BAUD_RATE, MAX_AT_COMMAND, MAX_CALIBRATION_ITEM_WRITE, MAX_NVRAM_READ, MAX_PORT,
                      MAX_USER_ITEM_WRITE, Session)
from .settings import load_settings, save_settings
from .trace import disable_trace_file, enable_trace_file, port_logger
from .version import library_version
from .workflow import Outcome, autostart_off

__version__ = "1.1.0"

__all__ = [
    "DEFAULT_BAUD_RATE", "MAX_AT_COMMAND", "MAX_CALIBRATION_ITEM_WRITE", "MAX_NVRAM_READ", "MAX_PORT",
    "MAX_USER_ITEM_WRITE", "EbdError", "ExitData", "FlashSerialNumber", "GainTable", "IQOffsets",
    "LibraryNotFoundError", "LibrarySettings", "LoopbackData", "Outcome", "PortOpenError", "Session",
    "autostart_off", "disable_trace_file", "enable_trace_file", "error_meaning", "library_version", "load_settings",
    "port_logger",
    "raw", "save_settings",
]
