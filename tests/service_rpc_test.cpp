// Remote calls of radio test, measurement, identity and security against the
// module double: the request bytes on the wire, and the calls grouped by the
// shape of their confirm checks (reference only, status field, identity status
// with preset outputs, variable length, foreign references).
#include <array>
#include <cstdio>
#include <functional>
#include <map>
#include <numeric>

#include "module_fixture.h"
#include "rpc/ebdmsg.h"
#include "rpc/ebdnomi.h"
#include "rpc/ebdrpc.h"
#include "rpc/ebdrpc_service.h"
#include "rpc/nomierr.h"
#include "sim/firmware_service.h"
#include "sim/module_double.h"
#include "sim/payload.h"

namespace ebd::test {
namespace {

using Bytes = std::vector<uint8_t>;
using sim::ModuleDouble;
using Call = std::function<uint16_t(uint32_t)>;

constexpr uint16_t kRef = 0x3456;

class ServiceRpc : public ModuleFixture {
protected:
    void TearDown() override {
        rpc::FailAllocations(0);
        ModuleFixture::TearDown();
    }
};

// One call of the family with fixed arguments, its request id and the bytes
// its request carries behind the reference.
struct Sample {
    const char* name;
    uint16_t requestId;
    Call call;
    Bytes payload;
};

std::vector<Sample> Samples() {
    static uint8_t status8;
    static int16_t signed16;
    static uint16_t word;
    static uint16_t words[16];
    static uint8_t bytes[64];
    static const uint16_t addresses[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    static const uint16_t values[8] = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88};
    static const uint8_t imei[8] = {0x35, 1, 2, 3, 4, 5, 6, 0x70};
    static uint8_t block[64];
    std::iota(block, block + 64, 0);
    Bytes blockBytes(block, block + 64);
    return {
        {"SetAfcDac", 11, [](uint32_t h) { return EBDRPCCalDevGsmSetAfcDac(h, 0x1234); }, {0x34, 0x12}},
        {"FreqOffsetMeas",
         13,
         [](uint32_t h) { return EBDRPCCalDevGsmFreqOffsetMeas(h, 0x0102, 0x0A0B, &status8, &signed16); },
         {0x02, 0x01, 0x0B, 0x0A}},
        {"GainProgram",
         15,
         [](uint32_t h) { return EBDRPCCalDevGsmGainProgram(h, 2, 0xBEEF, 7, 1, &word); },
         {0xEF, 0xBE, 0x07, 0x02, 0x01, 0x00}},
        {"Rssi",
         17,
         [](uint32_t h) { return EBDRPCCalDevGsmRssi(h, 0x0203, 0x0405, 1, &signed16); },
         {0x03, 0x02, 0x05, 0x04, 0x01, 0x00}},
        {"DcOffset", 19, [](uint32_t h) { return EBDRPCCalDevGsmDcOffset(h, 1, words); }, {0x01, 0x00}},
        {"SetBandMode", 21, [](uint32_t h) { return EBDRPCCalDevGsmSetBandMode(h, 3); }, {0x03, 0x00}},
        {"RxControl",
         31,
         [](uint32_t h) { return EBDRPCCalDevGsmRxControl(h, 5, 0x11223344, 9); },
         {0x09, 0x05, 0x44, 0x33, 0x22, 0x11}},
        {"LoopBack",
         33,
         [](uint32_t h) { return EBDRPCCalDevGsmLoopBack(h, 1, 0x0102, 0x0304, 5, 6, 7); },
         {0x01, 0x00, 0x02, 0x01, 0x04, 0x03, 0x05, 0x06, 0x07, 0x00}},
        {"LoopBackData",
         35,
         [](uint32_t h) {
             return EBDRPCCalDevGsmLoopBackData(h, &signed16, &signed16, &word, &word, &signed16);
         },
         {}},
        {"ConstTx",
         45,
         [](uint32_t h) { return EBDRPCCalDevGsmConstTx(h, 1, 0x0A0B, 0x0C0D, 0x3F); },
         {0x0B, 0x0A, 0x3F, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x0D, 0x0C, 0x01, 0x00}},
        {"BBCRegister",
         47,
         [](uint32_t h) { return EBDRPCCalDevGsmBBCRegister(h, 0xA5A, addresses, values, words); },
         {0x5A, 0x0A, 1, 0,    2, 0,    3, 0,    4, 0,    5, 0,    6, 0,    7, 0,    8,
          0,    0x11, 0, 0x22, 0, 0x33, 0, 0x44, 0, 0x55, 0, 0x66, 0, 0x77, 0, 0x88, 0}},
        {"SetPrechargeValue",
         97,
         [](uint32_t h) { return EBDRPCSetPrechargeValue(h, 0x0304); },
         {0x04, 0x03}},
        {"GetGainCodeTable",
         95,
         [](uint32_t h) { return EBDRPCGetGainCodeTable(h, 1, 2, words, 16, &word); },
         {0x10, 0x00, 0x01, 0x02}},
        {"FlashSerialNumberRead", 71, [](uint32_t h) { return EBDRPCFlashSerialNumberRead(h, bytes); }, {}},
        {"GetSingleIE",
         73,
         [](uint32_t h) {
             word = 0x1234;
             return EBDRPCGetSingleIE(h, &word);
         },
         {0x34, 0x12}},
        {"ResetIMEIMode",
         75,
         [](uint32_t h) {
             status8 = 1;
             return EBDRPCResetIMEIMode(h, &status8);
         },
         {0x01, 0x00}},
        {"ReadSerialNumber", 77, [](uint32_t h) { return EBDRPCReadSerialNumber(h, bytes); }, {}},
        {"ReadIMEI", 79, [](uint32_t h) { return EBDRPCReadIMEI(h, bytes); }, {}},
        {"InitIMEI", 81, [](uint32_t h) { return EBDRPCInitIMEI(h); }, {}},
        {"FreezeIMEI", 83, [](uint32_t h) { return EBDRPCFreezeIMEI(h, imei); }, Bytes(imei, imei + 8)},
        {"SetSecurityMode",
         85,
         [](uint32_t h) {
             word = 0x0203;
             return EBDRPCSetSecurityMode(h, &word, 0xA1B2C3D4);
         },
         {0x03, 0x02, 0xD4, 0xC3, 0xB2, 0xA1}},
        {"RequestChallenge", 87, [](uint32_t h) { return EBDRPCRequestChallenge(h, bytes); }, {}},
        {"SendResponse", 89, [](uint32_t h) { return EBDRPCSendResponse(h, block); }, blockBytes},
        {"GetMobileInfo", 91, [](uint32_t h) { return EBDRPCGetMobileInfo(h, bytes); }, {}},
    };
}

// ---- Request bytes -----------------------------------------------------------

TEST_F(ServiceRpc, EveryCallSendsItsRequestLayoutAndSucceedsAgainstTheFirmware) {
    // Each call its own reference: two equal confirms in a row would be taken
    // for a repeated message.
    uint16_t ref = kRef;
    for (const Sample& sample : Samples()) {
        SCOPED_TRACE(sample.name);
        module().clearRecords();
        ref = static_cast<uint16_t>(ref + 0x101);
        EBDSetNextReference(ref);
        EXPECT_EQ(sample.call(handle), kRpcOk) << dump();
        ASSERT_EQ(requestIds(), (std::vector<uint16_t>{sample.requestId}));
        Bytes expected{static_cast<uint8_t>(ref), static_cast<uint8_t>(ref >> 8)};
        expected.insert(expected.end(), sample.payload.begin(), sample.payload.end());
        EXPECT_EQ(module().requests().back().data, expected);
    }
}

TEST_F(ServiceRpc, TheReferenceIsTakenBeforeTheVersionGate) {
    // A fresh session: the gate's version query follows the call's reference.
    WComClose(handle);
    handle = open();
    module().clearRecords();
    EBDSetNextReference(kRef);
    ASSERT_EQ(EBDRPCSetPrechargeValue(handle, 1), kRpcOk);
    ASSERT_EQ(requestIds(), (std::vector<uint16_t>{1, 97}));
    EXPECT_EQ(sim::get16le(module().requests()[0].data, 0), kRef + 1);
    EXPECT_EQ(sim::get16le(module().requests()[1].data, 0), kRef);
}

TEST_F(ServiceRpc, EveryCallRunsTheVersionGateAndReadsItsWholeConfirmRecord) {
    // Bytes of each confirm record, pads included; the gain-code table reads
    // 2 x 16 + 8 bytes for its 16 codes.
    const std::map<uint16_t, int> confirmSize = {
        {11, 2},  {13, 6},  {15, 6}, {17, 6}, {19, 10}, {21, 2}, {31, 2},  {33, 4},
        {35, 14}, {45, 4},  {47, 18}, {97, 2}, {95, 40}, {71, 8}, {73, 6},  {75, 6},
        {77, 12}, {79, 12}, {81, 4}, {83, 4}, {85, 6},  {87, 10}, {89, 4}, {91, 20},
    };
    for (const Sample& sample : Samples()) {
        SCOPED_TRACE(sample.name);
        // A fresh session: its first remote call queries the version first.
        WComClose(handle);
        handle = open();
        module().clearRecords();
        EXPECT_EQ(sample.call(handle), kRpcOk) << dump();
        EXPECT_EQ(requestIds(), (std::vector<uint16_t>{msg::kGetVersion, sample.requestId}));
        char line[96];
        std::snprintf(line, sizeof line, "(NOMI) EBDReceiveFromTarget: expected cmd 0x%x, dataLength %d",
                      msg::ConfirmOf(sample.requestId), confirmSize.at(sample.requestId));
        EXPECT_EQ(count(line), 1) << dump();
        // The second call of the session goes without the query.
        module().clearRecords();
        EXPECT_EQ(sample.call(handle), kRpcOk);
        EXPECT_EQ(requestIds(), (std::vector<uint16_t>{sample.requestId}));
    }
}

// ---- Failures every call shares ------------------------------------------------

TEST_F(ServiceRpc, EveryCallReportsAnUnsentRequestAMissingConfirmAndAForeignReference) {
    for (const Sample& sample : Samples()) {
        SCOPED_TRACE(sample.name);
        sim.failWrites("COM1", true);
        EXPECT_EQ(sample.call(handle), kRpcNotSent);
        sim.failWrites("COM1", false);

        module().withholdConfirm(sample.requestId, 1);
        EXPECT_EQ(sample.call(handle), kRpcNoConfirm);

        // The RSSI call passes over foreign confirms; tested on its own below.
        if (sample.requestId == msg::kCalDevGsmRssi) continue;
        module().foreignReference(sample.requestId, 1);
        EXPECT_EQ(sample.call(handle), kRpcBadReference);
        EXPECT_EQ(sample.call(handle), kRpcOk) << "the fault is used up";
    }
}

TEST_F(ServiceRpc, NullInputAreasSendNothing) {
    uint16_t words[8] = {};
    EXPECT_EQ(EBDRPCCalDevGsmBBCRegister(handle, 0, nullptr, words, words), kRpcNotSent);
    EXPECT_EQ(EBDRPCCalDevGsmBBCRegister(handle, 0, words, nullptr, words), kRpcNotSent);
    EXPECT_EQ(EBDRPCFreezeIMEI(handle, nullptr), kRpcNotSent);
    EXPECT_EQ(EBDRPCSendResponse(handle, nullptr), kRpcNotSent);
    EXPECT_EQ(EBDRPCGetSingleIE(handle, nullptr), kRpcNotSent);
    EXPECT_EQ(EBDRPCResetIMEIMode(handle, nullptr), kRpcNotSent);
    EXPECT_EQ(EBDRPCSetSecurityMode(handle, nullptr, 0), kRpcNotSent);
    EXPECT_TRUE(module().requests().empty());
    // Null outputs are skipped, the call itself goes through.
    EXPECT_EQ(EBDRPCCalDevGsmDcOffset(handle, 0, nullptr), kRpcOk);
    EXPECT_EQ(EBDRPCReadIMEI(handle, nullptr), kRpcOk);
    EXPECT_EQ(EBDRPCGetGainCodeTable(handle, 0, 0, nullptr, 16, nullptr), kRpcOk);
}

// ---- Outputs of plain reference checks -----------------------------------------

TEST_F(ServiceRpc, OutputsAreDecodedLittleEndianWithTheirSigns) {
    answer(msg::kCalDevGsmFreqOffsetMeas, [](const sim::Request&) { return Bytes{0xD4, 0xFE, 0x02, 0x00}; });
    uint8_t status = 0;
    int16_t offset = 0;
    EXPECT_EQ(EBDRPCCalDevGsmFreqOffsetMeas(handle, 1, 2, &status, &offset), kRpcOk);
    EXPECT_EQ(offset, -300);
    EXPECT_EQ(status, 2);

    answer(msg::kCalDevGsmDcOffset,
           [](const sim::Request&) { return Bytes{0x01, 0x00, 0xFF, 0xFF, 0x34, 0x12, 0x00, 0x80}; });
    uint16_t offsets[4] = {};
    EXPECT_EQ(EBDRPCCalDevGsmDcOffset(handle, 0, offsets), kRpcOk);
    EXPECT_EQ(offsets[0], 1);
    EXPECT_EQ(offsets[1], 0xFFFF);
    EXPECT_EQ(offsets[2], 0x1234);
    EXPECT_EQ(offsets[3], 0x8000);

    const uint16_t addresses[8] = {};
    const uint16_t values[8] = {};
    uint16_t ret[8] = {};
    answer(msg::kCalDevGsmBBCRegister, [](const sim::Request&) {
        Bytes body;
        for (uint8_t k = 0; k < 8; ++k) body.insert(body.end(), {k, static_cast<uint8_t>(0xA0 + k)});
        return body;
    });
    EXPECT_EQ(EBDRPCCalDevGsmBBCRegister(handle, 0, addresses, values, ret), kRpcOk);
    for (uint16_t k = 0; k < 8; ++k) EXPECT_EQ(ret[k], ((0xA0 + k) << 8) | k);
}

TEST_F(ServiceRpc, AConfirmCutBeforeItsLastOffsetGivesFiveAndNoOffsets) {
    // Two of the four offsets: the other two would be zeros the module never sent.
    answer(msg::kCalDevGsmDcOffset, [](const sim::Request&) { return Bytes{0x07, 0x00, 0x08, 0x00}; });
    uint16_t offsets[4] = {0xEEEE, 0xEEEE, 0xEEEE, 0xEEEE};
    EXPECT_EQ(EBDRPCCalDevGsmDcOffset(handle, 0, offsets), kRpcStatusFailed);
    for (uint16_t v : offsets) EXPECT_EQ(v, 0xEEEE);
    EXPECT_TRUE(has("(RPC ) EBDRPCCalDevGsmDcOffset: confirm has 6 bytes, 10 needed")) << dump();
}

TEST_F(ServiceRpc, AFailedCallLeavesItsOrdinaryOutputsAlone) {
    uint16_t offsets[4] = {0xEEEE, 0xEEEE, 0xEEEE, 0xEEEE};
    module().foreignReference(msg::kCalDevGsmDcOffset, 1);
    EXPECT_EQ(EBDRPCCalDevGsmDcOffset(handle, 0, offsets), kRpcBadReference);
    for (uint16_t v : offsets) EXPECT_EQ(v, 0xEEEE);

    uint16_t ret[8];
    std::fill(std::begin(ret), std::end(ret), 0xEEEE);
    const uint16_t addresses[8] = {};
    module().withholdConfirm(msg::kCalDevGsmBBCRegister, 1);
    EXPECT_EQ(EBDRPCCalDevGsmBBCRegister(handle, 0xAAAA, addresses, addresses, ret), kRpcNoConfirm);
    for (uint16_t v : ret) EXPECT_EQ(v, 0xEEEE);
}

// ---- Status checks -------------------------------------------------------------

TEST_F(ServiceRpc, AFailingStatusFieldGivesFiveAndKeepsTheOutputs) {
    uint16_t word = 0xEEEE;
    module().firmware().refuse(msg::kCalDevGsmGainProgram, 3);
    EXPECT_EQ(EBDRPCCalDevGsmGainProgram(handle, 0, 0, 0, 1, &word), kRpcStatusFailed);
    EXPECT_EQ(word, 0xEEEE);

    // Loopback reports success as 1: any other value fails.
    module().firmware().refuse(msg::kCalDevGsmLoopBack, 2);
    EXPECT_EQ(EBDRPCCalDevGsmLoopBack(handle, 0, 1, 2, 3, 4, 5), kRpcStatusFailed);
    answer(msg::kCalDevGsmLoopBack, [](const sim::Request&) { return Bytes{0x00, 0x00}; });
    EXPECT_EQ(EBDRPCCalDevGsmLoopBack(handle, 0, 1, 2, 3, 4, 5), kRpcStatusFailed);

    int16_t timing = 0x1EE, freq = 0x1EE, rssi = 0x1EE;
    uint16_t errors = 0xEEEE, soft = 0xEEEE;
    module().firmware().refuse(msg::kCalDevGsmLoopBackData, 7);
    EXPECT_EQ(EBDRPCCalDevGsmLoopBackData(handle, &timing, &freq, &errors, &soft, &rssi), kRpcStatusFailed);
    EXPECT_EQ(timing, 0x1EE);
    EXPECT_EQ(errors, 0xEEEE);
    module().firmware().refuse(msg::kCalDevGsmLoopBackData, 0);
    EXPECT_EQ(EBDRPCCalDevGsmLoopBackData(handle, &timing, &freq, &errors, &soft, &rssi), kRpcOk);
    EXPECT_EQ(timing, 3);
    EXPECT_EQ(freq, -25);
    EXPECT_EQ(errors, 7);
    EXPECT_EQ(soft, 1234);
    EXPECT_EQ(rssi, -1040);

    module().firmware().refuse(msg::kCalDevGsmConstTx, 1);
    EXPECT_EQ(EBDRPCCalDevGsmConstTx(handle, 0, 0, 0, 0), kRpcStatusFailed);

    // The flash serial number's status is a plain failure, not an identity code.
    uint8_t serial[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    module().firmware().refuse(msg::kFlashSerialNumberRead, 0xFF);
    EXPECT_EQ(EBDRPCFlashSerialNumberRead(handle, serial), kRpcStatusFailed);
    EXPECT_EQ(serial[0], 0xEE);
    module().firmware().refuse(msg::kFlashSerialNumberRead, 0);
    EXPECT_EQ(EBDRPCFlashSerialNumberRead(handle, serial), kRpcOk);
    EXPECT_EQ(sim::get32le(Bytes(serial, serial + 4), 0), 0x12345678u);
}

TEST_F(ServiceRpc, TheFrequencyBurstStatusIsHandedOutNotJudged) {
    module().firmware().refuse(msg::kCalDevGsmFreqOffsetMeas, 9);
    uint8_t status = 0;
    int16_t offset = 0;
    EXPECT_EQ(EBDRPCCalDevGsmFreqOffsetMeas(handle, 1, 0x0800, &status, &offset), kRpcOk);
    EXPECT_EQ(status, 9);
}

// ---- Identity calls: 700 + s and preset outputs ----------------------------------

struct IdentitySample {
    const char* name;
    uint16_t requestId;
    Call call;
};

TEST_F(ServiceRpc, IdentityCallsReturnSevenHundredPlusTheSignedStatus) {
    static uint8_t area[17];
    static uint16_t word;
    static uint8_t mode;
    static const uint8_t imei[8] = {};
    static const uint8_t block[64] = {};
    const std::vector<IdentitySample> samples = {
        {"GetSingleIE", 73, [](uint32_t h) { return EBDRPCGetSingleIE(h, &word); }},
        {"ResetIMEIMode", 75, [](uint32_t h) { return EBDRPCResetIMEIMode(h, &mode); }},
        {"ReadSerialNumber", 77, [](uint32_t h) { return EBDRPCReadSerialNumber(h, area); }},
        {"ReadIMEI", 79, [](uint32_t h) { return EBDRPCReadIMEI(h, area); }},
        {"InitIMEI", 81, [](uint32_t h) { return EBDRPCInitIMEI(h); }},
        {"FreezeIMEI", 83, [](uint32_t h) { return EBDRPCFreezeIMEI(h, imei); }},
        {"SetSecurityMode", 85, [](uint32_t h) { return EBDRPCSetSecurityMode(h, &word, 0); }},
        {"SendResponse", 89, [](uint32_t h) { return EBDRPCSendResponse(h, block); }},
        {"GetMobileInfo", 91, [](uint32_t h) { return EBDRPCGetMobileInfo(h, area); }},
    };
    for (const IdentitySample& sample : samples) {
        SCOPED_TRACE(sample.name);
        module().firmware().refuse(sample.requestId, 1);
        EXPECT_EQ(sample.call(handle), 701);
        module().firmware().refuse(sample.requestId, 0xFF);
        EXPECT_EQ(sample.call(handle), 699);
        module().firmware().refuse(sample.requestId, 0x80);
        EXPECT_EQ(sample.call(handle), 572);
        module().firmware().refuse(sample.requestId, 0x7F);
        EXPECT_EQ(sample.call(handle), 827);
        module().firmware().refuse(sample.requestId, 0);
        EXPECT_EQ(sample.call(handle), kRpcOk);
    }
}

TEST_F(ServiceRpc, PresetAreasAreFilledOnceTheRequestIsOut) {
    struct AreaCall {
        const char* name;
        uint16_t requestId;
        size_t size;
        std::function<uint16_t(uint32_t, uint8_t*)> call;
        bool hasStatus;
    };
    const std::vector<AreaCall> calls = {
        {"ReadSerialNumber", 77, 8, EBDRPCReadSerialNumber, true},
        {"ReadIMEI", 79, 8, EBDRPCReadIMEI, true},
        {"GetMobileInfo", 91, 17, EBDRPCGetMobileInfo, true},
        {"RequestChallenge", 87, 8, EBDRPCRequestChallenge, false},
    };
    for (const AreaCall& c : calls) {
        SCOPED_TRACE(c.name);
        std::array<uint8_t, 20> area;
        const auto filled = [&](uint8_t value) {
            for (size_t k = 0; k < c.size; ++k)
                if (area[k] != value) return false;
            return area[c.size] == 0xEE;  // nothing written behind the area
        };
        // Not sent: untouched.
        area.fill(0xEE);
        sim.failWrites("COM1", true);
        EXPECT_EQ(c.call(handle, area.data()), kRpcNotSent);
        sim.failWrites("COM1", false);
        EXPECT_TRUE(filled(0xEE));
        // Sent, then no confirm or a foreign one: preset.
        module().withholdConfirm(c.requestId, 1);
        EXPECT_EQ(c.call(handle, area.data()), kRpcNoConfirm);
        EXPECT_TRUE(filled(0xFF));
        area.fill(0xEE);
        module().foreignReference(c.requestId, 1);
        EXPECT_EQ(c.call(handle, area.data()), kRpcBadReference);
        EXPECT_TRUE(filled(0xFF));
        if (c.hasStatus) {
            area.fill(0xEE);
            module().firmware().refuse(c.requestId, 0xFF);
            EXPECT_EQ(c.call(handle, area.data()), 699);
            EXPECT_TRUE(filled(0xFF));
            module().firmware().refuse(c.requestId, 0);
        }
        // Success: the module's bytes.
        area.fill(0xEE);
        EXPECT_EQ(c.call(handle, area.data()), kRpcOk);
        EXPECT_FALSE(filled(0xFF));
        EXPECT_EQ(area[c.size], 0xEE);
    }
}

TEST_F(ServiceRpc, ReadIMEIDeliversTheFrozenIMEI) {
    const uint8_t imei[8] = {0x35, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x07};
    ASSERT_EQ(EBDRPCFreezeIMEI(handle, imei), kRpcOk);
    uint8_t read[8] = {};
    ASSERT_EQ(EBDRPCReadIMEI(handle, read), kRpcOk);
    EXPECT_EQ(Bytes(read, read + 8), Bytes(imei, imei + 8));
}

TEST_F(ServiceRpc, TheSingleIEIsPresetToAllOnes) {
    uint16_t ie = 0x0042;
    module().withholdConfirm(msg::kGetSingleIE, 1);
    EXPECT_EQ(EBDRPCGetSingleIE(handle, &ie), kRpcNoConfirm);
    EXPECT_EQ(ie, 0xFFFF);
    ie = 0x0042;
    module().firmware().refuse(msg::kGetSingleIE, 2);
    EXPECT_EQ(EBDRPCGetSingleIE(handle, &ie), 702);
    EXPECT_EQ(ie, 0xFFFF);
    module().firmware().refuse(msg::kGetSingleIE, 0);
    ie = 0x0042;
    sim.failWrites("COM1", true);
    EXPECT_EQ(EBDRPCGetSingleIE(handle, &ie), kRpcNotSent);
    EXPECT_EQ(ie, 0x0042);
    sim.failWrites("COM1", false);
    // The firmware answers code ^ 0xA5A5.
    EXPECT_EQ(EBDRPCGetSingleIE(handle, &ie), kRpcOk);
    EXPECT_EQ(ie, 0x0042 ^ 0xA5A5);
}

TEST_F(ServiceRpc, TheModeOutputsAreWrittenBeforeTheStatusCheck) {
    answer(msg::kResetIMEIMode, [](const sim::Request&) { return Bytes{0x05, 0x00, 0xFE, 0x00}; });
    uint8_t mode = 1;
    EXPECT_EQ(EBDRPCResetIMEIMode(handle, &mode), 698);
    EXPECT_EQ(mode, 5);
    mode = 1;
    module().foreignReference(msg::kResetIMEIMode, 1);
    EXPECT_EQ(EBDRPCResetIMEIMode(handle, &mode), kRpcBadReference);
    EXPECT_EQ(mode, 0xFF) << "preset, the confirm was not taken";

    answer(msg::kSetSecurityMode, [](const sim::Request&) { return Bytes{0x34, 0x12, 0x03, 0x00}; });
    uint16_t securityMode = 7;
    EXPECT_EQ(EBDRPCSetSecurityMode(handle, &securityMode, 1), 703);
    EXPECT_EQ(securityMode, 0x1234);
    securityMode = 7;
    module().foreignReference(msg::kSetSecurityMode, 1);
    EXPECT_EQ(EBDRPCSetSecurityMode(handle, &securityMode, 1), kRpcBadReference);
    EXPECT_EQ(securityMode, 7) << "not preset";
}

// ---- Variable length: the gain-code table ------------------------------------------

TEST_F(ServiceRpc, TheGainCodeTableArrivesInAnAreaSizedFromTheCapacity) {
    uint16_t codes[16] = {};
    uint16_t count = 0;
    ASSERT_EQ(EBDRPCGetGainCodeTable(handle, 2, 3, codes, 16, &count), kRpcOk);
    // At most 2 x 16 + 8 bytes are read.
    EXPECT_TRUE(has("(NOMI) EBDReceiveFromTarget: expected cmd 0x60, dataLength 40")) << dump();
    EXPECT_EQ(count, 5);
    for (uint16_t k = 0; k < 5; ++k) EXPECT_EQ(codes[k], (2 << 12) + (3 << 4) + k);
    EXPECT_EQ(codes[5], 0);
}

TEST_F(ServiceRpc, AGainCodeCountAboveTheCapacityIsCut) {
    answer(msg::kGetGainCodeTable, [](const sim::Request&) {
        sim::PayloadWriter w;
        w.put16le(1).put16le(20);
        for (uint16_t k = 0; k < 20; ++k) w.put16le(static_cast<uint16_t>(0x100 + k));
        return w.take();
    });
    std::array<uint16_t, 18> codes;
    codes.fill(0xEEEE);
    uint16_t count = 0;
    ASSERT_EQ(EBDRPCGetGainCodeTable(handle, 0, 0, codes.data(), 16, &count), kRpcOk);
    EXPECT_EQ(count, 16);
    for (uint16_t k = 0; k < 16; ++k) EXPECT_EQ(codes[k], 0x100 + k);
    EXPECT_EQ(codes[16], 0xEEEE);

    // A smaller capacity reads less and delivers less.
    codes.fill(0xEEEE);
    ASSERT_EQ(EBDRPCGetGainCodeTable(handle, 0, 0, codes.data(), 3, &count), kRpcOk);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(codes[2], 0x102);
    EXPECT_EQ(codes[3], 0xEEEE);
    EXPECT_TRUE(has("(NOMI) EBDReceiveFromTarget: expected cmd 0x60, dataLength 14"));
}

TEST_F(ServiceRpc, AGainCodeConfirmNeedsEveryCodeItHandsOut) {
    // The count says 4, the confirm carries 2 codes.
    answer(msg::kGetGainCodeTable,
           [](const sim::Request&) { return Bytes{1, 0, 4, 0, 0x11, 0x11, 0x22, 0x22}; });
    uint16_t codes[4] = {0xEEEE, 0xEEEE, 0xEEEE, 0xEEEE};
    uint16_t count = 0xEEEE;
    EXPECT_EQ(EBDRPCGetGainCodeTable(handle, 0, 0, codes, 4, &count), kRpcStatusFailed);
    EXPECT_EQ(count, 0xEEEE);
    for (uint16_t v : codes) EXPECT_EQ(v, 0xEEEE);
    EXPECT_TRUE(has("(RPC ) EBDRPCGetGainCodeTable: confirm has 10 bytes, 14 needed")) << dump();
    // A capacity of 2 hands out only the two codes that are there.
    lines.clear();
    ASSERT_EQ(EBDRPCGetGainCodeTable(handle, 0, 0, codes, 2, &count), kRpcOk);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(codes[1], 0x2222);
    EXPECT_EQ(codes[2], 0xEEEE);
}

TEST_F(ServiceRpc, TheGainCodeTableFailsOnStatusAndOnMemory) {
    uint16_t codes[16];
    std::fill(std::begin(codes), std::end(codes), 0xEEEE);
    uint16_t count = 0xEEEE;
    // Success is 1; the firmware reports the refusal instead.
    module().firmware().refuse(msg::kGetGainCodeTable, 3);
    EXPECT_EQ(EBDRPCGetGainCodeTable(handle, 0, 0, codes, 16, &count), kRpcStatusFailed);
    answer(msg::kGetGainCodeTable, [](const sim::Request&) { return Bytes{0, 0, 1, 0, 5, 0}; });
    EXPECT_EQ(EBDRPCGetGainCodeTable(handle, 0, 0, codes, 16, &count), kRpcStatusFailed);
    EXPECT_EQ(count, 0xEEEE);
    EXPECT_EQ(codes[0], 0xEEEE);

    // No memory for the confirm area: 9, after the request went out.
    module().clearRecords();
    rpc::FailAllocations(1);
    EXPECT_EQ(EBDRPCGetGainCodeTable(handle, 0, 0, codes, 16, &count), kRpcNoMemory);
    EXPECT_EQ(requestIds(), (std::vector<uint16_t>{95}));
    EXPECT_EQ(count, 0xEEEE);
}

TEST_F(ServiceRpc, TheLargestCapacityIsReadUpToTheReceiveArea) {
    std::vector<uint16_t> codes(0xFFFF, 0xEEEE);
    uint16_t count = 0;
    ASSERT_EQ(EBDRPCGetGainCodeTable(handle, 1, 1, codes.data(), 0xFFFF, &count), kRpcOk);
    EXPECT_EQ(count, 5);
    EXPECT_EQ(codes[5], 0xEEEE);
}

// ---- The RSSI measurement passes over foreign confirms ------------------------------

class RssiForeign : public ServiceRpc {
protected:
    // The module answers `foreign` confirms with other references before the
    // right one; each foreign one differs, so none is dropped as a repeat.
    void foreignConfirms(int foreign, bool thenRight = true, uint16_t channelDelta = 0) {
        module().firmware().setHandler(
            msg::kCalDevGsmRssi, [=](const sim::Request& r, sim::Firmware::Outcome& out) {
                const uint16_t ref = sim::get16le(r.data, 0);
                const uint16_t channel = static_cast<uint16_t>(sim::get16le(r.data, 2) + channelDelta);
                for (int k = 0; k <= foreign; ++k) {
                    if (k == foreign && !thenRight) break;
                    const uint16_t sentRef = k < foreign ? static_cast<uint16_t>(ref + 1 + k) : ref;
                    const int16_t rssi = static_cast<int16_t>(-1000 - k);
                    out.messages.push_back({msg::ConfirmOf(msg::kCalDevGsmRssi),
                                            sim::PayloadWriter{}
                                                .put16le(sentRef)
                                                .put16le(channel)
                                                .put16le(static_cast<uint16_t>(rssi))
                                                .take(),
                                            static_cast<uint64_t>(2 + k) * kMs});
                }
            });
    }
    static constexpr const char* kRetry =
        "(RPC ) EBDRPCCalDevGsmRssi: invalid reference received, try again...";
};

TEST_F(RssiForeign, ForeignConfirmsArePassedOverWithARetryLineEach) {
    foreignConfirms(3);
    int16_t rssi = 0;
    EXPECT_EQ(EBDRPCCalDevGsmRssi(handle, 60, 10, 0, &rssi), kRpcOk) << dump();
    EXPECT_EQ(count(kRetry), 3);
    EXPECT_EQ(rssi, -1003);
}

TEST_F(RssiForeign, SixteenForeignConfirmsAreTheMost) {
    foreignConfirms(kMaxForeignRssiConfirms);
    int16_t rssi = 0;
    EXPECT_EQ(EBDRPCCalDevGsmRssi(handle, 60, 10, 0, &rssi), kRpcOk) << dump();
    EXPECT_EQ(count(kRetry), 16);
    EXPECT_EQ(rssi, -1016);

    lines.clear();
    foreignConfirms(kMaxForeignRssiConfirms + 1);
    rssi = 0x111;
    EXPECT_EQ(EBDRPCCalDevGsmRssi(handle, 60, 10, 0, &rssi), kRpcBadReference);
    EXPECT_EQ(count(kRetry), 16);
    EXPECT_EQ(rssi, 0x111);
}

TEST_F(RssiForeign, AForeignConfirmWithNothingBehindItEndsInNoConfirm) {
    foreignConfirms(1, false);
    int16_t rssi = 0x111;
    EXPECT_EQ(EBDRPCCalDevGsmRssi(handle, 60, 10, 0, &rssi), kRpcNoConfirm);
    EXPECT_EQ(count(kRetry), 1);
    EXPECT_EQ(rssi, 0x111);
}

TEST_F(RssiForeign, AnotherChannelInTheConfirmGivesFive) {
    foreignConfirms(0, true, 1);
    int16_t rssi = 0x111;
    EXPECT_EQ(EBDRPCCalDevGsmRssi(handle, 60, 10, 0, &rssi), kRpcStatusFailed);
    EXPECT_EQ(rssi, 0x111);
    // The firmware's refusal moves the echoed channel too.
    sim::InstallServiceHandlers(module().firmware());
    module().firmware().refuse(msg::kCalDevGsmRssi, 4);
    EXPECT_EQ(EBDRPCCalDevGsmRssi(handle, 60, 10, 0, &rssi), kRpcStatusFailed);
    EXPECT_EQ(count(kRetry), 0);
}

}  // namespace
}  // namespace ebd::test
