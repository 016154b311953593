#include "sim/firmware_nvram.h"

#include <algorithm>
#include <span>

#include "sim/payload.h"

namespace ebd::sim {
namespace {

constexpr uint16_t kNvRamRead = 49;
constexpr uint16_t kNvRamWrite = 51;
constexpr uint16_t kNvRamDelete = 53;
constexpr uint16_t kNvRamErase = 55;
constexpr uint16_t kNvRamReadCal = 57;
constexpr uint16_t kNvRamWriteCal = 59;
constexpr uint16_t kNvRamEraseCal = 61;
constexpr uint16_t kSaveAllOther = 63;
constexpr uint16_t kRestoreAllOther = 65;
constexpr uint16_t kWriteBandMode = 69;
constexpr uint16_t kReadBandMode = 103;
constexpr uint16_t kYKNvRamReadCal = 105;
constexpr uint16_t kSetBurstData = 23;
constexpr uint16_t kSetBurst = 25;
constexpr uint16_t kRampScale = 27;
constexpr uint16_t kSetPowerRamp = 29;
constexpr uint16_t kSlotDefine = 37;
constexpr uint16_t kFrameDefine = 39;
constexpr uint16_t kFrameTiming = 41;
constexpr uint16_t kFrameUse = 43;

// Read confirms: ref, length, status, data; a message holds at most 1500 bytes.
constexpr size_t kReadHeader = 5;
constexpr size_t kMaxMessage = 1500;
// Check statuses: the item exists, does not exist, is not known.
constexpr uint8_t kExists = 0;
constexpr uint8_t kMissing = 1;
constexpr uint8_t kNotThere = 2;
constexpr uint8_t kUnknown = 4;
constexpr uint16_t kForeignReferenceMask = 0x5A5A;

uint16_t referenceOf(const Request& request) {
    return get16le(request.data, 0);
}

// `count` bytes of the request from `offset`, as far as the request reaches.
std::vector<uint8_t> bytesOf(const Request& request, size_t offset, size_t count) {
    if (offset >= request.data.size()) return {};
    const size_t available = std::min(count, request.data.size() - offset);
    const auto begin = request.data.begin() + static_cast<std::ptrdiff_t>(offset);
    return {begin, begin + static_cast<std::ptrdiff_t>(available)};
}

class NvramFirmware {
public:
    NvramFirmware(Firmware& firmware, std::shared_ptr<NvramMemory> memory)
        : firmware_(firmware), memory_(std::move(memory)) {}

    // The handlers share the state through their captures; nothing else holds it.
    static void install(const std::shared_ptr<NvramFirmware>& self) {
        const auto bind = [&self](void (NvramFirmware::*member)(const Request&, Firmware::Outcome&)) {
            return [self, member](const Request& request, Firmware::Outcome& out) {
                ((*self).*member)(request, out);
            };
        };
        Firmware& firmware = self->firmware_;
        firmware.setHandler(kNvRamRead, bind(&NvramFirmware::readUser));
        firmware.setHandler(kNvRamWrite, bind(&NvramFirmware::writeUser));
        firmware.setHandler(kNvRamDelete, bind(&NvramFirmware::deleteUser));
        firmware.setHandler(kNvRamErase, bind(&NvramFirmware::eraseUser));
        firmware.setHandler(kNvRamReadCal, bind(&NvramFirmware::readCalibration8));
        firmware.setHandler(kYKNvRamReadCal, bind(&NvramFirmware::readCalibration16));
        firmware.setHandler(kNvRamWriteCal, bind(&NvramFirmware::writeCalibration));
        firmware.setHandler(kNvRamEraseCal, bind(&NvramFirmware::eraseCalibration));
        firmware.setHandler(kSaveAllOther, bind(&NvramFirmware::saveOther));
        firmware.setHandler(kRestoreAllOther, bind(&NvramFirmware::restoreOther));
        firmware.setHandler(kWriteBandMode, bind(&NvramFirmware::writeBandMode));
        firmware.setHandler(kReadBandMode, bind(&NvramFirmware::readBandMode));
        for (uint16_t id : {kSetBurstData, kRampScale, kSetPowerRamp, kFrameTiming, kFrameUse})
            firmware.setHandler(id, bind(&NvramFirmware::referenceOnly));
        firmware.setHandler(kSetBurst, bind(&NvramFirmware::setBurst));
        firmware.setHandler(kSlotDefine, bind(&NvramFirmware::define));
        firmware.setHandler(kFrameDefine, bind(&NvramFirmware::define));
    }

private:
    void confirm(Firmware::Outcome& out, const Request& request, std::vector<uint8_t> data) const {
        out.messages.push_back({static_cast<uint16_t>(request.commandId + 1), std::move(data),
                                firmware_.config().confirmDelayNs});
    }
    void changed(const Request& request) const {
        if (memory_->afterCalibrationChange) memory_->afterCalibrationChange(request);
    }

    // Confirm: ref, status, pad.
    void statusConfirm(Firmware::Outcome& out, const Request& request, uint8_t status) const {
        confirm(out, request, PayloadWriter{}.put16le(referenceOf(request)).put8(status).pad().take());
    }
    uint8_t refusal(const Request& request) const {
        return static_cast<uint8_t>(firmware_.statusFor(request.commandId));
    }

    // Confirm: ref, length, status, then up to `readSize` bytes of the item.
    void readConfirm(Firmware::Outcome& out, const Request& request, uint16_t reference, uint8_t status,
                     const std::vector<uint8_t>* item, size_t readSize, uint16_t reportedLength) const {
        PayloadWriter writer;
        writer.put16le(reference).put16le(reportedLength).put8(status);
        if (item != nullptr) {
            const size_t count = std::min({item->size(), readSize, kMaxMessage - kReadHeader});
            writer.putBytes(std::span<const uint8_t>(item->data(), count));
        }
        // A check's confirm is a record of 6 bytes, its last the pad.
        if (readSize == 1) writer.padTo(kReadHeader + 1);
        confirm(out, request, writer.take());
    }

    // Request: ref, key, userId, dataSize, pad.
    void readUser(const Request& request, Firmware::Outcome& out) {
        const auto found = memory_->userItems.find({get32le(request.data, 4), get16le(request.data, 2)});
        const std::vector<uint8_t>* item = found != memory_->userItems.end() ? &found->second : nullptr;
        uint8_t status = item != nullptr ? 0 : kNotThere;
        if (refusal(request) != 0) status = refusal(request);
        const auto length = static_cast<uint16_t>(item != nullptr ? item->size() : 0);
        readConfirm(out, request, referenceOf(request), status, item, get16le(request.data, 8), length);
    }

    // Request: ref, key, userId, dataSize, data, pad.
    void writeUser(const Request& request, Firmware::Outcome& out) {
        const uint8_t status = refusal(request);
        if (status == 0)
            memory_->userItems[{get32le(request.data, 4), get16le(request.data, 2)}] =
                bytesOf(request, 10, get16le(request.data, 8));
        statusConfirm(out, request, status);
    }

    // Request: ref, key, userId.
    void deleteUser(const Request& request, Firmware::Outcome& out) {
        const uint8_t status = refusal(request);
        if (status == 0) memory_->userItems.erase({get32le(request.data, 4), get16le(request.data, 2)});
        statusConfirm(out, request, status);
    }

    void eraseUser(const Request& request, Firmware::Outcome& out) {
        const uint8_t status = refusal(request);
        if (status == 0) memory_->userItems.clear();
        statusConfirm(out, request, status);
    }

    // Request: ref, read size, calibration id (8-bit), pad.
    void readCalibration8(const Request& request, Firmware::Outcome& out) {
        readCalibration(request, out, get8(request.data, 4));
    }
    // Request: ref, read size, calibration id (16-bit).
    void readCalibration16(const Request& request, Firmware::Outcome& out) {
        readCalibration(request, out, get16le(request.data, 4));
    }

    // A read of one byte is a check; its status tells whether the item exists.
    void readCalibration(const Request& request, Firmware::Outcome& out, uint16_t id) {
        const uint16_t readSize = get16le(request.data, 2);
        if (memory_->onCalibrationRead) memory_->onCalibrationRead(id, readSize);
        const auto found = memory_->calibrationItems.find(id);
        const std::vector<uint8_t>* item =
            found != memory_->calibrationItems.end() ? &found->second : nullptr;
        uint16_t reference = referenceOf(request);
        uint8_t status = 0;
        if (memory_->unknownIds.count(id) != 0) {
            status = kUnknown;
            item = nullptr;
        } else if (readSize == 1) {
            status = item != nullptr ? kExists : kMissing;
        } else {
            status = item != nullptr ? kExists : kNotThere;
            if (const auto fault = memory_->readStatus.find(id); fault != memory_->readStatus.end())
                status = fault->second;
            if (memory_->readForeignReference.count(id) != 0) reference ^= kForeignReferenceMask;
        }
        if (refusal(request) != 0) status = refusal(request);
        uint16_t length = 0;
        if (item != nullptr) length = static_cast<uint16_t>(readSize == 1 ? 1 : item->size());
        if (const auto reported = memory_->reportedLength.find(id);
            reported != memory_->reportedLength.end() && readSize != 1)
            length = reported->second;
        readConfirm(out, request, reference, status, item, readSize, length);
    }

    // Request: ref, calibration id (16-bit), dataSize, data, pad.
    void writeCalibration(const Request& request, Firmware::Outcome& out) {
        const uint16_t id = get16le(request.data, 2);
        uint8_t status = refusal(request);
        if (const auto fault = memory_->writeStatus.find(id); fault != memory_->writeStatus.end())
            status = fault->second;
        if (status == 0) memory_->calibrationItems[id] = bytesOf(request, 6, get16le(request.data, 4));
        changed(request);
        statusConfirm(out, request, status);
    }

    void eraseCalibration(const Request& request, Firmware::Outcome& out) {
        const uint8_t status = refusal(request);
        if (status == 0) memory_->calibrationItems.clear();
        changed(request);
        statusConfirm(out, request, status);
    }

    // Request: ref, lastCalItem. The items from lastCalItem on are kept aside.
    void saveOther(const Request& request, Firmware::Outcome& out) {
        const uint8_t status = refusal(request);
        if (status == 0) {
            memory_->savedOther.clear();
            const uint16_t last = get16le(request.data, 2);
            for (const auto& [id, data] : memory_->calibrationItems)
                if (id >= last) memory_->savedOther[id] = data;
        }
        changed(request);
        statusConfirm(out, request, status);
    }

    void restoreOther(const Request& request, Firmware::Outcome& out) {
        const uint8_t status = refusal(request);
        if (status == 0) {
            for (const auto& [id, data] : memory_->savedOther) memory_->calibrationItems[id] = data;
            memory_->savedOther.clear();
        }
        changed(request);
        statusConfirm(out, request, status);
    }

    // Request: ref, bandMode, pad. Confirm: ref, status, pad.
    void writeBandMode(const Request& request, Firmware::Outcome& out) {
        const uint8_t status = refusal(request);
        if (status == 0 && !memory_->ignoreBandModeWrites) memory_->bandMode = get8(request.data, 2);
        statusConfirm(out, request, status);
    }

    // Request: ref. Confirm: read result (16-bit, 0 = failed), band mode, pad.
    void readBandMode(const Request& request, Firmware::Outcome& out) {
        uint16_t result = 1;
        if (memory_->failedBandModeReads > 0) {
            --memory_->failedBandModeReads;
            result = 0;
        }
        if (refusal(request) != 0) result = 0;
        confirm(out, request, PayloadWriter{}.put16le(result).put8(memory_->bandMode).pad().take());
    }

    void referenceOnly(const Request& request, Firmware::Outcome& out) {
        confirm(out, request, PayloadWriter{}.put16le(referenceOf(request)).take());
    }

    // Confirm: ref, 2 unused bytes, the burst type of the request, pad.
    void setBurst(const Request& request, Firmware::Outcome& out) {
        const auto burstType = static_cast<uint8_t>(get8(request.data, 22) ^ refusal(request));
        confirm(out, request,
                PayloadWriter{}.put16le(referenceOf(request)).pad(2).put8(burstType).pad().take());
    }

    // Confirm: ref, status (1 = success), pad.
    void define(const Request& request, Firmware::Outcome& out) {
        const uint8_t refused = refusal(request);
        statusConfirm(out, request, refused != 0 ? refused : 1);
    }

    Firmware& firmware_;
    std::shared_ptr<NvramMemory> memory_;
};

}  // namespace

void InstallNvramHandlers(Firmware& firmware) {
    InstallNvramHandlers(firmware, std::make_shared<NvramMemory>());
}

void InstallNvramHandlers(Firmware& firmware, std::shared_ptr<NvramMemory> memory) {
    if (!memory) memory = std::make_shared<NvramMemory>();
    NvramFirmware::install(std::make_shared<NvramFirmware>(firmware, std::move(memory)));
}

}  // namespace ebd::sim
