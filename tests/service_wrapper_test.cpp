// The public radio test, measurement, identity and security operations against
// the module double: their trace lines, the requests they send, their last
// errors, and the members that do more than forward one remote call.
#include <array>
#include <functional>
#include <numeric>
#include <string>

#include "lib/ebd.h"
#include "lib/port_state.h"
#include "module_fixture.h"
#include "rpc/ebdmsg.h"
#include "rpc/ebdnomi.h"
#include "rpc/ebdrpc.h"
#include "sim/module_double.h"
#include "sim/payload.h"

namespace ebd::test {
namespace {

using Bytes = std::vector<uint8_t>;
using Lines = std::vector<std::string>;
using sim::ModuleDouble;

class Service : public ModuleFixture {
protected:
    // A request's bytes behind its reference.
    Bytes payload(size_t index) const {
        const Bytes& data = double_->requests().at(index).data;
        return Bytes(data.begin() + 2, data.end());
    }
    // The operations' own lines: those of the layers below and the rows of
    // hex dumps left out.
    Lines ebdLines() const {
        Lines own;
        for (const auto& line : lines)
            if (line.rfind("(EBD ) W", 0) == 0 || line.rfind("(EBD ) EBDRPC", 0) == 0) own.push_back(line);
        return own;
    }
    uint16_t lastError() const { return PortOf(handle).lastError; }
};

// ---- The common shape, member by member ----------------------------------------

// One member with fixed arguments: its request, the lines of its success and
// the line of its failure.
struct Member {
    const char* name;
    std::function<int32_t(uint32_t)> call;
    uint16_t requestId;
    Bytes payload;
    Lines success;
    std::string failure;
};

std::vector<Member> Members() {
    static int16_t s16[5];
    static uint16_t u16[8];
    static uint8_t area[64];
    static uint32_t dword;
    static const uint8_t imei[8] = {0x35, 1, 2, 3, 4, 5, 6, 0x70};
    static uint8_t block[64];
    std::iota(block, block + 64, 0x40);
    static const uint16_t addresses[8] = {10, 1};
    static const uint16_t values[8] = {0, 0x0300};
    return {
        {"WSetAFC",
         [](uint32_t h) { return WSetAFC(h, 0x0123); },
         11,
         {0x23, 0x01},
         {"(EBD ) WSetAFC(value=0x0123)", "(EBD ) WSetAFC: call EBDRPCCalDevGsmSetAfcDac()...",
          "(EBD ) WSetAFC: O.K."},
         "(EBD ) WSetAFC: EBDRPCCalDevGsmSetAfcDac fails with error 2"},
        {"WSetAFCAndMeasure",
         [](uint32_t h) { return WSetAFCAndMeasure(h, 62, 0x0900, s16); },
         13,
         {0x3E, 0x00, 0x00, 0x09},
         {"(EBD ) WSetAFCAndMeasure(arfcn=62, value=0x0900, pFrequencyOffset)",
          "(EBD ) WSetAFCAndMeasure: call EBDRPCCalDevGsmFreqOffsetMeas()...",
          "(EBD ) WSetAFCAndMeasure: rets freqBurstStatus 1",
          "(EBD ) WSetAFCAndMeasure: rets *pFrequencyOffset 64", "(EBD ) WSetAFCAndMeasure: O.K."},
         "(EBD ) WSetAFCAndMeasure: EBDRPCCalDevGsmFreqOffsetMeas fails with error 2"},
        {"WSetGainProgramWord",
         [](uint32_t h) { return WSetGainProgramWord(h, 0x1234, 1, 3); },
         15,
         {0x34, 0x12, 0x03, 0x01, 0x00, 0x00},
         {"(EBD ) WSetGainProgramWord(gainProgramWord=0x1234, gainIndex=3, band=1)",
          "(EBD ) WSetGainProgramWord: call EBDRPCCalDevGsmGainProgram()...",
          "(EBD ) WSetGainProgramWord: O.K."},
         "(EBD ) WSetGainProgramWord: EBDRPCCalDevGsmGainProgram fails with error 2"},
        {"WGetGainProgramWord",
         [](uint32_t h) { return WGetGainProgramWord(h, 3, 1, u16); },
         15,
         {0x00, 0x00, 0x03, 0x01, 0x01, 0x00},
         {"(EBD ) WGetGainProgramWord(gainIndex=3, band=1, pGainProgramWord)",
          "(EBD ) WGetGainProgramWord: call EBDRPCCalDevGsmGainProgram()...",
          "(EBD ) WGetGainProgramWord: rets *pGainProgramWord 0x1234", "(EBD ) WGetGainProgramWord: O.K."},
         "(EBD ) WGetGainProgramWord: EBDRPCCalDevGsmGainProgram fails with error 2"},
        {"WSetAccurateValue",
         [](uint32_t h) { return WSetAccurateValue(h, 0x0456, 0, 2); },
         15,
         {0x56, 0x04, 0x02, 0x00, 0x02, 0x00},
         {"(EBD ) WSetAccurateValue(accurateValue=0x0456, gainIndex=2, band=0)",
          "(EBD ) WSetAccurateValue: call EBDRPCCalDevGsmGainProgram()...", "(EBD ) WSetAccurateValue: O.K."},
         "(EBD ) WSetAccurateValue: EBDRPCCalDevGsmGainProgram with error 2"},
        {"WGetPowerValue",
         [](uint32_t h) { return WGetPowerValue(h, 60, 10, 1, s16); },
         17,
         {0x3C, 0x00, 0x0A, 0x00, 0x00, 0x00},
         {"(EBD ) WGetPowerValue(channel=60, gain=10, applyAGCTabValue=TRUE, pRssiIn16thdB)",
          "(EBD ) WGetPowerValue: applyAGCTabValue TRUE -> measurement mode 0",
          "(EBD ) WGetPowerValue: call EBDRPCCalDevGsmRssi()...",
          "(EBD ) WGetPowerValue: rets *pRssiIn16thdB -1888", "(EBD ) WGetPowerValue: O.K."},
         "(EBD ) WGetPowerValue: EBDRPCCalDevGsmRssi fails with error 2"},
        {"WGetUsedIQOffsetValues",
         [](uint32_t h) { return WGetUsedIQOffsetValues(h, 0, u16); },
         19,
         {0x00, 0x00},
         {"(EBD ) WGetUsedIQOffsetValues(measure=FALSE, pIQOffsets)",
          "(EBD ) WGetUsedIQOffsetValues: call EBDRPCCalDevGsmDcOffset()...",
          "(EBD ) WGetUsedIQOffsetValues: rets rxIOffset 2",
          "(EBD ) WGetUsedIQOffsetValues: rets rxQOffset 65533",
          "(EBD ) WGetUsedIQOffsetValues: rets txIOffset 5",
          "(EBD ) WGetUsedIQOffsetValues: rets txQOffset 65529", "(EBD ) WGetUsedIQOffsetValues: O.K."},
         "(EBD ) WGetUsedIQOffsetValues: EBDRPCCalDevGsmDcOffset fails with error 2"},
        {"WRadioPowerOn",
         [](uint32_t h) { return WRadioPowerOn(h); },
         31,
         {0, 0, 0, 0, 0, 0},
         {"(EBD ) WRadioPowerOn()", "(EBD ) WRadioPowerOn: call EBDRPCCalDevGsmRxControl()...",
          "(EBD ) WRadioPowerOn: O.K."},
         "(EBD ) WRadioPowerOn: EBDRPCCalDevGsmRxControl fails with error 2"},
        {"WRadioPowerDown",
         [](uint32_t h) { return WRadioPowerDown(h); },
         31,
         {0, 1, 0, 0, 0, 0},
         {"(EBD ) WRadioPowerDown()", "(EBD ) WRadioPowerDown: call EBDRPCCalDevGsmRxControl()...",
          "(EBD ) WRadioPowerDown: O.K."},
         "(EBD ) WRadioPowerDown: EBDRPCCalDevGsmRxControl fails with error 2"},
        {"WRadioReceiverOn",
         [](uint32_t h) { return WRadioReceiverOn(h, 0x01020304); },
         31,
         {0, 2, 4, 3, 2, 1},
         {"(EBD ) WRadioReceiverOn(parameter=0x01020304)",
          "(EBD ) WRadioReceiverOn: call EBDRPCCalDevGsmRxControl()...", "(EBD ) WRadioReceiverOn: O.K."},
         "(EBD ) WRadioReceiverOn: EBDRPCCalDevGsmRxControl fails with error 2"},
        {"WRadioReceiverOff",
         [](uint32_t h) { return WRadioReceiverOff(h, 0xA0B0C0D0); },
         31,
         {0, 3, 0xD0, 0xC0, 0xB0, 0xA0},
         {"(EBD ) WRadioReceiverOff(parameter=0xa0b0c0d0)",
          "(EBD ) WRadioReceiverOff: call EBDRPCCalDevGsmRxControl()...", "(EBD ) WRadioReceiverOff: O.K."},
         "(EBD ) WRadioReceiverOff: EBDRPCCalDevGsmRxControl fails with error 2"},
        {"WRadioSendTelegram",
         [](uint32_t h) { return WRadioSendTelegram(h, 0x11223344); },
         31,
         {0, 4, 0x44, 0x33, 0x22, 0x11},
         {"(EBD ) WRadioSendTelegram(telegram=0x11223344)",
          "(EBD ) WRadioSendTelegram: call EBDRPCCalDevGsmRxControl()...", "(EBD ) WRadioSendTelegram: O.K."},
         "(EBD ) WGPCall: call EBDRPCCalDevGsmRxControl fails with error 2"},
        {"WRadioSetInitTelegram",
         [](uint32_t h) { return WRadioSetInitTelegram(h, 0x55667788, 4); },
         31,
         {4, 5, 0x88, 0x77, 0x66, 0x55},
         {"(EBD ) WRadioSetInitTelegram(telegram=0x55667788, index=4)",
          "(EBD ) WRadioSetInitTelegram: call EBDRPCCalDevGsmRxControl()...",
          "(EBD ) WRadioSetInitTelegram: O.K."},
         "(EBD ) WRadioSetInitTelegram: EBDRPCCalDevGsmRxControl fails with error 2"},
        {"WStartLoopback",
         [](uint32_t h) { return WStartLoopback(h, 20, 40, 2, 5, 7); },
         33,
         {0, 0, 20, 0, 40, 0, 2, 5, 7, 0},
         {"(EBD ) WStartLoopback(bch=20, tch=40, timeSlot=2, tsc=5, powerLevel=7)",
          "(EBD ) WStartLoopback: call EBDRPCCalDevGsmLoopBack(Start)...", "(EBD ) WStartLoopback: O.K."},
         "(EBD ) WStartLoopback: EBDRPCCalDevGsmLoopBack fails with error 2"},
        {"WChangeLoopback",
         [](uint32_t h) { return WChangeLoopback(h, 41, 3, 6, 8); },
         33,
         {1, 0, 0, 0, 41, 0, 3, 6, 8, 0},
         {"(EBD ) WChangeLoopback(tch=41, timeSlot=3, tsc=6, powerLevel=8)",
          "(EBD ) WChangeLoopback: call EBDRPCCalDevGsmLoopBack(Change)...", "(EBD ) WChangeLoopback: O.K."},
         "(EBD ) WChangeLoopback: EBDRPCCalDevGsmLoopBack fails with error 2"},
        {"WStopLoopback",
         [](uint32_t h) { return WStopLoopback(h); },
         33,
         {2, 0, 0, 0, 0, 0, 0, 0, 0, 0},
         {"(EBD ) WStopLoopback()", "(EBD ) WStopLoopback: call EBDRPCCalDevGsmLoopBack(Stop)...",
          "(EBD ) WStopLoopback: O.K."},
         "(EBD ) WStopLoopback: EBDRPCCalDevGsmLoopBack fails with error 2"},
        {"WGetLoopbackData",
         [](uint32_t h) { return WGetLoopbackData(h, &s16[0], &s16[1], &u16[0], &u16[1], &s16[2]); },
         35,
         {},
         {"(EBD ) WGetLoopbackData(pTimingOffsetQbits, pFreqOffsetHz, pBitErrors, pSoftDecisionTotal, pRssi)",
          "(EBD ) WGetLoopbackData: call EBDRPCCalDevGsmLoopBackData()...",
          "(EBD ) WGetLoopbackData: rets *pTimingOffsetQbits 3",
          "(EBD ) WGetLoopbackData: rets *pFreqOffsetHz -25", "(EBD ) WGetLoopbackData: rets *pBitErrors 7",
          "(EBD ) WGetLoopbackData: rets *pSoftDecisionTotal 1234",
          "(EBD ) WGetLoopbackData: rets *pRssi -1040", "(EBD ) WGetLoopbackData: O.K."},
         "(EBD ) WGetLoopbackData: EBDRPCCalDevGsmLoopBackData fails with error 2"},
        {"WSetAMLoopOffset",
         [](uint32_t h) { return WSetAMLoopOffset(h, 0, 100, 0x20, 0x0155, 0x100); },
         45,
         {100, 0, 0x20, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x55, 0x01, 0, 0},
         {"(EBD ) WSetAMLoopOffset(mode=0, channel=100, aMLoopOffset=0x20)",
          "(EBD ) WSetAMLoopOffset: call EBDRPCCalDevGsmConstTx()...", "(EBD ) WSetAMLoopOffset: O.K."},
         "(EBD ) WSetAMLoopOffset: EBDRPCCalDevGsmConstTx fails with error 2"},
        {"WBBCRegister",
         [](uint32_t h) { return WBBCRegister(h, 0x6, addresses, values, u16); },
         47,
         {0x06, 0x00, 10, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
          0,    0,    0,  0, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
         {"(EBD ) WBBCRegister(readWriteMask=0x6)", "(EBD ) WBBCRegister: address ->",
          "(EBD ) WBBCRegister: value ->", "(EBD ) WBBCRegister: call EBDRPCCalDevGsmBBCRegister()...",
          "(EBD ) WBBCRegister: rets *retValues ->", "(EBD ) WBBCRegister: O.K."},
         "(EBD ) WBBCRegister: EBDRPCCalDevGsmBBCRegister fails with error 2"},
        {"WSetPrechargeValue",
         [](uint32_t h) { return WSetPrechargeValue(h, 0x0ABC); },
         97,
         {0xBC, 0x0A},
         {"(EBD ) WSetPrechargeValue(value=0x0abc)",
          "(EBD ) WSetPrechargeValue: call EBDRPCSetPrechargeValue()...", "(EBD ) WSetPrechargeValue: O.K."},
         "(EBD ) WSetPrechargeValue: EBDRPCSetPrechargeValue fails with error 2"},
        {"WInitGainCodeTemplates",
         [](uint32_t h) { return WInitGainCodeTemplates(h, 1, 2); },
         95,
         {0x10, 0x00, 0x01, 0x02},
         {"(EBD ) WInitGainCodeTemplates(gainIndex=2, band=1)",
          "(EBD ) WInitGainCodeTemplates call EBDRPCGetGainCodeTable()...",
          "(EBD ) WInitGainCodeTemplates: successfully received 5 gainCodes",
          "(EBD ) WInitGainCodeTemplates: O.K."},
         "(EBD ) WInitGainCodeTemplates: EBDRPCGetGainCodeTemplate fails with error 2"},
        {"WGetFlashSerialNumber",
         [](uint32_t h) { return WGetFlashSerialNumber(h, &dword, area); },
         71,
         {},
         {"(EBD ) WGetFlashSerialNumber",
          "(EBD ) WGetFlashSerialNumber: call EBDRPCFlashSerialNumberRead()...",
          "(EBD ) WGetFlashSerialNumber successfull"},
         "(EBD ) EBDRPCFlashSerialNumberRead failed with error 2"},
        {"WGetSingleIE",
         [](uint32_t h) {
             u16[0] = 0x0042;
             return WGetSingleIE(h, u16);
         },
         73,
         {0x42, 0x00},
         {"(EBD ) WGetSingleIE(IeCode=0x0042)", "(EBD ) WGetSingleIE: call EBDRPCGetSingleIE()...",
          "(EBD ) WGetSingleIE: EBDRPCGetSingleIE returns IeValue=0xa5e7"},
         "(EBD ) WGetSingleIE: EBDRPCGetSingleIE fails with error 2"},
        {"WResetIMEIMode",
         [](uint32_t h) { return WResetIMEIMode(h, area); },
         75,
         {0x00, 0x00},
         {"(EBD ) WResetIMEIMode()", "(EBD ) WResetIMEIMode: call EBDRPCResetIMEIMode()...",
          "(EBD ) WResetIMEIMode: EBDRPCResetIMEIMode returns OK"},
         "(EBD ) WResetIMEIMode: EBDRPCResetIMEIMode fails with error 2"},
        {"WSetCustomerIMEIMode",
         [](uint32_t h) { return WSetCustomerIMEIMode(h, area); },
         75,
         {0x01, 0x00},
         {"(EBD ) WSetCustomerIMEIMode()", "(EBD ) WSetCustomerIMEIMode: call EBDRPCSetCustomerIMEIMode()...",
          "(EBD ) WSetCustomerIMEIMode: EBDRPCSetCustomerIMEIMode returns OK"},
         "(EBD ) WSetCustomerIMEIMode: EBDRPCSetCustomerIMEIMode fails with error 2"},
        {"WReadSerialNumber",
         [](uint32_t h) { return WReadSerialNumber(h, area); },
         77,
         {},
         {"(EBD ) WReadSerialNumber()", "(EBD ) WReadSerialNumber: call EBDRPCReadSerialNumber()...",
          "(EBD ) WReadSerialNumber: rets *serialNumber ->",
          "(EBD ) WReadSerialNumber: EBDRPCReadSerialNumber returns OK"},
         "(EBD ) WReadSerialNumber: EBDRPCReadSerialNumber fails with error 2"},
        {"WReadIMEI",
         [](uint32_t h) { return WReadIMEI(h, area); },
         79,
         {},
         {"(EBD ) WReadIMEI()", "(EBD ) WReadIMEI: call EBDRPCReadIMEI()...",
          "(EBD ) WReadIMEI: rets *imei ->", "(EBD ) WReadIMEI: EBDRPCReadIMEI returns OK"},
         "(EBD ) WReadIMEI: EBDRPCReadIMEI fails with error 2"},
        {"WInitIMEI",
         [](uint32_t h) { return WInitIMEI(h); },
         81,
         {},
         {"(EBD ) WInitIMEI()", "(EBD ) WInitIMEI: call EBDRPCInitIMEI()...",
          "(EBD ) WInitIMEI: EBDRPCInitIMEI returns OK"},
         "(EBD ) WInitIMEI: EBDRPCInitIMEI fails with error 2"},
        {"WFreezeIMEI",
         [](uint32_t h) { return WFreezeIMEI(h, imei); },
         83,
         Bytes(imei, imei + 8),
         {"(EBD ) WFreezeIMEI()", "(EBD ) WFreezeIMEI: call EBDRPCFreezeIMEI()...",
          "(EBD ) WFreezeIMEI: EBDRPCFreezeIMEI returns OK"},
         "(EBD ) WFreezeIMEI: EBDRPCFreezeIMEI fails with error 2"},
        {"WSetSecurityMode",
         [](uint32_t h) {
             u16[0] = 3;
             return WSetSecurityMode(h, u16, 0x01020304);
         },
         85,
         {0x03, 0x00, 0x04, 0x03, 0x02, 0x01},
         {"(EBD ) WSetSecurityMode(Mode=3)", "(EBD ) WSetSecurityMode: call EBDRPCSetSecurityMode()...",
          "(EBD ) WSetSecurityMode: EBDRPCSetSecurityMode returns OK"},
         "(EBD ) WSetSecurityMode: EBDRPCSetSecurityMode fails with error 2"},
        {"WRequestChallenge",
         [](uint32_t h) { return WRequestChallenge(h, area); },
         87,
         {},
         {"(EBD ) WRequestChallenge", "(EBD ) WRequestChallenge successful"},
         "(EBD ) WRequestChallenge failed with error 2"},
        {"WSendResponse",
         [](uint32_t h) { return WSendResponse(h, block); },
         89,
         Bytes(block, block + 64),
         {"(EBD ) WSendResponse", "(EBD ) WSendResponse successful"},
         "(EBD ) WSendResponse failed with error 2"},
        {"WGetMobileInformation",
         [](uint32_t h) { return WGetMobileInformation(h, area); },
         91,
         {},
         {"(EBD ) WGetMobileInformation", "(EBD ) WGetMobileInformation successful"},
         "(EBD ) EBDRPCGetMobileInfo failed with error 2"},
        {"WSetCurrentDualBandMode",
         [](uint32_t h) { return WSetCurrentDualBandMode(h, 5); },
         21,
         {0x05, 0x00},
         {"(EBD ) WSetCurrentDualBandMode(bandMode=5)",
          "(EBD ) WSetCurrentDualBandMode: call EBDRPCCalDevGsmSetBandMode...",
          "(EBD ) WSetCurrentDualBandMode: O.K."},
         "(EBD ) WSetCurrentDualBandMode: EBDRPCCalDevGsmSetBandMode fails with error 2"},
    };
}

TEST_F(Service, EachMemberSendsItsRequestAndTracesItsSuccess) {
    for (const Member& member : Members()) {
        SCOPED_TRACE(member.name);
        module().clearRecords();
        lines.clear();
        EXPECT_EQ(member.call(handle), 1) << dump();
        ASSERT_EQ(requestIds(), (std::vector<uint16_t>{member.requestId}));
        EXPECT_EQ(payload(0), member.payload);
        EXPECT_EQ(ebdLines(), member.success) << dump();
    }
    EXPECT_EQ(lastError(), 0) << "nothing failed";
}

TEST_F(Service, EachMemberStoresAndTracesAFailedCall) {
    uint16_t previous = 0;
    for (const Member& member : Members()) {
        SCOPED_TRACE(member.name);
        module().withholdConfirm(member.requestId, 1);
        lines.clear();
        EXPECT_EQ(member.call(handle), 0);
        EXPECT_EQ(lastError(), 2);
        const Lines own = ebdLines();
        ASSERT_GE(own.size(), 2u);
        EXPECT_EQ(own.front(), member.success.front());
        EXPECT_EQ(own.back(), member.failure) << dump();
        PortOf(handle).lastError = previous = static_cast<uint16_t>(previous + 1);
    }
}

TEST_F(Service, AnInvalidHandleGetsNoTraceNoRequestAndNoLastError) {
    const uint32_t wrongPattern = handle ^ 0x1;
    const uint32_t noPort = MakeHandle(0);
    const uint32_t beyondTable = MakeHandle(40);
    for (const Member& member : Members()) {
        SCOPED_TRACE(member.name);
        for (uint32_t bad : {0u, wrongPattern, noPort, beyondTable}) EXPECT_EQ(member.call(bad), 0);
    }
    uint16_t word = 0;
    EXPECT_EQ(WSetTxOffset(wrongPattern, 1, 2), 0);
    EXPECT_EQ(WGetNextGainCode(wrongPattern, &word), 0);
    EXPECT_TRUE(lines.empty()) << dump();
    EXPECT_TRUE(module().requests().empty());
    EXPECT_EQ(lastError(), 0);
}

TEST_F(Service, NullPointersFailWithoutARequest) {
    uint16_t words[8] = {};
    int16_t s16 = 0;
    uint32_t dword = 0;
    uint8_t bytes[8] = {};
    EXPECT_EQ(WSetAFCAndMeasure(handle, 1, 2, nullptr), 0);
    EXPECT_EQ(WGetGainProgramWord(handle, 0, 0, nullptr), 0);
    EXPECT_EQ(WGetPowerValue(handle, 1, 2, 1, nullptr), 0);
    EXPECT_EQ(WGetUsedIQOffsetValues(handle, 1, nullptr), 0);
    EXPECT_EQ(WGetLoopbackData(handle, &s16, &s16, words, words, nullptr), 0);
    EXPECT_EQ(WBBCRegister(handle, 0, nullptr, words, words), 0);
    EXPECT_EQ(WBBCRegister(handle, 0, words, nullptr, words), 0);
    EXPECT_EQ(WBBCRegister(handle, 0, words, words, nullptr), 0);
    EXPECT_EQ(WGetFlashSerialNumber(handle, &dword, nullptr), 0);
    EXPECT_EQ(WGetFlashSerialNumber(handle, nullptr, bytes), 0);
    EXPECT_EQ(WGetSingleIE(handle, nullptr), 0);
    EXPECT_EQ(WResetIMEIMode(handle, nullptr), 0);
    EXPECT_EQ(WSetCustomerIMEIMode(handle, nullptr), 0);
    EXPECT_EQ(WReadSerialNumber(handle, nullptr), 0);
    EXPECT_EQ(WReadIMEI(handle, nullptr), 0);
    EXPECT_EQ(WFreezeIMEI(handle, nullptr), 0);
    EXPECT_EQ(WSetSecurityMode(handle, nullptr, 0), 0);
    EXPECT_EQ(WRequestChallenge(handle, nullptr), 0);
    EXPECT_EQ(WSendResponse(handle, nullptr), 0);
    EXPECT_EQ(WGetMobileInformation(handle, nullptr), 0);
    EXPECT_EQ(WGetNextGainCode(handle, nullptr), 0);
    EXPECT_EQ(WGetGwIndexArray(handle, 0, nullptr), 0);
    EXPECT_EQ(WSendGwRssiMPoints(handle, nullptr, &s16, words, &s16), 0);
    uint8_t count = 0;
    EXPECT_EQ(WGetExitData(handle, 8, nullptr, bytes), 0);
    EXPECT_EQ(WGetExitData(handle, 8, &count, nullptr), 0);
    EXPECT_TRUE(module().requests().empty());
}

TEST_F(Service, ASuccessNeverClearsTheLastError) {
    module().firmware().refuse(msg::kCalDevGsmGainProgram, 3);
    uint16_t word = 0xEEEE;
    EXPECT_EQ(WGetGainProgramWord(handle, 0, 0, &word), 0);
    EXPECT_EQ(word, 0xEEEE);
    EXPECT_TRUE(has("(EBD ) WGetGainProgramWord: EBDRPCCalDevGsmGainProgram fails with error 5"));
    EXPECT_EQ(WSetAFC(handle, 1), 1);
    EXPECT_EQ(WGetLastError(handle), 5);
}

// ---- Band checks ----------------------------------------------------------------

TEST_F(Service, TheDualBandModePermitsOneBandOfEachGroup) {
    const std::array<std::array<bool, 4>, 5> permitted = {{
        {true, true, false, false},  // mode 0: bands 0, 1
        {true, false, true, false},  // mode 1: bands 0, 2
        {false, true, false, true},  // mode 2: bands 3, 1
        {false, false, true, true},  // mode 3: bands 3, 2
        {true, true, true, true},    // mode 7: any band
    }};
    const std::array<uint8_t, 5> modes = {0, 1, 2, 3, 7};
    for (size_t m = 0; m < modes.size(); ++m) {
        ASSERT_EQ(WSetCurrentDualBandMode(handle, modes[m]), 1);
        for (uint8_t band = 0; band < 4; ++band) {
            SCOPED_TRACE(testing::Message() << "mode " << int(modes[m]) << " band " << int(band));
            module().clearRecords();
            PortOf(handle).lastError = 0;
            uint16_t word = 0;
            const int32_t results[3] = {WSetGainProgramWord(handle, 0x10, band, 0),
                                        WGetGainProgramWord(handle, 0, band, &word),
                                        WSetAccurateValue(handle, 0x20, band, 0)};
            for (int32_t result : results) EXPECT_EQ(result, permitted[m][band] ? 1 : 0);
            EXPECT_EQ(module().requests().size(), permitted[m][band] ? 3u : 0u);
            EXPECT_EQ(lastError(), permitted[m][band] ? 0 : 12);
        }
    }
}

TEST_F(Service, AnInvalidBandIsTracedWithTheModeAndNothingIsSent) {
    ASSERT_EQ(WSetCurrentDualBandMode(handle, 2), 1);
    module().clearRecords();
    lines.clear();
    EXPECT_EQ(WSetGainProgramWord(handle, 0x10, 0, 4), 0);
    EXPECT_EQ(ebdLines(), (Lines{"(EBD ) WSetGainProgramWord(gainProgramWord=0x0010, gainIndex=4, band=0)",
                                 "(EBD ) WSetGainProgramWord: invalid band 0 (current DualBandMode 2)"}));
    uint16_t word = 0;
    EXPECT_EQ(WGetGainProgramWord(handle, 4, 2, &word), 0);
    EXPECT_TRUE(has("(EBD ) WGetGainProgramWord: invalid band 2 (current DualBandMode 2)"));
    EXPECT_EQ(WSetAccurateValue(handle, 1, 0, 4), 0);
    EXPECT_TRUE(has("(EBD ) WSetAccurateValue: invalid band 0 (current DualBandMode 2)"));
    EXPECT_TRUE(module().requests().empty());
    EXPECT_EQ(WGetLastError(handle), 12);
}

TEST_F(Service, AFailedBandModeCallLeavesTheModeAlone) {
    ASSERT_EQ(WSetCurrentDualBandMode(handle, 3), 1);
    EXPECT_EQ(LibPort(handle).dualBandMode, 3);
    module().foreignReference(msg::kCalDevGsmSetBandMode, 1);
    EXPECT_EQ(WSetCurrentDualBandMode(handle, 0), 0);
    EXPECT_EQ(lastError(), 4);
    EXPECT_EQ(LibPort(handle).dualBandMode, 3);
    // Library initialisation resets it.
    WInitLibrary();
    EXPECT_EQ(LibPort(handle).dualBandMode, 0);
}

TEST_F(Service, AGainProgramWordWrittenIsReadBack) {
    ASSERT_EQ(WSetGainProgramWord(handle, 0xBEEF, 1, 9), 1);
    uint16_t word = 0;
    ASSERT_EQ(WGetGainProgramWord(handle, 9, 1, &word), 1);
    EXPECT_EQ(word, 0xBEEF);
    ASSERT_EQ(WGetGainProgramWord(handle, 9, 0, &word), 1);
    EXPECT_EQ(word, 0) << "another band";
}

// ---- Frequency burst status, measurement mode, I/Q offsets -------------------------

TEST_F(Service, AFrequencyBurstStatusOtherThanOneOrTwoIsErrorSixteen) {
    for (const uint8_t status : std::array<uint8_t, 4>{0, 1, 2, 3}) {
        SCOPED_TRACE(int(status));
        answer(msg::kCalDevGsmFreqOffsetMeas, [status](const sim::Request&) {
            return Bytes{0x9C, 0xFF, status, 0};
        });
        PortOf(handle).lastError = 0;
        lines.clear();
        int16_t offset = 0;
        const bool found = status == 1 || status == 2;
        EXPECT_EQ(WSetAFCAndMeasure(handle, 1, 2, &offset), found ? 1 : 0);
        EXPECT_EQ(offset, -100) << "written in either case";
        EXPECT_TRUE(has("(EBD ) WSetAFCAndMeasure: rets freqBurstStatus " + std::to_string(status)));
        if (found) {
            EXPECT_TRUE(has("(EBD ) WSetAFCAndMeasure: rets *pFrequencyOffset -100"));
            EXPECT_EQ(lastError(), 0);
        } else {
            EXPECT_EQ(ebdLines().back(),
                      "(EBD ) WSetAFCAndMeasure: EBDRPCCalDevGsmFreqOffsetMeas rets status " +
                          std::to_string(status) + ", error 16");
            EXPECT_EQ(lastError(), 16);
        }
    }
}

TEST_F(Service, ThePowerMeasurementAppliesTheAgcTableInModeZero) {
    int16_t rssi = 0;
    ASSERT_EQ(WGetPowerValue(handle, 10, 5, 0, &rssi), 1);
    EXPECT_EQ(payload(0).at(4), 1);
    EXPECT_TRUE(has("(EBD ) WGetPowerValue(channel=10, gain=5, applyAGCTabValue=FALSE, pRssiIn16thdB)"));
    EXPECT_TRUE(has("(EBD ) WGetPowerValue: applyAGCTabValue FALSE -> measurement mode 1"));
    EXPECT_EQ(rssi, -1600 - 5 * 32);
    // Any non-zero truth value is true.
    ASSERT_EQ(WGetPowerValue(handle, 10, 5, 2, &rssi), 1);
    EXPECT_EQ(payload(1).at(4), 0);
    EXPECT_TRUE(has("(EBD ) WGetPowerValue: applyAGCTabValue TRUE -> measurement mode 0"));
    EXPECT_EQ(rssi, -1600 - 5 * 32 + 32);
}

TEST_F(Service, TheFirstMeasuredTxOffsetsBecomeTheAutocalibrationOffsets) {
    LibraryPort& entry = LibPort(handle);
    ASSERT_EQ(entry.autoCalIq[0], 127);
    ASSERT_EQ(entry.storedCalibrationItems & 0x40000, 0u);
    uint16_t offsets[4] = {};
    // Without measuring nothing is stored.
    ASSERT_EQ(WGetUsedIQOffsetValues(handle, 0, offsets), 1);
    EXPECT_EQ(entry.autoCalIq[0], 127);
    // The double finds Tx offsets 6 and -6 on its first measurement, 7 and -5 on its second.
    ASSERT_EQ(WGetUsedIQOffsetValues(handle, 1, offsets), 1);
    EXPECT_EQ(payload(1).at(0), 1);
    EXPECT_TRUE(has("(EBD ) WGetUsedIQOffsetValues(measure=TRUE, pIQOffsets)"));
    EXPECT_EQ(offsets[2], 6);
    EXPECT_EQ(entry.autoCalIq[0], 6);
    EXPECT_EQ(entry.autoCalIq[1], -6);
    EXPECT_EQ(entry.storedCalibrationItems, 0x40000u);
    ASSERT_EQ(WGetUsedIQOffsetValues(handle, 1, offsets), 1);
    EXPECT_EQ(offsets[2], 7);
    EXPECT_EQ(entry.autoCalIq[0], 6);
    EXPECT_EQ(entry.autoCalIq[1], -6);
    // Only both stored offsets at 127 take new ones.
    entry.autoCalIq = {127, 3};
    ASSERT_EQ(WGetUsedIQOffsetValues(handle, 1, offsets), 1);
    EXPECT_EQ(entry.autoCalIq[0], 127);
    entry.autoCalIq = {3, 127};
    ASSERT_EQ(WGetUsedIQOffsetValues(handle, 1, offsets), 1);
    EXPECT_EQ(entry.autoCalIq[1], 127);
}

// ---- Baseband registers -----------------------------------------------------------

TEST_F(Service, TheRegisterAccessDumpsItsArrays) {
    const uint16_t address[8] = {10, 1, 0, 0, 0, 0, 0, 0x1234};
    const uint16_t value[8] = {0, 0x0300, 0, 0, 0, 0, 0, 0};
    uint16_t ret[8] = {};
    ASSERT_EQ(WBBCRegister(handle, 0x6, address, value, ret), 1);
    EXPECT_EQ(ret[0], 0x200);
    EXPECT_TRUE(
        inOrder({"(EBD ) WBBCRegister: address ->", "(EBD )   00:    0x000a 0x0001 0x0000 0x0000 ",
                 "(EBD )   04:    0x0000 0x0000 0x0000 0x1234 ", "(EBD ) WBBCRegister: value ->",
                 "(EBD )   00:    0x0000 0x0300 0x0000 0x0000 ", "(EBD ) WBBCRegister: rets *retValues ->",
                 "(EBD )   00:    0x0200 0x0000 0x0000 0x0000 "}))
        << dump();
    // The write reached register 1.
    const uint16_t readBack[8] = {1};
    ASSERT_EQ(WBBCRegister(handle, 0x2, readBack, value, ret), 1);
    EXPECT_EQ(ret[0], 0x0300);
}

TEST_F(Service, TheTxOffsetIsReadWrittenAndReadAgainInOneAccess) {
    ASSERT_EQ(WSetTxOffset(handle, 0x12, 0x34), 1) << dump();
    ASSERT_EQ(requestIds(), (std::vector<uint16_t>{47}));
    EXPECT_EQ(payload(0), (Bytes{0x5A, 0x0A, 3, 0, 4, 0,    3, 0,    4, 0, 3, 0, 4, 0, 0, 0, 0,
                                 0,    0,    0, 0, 0, 0x12, 0, 0x34, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_TRUE(
        inOrder({"(EBD ) WSetTxOffset(iTxOffset=0x0012 qTxOffset=0x0034 )",
                 "(EBD ) WSetTxOffset: call WBBCRegister()...", "(EBD ) WBBCRegister(readWriteMask=0xa5a)",
                 "(EBD ) WBBCRegister: O.K.", "(EBD ) WSetTxOffset: rets old iTxOffset 20",
                 "(EBD ) WSetTxOffset: rets old qTxOffset 21", "(EBD ) WSetTxOffset: rets new iTxOffset 12",
                 "(EBD ) WSetTxOffset: rets new qTxOffset 34", "(EBD ) WSetTxOffset: O.K."}))
        << dump();

    module().foreignReference(msg::kCalDevGsmBBCRegister, 1);
    lines.clear();
    EXPECT_EQ(WSetTxOffset(handle, 1, 2), 0);
    EXPECT_EQ(ebdLines().back(), "(EBD ) WSetTxOffset: WBBCRegister fails");
    EXPECT_EQ(WGetLastError(handle), 4);
}

TEST_F(Service, TheAMLoopOffsetChecksItsArgumentsFirst) {
    EXPECT_EQ(WSetAMLoopOffset(handle, 0, 1, 64, 0, 0), 0);
    EXPECT_EQ(lastError(), 13);
    EXPECT_EQ(ebdLines().back(), "(EBD ) WSetAMLoopOffset: invalid aMLoopOffset 0x40");
    EXPECT_EQ(WSetAMLoopOffset(handle, 0, 1, 63, 0, 1024), 0);
    EXPECT_EQ(lastError(), 15);
    EXPECT_EQ(ebdLines().back(), "(EBD ) WSetAMLoopOffset: invalid rampDacValue 0x400");
    EXPECT_TRUE(module().requests().empty());
    EXPECT_EQ(WSetAMLoopOffset(handle, 0, 1, 63, 0, 1023), 1);
    EXPECT_EQ(requestIds(), (std::vector<uint16_t>{45})) << "mode 0 leaves the registers alone";

    module().firmware().refuse(msg::kCalDevGsmConstTx, 1);
    EXPECT_EQ(WSetAMLoopOffset(handle, 1, 1, 0, 0, 0), 0);
    EXPECT_EQ(ebdLines().back(), "(EBD ) WSetAMLoopOffset: EBDRPCCalDevGsmConstTx fails with error 5");
    EXPECT_EQ(requestIds(), (std::vector<uint16_t>{45, 45}));
}

TEST_F(Service, ANonZeroAMLoopModeSetsTheAmLoopBitAndTheRampDac) {
    lines.clear();
    ASSERT_EQ(WSetAMLoopOffset(handle, 2, 70, 0x21, 0x0155, 0x3FF), 1) << dump();
    ASSERT_EQ(requestIds(), (std::vector<uint16_t>{45, 47, 47}));
    EXPECT_EQ(payload(0),
              (Bytes{70, 0, 0x21, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x55, 0x01, 2, 0}));
    // Read registers 1 and 10 ...
    EXPECT_EQ(payload(1), (Bytes{0x0A, 0x00, 1, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                 0,    0,    0, 0, 0,  0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    // ... then write TxControl2 | 0x80 and the ramp DAC between two reads.
    EXPECT_EQ(payload(2), (Bytes{0x5A, 0x0A, 1, 0, 10, 0,    1, 0,    10,   0, 1, 0, 10, 0, 0, 0, 0,
                                 0,    0,    0, 0, 0,  0x91, 0, 0xFF, 0x03, 0, 0, 0, 0,  0, 0, 0, 0}));
    EXPECT_TRUE(inOrder({
        "(EBD ) WSetAMLoopOffset(mode=2, channel=70, aMLoopOffset=0x21)",
        "(EBD ) WSetAMLoopOffset: call EBDRPCCalDevGsmConstTx()...",
        "(EBD ) WSetAMLoopOffset: call WBBCRegister() to read BBC regs...",
        "(EBD ) WSetAMLoopOffset -> TxControl2:  0x11",
        "(EBD ) WSetAMLoopOffset -> RampDac: 0x200",
        "(EBD ) WSetAMLoopOffset: call WBBCRegister() to modify BBC regs...",
        "(EBD ) WSetAMLoopOffset -> TxControl2 (before):  0x11",
        "(EBD ) WSetAMLoopOffset -> RampDac    (before):  0x200",
        "(EBD ) WSetAMLoopOffset -> TxControl2 (after):   0x91",
        "(EBD ) WSetAMLoopOffset -> RampDac    (after):   0x3ff",
        "(EBD ) WSetAMLoopOffset: O.K.",
    })) << dump();

    // A failing register access in either step ends the operation: first the read ...
    module().clearRecords();
    module().withholdConfirm(msg::kCalDevGsmBBCRegister, 1);
    lines.clear();
    EXPECT_EQ(WSetAMLoopOffset(handle, 1, 70, 0, 0, 0), 0);
    EXPECT_EQ(ebdLines().back(), "(EBD ) WSetAMLoopOffset: WBBCRegister fails") << dump();
    EXPECT_EQ(requestIds(), (std::vector<uint16_t>{45, 47}));
    EXPECT_EQ(lastError(), 2);
    // ... then the modify.
    module().clearRecords();
    PortOf(handle).lastError = 0;
    int calls = 0;
    module().firmware().setHandler(
        msg::kCalDevGsmBBCRegister, [&calls](const sim::Request& r, sim::Firmware::Outcome& out) {
            if (++calls == 2) return;
            Bytes data{r.data.at(0), r.data.at(1)};
            data.resize(18, 0);
            out.messages.push_back({msg::ConfirmOf(msg::kCalDevGsmBBCRegister), data, 2 * kMs});
        });
    lines.clear();
    EXPECT_EQ(WSetAMLoopOffset(handle, 1, 70, 0, 0, 0), 0);
    EXPECT_EQ(ebdLines().back(), "(EBD ) WSetAMLoopOffset: WBBCRegister fails") << dump();
    EXPECT_TRUE(has("(EBD ) WSetAMLoopOffset: call WBBCRegister() to modify BBC regs..."));
    EXPECT_EQ(requestIds(), (std::vector<uint16_t>{45, 47, 47}));
    EXPECT_EQ(lastError(), 2);
}

// ---- Gain-code table --------------------------------------------------------------

TEST_F(Service, GainCodesAreHandedOutOneByOneUntilTheTableEnds) {
    uint16_t code = 0;
    EXPECT_EQ(WGetNextGainCode(handle, &code), 0) << "empty table";
    EXPECT_EQ(ebdLines(), (Lines{"(EBD ) WGetNextGainCode(), current tableIndex 0, table size 0",
                                 "(EBD ) WGetNextGainCode: index 0 too large"}));

    answer(msg::kGetGainCodeTable,
           [](const sim::Request&) { return Bytes{1, 0, 3, 0, 0x11, 0, 0x22, 0, 0x33, 0}; });
    ASSERT_EQ(WInitGainCodeTemplates(handle, 0, 0), 1);
    EXPECT_TRUE(has("(EBD ) WInitGainCodeTemplates: successfully received 3 gainCodes"));
    PortOf(handle).lastError = 77;
    for (const uint16_t expected : std::array<uint16_t, 3>{0x11, 0x22, 0x33}) {
        ASSERT_EQ(WGetNextGainCode(handle, &code), 1);
        EXPECT_EQ(code, expected);
    }
    EXPECT_TRUE(inOrder({"(EBD ) WGetNextGainCode(), current tableIndex 2, table size 3",
                         "(EBD ) WGetNextGainCode: returning 0x33", "(EBD ) WGetNextGainCode: O.K."}))
        << dump();
    lines.clear();
    code = 0xEEEE;
    EXPECT_EQ(WGetNextGainCode(handle, &code), 0);
    EXPECT_EQ(code, 0xEEEE);
    EXPECT_EQ(ebdLines(), (Lines{"(EBD ) WGetNextGainCode(), current tableIndex 3, table size 3",
                                 "(EBD ) WGetNextGainCode: index 3 too large"}));
    EXPECT_EQ(lastError(), 77) << "no last error of its own";
}

TEST_F(Service, AFailedTableRequestKeepsTheTableAndItsPosition) {
    ASSERT_EQ(WInitGainCodeTemplates(handle, 1, 2), 1);  // the double's five codes
    uint16_t code = 0;
    ASSERT_EQ(WGetNextGainCode(handle, &code), 1);
    EXPECT_EQ(code, 0x1020);
    lines.clear();
    ASSERT_EQ(WGetNextGainCode(handle, &code), 1);
    EXPECT_EQ(ebdLines(),
              (Lines{"(EBD ) WGetNextGainCode(), current tableIndex 1, table size 5",
                     "(EBD ) WGetNextGainCode: returning 0x1021", "(EBD ) WGetNextGainCode: O.K."}));

    module().firmware().refuse(msg::kGetGainCodeTable, 4);
    EXPECT_EQ(WInitGainCodeTemplates(handle, 3, 3), 0);
    EXPECT_TRUE(has("(EBD ) WInitGainCodeTemplates: EBDRPCGetGainCodeTemplate fails with error 5"));
    ASSERT_EQ(WGetNextGainCode(handle, &code), 1);
    EXPECT_EQ(code, 0x1022);

    // A later success restarts at the first code.
    module().firmware().refuse(msg::kGetGainCodeTable, 0);
    ASSERT_EQ(WInitGainCodeTemplates(handle, 0, 1), 1);
    ASSERT_EQ(WGetNextGainCode(handle, &code), 1);
    EXPECT_EQ(code, 0x0010);
}

TEST_F(Service, EachPortKeepsItsOwnGainCodes) {
    ModuleDouble::Settings settings;
    settings.start = ModuleDouble::State::Nomi;
    ModuleDouble second(settings);
    sim.attach("COM2", &second);
    const uint32_t other = WComOpen(2, 115200, kTraceHandle);
    ASSERT_NE(other, 0u);
    ASSERT_EQ(WInitGainCodeTemplates(handle, 1, 0), 1);
    ASSERT_EQ(WInitGainCodeTemplates(other, 2, 0), 1);
    uint16_t code = 0;
    ASSERT_EQ(WGetNextGainCode(handle, &code), 1);
    EXPECT_EQ(code, 0x1000);
    ASSERT_EQ(WGetNextGainCode(other, &code), 1);
    EXPECT_EQ(code, 0x2000);
    WComClose(other);
}

// ---- Receiver gain table from two points ---------------------------------------------

TEST_F(Service, TheGainWordIndexesAreFixed) {
    uint16_t index[3] = {5, 6, 7};
    EXPECT_EQ(WGetGwIndexArray(handle, 0xDEADBEEF, index), 1);
    EXPECT_EQ(index[0], 3);
    EXPECT_EQ(index[1], 4);
    EXPECT_EQ(index[2], 15);
    EXPECT_EQ(lines, (Lines{"(EBD ) WGetGwIndexArray(Anzahl=5,Messpunkt1=6 , Messpunkt2= 7)"}));
    // No handle check: an invalid handle computes all the same, without a line.
    lines.clear();
    index[0] = 9;
    EXPECT_EQ(WGetGwIndexArray(0, 0, index), 1);
    EXPECT_EQ(index[0], 3);
    EXPECT_TRUE(lines.empty());
    EXPECT_TRUE(module().requests().empty());
}

TEST_F(Service, TheGainTableIsExtrapolatedFromTwoPoints) {
    const uint16_t gainWord[2] = {0x0402, 0x082C};
    const int16_t rssi[2] = {-800, -500};
    std::array<uint16_t, 26> words{};
    std::array<int16_t, 26> values{};
    ASSERT_EQ(WSendGwRssiMPoints(handle, gainWord, rssi, words.data(), values.data()), 1);
    // Point 0 at position 4: steps below 0 are clamped and the RSSI raised by
    // 2 dB per missing step.
    const std::array<uint16_t, 26> expectedWords = {
        0x400, 0x400, 0x400, 0x400, 0x402, 0x404, 0x406,                       // 0..6
        0x81C, 0x81E, 0x820, 0x822, 0x824, 0x826, 0x828, 0x82A, 0x82C,         // 7..15
        0x82D, 0x82D, 0x82D, 0x82D, 0x82D, 0x82D, 0x82D, 0x82D, 0x82D, 0x82D,  // 16..25
    };
    const std::array<int16_t, 26> expectedValues = {
        -608, -672, -736, -800, -800, -800, -800,                      //
        -500, -500, -500, -500, -500, -500, -500, -500, -500,          //
        -532, -596, -660, -724, -788, -852, -916, -980, -1044, -1108,  //
    };
    EXPECT_EQ(words, expectedWords);
    EXPECT_EQ(values, expectedValues);
    EXPECT_TRUE(inOrder({
        "(EBD ) WSendGwRssiMPoints(gainWord[0]=0x402, gainWord[1]=0x82c)",
        "(EBD ) WSendGwRssiMPoints(RSSI[0]=fffffce0,RSSI[1]=fffffe0c )",
        "(EBD ) WSendGwRssiMPoints: underflow -> step 0, gainWord[0] 0x402",
        "(EBD ) WSendGwRssiMPoints: underflow -> step 2, gainWord[0] 0x402",
        "(EBD ) WSendGwRssiMPoints: overflow -> step 16, gainWordResult[16] 0x82e",
        "(EBD ) WSendGwRssiMPoints: overflow -> step 24, gainWordResult[24] 0x83e",
        "(EBD ) WSendGwRssiMPoints: gainWordResult ->",
        "(EBD ) WSendGwRssiMPoints: rssiResult     ->",
    })) << dump();
    EXPECT_FALSE(has("(EBD ) WSendGwRssiMPoints: underflow -> step 3, gainWord[0] 0x402"));
    EXPECT_EQ(count("(EBD ) WSendGwRssiMPoints: underflow -> step 0, gainWord[0] 0x402"), 1);
    EXPECT_TRUE(module().requests().empty());
}

TEST_F(Service, TheGainTableEdgesAtBothPoints) {
    std::array<uint16_t, 26> words{};
    std::array<int16_t, 26> values{};
    // Low bits 2: at i = 0 the step falls to 0 and the RSSI rises by 6 steps.
    // Low bits 14 at the second point: at i = 7 the step falls 2 below 0.
    const uint16_t low[2] = {0x0002, 0x040E};
    const int16_t rssi[2] = {-700, -700};
    ASSERT_EQ(WSendGwRssiMPoints(handle, low, rssi, words.data(), values.data()), 1);
    EXPECT_EQ(words[0], 0x0000);
    EXPECT_EQ(values[0], -700 + 192);
    EXPECT_EQ(words[7], 0x0400);
    EXPECT_EQ(values[7], -700 + 64);
    EXPECT_EQ(words[8], 0x0400);
    EXPECT_EQ(values[8], -700);
    EXPECT_TRUE(has("(EBD ) WSendGwRssiMPoints: underflow -> step 7, gainWord[1] 0x40e")) << dump();
    EXPECT_FALSE(has("(EBD ) WSendGwRssiMPoints: underflow -> step 8, gainWord[1] 0x40e"));
    // Low bits 44: at i = 6 the step is capped at 45.
    const uint16_t high[2] = {0x002C, 0x0010};
    ASSERT_EQ(WSendGwRssiMPoints(handle, high, rssi, words.data(), values.data()), 1);
    EXPECT_EQ(words[5], 0x002D);
    EXPECT_EQ(values[5], -700 - 32);
    EXPECT_EQ(words[6], 0x002D);
    EXPECT_EQ(values[6], -700 - 96);
    EXPECT_EQ(words[4], 0x002C);
    EXPECT_EQ(values[4], -700);
}

TEST_F(Service, TheGainTableArithmeticWrapsAtSixteenBits) {
    std::array<uint16_t, 26> words{};
    std::array<int16_t, 26> values{};
    const uint16_t gainWord[2] = {0xFFC0, 0xFFFF};
    const int16_t rssi[2] = {32752, -32760};
    ASSERT_EQ(WSendGwRssiMPoints(0, gainWord, rssi, words.data(), values.data()), 1);
    // Step 0 at position 4: i = 0 is 8 steps short, 8 x 32 = 256 above 32752.
    EXPECT_EQ(words[0], 0xFFC0);
    EXPECT_EQ(values[0], static_cast<int16_t>(32752 + 256 - 65536));
    // Step 63 at position 15 is capped at every entry from 15 on; the upper
    // ten bits stay as they are.
    EXPECT_EQ(words[15], 0xFFED);
    EXPECT_EQ(values[15], static_cast<int16_t>(-32760 - 18 * 32 + 65536));
    EXPECT_EQ(words[25], 0xFFED);
    EXPECT_EQ(values[25], static_cast<int16_t>(-32760 - 38 * 32 + 65536));
    EXPECT_EQ(words[7], 0xFFED);
    EXPECT_EQ(values[7], static_cast<int16_t>(-32760 - 2 * 32 + 65536));
    EXPECT_TRUE(lines.empty()) << "an invalid handle gets no lines";
}

// ---- Exit data --------------------------------------------------------------------

TEST_F(Service, ExitRecordsAreHandedOverUpToTheCallersSize) {
    Bytes reports = ModuleDouble::exitReport("0000001A12345678000000FFA5A5A5A5");
    reports.push_back(0);
    const Bytes second = ModuleDouble::exitReport("00000002");
    reports.insert(reports.end(), second.begin(), second.end());
    reports.push_back(0);
    module().inject(now() + kMs, reports);
    sim.sleepMs(5);

    std::array<uint8_t, 40> data;
    data.fill(0xEE);
    uint8_t records = 0xEE;
    // The first call moves the pending reports into the skip buffer ...
    ASSERT_EQ(WGetExitData(handle, 20, &records, data.data()), 1);
    EXPECT_EQ(records, 0);
    EXPECT_EQ(data[0], 0xEE);
    EXPECT_FALSE(has("(EBD ) FlushSkipBuffer: EXIT String found!"));
    // ... the next evaluates them.
    ASSERT_EQ(WGetExitData(handle, 20, &records, data.data()), 1);
    EXPECT_EQ(records, 2);
    EXPECT_EQ(count("(EBD ) FlushSkipBuffer: EXIT String found!"), 2);
    const Bytes expected = {0x1A, 0, 0,    0,    0x78, 0x56, 0x34, 0x12, 0xFF, 0,
                            0,    0, 0xA5, 0xA5, 0xA5, 0xA5, 0x02, 0,    0,    0};
    EXPECT_EQ(Bytes(data.begin(), data.begin() + 20), expected);
    EXPECT_EQ(data[20], 0xEE);
    // A larger size gets the two records and nothing more.
    data.fill(0xEE);
    ASSERT_EQ(WGetExitData(handle, 255, &records, data.data()), 1);
    EXPECT_EQ(data[31], 0);
    EXPECT_EQ(data[32], 0xEE);
    EXPECT_TRUE(module().requests().empty());
}

TEST_F(Service, MoreThanThreeReportsCountAsTheThreeRecordsKept) {
    Bytes reports;
    for (int k = 0; k < 5; ++k) {
        const Bytes one = ModuleDouble::exitReport("0000000" + std::to_string(k + 1));
        reports.insert(reports.end(), one.begin(), one.end());
        reports.push_back(0);
    }
    module().inject(now() + kMs, reports);
    sim.sleepMs(5);
    std::array<uint8_t, 64> data;
    data.fill(0xEE);
    uint8_t count = 0;
    ASSERT_EQ(WGetExitData(handle, 64, &count, data.data()), 1);
    ASSERT_EQ(WGetExitData(handle, 64, &count, data.data()), 1);
    EXPECT_EQ(PortOf(handle).exit.count, 5);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(data[32], 3);
    EXPECT_EQ(data[48], 0xEE);
}

TEST_F(Service, ExitDataForAnInvalidHandleStoresErrorTenWhereItCan) {
    uint8_t count = 0;
    uint8_t data[16] = {};
    EXPECT_EQ(WGetExitData(handle ^ 0x1, 16, &count, data), 0);
    EXPECT_EQ(WGetLastError(handle), 10);
    PortOf(handle).lastError = 0;
    EXPECT_EQ(WGetExitData(MakeHandle(40), 16, &count, data), 0);
    EXPECT_EQ(WGetExitData(0, 16, &count, data), 0);
    EXPECT_EQ(lastError(), 0);
}

// ---- Identity and security ---------------------------------------------------------

TEST_F(Service, TheFlashSerialNumberComesAsBytesAndAsANumber) {
    uint32_t number = 0;
    uint8_t bytes[4] = {};
    ASSERT_EQ(WGetFlashSerialNumber(handle, &number, bytes), 1);
    EXPECT_EQ(number, 0x12345678u);
    EXPECT_EQ(Bytes(bytes, bytes + 4), (Bytes{0x78, 0x56, 0x34, 0x12}));
    EXPECT_FALSE(has("(EBD ) WGetFlashSerialNumber: O.K."));

    module().firmware().refuse(msg::kFlashSerialNumberRead, 1);
    number = 7;
    EXPECT_EQ(WGetFlashSerialNumber(handle, &number, bytes), 0);
    EXPECT_EQ(number, 7u);
    EXPECT_TRUE(has("(EBD ) EBDRPCFlashSerialNumberRead failed with error 5"));
    EXPECT_EQ(lastError(), 5);
}

TEST_F(Service, IdentityFailuresCarryTheSignedStatus) {
    uint8_t imei[8] = {};
    module().firmware().refuse(msg::kReadIMEI, 0xFF);
    EXPECT_EQ(WReadIMEI(handle, imei), 0);
    EXPECT_EQ(lastError(), 699);
    EXPECT_EQ(Bytes(imei, imei + 8), Bytes(8, 0xFF)) << "the preset shows";
    EXPECT_TRUE(has("(EBD ) WReadIMEI: EBDRPCReadIMEI fails with error 699"));

    uint16_t ie = 0x0101;
    module().firmware().refuse(msg::kGetSingleIE, 3);
    EXPECT_EQ(WGetSingleIE(handle, &ie), 0);
    EXPECT_EQ(ie, 0xFFFF);
    EXPECT_EQ(lastError(), 703);

    uint16_t mode = 4;
    module().firmware().refuse(msg::kSetSecurityMode, 0xFE);
    EXPECT_EQ(WSetSecurityMode(handle, &mode, 0), 0);
    EXPECT_EQ(mode, 4) << "the module echoes the mode";
    EXPECT_EQ(lastError(), 698);

    uint8_t info[17] = {};
    module().firmware().refuse(msg::kGetMobileInfo, 2);
    EXPECT_EQ(WGetMobileInformation(handle, info), 0);
    EXPECT_TRUE(has("(EBD ) EBDRPCGetMobileInfo failed with error 702"));
    EXPECT_EQ(info[16], 0xFF);
}

TEST_F(Service, TheImeiModeReachesTheCallerOnlyOnSuccess) {
    answer(msg::kResetIMEIMode, [](const sim::Request& r) {
        return Bytes{static_cast<uint8_t>(r.data.at(2) + 6), 0, 0, 0};
    });
    uint8_t result = 0xEE;
    ASSERT_EQ(WResetIMEIMode(handle, &result), 1);
    EXPECT_EQ(result, 6);
    ASSERT_EQ(WSetCustomerIMEIMode(handle, &result), 1);
    EXPECT_EQ(result, 7);
    module().foreignReference(msg::kResetIMEIMode, 1);
    result = 0xEE;
    EXPECT_EQ(WSetCustomerIMEIMode(handle, &result), 0);
    EXPECT_EQ(result, 0xEE);
    EXPECT_EQ(lastError(), 4);
}

TEST_F(Service, TheSecurityModeAndTheIdentityAreasPassThrough) {
    answer(msg::kSetSecurityMode, [](const sim::Request&) { return Bytes{0x09, 0x80, 0, 0}; });
    uint16_t mode = 2;
    ASSERT_EQ(WSetSecurityMode(handle, &mode, 0xCAFEF00D), 1);
    EXPECT_EQ(mode, 0x8009);
    EXPECT_EQ(payload(0), (Bytes{2, 0, 0x0D, 0xF0, 0xFE, 0xCA}));

    uint8_t serial[9];
    std::fill(std::begin(serial), std::end(serial), 0xEE);
    ASSERT_EQ(WReadSerialNumber(handle, serial), 1);
    EXPECT_EQ(Bytes(serial, serial + 9), (Bytes{0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0xEE}));

    uint8_t challenge[8] = {};
    ASSERT_EQ(WRequestChallenge(handle, challenge), 1);
    EXPECT_EQ(challenge[0], 0x11);
    ASSERT_EQ(WRequestChallenge(handle, challenge), 1);
    EXPECT_EQ(challenge[0], 0x22) << "a fresh challenge each time";

    uint8_t info[18];
    std::fill(std::begin(info), std::end(info), 0xEE);
    ASSERT_EQ(WGetMobileInformation(handle, info), 1);
    EXPECT_EQ(info[0], 0xA0);
    EXPECT_EQ(info[16], 0xB0);
    EXPECT_EQ(info[17], 0xEE);
}

}  // namespace
}  // namespace ebd::test
