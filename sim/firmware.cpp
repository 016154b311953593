#include "sim/firmware.h"

#include <span>
#include <utility>

#include "sim/firmware_nvram.h"
#include "sim/firmware_service.h"
#include "sim/payload.h"

namespace ebd::sim {
namespace {

constexpr uint8_t kTestMode = 2;
constexpr uint8_t kNormalMode = 0;
constexpr uint8_t kCr = 0x0D;
constexpr size_t kMaxAtCommandsKept = 100'000;

uint16_t referenceOf(const Request& request) {
    return get16le(request.data, 0);
}

}  // namespace

Firmware::Firmware() : Firmware(Config{}) {}

Firmware::Firmware(Config config) : config_(std::move(config)) {
    const auto bind = [this](void (Firmware::*member)(const Request&, Outcome&)) -> Handler {
        return [this, member](const Request& request, Outcome& out) { (this->*member)(request, out); };
    };
    handlers_[kGetVersion] = bind(&Firmware::getVersion);
    handlers_[kFinishTestMode] = bind(&Firmware::finishTestMode);
    handlers_[kSwitchOff] = bind(&Firmware::switchOff);
    handlers_[kAtCommand] = bind(&Firmware::atCommand);
    handlers_[kGetOperationMode] = bind(&Firmware::getOperationMode);
    handlers_[kSetOperationMode] = bind(&Firmware::setOperationModeRequest);
    handlers_[kJavaAutostart] = bind(&Firmware::javaAutostartRequest);
    InstallServiceHandlers(*this);
    InstallNvramHandlers(*this);
    start();
}

void Firmware::start() {
    operationMode_ = config_.startOperationMode;
}

Firmware::Outcome Firmware::handle(const Request& request) {
    Outcome out;
    const auto found = handlers_.find(request.commandId);
    if (found != handlers_.end()) {
        found->second(request, out);
    } else {
        generic(request, out);
    }
    return out;
}

void Firmware::setHandler(uint16_t requestId, Handler handler) {
    if (handler) {
        handlers_[requestId] = std::move(handler);
    } else {
        handlers_.erase(requestId);
    }
}

void Firmware::refuse(uint16_t requestId, uint16_t status) {
    if (status == 0) {
        refusals_.erase(requestId);
    } else {
        refusals_[requestId] = status;
    }
}

uint16_t Firmware::statusFor(uint16_t requestId) const {
    const auto found = refusals_.find(requestId);
    return found == refusals_.end() ? 0 : found->second;
}

void Firmware::setAtAnswers(const std::string& command, std::vector<std::string> answers) {
    atAnswers_[command] = std::move(answers);
}

std::vector<uint8_t> Firmware::defaultConfirm(uint16_t reference, size_t length) {
    return PayloadWriter{}.put16le(reference).padTo(length).take();
}

void Firmware::confirm(Outcome& out, const Request& request, std::vector<uint8_t> data,
                       uint64_t delayNs) const {
    out.messages.push_back({static_cast<uint16_t>(request.commandId + 1), std::move(data), delayNs});
}

// Confirm: ref, 2 pad, hardware version, RPC version, version text with its NUL.
void Firmware::getVersion(const Request& request, Outcome& out) {
    confirm(out, request,
            PayloadWriter{}
                .put16le(referenceOf(request))
                .pad(2)
                .put32le(config_.hardwareVersion)
                .put32le(config_.rpcVersion)
                .putText(config_.versionText)
                .take(),
            config_.confirmDelayNs);
}

// Confirm: ref.
void Firmware::finishTestMode(const Request& request, Outcome& out) {
    if (operationMode_ == kTestMode) operationMode_ = kNormalMode;
    confirm(out, request, PayloadWriter{}.put16le(referenceOf(request)).take(), config_.confirmDelayNs);
}

// No confirm: the module goes quiet and powers down.
void Firmware::switchOff(const Request&, Outcome& out) {
    out.switchOff = true;
}

// Request: ref, 128-byte text area holding the command, its CR and a NUL.
// Confirms: ref and an empty text area at once, then ref and the answer text.
void Firmware::atCommand(const Request& request, Outcome& out) {
    const uint16_t reference = referenceOf(request);
    std::string command;
    for (size_t i = 2; i < request.data.size() && i < 2 + kAtTextArea; ++i) {
        const uint8_t byte = request.data[i];
        if (byte == 0 || byte == kCr) break;
        command.push_back(static_cast<char>(byte));
    }
    if (atCommands_.size() < kMaxAtCommandsKept) atCommands_.push_back(command);

    const auto text = [reference](const std::string& answer) {
        return PayloadWriter{}.put16le(reference).putTextArea(answer, kAtTextArea).take();
    };
    confirm(out, request, text(""), config_.confirmDelayNs);

    const auto scripted = atAnswers_.find(command);
    const std::vector<std::string> answers =
        scripted != atAnswers_.end() ? scripted->second : std::vector<std::string>{config_.defaultAtAnswer};
    uint64_t delay = config_.atAnswerDelayNs;
    for (const std::string& answer : answers) {
        confirm(out, request, text(answer), delay);
        delay += config_.furtherAnswerDelayNs;
    }
}

// Confirm: ref, status (16-bit), mode, pad.
void Firmware::getOperationMode(const Request& request, Outcome& out) {
    confirm(out, request,
            PayloadWriter{}
                .put16le(referenceOf(request))
                .put16le(statusFor(request.commandId))
                .put8(operationMode_)
                .pad()
                .take(),
            config_.confirmDelayNs);
}

// Request: ref, mode, pad. Confirm: ref, status (16-bit).
void Firmware::setOperationModeRequest(const Request& request, Outcome& out) {
    const uint16_t status = statusFor(request.commandId);
    if (status == 0) operationMode_ = get8(request.data, 2);
    confirm(out, request, PayloadWriter{}.put16le(referenceOf(request)).put16le(status).take(),
            config_.confirmDelayNs);
}

// Request: ref, onOff, pad. Confirm: ref, result (8-bit), pad.
void Firmware::javaAutostartRequest(const Request& request, Outcome& out) {
    const uint16_t status = statusFor(request.commandId);
    if (status == 0) javaAutostart_ = get8(request.data, 2) != 0;
    confirm(out, request,
            PayloadWriter{}.put16le(referenceOf(request)).put8(static_cast<uint8_t>(status)).pad().take(),
            config_.confirmDelayNs);
}

void Firmware::generic(const Request& request, Outcome& out) {
    std::vector<uint8_t> data = defaultConfirm(referenceOf(request), config_.genericConfirmLength);
    const uint16_t status = statusFor(request.commandId);
    if (status != 0 && data.size() >= 4) {
        data[2] = static_cast<uint8_t>(status);
        data[3] = static_cast<uint8_t>(status >> 8);
    }
    confirm(out, request, std::move(data), config_.confirmDelayNs);
}

}  // namespace ebd::sim
