"""``Session``: one open port with a module behind it."""

from __future__ import annotations

import collections.abc
import ctypes
import errno
import functools
import inspect
import logging
import sys
import threading
import typing
from ctypes import byref, c_int16, c_uint8, c_uint16, c_uint32
from typing import Any, List, Optional, Sequence, Tuple, Union

from . import _declarations, _diagnosis, _library, _trace
from ._declarations import array, byte_area, check_arguments
from .errors import EbdError, PortOpenError
from .results import ExitData, FlashSerialNumber, GainTable, IQOffsets, LoopbackData

MAX_PORT = 32
DEFAULT_BAUD_RATE = 115200
# An AT command line without its carriage return, and a number to dial.
MAX_AT_COMMAND = 126
MAX_DIAL_NUMBER = 251
# The area an AT answer is written into: 128 characters, each line end as a
# four-character marker, and the terminating NUL.
_AT_ANSWER_AREA = 4 * 128 + 1
# A message carries at most 1500 data bytes; a read confirm spends 5 of them
# on its header, a user-item write 11 and a calibration-item write 7.
MAX_NVRAM_READ = 1495
MAX_USER_ITEM_WRITE = 1489
MAX_CALIBRATION_ITEM_WRITE = 1493

Text = Union[str, bytes]


def _text(value: Text, what: str, limit: int) -> bytes:
    data = value.encode("ascii") if isinstance(value, str) else _declarations.bytes_of(value, what)
    if b"\0" in data:
        raise ValueError(f"{what} contains a NUL character")
    if len(data) > limit:
        raise ValueError(f"{what} is {len(data)} characters long, at most {limit}")
    return data


def _answer(area: Any) -> str:
    return area.value.decode("ascii", "backslashreplace")


class Session:
    """A session with the module on one serial port.

    Opening the session opens the port (``WComOpen``); ``close()`` closes it
    (``WComClose``). Used as a context manager, the session is closed when the
    block ends, also when it ends with an exception::

        with ebd.Session(port=1, baud=115200) as s:
            s.init_service_mode()
            s.switch_java_autostart(False)
            s.switch_off()

    Port ``n`` is ``COMn``; on Linux that is the device in the environment
    variable ``EBD_COMn`` (else ``/dev/ttyS<n-1>``).

    Every method raises ``ebd.EbdError`` when its operation fails; the error
    names the operation and carries the port's last error code with its
    meaning. Arguments outside the range of their C type raise ``ValueError``
    before anything is sent. The trace lines of the session go to the logger
    ``ebd.COM<port>`` at DEBUG level.

    The methods by area:

    - modes: ``init_service_mode``, ``init_normal_mode``, ``init_test_mode``,
      ``init_airplane_mode``, ``exit_service_mode``, ``bootloader_info``;
    - autostart and switch-off: ``switch_java_autostart``, ``switch_off``;
    - AT commands: ``send_at_command``, ``receive_at_command``,
      ``send_at_command_and_wait``, ``start_circuit_switched_call``,
      ``start_gprs_attach``, ``prepare_network_registration``;
    - NVRAM items as bytes: ``read_user_item``, ``write_user_item``,
      ``delete_user_item``, ``erase_all_user_items``, the same for
      calibration items (``*_calibration_item``, ``*_yk_calibration_item``);
    - the calibration store: ``store_*``, then ``write_stored_calibration``;
    - radio test and measurement: ``set_afc_and_measure``,
      ``get_power_value``, ``get_used_iq_offset_values``,
      ``get_loopback_data``, ``bbc_register``, ``gain_codes``, ...;
    - burst, slot and frame: ``set_burst_data``, ``set_burst_data_mode``,
      ``set_power_ramp``, ``configure_gprs_*_slot``,
      ``configure_gprs_multi_frame``, ``change_gprs_timing``, ...;
    - identity: ``read_imei``, ``read_serial_number``,
      ``get_flash_serial_number``, ``request_challenge``, ...

    A session guards itself with a lock: calls from several threads on one
    session run one after another, never at once. Sessions on different ports
    may run on different threads at the same time. A ``KeyboardInterrupt``
    (Ctrl-C) during a call cannot stop the library; it is raised when the
    call returns.

    Arguments of the wrong type raise ``TypeError`` naming the parameter
    before anything is sent; byte arguments take ``bytes``, ``bytearray`` or
    ``memoryview`` only. For an operation this class
    does not cover, call the raw function with the session's ``handle``:
    ``ebd.raw.WGetLastError(s.handle)``.
    """

    def __init__(self, port: int = 1, baud: int = DEFAULT_BAUD_RATE, *, trace: bool = True) -> None:
        """Opens the port.

        Args:
            port: the port number, 1 to 32 (COM1 to COM32).
            baud: the baud rate of the line.
            trace: send the session's trace lines to ``logging`` (logger
                ``ebd.COM<port>``); False sends them to the trace file instead,
                which is written only once ``WEnableTraceFile`` was called.

        Raises:
            ValueError: the port is not 1 to 32, or the baud rate not positive.
            PortOpenError: an ``EbdError`` and ``OSError``: the port could not
                be opened (code 4; ``cause`` and ``detail`` tell why, as the
                command line does: no such device, no permission, held by
                another program, which it names) or already has a session
                (code 3).
            LibraryNotFoundError: the library cannot be loaded.
        """
        for name, value in (("port", port), ("baud", baud)):
            if not isinstance(value, int):
                raise TypeError(f"{name} must be an int, not {type(value).__name__}")
        if not 1 <= port <= MAX_PORT:
            raise ValueError(f"port must be 1 to {MAX_PORT}, not {port!r}")
        if not 0 < baud <= 0x7FFFFFFF:
            raise ValueError(f"baud must be a positive baud rate, not {baud!r}")
        self._handle = 0
        self.port = port
        self.baud = baud
        self.logger: logging.Logger = _trace.port_logger(port)
        self._lib = _library.get()
        self._lock = threading.RLock()
        with _trace.keeping_interrupts():
            handle = _library.open_session(port, baud, trace)
            self._handle = handle
            _trace.raise_pending()
        if handle == 0:
            code = int(self._lib.WGetLastError(_declarations.make_handle(port)))
            raise _open_error(port, code)

    # ---- Session --------------------------------------------------------------

    def __enter__(self) -> "Session":
        """Returns the open session."""
        if self.closed:
            raise ValueError("the session is closed")
        return self

    def __exit__(self, *exc_info: Any) -> None:
        """Closes the session; an exception of the block passes on."""
        self.close()

    def __del__(self) -> None:
        # A forgotten session frees its port when it is collected.
        if getattr(self, "_handle", 0) and not sys.is_finalizing():
            try:
                self.close()
            except Exception:
                pass

    def __repr__(self) -> str:
        state = "closed" if self.closed else f"handle=0x{self._handle:08X}"
        return f"<ebd.Session COM{self.port} {self.baud} baud, {state}>"

    @property
    def handle(self) -> int:
        """The session handle for the raw functions (0 once closed)."""
        return self._handle

    @property
    def closed(self) -> bool:
        """True once the session is closed."""
        return self._handle == 0

    @property
    def last_error(self) -> int:
        """The port's last error (``WGetLastError``); successes do not clear it."""
        with self._lock:
            return int(self._lib.WGetLastError(self._open_handle()))

    def close(self) -> None:
        """Closes the session and its port (``WComClose``); closing twice does nothing."""
        handle, self._handle = self._handle, 0
        if handle:
            _library.close_session(self.port, handle)

    def _open_handle(self) -> int:
        if self._handle == 0:
            raise ValueError("the session is closed")
        return self._handle

    def _call(self, name: str, *args: Any) -> int:
        """Calls operation ``name`` with the session handle and ``args``;
        raises EbdError on a 0 result."""
        check_arguments(name, (self._handle,) + args)
        result = getattr(self._lib, name)(self._open_handle(), *args)
        if result == 0:
            _trace.raise_pending()
            raise self._failure(name, int(self._lib.WGetLastError(self._handle)))
        return int(result)

    def _failure(self, name: str, code: int) -> EbdError:
        # Another program with the port open may take the module's replies: name it.
        error = EbdError(name, code, self.port)
        others = [] if sys.platform == "win32" else _diagnosis.users_of(_diagnosis.device_of(self.port))
        if others:
            error = EbdError(name, code, self.port, f"{error.meaning}; the port is also open in "
                             f"{'; '.join(others)}, which may take the module's replies")
        error.holders = others  # type: ignore[attr-defined]
        return error

    # ---- Operation modes ----------------------------------------------------------

    def init_service_mode(self) -> None:
        """Brings the module into service mode (``WInitServiceMode``).

        A silent module is powered on through its bootloader, a port in AT mode
        switched to the service protocol; then operation mode 1 is set.
        """
        self._call("WInitServiceMode")

    def init_normal_mode(self) -> None:
        """Brings the module into normal mode, operation mode 0 (``WInitNormalMode``)."""
        self._call("WInitNormalMode")

    def init_test_mode(self) -> None:
        """Brings the module into test mode, operation mode 2 (``WInitTestMode``)."""
        self._call("WInitTestMode")

    def init_airplane_mode(self) -> None:
        """Brings the module into airplane mode, operation mode 4 (``WInitAirplaneMode``)."""
        self._call("WInitAirplaneMode")

    def exit_service_mode(self) -> None:
        """``WExitServiceMode``: traces and succeeds; nothing is sent to the module."""
        self._call("WExitServiceMode")

    def bootloader_info(self) -> str:
        """The bootloader text from the module's version (``WGetBootloaderInfo``).

        Known once the session has made its first remote call (for example a
        mode entry); before that the operation fails.
        """
        area = ctypes.create_string_buffer(25)
        self._call("WGetBootloaderInfo", area)
        return _answer(area)

    # ---- Java autostart, switch-off, AT commands ----------------------------------

    def switch_java_autostart(self, on: bool) -> None:
        """Switches the module's Java autostart on or off (``WSwitchJavaAutoStart``).

        Raises:
            EbdError: code 5 when the module refuses the request.
        """
        self._call("WSwitchJavaAutoStart", 1 if on else 0)

    def switch_off(self) -> None:
        """Switches the module off and waits until it falls silent (``WSwitchOff``).

        Raises:
            EbdError: the module kept answering after five requests (the code
                is then an earlier one), or a remote call failed.
        """
        self._call("WSwitchOff")

    def send_at_command(self, command: Text, *, wait_answer: bool = True) -> Optional[str]:
        """Sends one AT command line through the service channel (``WSendAtCommand``).

        Args:
            command: the command without its carriage return, at most 126 characters.
            wait_answer: wait for the module's answer and return it.

        Returns:
            The answer, with each carriage return written as ``<CR>`` and each
            line feed as ``<LF>`` (as the library gives it), or None when
            ``wait_answer`` is False.
        """
        data = _text(command, "command", MAX_AT_COMMAND)
        if not wait_answer:
            self._call("WSendAtCommand", data, None)
            return None
        area = ctypes.create_string_buffer(_AT_ANSWER_AREA)
        self._call("WSendAtCommand", data, area)
        return _answer(area)

    def receive_at_command(self) -> str:
        """Receives one further AT answer (``WReceiveAtCommand``); markers as in
        ``send_at_command``."""
        area = ctypes.create_string_buffer(_AT_ANSWER_AREA)
        self._call("WReceiveAtCommand", area)
        return _answer(area)

    def send_at_command_and_wait(self, command: Text, expected: Text = "OK", wait_seconds: int = 5) -> None:
        """Sends a command and receives up to ``wait_seconds`` further answers
        until one contains ``expected`` (``WSendAtCommandAndWait``).

        Raises:
            EbdError: no answer contained ``expected``, or one contained "ERROR".
        """
        self._call("WSendAtCommandAndWait", _text(command, "command", MAX_AT_COMMAND),
                   _text(expected, "expected", _AT_ANSWER_AREA - 1), wait_seconds)

    def start_circuit_switched_call(self, number: Text) -> None:
        """Dials ``number`` ("ATD<number>;") after a pause of 2 s and waits for
        "OK" (``WStartCircuitSwitchedCall``). The dial command must fit into
        126 characters, so the number into 122."""
        self._call("WStartCircuitSwitchedCall", _text(number, "number", MAX_AT_COMMAND - 4))

    def start_gprs_attach(self) -> None:
        """Sends "AT+CGATT=1" after a pause of 2 s and waits for "OK" (``WStartGPRSAttach``)."""
        self._call("WStartGPRSAttach")

    def prepare_network_registration(self, timeout1: int, timeout2: int) -> None:
        """``WprepareNetworkRegistration``: traces and succeeds; nothing is sent."""
        self._call("WprepareNetworkRegistration", timeout1, timeout2)

    # ---- Radio test and measurement -------------------------------------------------

    def set_afc(self, value: int) -> None:
        """Sets the AFC DAC value (``WSetAFC``)."""
        self._call("WSetAFC", value)

    def set_afc_and_measure(self, arfcn: int, value: int) -> int:
        """Sets the AFC DAC value and measures the frequency offset on ``arfcn``
        (``WSetAFCAndMeasure``).

        Raises:
            EbdError: code 16 when the module reports no usable frequency burst.
        """
        offset = c_int16()
        self._call("WSetAFCAndMeasure", arfcn, value, byref(offset))
        return offset.value

    def set_gain_program_word(self, gain_program_word: int, band: int, gain_index: int) -> None:
        """Writes a gain program word (``WSetGainProgramWord``); code 12 for a
        band the dual-band mode does not permit."""
        self._call("WSetGainProgramWord", gain_program_word, band, gain_index)

    def get_gain_program_word(self, gain_index: int, band: int) -> int:
        """Reads a gain program word (``WGetGainProgramWord``)."""
        word = c_uint16()
        self._call("WGetGainProgramWord", gain_index, band, byref(word))
        return word.value

    def set_accurate_value(self, accurate_value: int, band: int, gain_index: int) -> None:
        """Writes an accurate value of the gain table (``WSetAccurateValue``)."""
        self._call("WSetAccurateValue", accurate_value, band, gain_index)

    def get_power_value(self, channel: int, gain: int, apply_agc_tab_value: bool = True) -> int:
        """Measures the received power on ``channel`` in 1/16 dB (``WGetPowerValue``)."""
        rssi = c_int16()
        self._call("WGetPowerValue", channel, gain, 1 if apply_agc_tab_value else 0, byref(rssi))
        return rssi.value

    def get_used_iq_offset_values(self, measure: bool = False) -> IQOffsets:
        """The I/Q offsets the module uses, measured first when ``measure``
        (``WGetUsedIQOffsetValues``). A measurement right after the open is
        also kept in the calibration store."""
        offsets = (c_uint16 * 4)()
        self._call("WGetUsedIQOffsetValues", 1 if measure else 0, offsets)
        return IQOffsets(*offsets)

    def set_tx_offset(self, i_tx_offset: int, q_tx_offset: int) -> None:
        """Sets the transmitter's I/Q offsets in the baseband chip (``WSetTxOffset``)."""
        self._call("WSetTxOffset", i_tx_offset, q_tx_offset)

    def set_current_dual_band_mode(self, band_mode: int) -> None:
        """Sets the band mode, which decides the bands the gain calls permit
        (``WSetCurrentDualBandMode``)."""
        self._call("WSetCurrentDualBandMode", band_mode)

    def radio_power_on(self) -> None:
        """``WRadioPowerOn``."""
        self._call("WRadioPowerOn")

    def radio_power_down(self) -> None:
        """``WRadioPowerDown``."""
        self._call("WRadioPowerDown")

    def radio_receiver_on(self, parameter: int) -> None:
        """``WRadioReceiverOn``."""
        self._call("WRadioReceiverOn", parameter)

    def radio_receiver_off(self, parameter: int) -> None:
        """``WRadioReceiverOff``."""
        self._call("WRadioReceiverOff", parameter)

    def radio_send_telegram(self, telegram: int) -> None:
        """``WRadioSendTelegram``."""
        self._call("WRadioSendTelegram", telegram)

    def radio_set_init_telegram(self, telegram: int, index: int) -> None:
        """``WRadioSetInitTelegram``."""
        self._call("WRadioSetInitTelegram", telegram, index)

    def start_loopback(self, bch: int, tch: int, time_slot: int, tsc: int, power_level: int) -> None:
        """Starts a loopback test (``WStartLoopback``)."""
        self._call("WStartLoopback", bch, tch, time_slot, tsc, power_level)

    def change_loopback(self, tch: int, time_slot: int, tsc: int, power_level: int) -> None:
        """Changes the running loopback test (``WChangeLoopback``)."""
        self._call("WChangeLoopback", tch, time_slot, tsc, power_level)

    def stop_loopback(self) -> None:
        """Stops the loopback test (``WStopLoopback``)."""
        self._call("WStopLoopback")

    def get_loopback_data(self) -> LoopbackData:
        """The results of the loopback test (``WGetLoopbackData``)."""
        timing, frequency, errors, total, rssi = c_int16(), c_int16(), c_uint16(), c_uint16(), c_int16()
        self._call("WGetLoopbackData", byref(timing), byref(frequency), byref(errors), byref(total), byref(rssi))
        return LoopbackData(timing.value, frequency.value, errors.value, total.value, rssi.value)

    def set_am_loop_offset(self, mode: int, channel: int, am_loop_offset: int, const_tx_value: int,
                           ramp_dac_value: int) -> None:
        """Transmits constantly with an AM loop offset (``WSetAMLoopOffset``);
        code 13 for an offset of 64 or more, 15 for a ramp DAC value of 1024
        or more."""
        self._call("WSetAMLoopOffset", mode, channel, am_loop_offset, const_tx_value, ramp_dac_value)

    def bbc_register(self, read_write_mask: int, addresses: Sequence[int],
                     values: Sequence[int] = (0,) * 8) -> Tuple[int, ...]:
        """Up to eight accesses to the baseband chip's registers (``WBBCRegister``).

        Args:
            read_write_mask: two bits per entry k (bits 2k and 2k+1): 0 none,
                1 write ``values[k]`` to ``addresses[k]``, 2 read ``addresses[k]``.
            addresses, values: 8 words each.

        Returns:
            The 8 words read (entries that read nothing are not significant).
        """
        results = (c_uint16 * 8)()
        self._call("WBBCRegister", read_write_mask, array(c_uint16, addresses, 8, "addresses"),
                   array(c_uint16, values, 8, "values"), results)
        return tuple(results)

    # ---- Identity and security -------------------------------------------------------

    def get_flash_serial_number(self) -> FlashSerialNumber:
        """The flash chip's serial number (``WGetFlashSerialNumber``)."""
        number, raw = c_uint32(), (c_uint8 * 4)()
        self._call("WGetFlashSerialNumber", byref(number), raw)
        return FlashSerialNumber(number.value, bytes(raw))

    def get_single_ie(self, ie_code: int) -> int:
        """The value of information element ``ie_code`` (``WGetSingleIE``)."""
        if not 0 <= ie_code <= 0xFFFF:
            raise ValueError(f"WGetSingleIE: ie_code={ie_code} is outside uint16_t")
        ie = c_uint16(ie_code)
        self._call("WGetSingleIE", byref(ie))
        return ie.value

    def reset_imei_mode(self) -> int:
        """``WResetIMEIMode``; the mode byte the module returns."""
        result = c_uint8()
        self._call("WResetIMEIMode", byref(result))
        return result.value

    def set_customer_imei_mode(self) -> int:
        """``WSetCustomerIMEIMode``; the mode byte the module returns."""
        result = c_uint8()
        self._call("WSetCustomerIMEIMode", byref(result))
        return result.value

    def read_serial_number(self) -> bytes:
        """The module's serial number, 8 bytes (``WReadSerialNumber``)."""
        area = (c_uint8 * 8)()
        self._call("WReadSerialNumber", area)
        return bytes(area)

    def read_imei(self) -> bytes:
        """The module's IMEI, 8 bytes as the module keeps them (``WReadIMEI``)."""
        area = (c_uint8 * 8)()
        self._call("WReadIMEI", area)
        return bytes(area)

    def init_imei(self) -> None:
        """``WInitIMEI``."""
        self._call("WInitIMEI")

    def freeze_imei(self, imei: bytes) -> None:
        """Writes the IMEI for good (``WFreezeIMEI``); ``imei`` is 8 bytes."""
        self._call("WFreezeIMEI", _exact_bytes(imei, 8, "imei"))

    def set_security_mode(self, mode: int, security_parameter: int) -> int:
        """Sets the security mode (``WSetSecurityMode``); returns the mode the module reports."""
        if not 0 <= mode <= 0xFFFF:
            raise ValueError(f"WSetSecurityMode: mode={mode} is outside uint16_t")
        value = c_uint16(mode)
        self._call("WSetSecurityMode", byref(value), security_parameter)
        return value.value

    def request_challenge(self) -> bytes:
        """The module's challenge, 8 bytes (``WRequestChallenge``)."""
        area = (c_uint8 * 8)()
        self._call("WRequestChallenge", area)
        return bytes(area)

    def send_response(self, response_block: bytes) -> None:
        """Answers the challenge with a 64-byte block (``WSendResponse``)."""
        self._call("WSendResponse", _exact_bytes(response_block, 64, "response_block"))

    def get_mobile_information(self) -> bytes:
        """The module's information block, 17 bytes (``WGetMobileInformation``)."""
        area = (c_uint8 * 17)()
        self._call("WGetMobileInformation", area)
        return bytes(area)

    # ---- Gain codes and receiver gain tables ---------------------------------------

    def init_gain_code_templates(self, band: int, gain_index: int) -> None:
        """Fetches the gain codes of a band and gain index from the module
        (``WInitGainCodeTemplates``); ``next_gain_code`` hands them out."""
        self._call("WInitGainCodeTemplates", band, gain_index)

    def next_gain_code(self) -> Optional[int]:
        """The next gain code (``WGetNextGainCode``), or None after the last one."""
        code = c_uint16()
        if self._lib.WGetNextGainCode(self._open_handle(), byref(code)) == 0:
            return None
        return code.value

    def gain_codes(self, band: int, gain_index: int) -> List[int]:
        """All gain codes of a band and gain index."""
        self.init_gain_code_templates(band, gain_index)
        codes: List[int] = []
        while (code := self.next_gain_code()) is not None:
            codes.append(code)
        return codes

    def set_precharge_value(self, value: int) -> None:
        """``WSetPrechargeValue``."""
        self._call("WSetPrechargeValue", value)

    def gw_index_array(self, index_array: Sequence[int] = (0, 0, 0)) -> Tuple[int, int, int]:
        """The table positions of the two measuring points (``WGetGwIndexArray``)."""
        area = array(c_uint16, index_array, 3, "index_array")
        self._call("WGetGwIndexArray", 0, area)
        return (area[0], area[1], area[2])

    def gw_rssi_m_points(self, gain_words: Sequence[int], rssi: Sequence[int]) -> GainTable:
        """A 26-entry receiver gain table from two measured points
        (``WSendGwRssiMPoints``); nothing is sent to the module."""
        words_out, rssi_out = (c_uint16 * 26)(), (c_int16 * 26)()
        self._call("WSendGwRssiMPoints", array(c_uint16, gain_words, 2, "gain_words"),
                   array(c_int16, rssi, 2, "rssi"), words_out, rssi_out)
        return GainTable(tuple(words_out), tuple(rssi_out))

    def exit_data(self) -> ExitData:
        """The EXIT reports the module printed into the skipped input (``WGetExitData``)."""
        count, area = c_uint8(), (c_uint8 * 48)()
        self._call("WGetExitData", 48, byref(count), area)
        raw = bytes(area)
        kept = min(count.value, 3)
        records = tuple(
            tuple(int.from_bytes(raw[16 * r + 4 * w:16 * r + 4 * w + 4], "little") for w in range(4))
            for r in range(kept))
        return ExitData(count.value, records)  # type: ignore[arg-type]

    # ---- NVRAM items --------------------------------------------------------------------

    def read_user_item(self, user_id: int, key: int, size: int = MAX_NVRAM_READ) -> bytes:
        """Reads a user item (``WReadNVRAMUserItem``).

        Args:
            size: the most bytes to take; a longer item is cut to ``size``. The
                default is the most one confirm carries.

        Raises:
            EbdError: code 5 when the module has no such item.
        """
        area, read = _read_area(size), c_uint16()
        self._call("WReadNVRAMUserItem", user_id, key, area, size, byref(read))
        return bytes(area[:min(read.value, size)])

    def write_user_item(self, user_id: int, key: int, data: bytes) -> None:
        """Writes a user item (``WWriteNVRAMUserItem``), at most 1489 bytes."""
        area, length = byte_area(data, "data", MAX_USER_ITEM_WRITE)
        self._call("WWriteNVRAMUserItem", user_id, key, area, length)

    def delete_user_item(self, user_id: int, key: int) -> None:
        """Deletes a user item (``WDeleteNVRAMUserItem``)."""
        self._call("WDeleteNVRAMUserItem", user_id, key)

    def erase_all_user_items(self) -> None:
        """Erases every user item (``WEraseAllNVRAMUserItems``)."""
        self._call("WEraseAllNVRAMUserItems")

    def read_calibration_item(self, calibration_id: int, size: int = MAX_NVRAM_READ) -> bytes:
        """Reads a calibration item (``WReadNVRAMCalibrationItem``); ``size`` as
        for ``read_user_item``. Ids from 256 up: ``read_yk_calibration_item``."""
        area, read = _read_area(size), c_uint16()
        self._call("WReadNVRAMCalibrationItem", calibration_id, area, size, byref(read))
        return bytes(area[:min(read.value, size)])

    def check_calibration_item(self, calibration_id: int) -> bool:
        """Whether a calibration item exists (``WCheckNVRAMCalibrationItem``)."""
        exists = c_uint8()
        self._call("WCheckNVRAMCalibrationItem", calibration_id, byref(exists))
        return exists.value == 1

    def write_calibration_item(self, calibration_id: int, data: bytes) -> None:
        """Writes a calibration item (``WWriteNVRAMCalibrationItem``), at most 1493 bytes."""
        area, length = byte_area(data, "data", MAX_CALIBRATION_ITEM_WRITE)
        self._call("WWriteNVRAMCalibrationItem", calibration_id, area, length)

    def erase_all_calibration_items(self) -> None:
        """Erases every calibration item (``WEraseAllNVRAMCalibrationItems``)."""
        self._call("WEraseAllNVRAMCalibrationItems")

    def save_all_other_calibration_items(self, last_cal_item: int) -> None:
        """Asks the module to keep its other calibration items aside
        (``WSaveAllOtherNVRAMCalibrationItems``)."""
        self._call("WSaveAllOtherNVRAMCalibrationItems", last_cal_item)

    def restore_all_other_calibration_items(self, last_cal_item: int) -> None:
        """Asks the module to restore them (``WRestoreAllOtherNVRAMCalibrationItems``)."""
        self._call("WRestoreAllOtherNVRAMCalibrationItems", last_cal_item)

    def check_yk_calibration_item(self, calibration_id: int) -> bool:
        """As ``check_calibration_item`` for 16-bit ids (``WCheckNVRAMYKCalibrationItem``)."""
        exists = c_uint8()
        self._call("WCheckNVRAMYKCalibrationItem", calibration_id, byref(exists))
        return exists.value == 1

    def read_yk_calibration_item(self, calibration_id: int, size: int = MAX_NVRAM_READ) -> bytes:
        """As ``read_calibration_item`` for 16-bit ids (``WReadNVRAMYKCalibrationItem``)."""
        area, read = _read_area(size), c_uint16()
        self._call("WReadNVRAMYKCalibrationItem", calibration_id, area, size, byref(read))
        return bytes(area[:min(read.value, size)])

    def write_yk_calibration_item(self, calibration_id: int, data: bytes) -> None:
        """As ``write_calibration_item`` for 16-bit ids (``WWriteNVRAMYKCalibrationItem``)."""
        area, length = byte_area(data, "data", MAX_CALIBRATION_ITEM_WRITE)
        self._call("WWriteNVRAMYKCalibrationItem", calibration_id, area, length)

    # ---- Calibration store --------------------------------------------------------------
    # Each store call files a value into the port's calibration record and marks
    # the item; nothing goes to the module until write_stored_calibration().
    # Bands 0 to 3 (else code 12), modulation 0 GMSK or 1 8PSK (else code 14).

    def store_afc(self, slope: int, nominal_value: int) -> None:
        """``WOrreryStoreCalibrationDataAFC``."""
        self._call("WOrreryStoreCalibrationDataAFC", slope, nominal_value)

    def store_tx_iq_offsets(self, band: int, modulation: int, tx_i_offset: int, tx_q_offset: int) -> None:
        """``WOrreryStoreCalibrationDataTxIQOffsets``: an 8PSK pair is stored for
        both modulations; a GMSK pair only once per session."""
        self._call("WOrreryStoreCalibrationDataTxIQOffsets", band, modulation, tx_i_offset, tx_q_offset)

    def store_scaling_factors(self, band: int, modulation: int, factors: Sequence[int]) -> None:
        """``WOrreryStoreCalibrationDataScalingFactors``: 32 words."""
        self._call("WOrreryStoreCalibrationDataScalingFactors", band, modulation,
                   array(c_uint16, factors, 32, "factors"))

    def store_am_loop_offset(self, band: int, value: int) -> None:
        """``WOrreryStoreCalibrationDataAMLoopOffsets``."""
        self._call("WOrreryStoreCalibrationDataAMLoopOffsets", band, value)

    def store_agc_gain_words(self, band: int, words: Sequence[int]) -> None:
        """``WOrreryStoreCalibrationDataAGCGainWords``: 26 words."""
        self._call("WOrreryStoreCalibrationDataAGCGainWords", band, array(c_uint16, words, 26, "words"))

    def store_agc_accurate_values(self, band: int, values: Sequence[int]) -> None:
        """``WOrreryStoreCalibrationDataAGCAccurateValues``: 26 words."""
        self._call("WOrreryStoreCalibrationDataAGCAccurateValues", band, array(c_uint16, values, 26, "values"))

    def store_tx_dac_offset(self, band: int, modulation: int, value: int) -> None:
        """``WOrreryStoreCalibrationDataTxDacOffsets``."""
        self._call("WOrreryStoreCalibrationDataTxDacOffsets", band, modulation, value)

    def store_autocalibration_tx_iq_offsets(self, i_offset: int, q_offset: int) -> None:
        """``WOrreryStoreCalibrationDataAutocalibrationTxIQOffsets``; 127 marks
        a value as not valid."""
        self._call("WOrreryStoreCalibrationDataAutocalibrationTxIQOffsets", i_offset, q_offset)

    def write_stored_calibration(self, reset: bool = False) -> None:
        """Writes every stored item to the module's NVRAM, keeping the items
        there that no stored value replaces; with ``reset`` all calibration
        items are erased first instead (``WWriteAllStoredValuesToModuleNVRAM``)."""
        self._call("WWriteAllStoredValuesToModuleNVRAM", 1 if reset else 0)

    def set_vane_band_mode(self, band_mode: int) -> None:
        """Sets the module's band mode and waits until it reports it (``WSetVaneBandMode``)."""
        self._call("WSetVaneBandMode", band_mode)

    # ---- Burst, slot and frame configuration ------------------------------------------
    # Modulation 1 is 8PSK, any other value GMSK.

    def set_burst_data(self, words: Sequence[int], modulation: int) -> None:
        """Sets the burst bits, first bit in bit 15 of the first word (``WSetBurstData``).

        Args:
            words: 10 words for GMSK or 30 for 8PSK; fewer are padded with zeros
                to the 30 the operation sends.
        """
        if len(words) > 30:
            raise ValueError(f"words: at most 30 values, {len(words)} given")
        self._call("WSetBurstData", array(c_uint16, list(words) + [0] * (30 - len(words)), 30, "words"),
                   modulation)

    def set_burst_data_mode(self, data_mode: int, tsc: int, modulation: int) -> None:
        """Generates a normal burst: data mode 1 all ones, 2 alternating bits, 3
        ones around training sequence ``tsc``, 4 alternating bits around it
        (``WSetEbdBurstDataMode``)."""
        self._call("WSetEbdBurstDataMode", data_mode, tsc, modulation)

    def set_power_ramp(self, ramp: Sequence[int]) -> None:
        """``WSetPowerRamp``: 32 words."""
        self._call("WSetPowerRamp", array(c_uint16, ramp, 32, "ramp"))

    def set_ramp_scale_factor(self, scale_factor: int) -> None:
        """``WSetRampScaleFactor``."""
        self._call("WSetRampScaleFactor", scale_factor)

    def set_circuit_switched_tdma_frame(self, burst_type: int, burst_on: Sequence[int], channel: Sequence[int],
                                        gain: Sequence[int], burst2_type: int, timing_advance: int,
                                        rach_data: int, power_level: int, scale_factor: int = 0) -> None:
        """``WSetCircuitSwitchedTDMAFrame``: ``burst_on`` 4 bytes, ``channel`` and
        ``gain`` 4 words each. A ``scale_factor`` other than 0 is set first and
        marks the power level with bit 7."""
        self._call("WSetCircuitSwitchedTDMAFrame", burst_type, array(c_uint8, burst_on, 4, "burst_on"),
                   array(c_uint16, channel, 4, "channel"), array(c_uint16, gain, 4, "gain"), burst2_type,
                   timing_advance, rach_data, power_level, scale_factor)

    def configure_gprs_rx_slot(self, slot_number: int, gain: int, modulation: int) -> None:
        """``WConfigureGPRSLogicalRxSlot``."""
        self._call("WConfigureGPRSLogicalRxSlot", slot_number, gain, modulation)

    def configure_gprs_tx_slot(self, slot_number: int, power_level: int, modulation: int,
                               tx_variant: int = 0) -> None:
        """``WConfigureGPRSLogicalTxSlot``: the slot carries the burst last set
        for the modulation."""
        self._call("WConfigureGPRSLogicalTxSlot", slot_number, power_level, modulation, tx_variant)

    def configure_gprs_mon_slot(self, slot_number: int, gain: int) -> None:
        """``WConfigureGPRSLogicalMonSlot``."""
        self._call("WConfigureGPRSLogicalMonSlot", slot_number, gain)

    def configure_gprs_unused_slot(self, slot_number: int) -> None:
        """``WConfigureGPRSLogicalUnusedSlot``."""
        self._call("WConfigureGPRSLogicalUnusedSlot", slot_number)

    def configure_gprs_multi_frame(self, frame_number: int, slot_mapping: Sequence[int], rx_channel: int,
                                   tx_channel: int, mon_channel: int, frame_advance: int = 0, rx_advance: int = 0,
                                   tx_advance: int = 0, mon_advance: int = 0) -> None:
        """``WConfigureGPRSMultiFrame``: ``slot_mapping`` 8 bytes."""
        self._call("WConfigureGPRSMultiFrame", frame_number, array(c_uint8, slot_mapping, 8, "slot_mapping"),
                   rx_channel, tx_channel, mon_channel, frame_advance, rx_advance, tx_advance, mon_advance)

    def change_gprs_timing(self, frame_number: int, frame_advance: int, rx_advance: int, tx_advance: int,
                           mon_advance: int) -> None:
        """``WChangeGPRSTiming``."""
        self._call("WChangeGPRSTiming", frame_number, frame_advance, rx_advance, tx_advance, mon_advance)

    def set_gprs_usage(self, mode: int) -> None:
        """``WSetGPRSUsage``."""
        self._call("WSetGPRSUsage", mode)


def _read_area(size: int) -> Any:
    if not isinstance(size, int) or not 0 <= size <= 0xFFFF:
        raise ValueError(f"size must be 0 to 65535, not {size!r}")
    return (c_uint8 * max(size, 1))()


def _exact_bytes(data: bytes, length: int, what: str) -> Any:
    payload = _declarations.bytes_of(data, what)
    if len(payload) != length:
        raise ValueError(f"{what}: {length} bytes wanted, {len(payload)} given")
    return (c_uint8 * length).from_buffer_copy(payload)


def _open_error(port: int, code: int) -> PortOpenError:
    if code == 3:
        return PortOpenError("WComOpen", code, port, cause="in-use", errno_value=errno.EBUSY)
    found = _diagnosis.diagnose(port)
    if not found.cause:
        return PortOpenError("WComOpen", code, port, cause="", errno_value=0)
    return PortOpenError("WComOpen", code, port, cause=found.cause, errno_value=found.errno, detail=found.text,
                         holders=found.holders)


# ---- Argument types and the session's lock ------------------------------------------

_BYTES_LIKE = (bytes, bytearray, memoryview)


def _type_error(method: str, name: str, wanted: str, value: Any) -> TypeError:
    return TypeError(f"{method}: {name} must be {wanted}, not {type(value).__name__}")


def _check_type(method: str, name: str, value: Any, hint: Any) -> None:
    """Raises TypeError unless ``value`` fits the annotation ``hint``."""
    origin, args = typing.get_origin(hint), typing.get_args(hint)
    if hint is int or hint is bool:
        if not isinstance(value, int):
            raise _type_error(method, name, "an int" if hint is int else "a bool", value)
    elif hint is bytes:
        if not isinstance(value, _BYTES_LIKE):
            raise _type_error(method, name, "bytes, bytearray or memoryview", value)
    elif origin is typing.Union and set(args) == {str, bytes}:
        if not isinstance(value, (str,) + _BYTES_LIKE):
            raise _type_error(method, name, "str or bytes", value)
    elif origin is collections.abc.Sequence and args == (int,):
        if isinstance(value, (str,) + _BYTES_LIKE) or not isinstance(value, collections.abc.Sequence):
            raise _type_error(method, name, "a sequence of ints", value)
        for index, item in enumerate(value):
            if not isinstance(item, int):
                raise _type_error(method, f"{name}[{index}]", "an int", item)


def _guarded(method: Any) -> Any:
    """Checks the argument types of a public method, runs it under the
    session's lock, and raises what the trace callback kept meanwhile."""
    hints = typing.get_type_hints(method)
    signature = inspect.signature(method)
    checked = [(name, hint) for name, hint in hints.items() if name != "return"]

    @functools.wraps(method)
    def wrapper(self: "Session", *args: Any, **kwargs: Any) -> Any:
        try:
            bound = signature.bind(self, *args, **kwargs)
        except TypeError as error:
            raise TypeError(f"{method.__name__}: {error}") from None
        for name, hint in checked:
            if name in bound.arguments:
                _check_type(method.__name__, name, bound.arguments[name], hint)
        with self._lock, _trace.keeping_interrupts():
            try:
                result = method(self, *args, **kwargs)
            finally:
                _trace.raise_pending()
        return result

    return wrapper


for _name, _member in list(vars(Session).items()):
    if inspect.isfunction(_member) and (not _name.startswith("_") or _name == "__exit__"):
        setattr(Session, _name, _guarded(_member))
