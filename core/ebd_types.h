// The types every layer shares: link status codes, messages, frame slots, and
// the port table entry that holds everything the library knows about one port.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

#include "platform/platform.h"

namespace ebd {

// Link status codes of port access and frames.
enum LinkStatus : uint8_t {
    kLinkDone = 0,
    kLinkAck = 1,
    kLinkBadCheck = 2,
    kLinkNotOpened = 4,
    kLinkBadEnd = 5,
    kLinkNak = 6,
    kLinkStray = 7,
    kLinkTimeout = 8,
    kLinkRefused = 9,
};

inline constexpr size_t kMaxMessageData = 1500;
inline constexpr size_t kSkipBufferSize = 256;

// One complete incoming message waiting to be taken.
struct QueueRecord {
    QueueRecord* next = nullptr;
    std::array<uint8_t, kMaxMessageData> data;
    uint16_t commandId = 0;
    uint16_t length = 0;
};

struct ExitRecords {
    uint8_t count = 0;
    std::array<std::array<uint32_t, 4>, 3> words{};
};

// Frame slot: byte 0 the payload length, bytes 1..L the payload.
using FrameSlot = std::array<uint8_t, 256>;

struct PortEntry {
    // Session.
    platform::PortHandle port = platform::kNoPort;
    bool opening = false;  // a WComOpen has claimed the entry
    uint32_t traceHandle = 0;
    // Stored by the session's operations, and by a failed open of the same
    // port or an operation with a bad handle on other threads.
    std::atomic<uint16_t> lastError{0};
    // Target version of the session (written by the remote-call layer).
    uint32_t gotTargetVersion = 0;
    int16_t mobileSwVersion = 0;
    // Written by port access; cleared for every port by any session's open.
    ExitRecords exit;

    // Port access.
    std::array<uint32_t, 3> timeoutMs{};  // classes 0, 1 and 2
    uint8_t timeoutClass = 1;
    bool totalTimeouts = false;  // provider capability kept at open
    std::array<uint8_t, kSkipBufferSize> skip{};
    uint16_t skipLength = 0;

    // Frames.
    std::array<uint8_t, 259> tx{};
    uint64_t sendStamp = 0;

    // Message queue.
    const uint8_t* txCursor = nullptr;
    uint16_t txRemaining = 0;
    uint8_t txSegmentCounter = 0;
    uint8_t* rxWrite = nullptr;
    uint8_t rxExpected = 0;
    uint8_t rxType = 0;
    uint16_t* rxLength = nullptr;
    uint8_t lastRxSegment = 0;
    QueueRecord* queueFirst = nullptr;
    QueueRecord* queueLast = nullptr;
    std::array<uint8_t, kMaxMessageData> lastTaken{};
    uint16_t lastTakenLength = 0;

    // Target version.
    std::array<char, 25> bootloaderText{};
};

}  // namespace ebd
