"""ebd.autostart_off: the tool's workflow and its five outcomes against module-sim."""

from __future__ import annotations

import subprocess

import pytest

import ebd
from ebd import Outcome


def test_the_outcomes_carry_the_exit_statuses_and_texts_of_the_command_line():
    assert [(o.name, o.value, o.message) for o in Outcome] == [
        ("SUCCESS", 0, "Autostart successfully switched off"),
        ("NO_PORT", 1, "No COM Port selected"),
        ("CANNOT_CONNECT", 2, "Cannot connect to Module"),
        ("CANNOT_SWITCH_OFF_AUTOSTART", 3, "Cannot switchoff autostart"),
        ("CANNOT_CLOSE", 4, "Cannot close Module connection"),
    ]


@pytest.mark.parametrize("options, expected", [
    ((), Outcome.SUCCESS),
    (("--start", "nomi"), Outcome.SUCCESS),
    (("--refuse-autostart", "3"), Outcome.CANNOT_SWITCH_OFF_AUTOSTART),
    (("--silent",), Outcome.CANNOT_CONNECT),
    (("--start", "off"), Outcome.CANNOT_CONNECT),
], ids=["at-mode", "nomi-mode", "refuses-autostart", "silent", "switched-off"])
def test_each_module_gives_its_outcome_as_the_command_line_does(attach_module, build_dir, trace_records,
                                                                 options, expected):
    attach_module(13, *options)
    assert ebd.autostart_off(13) is expected
    lines = trace_records.lines("ebd.COM13")
    assert "(EBD ) WComOpen(portNum=13, baudRate=115200, tHandle=0x0000000d)" in lines
    assert lines[-1] == "(EBD ) WComClose: O.K.", "the session is closed on every path"
    # The program, against a module of the same kind, ends with the same status.
    twin = attach_module(14, *options)
    run = subprocess.run([str(build_dir / "app" / "autostart-off"), "--port", "14", "--device", twin.device],
                         capture_output=True, text=True, timeout=60)
    assert (run.returncode, run.stdout) == (expected.value, expected.message + "\n")


def test_a_module_that_never_switches_off_gives_cannot_close(attach_module, trace_records):
    attach_module(15, "--never-switch-off")
    assert ebd.autostart_off(15) is Outcome.CANNOT_CLOSE
    lines = trace_records.lines("ebd.COM15")
    assert lines.count("(EBD ) WSwitchOff: call EBDRPCSwitchOff...") == 5
    assert "(EBD ) WSwitchOff: target not switched off!?" in lines


def test_no_port_and_impossible_ports_need_no_module(build_dir, trace_records):
    assert ebd.autostart_off(0) is Outcome.NO_PORT
    assert ebd.autostart_off(-1) is Outcome.CANNOT_CONNECT
    assert ebd.autostart_off(2 ** 32 + 1) is Outcome.CANNOT_CONNECT, "not cut down to port 1"
    assert trace_records.records == []
    assert ebd.autostart_off(33) is Outcome.CANNOT_CONNECT
    assert "(EBD ) WComOpen: bad port 33, error 3" in trace_records.lines("ebd.COM33")


def test_the_workflow_leaves_open_sessions_alone(attach_module):
    # The tool initialises the library before each attempt, which forgets
    # every session; with a session open the function must not.
    attach_module(16)
    attach_module(17)
    with ebd.Session(port=16) as session:
        session.init_service_mode()
        assert ebd.autostart_off(17) is Outcome.SUCCESS
        session.switch_java_autostart(False)
        session.switch_off()
    assert ebd.autostart_off(16) is Outcome.CANNOT_CONNECT, "the module on COM16 is off now"


def test_the_workflow_refuses_a_port_held_by_a_session(attach_module):
    attach_module(18)
    with ebd.Session(port=18) as session:
        assert ebd.autostart_off(18) is Outcome.CANNOT_CONNECT
        assert session.last_error == 3
        session.init_service_mode()
