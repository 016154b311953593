// Cut confirms across the whole remote-call catalogue: a confirm that stops
// one byte short of the last field its call checks or hands out fails with 5,
// writes no output (preset outputs stay preset) and names the call with the
// bytes it got and needed; the same confirm one byte longer is taken.
#include <array>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "module_fixture.h"
#include "rpc/ebdmsg.h"
#include "rpc/ebdnomi.h"
#include "rpc/ebdrpc.h"
#include "rpc/ebdrpc_burst.h"
#include "rpc/ebdrpc_nvram.h"
#include "rpc/ebdrpc_service.h"
#include "rpc/nomierr.h"
#include "sim/firmware_nvram.h"
#include "sim/module_double.h"

namespace ebd::test {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint8_t kSentinel = 0xEE;
constexpr uint32_t kUserId = 1;
constexpr uint16_t kKey = 2;
constexpr uint8_t kCalibrationId = 3;
// Bytes of the items the module holds; the reads ask for kReadSize.
constexpr size_t kItemSize = 10;
constexpr uint16_t kReadSize = 16;

// Everything a call may write to, filled with the sentinel before each call.
struct Outputs {
    std::array<uint8_t, 64> bytes;
    std::array<uint16_t, 32> words;
    std::array<int16_t, 5> signedWords;
    uint32_t hardware;
    uint32_t rpcVersion;
    uint16_t word;
    uint8_t byte;
    int8_t blockStatus;
    std::array<char, 4 * 128 + 1> text;
};

struct Shape {
    const char* name;
    uint16_t requestId;  // whose confirm is cut
    uint16_t needed;     // the end of the last field the call checks or hands out
    std::function<uint16_t(uint32_t, Outputs&)> call;
    // The outputs a call presets before it waits for the confirm.
    std::function<void(Outputs&)> preset = [](Outputs&) {};
};

std::vector<Shape> Catalogue() {
    static const std::array<uint16_t, 8> kAddresses{1, 2, 3, 4, 5, 6, 7, 8};
    static const std::array<uint8_t, 8> kImei{0x35, 1, 2, 3, 4, 5, 6, 7};
    static const std::array<uint8_t, 64> kBlock{};
    static const std::array<uint16_t, kBurstDataWords> kBurstData{};
    static const std::array<uint16_t, kPowerRampWords> kRamp{};
    static const std::array<uint8_t, kSlotDefinitionSize> kSlot{};
    static const std::array<uint8_t, kFrameDefinitionSize> kFrame{};
    static const std::array<uint8_t, 4> kBurstOn{1, 0, 0, 0};
    static const std::array<uint16_t, 4> kChannels{60, 0, 0, 0};
    static const std::array<uint16_t, 4> kGains{10, 0, 0, 0};
    static const std::array<uint8_t, kItemSize> kItem{};
    const auto presetBytes = [](size_t count) {
        return [count](Outputs& o) { std::memset(o.bytes.data(), 0xFF, count); };
    };
    const std::string version = sim::Firmware::Config{}.versionText;
    return {
        // ---- Main path ----
        {"EBDRPCGetVersion", 1, static_cast<uint16_t>(12 + version.size() + 1),
         [](uint32_t h, Outputs& o) {
             return EBDRPCGetVersion(h, &o.hardware, &o.rpcVersion, o.text.data(), 64);
         }},
        {"EBDRPCGetCurrentOperationMode", 99, 5,
         [](uint32_t h, Outputs& o) { return EBDRPCGetCurrentOperationMode(h, &o.byte); }},
        {"EBDRPCSetCurrentOperationMode", 101, 4,
         [](uint32_t h, Outputs&) { return EBDRPCSetCurrentOperationMode(h, 1); }},
        {"EBDRPCSwitchJavaAutoStart", 107, 3,
         [](uint32_t h, Outputs&) { return EBDRPCSwitchJavaAutoStart(h, 0); }},
        {"EBDRPCCalDevGsmFinish", 9, 2, [](uint32_t h, Outputs&) { return EBDRPCCalDevGsmFinish(h); }},
        // The answer "OK" CR LF and its NUL behind the reference.
        {"EBDRPCSendAtCommand", 93, 7,
         [](uint32_t h, Outputs& o) { return EBDRPCSendAtCommand(h, "AT", o.text.data()); }},
        // The answer of a command sent without waiting for it.
        {"EBDRPCReceiveAtCommand", 93, 7,
         [](uint32_t h, Outputs& o) {
             const uint16_t sent = EBDRPCSendAtCommand(h, "AT", nullptr);
             return sent != kRpcOk ? uint16_t{0xBAD} : EBDRPCReceiveAtCommand(h, o.text.data());
         }},
        // ---- Signal and measurement ----
        {"EBDRPCCalDevGsmSetAfcDac", 11, 2,
         [](uint32_t h, Outputs&) { return EBDRPCCalDevGsmSetAfcDac(h, 0x800); }},
        {"EBDRPCCalDevGsmFreqOffsetMeas", 13, 5,
         [](uint32_t h, Outputs& o) {
             return EBDRPCCalDevGsmFreqOffsetMeas(h, 60, 0x800, &o.byte, &o.signedWords[0]);
         }},
        {"EBDRPCCalDevGsmGainProgram", 15, 6,
         [](uint32_t h, Outputs& o) { return EBDRPCCalDevGsmGainProgram(h, 0, 0, 1, 1, &o.word); }},
        {"EBDRPCCalDevGsmRssi", 17, 6,
         [](uint32_t h, Outputs& o) { return EBDRPCCalDevGsmRssi(h, 60, 10, 0, &o.signedWords[0]); }},
        {"EBDRPCCalDevGsmDcOffset", 19, 10,
         [](uint32_t h, Outputs& o) { return EBDRPCCalDevGsmDcOffset(h, 1, o.words.data()); }},
        {"EBDRPCCalDevGsmSetBandMode", 21, 2,
         [](uint32_t h, Outputs&) { return EBDRPCCalDevGsmSetBandMode(h, 1); }},
        {"EBDRPCCalDevGsmRxControl", 31, 2,
         [](uint32_t h, Outputs&) { return EBDRPCCalDevGsmRxControl(h, 0, 0, 0); }},
        {"EBDRPCCalDevGsmLoopBack", 33, 3,
         [](uint32_t h, Outputs&) { return EBDRPCCalDevGsmLoopBack(h, 0, 1, 2, 3, 4, 5); }},
        {"EBDRPCCalDevGsmLoopBackData", 35, 13,
         [](uint32_t h, Outputs& o) {
             auto& s = o.signedWords;
             return EBDRPCCalDevGsmLoopBackData(h, &s[0], &s[1], &o.words[0], &o.words[1], &s[2]);
         }},
        {"EBDRPCCalDevGsmConstTx", 45, 3,
         [](uint32_t h, Outputs&) { return EBDRPCCalDevGsmConstTx(h, 0, 60, 0, 0x3F); }},
        {"EBDRPCCalDevGsmBBCRegister", 47, 18,
         [](uint32_t h, Outputs& o) {
             return EBDRPCCalDevGsmBBCRegister(h, 0, kAddresses.data(), kAddresses.data(), o.words.data());
         }},
        {"EBDRPCSetPrechargeValue", 97, 2,
         [](uint32_t h, Outputs&) { return EBDRPCSetPrechargeValue(h, 1); }},
        // Five codes of the firmware behind ref, status and count.
        {"EBDRPCGetGainCodeTable", 95, 16,
         [](uint32_t h, Outputs& o) { return EBDRPCGetGainCodeTable(h, 1, 2, o.words.data(), 16, &o.word); }},
        // ---- Burst, slot and frame ----
        {"EBDRPCCalDevGsmSetBurstData", 23, 2,
         [](uint32_t h, Outputs&) { return EBDRPCCalDevGsmSetBurstData(h, kBurstData.data()); }},
        {"EBDRPCCalDevGsmSetBurst", 25, 5,
         [](uint32_t h, Outputs&) {
             return EBDRPCCalDevGsmSetBurst(h, 1, kBurstOn.data(), kChannels.data(), kGains.data(), 0, 0, 0,
                                            5);
         }},
        {"EBDRPCCalDevGsmRampScale", 27, 2,
         [](uint32_t h, Outputs&) { return EBDRPCCalDevGsmRampScale(h, 7); }},
        {"EBDRPCCalDevGsmSetPowerRamp", 29, 2,
         [](uint32_t h, Outputs&) { return EBDRPCCalDevGsmSetPowerRamp(h, kRamp.data()); }},
        {"EBDRPCCalDevGsmSlotDefine", 37, 3,
         [](uint32_t h, Outputs&) { return EBDRPCCalDevGsmSlotDefine(h, 1, kSlot.data()); }},
        {"EBDRPCCalDevGsmFrameDefine", 39, 3,
         [](uint32_t h, Outputs&) { return EBDRPCCalDevGsmFrameDefine(h, 1, kFrame.data()); }},
        {"EBDRPCCalDevGsmFrameTiming", 41, 2,
         [](uint32_t h, Outputs&) { return EBDRPCCalDevGsmFrameTiming(h, 1, 0, 0, 0, 0); }},
        {"EBDRPCCalDevGsmFrameUse", 43, 2,
         [](uint32_t h, Outputs&) { return EBDRPCCalDevGsmFrameUse(h, 1); }},
        // ---- NVRAM: the reads need the header and every data byte they copy ----
        {"EBDRPCL1ALNvRamRead", 49, 5 + kItemSize,
         [](uint32_t h, Outputs& o) {
             return EBDRPCL1ALNvRamRead(h, kUserId, kKey, o.bytes.data(), kReadSize, &o.word);
         }},
        {"EBDRPCL1ALNvRamWrite", 51, 3,
         [](uint32_t h, Outputs&) {
             return EBDRPCL1ALNvRamWrite(h, kUserId, kKey, kItem.data(), kItemSize);
         }},
        {"EBDRPCL1ALNvRamDelete", 53, 3, [](uint32_t h, Outputs&) { return EBDRPCL1ALNvRamDelete(h, 9, 9); }},
        {"EBDRPCL1ALNvRamErase", 55, 3, [](uint32_t h, Outputs&) { return EBDRPCL1ALNvRamErase(h); }},
        {"EBDRPCL1ALNvRamCheckCal", 57, 5,
         [](uint32_t h, Outputs& o) { return EBDRPCL1ALNvRamCheckCal(h, kCalibrationId, &o.blockStatus); }},
        {"EBDRPCL1ALNvRamReadCal", 57, 5 + kItemSize,
         [](uint32_t h, Outputs& o) {
             return EBDRPCL1ALNvRamReadCal(h, kCalibrationId, o.bytes.data(), kReadSize, &o.word);
         }},
        {"EBDRPCL1ALNvRamWriteCal", 59, 3,
         [](uint32_t h, Outputs&) { return EBDRPCL1ALNvRamWriteCal(h, 8, kItem.data(), kItemSize); }},
        {"EBDRPCSaveAllOther", 63, 3, [](uint32_t h, Outputs&) { return EBDRPCSaveAllOther(h, 20); }},
        {"EBDRPCRestoreAllOther", 65, 3, [](uint32_t h, Outputs&) { return EBDRPCRestoreAllOther(h, 20); }},
        {"EBDRPCYKNvRamCheckCal", 105, 5,
         [](uint32_t h, Outputs& o) { return EBDRPCYKNvRamCheckCal(h, kCalibrationId, &o.blockStatus); }},
        {"EBDRPCYKNvRamReadCal", 105, 5 + kItemSize,
         [](uint32_t h, Outputs& o) {
             return EBDRPCYKNvRamReadCal(h, kCalibrationId, o.bytes.data(), kReadSize, &o.word);
         }},
        {"EBDRPCYKNvRamWriteCal", 59, 3,
         [](uint32_t h, Outputs&) { return EBDRPCYKNvRamWriteCal(h, 8, kItem.data(), kItemSize); }},
        // The read-back of the band mode: read result and mode.
        {"EBDRPCVaneBandModeChange", 103, 3,
         [](uint32_t h, Outputs&) { return EBDRPCVaneBandModeChange(h, 1); }},
        // Takes any reference; erases last, so that the reads above find their items.
        {"EBDRPCL1ALNvRamEraseCal", 61, 3, [](uint32_t h, Outputs&) { return EBDRPCL1ALNvRamEraseCal(h); }},
        // ---- Identity and security ----
        {"EBDRPCFlashSerialNumberRead", 71, 7,
         [](uint32_t h, Outputs& o) { return EBDRPCFlashSerialNumberRead(h, o.bytes.data()); }},
        {"EBDRPCGetSingleIE", 73, 5, [](uint32_t h, Outputs& o) { return EBDRPCGetSingleIE(h, &o.word); },
         [](Outputs& o) { o.word = 0xFFFF; }},
        {"EBDRPCResetIMEIMode", 75, 5, [](uint32_t h, Outputs& o) { return EBDRPCResetIMEIMode(h, &o.byte); },
         [](Outputs& o) { o.byte = 0xFF; }},
        {"EBDRPCReadSerialNumber", 77, 11,
         [](uint32_t h, Outputs& o) { return EBDRPCReadSerialNumber(h, o.bytes.data()); }, presetBytes(8)},
        {"EBDRPCReadIMEI", 79, 11, [](uint32_t h, Outputs& o) { return EBDRPCReadIMEI(h, o.bytes.data()); },
         presetBytes(8)},
        {"EBDRPCInitIMEI", 81, 3, [](uint32_t h, Outputs&) { return EBDRPCInitIMEI(h); }},
        {"EBDRPCFreezeIMEI", 83, 3, [](uint32_t h, Outputs&) { return EBDRPCFreezeIMEI(h, kImei.data()); }},
        {"EBDRPCSetSecurityMode", 85, 5,
         [](uint32_t h, Outputs& o) { return EBDRPCSetSecurityMode(h, &o.word, 0x1234); }},
        {"EBDRPCRequestChallenge", 87, 10,
         [](uint32_t h, Outputs& o) { return EBDRPCRequestChallenge(h, o.bytes.data()); }, presetBytes(8)},
        {"EBDRPCSendResponse", 89, 3,
         [](uint32_t h, Outputs&) { return EBDRPCSendResponse(h, kBlock.data()); }},
        {"EBDRPCGetMobileInfo", 91, 20,
         [](uint32_t h, Outputs& o) { return EBDRPCGetMobileInfo(h, o.bytes.data()); }, presetBytes(17)},
    };
}

class CutConfirms : public ModuleFixture {
protected:
    void install(sim::Firmware& firmware) override {
        memory->userItems[{kUserId, kKey}] = Bytes(kItemSize, 0x5A);
        memory->calibrationItems[kCalibrationId] = Bytes(kItemSize, 0xA5);
        sim::InstallNvramHandlers(firmware, memory);
    }
    std::string line(const Shape& shape, int received) const {
        return "(RPC ) " + std::string(shape.name) + ": confirm has " + std::to_string(received) +
               " bytes, " + std::to_string(shape.needed) + " needed";
    }
    bool anyCutLine() const {
        for (const auto& l : lines)
            if (l.find(": confirm has ") != std::string::npos) return true;
        return false;
    }
    std::shared_ptr<sim::NvramMemory> memory = std::make_shared<sim::NvramMemory>();
};

TEST_F(CutConfirms, EveryCallRefusesAConfirmOneByteShortOfItsLastFieldAndTakesItWhole) {
    for (const Shape& shape : Catalogue()) {
        SCOPED_TRACE(shape.name);
        Outputs outputs;
        std::memset(&outputs, kSentinel, sizeof outputs);
        Outputs expected;
        std::memset(&expected, kSentinel, sizeof expected);
        shape.preset(expected);

        lines.clear();
        module().cutConfirm(shape.requestId, shape.needed - 1u);
        EXPECT_EQ(shape.call(handle, outputs), kRpcStatusFailed) << dump();
        EXPECT_EQ(std::memcmp(&outputs, &expected, sizeof outputs), 0) << "an output was written";
        EXPECT_EQ(count(line(shape, shape.needed - 1)), 1) << dump();

        // One byte more, and the call goes through.
        lines.clear();
        module().cutConfirm(shape.requestId, shape.needed);
        EXPECT_EQ(shape.call(handle, outputs), kRpcOk) << dump();
        EXPECT_FALSE(anyCutLine()) << dump();
    }
}

TEST_F(CutConfirms, AConfirmTooShortToCarryItsReferenceFailsOnItsLength) {
    // The RSSI call passes over foreign references, but a single byte is no reference.
    module().cutConfirm(msg::kCalDevGsmRssi, 1);
    int16_t rssi = 0x111;
    EXPECT_EQ(EBDRPCCalDevGsmRssi(handle, 60, 10, 0, &rssi), kRpcStatusFailed);
    EXPECT_EQ(rssi, 0x111);
    EXPECT_TRUE(has("(RPC ) EBDRPCCalDevGsmRssi: confirm has 1 bytes, 6 needed")) << dump();
    EXPECT_FALSE(has("(RPC ) EBDRPCCalDevGsmRssi: invalid reference received, try again..."));

    // An empty confirm of a call that checks its reference alone.
    module().cutConfirm(msg::kCalDevGsmSetAfcDac, 0);
    EXPECT_EQ(EBDRPCCalDevGsmSetAfcDac(handle, 1), kRpcStatusFailed);
    EXPECT_TRUE(has("(RPC ) EBDRPCCalDevGsmSetAfcDac: confirm has 0 bytes, 2 needed")) << dump();
}

TEST_F(CutConfirms, AForeignReferenceIsJudgedBeforeTheLength) {
    // Somebody else's confirm, cut or not, is a reference mismatch.
    module().foreignReference(msg::kSwitchJavaAutoStart);
    module().cutConfirm(msg::kSwitchJavaAutoStart, 2);
    EXPECT_EQ(EBDRPCSwitchJavaAutoStart(handle, 0), kRpcBadReference);
    EXPECT_FALSE(anyCutLine()) << dump();
}

TEST_F(CutConfirms, TheVersionTextNeedsItsNulUnlessItIsCutToTheCallersRoom) {
    // A text of 41 characters into a room of 11: ten characters, no NUL needed.
    module().cutConfirm(msg::kGetVersion, 12 + 10);
    std::array<char, 11> text;
    text.fill('x');
    uint32_t hardware = 0;
    EXPECT_EQ(EBDRPCGetVersion(handle, &hardware, nullptr, text.data(), text.size()), kRpcOk) << dump();
    EXPECT_EQ(std::string(text.data()), "MOD_137:RE");
    EXPECT_EQ(hardware, sim::Firmware::Config{}.hardwareVersion);

    // With a NUL-less text that ends with the confirm there is no telling it is whole.
    module().firmware().config().versionText = "MOD_1";
    module().cutConfirm(msg::kGetVersion, 12 + 5);
    std::array<char, 64> room;
    room.fill('x');
    EXPECT_EQ(EBDRPCGetVersion(handle, &hardware, nullptr, room.data(), room.size()), kRpcStatusFailed);
    EXPECT_EQ(room[0], 'x');
    EXPECT_TRUE(has("(RPC ) EBDRPCGetVersion: confirm has 17 bytes, 18 needed")) << dump();
}

}  // namespace
}  // namespace ebd::test
