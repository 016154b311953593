// The link stack against a scripted far end under virtual time: port access
// with its time-out classes and skip buffer, frames, and the message queue.
#include <numeric>

#include "link/gwcoml1.h"
#include "link/gwcoml2.h"
#include "link/gwcoml3.h"
#include "script_peer.h"
#include "sim_fixture.h"

namespace ebd::test {
namespace {

using Bytes = std::vector<uint8_t>;

class Link : public SimFixture {
protected:
    void SetUp() override {
        SimFixture::SetUp();
        sim.attach("COM1", &peer);
        handle = open(1);
        ASSERT_NE(handle, 0u);
    }
    // How long one read takes in virtual milliseconds.
    double timedRead(uint8_t count, uint8_t* status, Bytes* got = nullptr) {
        Bytes buffer(count, 0xEE);
        const uint64_t start = now();
        *status = PortRead(handle, buffer.data(), count);
        if (got != nullptr) *got = buffer;
        return static_cast<double>(now() - start) / kMs;
    }
    ScriptPeer peer;
    uint32_t handle = 0;
};

TEST_F(Link, ReadTimeoutsFollowTheClassesAndTheBaudRate) {
    uint8_t status = 0;
    SetReadTimeoutClass(handle, 0);
    EXPECT_DOUBLE_EQ(timedRead(1, &status), 48.0);
    EXPECT_EQ(status, kLinkTimeout);
    SetReadTimeoutClass(handle, 1);
    EXPECT_DOUBLE_EQ(timedRead(3, &status), 6.0);
    // A long wait holds for one read only.
    SetReadTimeoutClass(handle, 2);
    EXPECT_DOUBLE_EQ(timedRead(1, &status), 1000.0);
    EXPECT_EQ(PortOf(handle).timeoutClass, 1);
    EXPECT_DOUBLE_EQ(timedRead(1, &status), 2.0);
    // Unknown classes act as class 1 but are kept.
    EXPECT_EQ(SetReadTimeoutClass(handle, 7), kLinkDone);
    EXPECT_EQ(PortOf(handle).timeoutClass, 7);
    EXPECT_DOUBLE_EQ(timedRead(1, &status), 2.0);

    WComClose(handle);
    handle = WComOpen(1, 57600, kTraceHandle);
    ASSERT_NE(handle, 0u);
    SetReadTimeoutClass(handle, 0);
    EXPECT_DOUBLE_EQ(timedRead(1, &status), 96.0);
    SetReadTimeoutClass(handle, 1);
    EXPECT_DOUBLE_EQ(timedRead(1, &status), 3.0);
}

TEST_F(Link, AShortReadKeepsWhatArrivedAndWaitsTheWholeTime) {
    peer.send({1, 2, 3, 4, 5}, now() + kMs);
    SetReadTimeoutClass(handle, 1);
    uint8_t status = 0;
    Bytes got;
    EXPECT_DOUBLE_EQ(timedRead(16, &status, &got), 32.0);
    EXPECT_EQ(status, kLinkTimeout);
    EXPECT_EQ(Bytes(got.begin(), got.begin() + 6), (Bytes{1, 2, 3, 4, 5, 0xEE}));
}

TEST_F(Link, PortFailuresGiveStatusNine) {
    EXPECT_EQ(TimeoutForClass(0, 115200), 48u);
    sim.failTimeouts("COM1", true);
    EXPECT_EQ(SetReadTimeoutClass(handle, 0), kLinkRefused);
    sim.failTimeouts("COM1", false);
    sim.failWrites("COM1", true);
    const uint8_t byte = 0x41;
    EXPECT_EQ(PortWrite(handle, &byte, 1), kLinkRefused);
    sim.vanish("COM1");
    uint8_t buffer[4];
    EXPECT_EQ(PortRead(handle, buffer, 4), kLinkRefused);
    // A port without total time-outs refuses every class.
    sim.attach("COM2", &peer);
    sim.noTotalTimeouts("COM2", true);
    const uint32_t second = WComOpen(2, 115200, kTraceHandle);
    ASSERT_NE(second, 0u);
    EXPECT_EQ(SetReadTimeoutClass(second, 1), kLinkRefused);
    EXPECT_EQ(WComOpen(1, -9600, kTraceHandle), 0u);  // port in use anyway, but no crash
}

TEST_F(Link, BootLineSettingsChangeOnlyTheirFields) {
    ASSERT_EQ(SetLineBootloader(handle), 1);
    auto line = sim.lineOf("COM1");
    EXPECT_EQ(line.baudRate, 57600u);
    EXPECT_EQ(line.stopBits, 1);
    EXPECT_FALSE(line.rts);
    EXPECT_FALSE(line.dtr);
    ASSERT_EQ(SetLineRunDtrOn(handle), 1);
    line = sim.lineOf("COM1");
    EXPECT_EQ(line.baudRate, 115200u);
    EXPECT_EQ(line.stopBits, 2);
    EXPECT_TRUE(line.rts);
    EXPECT_TRUE(line.dtr);
    ASSERT_EQ(SetLineRunDtrOff(handle), 1);
    EXPECT_FALSE(sim.lineOf("COM1").dtr);
    // The time-outs stay those of the open.
    EXPECT_EQ(PortOf(handle).timeoutMs[0], 48u);
}

TEST_F(Link, ExitReportsFillTheExitRecords) {
    const std::string report = "EXIT 0000001A12345678";
    SkipBytes(handle, reinterpret_cast<const uint8_t*>(report.data()), static_cast<uint8_t>(report.size()));
    FlushSkipBuffer(handle);
    const auto& exit = PortOf(handle).exit;
    EXPECT_EQ(exit.count, 1);
    EXPECT_EQ(exit.words[0], (std::array<uint32_t, 4>{0x1A, 0x12345678, 0, 0}));
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "(EBD ) FlushSkipBuffer: 21 bytes skipped",
                         "(EBD ) FlushSkipBuffer ->",
                         "(EBD )   00:    0x45 0x58 0x49 0x54 0x20 0x30 0x30 0x30 ",
                         "(EBD )   08:    0x30 0x30 0x30 0x31 0x41 0x31 0x32 0x33 ",
                         "(EBD )   16:    0x34 0x35 0x36 0x37 0x38 ",
                         "(EBD )   00:    EXIT 0000001A12345678",
                         "(EBD ) *****************************",
                         "(EBD ) *****************************",
                         "(EBD ) *****************************",
                         "(EBD ) FlushSkipBuffer: EXIT String found!",
                         "(EBD ) *****************************",
                         "(EBD ) >> EXIT 0000001A12345678",
                         "(EBD ) *****************************",
                         "(EBD ) *****************************",
                         "(EBD ) *****************************",
                     }));
    EXPECT_EQ(PortOf(handle).skipLength, 0);

    // Non-hex digits count as 0; a NUL ends the text; only three reports are kept.
    const uint8_t odd[] = {'E', 'X', 'I', 'T', ':', 'f', 'F', 'x', '1', 0, '9', '9', '9'};
    for (int i = 0; i < 3; ++i) SkipBytes(handle, odd, sizeof odd);
    FlushSkipBuffer(handle);
    EXPECT_EQ(exit.count, 4);
    EXPECT_EQ(exit.words[1][0], 0xFF010000u);
    EXPECT_EQ(exit.words[2][0], 0xFF010000u);
    EXPECT_EQ(count("(EBD ) >> EXIT:fFx1"), 3);
}

TEST_F(Link, ManyExitReportsNeverReachPastTheRecords) {
    const std::string report = "EXIT 1";
    for (int i = 0; i < 300; ++i)
        SkipBytes(handle, reinterpret_cast<const uint8_t*>(report.data()), static_cast<uint8_t>(report.size()));
    FlushSkipBuffer(handle);
    EXPECT_EQ(PortOf(handle).exit.count, static_cast<uint8_t>(300));
        // The text runs on to the end of the skipped bytes: "1EXIT 1E...".
    EXPECT_EQ(PortOf(handle).exit.words[2][0], 0x1E00001Eu);
}

TEST_F(Link, StrayBytesAreFlushedWhenTheSkipBufferWouldOverflow) {
    Bytes stray(300);
    std::iota(stray.begin(), stray.end(), 0);
    for (uint8_t b : stray) SkipBytes(handle, &b, 1);
    EXPECT_EQ(count("(EBD ) FlushSkipBuffer: 256 bytes skipped"), 1);
    EXPECT_EQ(PortOf(handle).skipLength, 44);
    EXPECT_EQ(PortOf(handle).skip[0], stray[256]);
    // 256 bytes make seven text lines of 40 and one of 16.
    EXPECT_TRUE(has("(EBD )   240:    ................"));
}

TEST_F(Link, PendingInputIsDrainedIntoTheSkipBuffer) {
    Bytes pending(40, 'x');
    peer.send(pending, now());
    SkipPendingInput(handle);
    EXPECT_EQ(PortOf(handle).skipLength, 40);
    EXPECT_EQ(peer.pending(), 0u);
}

TEST_F(Link, FramesGoOutByteExactWithoutEscaping) {
    peer.autoAck();
    FrameSlot slot{};
    FrameSlot rx{};
    uint8_t acked = 0;
    uint8_t received = 0;
    slot[0] = 2;
    slot[1] = 1;
    slot[2] = 2;
    EXPECT_EQ(SendFrame(handle, slot, &acked, rx, &received), kLinkDone);
    EXPECT_EQ(acked, 1);
    slot[0] = 0;
    EXPECT_EQ(SendFrame(handle, slot, &acked, rx, &received), kLinkDone);
    slot[0] = 4;
    slot[1] = 0x02;
    slot[2] = 0x03;
    slot[3] = 0x06;
    slot[4] = 0x15;
    EXPECT_EQ(SendFrame(handle, slot, &acked, rx, &received), kLinkDone);
    EXPECT_EQ(peer.allBytes(), (Bytes{0x02, 0x02, 0x01, 0x02, 0x03, 0x03, 0x02, 0x00, 0x02, 0x03, 0x02, 0x04, 0x02,
                                      0x03, 0x06, 0x15, 0x14, 0x03}));
}

TEST_F(Link, AFrameAnsweredNakTwiceIsSentThreeTimesTenMillisecondsApart) {
    peer.autoAck({kNak, kNak, kAck});
    FrameSlot slot{};
    FrameSlot rx{};
    slot[0] = 1;
    slot[1] = 0x55;
    uint8_t acked = 0;
    uint8_t received = 0;
    EXPECT_EQ(SendFrame(handle, slot, &acked, rx, &received), kLinkDone);
    ASSERT_EQ(peer.frames().size(), 3u);
    for (size_t i = 1; i < 3; ++i) {
        // The last byte of each frame arrives at frameTimes; a frame takes
        // 5 character times, and at least 10 ms lie between two blocks.
        EXPECT_GE(peer.frameTimes()[i] - peer.frameTimes()[i - 1], 10 * kMs);
    }
    EXPECT_EQ(count("(EBD ) SendBlockProlog: delay 9 msecs to avoid race condition in module..."), 2) << dump();
}

TEST_F(Link, AModuleThatAlwaysRefusesAFrameEndsTheSend) {
    peer.autoAck(Bytes(100, kNak));
    FrameSlot slot{};
    FrameSlot rx{};
    uint8_t acked = 0;
    uint8_t received = 0;
    EXPECT_EQ(SendFrame(handle, slot, &acked, rx, &received), kLinkTimeout);
    EXPECT_EQ(peer.frames().size(), static_cast<size_t>(kMaxFrameRepeats));
    EXPECT_EQ(acked, 0);
}

TEST_F(Link, NoAcknowledgementEndsTheSendAfterTheClassZeroWait) {
    FrameSlot slot{};
    FrameSlot rx{};
    uint8_t acked = 0;
    uint8_t received = 0;
    const uint64_t start = now();
    EXPECT_EQ(SendFrame(handle, slot, &acked, rx, &received), kLinkTimeout);
    EXPECT_EQ(peer.frames().size(), 1u);
    EXPECT_LT(now() - start, 60 * kMs);
}

TEST_F(Link, EndlessGarbageDuringAnAcknowledgementWaitEndsIt) {
    peer.send(Bytes(kMaxAckWaitBytes + 100, 'g'), now() + kMs, 1000);
    FrameSlot rx{};
    uint8_t received = 0;
    EXPECT_EQ(WaitForAck(handle, rx, &received), kLinkTimeout);
}

TEST_F(Link, AFloodOfFrameStartsEndsTheAcknowledgementWaitAfterTheClassZeroTime) {
    peer.send(Bytes(20'000, kStx), now() + kMs);
    FrameSlot rx{};
    uint8_t received = 0;
    const uint64_t start = now();
    EXPECT_EQ(WaitForAck(handle, rx, &received), kLinkTimeout);
    EXPECT_TRUE(has("(EBD ) WaitForAck: no ACK within 48 ms, giving up")) << dump();
    EXPECT_LT(now() - start, 60 * kMs);
    EXPECT_EQ(received, 0);
}

TEST_F(Link, AFrameTakenDuringTheWaitRestartsItsClock) {
    // Garbage, a good frame at 40 ms, garbage again until 80 ms, then the ACK.
    const Bytes theirs = ScriptPeer::frame({0xD6, 0xFF, 0x02, 0x00, 0, 0, 0x41});
    peer.send(Bytes(400, 'g'), now() + kMs);
    peer.send(theirs, now() + 40 * kMs);
    peer.send(Bytes(400, 'g'), now() + 42 * kMs);
    peer.send({kAck}, now() + 85 * kMs);
    FrameSlot rx{};
    uint8_t received = 0;
    EXPECT_EQ(WaitForAck(handle, rx, &received), kLinkAck) << dump();
    EXPECT_EQ(received, 1);
}

TEST_F(Link, AFrameOfTheModuleDuringTheWaitIsTakenAndASecondRefused) {
    const Bytes theirs = ScriptPeer::frame({0xD6, 0xFF, 0x02, 0x00, 0, 0, 0x41});
    const Bytes second = ScriptPeer::frame({0x99});
    peer.send(theirs, now() + kMs);
    peer.send(second, now() + 3 * kMs);
    peer.send({kAck}, now() + 20 * kMs);
    FrameSlot rx{};
    uint8_t received = 0;
    EXPECT_EQ(WaitForAck(handle, rx, &received), kLinkAck);
    EXPECT_EQ(received, 1);
    EXPECT_EQ(Bytes(rx.begin(), rx.begin() + 8), (Bytes{7, 0xD6, 0xFF, 0x02, 0x00, 0, 0, 0x41}));
    EXPECT_EQ(peer.allBytes(), (Bytes{kAck, kNak}));
}

TEST_F(Link, StrayBytesBeforeAFrameAreSkippedAndShownWhenTheFrameStarts) {
    peer.send({0x78, 0x79, 0x7A}, now() + kMs);
    peer.send(ScriptPeer::frame({1, 2, 3}), now() + 2 * kMs);
    FrameSlot slot{};
    uint8_t received = 0;
    for (int i = 0; i < 3; ++i) EXPECT_EQ(ReceiveFrame(handle, slot, &received, 1), kLinkStray);
    EXPECT_TRUE(lines.empty());
    EXPECT_EQ(ReceiveFrame(handle, slot, &received, 0), kLinkDone);
    EXPECT_EQ(received, 1);
    EXPECT_EQ(lines.at(0), "(EBD ) GoodData, skipLength is 3");
    EXPECT_EQ(lines.at(1), "(EBD ) FlushSkipBuffer: 3 bytes skipped");
    EXPECT_EQ(peer.allBytes(), Bytes{kAck});
}

TEST_F(Link, BadFramesAreRefusedWithNak) {
    Bytes badEnd = ScriptPeer::frame({1, 2});
    badEnd.back() = 0x04;
    Bytes badCheck = ScriptPeer::frame({1, 2});
    badCheck[4] ^= 0xFF;
    peer.send(badEnd, now() + kMs);
    FrameSlot slot{};
    uint8_t received = 0;
    EXPECT_EQ(ReceiveFrame(handle, slot, &received, 0), kLinkBadEnd);
    peer.send(badCheck, now() + kMs);
    EXPECT_EQ(ReceiveFrame(handle, slot, &received, 0), kLinkBadCheck);
    EXPECT_EQ(received, 0);
    // A frame cut short times out inside and is refused too.
    peer.send({kStx, 5, 1}, now() + kMs);
    EXPECT_EQ(ReceiveFrame(handle, slot, &received, 0), kLinkTimeout);
    EXPECT_EQ(peer.allBytes(), (Bytes{kNak, kNak, kNak}));
    // Silence is no error.
    EXPECT_EQ(ReceiveFrame(handle, slot, &received, 1), kLinkDone);
    EXPECT_EQ(received, 0);
}

// ---- Message queue ------------------------------------------------------

class Queue : public Link {
protected:
    void SetUp() override {
        Link::SetUp();
        peer.autoAck();
    }
    bool send(uint16_t id, const Bytes& data) {
        Bytes scratch(kMaxMessageData);
        uint16_t rxId = 0, rxLength = 0;
        return NomiL3Transfer(handle, id, data.data(), static_cast<uint16_t>(data.size()), &rxId, scratch.data(),
                              &rxLength) == kLinkDone;
    }
    uint8_t receive() {
        Bytes area(kMaxMessageData);
        uint16_t rxId = 0, rxLength = 0;
        return NomiL3Transfer(handle, 0, nullptr, 0, &rxId, area.data(), &rxLength);
    }
    int take(uint16_t* id, Bytes* data) {
        Bytes area(kMaxMessageData);
        uint16_t length = 0;
        const int result = NomiL3RemoveFromRxQueue(handle, id, area.data(), &length);
        if (result != kQueueEmpty) *data = Bytes(area.begin(), area.begin() + length);
        return result;
    }
    // Queues the module's frames, each acknowledged by us, 5 ms apart.
    void moduleSends(const std::vector<Bytes>& payloads) {
        uint64_t at = now() + kMs;
        for (const auto& p : payloads) {
            peer.send(ScriptPeer::frame(p), at);
            at += 5 * kMs;
        }
    }
};

TEST_F(Queue, ARequestGoesOutAsOneSegmentWithItsHeader) {
    ASSERT_TRUE(send(0x0203, {0x34, 0x12}));
    ASSERT_EQ(peer.frames().size(), 1u);
    EXPECT_EQ(peer.frames()[0], (Bytes{0xD6, 0xFF, 0x00, 0x04, 0x03, 0x02, 0x34, 0x12}));
}

TEST_F(Queue, LongRequestsAreCutIntoSegments) {
    ASSERT_TRUE(send(1, Bytes(249, 0xAB)));
    ASSERT_EQ(peer.frames().size(), 1u);
    EXPECT_EQ(peer.frames()[0].size(), 255u);
    EXPECT_EQ(peer.frames()[0][1], 0xFF);

    peer.clear();
    ASSERT_TRUE(send(1, Bytes(250, 0xAB)));
    ASSERT_EQ(peer.frames().size(), 2u);
    EXPECT_EQ(peer.frames()[0][1], 0);
    EXPECT_EQ(peer.frames()[1], (Bytes{0xD6, 0xFF, 0xAB}));

    peer.clear();
    Bytes data(600);
    std::iota(data.begin(), data.end(), 0);
    ASSERT_TRUE(send(0x0305, data));
    ASSERT_EQ(peer.frames().size(), 3u);
    EXPECT_EQ(peer.frames()[0][1], 0);
    EXPECT_EQ(peer.frames()[1][1], 1);
    EXPECT_EQ(peer.frames()[2][1], 0xFF);
    EXPECT_EQ(peer.frames()[0].size(), 6u + 249);
    EXPECT_EQ(peer.frames()[1].size(), 2u + 253);
    EXPECT_EQ(peer.frames()[2].size(), 2u + 98);
    EXPECT_EQ(Bytes(peer.frames()[0].begin() + 2, peer.frames()[0].begin() + 6), (Bytes{0x02, 0x5A, 0x05, 0x03}));
    Bytes joined(peer.frames()[0].begin() + 6, peer.frames()[0].end());
    joined.insert(joined.end(), peer.frames()[1].begin() + 2, peer.frames()[1].end());
    joined.insert(joined.end(), peer.frames()[2].begin() + 2, peer.frames()[2].end());
    EXPECT_EQ(joined, data);
}

TEST_F(Queue, IncomingSegmentsAreAssembledAndRepeatsIgnored) {
    moduleSends({{0xD6, 0, 0x06, 0x02, 0, 0, 'a'},
                 {0xD6, 0, 0x06, 0x02, 0, 0, 'a'},  // the first segment again
                 {0xD6, 1, 'b', 'c'},
                 {0xD6, 0xFF, 'd'}});
    EXPECT_EQ(receive(), kLinkDone);
    uint16_t id = 0;
    Bytes data;
    ASSERT_EQ(take(&id, &data), kQueueTaken);
    EXPECT_EQ(id, 0x0206);
    EXPECT_EQ(data, (Bytes{'a', 'b', 'c', 'd'}));
    EXPECT_EQ(take(&id, &data), kQueueEmpty);
}

TEST_F(Queue, ASegmentOutOfSequenceDropsTheMessage) {
    moduleSends({{0xD6, 0, 0x06, 0x02, 0, 0, 'x'}, {0xD6, 3, 'y'}});
    EXPECT_EQ(receive(), kLinkDone);
    uint16_t id = 0;
    Bytes data;
    EXPECT_EQ(take(&id, &data), kQueueEmpty);
}

TEST_F(Queue, DoubledMessagesAreSkippedWhenTaken) {
    moduleSends({{0xD6, 0xFF, 0x06, 0x02, 0, 0, 0x41, 0x42}});
    EXPECT_EQ(receive(), kLinkDone);
    moduleSends({{0xD6, 0xFF, 0x06, 0x02, 0, 0, 0x41, 0x42}, {0xD6, 0xFF, 0x08, 0x02, 0, 0, 0x41, 0x42}});
    EXPECT_EQ(receive(), kLinkDone);
    EXPECT_EQ(receive(), kLinkDone);
    uint16_t id = 0;
    Bytes data;
    EXPECT_EQ(take(&id, &data), kQueueTaken);
    EXPECT_EQ(id, 0x0206);
    EXPECT_EQ(data, (Bytes{0x41, 0x42}));
    EXPECT_EQ(take(&id, &data), kQueueDoubled);
    // Another command id with the same data counts as doubled too.
    EXPECT_EQ(take(&id, &data), kQueueDoubled);
    EXPECT_EQ(id, 0x0208);
    EXPECT_EQ(count("(GWL3) NomiL3RemoveFromRxQueue: skipped doubled msg"), 2);
    EXPECT_EQ(take(&id, &data), kQueueEmpty);
}

TEST_F(Queue, AReceiveOnlyRunOnASilentLineWaitsOneSecond) {
    const uint64_t start = now();
    EXPECT_EQ(receive(), kLinkDone);
    EXPECT_NEAR(static_cast<double>(now() - start) / kMs, 1000.0, 1.0);
    uint16_t id = 0;
    Bytes data;
    EXPECT_EQ(take(&id, &data), kQueueEmpty);
}

TEST_F(Queue, AMessageArrivingWhileSendingIsQueued) {
    peer.onFrame = [this](const Bytes& payload, uint64_t at) {
        if (payload.size() > 2 && payload[1] == 0xFF && payload[4] == 0x63)
            peer.send(ScriptPeer::frame({0xD6, 0xFF, 0x64, 0x00, 0, 0, 7}), at + 500'000);
    };
    ASSERT_TRUE(send(0x63, {1, 2}));
    uint16_t id = 0;
    Bytes data;
    ASSERT_EQ(take(&id, &data), kQueueTaken);
    EXPECT_EQ(id, 0x64);
}

TEST_F(Queue, APortThatVanishesMidFrameEndsTheRunWithItsStatus) {
    peer.send({kStx, 20, 0xD6, 0xFF}, now() + kMs);
    sim.vanishAt("COM1", now() + 2 * kMs);
    const uint64_t start = now();
    EXPECT_EQ(receive(), kLinkRefused);
    EXPECT_FALSE(send(1, {1}));
    // A vanished port refuses at once: the first read of a run sees nothing.
    EXPECT_EQ(receive(), kLinkDone);
    EXPECT_LT(now() - start, 100 * kMs);
}

// Garbage ends a run as silence would: a receive-only run with status 0 and
// nothing queued, a send run with status 8 and its segment unsent.
TEST_F(Queue, EndlessStrayBytesEndTheRunWithinTheBound) {
    peer.send(Bytes(kMaxFruitlessPasses + 500, 'z'), now() + kMs, 95'000);
    EXPECT_EQ(receive(), kLinkDone);
    EXPECT_TRUE(has("(GWL3) NomiL3Transfer: nothing usable received in 4096 passes, giving up"));
}

TEST_F(Queue, StrayBytesTooSlowForThePassBoundEndTheRunAfterTheLongWait) {
    peer.send(Bytes(2000, 'z'), now() + kMs, 5 * kMs);
    const uint64_t start = now();
    EXPECT_EQ(receive(), kLinkDone);
    EXPECT_TRUE(has("(GWL3) NomiL3Transfer: nothing usable received in 1000 ms, giving up")) << dump();
    EXPECT_GE(now() - start, 1000 * kMs);
    EXPECT_LT(now() - start, 1010 * kMs);
}

TEST_F(Queue, GarbageAheadOfAnUnsentSegmentEndsTheSendLikeAMissingAck) {
    peer.send(Bytes(2000, 'z'), now() + kMs, 95'000);
    const uint64_t start = now();
    EXPECT_FALSE(send(0x63, {1, 2}));
    EXPECT_TRUE(peer.frames().empty());
    // The short receive wait and the acknowledgement wait: 2 + 48 ms.
    EXPECT_TRUE(has("(GWL3) NomiL3Transfer: nothing usable received in 50 ms, giving up")) << dump();
    EXPECT_LT(now() - start, 60 * kMs);
}

TEST_F(Queue, TheSameSegmentForeverEndsTheRunWithinTheBound) {
    std::vector<Bytes> frames{{0xD6, 0, 0x06, 0x02, 0, 0, 'a'}};
    for (int i = 0; i < kMaxFruitlessPasses + 10; ++i) frames.push_back({0xD6, 0, 'r'});
    moduleSends(frames);
    const uint64_t start = now();
    EXPECT_EQ(receive(), kLinkDone);
    // As long as the 201 idle passes of 2 ms that drop a half message on a silent line.
    EXPECT_TRUE(has("(GWL3) NomiL3Transfer: nothing usable received in 402 ms, giving up")) << dump();
    EXPECT_LT(now() - start, 450 * kMs);
    uint16_t id = 0;
    Bytes data;
    EXPECT_EQ(take(&id, &data), kQueueEmpty);
}

TEST_F(Queue, AHalfMessageIsDroppedAfterTwoHundredIdlePasses) {
    moduleSends({{0xD6, 0, 0x06, 0x02, 0, 0, 'a'}});
    EXPECT_EQ(receive(), kLinkDone);
    uint16_t id = 0;
    Bytes data;
    EXPECT_EQ(take(&id, &data), kQueueEmpty);
}

TEST_F(Queue, CloseDrainsTheQueueWithOnePurgeLineEach) {
    moduleSends({{0xD6, 0xFF, 0x10, 0, 0, 0, 1}});
    receive();
    moduleSends({{0xD6, 0xFF, 0x12, 0, 0, 0, 2}});
    receive();
    lines.clear();
    EXPECT_EQ(WComClose(handle), 1);
    EXPECT_EQ(count("(EBD ) WComClose: Purge the Rx Queue..."), 2);
    EXPECT_EQ(GetPortHandle(handle), platform::kNoPort);
    EXPECT_TRUE(HandleValid(handle));
}

}  // namespace
}  // namespace ebd::test
