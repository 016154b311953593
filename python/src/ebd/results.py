"""Named tuples for the operations that hand back more than one value."""

from __future__ import annotations

from typing import NamedTuple, Tuple


class IQOffsets(NamedTuple):
    """The I/Q offsets the module uses (``WGetUsedIQOffsetValues``)."""

    rx_i: int
    rx_q: int
    tx_i: int
    tx_q: int


class LoopbackData(NamedTuple):
    """One result of a loopback test (``WGetLoopbackData``)."""

    timing_offset_qbits: int
    freq_offset_hz: int
    bit_errors: int
    soft_decision_total: int
    rssi: int


class FlashSerialNumber(NamedTuple):
    """The flash chip's serial number: as a number and as the 4 bytes it is
    made of (little-endian)."""

    number: int
    raw: bytes


class GainTable(NamedTuple):
    """A receiver gain table of 26 entries derived from two measured points
    (``WSendGwRssiMPoints``)."""

    gain_words: Tuple[int, ...]
    rssi: Tuple[int, ...]


class ExitData(NamedTuple):
    """The EXIT reports the module printed: how many there were, and the
    records kept (at most 3), each four 32-bit words."""

    count: int
    records: Tuple[Tuple[int, int, int, int], ...]


class LibrarySettings(NamedTuple):
    """The port and baud rate of the machine-wide settings; ``found`` tells
    whether a port was stored there (else the defaults, port 1)."""

    port: int
    baud_rate: int
    found: bool
