"""A Session in careless hands: wrong argument types, Ctrl-C during a call,
two threads, and ports that cannot be opened."""

from __future__ import annotations

import errno
import fcntl
import logging
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
    ("freeze_imei", (None,), "imei"),
    ("freeze_imei", ("12345678",), "imei"),
    ("write_user_item", (1, 1, 42), "data"),
    ("write_user_item", (1, 1, None), "data"),
    ("write_user_item", (1, 1, [1, 2]), "data"),
    ("write_calibration_item", (1, 3.0), "data"),
    ("send_response", (64,), "response_block"),
    ("write_user_item", ("1", 1, b"x"), "user_id"),
    ("set_afc", (1.5,), "value"),
    ("send_at_command", (5,), "command"),
    ("store_scaling_factors", (0, 0, "abc"), "factors"),
    ("store_scaling_factors", (0, 0, [0] * 31 + ["0"]), r"factors\[31\]"),
    ("read_user_item", (1, 1, None), "size"),
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
        # What is allowed still works: every kind of byte buffer.
        session.init_service_mode()
        for data in (b"ab", bytearray(b"ab"), memoryview(b"ab")):
            session.write_user_item(1, 1, data)
            assert session.read_user_item(1, 1) == b"ab"
    for args, error in [(("1",), TypeError), ((1, "fast"), TypeError), ((0,), ValueError)]:
        with pytest.raises(error, match="port|baud"):
            ebd.Session(*args)


def test_an_interrupt_raised_by_a_trace_handler_is_raised_when_the_call_returns(attach_module):
    attach_module(11)

    class Interrupting(logging.Handler):
        def __init__(self) -> None:
            super().__init__(logging.DEBUG)
            self.seen = -10**9  # armed once the session is open

        def emit(self, record: logging.LogRecord) -> None:
            self.seen += 1
            if self.seen == 3:
                raise KeyboardInterrupt

    logger = logging.getLogger("ebd.COM11")
    handler, level = Interrupting(), logger.level
    logger.addHandler(handler)
    logger.setLevel(logging.DEBUG)
    try:
        with ebd.Session(port=11) as session:
            handler.seen = 0
            with pytest.raises(KeyboardInterrupt):
                session.init_service_mode()
            assert handler.seen > 3, "the call ran to its end"
            assert signal.getsignal(signal.SIGINT) is signal.default_int_handler
            session.switch_java_autostart(False)  # nothing is left pending
    finally:
        logger.removeHandler(handler)
        logger.setLevel(level)


def test_one_session_used_from_two_threads_serves_both(attach_module):
    attach_module(12)
    failures = []
    with ebd.Session(port=12) as session:
        session.init_service_mode()
        session.write_user_item(1, 1, b"shared")

        def reader() -> None:
            for _ in range(30):
                try:
                    assert session.read_user_item(1, 1) == b"shared"
                except Exception as error:  # collected for the main thread
                    failures.append(error)

        threads = [threading.Thread(target=reader) for _ in range(2)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join(timeout=60)
        assert failures == []
        assert session.read_user_item(1, 1) == b"shared"


def test_an_open_that_fails_is_an_os_error_with_the_cause(attach_module, monkeypatch, tmp_path):
    module = attach_module(13)
    not_a_tty = tmp_path / "file"
    not_a_tty.write_text("x")
    holder = os.open(module.device, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
    try:
        fcntl.flock(holder, fcntl.LOCK_EX | fcntl.LOCK_NB)
        cases = [
            (str(tmp_path / "missing"), "no-device", errno.ENOENT, "no such device"),
            (str(not_a_tty), "not-serial", errno.ENOTTY, "not a serial device"),
            (module.device, "held", errno.EBUSY, "held by another program"),
        ]
        for device, cause, number, says in cases:
            monkeypatch.setenv("EBD_COM14", device)
            with pytest.raises(OSError) as failed:
                ebd.Session(port=14)
            error = failed.value
            assert isinstance(error, ebd.EbdError) and isinstance(error, ebd.PortOpenError)
            assert (error.cause, error.errno, error.code) == (cause, number, 4), device
            assert says in str(error) and says in error.detail
    finally:
        os.close(holder)
    # Held by this very process: a second descriptor elsewhere is no other program.
    assert "pid " + str(os.getpid()) not in error.detail


SIGINT_SCRIPT = """
import signal, sys, time
import ebd
signal.signal(signal.SIGINT, signal.default_int_handler)
with ebd.Session(port=15) as session:
    print("ready", flush=True)
    started = time.monotonic()
    try:
        session.init_service_mode()
    except KeyboardInterrupt:
        print("interrupted after %.1f s" % (time.monotonic() - started), flush=True)
        sys.exit(3)
    except ebd.EbdError:
        pass
print("not interrupted", flush=True)
"""


def test_ctrl_c_from_outside_during_a_long_call_is_not_lost(attach_module, monkeypatch):
    # The module falls silent in the service protocol: the mode entry retries for seconds.
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
    assert script.returncode == 3, out + err
    assert "Exception ignored" not in err
