"""Every operation of the C interface (``lib/ebd.h``) with its exact types.

One table, ``DECLARATIONS``, holds the result type and the named, typed
parameters of each exported operation, in the order of the header. A test
reads the header and checks this table against it, so the two cannot drift
apart. ``declare`` puts the types onto a loaded library.

Type conventions: ``const char*`` is ``c_char_p`` (a bytes argument);
``char*`` is ``POINTER(c_char)`` (an area the operation writes, made with
``ctypes.create_string_buffer``); every other pointer is ``POINTER`` of its
integer type (``const`` or not: ctypes has no const).
"""

from __future__ import annotations

import ctypes
from ctypes import POINTER, c_char, c_char_p, c_int16, c_int32, c_uint8, c_uint16, c_uint32
from typing import Any, Dict, NamedTuple, Optional, Sequence, Tuple

EBDHandle = c_uint32

_TraceCallbackBase = ctypes.CFUNCTYPE(c_int32, c_uint32, c_char_p)


class TraceCallback(_TraceCallbackBase):  # type: ignore[valid-type,misc]
    """``EBDTraceCallback``: ``int32_t (*)(uint32_t traceHandle, const char* line)``.

    Unlike a plain ``CFUNCTYPE`` argument, ``None`` is accepted and passed as
    a null pointer, which unregisters the callback. Whoever registers an
    instance must keep it alive for as long as it is registered.
    """

    _flags_ = _TraceCallbackBase._flags_
    _restype_ = _TraceCallbackBase._restype_
    _argtypes_ = _TraceCallbackBase._argtypes_

    @classmethod
    def from_param(cls, obj: Any) -> Any:
        if obj is None:
            return None
        return _TraceCallbackBase.from_param(obj)


class Declaration(NamedTuple):
    """One operation: its name, result type (None for void) and parameters."""

    name: str
    restype: Any
    params: Tuple[Tuple[str, Any], ...]

    @property
    def argtypes(self) -> Tuple[Any, ...]:
        return tuple(kind for _, kind in self.params)


H = ("handle", EBDHandle)
u8, u16, u32, i16, i32 = c_uint8, c_uint16, c_uint32, c_int16, c_int32
pu8, pu16, pu32, pi16 = POINTER(c_uint8), POINTER(c_uint16), POINTER(c_uint32), POINTER(c_int16)
text_in, text_out = c_char_p, POINTER(c_char)


def _d(name: str, restype: Any, *params: Tuple[str, Any]) -> Declaration:
    return Declaration(name, restype, tuple(params))


DECLARATIONS: Tuple[Declaration, ...] = (
    # Sessions, last error, trace
    _d("WInitLibrary", None),
    _d("WComOpen", EBDHandle, ("portNum", i32), ("baudRate", i32), ("tHandle", u32)),
    _d("WComClose", i32, H),
    _d("WGetLastError", u16, H),
    _d("WEnableTraceFile", None),
    _d("WDisableTraceFile", None),
    _d("WSetTraceCallback", None, ("callback", TraceCallback)),
    # Operation modes
    _d("WInitServiceMode", i32, H),
    _d("WInitNormalMode", i32, H),
    _d("WInitTestMode", i32, H),
    _d("WInitAirplaneMode", i32, H),
    _d("WExitServiceMode", i32, H),
    # Version information
    _d("WGetBootloaderInfo", i32, H, ("text", text_out)),
    # Java autostart, switch-off, AT commands
    _d("WSwitchJavaAutoStart", i32, H, ("onOff", i32)),
    _d("WSwitchOff", i32, H),
    _d("WSendAtCommand", i32, H, ("command", text_in), ("response", text_out)),
    _d("WReceiveAtCommand", i32, H, ("response", text_out)),
    _d("WSendAtCommandAndWait", i32, H, ("command", text_in), ("expected", text_in), ("waitSeconds", u8)),
    _d("WStartCircuitSwitchedCall", i32, H, ("number", text_in)),
    _d("WStartGPRSAttach", i32, H),
    _d("WprepareNetworkRegistration", i32, H, ("timeout1", u16), ("timeout2", u16)),
    # Radio test, measurement, identity and security
    _d("WSetAFC", i32, H, ("value", u16)),
    _d("WSetAFCAndMeasure", i32, H, ("arfcn", u16), ("value", u16), ("pFrequencyOffset", pi16)),
    _d("WSetGainProgramWord", i32, H, ("gainProgramWord", u16), ("band", u8), ("gainIndex", u8)),
    _d("WGetGainProgramWord", i32, H, ("gainIndex", u8), ("band", u8), ("pGainProgramWord", pu16)),
    _d("WSetAccurateValue", i32, H, ("accurateValue", u16), ("band", u8), ("gainIndex", u8)),
    _d("WGetPowerValue", i32, H, ("channel", u16), ("gain", u16), ("applyAGCTabValue", i32),
       ("pRssiIn16thdB", pi16)),
    _d("WGetUsedIQOffsetValues", i32, H, ("measure", i32), ("pIQOffsets", pu16)),
    _d("WSetTxOffset", i32, H, ("iTxOffset", u8), ("qTxOffset", u8)),
    _d("WSetCurrentDualBandMode", i32, H, ("bandMode", u8)),
    _d("WRadioPowerOn", i32, H),
    _d("WRadioPowerDown", i32, H),
    _d("WRadioReceiverOn", i32, H, ("parameter", u32)),
    _d("WRadioReceiverOff", i32, H, ("parameter", u32)),
    _d("WRadioSendTelegram", i32, H, ("telegram", u32)),
    _d("WRadioSetInitTelegram", i32, H, ("telegram", u32), ("index", u8)),
    _d("WStartLoopback", i32, H, ("bch", u16), ("tch", u16), ("timeSlot", u8), ("tsc", u8), ("powerLevel", u8)),
    _d("WChangeLoopback", i32, H, ("tch", u16), ("timeSlot", u8), ("tsc", u8), ("powerLevel", u8)),
    _d("WStopLoopback", i32, H),
    _d("WGetLoopbackData", i32, H, ("pTimingOffsetQbits", pi16), ("pFreqOffsetHz", pi16), ("pBitErrors", pu16),
       ("pSoftDecisionTotal", pu16), ("pRssi", pi16)),
    _d("WSetAMLoopOffset", i32, H, ("mode", u8), ("channel", u16), ("aMLoopOffset", u8), ("constTxValue", u16),
       ("rampDacValue", u16)),
    _d("WBBCRegister", i32, H, ("readWriteMask", u16), ("address", pu16), ("value", pu16), ("retValues", pu16)),
    _d("WGetFlashSerialNumber", i32, H, ("pSerialNumber", pu32), ("pBytes", pu8)),
    _d("WGetSingleIE", i32, H, ("pIe", pu16)),
    _d("WResetIMEIMode", i32, H, ("pResult", pu8)),
    _d("WSetCustomerIMEIMode", i32, H, ("pResult", pu8)),
    _d("WReadSerialNumber", i32, H, ("serialNumber", pu8)),
    _d("WReadIMEI", i32, H, ("imei", pu8)),
    _d("WInitIMEI", i32, H),
    _d("WFreezeIMEI", i32, H, ("imei", pu8)),
    _d("WSetSecurityMode", i32, H, ("pMode", pu16), ("securityParameter", u32)),
    _d("WRequestChallenge", i32, H, ("challenge", pu8)),
    _d("WSendResponse", i32, H, ("responseBlock", pu8)),
    _d("WGetMobileInformation", i32, H, ("info", pu8)),
    _d("WInitGainCodeTemplates", i32, H, ("band", u8), ("gainIndex", u8)),
    _d("WGetNextGainCode", i32, H, ("pGainCode", pu16)),
    _d("WSetPrechargeValue", i32, H, ("value", u16)),
    _d("WGetGwIndexArray", i32, H, ("ignored", u32), ("indexArray", pu16)),
    _d("WSendGwRssiMPoints", i32, H, ("gainWord", pu16), ("rssi", pi16), ("gainWordResult", pu16),
       ("rssiResult", pi16)),
    _d("WGetExitData", i32, H, ("maxBytes", u8), ("pCount", pu8), ("pData", pu8)),
    # NVRAM items, calibration store, band mode
    _d("WReadNVRAMUserItem", i32, H, ("userId", u32), ("key", u16), ("pData", pu8), ("dataSize", u16),
       ("pBytesRead", pu16)),
    _d("WWriteNVRAMUserItem", i32, H, ("userId", u32), ("key", u16), ("pData", pu8), ("dataSize", u16)),
    _d("WDeleteNVRAMUserItem", i32, H, ("userId", u32), ("key", u16)),
    _d("WEraseAllNVRAMUserItems", i32, H),
    _d("WReadNVRAMCalibrationItem", i32, H, ("calibrationId", u8), ("pData", pu8), ("dataSize", u16),
       ("pBytesRead", pu16)),
    _d("WCheckNVRAMCalibrationItem", i32, H, ("calibrationId", u8), ("pNVRAMBlockExists", pu8)),
    _d("WWriteNVRAMCalibrationItem", i32, H, ("calibrationId", u8), ("pData", pu8), ("dataSize", u16)),
    _d("WEraseAllNVRAMCalibrationItems", i32, H),
    _d("WSaveAllOtherNVRAMCalibrationItems", i32, H, ("lastCalItem", u16)),
    _d("WRestoreAllOtherNVRAMCalibrationItems", i32, H, ("lastCalItem", u16)),
    _d("WCheckNVRAMYKCalibrationItem", i32, H, ("calibrationId", u16), ("pNVRAMBlockExists", pu8)),
    _d("WReadNVRAMYKCalibrationItem", i32, H, ("calibrationId", u16), ("pData", pu8), ("dataSize", u16),
       ("pBytesRead", pu16)),
    _d("WWriteNVRAMYKCalibrationItem", i32, H, ("calibrationId", u16), ("pData", pu8), ("dataSize", u16)),
    _d("WOrreryStoreCalibrationDataAFC", i32, H, ("slope", u32), ("nominalValue", u16)),
    _d("WOrreryStoreCalibrationDataTxIQOffsets", i32, H, ("band", u8), ("modulation", u8), ("txIOffset", u8),
       ("txQOffset", u8)),
    _d("WOrreryStoreCalibrationDataScalingFactors", i32, H, ("band", u8), ("modulation", u8),
       ("scalingFactorArray", pu16)),
    _d("WOrreryStoreCalibrationDataAMLoopOffsets", i32, H, ("band", u8), ("aMLoopOffsetValue", u8)),
    _d("WOrreryStoreCalibrationDataAGCGainWords", i32, H, ("band", u8), ("agcControlCodeArray", pu16)),
    _d("WOrreryStoreCalibrationDataAGCAccurateValues", i32, H, ("band", u8), ("agcAccurateValueArray", pu16)),
    _d("WOrreryStoreCalibrationDataTxDacOffsets", i32, H, ("band", u8), ("modulation", u8),
       ("txDacOffsetValue", u16)),
    _d("WOrreryStoreCalibrationDataAutocalibrationTxIQOffsets", i32, H, ("iOffset", i16), ("qOffset", i16)),
    _d("WWriteAllStoredValuesToModuleNVRAM", i32, H, ("resetFlag", i32)),
    _d("WSetVaneBandMode", i32, H, ("bandMode", u8)),
    # Burst, slot and frame configuration
    _d("WSetBurstData", i32, H, ("burstData", pu16), ("modulation", u8)),
    _d("WSetEbdBurstDataMode", i32, H, ("dataMode", u8), ("tsc", u8), ("modulation", u8)),
    _d("WSetPowerRamp", i32, H, ("powerRamp", pu16)),
    _d("WSetRampScaleFactor", i32, H, ("scaleFactor", u16)),
    _d("WSetCircuitSwitchedTDMAFrame", i32, H, ("burstType", u8), ("burstOn", pu8), ("channel", pu16),
       ("gain", pu16), ("burst2Type", u8), ("timingAdvance", u8), ("rachData", u8), ("powerLevel", u8),
       ("scaleFactor", u16)),
    _d("WConfigureGPRSLogicalRxSlot", i32, H, ("slotNumber", u8), ("gain", u16), ("modulation", u8)),
    _d("WConfigureGPRSLogicalTxSlot", i32, H, ("slotNumber", u8), ("powerLevel", u8), ("modulation", u8),
       ("txVariant", u8)),
    _d("WConfigureGPRSLogicalMonSlot", i32, H, ("slotNumber", u8), ("gain", u16)),
    _d("WConfigureGPRSLogicalUnusedSlot", i32, H, ("slotNumber", u8)),
    _d("WConfigureGPRSMultiFrame", i32, H, ("frameNumber", u8), ("slotMapping", pu8), ("rxChannel", u16),
       ("txChannel", u16), ("monChannel", u16), ("frameAdvance", i16), ("rxAdvance", i16), ("txAdvance", i16),
       ("monAdvance", i16)),
    _d("WChangeGPRSTiming", i32, H, ("frameNumber", u8), ("frameAdvance", i16), ("rxAdvance", i16),
       ("txAdvance", i16), ("monAdvance", i16)),
    _d("WSetGPRSUsage", i32, H, ("mode", u8)),
    # Settings
    _d("SaveLibrarySettings", i32, ("port", u8), ("baudRate", u32)),
    _d("LoadLibrarySettings", i32, ("port", pu8), ("baudRate", pu32)),
    # Error codes
    _d("WGetErrorText", text_in, ("code", u16)),
    # Release version
    _d("WGetLibraryVersion", text_in),
)

BY_NAME: Dict[str, Declaration] = {declaration.name: declaration for declaration in DECLARATIONS}

# The value range of each integer type of the table.
_RANGES: Dict[Any, Tuple[int, int]] = {
    kind: ((-(1 << (8 * ctypes.sizeof(kind) - 1)), (1 << (8 * ctypes.sizeof(kind) - 1)) - 1)
           if kind(-1).value < 0 else (0, (1 << (8 * ctypes.sizeof(kind))) - 1))
    for kind in (c_uint8, c_uint16, c_uint32, c_int16, c_int32)
}


def c_type_name(kind: Any) -> str:
    """The C spelling of an integer type of the table (``uint8_t``, ``int16_t``...)."""
    low, high = _RANGES[kind]
    return f"{'u' if low == 0 else ''}int{8 * ctypes.sizeof(kind)}_t"


def check_arguments(name: str, args: Sequence[Any]) -> None:
    """Refuses integers outside their parameter's C type before ctypes would
    silently cut them (a band of 256 must not become band 0).

    Raises:
        ValueError: naming the operation, the parameter and its C type.
    """
    declaration = BY_NAME[name]
    for (param, kind), value in zip(declaration.params, args):
        limits = _RANGES.get(kind)
        if limits is None or not isinstance(value, int):
            continue
        if not limits[0] <= value <= limits[1]:
            raise ValueError(f"{name}: {param}={value} is outside {c_type_name(kind)} "
                             f"({limits[0]} to {limits[1]})")


def declare(library: ctypes.CDLL) -> None:
    """Sets the result and argument types of every operation on ``library``.

    Raises:
        AttributeError: the library does not export one of the operations.
    """
    for declaration in DECLARATIONS:
        function = getattr(library, declaration.name)
        function.restype = declaration.restype
        function.argtypes = declaration.argtypes


def make_handle(port: int) -> int:
    """The session handle of ``port``: the port number in bits 19 to 12 and the
    check pattern 0xEBD00EBD in the other bits."""
    return ((port & 0xFF) << 12) | 0xEBD00EBD


def array(kind: Any, values: Sequence[int], length: int, what: str) -> Any:
    """A ctypes array of exactly ``length`` items from ``values``.

    Raises:
        ValueError: ``values`` has another length or an item outside ``kind``.
    """
    if len(values) != length:
        raise ValueError(f"{what}: {length} values wanted, {len(values)} given")
    low, high = _RANGES[kind]
    for index, value in enumerate(values):
        if not low <= int(value) <= high:
            raise ValueError(f"{what}[{index}]={value} is outside {c_type_name(kind)} ({low} to {high})")
    return (kind * length)(*values)


def bytes_of(data: Any, what: str) -> bytes:
    """``data`` as bytes; only bytes, bytearray and memoryview are taken (an
    int would become that many zero bytes, None nothing at all).

    Raises:
        TypeError: naming ``what``.
    """
    if not isinstance(data, (bytes, bytearray, memoryview)):
        raise TypeError(f"{what} must be bytes, bytearray or memoryview, not {type(data).__name__}")
    return bytes(data)


def byte_area(data: Any, what: str, limit: int = 0xFFFF) -> Tuple[Any, int]:
    """A ctypes byte array holding ``data`` and its length.

    Raises:
        TypeError: ``data`` is not bytes, bytearray or memoryview.
        ValueError: ``data`` is longer than ``limit``.
    """
    payload = bytes_of(data, what)
    if len(payload) > limit:
        raise ValueError(f"{what}: {len(payload)} bytes, at most {limit}")
    return (c_uint8 * max(len(payload), 1)).from_buffer_copy(payload.ljust(1, b"\0")), len(payload)
