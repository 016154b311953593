"""The machine-wide settings of the library: a port and a baud rate."""

from __future__ import annotations

from ctypes import byref, c_uint8, c_uint32

from . import _library
from ._declarations import check_arguments
from .errors import EbdError
from .results import LibrarySettings


def save_settings(port: int, baud_rate: int) -> None:
    """Stores the port and baud rate in the settings file (``SaveLibrarySettings``).

    Raises:
        EbdError: the file could not be written.
    """
    check_arguments("SaveLibrarySettings", (port, baud_rate))
    if _library.get().SaveLibrarySettings(port, baud_rate) == 0:
        raise EbdError("SaveLibrarySettings", None, meaning="the settings file could not be written")


def load_settings() -> LibrarySettings:
    """The stored port (``LoadLibrarySettings``); port 1 when none is stored.
    The baud rate comes back as 115200, whatever was saved."""
    port, baud_rate = c_uint8(), c_uint32()
    found = _library.get().LoadLibrarySettings(byref(port), byref(baud_rate)) != 0
    return LibrarySettings(port.value, baud_rate.value, found)
