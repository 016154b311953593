// Sessions, the port table and the trace log.
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>

#include "script_peer.h"
#include "sim_fixture.h"

namespace ebd::test {
namespace {

namespace fs = std::filesystem;

class Sessions : public SimFixture {
protected:
    void SetUp() override {
        SimFixture::SetUp();
        sim.attach("COM1", &peer1);
        sim.attach("COM2", &peer2);
        sim.attach("COM32", &peer32);
    }
    ScriptPeer peer1, peer2, peer32;
};

TEST_F(Sessions, OpenWithDefaultsGivesPortOneHandleAndTheWholeHeader) {
    const uint32_t handle = WComOpen(0, 0, kTraceHandle);
    EXPECT_EQ(handle, 0xEBD01EBDu);
    ASSERT_GE(lines.size(), 28u) << dump();
    EXPECT_EQ(lines[0], "(EBDV) Trace started at Mon Dec 07 03:56:29 2026");
    EXPECT_EQ(lines[1], "(EBDV) EBD file information (Version 0001.12288) ->");
    for (int i = 2; i < 20; ++i) EXPECT_EQ(lines[i].rfind("(EBDV) Host: ", 0), 0u) << lines[i];
    EXPECT_EQ(lines[2], "(EBDV) Host: ebd.cpp:  /main/dev01/31$,  2026-11-30$");
    const std::vector<std::string> rest = {
        "(EBD ) WComOpen(portNum=1, baudRate=115200, tHandle=0x00001234)",
        "(EBD ) WComOpen: call NomiL1CommsOpen...",
        "(EBD ) WComOpen: clear local storedCalibrationItems, gotTargetVersion",
        "(EBD ) WComOpen: invalidate local stored GMSK IQ-Offsets",
        "(EBD ) WComOpen: invalidate local stored autocalibration IQ-Offsets",
        "(EBD ) WComOpen: invalidate local stored mobile SW version number",
        "(EBD) WComopen: reset exit data",
        "(EBD ) WComOpen: O.K.",
    };
    // The skip buffer is empty, so nothing else stands between these lines.
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 20, lines.end()), rest);
    for (uint32_t th : traceHandles) EXPECT_EQ(th, kTraceHandle);
    // The port runs at 115200 baud, 2 stop bits, RTS on, DTR off, class 1.
    const auto line = sim.lineOf("COM1");
    EXPECT_EQ(line.baudRate, 115200u);
    EXPECT_EQ(line.stopBits, 2);
    EXPECT_TRUE(line.rts);
    EXPECT_FALSE(line.dtr);
    // Class 1 is set after the open; draining pending input leaves class 3.
    EXPECT_EQ(PortOf(handle).timeoutMs, (std::array<uint32_t, 3>{48, 2, 1000}));
    EXPECT_EQ(PortOf(handle).timeoutClass, 3);
    EXPECT_EQ(sim.readTimeoutOf("COM1"), 1u);
}

TEST_F(Sessions, OpenFailuresAndTheLastError) {
    const uint32_t first = WComOpen(2, 115200, kTraceHandle);
    ASSERT_EQ(first, 0xEBD02EBDu);
    lines.clear();
    EXPECT_EQ(WComOpen(2, 115200, kTraceHandle), 0u);
    EXPECT_TRUE(has("(EBD ) WComOpen: port 2 already used, error 3"));
    EXPECT_EQ(WGetLastError(first), 3);
    EXPECT_TRUE(has("(EBD ) WGetLastError: error 3"));

    lines.clear();
    EXPECT_EQ(WComOpen(33, 115200, kTraceHandle), 0u);
    EXPECT_EQ(lines.back(), "(EBD ) WComOpen: bad port 33, error 3");
    EXPECT_EQ(WComOpen(-4, 115200, kTraceHandle), 0u);
    EXPECT_EQ(lines.back(), "(EBD ) WComOpen: bad port -4, error 3");

    // A port without a device behind it.
    EXPECT_EQ(WComOpen(7, 115200, kTraceHandle), 0u);
    EXPECT_EQ(lines.back(), "(EBD ) WComOpen: NomiL1CommsOpen fails with error 4");
    // The header's way to read why an open failed, and the handles it gives
    // for numbers without an entry.
    EXPECT_EQ(WGetLastError(EBD_PORT_HANDLE(7)), EBD_ERR_PORT_OPEN);
    EXPECT_EQ(EBD_PORT_HANDLE(2), first);
    for (const int32_t noEntry : {0, 33, -4, 256, 255})
        EXPECT_EQ(WGetLastError(EBD_PORT_HANDLE(noEntry)), EBD_ERR_INVALID_HANDLE) << noEntry;

    // COM32 is the last port there is.
    EXPECT_EQ(WComOpen(32, 115200, kTraceHandle), 0xEBD20EBDu);

    lines.clear();
    EXPECT_EQ(WGetLastError(0), 10);
    EXPECT_EQ(WGetLastError(0xEBD00EBD), 10);  // pattern right, but no port 0
    EXPECT_EQ(WGetLastError(0xEBD21EBD), 10);  // port 33
    EXPECT_TRUE(lines.empty());
}

TEST(ErrorTexts, EveryCodeTheLibraryStoresHasItsOwnTextAndOthersOneFixedText) {
    const std::string unknown = "unknown error code";
    const std::string refused = "the module refused the identity operation with status ";
    const struct {
        uint16_t code;
        std::string text;
    } cases[] = {
        {EBD_OK, "no error code stored"},
        {EBD_ERR_INVALID_HANDLE, "invalid session handle"},
        {EBD_ERR_IDENTITY_BASE - 1, refused + "-1"},
        {EBD_ERR_IDENTITY_BASE - 128, refused + "-128"},
        {EBD_ERR_IDENTITY_BASE + 5, refused + "5"},
        {EBD_ERR_IDENTITY_BASE + 127, refused + "127"},
        {EBD_ERR_IDENTITY_BASE, unknown},  // status 0 is success
        {EBD_ERR_IDENTITY_BASE - 129, unknown},
        {EBD_ERR_IDENTITY_BASE + 128, unknown},
        {7, unknown},
        {65535, unknown},
    };
    for (const auto& c : cases) EXPECT_EQ(WGetErrorText(c.code), c.text) << c.code;
    // Each named code has a text of its own.
    const uint16_t named[] = {1, 2, 3, 4, 5, 6, 9, 10, 12, 13, 14, 15, 16, 17};
    std::set<std::string> texts;
    for (const uint16_t code : named) texts.insert(WGetErrorText(code));
    EXPECT_EQ(texts.size(), std::size(named));
    EXPECT_EQ(texts.count(unknown), 0u);
}

TEST_F(Sessions, InitLibraryClosesTheOpenPortsSilentlyBeforeItForgetsThem) {
    const uint32_t handle = WComOpen(1, 115200, kTraceHandle);
    const uint32_t other = WComOpen(2, 115200, kTraceHandle);
    ASSERT_NE(handle, 0u);
    ASSERT_NE(other, 0u);
    const size_t written = peer1.writes().size() + peer2.writes().size();
    lines.clear();
    WInitLibrary();
    // Both devices are closed, without a byte to either module or a trace line.
    EXPECT_EQ(sim.openCount(), 0);
    EXPECT_EQ(peer1.writes().size() + peer2.writes().size(), written);
    EXPECT_TRUE(lines.empty()) << dump();
    // The old handle still passes the check but names no port, and the port
    // can be opened again in this process.
    EXPECT_EQ(GetPortHandle(handle), platform::kNoPort);
    EXPECT_EQ(WComOpen(1, 115200, kTraceHandle), handle);
    EXPECT_EQ(WGetLastError(handle), 0);
    EXPECT_EQ(WComOpen(2, 115200, kTraceHandle), other);
    EXPECT_EQ(sim.openCount(), 2);
}

TEST_F(Sessions, CloseFreesThePortForTheSameHandle) {
    const uint32_t handle = open();
    EXPECT_EQ(WComClose(handle), 1);
    EXPECT_EQ(lines.front(), "(EBD ) WComClose()");
    EXPECT_EQ(lines.back(), "(EBD ) WComClose: O.K.");
    EXPECT_EQ(sim.openCount(), 0);
    EXPECT_EQ(WComOpen(1, 115200, kTraceHandle), handle);

    lines.clear();
    EXPECT_EQ(WComClose(0), 0);
    EXPECT_TRUE(lines.empty());
}

TEST_F(Sessions, OpenDrainsPendingInputAndClearsEveryPortsExitRecords) {
    const uint32_t other = open(2);
    PortOf(other).exit.count = 2;
    PortOf(other).exit.words[0][0] = 0x1234;
    peer1.send({'E', 'X', 'I', 'T', ' ', '0', '0', '0', '0', '0', '0', '1', 'A'}, now());
    const uint32_t handle = WComOpen(1, 115200, kTraceHandle);
    ASSERT_NE(handle, 0u);
    EXPECT_EQ(PortOf(handle).skipLength, 13);
    EXPECT_EQ(PortOf(other).exit.count, 0);
    EXPECT_EQ(PortOf(other).exit.words[0][0], 0u);
}

class TraceFile : public Sessions {
protected:
    void SetUp() override {
        Sessions::SetUp();
        dir_ = fs::temp_directory_path() / ("ebd-trace-" + std::to_string(::getpid()));
        fs::create_directories(dir_);
        old_ = fs::current_path();
        fs::current_path(dir_);
    }
    void TearDown() override {
        WDisableTraceFile();
        fs::current_path(old_);
        fs::remove_all(dir_);
        Sessions::TearDown();
    }
    std::vector<std::string> fileLines() const {
        std::ifstream in(dir_ / "tracefiles" / "tracefile.txt");
        std::vector<std::string> result;
        for (std::string line; std::getline(in, line);) result.push_back(line);
        return result;
    }
    fs::path dir_, old_;
};

TEST_F(TraceFile, SwitchedOffWritesNothingAnywhere) {
    WSetTraceCallback(nullptr);
    const uint32_t handle = WComOpen(1, 115200, 0);
    ASSERT_NE(handle, 0u);
    TraceLine(handle, "(EBD ) nobody reads this");
    EXPECT_FALSE(fs::exists(dir_ / "tracefiles"));
}

TEST_F(TraceFile, LinesCarryTheTimeSinceInitialisation) {
    WEnableTraceFile();
    WInitLibrary();
    const uint32_t handle = WComOpen(1, 115200, 0);  // trace handle 0: the file
    ASSERT_NE(handle, 0u);
    EXPECT_TRUE(lines.empty()) << "a session with trace handle 0 must not reach the callback";
    auto file = fileLines();
    ASSERT_EQ(file.size(), 28u);
    const std::regex stamped(R"(\[\d{4}\.\d{3}\] \(EBD.*)");
    for (const auto& line : file) EXPECT_TRUE(std::regex_match(line, stamped)) << line;
    EXPECT_EQ(file.back().substr(11), "(EBD ) WComOpen: O.K.");

    WInitLibrary();
    Port(1).port = 0;  // a session for the trace route only
    sim.advanceNs(12'345 * kMs);
    TraceLine(handle, "(EBD ) at 12345");
    sim.advanceNs(100'000'000 * kMs - 12'345 * kMs);
    TraceLine(handle, "(EBD ) at 100000 s");
    Port(1).port = platform::kNoPort;
    file = fileLines();
    // The counter read itself advances the virtual clock by a few microseconds.
    EXPECT_EQ(file[file.size() - 2], "[0012.345] (EBD ) at 12345");
    EXPECT_EQ(file.back(), "[100000.000] (EBD ) at 100000 s");
}

TEST_F(TraceFile, ACallbackSessionAndAFileSessionKeepTheirRoutes) {
    WEnableTraceFile();
    const uint32_t viaCallback = WComOpen(1, 115200, kTraceHandle);
    const uint32_t viaFile = WComOpen(2, 115200, 0);
    ASSERT_NE(viaCallback, 0u);
    ASSERT_NE(viaFile, 0u);
    lines.clear();
    const size_t before = fileLines().size();
    TraceLine(viaCallback, "(EBD ) one");
    TraceLine(viaFile, "(EBD ) two");
    EXPECT_EQ(lines, std::vector<std::string>{"(EBD ) one"});
    const auto file = fileLines();
    ASSERT_EQ(file.size(), before + 1);
    EXPECT_EQ(file.back().substr(11), "(EBD ) two");
}

class Dumps : public Sessions {
protected:
    void SetUp() override {
        Sessions::SetUp();
        handle = open();
    }
    uint32_t handle = 0;
};

TEST_F(Dumps, ByteDumpsBreakEveryEightItems) {
    const uint8_t bytes[10] = {0xFF, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    TraceHexBytes(handle, "(RPC ) title ->", bytes, 8);
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "(RPC ) title ->",
                         "(EBD )   00:    0xff 0x01 0x02 0x03 0x04 0x05 0x06 0x07 ",
                         "(EBD )   08:    ",
                     }));
    lines.clear();
    TraceHexBytes(handle, "t ->", bytes, 10);
    EXPECT_EQ(lines, (std::vector<std::string>{"t ->", "(EBD )   00:    0xff 0x01 0x02 0x03 0x04 0x05 0x06 0x07 ",
                                               "(EBD )   08:    0x08 0x09 "}));
    lines.clear();
    TraceHexBytes(handle, "t ->", bytes, 0);
    EXPECT_EQ(lines, (std::vector<std::string>{"t ->", "(EBD )   00:    "}));
    lines.clear();
    TraceHexBytes(handle, "t ->", nullptr, 5);  // no data: dumped as empty
    EXPECT_EQ(lines, (std::vector<std::string>{"t ->", "(EBD )   00:    "}));
}

TEST_F(Dumps, WordDumpsBreakEveryFourItems) {
    const uint8_t words[10] = {0x34, 0x12, 0xCD, 0xAB, 0, 0, 1, 0, 0xFF, 0xFF};
    TraceHexWords(handle, "w ->", words, 5);
    EXPECT_EQ(lines, (std::vector<std::string>{"w ->", "(EBD )   00:    0x1234 0xabcd 0x0000 0x0001 ",
                                               "(EBD )   04:    0xffff "}));
    lines.clear();
    const uint8_t dwords[8] = {0x78, 0x56, 0x34, 0x12, 1, 0, 0, 0};
    TraceHexDwords(handle, "d ->", dwords, 2);
    EXPECT_EQ(lines, (std::vector<std::string>{"d ->", "(EBD )   00:    0x12345678 0x00000001 "}));
}

TEST(VersionTexts, CondensingDropsThePathAndTheKeywordNames) {
    VersionText area;
    EXPECT_STREQ(CondenseRevisionText("x:\\src\\gwcoml2.c: $YKRevision: /main/dev01/14$, $YKDate: 2026$", area),
                 "gwcoml2.c:  /main/dev01/14$,  2026$");
    EXPECT_STREQ(CondenseRevisionText("plain.c: $YKRevision: 3$", area), "plain.c:  3$");
}

TEST(VersionTexts, EscapingWritesControlCharactersBackBehindBranchLabels) {
    VersionText area;
    // After "main": a slash is copied; a control character followed by a digit
    // or blank becomes its octal code; CR, tab and LF become r, t and n.
    EXPECT_STREQ(EscapeVersionText("/main/dev01/4", "P: ", area), "P: /main/dev01/4");
    EXPECT_STREQ(EscapeVersionText("main\x05" "3", "P: ", area), "P: main\\53");
    EXPECT_STREQ(EscapeVersionText("main8 ", "P: ", area), "P: main\\{8,70} ");
    EXPECT_STREQ(EscapeVersionText("dev019 ", "P: ", area), "P: dev01\\{9,71} ");
    EXPECT_STREQ(EscapeVersionText("main87", "P: ", area), "P: main\\87");
    EXPECT_STREQ(EscapeVersionText("main\rx", "P: ", area), "P: main\\rx");
    EXPECT_STREQ(EscapeVersionText("ebd_dev\tx", "P: ", area), "P: ebd_dev\\tx");
    EXPECT_STREQ(EscapeVersionText("main\nx", "", area), "main\\nx");
    EXPECT_STREQ(EscapeVersionText("mainq", "", area), "main\\q");
    // Results never exceed 255 characters.
    const std::string longText(400, 'x');
    EXPECT_EQ(std::strlen(EscapeVersionText(longText.c_str(), "(EBDV) Target: ", area)), 255u);
    EXPECT_STREQ(TargetVersionText("MOD_137:REL", area), "(EBDV) Target: MOD_137:REL");
}

}  // namespace
}  // namespace ebd::test
