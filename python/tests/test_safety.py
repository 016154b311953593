"""A Session in careless hands: wrong argument types, Ctrl-C during a call,
two threads, and ports that cannot be opened."""

from __future__ import annotations

import errno
import fcntl
import os
import signal
import subprocess
import sys
import threading
import time

import pytest

import ebd

WRONG_TYPES = [
    ("freeze_imei", (8,), "imei"),
    ("write_user_item", (1, 1, 42), "data"),
    ("write_user_item", (1, 1, None), "data"),
    ("write_calibration_item", (1, "text"), "data"),
    ("write_user_item", ("1", 1, b"x"), "user_id"),
    ("send_at_command", (5,), "command"),
    ("store_scaling_factors", (0, 0, [0] * 31 + ["0"]), r"factors\[31\]"),
]


def test_wrong_argument_types_raise_type_error_naming_the_parameter_before_anything_is_sent(
        attach_module, trace_records):
    attach_module(10)
    with ebd.Session(port=10) as session:
        before = len(trace_records.records)
        for method, args, parameter in WRONG_TYPES:
            with pytest.raises(TypeError, match=rf"{method}: {parameter} must be"):
                getattr(session, method)(*args)
        assert len(trace_records.records) == before, "a request went out"
        session.init_service_mode()
        for data in (bytearray(b"ab"), memoryview(b"ab")):
            session.write_user_item(1, 1, data)
            assert session.read_user_item(1, 1) == b"ab"
    with pytest.raises(TypeError, match="port"):
        ebd.Session("1")


def test_one_session_used_from_two_threads_serves_both(attach_module):
    attach_module(12)
    results = []
    with ebd.Session(port=12) as session:
        session.init_service_mode()
        session.write_user_item(1, 1, b"shared")
        other = threading.Thread(target=lambda: results.extend(session.read_user_item(1, 1) for _ in range(30)))
        other.start()
        results.extend(session.read_user_item(1, 1) for _ in range(30))
        other.join(timeout=60)
    assert results == [b"shared"] * 60


def test_an_open_that_fails_is_an_os_error_with_the_cause(attach_module, monkeypatch, tmp_path):
    module = attach_module(13)
    (tmp_path / "file").write_text("x")
    holder = os.open(module.device, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
    fcntl.flock(holder, fcntl.LOCK_EX | fcntl.LOCK_NB)
    cases = [(tmp_path / "missing", "no-device", errno.ENOENT, "no such device"),
             (tmp_path / "file", "not-serial", errno.ENOTTY, "not a serial device"),
             (module.device, "held", errno.EBUSY, "held by another program")]
    try:
        for device, cause, number, says in cases:
            monkeypatch.setenv("EBD_COM14", str(device))
            with pytest.raises(ebd.PortOpenError) as failed:
                ebd.Session(port=14)
            assert isinstance(failed.value, OSError) and isinstance(failed.value, ebd.EbdError)
            assert (failed.value.cause, failed.value.errno, failed.value.code) == (cause, number, 4)
            assert says in str(failed.value)
    finally:
        os.close(holder)


SIGINT_SCRIPT = """
import signal, sys, ebd
signal.signal(signal.SIGINT, signal.default_int_handler)
with ebd.Session(port=15) as session:
    print("ready", flush=True)
    try:
        session.init_service_mode()
    except KeyboardInterrupt:
        sys.exit(3)
"""


def test_ctrl_c_during_a_long_call_is_raised_when_it_returns(attach_module, monkeypatch):
    # Silent in the service protocol: the mode entry retries for seconds, tracing as it goes.
    attach_module(15, "--endless", "silent:nomi")
    monkeypatch.setenv("PYTHONPATH", os.pathsep.join(sys.path))
    script = subprocess.Popen([sys.executable, "-c", SIGINT_SCRIPT], stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, text=True)
    try:
        assert script.stdout is not None and script.stdout.readline() == "ready\n"
        time.sleep(1.0)
        os.kill(script.pid, signal.SIGINT)
        out, err = script.communicate(timeout=60)
    finally:
        if script.poll() is None:
            os.kill(script.pid, signal.SIGKILL)
            script.wait()
    assert script.returncode == 3 and "Exception ignored" not in err, out + err
