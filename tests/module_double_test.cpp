// The module double, driven directly through its peer interface: a small host
// here writes bytes, moves virtual time on and reads what arrived.
#include "sim/module_double.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace ebd::sim {
namespace {

using Bytes = std::vector<uint8_t>;
using State = ModuleDouble::State;

constexpr uint64_t kByteNs115200 = 95'486;  // 11 bits at 115200 baud
constexpr uint64_t kByteNs57600 = 190'972;

Bytes text(const std::string& s) {
    return Bytes(s.begin(), s.end());
}
uint8_t lo(size_t v) {
    return static_cast<uint8_t>(v);
}
uint8_t hi(size_t v) {
    return static_cast<uint8_t>(v >> 8);
}

// Host side of the line, written independently of the double's own helpers.
Bytes frame(const Bytes& payload) {
    Bytes f{0x02, static_cast<uint8_t>(payload.size())};
    uint8_t check = static_cast<uint8_t>(0x02 ^ payload.size());
    for (uint8_t b : payload) {
        f.push_back(b);
        check ^= b;
    }
    f.push_back(check);
    f.push_back(0x03);
    return f;
}

// A single-segment request: D6 FF lenHi lenLo idLo idHi data.
Bytes request(uint16_t id, const Bytes& data) {
    Bytes p{0xD6, 0xFF, hi(data.size() + 2), lo(data.size() + 2), lo(id), hi(id)};
    p.insert(p.end(), data.begin(), data.end());
    return frame(p);
}

struct Token {
    enum Kind { Ack, Nak, Frame, Other } kind;
    Bytes payload;  // of a frame
    uint8_t byte;
    uint64_t atNs;  // arrival of the first byte
};

// Takes acknowledgements, good frames and other bytes from the front of what
// arrived; a frame that has not fully arrived stays in `in`.
std::vector<Token> takeTokens(std::vector<ModuleDouble::TimedByte>& in) {
    std::vector<Token> out;
    size_t i = 0;
    while (i < in.size()) {
        const uint8_t b = in[i].value;
        if (b == 0x02) {
            if (i + 1 >= in.size() || i + in[i + 1].value + 3 >= in.size()) break;
            const size_t length = in[i + 1].value;
            Bytes payload;
            uint8_t check = static_cast<uint8_t>(0x02 ^ length);
            for (size_t k = 0; k < length; ++k) {
                payload.push_back(in[i + 2 + k].value);
                check ^= in[i + 2 + k].value;
            }
            if (in[i + 2 + length].value == check && in[i + 3 + length].value == 0x03) {
                out.push_back({Token::Frame, payload, b, in[i].atNs});
                i += length + 4;
                continue;
            }
        }
        out.push_back({b == 0x06 ? Token::Ack : b == 0x15 ? Token::Nak : Token::Other, {}, b, in[i].atNs});
        ++i;
    }
    in.erase(in.begin(), in.begin() + static_cast<long>(i));
    return out;
}

std::vector<Token> framesOf(const std::vector<Token>& all) {
    std::vector<Token> frames;
    for (const Token& t : all)
        if (t.kind == Token::Frame) frames.push_back(t);
    return frames;
}

Bytes valuesOf(const std::vector<ModuleDouble::TimedByte>& in) {
    Bytes values;
    for (const auto& b : in) values.push_back(b.value);
    return values;
}

uint16_t le16(const Bytes& b, size_t at) {
    return static_cast<uint16_t>(b[at] | b[at + 1] << 8);
}
// The data of a single-segment confirm, behind its 6-byte header.
Bytes dataOf(const Token& t) {
    return t.payload.size() < 6 ? Bytes{} : Bytes(t.payload.begin() + 6, t.payload.end());
}

class Host {
public:
    explicit Host(ModuleDouble& module) : module_(module) {}

    void line(uint32_t baud, bool dtr) {
        settings_.baudRate = baud;
        settings_.dtr = dtr;
        module_.onLine(settings_, now);
    }
    void write(const Bytes& bytes) {
        now += bytes.size() * (settings_.baudRate == 57600 ? kByteNs57600 : kByteNs115200);
        module_.onHostBytes(bytes.data(), bytes.size(), now);
    }
    void wait(uint64_t ns) {
        now += ns;
        module_.advanceTo(now);
    }
    // Everything that has arrived by now.
    std::vector<ModuleDouble::TimedByte> read() {
        module_.advanceTo(now);
        std::vector<ModuleDouble::TimedByte> got;
        uint64_t at = 0;
        while (module_.frontOutput(&at) && at <= now) {
            const uint8_t value = module_.popOutput();
            got.push_back({value, at});
        }
        return got;
    }
    Bytes after(uint64_t ns) {
        wait(ns);
        return valuesOf(read());
    }
    std::vector<Token> readTokens() {
        const auto got = read();
        pending_.insert(pending_.end(), got.begin(), got.end());
        return takeTokens(pending_);
    }
    // Reads for `ns` in 1 ms steps and ACKs every frame as it comes.
    std::vector<Token> pump(uint64_t ns) {
        std::vector<Token> all;
        for (uint64_t waited = 0; waited < ns; waited += kMs) {
            wait(kMs);
            for (const Token& t : readTokens()) {
                if (t.kind == Token::Frame) write({0x06});
                all.push_back(t);
            }
        }
        return all;
    }
    std::vector<Token> exchange(const Bytes& bytes, uint64_t ns = 50 * kMs) {
        write(bytes);
        return pump(ns);
    }

    uint64_t now = 1'000'000'000;

private:
    ModuleDouble& module_;
    platform::LineSettings settings_;
    std::vector<ModuleDouble::TimedByte> pending_;
};

ModuleDouble::Settings startingIn(State state) {
    ModuleDouble::Settings settings;
    settings.start = state;
    return settings;
}

// ---- AT-command mode ----------------------------------------------------------

TEST(ModuleDoubleAt, EchoesEachByteAndAnswersOkAtLineSpeed) {
    ModuleDouble module;
    Host host(module);
    Bytes all;
    for (uint8_t b : text("at\r")) {
        host.write({b});
        const uint64_t written = host.now;
        host.wait(10 * kMs);
        const auto got = host.read();
        ASSERT_FALSE(got.empty());
        // First answer byte about 1 ms after the trigger, then one per character time.
        EXPECT_GE(got.front().atNs - written, 1 * kMs);
        EXPECT_LE(got.front().atNs - written, 1 * kMs + 2 * kByteNs115200);
        for (size_t i = 1; i < got.size(); ++i) EXPECT_EQ(got[i].atNs - got[i - 1].atNs, kByteNs115200);
        for (const auto& g : got) all.push_back(g.value);
    }
    EXPECT_EQ(all, text("at\r\r\nOK\r\n"));

    host.write(text("xyz\r"));
    EXPECT_EQ(host.after(10 * kMs), text("xyz\r\r\nERROR\r\n"));
    host.write(text("\r"));
    EXPECT_EQ(host.after(10 * kMs), text("\r"));
    EXPECT_EQ(module.state(), State::At);
}

TEST(ModuleDoubleAt, SwitchCommandAnswersOkThenSpeaksNomi) {
    ModuleDouble module;
    Host host(module);
    host.write(text("at^xqwe=1\r"));
    EXPECT_EQ(host.after(100 * kMs), text("at^xqwe=1\r\r\nOK\r\n"));
    EXPECT_EQ(module.state(), State::Nomi);

    // Detection: "a" of the AT test string is no frame start.
    host.write(text("a"));
    EXPECT_EQ(host.after(5 * kMs), Bytes{0x15});

    // The NOMI test string has a bad check byte and no end: NAK after the
    // inter-byte time-out, well inside the host's 48 ms wait.
    host.write({0x02, 0x01, 0xD6, 0x0D});
    const uint64_t written = host.now;
    host.wait(48 * kMs);
    const auto got = host.read();
    ASSERT_EQ(valuesOf(got), Bytes{0x15});
    EXPECT_GE(got[0].atNs - written, 20 * kMs);
    EXPECT_LT(got[0].atNs - written, 25 * kMs);
}

TEST(ModuleDoubleAt, EchoAndSwitchDepartures) {
    ModuleDouble::Settings settings;
    settings.at.echo = AtInterpreter::Echo::UpperCase;
    settings.at.honourSwitch = false;
    ModuleDouble module(settings);
    Host host(module);
    host.write(text("at\r"));
    EXPECT_EQ(host.after(10 * kMs), text("AT\r\r\nOK\r\n"));
    host.write(text("at^xqwe=1\r"));
    host.wait(100 * kMs);
    EXPECT_EQ(module.state(), State::At);
}

// ---- NOMI frames ----------------------------------------------------------------

TEST(ModuleDoubleNomi, RequestIsAckedAndConfirmEchoesReference) {
    ModuleDouble module(startingIn(State::Nomi));
    Host host(module);
    host.write(request(99, {0x34, 0x12}));
    const uint64_t written = host.now;
    host.wait(20 * kMs);
    const auto got = host.readTokens();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].kind, Token::Ack);
    EXPECT_LT(got[0].atNs - written, 2 * kMs);
    // D6 FF idLo idHi lenHi lenLo | ref, status, mode, pad
    EXPECT_EQ(got[1].payload, (Bytes{0xD6, 0xFF, 100, 0, 0, 8, 0x34, 0x12, 0, 0, 0, 0}));
    EXPECT_GT(got[1].atNs, got[0].atNs);

    ASSERT_EQ(module.requests().size(), 1u);
    EXPECT_EQ(module.requests()[0].commandId, 99);
    EXPECT_EQ(module.requests()[0].lengthField, 4);
    EXPECT_EQ(module.requests()[0].data, (Bytes{0x34, 0x12}));
    ASSERT_EQ(module.hostFrames().size(), 1u);
    EXPECT_EQ(module.hostFrames()[0].verdict, ModuleDouble::FrameVerdict::Acked);

    // Acknowledged: the confirm is not sent again.
    host.write({0x06});
    EXPECT_TRUE(host.after(1000 * kMs).empty());
}

TEST(ModuleDoubleNomi, OwnFrameIsResentOnNakAndAfterSilenceBoundedTimes) {
    ModuleDouble module(startingIn(State::Nomi));
    Host host(module);
    host.write(request(1, {0x07, 0x00}));
    host.wait(20 * kMs);
    const auto first = framesOf(host.readTokens());
    ASSERT_EQ(first.size(), 1u);

    host.write({0x15});
    const uint64_t nakAt = host.now;
    host.wait(20 * kMs);
    const auto again = framesOf(host.readTokens());
    ASSERT_EQ(again.size(), 1u);
    EXPECT_EQ(again[0].payload, first[0].payload);
    EXPECT_LT(again[0].atNs - nakAt, 2 * kMs);

    // No answer at all: repeated 100 ms after each frame, 5 repeats in all.
    host.wait(2000 * kMs);
    const auto repeats = framesOf(host.readTokens());
    ASSERT_EQ(repeats.size(), 4u);
    const uint64_t frameNs = (first[0].payload.size() + 4) * kByteNs115200;
    for (size_t i = 1; i < repeats.size(); ++i) {
        const uint64_t gap = repeats[i].atNs - repeats[i - 1].atNs;
        EXPECT_GE(gap, 100 * kMs + frameNs);
        EXPECT_LT(gap, 102 * kMs + frameNs);
    }
    EXPECT_EQ(module.nextEventNs(), UINT64_MAX);
}

TEST(ModuleDoubleNomi, BadFramesAreNaked) {
    ModuleDouble module(startingIn(State::Nomi));
    Host host(module);
    Bytes badCheck = request(99, {1, 0});
    badCheck[badCheck.size() - 2] ^= 0x40;
    Bytes badEnd = request(99, {1, 0});
    badEnd.back() = 0x04;
    const Bytes halfFrame{0x02, 0x08, 0xD6, 0xFF};
    for (const Bytes& bad : {badCheck, badEnd, halfFrame}) {
        host.write(bad);
        EXPECT_EQ(host.after(30 * kMs), Bytes{0x15});
    }
    using V = ModuleDouble::FrameVerdict;
    ASSERT_EQ(module.hostFrames().size(), 3u);
    EXPECT_EQ(module.hostFrames()[0].verdict, V::BadCheck);
    EXPECT_EQ(module.hostFrames()[1].verdict, V::BadEnd);
    EXPECT_EQ(module.hostFrames()[2].verdict, V::Abandoned);
    EXPECT_TRUE(module.requests().empty());
}

TEST(ModuleDoubleNomi, SegmentedRequestIsReassembledOnce) {
    ModuleDouble module(startingIn(State::Nomi));
    Host host(module);
    Bytes data(600);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7);
    Bytes first{0xD6, 0x00, 0x02, 0x5A, 0x03, 0x02};
    first.insert(first.end(), data.begin(), data.begin() + 249);
    Bytes second{0xD6, 0x01};
    second.insert(second.end(), data.begin() + 249, data.begin() + 502);
    Bytes last{0xD6, 0xFF};
    last.insert(last.end(), data.begin() + 502, data.end());

    for (const Bytes& segment : {first, first, second, last}) {  // the first one twice
        host.write(frame(segment));
        host.wait(5 * kMs);
        const auto got = host.readTokens();
        ASSERT_FALSE(got.empty());
        EXPECT_EQ(got[0].kind, Token::Ack);
    }
    ASSERT_EQ(module.requests().size(), 1u);
    EXPECT_EQ(module.requests()[0].commandId, 0x0203);
    EXPECT_EQ(module.requests()[0].lengthField, 602);
    EXPECT_EQ(module.requests()[0].data, data);
}

TEST(ModuleDoubleNomi, LongConfirmIsSplitIntoNumberedSegments) {
    Firmware::Config firmware;
    firmware.versionText = std::string(600, 'v');
    for (size_t splitSize : {size_t{0}, size_t{10}}) {
        ModuleDouble::Settings settings = startingIn(State::Nomi);
        settings.splitSize = splitSize;
        ModuleDouble module(settings, firmware);
        Host host(module);
        const auto frames = framesOf(host.exchange(request(1, {0x11, 0x22}), 1000 * kMs));
        const size_t dataLength = 12 + 600 + 1;
        const size_t firstMax = splitSize == 0 ? 249 : splitSize;
        const size_t nextMax = splitSize == 0 ? 253 : splitSize;
        const size_t expected = 1 + (dataLength - firstMax + nextMax - 1) / nextMax;
        ASSERT_EQ(frames.size(), expected) << "split " << splitSize;

        Bytes joined;
        for (size_t i = 0; i < frames.size(); ++i) {
            const Bytes& p = frames[i].payload;
            EXPECT_EQ(p[0], 0xD6);
            EXPECT_EQ(p[1], i + 1 == frames.size() ? 0xFF : i);
            const size_t header = i == 0 ? 6 : 2;
            EXPECT_LE(p.size() - header, i == 0 ? firstMax : nextMax);
            joined.insert(joined.end(), p.begin() + static_cast<long>(header), p.end());
        }
        EXPECT_EQ(le16(frames[0].payload, 2), 2);
        EXPECT_EQ(frames[0].payload[4] << 8 | frames[0].payload[5], dataLength + 2);
        ASSERT_EQ(joined.size(), dataLength);
        EXPECT_EQ(le16(joined, 0), 0x2211);
        EXPECT_EQ(std::string(joined.begin() + 12, joined.end() - 1), firmware.versionText);
    }
}

// ---- Firmware -------------------------------------------------------------------------

TEST(ModuleDoubleFirmware, MainPathCallsKeepTheirState) {
    Firmware::Config firmware;
    firmware.hardwareVersion = 0x01020304;
    firmware.rpcVersion = 0x00030004;
    firmware.versionText = "ABC_136:x&Bln-Bootloader V1.2";
    ModuleDouble module(startingIn(State::Nomi), firmware);
    module.firmware().setHandler(73, [](const Request& r, Firmware::Outcome& out) {
        out.messages.push_back({74, {r.data[0], r.data[1], 0xBE, 0xEF, 0, 0}, 0});
    });
    Host host(module);
    auto confirmOf = [&](uint16_t id, const Bytes& data) {
        const auto frames = framesOf(host.exchange(request(id, data)));
        EXPECT_EQ(frames.size(), 1u) << "request " << id;
        if (frames.empty()) return Bytes{};
        EXPECT_EQ(le16(frames[0].payload, 2), id + 1);
        return dataOf(frames[0]);
    };

    const Bytes version = confirmOf(1, {0xAA, 0x55});
    ASSERT_EQ(version.size(), 12u + firmware.versionText.size() + 1);
    EXPECT_EQ(le16(version, 0), 0x55AA);
    EXPECT_EQ(le16(version, 4) | le16(version, 6) << 16, 0x01020304);
    EXPECT_EQ(le16(version, 8) | le16(version, 10) << 16, 0x00030004);
    EXPECT_EQ(std::string(version.begin() + 12, version.end() - 1), firmware.versionText);

    EXPECT_EQ(confirmOf(101, {5, 0, 1, 0}), (Bytes{5, 0, 0, 0}));
    EXPECT_EQ(confirmOf(99, {6, 0}), (Bytes{6, 0, 0, 0, 1, 0}));
    EXPECT_EQ(module.firmware().operationMode(), 1);
    EXPECT_TRUE(module.firmware().javaAutostart());
    EXPECT_EQ(confirmOf(107, {7, 0, 0, 0}), (Bytes{7, 0, 0, 0}));
    EXPECT_FALSE(module.firmware().javaAutostart());
    EXPECT_EQ(confirmOf(9, {8, 0}), (Bytes{8, 0}));
    // Without a handler of its own: reference and zeros. With one: its confirm.
    EXPECT_EQ(confirmOf(5, {9, 0}), (Bytes{9, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(confirmOf(73, {10, 0}), (Bytes{10, 0, 0xBE, 0xEF, 0, 0}));
}

TEST(ModuleDoubleFirmware, AtCommandGetsEmptyConfirmThenAnswers) {
    ModuleDouble module(startingIn(State::Nomi));
    module.firmware().setAtAnswers("AT+CGATT=1", {"+CGATT: busy\r\n", "OK\r\n"});
    Host host(module);
    auto atRequest = [](const std::string& command) {
        Bytes data(130, 0);
        data[0] = 0x21, data[1] = 0x43;
        std::copy(command.begin(), command.end(), data.begin() + 2);
        data[2 + command.size()] = '\r';
        return request(93, data);
    };
    auto textOf = [](const Token& t) {
        const Bytes d = dataOf(t);
        return std::string(d.begin() + 2, std::find(d.begin() + 2, d.end(), 0));
    };

    auto got = framesOf(host.exchange(atRequest("ATH"), 100 * kMs));
    ASSERT_EQ(got.size(), 2u);
    for (const Token& t : got) {
        EXPECT_EQ(le16(t.payload, 2), 94);
        EXPECT_EQ(dataOf(t).size(), 130u);
        EXPECT_EQ(le16(t.payload, 6), 0x4321);
    }
    EXPECT_EQ(textOf(got[0]), "");
    EXPECT_EQ(textOf(got[1]), "OK\r\n");

    got = framesOf(host.exchange(atRequest("AT+CGATT=1"), 1000 * kMs));
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(textOf(got[1]), "+CGATT: busy\r\n");
    EXPECT_EQ(textOf(got[2]), "OK\r\n");
    EXPECT_GE(got[2].atNs - got[1].atNs, 200 * kMs);
    EXPECT_EQ(module.firmware().atCommands(), (std::vector<std::string>{"ATH", "AT+CGATT=1"}));
}

// ---- Power, ignition and bootloader -------------------------------------------------

TEST(ModuleDoublePower, OffModuleStartsOnHeldDtrAfterBootDelay) {
    ModuleDouble module(startingIn(State::Off));
    Host host(module);
    host.write(text("at\r"));
    EXPECT_TRUE(host.after(100 * kMs).empty());

    // A port open raises DTR only for a moment: no ignition.
    host.line(115200, true);
    host.wait(5 * kMs);
    host.line(115200, false);
    host.wait(100 * kMs);
    EXPECT_EQ(module.state(), State::Off);

    host.line(115200, true);
    const uint64_t raised = host.now;
    host.wait(250 * kMs);
    EXPECT_EQ(module.powerOns(), 1);
    host.write(text("at\r"));
    EXPECT_TRUE(host.after(20 * kMs).empty());  // still booting

    host.now = raised + 300 * kMs;
    host.write(text("at\r"));
    EXPECT_EQ(host.after(20 * kMs), text("at\r\r\nOK\r\n"));

    // Clearing DTR on a running module changes nothing.
    host.line(115200, false);
    EXPECT_EQ(module.state(), State::At);
    const auto& events = module.lineEvents();
    ASSERT_EQ(events.size(), 4u);
    EXPECT_TRUE(events[2].line.dtr);
    EXPECT_EQ(events[2].atNs, raised);
    EXPECT_FALSE(events[3].line.dtr);
    EXPECT_EQ(module.received().size(), 9u);

    ModuleDouble::Settings settings = startingIn(State::Off);
    settings.noCommunicationAnswer = true;
    ModuleDouble unconnected(settings);
    Host other(unconnected);
    other.write({0x02, 0x01, 0xD6, 0x0D});
    EXPECT_EQ(other.after(10 * kMs), (Bytes{0x7D, 0x77}));
}

const Bytes kVersionCommand{0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x02, 0xFE, 0x07, 0xFB};
const Bytes kBootCommand{0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x03, 0xFE, 0x01, 0x02, 0xFE};

TEST(ModuleDoublePower, BootloaderAnswersOnlyAt57600) {
    ModuleDouble module(startingIn(State::Off));
    Host host(module);
    host.line(57600, false);
    host.line(57600, true);
    // Pattern bytes before the bootloader is up go unanswered.
    for (int i = 0; i < 8; ++i) {
        host.write({0x78});
        EXPECT_TRUE(host.after(2 * kMs).empty());
    }
    EXPECT_EQ(module.state(), State::Bootloader);
    host.wait(5 * kMs);
    host.write({0x78});
    EXPECT_EQ(host.after(2 * kMs), Bytes{0x87});  // the host waits 2 ms for it

    host.wait(10 * kMs);
    host.write(kVersionCommand);
    host.wait(30 * kMs);
    const auto got = host.read();
    ASSERT_EQ(got.size(), 12u);
    EXPECT_EQ(got[0].value, 0x06);
    EXPECT_EQ(got[7].value, 0xFF);
    EXPECT_EQ(got[8].value, 0x07);
    EXPECT_EQ(got[9].value, 1);
    EXPECT_EQ(got[10].value, 2);
    EXPECT_EQ(got[2].atNs - got[1].atNs, kByteNs57600);
    host.write({0x06});

    host.write(kBootCommand);
    EXPECT_EQ(host.after(30 * kMs), Bytes{0x06});
    EXPECT_EQ(module.state(), State::Booting);
    host.wait(800 * kMs);
    host.line(115200, true);
    host.write(text("at\r"));
    EXPECT_EQ(host.after(20 * kMs), text("at\r\r\nOK\r\n"));

    // Ignition at 115200: the firmware starts directly and the pattern is noise.
    ModuleDouble plain(startingIn(State::Off));
    Host plainHost(plain);
    plainHost.line(115200, true);
    plainHost.wait(25 * kMs);
    plainHost.write({0x78});
    EXPECT_TRUE(plainHost.after(5 * kMs).empty());
    EXPECT_EQ(plain.state(), State::Booting);

    // Nobody asks the bootloader anything: the firmware starts after its window.
    ModuleDouble unasked(startingIn(State::Off));
    Host unaskedHost(unasked);
    unaskedHost.line(57600, false);
    unaskedHost.line(57600, true);
    unaskedHost.wait(999 * kMs);
    EXPECT_EQ(unasked.state(), State::Bootloader);
    unaskedHost.wait(1 * kMs);
    EXPECT_EQ(unasked.state(), State::Booting);
}

TEST(ModuleDoublePower, BootloaderVersionDepartures) {
    using F = Bootloader::Fault;
    for (F fault : {F::WrongAck, F::WrongVersion, F::Silent}) {
        ModuleDouble::Settings settings = startingIn(State::Off);
        settings.bootloader.fault = fault;
        ModuleDouble module(settings);
        Host host(module);
        host.line(57600, false);
        host.line(57600, true);
        host.wait(30 * kMs);
        host.write({0x78});
        ASSERT_EQ(host.after(5 * kMs), Bytes{0x87});
        host.write(kVersionCommand);
        const Bytes got = host.after(1000 * kMs);
        if (fault == F::WrongAck) {
            ASSERT_EQ(got.size(), 1u);
            EXPECT_NE(got[0], 0x06);
        } else if (fault == F::WrongVersion) {
            ASSERT_EQ(got.size(), 12u);
            EXPECT_EQ(got[0], 0x06);
            EXPECT_FALSE(got[7] == 0xFF && got[8] == 0x07);
        } else {
            EXPECT_TRUE(got.empty());
        }
    }
}

TEST(ModuleDoublePower, SwitchOffFallsSilentThenOffUnlessTold) {
    ModuleDouble module(startingIn(State::Nomi));
    Host host(module);
    host.write(request(67, {1, 0}));
    EXPECT_EQ(host.after(20 * kMs), Bytes{0x06});  // acknowledged, never confirmed
    host.write(text("a"));
    host.write({0x02, 0x01, 0xD6, 0x0D});
    EXPECT_TRUE(host.after(48 * kMs).empty());
    EXPECT_EQ(module.state(), State::Off);
    EXPECT_EQ(module.nextEventNs(), UINT64_MAX);

    // The next ignition starts it again, in AT mode.
    host.line(115200, true);
    host.wait(300 * kMs);
    EXPECT_EQ(module.state(), State::At);
    EXPECT_EQ(module.powerOns(), 1);

    ModuleDouble::Settings settings = startingIn(State::Nomi);
    settings.neverSwitchOff = true;
    ModuleDouble stubborn(settings);
    Host other(stubborn);
    other.write(request(67, {1, 0}));
    EXPECT_EQ(other.after(200 * kMs), Bytes{0x06});
    other.write(text("a"));
    EXPECT_EQ(other.after(5 * kMs), Bytes{0x15});
}

// ---- Departures -------------------------------------------------------------------------

TEST(ModuleDoubleFaults, RefusedRequestsReportStatusAndChangeNothing) {
    ModuleDouble module(startingIn(State::Nomi));
    module.firmware().refuse(107, 3);
    module.firmware().refuse(101, 2);
    module.firmware().refuse(5, 0x0105);
    Host host(module);
    auto confirm = [&](uint16_t id, const Bytes& data) {
        const auto frames = framesOf(host.exchange(request(id, data)));
        return frames.empty() ? Bytes{} : dataOf(frames[0]);
    };
    EXPECT_EQ(confirm(107, {1, 0, 0, 0}), (Bytes{1, 0, 3, 0}));
    EXPECT_TRUE(module.firmware().javaAutostart());
    EXPECT_EQ(confirm(101, {2, 0, 1, 0}), (Bytes{2, 0, 2, 0}));
    EXPECT_EQ(module.firmware().operationMode(), 0);
    const Bytes generic = confirm(5, {3, 0});
    ASSERT_GE(generic.size(), 4u);
    EXPECT_EQ(Bytes(generic.begin(), generic.begin() + 4), (Bytes{3, 0, 5, 1}));
    module.firmware().refuse(107, 0);
    EXPECT_EQ(confirm(107, {4, 0, 0, 0}), (Bytes{4, 0, 0, 0}));
    EXPECT_FALSE(module.firmware().javaAutostart());
}

TEST(ModuleDoubleFaults, ConfirmDepartures) {
    ModuleDouble module(startingIn(State::Nomi));
    Host host(module);

    // A message of its own, ahead of any confirm.
    module.sendMessage(0x0206, {0x41, 0x42}, host.now);
    auto got = framesOf(host.pump(20 * kMs));
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].payload, (Bytes{0xD6, 0xFF, 0x06, 0x02, 0x00, 0x04, 0x41, 0x42}));

    module.foreignReference(99);
    for (bool foreign : {true, false}) {  // one-shot
        const auto frames = framesOf(host.exchange(request(99, {0x10, 0x20})));
        ASSERT_EQ(frames.size(), 1u);
        EXPECT_EQ(le16(frames[0].payload, 6) != 0x2010, foreign);
    }

    module.repeatConfirm(99);
    got = framesOf(host.exchange(request(99, {0x11, 0x20}), 500 * kMs));
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].payload, got[1].payload);

    module.withholdConfirm(107);
    EXPECT_EQ(host.exchange(request(107, {1, 0, 0, 0}), 500 * kMs).size(), 1u);  // the ACK alone
    EXPECT_EQ(framesOf(host.exchange(request(107, {2, 0, 0, 0}))).size(), 1u);

    module.settings().splitSize = 2;
    module.repeatSegment(1);
    got = framesOf(host.exchange(request(99, {0x12, 0x20}), 500 * kMs));
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got[0].payload[1], 0);
    EXPECT_EQ(got[1].payload[1], 1);
    EXPECT_EQ(got[2].payload, got[1].payload);
    EXPECT_EQ(got[3].payload[1], 0xFF);
}

TEST(ModuleDoubleFaults, ACutConfirmCarriesOnlyItsFirstBytesOnce) {
    ModuleDouble module(startingIn(State::Nomi));
    Host host(module);
    module.cutConfirm(99, 3);
    for (size_t expected : {3u, 6u}) {
        const auto frames = framesOf(host.exchange(request(99, {0x21, 0x43})));
        ASSERT_EQ(frames.size(), 1u);
        const Bytes data = dataOf(frames[0]);
        EXPECT_EQ(data.size(), expected);
        EXPECT_EQ(le16(data, 0), 0x4321);
        // The length field counts what is sent.
        EXPECT_EQ(frames[0].payload[4] << 8 | frames[0].payload[5], static_cast<int>(expected + 2));
    }
}

// ---- Endless misbehaviours ------------------------------------------------------------

// The bytes that arrive within `ns` after a request that starts `kind`.
Bytes afterEndless(ModuleDouble& module, Host& host, ModuleDouble::Endless kind, uint64_t ns) {
    module.startEndless(kind, 107);
    host.write(request(107, {1, 0, 0, 0}));
    return host.after(ns);
}

TEST(ModuleDoubleEndless, AFloodOfStxOrStrayBytesFillsTheLineAndHearsNothing) {
    for (auto kind : {ModuleDouble::Endless::StxFlood, ModuleDouble::Endless::StrayBytes}) {
        ModuleDouble module(startingIn(State::Nomi));
        Host host(module);
        const Bytes got = afterEndless(module, host, kind, 100 * kMs);
        ASSERT_FALSE(got.empty());
        EXPECT_EQ(got[0], 0x06) << "the request itself is acknowledged";
        // Back to back from then on: about 100 ms at 11 bits a byte.
        EXPECT_GT(got.size(), 1000u);
        for (size_t i = 1; i < got.size(); ++i) {
            if (kind == ModuleDouble::Endless::StxFlood) {
                ASSERT_EQ(got[i], 0x02) << i;
            } else {
                ASSERT_TRUE(got[i] >= 0x20 && got[i] <= 0x7E) << i;
            }
        }
        // It takes nothing in: a request gets no answer among the flood.
        host.write(request(99, {2, 0}));
        const Bytes more = host.after(100 * kMs);
        EXPECT_EQ(std::count(more.begin(), more.end(), 0x06), 0);
        EXPECT_EQ(module.requests().size(), 1u);
    }
}

TEST(ModuleDoubleEndless, TheFrameKindsRepeatTheirFramesAndSendNoOtherConfirm) {
    using Kind = ModuleDouble::Endless;
    for (auto kind : {Kind::BadCheckFrame, Kind::SameSegment, Kind::SameConfirm}) {
        SCOPED_TRACE(static_cast<int>(kind));
        ModuleDouble module(startingIn(State::Nomi));
        Host host(module);
        module.startEndless(kind, 107);
        // The host acknowledges good frames and refuses everything else.
        host.write(request(107, {1, 0, 0, 0}));
        std::vector<Token> tokens;
        for (int ms = 0; ms < 300; ++ms) {
            host.wait(kMs);
            for (const Token& t : host.readTokens()) {
                if (t.kind == Token::Frame) host.write({0x06});
                if (t.kind == Token::Other && t.byte == 0x03) host.write({0x15});
                tokens.push_back(t);
            }
        }
        const auto frames = framesOf(tokens);
        if (kind == Kind::BadCheckFrame) {
            EXPECT_TRUE(frames.empty());
            EXPECT_GT(
                std::count_if(tokens.begin(), tokens.end(), [](const Token& t) { return t.byte == 0x03; }),
                10);
            continue;
        }
        ASSERT_GT(frames.size(), 10u);
        for (const Token& f : frames) EXPECT_EQ(f.payload, frames[0].payload);
        EXPECT_EQ(frames[0].payload[1], kind == Kind::SameSegment ? 0 : 0xFF);
        // Still awake: a request is acknowledged, its confirm never comes.
        host.write(request(99, {2, 0}));
        const auto later = host.pump(100 * kMs);
        EXPECT_GE(
            std::count_if(later.begin(), later.end(), [](const Token& t) { return t.kind == Token::Ack; }),
            1);
        for (const Token& f : framesOf(later)) EXPECT_EQ(f.payload, frames[0].payload);
        EXPECT_EQ(module.requests().size(), 2u);
    }
}

TEST(ModuleDoubleEndless, SilenceAndNomiEntryStartsAndSwitchingOffEndsIt) {
    ModuleDouble module;
    Host host(module);
    module.startEndless(ModuleDouble::Endless::StxFlood, ModuleDouble::kOnNomiEntry);
    host.write(text("at^xqwe=1\r"));
    host.wait(50 * kMs);
    host.read();
    const Bytes flood = host.after(20 * kMs);
    ASSERT_FALSE(flood.empty());
    EXPECT_TRUE(std::all_of(flood.begin(), flood.end(), [](uint8_t b) { return b == 0x02; }));

    // Silent: the starting request is acknowledged, then nothing.
    ModuleDouble quiet(startingIn(State::Nomi));
    Host other(quiet);
    quiet.startEndless(ModuleDouble::Endless::Silent, 107);
    other.write(request(107, {1, 0, 0, 0}));
    EXPECT_EQ(other.after(100 * kMs), Bytes{0x06});
    other.write(request(99, {2, 0}));
    EXPECT_TRUE(other.after(100 * kMs).empty());

    // A switch-off during the same confirm for ever ends it; so does a power-on.
    ModuleDouble looping(startingIn(State::Nomi));
    Host third(looping);
    looping.startEndless(ModuleDouble::Endless::SameConfirm, 99);
    third.exchange(request(99, {3, 0}), 50 * kMs);
    EXPECT_TRUE(looping.endlessRunning());
    third.write(request(67, {4, 0}));
    third.pump(100 * kMs);
    EXPECT_FALSE(looping.endlessRunning());
    EXPECT_EQ(looping.state(), State::Off);
}

TEST(ModuleDoubleFaults, NakedHostFramesAreNotTakenIn) {
    ModuleDouble module(startingIn(State::Nomi));
    module.nakHostFrames(2);
    Host host(module);
    const Bytes req = request(99, {1, 0});
    for (int i = 0; i < 2; ++i) {
        host.write(req);
        EXPECT_EQ(host.after(2 * kMs), Bytes{0x15});
    }
    const auto got = host.exchange(req);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].kind, Token::Ack);
    EXPECT_EQ(module.requests().size(), 1u);
    EXPECT_EQ(module.hostFrames()[0].verdict, ModuleDouble::FrameVerdict::Refused);
}

TEST(ModuleDoubleFaults, StrayBytesAndExitReports) {
    ModuleDouble module(startingIn(State::Nomi));
    Host host(module);
    const Bytes report = ModuleDouble::exitReport("0000001A12345678");
    EXPECT_EQ(std::string(report.begin(), report.end()), "EXIT 0000001A12345678");

    module.injectBeforeNextConfirm(report);
    const auto got = host.exchange(request(99, {1, 0}));
    ASSERT_EQ(got.size(), report.size() + 2);
    EXPECT_EQ(got[0].kind, Token::Ack);
    for (size_t i = 0; i < report.size(); ++i) EXPECT_EQ(got[1 + i].byte, report[i]);
    EXPECT_EQ(got.back().kind, Token::Frame);

    module.inject(host.now + 100 * kMs, {0x78, 0x79, 0x7A});
    EXPECT_TRUE(host.after(99 * kMs).empty());
    EXPECT_EQ(host.after(2 * kMs), (Bytes{0x78, 0x79, 0x7A}));
}

TEST(ModuleDoubleFaults, SilenceSwallowsEverything) {
    ModuleDouble::Settings settings = startingIn(State::Nomi);
    settings.silence = ModuleDouble::Silence::Nomi;
    ModuleDouble module(settings);
    Host host(module);
    host.write(request(99, {1, 0}));
    host.write(text("a"));
    EXPECT_TRUE(host.after(500 * kMs).empty());
    EXPECT_TRUE(module.requests().empty());

    settings.start = State::At;
    settings.silence = ModuleDouble::Silence::All;
    ModuleDouble quiet(settings);
    Host quietHost(quiet);
    quietHost.write(text("at\r"));
    EXPECT_TRUE(quietHost.after(100 * kMs).empty());
    EXPECT_EQ(quiet.received().size(), 3u);
}

TEST(ModuleDoubleFaults, PurgeDropsOnlyWhatHasArrived) {
    ModuleDouble module;
    Host host(module);
    host.write(text("at\r"));
    host.wait(kMs + 200'000);  // the echo has arrived, the OK is on its way
    module.onPurge(host.now);
    const Bytes rest = host.after(10 * kMs);
    ASSERT_FALSE(rest.empty());
    EXPECT_LT(rest.size(), 9u);
    EXPECT_EQ(rest.back(), '\n');
}

// ---- Robustness ---------------------------------------------------------------------------

TEST(ModuleDoubleRobustness, GarbageInEveryStateEndsQuietly) {
    std::mt19937 random(1234);
    for (State start : {State::Off, State::At, State::Nomi}) {
        ModuleDouble module(startingIn(start));
        Host host(module);
        uint64_t lastArrival = 0;
        size_t fed = 0;
        for (int round = 0; round < 2000; ++round) {
            Bytes chunk(random() % 40);
            for (uint8_t& b : chunk) {
                // Plenty of frame and bootloader bytes among the noise.
                const uint32_t pick = random() % 8;
                b = pick == 0 ? 0x02 : pick == 1 ? 0xFF : pick == 2 ? 0x78 : static_cast<uint8_t>(random());
            }
            if (random() % 50 == 0) host.line(random() % 2 ? 57600 : 115200, random() % 2);
            host.write(chunk);
            fed += chunk.size();
            host.wait(random() % (30 * kMs));
            for (const auto& b : host.read()) {
                EXPECT_GE(b.atNs, lastArrival);
                lastArrival = b.atNs;
            }
        }
        EXPECT_EQ(module.received().size(), fed);
        host.line(115200, false);
        host.wait(10'000 * kMs);
        host.read();
        EXPECT_EQ(module.nextEventNs(), UINT64_MAX) << "start " << static_cast<int>(start);
    }
}

}  // namespace
}  // namespace ebd::sim
