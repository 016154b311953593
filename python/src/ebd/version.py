"""The release version of the loaded library."""

from __future__ import annotations

from . import _library


def library_version() -> str:
    """The release version of the loaded library (``WGetLibraryVersion``),
    such as ``"1.1.0"``; needs no module. It equals ``ebd.__version__`` when
    the package and the library come from the same release."""
    return _library.get().WGetLibraryVersion().decode("ascii")
