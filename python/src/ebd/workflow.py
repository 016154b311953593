"""The autostart-off workflow of the tool as one function."""

from __future__ import annotations

import enum

from . import _library


class Outcome(enum.IntEnum):
    """The outcome of one autostart-off attempt. The values are the exit
    statuses of the ``autostart-off`` command line."""

    SUCCESS = 0
    NO_PORT = 1
    CANNOT_CONNECT = 2
    CANNOT_SWITCH_OFF_AUTOSTART = 3
    CANNOT_CLOSE = 4

    def __str__(self) -> str:
        return self.name

    @property
    def message(self) -> str:
        """The text the tool shows for this outcome."""
        return _MESSAGES[self]


_MESSAGES = {
    Outcome.SUCCESS: "Autostart successfully switched off",
    Outcome.NO_PORT: "No COM Port selected",
    Outcome.CANNOT_CONNECT: "Cannot connect to Module",
    Outcome.CANNOT_SWITCH_OFF_AUTOSTART: "Cannot switchoff autostart",
    Outcome.CANNOT_CLOSE: "Cannot close Module connection",
}

_BAUD_RATE = 115200


def autostart_off(port: int, *, trace: bool = True) -> Outcome:
    """Switches the Java autostart of the module on ``port`` off, as the tool does.

    Opens the port at 115200 baud, brings the module into service mode, switches
    the autostart off and switches the module off; the session is closed on
    every path. Failures are outcomes, not exceptions.

    The tool initialises the library (``WInitLibrary``) before each attempt;
    this function does so only while no session of this package is open, since
    the initialisation would forget those sessions.

    Args:
        port: 1 to 32 for COM1 to COM32; 0 means no port was chosen.
        trace: send the trace lines to the logger ``ebd.COM<port>``.

    Returns:
        The outcome; its value is the exit status of ``autostart-off``.

    Raises:
        LibraryNotFoundError: the library cannot be loaded.
    """
    if port == 0:
        return Outcome.NO_PORT
    if not 0 < port <= 0x7FFFFFFF:
        return Outcome.CANNOT_CONNECT  # no port has such a number; the library is not asked
    library = _library.get()
    _library.reinitialise_if_idle()
    handle = _library.open_session(port, _BAUD_RATE, trace)
    try:
        # A failed open leaves handle 0, which the mode entry refuses.
        if library.WInitServiceMode(handle) == 0:
            return Outcome.CANNOT_CONNECT
        if library.WSwitchJavaAutoStart(handle, 0) == 0:
            return Outcome.CANNOT_SWITCH_OFF_AUTOSTART
        if library.WSwitchOff(handle) == 0:
            return Outcome.CANNOT_CLOSE
        return Outcome.SUCCESS
    finally:
        if handle:
            _library.close_session(port, handle)
