// NVRAM items, the calibration store and the band-mode change against the
// module double: the request bytes on the wire, the order of the remote calls
// and the trace lines.
#include <array>
#include <cstring>
#include <memory>

#include "lib/calstore.h"
#include "lib/port_state.h"
#include "module_fixture.h"
#include "rpc/ebdmsg.h"
#include "rpc/ebdnomi.h"
#include "rpc/ebdrpc.h"
#include "rpc/ebdrpc_nvram.h"
#include "rpc/nomierr.h"
#include "sim/firmware_nvram.h"
#include "sim/module_double.h"
#include "sim/payload.h"
#include "state_dir.h"

namespace ebd::test {
namespace {

using Bytes = std::vector<uint8_t>;
using sim::ModuleDouble;

constexpr uint16_t kCheck = 57;  // calibration read of one byte
constexpr uint16_t kWriteCal = 59;

class Nvram : public ModuleFixture {
protected:
    // The module keeps its items in `memory`, where the tests can see them.
    void install(sim::Firmware& firmware) override { sim::InstallNvramHandlers(firmware, memory); }
    // The tests that need it pass the version query themselves.
    bool versionQueryInSetUp() const override { return false; }

    // The calls as "id:item" for the calibration requests, the id alone for the others.
    std::vector<std::string> calls() const {
        std::vector<std::string> out;
        for (const auto& r : double_->requests()) {
            std::string call = std::to_string(r.commandId);
            if (r.commandId == kCheck)
                call += (sim::get16le(r.data, 2) == 1 ? ":check" : ":read") +
                        std::to_string(sim::get8(r.data, 4));
            if (r.commandId == kWriteCal) call += ":" + std::to_string(sim::get16le(r.data, 2));
            if (r.commandId == 63 || r.commandId == 65) call += ":" + std::to_string(sim::get16le(r.data, 2));
            out.push_back(call);
        }
        return out;
    }
    // The data of the last write of calibration item `id`.
    Bytes written(uint16_t id) const {
        for (auto r = double_->requests().rbegin(); r != double_->requests().rend(); ++r) {
            if (r->commandId != kWriteCal || sim::get16le(r->data, 2) != id) continue;
            const size_t size = std::min<size_t>(sim::get16le(r->data, 4), r->data.size() - 6);
            return Bytes(r->data.begin() + 6, r->data.begin() + 6 + static_cast<std::ptrdiff_t>(size));
        }
        return {};
    }
    uint32_t& mask() { return LibPort(handle).storedCalibrationItems; }
    // A confirm of `data` for request `id`, sent `delayNs` after the request.
    void answerWith(uint16_t id, std::function<Bytes(const sim::Request&)> data, uint64_t delayNs = 2 * kMs) {
        module().firmware().setHandler(
            id, [id, data, delayNs](const sim::Request& r, sim::Firmware::Outcome& out) {
                out.messages.push_back({static_cast<uint16_t>(id + 1), data(r), delayNs});
            });
    }

    std::shared_ptr<sim::NvramMemory> memory = std::make_shared<sim::NvramMemory>();
    TempStateDir stateDir;
};

Bytes Ref(const sim::Request& r) {
    return {r.data.at(0), r.data.at(1)};
}
Bytes Cat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// ---- Remote calls ----------------------------------------------------------------

TEST_F(Nvram, WriteCallsSendHeaderDataAndOnePadWithoutAskingForTheVersion) {
    EBDSetNextReference(0x1234);
    const Bytes data{0xAA, 0xBB, 0xCC};
    EXPECT_EQ(EBDRPCL1ALNvRamWrite(handle, 0x01020304, 0x0506, data.data(), 3), kRpcOk);
    EXPECT_EQ(EBDRPCL1ALNvRamWriteCal(handle, 7, data.data(), 3), kRpcOk);
    EXPECT_EQ(EBDRPCYKNvRamWriteCal(handle, 0x0123, data.data(), 2), kRpcOk);
    ASSERT_EQ(requestIds(), (std::vector<uint16_t>{51, 59, 59})) << "no version request before a write";
    EXPECT_EQ(module().requests()[0].data,
              (Bytes{0x34, 0x12, 0x06, 0x05, 0x04, 0x03, 0x02, 0x01, 0x03, 0x00, 0xAA, 0xBB, 0xCC, 0x00}));
    EXPECT_EQ(module().requests()[1].data,
              (Bytes{0x35, 0x12, 0x07, 0x00, 0x03, 0x00, 0xAA, 0xBB, 0xCC, 0x00}));
    EXPECT_EQ(module().requests()[2].data, (Bytes{0x36, 0x12, 0x23, 0x01, 0x02, 0x00, 0xAA, 0xBB, 0x00}));
    EXPECT_EQ(memory->userItems.at({0x01020304, 0x0506}), data);
    EXPECT_EQ(memory->calibrationItems.at(0x0123), (Bytes{0xAA, 0xBB}));
}

TEST_F(Nvram, AWriteTakesTheConfirmOfItsFifthReceive) {
    pastVersionGate();
    // The confirm comes late: four receives give up before it is there.
    answerWith(
        51,
        [](const sim::Request& r) {
            return Cat(Ref(r), {3, 0});
        },
        4500 * kMs);
    const Bytes data{1};
    EXPECT_EQ(EBDRPCL1ALNvRamWrite(handle, 1, 2, data.data(), 1), kRpcStatusFailed);
    EXPECT_EQ(count("(NOMI) EBDReceiveFromTarget: expected cmd 0x34, dataLength 4"), 5) << dump();

    module().withholdConfirm(51, 1);
    EXPECT_EQ(EBDRPCL1ALNvRamWrite(handle, 1, 2, data.data(), 1), kRpcNoConfirm);
}

TEST_F(Nvram, WriteCallsRefuseWhatCannotBeSent) {
    pastVersionGate();
    const Bytes data(1500, 0x11);
    rpc::FailAllocations(1);
    EXPECT_EQ(EBDRPCL1ALNvRamWriteCal(handle, 1, data.data(), 10), kRpcNoMemory);
    // A message holds 1500 bytes: header, data and pad must fit.
    EXPECT_EQ(EBDRPCL1ALNvRamWrite(handle, 1, 1, data.data(), 1490), kRpcNotSent);
    EXPECT_EQ(EBDRPCL1ALNvRamWriteCal(handle, 1, data.data(), 0xFFFF), kRpcNotSent);
    EXPECT_EQ(EBDRPCL1ALNvRamWriteCal(handle, 1, nullptr, 4), kRpcNotSent);
    EXPECT_TRUE(module().requests().empty());
    EXPECT_EQ(EBDRPCL1ALNvRamWrite(handle, 1, 1, data.data(), 1489), kRpcOk);
    EXPECT_EQ(lastRequest().data.size(), 1500u);
}

TEST_F(Nvram, VariableReadsCopyAtMostTheCallersCapacity) {
    pastVersionGate();
    memory->userItems[{9, 4}] = {1, 2, 3, 4, 5, 6};
    std::array<uint8_t, 8> data;
    data.fill(0xEE);
    uint16_t bytesRead = 0;
    EBDSetNextReference(0x0200);
    EXPECT_EQ(EBDRPCL1ALNvRamRead(handle, 9, 4, data.data(), 4, &bytesRead), kRpcOk);
    EXPECT_EQ(lastRequest().data,
              (Bytes{0x00, 0x02, 0x04, 0x00, 0x09, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00}));
    EXPECT_EQ(bytesRead, 6) << "the item's length as the module gives it";
    EXPECT_EQ(data, (std::array<uint8_t, 8>{1, 2, 3, 4, 0xEE, 0xEE, 0xEE, 0xEE}));
    EXPECT_TRUE(has("(NOMI) EBDReceiveFromTarget: expected cmd 0x32, dataLength 9"));

    // Calibration reads carry the id in 8 or 16 bits.
    memory->calibrationItems[3] = {7, 8};
    memory->calibrationItems[700] = {9};
    EXPECT_EQ(EBDRPCL1ALNvRamReadCal(handle, 3, data.data(), 8, &bytesRead), kRpcOk);
    EXPECT_EQ(Bytes(lastRequest().data.begin() + 2, lastRequest().data.end()), (Bytes{8, 0, 3, 0}));
    EXPECT_EQ(bytesRead, 2);
    EXPECT_EQ(EBDRPCYKNvRamReadCal(handle, 700, data.data(), 8, &bytesRead), kRpcOk);
    EXPECT_EQ(lastRequest().commandId, 105);
    EXPECT_EQ(Bytes(lastRequest().data.begin() + 2, lastRequest().data.end()), (Bytes{8, 0, 0xBC, 0x02}));
    EXPECT_EQ(data[0], 9);

    // Status 1 is accepted, any other non-zero status fails.
    module().firmware().refuse(49, 1);
    EXPECT_EQ(EBDRPCL1ALNvRamRead(handle, 9, 4, data.data(), 8, &bytesRead), kRpcOk);
    module().firmware().refuse(49, 2);
    bytesRead = 77;
    EXPECT_EQ(EBDRPCL1ALNvRamRead(handle, 9, 4, data.data(), 8, &bytesRead), kRpcStatusFailed);
    EXPECT_EQ(bytesRead, 77);
    module().firmware().refuse(49, 0);

    // No memory for the confirm: the request has gone, its confirm stays unread.
    rpc::FailAllocations(1);
    EXPECT_EQ(EBDRPCL1ALNvRamRead(handle, 9, 4, data.data(), 8, &bytesRead), kRpcNoMemory);
    EXPECT_EQ(lastRequest().commandId, 49);
    module().foreignReference(57, 1);
    EXPECT_EQ(EBDRPCL1ALNvRamReadCal(handle, 3, data.data(), 8, &bytesRead), kRpcBadReference);
}

TEST_F(Nvram, CalibrationChecksTurnTheStatusIntoABlockStatus) {
    pastVersionGate();
    memory->calibrationItems[5] = {1, 2, 3};
    memory->unknownIds = {18, 300};
    int8_t status = 99;
    EBDSetNextReference(0x0101);
    EXPECT_EQ(EBDRPCL1ALNvRamCheckCal(handle, 5, &status), kRpcOk);
    EXPECT_EQ(lastRequest().data, (Bytes{0x01, 0x01, 0x01, 0x00, 0x05, 0x00}));
    EXPECT_EQ(status, kBlockExists);
    EXPECT_EQ(EBDRPCL1ALNvRamCheckCal(handle, 6, &status), kRpcOk);
    EXPECT_EQ(status, kBlockMissing);
    EXPECT_EQ(EBDRPCL1ALNvRamCheckCal(handle, 18, &status), kRpcOk);
    EXPECT_EQ(status, kBlockUnknown);
    EXPECT_EQ(EBDRPCYKNvRamCheckCal(handle, 300, &status), kRpcOk);
    EXPECT_EQ(lastRequest().commandId, 105);
    EXPECT_EQ(Bytes(lastRequest().data.begin() + 2, lastRequest().data.end()), (Bytes{1, 0, 0x2C, 0x01}));
    EXPECT_EQ(status, kBlockUnknown);

    status = 99;
    module().firmware().refuse(kCheck, 2);
    EXPECT_EQ(EBDRPCL1ALNvRamCheckCal(handle, 5, &status), kRpcOk);
    EXPECT_EQ(status, kBlockMissing);
    module().firmware().refuse(kCheck, 3);
    EXPECT_EQ(EBDRPCL1ALNvRamCheckCal(handle, 5, &status), kRpcBadCheckStatus);
    EXPECT_EQ(status, kBlockMissing) << "left as it was";
    module().firmware().refuse(kCheck, 0);
    // Status 0 with a length other than 1.
    answerWith(kCheck, [](const sim::Request& r) { return Cat(Ref(r), {2, 0, 0, 0}); });
    EXPECT_EQ(EBDRPCL1ALNvRamCheckCal(handle, 5, &status), kRpcStatusFailed);
}

TEST_F(Nvram, StatusCallsCheckTheReferenceExceptTheCalibrationErase) {
    pastVersionGate();
    EBDSetNextReference(0x0300);
    EXPECT_EQ(EBDRPCL1ALNvRamDelete(handle, 0x11223344, 0x5566), kRpcOk);
    EXPECT_EQ(lastRequest().data, (Bytes{0x00, 0x03, 0x66, 0x55, 0x44, 0x33, 0x22, 0x11}));
    EXPECT_EQ(EBDRPCSaveAllOther(handle, 19), kRpcOk);
    EXPECT_EQ(lastRequest().data, (Bytes{0x01, 0x03, 19, 0}));
    EXPECT_EQ(EBDRPCRestoreAllOther(handle, 0x0102), kRpcOk);
    EXPECT_EQ(lastRequest().data, (Bytes{0x02, 0x03, 0x02, 0x01}));
    EXPECT_EQ(EBDRPCL1ALNvRamErase(handle), kRpcOk);
    EXPECT_EQ(lastRequest().data, (Bytes{0x03, 0x03}));

    module().foreignReference(61, 1);
    EXPECT_EQ(EBDRPCL1ALNvRamEraseCal(handle), kRpcOk);
    module().foreignReference(55, 1);
    EXPECT_EQ(EBDRPCL1ALNvRamErase(handle), kRpcBadReference);
    module().firmware().refuse(61, 1);
    EXPECT_EQ(EBDRPCL1ALNvRamEraseCal(handle), kRpcStatusFailed);
    module().firmware().refuse(53, 7);
    EXPECT_EQ(EBDRPCL1ALNvRamDelete(handle, 1, 1), kRpcStatusFailed);
    sim.failWrites("COM1", true);
    EXPECT_EQ(EBDRPCL1ALNvRamErase(handle), kRpcNotSent);
}

// ---- Public NVRAM operations -------------------------------------------------------

TEST_F(Nvram, UserItemOperationsTraceTheirCallsAndResults) {
    pastVersionGate();
    const Bytes data{0x10, 0x20, 0x30};
    EXPECT_EQ(WWriteNVRAMUserItem(handle, 42, 7, data.data(), 3), 1);
    ASSERT_GE(lines.size(), 5u);
    EXPECT_EQ(
        std::vector<std::string>(lines.begin(), lines.begin() + 4),
        (std::vector<std::string>{"(EBD ) WWriteNVRAMUserItem(userId=42, dataSize=3)",
                                  "(EBD ) WWriteNVRAMUserItem: *pData ->", "(EBD )   00:    0x10 0x20 0x30 ",
                                  "(EBD ) WWriteNVRAMUserItem: call EBDRPCL1ALNvRamWrite()..."}));
    EXPECT_EQ(lines.back(), "(EBD ) WWriteNVRAMUserItem: O.K.");
    lines.clear();
    std::array<uint8_t, 2> out{};
    uint16_t bytesRead = 0;
    EXPECT_EQ(WReadNVRAMUserItem(handle, 42, 7, out.data(), 2, &bytesRead), 1);
    EXPECT_TRUE(
        inOrder({"(EBD ) WReadNVRAMUserItem(userId=42, dataSize=2)",
                 "(EBD ) WReadNVRAMUserItem: call EBDRPCL1ALNvRamRead()...",
                 "(EBD ) WReadNVRAMUserItem: rets *pBytesRead 3", "(EBD ) WReadNVRAMUserItem: rets *pData ->",
                 "(EBD )   00:    0x10 0x20 ", "(EBD ) WReadNVRAMUserItem: O.K."}))
        << dump();
    EXPECT_EQ(out, (std::array<uint8_t, 2>{0x10, 0x20}));

    lines.clear();
    EXPECT_EQ(WDeleteNVRAMUserItem(handle, 42, 7), 1);
    EXPECT_TRUE(memory->userItems.empty());
    EXPECT_EQ(lines.front(), "(EBD ) WDeleteNVRAMUserItem(userId=42)");
    EXPECT_EQ(WReadNVRAMUserItem(handle, 42, 7, out.data(), 2, &bytesRead), 0);
    EXPECT_EQ(lines.back(), "(EBD ) WReadNVRAMUserItem: EBDRPCL1ALNvRamReadReq fails with error 5");
    EXPECT_EQ(WGetLastError(handle), 5);

    module().firmware().refuse(55, 1);
    lines.clear();
    EXPECT_EQ(WEraseAllNVRAMUserItems(handle), 0);
    EXPECT_EQ(lines.front(), "(EBD ) WEraseAllNVRAMUserItems()");
    EXPECT_EQ(lines.at(1), "(EBD ) WEraseAllNVRAMUserItems: call EBDRPCL1ALNvRamErase()...");
    EXPECT_EQ(lines.back(), "(EBD ) WEraseAllNVRAMUserItems: EBDRPCL1ALNvRamEraseReq fails with error 5");
    module().firmware().refuse(51, 2);
    EXPECT_EQ(WWriteNVRAMUserItem(handle, 1, 1, data.data(), 3), 0);
    EXPECT_EQ(lines.back(), "(EBD ) WWriteNVRAMUserItem: EBDRPCL1ALNvRamWriteReq fails with error 5");
    module().firmware().refuse(53, 2);
    EXPECT_EQ(WDeleteNVRAMUserItem(handle, 1, 1), 0);
    EXPECT_EQ(lines.back(), "(EBD ) WDeleteNVRAMUserItem: EBDRPCL1ALNvRamDeleteReq fails with error 5");
}

TEST_F(Nvram, CalibrationItemOperationsTraceTheirCallsAndResults) {
    pastVersionGate();
    memory->calibrationItems[4] = {0x44};
    memory->unknownIds = {9};
    uint8_t exists = 7;
    EXPECT_EQ(WCheckNVRAMCalibrationItem(handle, 4, &exists), 1);
    EXPECT_EQ(exists, 1);
    EXPECT_EQ(lines.front(), "(EBD ) WCheckNVRAMCalibrationItem(calibrationId=4)");
    EXPECT_EQ(lines.at(1), "(EBD ) WCheckNVRAMCalibrationItem: call EBDRPCL1ALNvRamCheckCal()...");
    EXPECT_EQ(lines.at(lines.size() - 2),
              "(EBD ) WCheckNVRAMCalibrationItem: EBDRPCL1ALNVRAMCheckCal: rets *blockStatus 1");
    EXPECT_EQ(lines.back(), "(EBD ) WCheckNVRAMCalibrationItem: rets *pNVRAMBlockExists 1") << "no O.K. line";
    EXPECT_EQ(WCheckNVRAMCalibrationItem(handle, 9, &exists), 1);
    EXPECT_TRUE(has("(EBD ) WCheckNVRAMCalibrationItem: EBDRPCL1ALNVRAMCheckCal: rets *blockStatus -1"));
    EXPECT_EQ(exists, 0);
    module().firmware().refuse(kCheck, 3);
    EXPECT_EQ(WCheckNVRAMCalibrationItem(handle, 4, &exists), 0);
    EXPECT_EQ(lines.back(),
              "(EBD ) WCheckNVRAMCalibrationItem: EBDRPCL1ALNvRamCheckCalReq fails with error 6");
    module().firmware().refuse(kCheck, 0);

    lines.clear();
    const Bytes data{0xDE, 0xAD};
    EXPECT_EQ(WWriteNVRAMCalibrationItem(handle, 200, data.data(), 2), 1);
    EXPECT_TRUE(inOrder({"(EBD ) WWriteNVRAMCalibrationItem(calibrationId=200, dataSize=2)",
                         "(EBD ) WWriteNVRAMCalibrationItem: *pData ->", "(EBD )   00:    0xde 0xad ",
                         "(EBD ) WWriteNVRAMCalibrationItem: call EBDRPCL1ALNvRamWriteCal()...",
                         "(EBD ) WWriteNVRAMCalibrationItem: O.K."}));
    std::array<uint8_t, 4> out{};
    uint16_t bytesRead = 0;
    lines.clear();
    EXPECT_EQ(WReadNVRAMCalibrationItem(handle, 200, out.data(), 4, &bytesRead), 1);
    EXPECT_EQ(lines.front(), "(EBD ) WReadNVRAMCalibrationItem(calibrationId=200, dataSize=4)");
    EXPECT_TRUE(inOrder({"(EBD ) WReadNVRAMCalibrationItem: rets *pBytesRead 2",
                         "(EBD ) WReadNVRAMCalibrationItem: rets *pData ->", "(EBD )   00:    0xde 0xad ",
                         "(EBD ) WReadNVRAMCalibrationItem: O.K."}));
    EXPECT_EQ(WReadNVRAMCalibrationItem(handle, 201, out.data(), 4, &bytesRead), 0);
    EXPECT_EQ(lines.back(), "(EBD ) WReadNVRAMCalibrationItem: EBDRPCL1ALNvRamReadCal fails with error 5");

    module().firmware().refuse(61, 1);
    EXPECT_EQ(WEraseAllNVRAMCalibrationItems(handle), 0);
    EXPECT_EQ(lines.back(),
              "(EBD ) WEraseAllNVRAMCalibrationItems: EBDRPCL1ALNvRamEraseCalReq fails with error 5");
    module().firmware().refuse(59, 1);
    EXPECT_EQ(WWriteNVRAMCalibrationItem(handle, 1, data.data(), 2), 0);
    EXPECT_EQ(lines.back(),
              "(EBD ) WWriteNVRAMCalibrationItem: EBDRPCL1ALNvRamWriteCalReq fails with error 5");

    lines.clear();
    EXPECT_EQ(WSaveAllOtherNVRAMCalibrationItems(handle, 19), 1);
    EXPECT_EQ(lines.front(), "(EBD ) WSaveAllOtherNVRAMCalibrationItems(lastCalItem=19)");
    EXPECT_EQ(lines.at(1), "(EBD ) WSaveAllOtherNVRAMCalibrationItems call EBDRPCSaveAllOther()...");
    EXPECT_EQ(lines.back(), "(EBD ) WSaveAllOtherNVRAMCalibrationItems: O.K.");
    module().firmware().refuse(65, 4);
    lines.clear();
    EXPECT_EQ(WRestoreAllOtherNVRAMCalibrationItems(handle, 19), 0);
    EXPECT_EQ(lines.at(1), "(EBD ) WRestoreAllOtherNVRAMCalibrationItems call EBDRPCRestoreAllOther()...");
    EXPECT_EQ(lines.back(),
              "(EBD ) WRestoreAllOtherNVRAMCalibrationItems: EBDRPCRestoreAllOther fails with error 5");
}

TEST_F(Nvram, SixteenBitIdsBelow256AreTheEightBitOperations) {
    pastVersionGate();
    uint8_t exists = 0;
    EXPECT_EQ(WCheckNVRAMYKCalibrationItem(handle, 255, &exists), 1);
    EXPECT_EQ(lastRequest().commandId, kCheck);
    EXPECT_EQ(lastRequest().data.at(4), 255);
    EXPECT_EQ(lines.at(0), "(EBD ) WCheckNVRAMYKCalibrationItem(calibrationId=255)");
    EXPECT_EQ(lines.at(1), "(EBD ) WCheckNVRAMYKCalibrationItem mapped to WCheckNVRAMCalibrationItem...");
    EXPECT_EQ(lines.at(2), "(EBD ) WCheckNVRAMCalibrationItem(calibrationId=255)");

    memory->calibrationItems[256] = {5};
    lines.clear();
    EXPECT_EQ(WCheckNVRAMYKCalibrationItem(handle, 256, &exists), 1);
    EXPECT_EQ(lastRequest().commandId, 105);
    EXPECT_EQ(exists, 1);
    EXPECT_EQ(lines.at(1), "(EBD ) WCheckNVRAMYKCalibrationItem: call EBDRPCYKNVRAMCheckCal()...");
    EXPECT_EQ(lines.at(lines.size() - 2),
              "(EBD ) WCheckNVRAMYKCalibrationItem: EBDRPCYKNVRAMCheckCal rets *blockStatus 1");
    EXPECT_EQ(lines.back(), "(EBD ) WCheckNVRAMYKCalibrationItem: rets *pNVRAMBlockExists 1");
    module().firmware().refuse(105, 9);
    EXPECT_EQ(WCheckNVRAMYKCalibrationItem(handle, 256, &exists), 0);
    EXPECT_EQ(lines.back(),
              "(EBD ) WCheckNVRAMYKCalibrationItem: EBDRPCYKNvRamCheckCalReq fails with error 6");
    module().firmware().refuse(105, 0);

    const Bytes data{1, 2};
    lines.clear();
    EXPECT_EQ(WWriteNVRAMYKCalibrationItem(handle, 20, data.data(), 2), 1);
    EXPECT_EQ(lines.at(1), "(EBD ) WWriteNVRAMYKCalibrationItem mapped to WWriteNVRAMCalibrationItem...");
    EXPECT_EQ(lines.at(2), "(EBD ) WWriteNVRAMCalibrationItem(calibrationId=20, dataSize=2)");
    lines.clear();
    EXPECT_EQ(WWriteNVRAMYKCalibrationItem(handle, 0x1234, data.data(), 2), 1);
    EXPECT_EQ(lastRequest().commandId, kWriteCal);
    EXPECT_EQ(sim::get16le(lastRequest().data, 2), 0x1234);
    EXPECT_TRUE(inOrder({"(EBD ) WWriteNVRAMYKCalibrationItem(calibrationId=4660, dataSize=2)",
                         "(EBD ) WWriteNVRAMYKCalibrationItem: *pData ->",
                         "(EBD ) WWriteNVRAMYKCalibrationItem: call EBDRPCYKNvRamWriteCal()...",
                         "(EBD ) WWriteNVRAMYKCalibrationItem: O.K."}));
    module().firmware().refuse(kWriteCal, 1);
    EXPECT_EQ(WWriteNVRAMYKCalibrationItem(handle, 0x1234, data.data(), 2), 0);
    EXPECT_EQ(lines.back(),
              "(EBD ) WWriteNVRAMYKCalibrationItem: EBDRPCL1ALNvRamWriteCalReq fails with error 5");

    std::array<uint8_t, 4> out{};
    uint16_t bytesRead = 0;
    lines.clear();
    EXPECT_EQ(WReadNVRAMYKCalibrationItem(handle, 256, out.data(), 4, &bytesRead), 1);
    EXPECT_EQ(lastRequest().commandId, 105);
    EXPECT_TRUE(inOrder({"(EBD ) WReadNVRAMYKCalibrationItem(calibrationId=256, dataSize=4)",
                         "(EBD ) WReadNVRAMYKCalibrationItem: call EBDRPCYKNvRamReadCal()...",
                         "(EBD ) WReadNVRAMYKCalibrationItem: rets *pBytesRead 1",
                         "(EBD ) WReadNVRAMYKCalibrationItem: O.K."}));
    lines.clear();
    EXPECT_EQ(WReadNVRAMYKCalibrationItem(handle, 20, out.data(), 4, &bytesRead), 1);
    EXPECT_EQ(lines.at(1), "(EBD ) WReadNVRAMYKCalibrationItem mapped to WReadNVRAMCalibrationItem...");
    EXPECT_EQ(lines.at(2), "(EBD ) WReadNVRAMCalibrationItem(calibrationId=20, dataSize=4)");
    EXPECT_EQ(bytesRead, 2);
    EXPECT_EQ(lastRequest().commandId, kCheck);
}

TEST_F(Nvram, BadHandlesAndNullPointersFailWithoutTalkingToTheModule) {
    pastVersionGate();
    uint8_t byte = 0;
    uint16_t word = 0;
    const uint32_t other = MakeHandle(5);
    const uint32_t broken = other & ~1u;  // pattern broken, port field 5
    EXPECT_EQ(WWriteNVRAMCalibrationItem(broken, 1, &byte, 1), 0);
    EXPECT_EQ(Port(5).lastError, EBD_ERR_INVALID_HANDLE);
    EXPECT_EQ(WReadNVRAMUserItem(broken, 1, 1, &byte, 1, &word), 0);
    EXPECT_EQ(WCheckNVRAMYKCalibrationItem(0, 300, &byte), 0);
    EXPECT_EQ(WReadNVRAMUserItem(handle, 1, 1, nullptr, 1, &word), 0);
    EXPECT_EQ(WReadNVRAMCalibrationItem(handle, 1, &byte, 1, nullptr), 0);
    EXPECT_EQ(WWriteNVRAMUserItem(handle, 1, 1, nullptr, 1), 0);
    EXPECT_EQ(WCheckNVRAMCalibrationItem(handle, 1, nullptr), 0);
    EXPECT_EQ(WSetVaneBandMode(broken, 1), 0);
    EXPECT_EQ(WWriteAllStoredValuesToModuleNVRAM(broken, 1), 0);
    EXPECT_TRUE(lines.empty());
    EXPECT_TRUE(module().requests().empty());
    // An empty item needs no data area.
    EXPECT_EQ(WWriteNVRAMUserItem(handle, 1, 1, nullptr, 0), 1);
}

// ---- Calibration store: the records as written to the module ------------------------

class Store : public Nvram {
protected:
    bool versionQueryInSetUp() const override { return true; }
    void SetUp() override {
        Nvram::SetUp();
        // A reset first: the module starts with no calibration items, and
        // whatever an earlier call left owed is given up.
        ASSERT_EQ(WWriteAllStoredValuesToModuleNVRAM(handle, 1), 1);
        module().clearRecords();
        lines.clear();
    }
    // Writes the marked items after an erase and returns what the module got.
    void writeAll() {
        module().clearRecords();
        lines.clear();
        ASSERT_EQ(WWriteAllStoredValuesToModuleNVRAM(handle, 1), 1) << dump();
    }
};

TEST_F(Store, TheAfcRecordIsSixteenBytesWithItsConstants) {
    EXPECT_EQ(WOrreryStoreCalibrationDataAFC(handle, 258, 128), 1);
    EXPECT_EQ(lines,
              (std::vector<std::string>{
                  "(EBD ) WOrreryStoreCalibrationDataAFC(slope=0x00000102, nominalValue=0x0080)",
                  "(EBD ) WOrreryStoreCalibrationDataAFC: O.K., storedCalibrationItems now 0x00000004"}));
    writeAll();
    EXPECT_EQ(written(2), (Bytes{0x5F, 0xD0, 0x05, 0x00, 0x02, 0x01, 0x00, 0x00, 0x80, 0x00, 0x00, 0x00, 0xFF,
                                 0x1F, 0x00, 0x00}));
    EXPECT_EQ(lastRequest().data.size(), 16u + 7u);
}

TEST_F(Store, TxIqOffsetsKeepTheFirstGmskValueUntilAn8pskValueComes) {
    for (uint8_t band = 0; band < 4; ++band)
        ASSERT_EQ(WOrreryStoreCalibrationDataTxIQOffsets(handle, band, 1, 0, 0), 1);
    // A new session invalidates the GMSK pairs only.
    WComClose(handle);
    handle = open();
    pastVersionGate();
    EXPECT_EQ(WOrreryStoreCalibrationDataTxIQOffsets(handle, 1, 0, 11, 12), 1);
    EXPECT_EQ(
        lines,
        (std::vector<std::string>{
            "(EBD ) WOrreryStoreCalibrationDataTxIQOffsets(band=1, modulation=0, txIOffset=11, txQOffset=12)",
            "(EBD ) WOrreryStoreCalibrationDataTxIQOffsets: storing GMSK value since not stored yet",
            "(EBD ) WOrreryStoreCalibrationDataTxIQOffsets: O.K., storedCalibrationItems now 0x00000040"}));
    lines.clear();
    EXPECT_EQ(WOrreryStoreCalibrationDataTxIQOffsets(handle, 1, 0, 21, 22), 1);
    EXPECT_TRUE(
        has("(EBD ) WOrreryStoreCalibrationDataTxIQOffsets: skipping GMSK value since already stored"));
    EXPECT_TRUE(
        has("(EBD ) WOrreryStoreCalibrationDataTxIQOffsets: O.K., storedCalibrationItems now 0x00000040"));
    EXPECT_EQ(WOrreryStoreCalibrationDataTxIQOffsets(handle, 0, 0, 1, 2), 1);
    EXPECT_EQ(WOrreryStoreCalibrationDataTxIQOffsets(handle, 3, 0, 3, 4), 1);
    writeAll();
    // GMSK pairs for bands 3, 0, 1, 2, then the 8PSK pairs; band 2 was not stored in this session.
    EXPECT_EQ(written(6), (Bytes{3, 4, 1, 2, 11, 12, 127, 0, 0, 0, 0, 0, 0, 0, 0, 0}));

    lines.clear();
    EXPECT_EQ(WOrreryStoreCalibrationDataTxIQOffsets(handle, 1, 1, 31, 32), 1);
    EXPECT_TRUE(has("(EBD ) WOrreryStoreCalibrationDataTxIQOffsets: storing 8PSK values for GMSK also..."));
    EXPECT_EQ(WOrreryStoreCalibrationDataTxIQOffsets(handle, 1, 0, 41, 42), 1);
    EXPECT_TRUE(
        has("(EBD ) WOrreryStoreCalibrationDataTxIQOffsets: skipping GMSK value since already stored"));
    writeAll();
    EXPECT_EQ(written(6), (Bytes{3, 4, 1, 2, 31, 32, 127, 0, 0, 0, 0, 0, 31, 32, 0, 0}));
}

TEST_F(Store, BandAndModulationAreCheckedInTheOperationsOrder) {
    const std::array<uint16_t, 32> words{};
    EXPECT_EQ(WOrreryStoreCalibrationDataTxDacOffsets(handle, 7, 9, 1), 0);
    EXPECT_EQ(WGetLastError(handle), 12);
    EXPECT_TRUE(has("(EBD ) WOrreryStoreCalibrationDataTxDacOffsets: invalid band 7"));
    EXPECT_EQ(WOrreryStoreCalibrationDataScalingFactors(handle, 7, 9, words.data()), 0);
    EXPECT_EQ(WGetLastError(handle), 14);
    EXPECT_TRUE(inOrder({"(EBD ) WOrreryStoreCalibrationDataScalingFactors(band=7, modulation=9)",
                         "(EBD ) WOrreryStoreCalibrationDataScalingFactors: scalingFactorArray ->",
                         "(EBD ) WOrreryStoreCalibrationDataScalingFactors: invalid modulation mode 9"}));
    EXPECT_EQ(WOrreryStoreCalibrationDataTxIQOffsets(handle, 4, 0, 1, 1), 0);
    EXPECT_EQ(WGetLastError(handle), 12);
    EXPECT_EQ(WOrreryStoreCalibrationDataTxIQOffsets(handle, 4, 2, 1, 1), 0);
    EXPECT_EQ(WGetLastError(handle), 14);
    EXPECT_TRUE(has("(EBD ) WOrreryStoreCalibrationDataTxIQOffsets: invalid modulation mode 2"));
    EXPECT_EQ(WOrreryStoreCalibrationDataTxDacOffsets(handle, 1, 2, 1), 0);
    EXPECT_TRUE(has("(EBD ) WOrreryStoreCalibrationDataTxDacOffsets: invalid modulation mode 2"));
    EXPECT_EQ(WOrreryStoreCalibrationDataAMLoopOffsets(handle, 4, 1), 0);
    EXPECT_TRUE(has("(EBD ) WOrreryStoreCalibrationDataAMLoopOffsets: invalid band 4"));
    EXPECT_EQ(WOrreryStoreCalibrationDataAGCGainWords(handle, 4, words.data()), 0);
    EXPECT_TRUE(inOrder({"(EBD ) WOrreryStoreCalibrationDataAGCGainWords: agcControlCodeArray ->",
                         "(EBD ) WOrreryStoreCalibrationDataAGCGainWords: invalid band 4"}));
    EXPECT_EQ(WOrreryStoreCalibrationDataAGCAccurateValues(handle, 4, words.data()), 0);
    EXPECT_TRUE(has("(EBD ) WOrreryStoreCalibrationDataAGCAccurateValues: invalid band 4"));
    EXPECT_EQ(mask(), 0u) << "nothing stored";
    EXPECT_EQ(WOrreryStoreCalibrationDataAGCGainWords(handle, 0, nullptr), 0);
    EXPECT_EQ(WOrreryStoreCalibrationDataAFC(0, 1, 1), 0);
}

TEST_F(Store, BandRecordsPlaceEachBandWhereTheModuleExpectsIt) {
    std::array<uint16_t, 32> scaling{};
    for (size_t i = 0; i < scaling.size(); ++i) scaling[i] = static_cast<uint16_t>(0x0100 + i);
    std::array<uint16_t, 26> agc{};
    for (size_t i = 0; i < agc.size(); ++i) agc[i] = static_cast<uint16_t>(0x0A00 + i);
    for (uint8_t band = 0; band < 4; ++band) {
        ASSERT_EQ(WOrreryStoreCalibrationDataAMLoopOffsets(handle, band, static_cast<uint8_t>(10 + band)), 1);
        for (uint8_t modulation = 0; modulation < 2; ++modulation)
            ASSERT_EQ(WOrreryStoreCalibrationDataTxDacOffsets(
                          handle, band, modulation, static_cast<uint16_t>(0x1000 * (band + 1) + modulation)),
                      1);
    }
    EXPECT_EQ(WOrreryStoreCalibrationDataAMLoopOffsets(handle, 3, 200), 1);
    EXPECT_EQ(WOrreryStoreCalibrationDataScalingFactors(handle, 1, 1, scaling.data()), 1);
    EXPECT_EQ(WOrreryStoreCalibrationDataAGCGainWords(handle, 2, agc.data()), 1);
    EXPECT_EQ(WOrreryStoreCalibrationDataAGCAccurateValues(handle, 3, agc.data()), 1);
    EXPECT_EQ(WOrreryStoreCalibrationDataAutocalibrationTxIQOffsets(handle, -3, 5), 1);
    EXPECT_TRUE(has("(EBD ) WOrreryStoreCalibrationDataAutocalibrationTxIQOffsets(iOffset=-3, qOffset=5)"));
    EXPECT_TRUE(
        has("(EBD ) WOrreryStoreCalibrationDataTxDacOffsets(band=3, modulation 1, txDacOffsetValue=0x4001)"));
    EXPECT_EQ(
        lines.back(),
        "(EBD ) WOrreryStoreCalibrationDataAutocalibrationTxIQOffsets: O.K., storedCalibrationItems now "
        "0x000400b3");
    writeAll();
    // Band 3 first, then bands 0, 1, 2.
    EXPECT_EQ(written(5), (Bytes{200, 0, 0, 0, 10, 0, 0, 0, 11, 0, 0, 0, 12, 0, 0, 0}));
    EXPECT_EQ(written(7), (Bytes{0x00, 0x10, 0x01, 0x10, 0x00, 0x20, 0x01, 0x20, 0x00, 0x30, 0x01, 0x30, 0x00,
                                 0x40, 0x01, 0x40}));
    const Bytes epsk = written(4);
    ASSERT_EQ(epsk.size(), 256u);
    EXPECT_EQ(Bytes(epsk.begin() + 64, epsk.begin() + 68), (Bytes{0x00, 0x01, 0x01, 0x01}));
    EXPECT_EQ(Bytes(epsk.begin() + 126, epsk.begin() + 128), (Bytes{0x1F, 0x01}));
    const Bytes agcRecord = written(0);
    ASSERT_EQ(agcRecord.size(), 208u);
    EXPECT_EQ(Bytes(agcRecord.begin() + 104, agcRecord.begin() + 106), (Bytes{0x00, 0x0A}));
    EXPECT_EQ(Bytes(agcRecord.begin() + 154, agcRecord.begin() + 156), (Bytes{0x19, 0x0A}));
    const Bytes accurate = written(1);
    ASSERT_EQ(accurate.size(), 208u);
    EXPECT_EQ(Bytes(accurate.begin() + 156, accurate.begin() + 158), (Bytes{0x00, 0x0A}));
    EXPECT_EQ(written(18), (Bytes{0xFD, 0xFF, 0x05, 0x00}));
    EXPECT_EQ(written(3).size(), 0u) << "GMSK scaling factors not marked";
}

// ---- Writing the store to the module --------------------------------------------------

TEST_F(Store, AResetErasesEverythingAndWritesTheMarkedItems) {
    ASSERT_EQ(WOrreryStoreCalibrationDataAFC(handle, 1, 2), 1);
    const std::array<uint16_t, 26> agc{};
    ASSERT_EQ(WOrreryStoreCalibrationDataAGCGainWords(handle, 0, agc.data()), 1);
    memory->calibrationItems[3] = {1};
    writeAll();
    EXPECT_EQ(calls(), (std::vector<std::string>{"61", "59:0", "59:2"}));
    EXPECT_EQ(mask(), 0u);
    EXPECT_EQ(memory->calibrationItems.count(3), 0u);
    EXPECT_TRUE(
        inOrder({"(EBD ) WWriteAllStoredValuesToModuleNVRAM(resetFlag=1, storedCalibrationItems=0x00000005)",
                 "(EBD ) WWriteAllStoredValuesToModuleNVRAM: erase all cal items...",
                 "(EBD ) WEraseAllNVRAMCalibrationItems()",
                 "(EBD ) WWriteAllStoredValuesToModuleNVRAM: call WWriteNVRAMCalibrationItem()...",
                 "(EBD ) WWriteNVRAMCalibrationItem(calibrationId=0, dataSize=208)",
                 "(EBD ) WWriteAllStoredValuesToModuleNVRAM: call WWriteNVRAMCalibrationItem()...",
                 "(EBD ) WWriteNVRAMCalibrationItem(calibrationId=2, dataSize=16)",
                 "(EBD ) WWriteAllStoredValuesToModuleNVRAM: clear storedCalibrationItems",
                 "(EBD ) WWriteAllStoredValuesToModuleNVRAM: O.K."}))
        << dump();
    // Nothing marked: erase only. A refused erase fails the call.
    writeAll();
    EXPECT_EQ(calls(), (std::vector<std::string>{"61"}));
    module().firmware().refuse(61, 1);
    ASSERT_EQ(WWriteAllStoredValuesToModuleNVRAM(handle, 1), 0);
    EXPECT_EQ(lines.back(),
              "(EBD ) WWriteAllStoredValuesToModuleNVRAM: WEraseAllNVRAMCalibrationItems fails with error 5");
}

TEST_F(Store, MarkedItemsNotYetInNvramAreAddedWithoutErasing) {
    ASSERT_EQ(WOrreryStoreCalibrationDataTxIQOffsets(handle, 0, 0, 1, 1), 1);
    const std::array<uint16_t, 26> agc{};
    ASSERT_EQ(WOrreryStoreCalibrationDataAGCGainWords(handle, 0, agc.data()), 1);
    memory->calibrationItems[9] = {9};
    module().clearRecords();
    lines.clear();
    EXPECT_EQ(WWriteAllStoredValuesToModuleNVRAM(handle, 0), 1);
    EXPECT_EQ(calls(), (std::vector<std::string>{"57:check0", "57:check6", "59:0", "59:6"}));
    EXPECT_EQ(memory->calibrationItems.count(9), 1u);
    EXPECT_EQ(mask(), 0u);
    EXPECT_FALSE(has("(EBD ) WWriteAllStoredValuesToModuleNVRAM: erase all cal items..."));
}

TEST_F(Store, AMarkedItemInNvramRescuesTheOthersAroundTheErase) {
    const std::array<uint16_t, 26> agc{0x1111};
    ASSERT_EQ(WOrreryStoreCalibrationDataAGCGainWords(handle, 0, agc.data()), 1);
    memory->calibrationItems[0] = {0xEE};
    memory->calibrationItems[3] = {3, 3, 3};
    memory->calibrationItems[9] = {9};
    memory->calibrationItems[25] = {25};  // one of the module's other items
    module().clearRecords();
    lines.clear();
    EXPECT_EQ(WWriteAllStoredValuesToModuleNVRAM(handle, 0), 1) << dump();
    std::vector<std::string> expected{"57:check0"};
    for (int id = 1; id <= 18; ++id) expected.push_back("57:check" + std::to_string(id));
    for (const char* call : {"57:read3", "57:read9", "71", "63:19", "61", "65:19", "59:3", "59:9", "59:0"})
        expected.push_back(call);
    EXPECT_EQ(calls(), expected);
    EXPECT_EQ(memory->calibrationItems.at(3), (Bytes{3, 3, 3}));
    EXPECT_EQ(memory->calibrationItems.at(9), (Bytes{9}));
    EXPECT_EQ(memory->calibrationItems.at(25), (Bytes{25}));
    EXPECT_EQ(memory->calibrationItems.at(0).size(), 208u);
    EXPECT_EQ(memory->calibrationItems.at(0).at(0), 0x11);
    EXPECT_EQ(sim::get16le(module().requests().at(19).data, 2), 1400) << "read into a 1400-byte slot";
    EXPECT_TRUE(inOrder({
        "(EBD ) WWriteAllStoredValuesToModuleNVRAM(resetFlag=0, storedCalibrationItems=0x00000001)",
        "(EBD ) WWriteAllStoredValuesToModuleNVRAM: call WCheckNVRAMCalibrationItem()...",
        "(EBD ) WWriteAllStoredValuesToModuleNVRAM: calItem 0 already existent in NVRAM",
        "(EBD ) WWriteAllStoredValuesToModuleNVRAM: calItem 3 already existent in NVRAM",
        "(EBD ) WWriteAllStoredValuesToModuleNVRAM: calItem 9 already existent in NVRAM",
        "(EBD ) WWriteAllStoredValuesToModuleNVRAM: call WReadNVRAMCalibrationItem()...",
        "(TEST) Successfully read calibration item 3, 3 bytes",
        "(TEST) Successfully read calibration item 9, 1 bytes",
        "(EBD ) WWriteAllStoredValuesToModuleNVRAM: erase all cal items...",
        "(EBD ) WSaveAllOtherNVRAMCalibrationItems(lastCalItem=19)",
        "(EBD ) WEraseAllNVRAMCalibrationItems()",
        "(EBD ) WRestoreAllOtherNVRAMCalibrationItems(lastCalItem=19)",
        "(EBD) Successfully re-written calibration item 3",
        "(EBD) Successfully re-written calibration item 9",
        "(EBD ) WWriteAllStoredValuesToModuleNVRAM: call WWriteNVRAMCalibrationItem()...",
        "(EBD ) WWriteAllStoredValuesToModuleNVRAM: O.K.",
    })) << dump();
    EXPECT_EQ(count("(EBD ) WWriteAllStoredValuesToModuleNVRAM: call WCheckNVRAMCalibrationItem()..."), 19);
}

TEST_F(Store, AllMarkedItemsInNvramStillEraseFirst) {
    const std::array<uint16_t, 26> agc{};
    ASSERT_EQ(WOrreryStoreCalibrationDataAGCGainWords(handle, 0, agc.data()), 1);
    memory->calibrationItems[0] = {1};
    module().clearRecords();
    EXPECT_EQ(WWriteAllStoredValuesToModuleNVRAM(handle, 0), 1);
    const auto all = calls();
    EXPECT_EQ(std::vector<std::string>(all.end() - 4, all.end()),
              (std::vector<std::string>{"63:19", "61", "65:19", "59:0"}));
}

TEST_F(Store, AutocalibrationOffsetsAreWrittenOnlyWhenValidAndKnown) {
    ASSERT_EQ(WOrreryStoreCalibrationDataAutocalibrationTxIQOffsets(handle, 127, 5), 1);
    writeAll();
    EXPECT_EQ(calls(), (std::vector<std::string>{"61"}));
    EXPECT_TRUE(has("(EBD ) WWriteAllStoredValuesToModuleNVRAM: call WWriteNVRAMCalibrationItem()..."));
    EXPECT_EQ(mask(), 0u);

    ASSERT_EQ(WOrreryStoreCalibrationDataAutocalibrationTxIQOffsets(handle, 3, 5), 1);
    memory->unknownIds = {18};
    writeAll();
    EXPECT_EQ(calls(), (std::vector<std::string>{"61", "57:check18"}));
    EXPECT_TRUE(
        has("(EBD ) WWriteAllStoredValuesToModuleNVRAM: calling EBDRPCL1ALNVRAMCheckCal for "
            "EbdTxDcAutocalibrationIqOffsets"));
    EXPECT_TRUE(
        has("(EBD ) WWriteAllStoredValuesToModuleNVRAM: EbdTxDcAutocalibrationIqOffsets not known to "
            "firmware -> don't save, continue"));
    EXPECT_EQ(lines.back(), "(EBD ) WWriteAllStoredValuesToModuleNVRAM: O.K.");

    ASSERT_EQ(WOrreryStoreCalibrationDataAutocalibrationTxIQOffsets(handle, 3, 5), 1);
    memory->unknownIds.clear();
    writeAll();
    EXPECT_EQ(calls(), (std::vector<std::string>{"61", "57:check18", "59:18"}));
    EXPECT_TRUE(has("(EBD ) blockStatus 0, save new values"));
    EXPECT_EQ(written(18), (Bytes{3, 0, 5, 0}));

    // The check's failure ends the run with the mask kept.
    ASSERT_EQ(WOrreryStoreCalibrationDataAutocalibrationTxIQOffsets(handle, 3, 5), 1);
    module().firmware().refuse(kCheck, 3);
    module().clearRecords();
    EXPECT_EQ(WWriteAllStoredValuesToModuleNVRAM(handle, 1), 0);
    EXPECT_EQ(lines.back(),
              "(EBD ) WWriteAllStoredValuesToModuleNVRAM: WCheckNVRAMCalibrationItem fails with error 6");
    EXPECT_EQ(WGetLastError(handle), 6);
    EXPECT_EQ(mask(), 0x40000u);
}

class StoreFailures : public Store {
protected:
    void SetUp() override {
        Store::SetUp();
        const std::array<uint16_t, 26> agc{};
        ASSERT_EQ(WOrreryStoreCalibrationDataAGCGainWords(handle, 0, agc.data()), 1);
        ASSERT_EQ(WOrreryStoreCalibrationDataAFC(handle, 1, 1), 1);
        memory->calibrationItems[0] = {1};
        memory->calibrationItems[3] = {3};
        memory->calibrationItems[9] = {9};
        module().clearRecords();
        lines.clear();
    }
    bool erased() const {
        for (const auto& r : double_->requests())
            if (r.commandId == 61) return true;
        return false;
    }

    using Items = std::map<uint16_t, Bytes>;
    // The record of item `id` as the store holds it now.
    static Bytes record(uint8_t id) {
        std::array<uint8_t, calstore::kMaxRecordSize> image{};
        const size_t size = calstore::ItemImage(1, id, image.data());
        return Bytes(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(size));
    }
    // `items` with the marked records of SetUp written over them.
    static Items withMarked(Items items) {
        items[0] = record(0);
        items[2] = record(2);
        return items;
    }
    // The operator's retry: the session is closed and a new one opened on the
    // same port, after a library initialisation when `initLibrary` is set.
    void newSession(bool initLibrary) {
        ASSERT_EQ(WComClose(handle), 1);
        if (initLibrary) WInitLibrary();
        handle = open();
        ASSERT_NE(handle, 0u);
        pastVersionGate();
    }
    // The same values as in SetUp, marked again in a new session.
    void markAgain() {
        const std::array<uint16_t, 26> agc{};
        ASSERT_EQ(WOrreryStoreCalibrationDataAGCGainWords(handle, 0, agc.data()), 1);
        ASSERT_EQ(WOrreryStoreCalibrationDataAFC(handle, 1, 1), 1);
        module().clearRecords();
        lines.clear();
    }
    // Runs `fault` as the module takes in the request for item `id`, a check
    // when `check` is set, otherwise a read; before the module answers it.
    void when(bool check, uint16_t id, std::function<void()> fault) {
        memory->onCalibrationRead = [check, id, fault](uint16_t itemId, uint16_t readSize) {
            if (itemId == id && (readSize == 1) == check) fault();
        };
    }
};

TEST_F(StoreFailures, AFailedCheckStopsBeforeAnythingIsErased) {
    module().firmware().refuse(kCheck, 5);
    EXPECT_EQ(WWriteAllStoredValuesToModuleNVRAM(handle, 0), 0);
    EXPECT_EQ(lines.back(),
              "(EBD ) WWriteAllStoredValuesToModuleNVRAM: WCheckNVRAMCalibrationItem fails with error 6");
    EXPECT_EQ(calls(), (std::vector<std::string>{"57:check0"}));
    EXPECT_EQ(mask(), 0x5u);
}

TEST_F(StoreFailures, AFailedReadStopsBeforeTheEraseUnlessTheItemIsGone) {
    memory->readStatus[3] = 3;
    EXPECT_EQ(WWriteAllStoredValuesToModuleNVRAM(handle, 0), 0);
    EXPECT_TRUE(
        inOrder({"(EBD ) WGetLastError: error 5",
                 "(EBD ) WWriteAllStoredValuesToModuleNVRAM: WReadNVRAMCalibrationItem fails with error 5"}));
    EXPECT_FALSE(erased());
    EXPECT_EQ(mask(), 0x5u);
    EXPECT_EQ(memory->calibrationItems.size(), 3u);

    // The read's status 1 is the module saying it has no such item: it is
    // written back empty.
    memory->readStatus = {{3, 1}};
    module().clearRecords();
    lines.clear();
    EXPECT_EQ(WWriteAllStoredValuesToModuleNVRAM(handle, 0), 1) << dump();
    EXPECT_TRUE(inOrder({"(EBD ) WReadNVRAMCalibrationItem: O.K.", "(TEST) No calibration item 3 found",
                         "(TEST) Successfully read calibration item 9, 1 bytes",
                         "(EBD) Successfully re-written calibration item 3"}))
        << dump();
    EXPECT_FALSE(has("(EBD ) WGetLastError: error 4"));
    EXPECT_EQ(memory->calibrationItems.at(3), Bytes{});
    EXPECT_EQ(mask(), 0u);
}

TEST_F(StoreFailures, AnItemLargerThanItsSlotIsNotErased) {
    // The module holds 1401 bytes and sends the 1400 asked for.
    memory->calibrationItems[9] = Bytes(1401, 9);
    EXPECT_EQ(WWriteAllStoredValuesToModuleNVRAM(handle, 0), 0);
    EXPECT_EQ(lines.back(),
              "(EBD ) WWriteAllStoredValuesToModuleNVRAM: WReadNVRAMCalibrationItem fails with error 9");
    EXPECT_EQ(WGetLastError(handle), kRpcNoMemory);
    EXPECT_FALSE(erased());
}

TEST_F(StoreFailures, AFailedWriteKeepsTheMaskForTheNextRun) {
    memory->writeStatus[9] = 1;
    EXPECT_EQ(WWriteAllStoredValuesToModuleNVRAM(handle, 0), 0);
    EXPECT_TRUE(has("(EBD) Successfully re-written calibration item 3"));
    EXPECT_EQ(lines.back(),
              "(EBD ) WWriteAllStoredValuesToModuleNVRAM: WWriteNVRAMCalibrationItem fails with error 5");
    EXPECT_EQ(mask(), 0x5u);

    memory->writeStatus = {{2, 1}};
    module().clearRecords();
    lines.clear();
    EXPECT_EQ(WWriteAllStoredValuesToModuleNVRAM(handle, 1), 0);
    EXPECT_EQ(calls(), (std::vector<std::string>{"71", "61", "59:0", "59:2"}));
    EXPECT_TRUE(inOrder(
        {"(EBD ) WGetLastError: error 5",
         "(EBD ) WWriteAllStoredValuesToModuleNVRAM: WWriteNVRAMCalibrationItem(2) fails with error 5"}));
    EXPECT_EQ(mask(), 0x5u);
}

TEST_F(StoreFailures, ARescueReadThatIsRefusedEndsTheCallBeforeAnythingIsErased) {
    memory->calibrationItems[3] = Bytes(20, 0x33);
    memory->calibrationItems[25] = {25};
    const Items before = memory->calibrationItems;
    struct Refusal {
        const char* what;
        uint16_t error;
        std::function<void()> arm;
        // Whether the read reaches the module, and whether its confirm is
        // still on its way when the library has given up.
        bool arrives = true;
        bool leftOver = false;
    };
    const std::vector<Refusal> refusals{
        {"foreign reference", kRpcBadReference, [&] { memory->readForeignReference = {3}; }},
        {"failure status", kRpcStatusFailed,
         [&] {
             memory->readStatus = {{3, 3}};
         }},
        // The check reads status 2 as "does not exist"; the read takes it as a failure.
        {"status 2", kRpcStatusFailed,
         [&] {
             memory->readStatus = {{3, 2}};
         }},
        {"status 4", kRpcStatusFailed,
         [&] {
             memory->readStatus = {{3, 4}};
         }},
        {"no confirm", kRpcNoConfirm, [&] { when(false, 3, [&] { module().withholdConfirm(kCheck); }); }},
        // The frames that follow the scan's last check are refused.
        {"not sent", kRpcNotSent, [&] { when(true, 18, [&] { module().nakHostFrames(1000); }); }, false},
        // The confirm area is allocated once the request has gone.
        {"no memory", kRpcNoMemory, [&] { rpc::FailAllocations(1); }, true, true},
    };
    for (const Refusal& refusal : refusals) {
        SCOPED_TRACE(refusal.what);
        module().clearRecords();
        lines.clear();
        refusal.arm();
        EXPECT_EQ(WWriteAllStoredValuesToModuleNVRAM(handle, 0), 0) << dump();
        EXPECT_EQ(calls().back(), refusal.arrives ? "57:read3" : "57:check18");
        EXPECT_FALSE(erased());
        EXPECT_EQ(memory->calibrationItems, before);
        const std::string failure =
            "(EBD ) WWriteAllStoredValuesToModuleNVRAM: WReadNVRAMCalibrationItem fails with error " +
            std::to_string(refusal.error);
        EXPECT_TRUE(inOrder({"(EBD ) WGetLastError: error " + std::to_string(refusal.error), failure}));
        EXPECT_EQ(lines.back(), failure);
        EXPECT_FALSE(has("(TEST) No calibration item 3 found"));
        EXPECT_EQ(WGetLastError(handle), refusal.error);
        EXPECT_EQ(mask(), 0x5u);
        memory->readForeignReference.clear();
        memory->readStatus.clear();
        memory->onCalibrationRead = nullptr;
        module().clearFaults();
        rpc::FailAllocations(0);
        if (refusal.leftOver) {
            std::array<uint8_t, 32> stale{};
            ASSERT_TRUE(rpc::Receive(handle, kCheck + 1, stale.data(), stale.size()));
        }
    }
    // Nothing was erased, so nothing is owed: the next call is an ordinary one.
    module().clearRecords();
    lines.clear();
    EXPECT_EQ(WWriteAllStoredValuesToModuleNVRAM(handle, 0), 1) << dump();
    EXPECT_EQ(calls().front(), "57:check0") << dump();
    EXPECT_FALSE(
        has("(EBD ) WWriteAllStoredValuesToModuleNVRAM: calItem 3 still owed to NVRAM, write it back..."));
    EXPECT_EQ(memory->calibrationItems, withMarked(before));
}

TEST_F(StoreFailures, AReWriteThatFailsIsWrittenBackByTheNextCallOfANewSession) {
    memory->calibrationItems[3] = Bytes(20, 0x33);
    memory->calibrationItems[25] = {25};
    const Items before = memory->calibrationItems;
    memory->writeStatus[9] = 1;
    EXPECT_EQ(WWriteAllStoredValuesToModuleNVRAM(handle, 0), 0);
    EXPECT_EQ(memory->calibrationItems, (Items{{3, before.at(3)}, {25, {25}}})) << "erased, 9 not yet back";

    // The retry on a new session writes item 9 back before anything else; while
    // the module refuses, the call stops there.
    newSession(false);
    markAgain();
    EXPECT_EQ(WWriteAllStoredValuesToModuleNVRAM(handle, 0), 0);
    EXPECT_EQ(calls(), (std::vector<std::string>{"71", "59:9"}));
    EXPECT_EQ(lines.back(),
              "(EBD ) WWriteAllStoredValuesToModuleNVRAM: WWriteNVRAMCalibrationItem fails with error 5");

    memory->writeStatus.clear();
    module().clearRecords();
    lines.clear();
    EXPECT_EQ(WWriteAllStoredValuesToModuleNVRAM(handle, 0), 1) << dump();
    // Item 0 is owed too, but the marked record replaces it: no write-back.
    EXPECT_EQ(calls(), (std::vector<std::string>{"71", "59:9", "57:check0", "57:check2", "59:0", "59:2"}));
    EXPECT_EQ(written(9), before.at(9));
    EXPECT_EQ(memory->calibrationItems, withMarked(before));
    EXPECT_TRUE(inOrder({
        "(EBD ) WWriteAllStoredValuesToModuleNVRAM(resetFlag=0, storedCalibrationItems=0x00000005)",
        "(EBD ) WWriteAllStoredValuesToModuleNVRAM: calItem 0 still owed to NVRAM, replaced by stored value",
        "(EBD ) WWriteAllStoredValuesToModuleNVRAM: calItem 9 still owed to NVRAM, write it back...",
        "(EBD ) WWriteNVRAMCalibrationItem(calibrationId=9, dataSize=1)",
        "(EBD) Successfully re-written calibration item 9",
        "(EBD ) WWriteAllStoredValuesToModuleNVRAM: call WCheckNVRAMCalibrationItem()...",
        "(EBD ) WWriteAllStoredValuesToModuleNVRAM: O.K.",
    })) << dump();

    // Nothing is owed any more.
    module().clearRecords();
    EXPECT_EQ(WWriteAllStoredValuesToModuleNVRAM(handle, 0), 1);
    EXPECT_TRUE(module().requests().empty());
}

TEST_F(StoreFailures, AMarkedWriteThatFailsAfterTheEraseLeavesNothingLost) {
    memory->calibrationItems[25] = {25};
    const Items before = memory->calibrationItems;
    memory->writeStatus[0] = 1;
    EXPECT_EQ(WWriteAllStoredValuesToModuleNVRAM(handle, 0), 0);
    const auto first = calls();
    EXPECT_EQ(std::vector<std::string>(first.end() - 3, first.end()),
              (std::vector<std::string>{"59:3", "59:9", "59:0"}));
    EXPECT_EQ(memory->calibrationItems.count(0), 0u);

    // A library initialisation and a new session on the same port keep what is owed.
    memory->writeStatus.clear();
    newSession(true);
    markAgain();
    EXPECT_EQ(WWriteAllStoredValuesToModuleNVRAM(handle, 0), 1) << dump();
    EXPECT_EQ(calls(), (std::vector<std::string>{"71", "57:check0", "57:check2", "59:0", "59:2"}));
    EXPECT_TRUE(
        has("(EBD ) WWriteAllStoredValuesToModuleNVRAM: calItem 0 still owed to NVRAM, replaced by stored "
            "value"));
    EXPECT_EQ(memory->calibrationItems, withMarked(before));
}

TEST_F(StoreFailures, WithoutNewMarksTheNextSessionWritesTheErasedItemsAsTheyWereOnTheirWay) {
    // A GMSK pair of this session: a new session sets its I byte back to 127.
    ASSERT_EQ(WOrreryStoreCalibrationDataTxIQOffsets(handle, 0, 0, 11, 12), 1);
    memory->calibrationItems[6] = {6};
    const Items before = memory->calibrationItems;
    const Bytes gainWords = record(0);
    const Bytes iqOffsets = record(6);
    ASSERT_EQ(iqOffsets.at(2), 11);
    memory->writeStatus[0] = 1;
    EXPECT_EQ(WWriteAllStoredValuesToModuleNVRAM(handle, 0), 0);
    EXPECT_EQ(memory->calibrationItems.count(0) + memory->calibrationItems.count(6), 0u);

    memory->writeStatus.clear();
    newSession(false);
    ASSERT_NE(record(6), iqOffsets);
    EXPECT_EQ(WWriteAllStoredValuesToModuleNVRAM(handle, 0), 1) << dump();
    EXPECT_EQ(calls(), (std::vector<std::string>{"71", "59:0", "59:6"}));
    Items expected = before;
    expected[0] = gainWords;
    expected[6] = iqOffsets;
    EXPECT_EQ(memory->calibrationItems, expected);
    EXPECT_TRUE(
        inOrder({"(EBD ) WWriteAllStoredValuesToModuleNVRAM: calItem 0 still owed to NVRAM, write it back...",
                 "(EBD) Successfully re-written calibration item 0",
                 "(EBD ) WWriteAllStoredValuesToModuleNVRAM: calItem 6 still owed to NVRAM, write it back...",
                 "(EBD) Successfully re-written calibration item 6"}));
}

TEST_F(StoreFailures, OwedItemsWrittenBackAreRescuedWhenTheNextCallErases) {
    memory->calibrationItems[25] = {25};
    const Items before = memory->calibrationItems;
    memory->writeStatus[9] = 1;
    EXPECT_EQ(WWriteAllStoredValuesToModuleNVRAM(handle, 0), 0);
    memory->writeStatus.clear();
    const Bytes gainWords = record(0);

    // The new session marks item 3, which NVRAM holds: this call erases too.
    newSession(false);
    std::array<uint16_t, 32> scaling{};
    scaling.fill(0x0303);
    ASSERT_EQ(WOrreryStoreCalibrationDataScalingFactors(handle, 0, 0, scaling.data()), 1);
    module().clearRecords();
    lines.clear();
    EXPECT_EQ(WWriteAllStoredValuesToModuleNVRAM(handle, 0), 1) << dump();
    std::vector<std::string> expected{"71", "59:0", "59:9", "57:check3"};
    for (int id = 0; id <= 18; ++id)
        if (id != 3) expected.push_back("57:check" + std::to_string(id));
    for (const char* call : {"57:read0", "57:read9", "63:19", "61", "65:19", "59:0", "59:9", "59:3"})
        expected.push_back(call);
    EXPECT_EQ(calls(), expected);
    EXPECT_EQ(memory->calibrationItems,
              (Items{{0, gainWords}, {3, record(3)}, {9, before.at(9)}, {25, {25}}}));
}

TEST_F(StoreFailures, AResetGivesUpWhatIsOwed) {
    memory->writeStatus[9] = 1;
    EXPECT_EQ(WWriteAllStoredValuesToModuleNVRAM(handle, 0), 0);
    memory->writeStatus.clear();
    module().clearRecords();
    lines.clear();
    EXPECT_EQ(WWriteAllStoredValuesToModuleNVRAM(handle, 1), 1);
    EXPECT_EQ(calls(), (std::vector<std::string>{"71", "61", "59:0", "59:2"}));
    EXPECT_TRUE(inOrder({
        "(EBD ) WWriteAllStoredValuesToModuleNVRAM: erase all cal items...",
        "(EBD ) WWriteAllStoredValuesToModuleNVRAM: calItem 0 still owed to NVRAM, dropped by erase all",
        "(EBD ) WWriteAllStoredValuesToModuleNVRAM: calItem 9 still owed to NVRAM, dropped by erase all",
        "(EBD ) WEraseAllNVRAMCalibrationItems()",
    })) << dump();
    module().clearRecords();
    EXPECT_EQ(WWriteAllStoredValuesToModuleNVRAM(handle, 0), 1);
    EXPECT_TRUE(module().requests().empty());
}

TEST_F(StoreFailures, UnmeasuredAutocalibrationOffsetsReplaceNothing) {
    // Marked, but skipped by the write: the item in NVRAM is rescued instead.
    ASSERT_EQ(WOrreryStoreCalibrationDataAutocalibrationTxIQOffsets(handle, 127, 5), 1);
    memory->calibrationItems[18] = {1, 2, 3, 4};
    const Items before = memory->calibrationItems;
    module().clearRecords();
    EXPECT_EQ(WWriteAllStoredValuesToModuleNVRAM(handle, 0), 1) << dump();
    const auto all = calls();
    EXPECT_EQ(std::vector<std::string>(all.end() - 12, all.end()),
              (std::vector<std::string>{"57:read3", "57:read9", "57:read18", "71", "63:19", "61", "65:19",
                                        "59:3", "59:9", "59:18", "59:0", "59:2"}));
    EXPECT_EQ(memory->calibrationItems, withMarked(before));
}

// ---- Band mode ------------------------------------------------------------------------

TEST_F(Nvram, TheBandModeIsWrittenAndReadBack) {
    pastVersionGate();
    LibPort(handle).dualBandMode = 3;
    EBDSetNextReference(0x0500);
    EXPECT_EQ(WSetVaneBandMode(handle, 2), 1) << dump();
    EXPECT_EQ(requestIds(), (std::vector<uint16_t>{69, 103}));
    EXPECT_EQ(module().requests()[0].data, (Bytes{0x00, 0x05, 0x02, 0x00}));
    EXPECT_EQ(module().requests()[1].data, (Bytes{0x01, 0x05}));
    EXPECT_EQ(memory->bandMode, 2);
    EXPECT_EQ(LibPort(handle).dualBandMode, 3) << "the library's own band mode stays";
    EXPECT_TRUE(inOrder({"(EBD ) WSetVaneBandMode(bandMode=2)",
                         "(RPC ) EBDRPCVaneBandModeChange: send EBDRequestVaneMmWriteBandMode...",
                         "(RPC ) EBDRPCVaneBandModeChange: send EBDRequestVaneMmReadBandMode...",
                         "(RPC ) EBDRPCVaneBandModeChange: read O.K.",
                         "(RPC ) EBDRPCVaneBandModeChange: read gives current bandmode 2, should be 2",
                         "(EBD ) WSetVaneBandMode: O.K."}));
    EXPECT_FALSE(has("(EBD ) WSetVaneBandMode: call EBDRPCVaneBandModeChange()..."));
}

TEST_F(Nvram, FailedReadsAreRepeatedAndAnUnansweredReadProbesTheModule) {
    pastVersionGate();
    // The unanswered read is the first of two failed ones.
    memory->failedBandModeReads = 2;
    module().withholdConfirm(69, 1);
    module().withholdConfirm(103, 1);
    EXPECT_EQ(WSetVaneBandMode(handle, 1), 1) << dump();
    EXPECT_EQ(calls(), (std::vector<std::string>{"69", "103", "57:check0", "103", "103"}));
    EXPECT_TRUE(
        inOrder({"(RPC ) EBDRPCVaneBandModeChange: no EBDConfirmVaneMmWriteBandMode recvd",
                 "(RPC ) EBDRPCVaneBandModeChange: no EBDConfirmVaneMmReadBandMode recvd",
                 "(EBD ) WCheckNVRAMCalibrationItem(calibrationId=0)",
                 "(RPC ) EBDRPCVaneBandModeChange: module is alive, retry...",
                 "(RPC ) EBDRPCVaneBandModeChange: read fails", "(RPC ) EBDRPCVaneBandModeChange: read fails",
                 "(RPC ) EBDRPCVaneBandModeChange: read O.K."}))
        << dump();

    module().withholdConfirm(103, 1);
    module().withholdConfirm(kCheck, 1);
    EXPECT_EQ(WSetVaneBandMode(handle, 1), 0);
    EXPECT_TRUE(inOrder({"(RPC ) EBDRPCVaneBandModeChange: fail - module doesn't answer",
                         "(EBD ) WSetVaneBandMode: EBDRPCVaneBandModeChange fails with error 2"}));
}

TEST_F(Nvram, AModuleThatNeverReportsTheModeIsGivenUpAfterTwentyReads) {
    pastVersionGate();
    memory->ignoreBandModeWrites = true;
    memory->bandMode = 0;
    EXPECT_EQ(WSetVaneBandMode(handle, 3), 0);
    int reads = 0;
    int writes = 0;
    for (uint16_t id : requestIds()) {
        reads += id == 103;
        writes += id == 69;
    }
    EXPECT_EQ(reads, kMaxBandModeReads);
    EXPECT_EQ(writes, kMaxBandModeReads) << "each read shows the wrong mode: the mode is written again";
    EXPECT_EQ(requestIds().back(), 103);
    EXPECT_EQ(count("(RPC ) EBDRPCVaneBandModeChange: read gives current bandmode 0, should be 3"),
              kMaxBandModeReads);
    EXPECT_TRUE(inOrder({"(RPC ) EBDRPCVaneBandModeChange: fail - bandmode 3 not reported after 20 reads",
                         "(EBD ) WSetVaneBandMode: EBDRPCVaneBandModeChange fails with error 5"}));
    EXPECT_EQ(WGetLastError(handle), kRpcStatusFailed);

    // Reads that keep failing are bounded the same way. (Every second failed
    // read repeats the one before to the byte and is dropped as a doubled
    // message; the probe then finds the module alive.)
    memory->ignoreBandModeWrites = false;
    memory->failedBandModeReads = 1000;
    module().clearRecords();
    EXPECT_EQ(EBDRPCVaneBandModeChange(handle, 1), kRpcStatusFailed);
    const auto ids = requestIds();
    EXPECT_EQ(std::count(ids.begin(), ids.end(), 103), kMaxBandModeReads);
    EXPECT_EQ(std::count(ids.begin(), ids.end(), 69), 1);

    sim.failWrites("COM1", true);
    EXPECT_EQ(EBDRPCVaneBandModeChange(handle, 1), kRpcNotSent);
}

}  // namespace
}  // namespace ebd::test
