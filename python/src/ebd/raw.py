"""The raw functions of the C interface, with the types of ``lib/ebd.h``.

``ebd.raw.WComOpen(1, 115200, 0)`` calls the library's ``WComOpen`` as it is:
results are the C results (1 or 0, handles, codes), nothing is raised, and
output parameters are ctypes objects (``ctypes.byref(ctypes.c_uint16())``,
``ctypes.create_string_buffer(513)``). The library is loaded on first use.

``WInitLibrary`` ends every open session, those of ``ebd.Session``
included: it closes their ports without a word to the modules. A callback given to
``WSetTraceCallback`` must be an ``ebd.raw.TraceCallback`` that the caller
keeps alive while it is registered; registering one replaces the package's
own (the lines then no longer reach ``logging``).
"""

from __future__ import annotations

from typing import Any, List

from . import _library
from ._declarations import BY_NAME, DECLARATIONS, EBDHandle, TraceCallback, make_handle

__all__ = ["DECLARATIONS", "EBDHandle", "TraceCallback", "make_handle"] + [d.name for d in DECLARATIONS]


def __getattr__(name: str) -> Any:
    if name in BY_NAME:
        return getattr(_library.get(), name)
    raise AttributeError(f"module {__name__!r} has no attribute {name!r}")


def __dir__() -> List[str]:
    return sorted(set(globals()) | set(BY_NAME))
