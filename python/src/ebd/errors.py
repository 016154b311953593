"""The error raised when an operation of the library reports failure, and the
meanings of the codes it stores as a port's last error.

The codes are those of the C header ``<ebd/ebd_errors.h>``; the library's
``WGetErrorText`` gives the same meanings. These tables also tell what a code
means for a given operation (4 after ``WComOpen``, the identity statuses)."""

from __future__ import annotations

from typing import Optional

# Codes of the remote calls to the module's firmware.
REMOTE_CALL_CODES = {
    0: "no error code was stored for this failure",
    1: "the request could not be sent",
    2: "no confirm received",
    4: "the confirm's reference differs from the request's "
       "(for an operation-mode change: the confirm's status is not 0)",
    5: "the confirm reports failure in its status field",
    6: "a calibration-check confirm carries an unknown status",
    9: "no memory for a request or confirm area",
}

# Codes the library itself stores.
LIBRARY_CODES = {
    3: "the port already has a session, or the port number is above 32",
    10: "invalid session handle",
    12: "invalid band",
    13: "invalid AM loop offset (64 or more)",
    14: "invalid modulation mode",
    15: "invalid ramp DAC value (1024 or more)",
    16: "the module reported a frequency-burst status other than 1 or 2",
    17: "the calibration journal could not be written to the state directory; nothing was erased",
}

# What code 4 means when opening a session: the port, not the module, failed.
_OPEN_CODES = {
    4: "the port could not be opened or set up (no such device, no permission, or held by another program)",
}

# Identity and security calls report the firmware's signed status byte s as 700 + s.
_IDENTITY_BASE = 700
_IDENTITY_OPERATIONS = frozenset({
    "WGetFlashSerialNumber", "WGetSingleIE", "WResetIMEIMode", "WSetCustomerIMEIMode", "WReadSerialNumber",
    "WReadIMEI", "WInitIMEI", "WFreezeIMEI", "WSetSecurityMode", "WRequestChallenge", "WSendResponse",
    "WGetMobileInformation",
})


def error_meaning(code: Optional[int], operation: Optional[str] = None) -> str:
    """The meaning of a last-error ``code``, as far as ``operation`` settles it.

    >>> error_meaning(5)
    'the confirm reports failure in its status field'
    >>> error_meaning(4, "WComOpen")[:27]
    'the port could not be opene'
    """
    if code is None:
        return "the operation stores no error code"
    if operation == "WComOpen" and code in _OPEN_CODES:
        return _OPEN_CODES[code]
    if code in REMOTE_CALL_CODES:
        return REMOTE_CALL_CODES[code]
    if code in LIBRARY_CODES:
        return LIBRARY_CODES[code]
    status = code - _IDENTITY_BASE
    if -128 <= status <= 127 and (operation is None or operation in _IDENTITY_OPERATIONS):
        return f"the firmware reports status {status}"
    return "unknown error code"


class EbdError(Exception):
    """An operation of the library returned 0 (failure).

    Attributes:
        operation: the C name of the operation that failed, e.g.
            ``"WSwitchJavaAutoStart"``.
        code: the port's last error after the failure (``WGetLastError``), or
            None for an operation that stores none (the settings file). A few
            failures store no new code: the mode entries when the module cannot
            be reached, a switch-off after which the module keeps answering. The
            code then is whatever an earlier failure left (0 if none).
        meaning: what the code means.
        port: the port number of the session, or None.
    """

    def __init__(self, operation: str, code: Optional[int], port: Optional[int] = None,
                 meaning: Optional[str] = None) -> None:
        self.operation = operation
        self.code = code
        self.port = port
        self.meaning = meaning if meaning is not None else error_meaning(code, operation)
        where = f" on COM{port}" if port is not None else ""
        if code is None:
            text = f"{operation} failed{where}: {self.meaning}"
        else:
            text = f"{operation} failed{where}: error {code}: {self.meaning}"
        super().__init__(text)

    def __reduce__(self):  # keeps the attributes across pickling (multiprocessing)
        return (type(self), (self.operation, self.code, self.port, self.meaning))


class PortOpenError(EbdError, OSError):
    """The port could not be opened (``WComOpen`` failed); also an ``OSError``.

    Attributes, beside those of ``EbdError``:
        cause: "no-device", "no-permission", "held" (another program has the
            port), "not-serial", "in-use" (a session of this process has it,
            code 3), "other", or "" when the port could be opened by the time
            it was looked at.
        errno: the matching ``errno`` value (ENOENT, EACCES, EBUSY, ...), or 0.
        detail: why, in the words of the command line
            (``"COM3 (/dev/ttyUSB0): no permission; ..."``).
        holders: the other programs that have the port open, "pid N, name"
            (Linux; only those whose descriptors this user may read).
    """

    def __init__(self, operation: str, code: Optional[int], port: Optional[int] = None,
                 meaning: Optional[str] = None, cause: str = "", errno_value: int = 0, detail: str = "",
                 holders: Optional[list] = None) -> None:
        super().__init__(operation, code, port, detail or meaning)
        self.cause = cause
        self.errno = errno_value
        self.strerror = detail or self.meaning
        self.detail = detail
        self.holders = list(holders or [])

    def __str__(self) -> str:
        return str(self.args[0]) if self.args else ""

    def __reduce__(self):
        return (type(self), (self.operation, self.code, self.port, self.meaning, self.cause, self.errno,
                             self.detail, self.holders))
