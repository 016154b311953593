// Burst, slot and frame configuration against the module double: the burst
// words on the wire for every pattern, training sequence and modulation, the
// slot and frame definition records, and the trace lines.
#include <array>
#include <string>

#include "lib/burst_patterns.h"
#include "module_fixture.h"
#include "rpc/ebdnomi.h"
#include "rpc/ebdrpc.h"
#include "rpc/ebdrpc_burst.h"
#include "rpc/nomierr.h"
#include "sim/module_double.h"
#include "sim/payload.h"

namespace ebd::test {
namespace {

using Bytes = std::vector<uint8_t>;
using Words = std::vector<uint16_t>;
using sim::ModuleDouble;

class Burst : public ModuleFixture {
protected:
    // `count` little-endian words of the last request from byte `offset`.
    Words wordsSent(size_t offset, size_t count) const {
        Words words;
        for (size_t i = 0; i < count; ++i) words.push_back(sim::get16le(lastRequest().data, offset + 2 * i));
        return words;
    }
    // The burst of the last request 23 as a text of bits, first bit first.
    std::string burstBitsSent(size_t bits) const {
        std::string text;
        for (size_t j = 0; j < bits; ++j) {
            const uint16_t word = sim::get16le(lastRequest().data, 2 + 2 * (j / 16));
            text += ((word >> (15 - j % 16)) & 1u) != 0 ? '1' : '0';
        }
        return text;
    }
};

// ---- Training sequences ------------------------------------------------------------

TEST(TrainingSequences, GmskSequencesHaveTheCyclicStructureOfTheNormalBurst) {
    const auto& table = burst::GmskTrainingSequences();
    for (size_t code = 0; code < table.size(); ++code) {
        const auto& tsc = table[code];
        for (size_t i = 0; i < 5; ++i) {
            EXPECT_EQ(tsc[i], tsc[16 + i]) << "code " << code << " bit " << i;
            EXPECT_EQ(tsc[5 + i], tsc[21 + i]) << "code " << code << " bit " << 5 + i;
        }
        for (uint16_t bit : tsc) EXPECT_LE(bit, 1);
        for (size_t other = 0; other < code; ++other)
            EXPECT_NE(table[other], tsc) << code << " repeats " << other;
    }
    EXPECT_EQ(table[0], (burst::GmskSequence{0, 0, 1, 0, 0, 1, 0, 1, 1, 1, 0, 0, 0,
                                             0, 1, 0, 0, 0, 1, 0, 0, 1, 0, 1, 1, 1}));
}

TEST(TrainingSequences, EightPskSequencesSpellEachGmskBitAsThreeBits) {
    const auto& gmsk = burst::GmskTrainingSequences();
    const auto& epsk = burst::EpskTrainingSequences();
    for (size_t code = 0; code < gmsk.size(); ++code) {
        for (size_t i = 0; i < burst::kTrainingSymbols; ++i) {
            const std::array<uint16_t, 3> symbol{epsk[code][3 * i], epsk[code][3 * i + 1],
                                                 epsk[code][3 * i + 2]};
            const std::array<uint16_t, 3> expected =
                gmsk[code][i] == 0 ? std::array<uint16_t, 3>{1, 1, 1} : std::array<uint16_t, 3>{0, 0, 1};
            EXPECT_EQ(symbol, expected) << "code " << code << " symbol " << i;
        }
    }
}

TEST(TrainingSequences, BitReversalMirrorsTheWord) {
    EXPECT_EQ(burst::ReverseBits(0x8001), 0x8001);
    EXPECT_EQ(burst::ReverseBits(0xC000), 0x0003);
    EXPECT_EQ(burst::ReverseBits(0x1234), 0x2C48);
}

// ---- Generated bursts ------------------------------------------------------------------

TEST_F(Burst, AllOnesFillsNineWordsAndTheTopOfTheTenth) {
    EXPECT_EQ(WSetEbdBurstDataMode(handle, 1, 0, 0), 1);
    ASSERT_EQ(requestIds(), std::vector<uint16_t>{23});
    EXPECT_EQ(lastRequest().data.size(), 62u);
    Words expected(9, 0xFFFF);
    expected.push_back(0xFFF0);
    expected.resize(30, 0);
    EXPECT_EQ(wordsSent(2, 30), expected) << "behind a GMSK burst the call carries zero words";
    ASSERT_GE(lines.size(), 6u);
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 6),
              (std::vector<std::string>{
                  "(EBD ) WSetEbdBurstDataMode(dataMode=1, tsc=0, modulation=0)",
                  "(EBD ) WSetEbdBurstDataMode: burstData ->",
                  "(EBD )   00:    0xffff 0xffff 0xffff 0xffff ",
                  "(EBD )   04:    0xffff 0xffff 0xffff 0xffff ",
                  "(EBD )   08:    0xffff 0xfff0 ",
                  "(EBD ) WSetEbdBurstDataMode: call EBDRPCCalDevGsmSetBurstData()...",
              }));
    EXPECT_EQ(lines.back(), "(EBD ) WSetEbdBurstDataMode: O.K.");
}

TEST_F(Burst, AlternatingBitsAndTheTrainingSequenceGiveTheKnownWords) {
    EXPECT_EQ(WSetEbdBurstDataMode(handle, 2, 0, 0), 1);
    Words expected{0x0AAA, 0xAAAA, 0xAAAA, 0xAAAA, 0xAAAA, 0xAAAA, 0xAAAA, 0xAAAA, 0xAAAA, 0x8FF0};
    EXPECT_EQ(wordsSent(2, 10), expected);
    EXPECT_EQ(WSetEbdBurstDataMode(handle, 3, 0, 0), 1);
    expected = {0x1FFF, 0xFFFF, 0xFFFF, 0xFFF9, 0x2E11, 0x2FFF, 0xFFFF, 0xFFFF, 0xFFFF, 0x8FF0};
    EXPECT_EQ(wordsSent(2, 10), expected);
    EXPECT_EQ(burstBitsSent(156).substr(61, 26), "00100101110000100010010111");
}

// The pattern a data mode names, built symbol group by symbol group.
std::string Pattern(int dataMode, int tsc, bool epsk) {
    const size_t c = epsk ? 3 : 1;
    std::string training;
    if (epsk) {
        for (uint16_t bit : burst::EpskTrainingSequences()[static_cast<size_t>(tsc % 8)])
            training += bit ? '1' : '0';
    } else {
        for (uint16_t bit : burst::GmskTrainingSequences()[static_cast<size_t>(tsc % 8)])
            training += bit ? '1' : '0';
    }
    const auto run = [](char bit, size_t n) { return std::string(n, bit); };
    const auto pairs = [](size_t n) {
        std::string text;
        for (size_t i = 0; i < n; ++i) text += "01";
        return text;
    };
    switch (dataMode) {
        case 1:
            return run('1', 156 * c);
        case 2:
            return run('0', 3 * c) + pairs(71 * c) + run('0', 3 * c) + run('1', 8 * c);
        case 3:
            return run('0', 3 * c) + run('1', 58 * c) + training + run('1', 58 * c) + run('0', 3 * c) +
                   run('1', 8 * c);
        case 4:
            return run('0', 3 * c) + pairs(29 * c) + training + pairs(29 * c) + run('0', 3 * c) +
                   run('1', 8 * c);
        default:
            return run('0', 156 * c);
    }
}

TEST_F(Burst, EveryDataModeTrainingSequenceAndModulationGoesOutAsItsPattern) {
    for (int modulation : {0, 1, 2}) {
        const bool epsk = modulation == 1;
        const size_t bits = epsk ? 468 : 156;
        for (int dataMode = 0; dataMode <= 5; ++dataMode) {
            for (int tsc : {0, 1, 2, 3, 4, 5, 6, 7, 8, 15}) {
                SCOPED_TRACE("dataMode " + std::to_string(dataMode) + " tsc " + std::to_string(tsc) +
                             " modulation " + std::to_string(modulation));
                module().clearRecords();
                ASSERT_EQ(WSetEbdBurstDataMode(handle, static_cast<uint8_t>(dataMode),
                                               static_cast<uint8_t>(tsc), static_cast<uint8_t>(modulation)),
                          1);
                ASSERT_EQ(requestIds(), std::vector<uint16_t>{23});
                const std::string expected = Pattern(dataMode, tsc, epsk);
                ASSERT_EQ(expected.size(), bits);
                EXPECT_EQ(burstBitsSent(bits), expected);
                // The fill bits of the last burst word and any words behind the burst are zero.
                EXPECT_EQ(burstBitsSent(480).substr(bits), std::string(480 - bits, '0'));
            }
        }
    }
}

TEST_F(Burst, ModulationOneAloneGeneratesAnEightPskBurst) {
    EXPECT_EQ(WSetEbdBurstDataMode(handle, 3, 5, 1), 1);
    // 468 bits: the thirtieth word holds 4 burst bits and 12 fill bits.
    EXPECT_TRUE(has("(EBD )   28:    0xffff 0xf000 ")) << dump();
    EXPECT_EQ(wordsSent(58, 2), (Words{0xFFFF, 0xF000}));
    EXPECT_EQ(WSetEbdBurstDataMode(handle, 3, 5, 2), 1);
    EXPECT_TRUE(has("(EBD ) WSetEbdBurstDataMode(dataMode=3, tsc=5, modulation=2)"));
    EXPECT_EQ(wordsSent(22, 20), Words(20, 0)) << "modulation 2 is GMSK";
}

// ---- Burst data and the Tx slot -----------------------------------------------------------

TEST_F(Burst, SetBurstDataStoresTheBurstAndSendsThirtyWords) {
    Words burst(30);
    for (size_t i = 0; i < burst.size(); ++i) burst[i] = static_cast<uint16_t>(0x0100 + i);
    EXPECT_EQ(WSetBurstData(handle, burst.data(), 0), 1);
    EXPECT_EQ(wordsSent(2, 30), burst);
    EXPECT_TRUE(inOrder({"(EBD ) WSetBurstData(burstData, modulation=0)",
                         "(EBD ) WSetBurstData: burstData ->", "(EBD )   08:    0x0108 0x0109 ",
                         "(EBD ) WSetBurstData: call EBDRPCCalDevGsmSetBurstData()...",
                         "(EBD ) WSetBurstData: O.K."}))
        << dump();
    EXPECT_FALSE(has("(EBD )   08:    0x0108 0x0109 0x010a 0x010b "));

    // Modulation 2 fills the 8PSK store; the store is written also when the call fails.
    Words epsk(30, 0xC000);
    module().foreignReference(23, 1);
    lines.clear();
    EXPECT_EQ(WSetBurstData(handle, epsk.data(), 2), 0);
    EXPECT_TRUE(has("(EBD )   28:    0xc000 0xc000 "));
    EXPECT_EQ(lines.back(), "(EBD ) WSetBurstData: EBDRPCCalDevGsmSetBurstData fails with error 4");
    EXPECT_EQ(WGetLastError(handle), 4);

    // The Tx slot carries the stored burst with each word's bits reversed.
    EXPECT_EQ(WConfigureGPRSLogicalTxSlot(handle, 3, 9, 2, 0), 1);
    EXPECT_EQ(lastRequest().commandId, 37);
    EXPECT_EQ(lastRequest().data.size(), 68u);
    EXPECT_EQ(Bytes(lastRequest().data.begin() + 2, lastRequest().data.begin() + 6), (Bytes{1, 9, 40, 0}))
        << "modulation 2: 8PSK store, GMSK slot type";
    EXPECT_EQ(wordsSent(6, 30), Words(30, 0x0003));
    EXPECT_EQ(lastRequest().data.at(66), 3);

    EXPECT_EQ(WConfigureGPRSLogicalTxSlot(handle, 4, 7, 0, 0), 1);
    Words reversed;
    for (size_t i = 0; i < 10; ++i) reversed.push_back(burst::ReverseBits(burst[i]));
    reversed.resize(30, 0);
    EXPECT_EQ(wordsSent(6, 30), reversed) << "GMSK: 10 stored words, then zero words";
    EXPECT_EQ(lastRequest().data.at(2), 1);
}

TEST_F(Burst, TxSlotTypesAndTraces) {
    Words burst(30, 0x8001);
    ASSERT_EQ(WSetBurstData(handle, burst.data(), 1), 1);
    lines.clear();
    EXPECT_EQ(WConfigureGPRSLogicalTxSlot(handle, 0, 15, 1, 0), 1);
    EXPECT_EQ(lastRequest().data.at(2), 4);
    EXPECT_EQ(wordsSent(6, 30), Words(30, 0x8001));
    EXPECT_EQ(lines.at(0),
              "(EBD ) WConfigureGPRSLogicalTxSlot(slotNumber=0, powerLevel=15, modulation=8PSK)");
    EXPECT_EQ(lines.at(1), "(EBD ) WConfigureGPRSLogicalTxSlot: call EBDRPCCalDevGsmSlotDefine()...");
    EXPECT_EQ(lines.at(2), "(RPC ) EBDRPCCalDevGsmSlotDefine: slotdefinition ->");
    EXPECT_EQ(lines.at(3), "(EBD )   00:    0x04 0x0f 0x28 0x00 0x01 0x80 0x01 0x80 ");
    EXPECT_EQ(lines.back(), "(EBD ) WConfigureGPRSLogicalTxSlot: O.K.");
    EXPECT_EQ(WConfigureGPRSLogicalTxSlot(handle, 0, 15, 1, 1), 1);
    EXPECT_EQ(lastRequest().data.at(2), 6);
    EXPECT_EQ(WConfigureGPRSLogicalTxSlot(handle, 0, 15, 0, 2), 1);
    EXPECT_EQ(lastRequest().data.at(2), 6);
    lines.clear();
    module().firmware().refuse(37, 2);
    EXPECT_EQ(WConfigureGPRSLogicalTxSlot(handle, 0, 15, 0, 0), 0);
    EXPECT_EQ(lines.at(0),
              "(EBD ) WConfigureGPRSLogicalTxSlot(slotNumber=0, powerLevel=15, modulation=GMSK)");
    EXPECT_EQ(lines.back(),
              "(EBD ) WConfigureGPRSLogicalTxSlot: EBDRPCCalDevGsmSlotDefine fails with error 5");
}

// ---- Other slots and the multiframe ---------------------------------------------------------

TEST_F(Burst, ReceiveMonitorAndUnusedSlotsCarryTheirFillers) {
    const auto definition = [this]() {
        return Bytes(lastRequest().data.begin() + 2, lastRequest().data.begin() + 66);
    };
    const auto filled = [](uint8_t type, uint16_t gain, uint8_t filler) {
        Bytes bytes{type, 5, static_cast<uint8_t>(gain), static_cast<uint8_t>(gain >> 8)};
        bytes.resize(64, filler);
        return bytes;
    };
    EXPECT_EQ(WConfigureGPRSLogicalRxSlot(handle, 2, 0x0123, 0), 1);
    EXPECT_EQ(definition(), filled(2, 0x0123, 0x74));
    EXPECT_EQ(lastRequest().data.at(66), 2);
    EXPECT_TRUE(inOrder({"(EBD ) WConfigureGPRSLogicalRxSlot(slotNumber=2, gain=291, modulation=GMSK)",
                         "(EBD ) WConfigureGPRSLogicalRxSlot: slotdefinition->",
                         "(EBD )   00:    0x02 0x05 0x23 0x01 0x74 0x74 0x74 0x74 ",
                         "(EBD ) WConfigureGPRSLogicalRxSlot: call EBDRPCCalDevGsmSlotDefine()...",
                         "(RPC ) EBDRPCCalDevGsmSlotDefine: slotdefinition ->",
                         "(EBD ) WConfigureGPRSLogicalRxSlot: O.K."}))
        << dump();
    EXPECT_EQ(WConfigureGPRSLogicalRxSlot(handle, 2, 7, 1), 1);
    EXPECT_EQ(definition(), filled(5, 7, 0x74));
    EXPECT_TRUE(has("(EBD ) WConfigureGPRSLogicalRxSlot(slotNumber=2, gain=7, modulation=8PSK)"));
    EXPECT_EQ(WConfigureGPRSLogicalRxSlot(handle, 2, 7, 2), 1);
    EXPECT_EQ(definition(), filled(2, 7, 0x74));

    lines.clear();
    EXPECT_EQ(WConfigureGPRSLogicalMonSlot(handle, 6, 300), 1);
    EXPECT_EQ(definition(), filled(3, 300, 0x75));
    EXPECT_EQ(lines.at(0), "(EBD ) WConfigureGPRSLogicalMonSlot(6, 300)");
    EXPECT_EQ(lines.at(1), "(EBD ) WConfigureGPRSLogicalMonSlot: call EBDRPCCalDevGsmSlotDefine()...");
    lines.clear();
    EXPECT_EQ(WConfigureGPRSLogicalUnusedSlot(handle, 7), 1);
    EXPECT_EQ(definition(), filled(0, 40, 0x76));
    EXPECT_EQ(lastRequest().data.at(66), 7);
    EXPECT_EQ(lines.at(0), "(EBD ) WConfigureGPRSLogicalUnusedSlot(slotNumber=7)");
    EXPECT_EQ(lines.back(), "(EBD ) WConfigureGPRSLogicalUnusedSlot: O.K.");

    module().foreignReference(37, 1);
    EXPECT_EQ(WConfigureGPRSLogicalMonSlot(handle, 6, 300), 0);
    EXPECT_EQ(lines.back(),
              "(EBD ) WConfigureGPRSLogicalMonSlot: EBDRPCCalDevGsmSlotDefine fails with error 4");
}

TEST_F(Burst, TheFrameDefinitionHoldsTxBeforeRx) {
    const Bytes mapping{1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(WConfigureGPRSMultiFrame(handle, 9, mapping.data(), 1, 2, 0x0304, -1, 10, 20, 30), 1);
    ASSERT_EQ(requestIds(), std::vector<uint16_t>{39});
    ASSERT_EQ(lastRequest().data.size(), 26u);
    EXPECT_EQ(Bytes(lastRequest().data.begin() + 2, lastRequest().data.end()),
              (Bytes{1,    2,    3,  4, 5,  6, 7,  8,  // slot mapping
                     2,    0,    1,  0, 4,  3,         // Tx, Rx and Mon channels
                     0xFF, 0xFF, 20, 0, 10, 0, 30, 0,  // frame, Tx, Rx and Mon advances
                     9,    0}));
    ASSERT_GE(lines.size(), 11u);
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 11),
              (std::vector<std::string>{
                  "(EBD ) WConfigureGPRSMultiFrame(",
                  "         frameNumber=9, slotMapping[], rxChannel=1, txChannel=2, monChannel=772",
                  "         frameAdvance=-1, rxAdvance=10, txAdvance=20, monAdvance=30)",
                  "(EBD ) WConfigureGPRSMultiFrame: slotMapping ->",
                  "(EBD )   00:    0x01 0x02 0x03 0x04 0x05 0x06 0x07 0x08 ",
                  "(EBD )   08:    ",
                  "(EBD ) WConfigureGPRSMultiFrame: call EBDRPCCalDevGsmFrameDefine()...",
                  "(RPC ) EBDRPCCalDevGsmFrameDefine: framedefinition ->",
                  "(EBD )   00:    0x01 0x02 0x03 0x04 0x05 0x06 0x07 0x08 ",
                  "(EBD )   08:    0x02 0x00 0x01 0x00 0x04 0x03 0xff 0xff ",
                  "(EBD )   16:    0x14 0x00 0x0a 0x00 0x1e 0x00 ",
              }));
    EXPECT_EQ(lines.back(), "(EBD ) WConfigureGPRSMultiFrame: O.K.");

    lines.clear();
    EXPECT_EQ(WConfigureGPRSMultiFrame(0, 9, mapping.data(), 1, 2, 3, 0, 0, 0, 0), 0);
    EXPECT_TRUE(lines.empty());
    module().firmware().refuse(39, 3);
    EXPECT_EQ(WConfigureGPRSMultiFrame(handle, 9, mapping.data(), 1, 2, 3, 0, 0, 0, 0), 0);
    EXPECT_EQ(lines.back(), "(EBD ) WConfigureGPRSMultiFrame: EBDRPCCalDevGsmFrameDefine fails with error 5");
    EXPECT_EQ(WGetLastError(handle), 5);
}

// ---- Ramp, TDMA frame, timing and usage ----------------------------------------------------------

TEST_F(Burst, ATdmaFrameWithAScaleFactorSetsTheScaleFirstAndMarksThePowerLevel) {
    const Bytes burstOn{1, 0, 1, 0};
    const Words channel{10, 20, 30, 40};
    const Words gain{0x0101, 0x0202, 0x0303, 0x0404};
    EXPECT_EQ(WSetCircuitSwitchedTDMAFrame(handle, 2, burstOn.data(), channel.data(), gain.data(), 3, 4, 0x5A,
                                           3, 0),
              1);
    ASSERT_EQ(requestIds(), std::vector<uint16_t>{25});
    EXPECT_EQ(Bytes(lastRequest().data.begin() + 2, lastRequest().data.end()),
              (Bytes{10, 0, 20, 0, 30, 0, 40, 0, 1, 1, 2, 2, 3, 3, 4, 4, 1, 0, 1, 0, 2, 3, 4, 0x5A, 3, 0}));
    EXPECT_EQ(lines.at(0), "(EBD ) WSetCircuitSwitchedTDMAFrame(");
    EXPECT_EQ(lines.at(1), "         burstType=2, burstOn[], channel[], gain[], burst2Type=3,");
    EXPECT_EQ(lines.at(2), "         timingAdvance=4, rachData=0x5a, powerLevel=3, scaleFactor=0)");
    EXPECT_TRUE(inOrder(
        {"(EBD ) WSetCircuitSwitchedTDMAFrame: burstOn ->", "(EBD )   00:    0x01 0x00 0x01 0x00 ",
         "(EBD ) WSetCircuitSwitchedTDMAFrame: channel ->", "(EBD )   00:    0x000a 0x0014 0x001e 0x0028 ",
         "(EBD ) WSetCircuitSwitchedTDMAFrame: gain ->",
         "(EBD ) WSetCircuitSwitchedTDMAFrame: call EBDRPCCalDevGsmSetBurst()...",
         "(EBD ) WSetCircuitSwitchedTDMAFrame: O.K."}))
        << dump();

    module().clearRecords();
    lines.clear();
    EXPECT_EQ(WSetCircuitSwitchedTDMAFrame(handle, 2, burstOn.data(), channel.data(), gain.data(), 3, 4, 0x5A,
                                           3, 5),
              1);
    EXPECT_EQ(requestIds(), (std::vector<uint16_t>{27, 25}));
    EXPECT_EQ(module().requests()[0].data.at(2), 5);
    EXPECT_EQ(lastRequest().data.at(26), 0x83);
    EXPECT_TRUE(inOrder({"(EBD ) WSetCircuitSwitchedTDMAFrame: call WSetRampScaleFactor(scaleFactor=5)",
                         "(EBD ) WSetRampScaleFactor(scaleFactor=5)",
                         "(EBD ) WSetRampScaleFactor: call EBDRPCCalDevGsmRampScale()...",
                         "(EBD ) WSetRampScaleFactor: O.K.",
                         "(EBD ) WSetCircuitSwitchedTDMAFrame: call EBDRPCCalDevGsmSetBurst()..."}));

    // A failed scale factor leaves its own error; the frame is sent all the same.
    module().withholdConfirm(27, 1);
    module().clearRecords();
    lines.clear();
    EXPECT_EQ(WSetCircuitSwitchedTDMAFrame(handle, 2, burstOn.data(), channel.data(), gain.data(), 3, 4, 0x5A,
                                           3, 5),
              1);
    EXPECT_EQ(requestIds(), (std::vector<uint16_t>{27, 25}));
    EXPECT_TRUE(has("(EBD ) WSetRampScaleFactor: EBDRPCCalDevGsmRampScale fails with error 2"));
    EXPECT_EQ(WGetLastError(handle), 2);

    // The confirm must echo the burst type.
    module().firmware().refuse(25, 1);
    EXPECT_EQ(WSetCircuitSwitchedTDMAFrame(handle, 2, burstOn.data(), channel.data(), gain.data(), 3, 4, 0x5A,
                                           3, 0),
              0);
    EXPECT_EQ(lines.back(),
              "(EBD ) WSetCircuitSwitchedTDMAFrame: EBDRPCCalDevGsmSetBurst fails with error 5");
    EXPECT_EQ(WSetCircuitSwitchedTDMAFrame(handle, 2, nullptr, channel.data(), gain.data(), 3, 4, 0x5A, 3, 0),
              0);
}

TEST_F(Burst, RampTimingAndUsageRequests) {
    Words ramp(32);
    for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<uint16_t>(0x1000 + i);
    EXPECT_EQ(WSetPowerRamp(handle, ramp.data()), 1);
    EXPECT_EQ(lastRequest().commandId, 29);
    EXPECT_EQ(lastRequest().data.size(), 66u);
    EXPECT_EQ(wordsSent(2, 32), ramp);
    EXPECT_TRUE(inOrder({"(EBD ) WSetPowerRamp(powerRamp)", "(EBD ) WSetPowerRamp: powerRamp ->",
                         "(EBD )   28:    0x101c 0x101d 0x101e 0x101f ",
                         "(EBD ) WSetPowerRamp: call EBDRPCCalDevGsmSetPowerRamp()...",
                         "(EBD ) WSetPowerRamp: O.K."}));

    lines.clear();
    EBDSetNextReference(0x0700);
    EXPECT_EQ(WChangeGPRSTiming(handle, 3, -2, 100, 200, 300), 1);
    EXPECT_EQ(lastRequest().data, (Bytes{0x00, 0x07, 3, 0, 0xFE, 0xFF, 100, 0, 200, 0, 0x2C, 0x01}));
    EXPECT_EQ(lines.front(),
              "(EBD ) WChangeGPRSTiming(frameNumber=3, frameAdvance=-2, rxAdvance=100, txAdvance=200, "
              "monAdvance=300)");
    EXPECT_EQ(lines.at(1), "(EBD ) WChangeGPRSTiming: call EBDRPCCalDevGsmFrameTiming()...");

    lines.clear();
    EXPECT_EQ(WSetGPRSUsage(handle, 2), 1);
    EXPECT_EQ(lastRequest().data, (Bytes{0x01, 0x07, 2, 0}));
    EXPECT_EQ(lines.front(), "(EBD ) WSetGPRSUsage(mode=2)");
    EXPECT_EQ(lines.at(1), "(EBD ) WSetGPRSUsage: call EBDRPCCalDevGsmFrameUse()...");
    EXPECT_EQ(lines.back(), "(EBD ) WSetGPRSUsage: O.K.");

    EXPECT_EQ(WSetRampScaleFactor(handle, 0x1234), 1);
    EXPECT_EQ(lastRequest().data, (Bytes{0x02, 0x07, 0x34, 0x12}));

    module().foreignReference(43, 1);
    EXPECT_EQ(WSetGPRSUsage(handle, 2), 0);
    EXPECT_EQ(lines.back(), "(EBD ) WSetGPRSUsage: EBDRPCCalDevGsmFrameUse fails with error 4");
    module().withholdConfirm(41, 1);
    EXPECT_EQ(WChangeGPRSTiming(handle, 3, 0, 0, 0, 0), 0);
    EXPECT_EQ(lines.back(), "(EBD ) WChangeGPRSTiming: EBDRPCCalDevGsmFrameTiming fails with error 2");
    module().foreignReference(29, 1);
    EXPECT_EQ(WSetPowerRamp(handle, ramp.data()), 0);
    EXPECT_EQ(lines.back(), "(EBD ) WSetPowerRamp: EBDRPCCalDevGsmSetPowerRamp fails with error 4");
}

TEST_F(Burst, BadHandlesAndNullAreasSendNothing) {
    const Words words(32, 0);
    EXPECT_EQ(WSetBurstData(0, words.data(), 0), 0);
    EXPECT_EQ(WSetBurstData(handle, nullptr, 0), 0);
    EXPECT_EQ(WSetEbdBurstDataMode(0, 1, 0, 0), 0);
    EXPECT_EQ(WSetPowerRamp(handle, nullptr), 0);
    EXPECT_EQ(WConfigureGPRSLogicalTxSlot(0, 0, 0, 0, 0), 0);
    EXPECT_EQ(WConfigureGPRSMultiFrame(handle, 0, nullptr, 0, 0, 0, 0, 0, 0, 0), 0);
    EXPECT_EQ(WSetGPRSUsage(MakeHandle(40), 1), 0);
    EXPECT_EQ(EBDRPCCalDevGsmSlotDefine(handle, 0, nullptr), kRpcNotSent);
    EXPECT_TRUE(module().requests().empty());
    EXPECT_EQ(lines, std::vector<std::string>{"(EBD ) WConfigureGPRSMultiFrame("});
}

}  // namespace
}  // namespace ebd::test
