"""ebd.Session against module-sim on a pseudo-terminal, in real time."""

from __future__ import annotations

import gc
import logging

import pytest

import ebd


def test_a_session_closes_when_its_block_raises_and_the_port_opens_again(attach_module, trace_records):
    attach_module(3)
    with pytest.raises(RuntimeError, match="test step failed"):
        with ebd.Session(port=3, baud=115200) as session:
            session.init_service_mode()
            raise RuntimeError("test step failed")
    assert session.closed and session.handle == 0
    lines = trace_records.lines("ebd.COM3")
    assert "(EBD ) WComClose()" in lines and lines[-1] == "(EBD ) WComClose: O.K."
    with pytest.raises(ValueError, match="closed"):
        session.switch_off()

    with ebd.Session(port=3) as again:
        again.init_service_mode()
        again.switch_java_autostart(False)
    assert trace_records.lines("ebd.COM3").count("(EBD ) WComOpen: O.K.") == 2


def test_a_second_session_on_a_port_is_refused_with_code_3_and_the_first_goes_on(attach_module):
    attach_module(4)
    with ebd.Session(port=4) as first:
        with pytest.raises(ebd.EbdError) as refused:
            ebd.Session(port=4)
        assert (refused.value.operation, refused.value.code, refused.value.port) == ("WComOpen", 3, 4)
        assert "already has a session" in refused.value.meaning
        # The refusal is recorded in the open session's entry; the session works on.
        assert first.last_error == 3
        first.init_service_mode()


def test_a_port_without_a_device_fails_to_open_with_code_4(monkeypatch, build_dir, tmp_path):
    monkeypatch.setenv("EBD_COM9", str(tmp_path / "no-such-device"))
    with pytest.raises(ebd.EbdError) as failed:
        ebd.Session(port=9)
    assert (failed.value.operation, failed.value.code) == ("WComOpen", 4)
    assert str(failed.value) == (f"WComOpen failed on COM9: error 4: COM9 ({tmp_path / 'no-such-device'}): "
                                 "no such device; is the module plugged in, or does EBD_COM9 name another device?")


def test_a_port_the_map_names_is_diagnosed_at_the_device_of_the_map(monkeypatch, build_dir, tmp_path):
    settings = tmp_path / "settings.conf"
    settings.write_text(f'[Ports]\n"COM9"="{tmp_path / "mapped"}"\n')
    monkeypatch.delenv("EBD_COM9", raising=False)
    monkeypatch.setenv("EBD_SETTINGS_FILE", str(settings))
    with pytest.raises(ebd.EbdError) as failed:
        ebd.Session(port=9)
    assert str(failed.value).endswith(f"COM9 ({tmp_path / 'mapped'}): no such device; is the module plugged in, "
                                      f"or does the port map ({settings} [Ports]) name another device for COM9?")


def test_nvram_items_round_trip_as_bytes(attach_module, trace_records):
    attach_module(5)
    every_byte = bytes(range(256)) * 2
    with ebd.Session(port=5) as session:
        session.init_service_mode()
        session.write_user_item(0x12345678, 7, every_byte)
        assert session.read_user_item(0x12345678, 7) == every_byte
        assert session.read_user_item(0x12345678, 7, size=3) == b"\x00\x01\x02"
        session.write_user_item(0x12345678, 7, b"\xff\x00")
        assert session.read_user_item(0x12345678, 7) == b"\xff\x00"

        longest = bytes(ebd.MAX_USER_ITEM_WRITE)
        session.write_user_item(1, 1, longest)
        assert session.read_user_item(1, 1) == longest

        session.delete_user_item(0x12345678, 7)
        with pytest.raises(ebd.EbdError) as missing:
            session.read_user_item(0x12345678, 7)
        assert (missing.value.operation, missing.value.code) == ("WReadNVRAMUserItem", 5)

        assert not session.check_calibration_item(9)
        session.write_calibration_item(9, b"\x5f\xd0\x05\x00")
        assert session.check_calibration_item(9)
        assert session.read_calibration_item(9) == b"\x5f\xd0\x05\x00"
        session.write_yk_calibration_item(300, b"\x01\x02")
        assert session.check_yk_calibration_item(300)
        assert session.read_yk_calibration_item(300) == b"\x01\x02"
    lines = trace_records.lines("ebd.COM5")
    # The bytes crossed into the library unchanged: the write's dump shows them.
    dump = lines.index("(EBD ) WWriteNVRAMUserItem: *pData ->")
    assert lines[dump + 1] == "(EBD )   00:    0x00 0x01 0x02 0x03 0x04 0x05 0x06 0x07 "
    assert "(EBD ) WWriteNVRAMUserItem(userId=305419896, dataSize=512)" in lines


def test_the_calibration_store_is_written_to_nvram_in_the_record_layout(attach_module):
    attach_module(5)
    with ebd.Session(port=5) as session:
        session.init_service_mode()
        session.store_afc(258, 128)
        session.store_am_loop_offset(3, 200)
        session.write_stored_calibration(reset=True)
        assert session.read_calibration_item(2) == bytes.fromhex("5f d0 05 00 02 01 00 00 80 00 00 00 ff 1f 00 00")
        assert session.read_calibration_item(5) == bytes([200, 0, 0, 0]) + bytes(12)
        with pytest.raises(ebd.EbdError) as bad_band:
            session.store_tx_dac_offset(7, 9, 0)
        assert (bad_band.value.code, bad_band.value.meaning) == (12, "invalid band")
        with pytest.raises(ebd.EbdError) as bad_modulation:
            session.store_scaling_factors(1, 9, [0] * 32)
        assert bad_modulation.value.code == 14


def test_a_refused_call_raises_with_its_name_code_and_meaning(attach_module, trace_records):
    attach_module(6, "--refuse-autostart", "3")
    with ebd.Session(port=6) as session:
        session.init_service_mode()
        with pytest.raises(ebd.EbdError) as refused:
            session.switch_java_autostart(False)
        error = refused.value
        assert (error.operation, error.code, error.port) == ("WSwitchJavaAutoStart", 5, 6)
        assert str(error) == ("WSwitchJavaAutoStart failed on COM6: error 5: "
                              "the confirm reports failure in its status field")
        lines = trace_records.lines("ebd.COM6")
        assert "(RPC ) EBDRPCSwitchJavaAutoStart: gives result 3, should be 0" in lines
        assert "(EBD ) WSwitchJavaAutoStart: EBDRPCSwitchJavaAutoStartfails with error 5" in lines
        assert lines[-1] == "(EBD ) WGetLastError: error 5"
        # The session is still usable after the refusal.
        session.switch_off()


def test_arguments_outside_their_c_type_are_refused_before_anything_is_sent(attach_module, trace_records):
    attach_module(7)
    with ebd.Session(port=7) as session:
        before = len(trace_records.records)
        with pytest.raises(ValueError, match=r"WSetGainProgramWord: band=256 is outside uint8_t"):
            session.set_gain_program_word(0x1234, 256, 0)
        with pytest.raises(ValueError, match="WChangeGPRSTiming: frameAdvance=-32769 is outside int16_t"):
            session.change_gprs_timing(0, -32769, 0, 0, 0)
        with pytest.raises(ValueError, match="1490 bytes, at most 1489"):
            session.write_user_item(1, 1, bytes(1490))
        with pytest.raises(ValueError, match="127 characters long, at most 126"):
            session.send_at_command("A" * 127)
        with pytest.raises(ValueError, match="factors: 32 values wanted, 31 given"):
            session.store_scaling_factors(0, 0, [0] * 31)
        with pytest.raises(ValueError, match=r"slot_mapping\[2\]=256"):
            session.configure_gprs_multi_frame(0, [0, 0, 256, 0, 0, 0, 0, 0], 1, 2, 3)
        assert len(trace_records.records) == before


def test_at_commands_and_measurements_come_back_as_python_values(attach_module, trace_records):
    attach_module(8)
    with ebd.Session(port=8) as session:
        session.init_service_mode()
        assert session.send_at_command("ATI") == "OK<CR><LF>"
        assert session.send_at_command("AT", wait_answer=False) is None
        offsets = session.get_used_iq_offset_values(measure=True)
        assert isinstance(offsets, ebd.IQOffsets)
        assert offsets._fields == ("rx_i", "rx_q", "tx_i", "tx_q")
        lines = trace_records.lines("ebd.COM8")
        assert lines[-5:-1] == [f"(EBD ) WGetUsedIQOffsetValues: rets {name} {value}" for name, value in
                                zip(("rxIOffset", "rxQOffset", "txIOffset", "txQOffset"), offsets)]
        loopback = session.get_loopback_data()
        assert [f"(EBD ) WGetLoopbackData: rets *{name} {value}" for name, value in zip(
            ("pTimingOffsetQbits", "pFreqOffsetHz", "pBitErrors", "pSoftDecisionTotal", "pRssi"), loopback)] == \
            trace_records.lines("ebd.COM8")[-6:-1]
        serial = session.get_flash_serial_number()
        assert serial.number == int.from_bytes(serial.raw, "little")
        session.set_burst_data_mode(3, 0, 0)
        dump = trace_records.lines("ebd.COM8")
        start = dump.index("(EBD ) WSetEbdBurstDataMode: burstData ->")
        assert dump[start + 1] == "(EBD )   00:    0x1fff 0xffff 0xffff 0xfff9 "


def test_trace_lines_reach_logging_on_one_logger_per_port(attach_module, trace_records):
    attach_module(10)
    attach_module(11)
    with ebd.Session(port=10) as ten, ebd.Session(port=11, trace=False) as eleven:
        gc.collect()  # the registered callback must survive a collection
        ten.exit_service_mode()
        eleven.exit_service_mode()
    ten_lines = trace_records.lines("ebd.COM10")
    assert ten_lines[0].startswith("(EBDV) Trace started at ")
    assert "(EBD ) WComOpen(portNum=10, baudRate=115200, tHandle=0x0000000a)" in ten_lines
    exit_at = ten_lines.index("(EBD ) WExitServiceMode()")
    assert ten_lines[exit_at:exit_at + 2] == ["(EBD ) WExitServiceMode()", "(EBD ) : WExitServiceMode O.K."]
    assert ten_lines[-1] == "(EBD ) WComClose: O.K."
    # The session without trace sends nothing to logging.
    assert trace_records.lines("ebd.COM11") == []
    assert {record.levelno for record in trace_records.records} == {logging.DEBUG}
    assert {record.name for record in trace_records.records} == {"ebd.COM10"}


def test_trace_records_can_be_silenced_per_port(attach_module, trace_records):
    attach_module(12)
    logging.getLogger("ebd.COM12").setLevel(logging.INFO)
    try:
        with ebd.Session(port=12) as session:
            session.exit_service_mode()
    finally:
        logging.getLogger("ebd.COM12").setLevel(logging.NOTSET)
    assert trace_records.lines("ebd.COM12") == []
