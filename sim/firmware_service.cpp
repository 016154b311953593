#include "sim/firmware_service.h"

#include <algorithm>
#include <array>
#include <functional>
#include <map>
#include <memory>
#include <utility>

#include "sim/payload.h"

namespace ebd::sim {
namespace {

// Request ids of the service calls.
constexpr uint16_t kSetAfcDac = 11;
constexpr uint16_t kFreqOffsetMeas = 13;
constexpr uint16_t kGainProgram = 15;
constexpr uint16_t kRssi = 17;
constexpr uint16_t kDcOffset = 19;
constexpr uint16_t kSetBandMode = 21;
constexpr uint16_t kRxControl = 31;
constexpr uint16_t kLoopBack = 33;
constexpr uint16_t kLoopBackData = 35;
constexpr uint16_t kConstTx = 45;
constexpr uint16_t kBbcRegister = 47;
constexpr uint16_t kFlashSerialNumberRead = 71;
constexpr uint16_t kGetSingleIE = 73;
constexpr uint16_t kResetIMEIMode = 75;
constexpr uint16_t kReadSerialNumber = 77;
constexpr uint16_t kReadIMEI = 79;
constexpr uint16_t kInitIMEI = 81;
constexpr uint16_t kFreezeIMEI = 83;
constexpr uint16_t kSetSecurityMode = 85;
constexpr uint16_t kRequestChallenge = 87;
constexpr uint16_t kSendResponse = 89;
constexpr uint16_t kGetMobileInfo = 91;
constexpr uint16_t kGetGainCodeTable = 95;
constexpr uint16_t kSetPrechargeValue = 97;

constexpr size_t kBbcEntries = 8;
constexpr size_t kImeiSize = 8;
constexpr size_t kMobileInfoSize = 17;
// Gain codes the firmware knows per band and gain index.
constexpr uint16_t kGainCodesPerTable = 5;

// What the service calls change in the module.
struct ServiceState {
    std::map<std::pair<uint8_t, uint8_t>, uint16_t> gainProgramWords;  // (band, gainIndex)
    std::map<std::pair<uint8_t, uint8_t>, uint16_t> accurateValues;
    std::map<uint16_t, uint16_t> registers{{1, 0x0011}, {3, 0x0020}, {4, 0x0021}, {10, 0x0200}};
    uint16_t measurements = 0;  // DC offset measurements so far
    uint16_t challenges = 0;
    std::array<uint8_t, kImeiSize> imei{0x35, 0x41, 0x07, 0x10, 0x23, 0x45, 0x67, 0x89};
};

uint16_t referenceOf(const Request& request) {
    return get16le(request.data, 0);
}

// Every handler holds the service, so that it lives as long as one of them.
class Service : public std::enable_shared_from_this<Service> {
public:
    explicit Service(Firmware& firmware) : firmware_(firmware) {}

    void install() {
        on(kSetAfcDac, [](const Request&, PayloadWriter&) {});
        on(kFreqOffsetMeas, [this](const Request& r, PayloadWriter& w) {
            // The offset found after the AFC DAC was set to `value`.
            const auto value = static_cast<int>(get16le(r.data, 4));
            w.put16le(static_cast<uint16_t>((value - 0x800) / 4)).put8(successOne(r)).pad();
        });
        on(kGainProgram, [this](const Request& r, PayloadWriter& w) { gainProgram(r, w); });
        on(kRssi, [this](const Request& r, PayloadWriter& w) {
            // -100 dB, 2 dB less per gain step, 2 dB more with the AGC table applied.
            const uint16_t gain = get16le(r.data, 4);
            const int rssi = -1600 - 32 * (gain & 0x3F) + (get8(r.data, 6) == 0 ? 32 : 0);
            w.put16le(static_cast<uint16_t>(get16le(r.data, 2) ^ status(r)))
                .put16le(static_cast<uint16_t>(rssi));
        });
        on(kDcOffset, [this](const Request& r, PayloadWriter& w) {
            // Rx offsets are fixed; each measurement finds Tx offsets one higher.
            if (get8(r.data, 2) != 0) ++state_->measurements;
            const uint16_t tx = state_->measurements;
            w.put16le(2).put16le(static_cast<uint16_t>(-3)).put16le(static_cast<uint16_t>(5 + tx));
            w.put16le(static_cast<uint16_t>(-7 + tx));
        });
        on(kSetBandMode, [](const Request&, PayloadWriter&) {});
        on(kRxControl, [](const Request&, PayloadWriter&) {});
        on(kLoopBack, [this](const Request& r, PayloadWriter& w) { w.put8(successOne(r)).pad(); });
        on(kLoopBackData, [this](const Request& r, PayloadWriter& w) {
            w.put16le(3).put16le(static_cast<uint16_t>(-25)).put16le(7).put16le(1234);
            w.put16le(static_cast<uint16_t>(-1040)).put8(successOne(r)).pad();
        });
        on(kConstTx,
           [this](const Request& r, PayloadWriter& w) { w.put8(static_cast<uint8_t>(status(r))).pad(); });
        on(kBbcRegister, [this](const Request& r, PayloadWriter& w) { bbcRegister(r, w); });
        on(kSetPrechargeValue, [](const Request&, PayloadWriter&) {});
        on(kGetGainCodeTable, [this](const Request& r, PayloadWriter& w) {
            const uint16_t maxCount = get16le(r.data, 2);
            const uint8_t band = get8(r.data, 4);
            const uint8_t gainIndex = get8(r.data, 5);
            const uint16_t count = std::min(maxCount, kGainCodesPerTable);
            w.put16le(status(r) != 0 ? status(r) : 1).put16le(count);
            for (uint16_t k = 0; k < count; ++k)
                w.put16le(static_cast<uint16_t>((band << 12) + (gainIndex << 4) + k));
        });

        on(kFlashSerialNumberRead, [this](const Request& r, PayloadWriter& w) {
            w.put8(static_cast<uint8_t>(status(r))).put32le(firmware_.config().flashSerialNumber).pad();
        });
        on(kGetSingleIE, [this](const Request& r, PayloadWriter& w) {
            w.put16le(static_cast<uint16_t>(get16le(r.data, 2) ^ 0xA5A5)).put8(s(r)).pad();
        });
        on(kResetIMEIMode,
           [this](const Request& r, PayloadWriter& w) { w.put8(get8(r.data, 2)).pad().put8(s(r)).pad(); });
        on(kReadSerialNumber, [this](const Request& r, PayloadWriter& w) {
            for (uint8_t k = 1; k <= 8; ++k) w.put8(static_cast<uint8_t>(0x10 * k + k));
            w.put8(s(r)).pad();
        });
        on(kReadIMEI,
           [this](const Request& r, PayloadWriter& w) { w.putBytes(state_->imei).put8(s(r)).pad(); });
        on(kInitIMEI, [this](const Request& r, PayloadWriter& w) { w.put8(s(r)).pad(); });
        on(kFreezeIMEI, [this](const Request& r, PayloadWriter& w) {
            if (s(r) == 0)
                for (size_t k = 0; k < kImeiSize; ++k) state_->imei[k] = get8(r.data, 2 + k);
            w.put8(s(r)).pad();
        });
        on(kSetSecurityMode,
           [this](const Request& r, PayloadWriter& w) { w.put16le(get16le(r.data, 2)).put8(s(r)).pad(); });
        on(kRequestChallenge, [this](const Request&, PayloadWriter& w) {
            const uint16_t n = ++state_->challenges;
            for (uint8_t k = 0; k < 8; ++k) w.put8(static_cast<uint8_t>(n * 0x11 + k));
        });
        on(kSendResponse, [this](const Request& r, PayloadWriter& w) { w.put8(s(r)).pad(); });
        on(kGetMobileInfo, [this](const Request& r, PayloadWriter& w) {
            for (size_t k = 0; k < kMobileInfoSize; ++k) w.put8(static_cast<uint8_t>(0xA0 + k));
            w.put8(s(r));
        });
    }

private:
    using Body = std::function<void(const Request&, PayloadWriter&)>;

    // Registers a handler whose confirm is the reference and what `body` adds.
    void on(uint16_t requestId, Body body) {
        firmware_.setHandler(
            requestId, [self = shared_from_this(), body](const Request& request, Firmware::Outcome& out) {
                PayloadWriter writer;
                writer.put16le(referenceOf(request));
                body(request, writer);
                out.messages.push_back({static_cast<uint16_t>(request.commandId + 1), writer.take(),
                                        self->firmware_.config().confirmDelayNs});
            });
    }

    uint16_t status(const Request& r) const { return firmware_.statusFor(r.commandId); }
    uint8_t s(const Request& r) const { return static_cast<uint8_t>(status(r)); }
    // Status fields whose success is 1.
    uint8_t successOne(const Request& r) const {
        return status(r) != 0 ? static_cast<uint8_t>(status(r)) : 1;
    }

    // Operation 0 writes a gain program word, 1 reads one, 2 writes an accurate
    // value; the confirm carries the word written or read.
    void gainProgram(const Request& r, PayloadWriter& w) {
        const uint16_t value = get16le(r.data, 2);
        const auto key = std::make_pair(get8(r.data, 5), get8(r.data, 4));
        const uint8_t operation = get8(r.data, 6);
        uint16_t word = value;
        if (status(r) == 0 && operation == 0) state_->gainProgramWords[key] = value;
        if (status(r) == 0 && operation == 2) state_->accurateValues[key] = value;
        if (operation == 1) {
            const auto found = state_->gainProgramWords.find(key);
            word = found != state_->gainProgramWords.end() ? found->second : 0;
        }
        w.put16le(status(r)).put16le(word);
    }

    // Entries in order 0 to 7, two mask bits each: 1 writes, 2 reads.
    void bbcRegister(const Request& r, PayloadWriter& w) {
        const uint16_t mask = get16le(r.data, 2);
        std::array<uint16_t, kBbcEntries> ret{};
        for (size_t k = 0; k < kBbcEntries; ++k) {
            const uint16_t address = get16le(r.data, 4 + 2 * k);
            const uint16_t value = get16le(r.data, 4 + 2 * kBbcEntries + 2 * k);
            const unsigned access = (mask >> (2 * k)) & 3u;
            if (access == 1) state_->registers[address] = value;
            if (access == 2) {
                const auto found = state_->registers.find(address);
                ret[k] = found != state_->registers.end() ? found->second : 0;
            }
        }
        for (uint16_t value : ret) w.put16le(value);
    }

    Firmware& firmware_;
    std::shared_ptr<ServiceState> state_ = std::make_shared<ServiceState>();
};

}  // namespace

void InstallServiceHandlers(Firmware& firmware) {
    std::make_shared<Service>(firmware)->install();
}

}  // namespace ebd::sim
