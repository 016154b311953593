"""Why a port cannot be opened, told as the command line tells it.

On Linux the device of ``COM<n>`` is looked at from outside the library: a
stat, a trial open and a trial lock, and the other processes that have it
open (from ``/proc/*/fd``, compared by device number). On Windows the trial
open's error tells it. Nothing here takes the port from anybody.
"""

from __future__ import annotations

import errno
import os
import stat
import sys
from typing import List, NamedTuple, Optional

# A machine runs far fewer processes and descriptors; the bounds keep the search finite.
_MAX_PROCESSES = 100_000
_MAX_DESCRIPTORS = 4_000_000


class Diagnosis(NamedTuple):
    cause: str            # "no-device", "no-permission", "held", "not-serial", "other", or "" (free now)
    errno: int            # the matching errno value, 0 for ""
    text: str             # one line, as autostart-off says it
    holders: List[str]    # other processes with the device open, "pid N, name"


_SETTINGS_FILE = "/etc/ebd/settings.conf"
_MAX_DEVICE = 255


def _usable(device: str) -> bool:
    """Whether a port map entry can name a device: absolute, short, printable."""
    if not device or len(device) > _MAX_DEVICE or any(ord(c) < 0x20 or c == '"' for c in device):
        return False
    if sys.platform == "win32":
        return device.startswith("\\\\.\\") or (len(device) > 2 and device[1] == ":")
    return device.startswith("/")


def _mapped_linux(port: int) -> Optional[str]:
    """``"COM<port>"`` of the key [Ports] in the settings file, as the library reads it."""
    path = os.environ.get("EBD_SETTINGS_FILE") or _SETTINGS_FILE
    try:
        with open(path, encoding="utf-8", errors="replace") as settings:
            lines = settings.read(1 << 20).splitlines()
    except OSError:
        return None
    in_ports = False
    for line in lines:
        line = line.strip()
        if line.startswith("[") and line.endswith("]"):
            in_ports = line[1:-1] == "Ports"
            continue
        name, _, value = line.partition("=")
        if in_ports and name.strip() == f'"COM{port}"':
            value = value.strip()
            if len(value) >= 2 and value[0] == '"' and value[-1] == '"':
                return value[1:-1]
            return None
    return None


def _mapped_windows(port: int) -> Optional[str]:  # pragma: no cover - Windows only
    """The REG_SZ value ``COM<port>`` below HKEY_CURRENT_CONFIG\\QMB_Library\\Ports."""
    import winreg
    try:
        with winreg.OpenKey(winreg.HKEY_CURRENT_CONFIG, "QMB_Library\\Ports") as key:
            value, kind = winreg.QueryValueEx(key, f"COM{port}")
    except OSError:
        return None
    return value if kind == winreg.REG_SZ else None


def mapping_of(port: int) -> "tuple[str, str]":
    """The device ``COM<port>`` stands for and where that comes from: ``EBD_COM<port>``
    ("environment"), else the port map in the settings store ("map"), else the system's
    own device ("default")."""
    named = os.environ.get(f"EBD_COM{port}")
    if named:
        return named, "environment"
    mapped = _mapped_windows(port) if sys.platform == "win32" else _mapped_linux(port)
    if mapped is not None and _usable(mapped):
        return mapped, "map"
    if sys.platform == "win32":
        return f"\\\\.\\COM{port}", "default"
    return f"/dev/ttyS{port - 1}", "default"


def device_of(port: int) -> str:
    """The device path ``COM<port>`` stands for (see :func:`mapping_of`)."""
    return mapping_of(port)[0]


def _no_device(port: int, where: str) -> str:
    """The "no such device" line, with the hint that fits what named the device."""
    source = mapping_of(port)[1]
    if source == "environment":
        return where + f"no such device; is the module plugged in, or does EBD_COM{port} name another device?"
    if source == "map":
        location = os.environ.get("EBD_SETTINGS_FILE") or _SETTINGS_FILE
        return (where + f"no such device; is the module plugged in, or does the port map ({location} [Ports]) "
                f"name another device for COM{port}?")
    return where + "no such device; is the module plugged in, or is it on another port?"


def _described(pid: str) -> str:
    try:
        with open(f"/proc/{pid}/comm", encoding="utf-8", errors="replace") as comm:
            name = comm.readline().rstrip("\n")
    except OSError:
        name = ""
    return f"pid {pid}, {name}" if name else f"pid {pid}"


def _pty_slave_index(device: int) -> int:
    major = os.major(device)
    return (major - 136) * 256 + os.minor(device) if 136 <= major <= 143 else -1


def _pty_master_index(pid: str, fd: str, info: os.stat_result) -> int:
    # The far end of a pseudo-terminal plays the device itself (module-sim does).
    if os.major(info.st_rdev) != 5 or os.minor(info.st_rdev) != 2:
        return -1
    try:
        with open(f"/proc/{pid}/fdinfo/{fd}", encoding="ascii", errors="replace") as fdinfo:
            for line in fdinfo:
                if line.startswith("tty-index:"):
                    return int(line.split(":", 1)[1])
    except (OSError, ValueError):
        pass
    return -1


def users_of(device_path: str) -> List[str]:
    """The processes other than this one that have the character device at
    ``device_path`` open, as "pid N, name"; those whose descriptors this user
    may not read are not seen. Empty on systems without ``/proc``."""
    try:
        target = os.stat(device_path)
        processes = os.listdir("/proc")
    except OSError:
        return []
    if not stat.S_ISCHR(target.st_mode):
        return []
    pty_index = _pty_slave_index(target.st_rdev)
    self_pid = str(os.getpid())
    users: List[str] = []
    descriptors = 0
    for pid in processes[:_MAX_PROCESSES]:
        if not pid.isdigit() or pid == self_pid or descriptors > _MAX_DESCRIPTORS:
            continue
        try:
            fds = os.listdir(f"/proc/{pid}/fd")
        except OSError:
            continue
        user = far_end = False
        for fd in fds:
            descriptors += 1
            try:
                info = os.stat(f"/proc/{pid}/fd/{fd}")
            except OSError:
                continue
            if not stat.S_ISCHR(info.st_mode):
                continue
            user = user or info.st_rdev == target.st_rdev
            far_end = far_end or (pty_index >= 0 and _pty_master_index(pid, fd, info) == pty_index)
        if user and not far_end:
            users.append(_described(pid))
    return users


def _group_to_join(info: os.stat_result) -> str:
    # Only a group that may read and write the device and is not root's.
    if info.st_mode & 0o060 != 0o060 or info.st_gid == 0:
        return ""
    try:
        import grp
        return grp.getgrgid(info.st_gid).gr_name
    except (ImportError, KeyError):
        return f"gid {info.st_gid}"


def _held(where: str, holders: List[str]) -> str:
    named = f" ({'; '.join(holders)})" if holders else ""
    return (f"{where}held by another program{named}; modem managers often hold modem ports: "
            f"stop it or make it leave this port alone")


def _diagnose_linux(port: int, device: str) -> Diagnosis:
    import fcntl
    where = f"COM{port} ({device}): "
    try:
        info = os.stat(device)
    except OSError as error:
        if error.errno in (errno.ENOENT, errno.ENOTDIR):
            return Diagnosis("no-device", errno.ENOENT, _no_device(port, where), [])
        return Diagnosis("other", error.errno or 0, where + f"cannot be opened: {error.strerror}", [])
    if not stat.S_ISCHR(info.st_mode):
        return Diagnosis("not-serial", errno.ENOTTY, where + "not a serial device", [])
    try:
        fd = os.open(device, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK | os.O_CLOEXEC)
    except OSError as error:
        if error.errno in (errno.EACCES, errno.EPERM):
            group = _group_to_join(info)
            if not group:
                return Diagnosis("no-permission", errno.EACCES,
                                 where + "no permission; no group may use it: ask the administrator for access", [])
            return Diagnosis("no-permission", errno.EACCES,
                             where + f"no permission; members of the group '{group}' may use it: root adds a user "
                             f"to it (usermod -aG {group} USER), and it counts from the user's next login", [])
        if error.errno == errno.EBUSY:
            holders = users_of(device)
            return Diagnosis("held", errno.EBUSY, _held(where, holders), holders)
        if error.errno in (errno.ENXIO, errno.ENODEV, errno.EIO):
            return Diagnosis("no-device", errno.ENODEV, _no_device(port, where), [])
        return Diagnosis("other", error.errno or 0, where + f"cannot be opened: {error.strerror}", [])
    try:
        if not os.isatty(fd):
            return Diagnosis("not-serial", errno.ENOTTY, where + "not a serial device", [])
        try:
            fcntl.flock(fd, fcntl.LOCK_EX | fcntl.LOCK_NB)
        except OSError as error:
            if error.errno in (errno.EWOULDBLOCK, errno.EAGAIN):
                holders = users_of(device)
                return Diagnosis("held", errno.EBUSY, _held(where, holders), holders)
            return Diagnosis("other", error.errno or 0, where + f"cannot be opened: {error.strerror}", [])
    finally:
        os.close(fd)
    return Diagnosis("", 0, "", [])


def _diagnose_windows(port: int, device: str) -> Diagnosis:  # pragma: no cover - Windows only
    import ctypes
    from ctypes import wintypes
    kernel32 = ctypes.WinDLL("kernel32", use_last_error=True)
    kernel32.CreateFileW.restype = wintypes.HANDLE
    kernel32.CreateFileW.argtypes = [wintypes.LPCWSTR, wintypes.DWORD, wintypes.DWORD, wintypes.LPVOID,
                                     wintypes.DWORD, wintypes.DWORD, wintypes.HANDLE]
    kernel32.CloseHandle.argtypes = [wintypes.HANDLE]
    where = f"COM{port} ({device}): "
    generic_read_write, open_existing = 0xC0000000, 3
    handle = kernel32.CreateFileW(device, generic_read_write, 0, None, open_existing, 0, None)
    if handle not in (None, wintypes.HANDLE(-1).value):
        kernel32.CloseHandle(handle)
        return Diagnosis("", 0, "", [])
    code = ctypes.get_last_error()
    if code in (2, 3, 123, 20, 21, 55):  # not found, path not found, invalid name, bad unit, not ready, no device
        return Diagnosis("no-device", errno.ENOENT, where + "no such port; is the module plugged in? The Device "
                         "Manager lists the COM ports under \"Ports (COM & LPT)\"", [])
    if code in (5, 32, 170):  # access denied, sharing violation, busy: another program has it open
        return Diagnosis("held", errno.EBUSY, where + "held by another program (Windows reports access denied); "
                         "close the program that uses the port, for example a terminal or a modem tool, and try "
                         "again", [])
    return Diagnosis("other", 0, where + f"cannot be opened (error {code})", [])


def diagnose(port: int) -> Diagnosis:
    """Why ``COM<port>`` cannot be opened now; cause "" when it can."""
    device = device_of(port)
    if sys.platform == "win32":
        return _diagnose_windows(port, device)
    return _diagnose_linux(port, device)
