"""Finding and loading the module-control library.

Everything that differs between Linux and Windows is in this module: the file
names of the library, where a build tree keeps it, and how a library file is
loaded. The rest of the package sees one loaded ``ctypes.CDLL``.

The library is searched in this order:

1. ``EBD_LIBRARY``: the path of the library file. When it is set, nothing else
   is tried, so that a station never runs against another library than the one
   it names.
2. The installed library, as ``ctypes.util.find_library`` finds it.
3. A build tree named by ``EBD_BUILD_DIR`` (the library is in its ``lib``
   folder).
"""

from __future__ import annotations

import ctypes
import ctypes.util
import os
import sys
from typing import List, Optional

ENV_LIBRARY = "EBD_LIBRARY"
ENV_BUILD_DIR = "EBD_BUILD_DIR"

_WINDOWS = sys.platform == "win32"

# The names find_library is asked for, and the file names in a build tree.
if _WINDOWS:
    _FIND_NAMES = ("libebd", "ebd")
    _FILE_NAMES = ("libebd.dll", "ebd.dll")
elif sys.platform == "darwin":
    _FIND_NAMES = ("ebd",)
    _FILE_NAMES = ("libebd.dylib",)
else:
    _FIND_NAMES = ("ebd",)
    _FILE_NAMES = ("libebd.so", "libebd.so.1")


class LibraryNotFoundError(OSError):
    """The module-control library could not be found or loaded.

    The message lists every place that was tried. Set ``EBD_LIBRARY`` to the
    library file, install the library, or set ``EBD_BUILD_DIR`` to a build tree.
    """


def _load_file(path: str) -> ctypes.CDLL:
    if _WINDOWS and os.path.isabs(path):
        # A DLL's own dependencies (the compiler's runtime DLLs) are looked for
        # beside it only when its folder is added to the search path.
        folder = os.path.dirname(path)
        if hasattr(os, "add_dll_directory") and os.path.isdir(folder):
            os.add_dll_directory(folder)
    return ctypes.CDLL(path)


def build_tree_candidates(build_dir: str) -> List[str]:
    """The library files a build tree may hold, most likely first."""
    return [os.path.join(build_dir, folder, name) for folder in ("lib", "bin", "") for name in _FILE_NAMES]


def locate() -> List[str]:
    """The library files and names to try, in order (without loading them)."""
    explicit = os.environ.get(ENV_LIBRARY)
    if explicit:
        return [explicit]
    candidates: List[str] = []
    for name in _FIND_NAMES:
        found = ctypes.util.find_library(name)
        if found and found not in candidates:
            candidates.append(found)
    build_dir = os.environ.get(ENV_BUILD_DIR)
    if build_dir:
        candidates.extend(path for path in build_tree_candidates(build_dir) if os.path.exists(path))
    return candidates


def load() -> ctypes.CDLL:
    """Loads the library from the first place that has it.

    Raises:
        LibraryNotFoundError: no candidate exists or none of them loads.
    """
    problems: List[str] = []
    candidates = locate()
    for candidate in candidates:
        try:
            return _load_file(candidate)
        except OSError as error:
            problems.append(f"{candidate}: {error}")
    tried: List[str] = []
    if os.environ.get(ENV_LIBRARY):
        tried.append(f"{ENV_LIBRARY}={os.environ[ENV_LIBRARY]}")
    else:
        tried.append("the installed library (" + ", ".join(_FIND_NAMES) + "): " + _found_text(candidates))
        build_dir: Optional[str] = os.environ.get(ENV_BUILD_DIR)
        tried.append(f"{ENV_BUILD_DIR}={build_dir}" if build_dir else f"{ENV_BUILD_DIR} is not set")
    detail = "; ".join(problems) if problems else "no library file found"
    raise LibraryNotFoundError(
        f"cannot load the module-control library ({detail}); tried " + ", ".join(tried))


def _found_text(candidates: List[str]) -> str:
    return "found" if candidates else "not found"
