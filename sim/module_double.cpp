#include "sim/module_double.h"

#include <string>

#include <algorithm>
#include <array>

namespace ebd::sim {
namespace {

constexpr uint32_t kBootloaderBaud = 57600;
constexpr uint32_t kDefaultBaud = 115200;
constexpr uint64_t kBitsPerByte = 11;  // start bit, 8 data bits, 2 stop bits
constexpr uint64_t kNsPerSecond = 1'000'000'000;
constexpr uint64_t kNever = UINT64_MAX;
// Far more events than any stretch of virtual time can hold; it only keeps a
// fault in the double from hanging its host.
constexpr size_t kMaxEventsPerAdvance = 1'000'000;
// Own frames waiting to be sent; a host that floods the module loses confirms.
constexpr size_t kMaxOutgoing = 4096;
constexpr std::array<uint8_t, 2> kNoCommunication{0x7D, 0x77};
constexpr uint8_t kForeignReferenceMask = 0x5A;
// Bytes an endless babble puts on the line at a time.
constexpr size_t kBabbleChunk = 64;
// Stray bytes run through the printable characters: none starts a frame or
// acknowledges one, and no two in a row read as the "no communication" answer.
constexpr uint8_t kFirstStray = 0x20;
constexpr uint8_t kLastStray = 0x7E;
// The message of its own a module that misbehaves from NOMI entry on sends.
constexpr uint16_t kOwnMessageId = 0x0206;

}  // namespace

ModuleDouble::ModuleDouble() : ModuleDouble(Settings{}, Firmware::Config{}) {}

ModuleDouble::ModuleDouble(Settings settings) : ModuleDouble(settings, Firmware::Config{}) {}

ModuleDouble::ModuleDouble(Settings settings, Firmware::Config firmware)
    : settings_(settings), firmware_(std::move(firmware)) {
    switch (settings_.start) {
        case State::Off:
        case State::Nomi:
            state_ = settings_.start;
            break;
        default:
            state_ = State::At;
            break;
    }
}

// ---- Faults ---------------------------------------------------------------

void ModuleDouble::nakHostFrames(int count) {
    nakHostFrames_ = std::max(count, 0);
}

void ModuleDouble::foreignReference(uint16_t requestId, int times) {
    foreignReferences_.push_back({requestId, times});
}

void ModuleDouble::repeatConfirm(uint16_t requestId, int times) {
    repeatedConfirms_.push_back({requestId, times});
}

void ModuleDouble::withholdConfirm(uint16_t requestId, int times) {
    withheldConfirms_.push_back({requestId, times});
}

void ModuleDouble::cutConfirm(uint16_t requestId, size_t bytes, int times) {
    cutConfirms_.push_back({requestId, times, bytes});
}

void ModuleDouble::startEndless(Endless kind, uint16_t requestId) {
    stopEndless();
    endless_ = kind;
    endlessTrigger_ = requestId;
    if (requestId == kOnNomiEntry && state_ == State::Nomi) {
        runEndless({kOwnMessageId, {0x41, 0x42, 0x43, 0x44}, 0}, now_);
        fireDueEvents();
    }
}

void ModuleDouble::repeatSegment(size_t index) {
    repeatedSegment_ = index;
}

void ModuleDouble::inject(uint64_t atNs, std::vector<uint8_t> bytes) {
    injections_.emplace(atNs, std::move(bytes));
}

void ModuleDouble::injectBeforeNextConfirm(std::vector<uint8_t> bytes) {
    strayBeforeConfirm_.insert(strayBeforeConfirm_.end(), bytes.begin(), bytes.end());
}

void ModuleDouble::sendMessage(uint16_t commandId, std::vector<uint8_t> data, uint64_t notBeforeNs) {
    queueMessage(commandId, std::move(data), notBeforeNs);
}

void ModuleDouble::clearFaults() {
    nakHostFrames_ = 0;
    foreignReferences_.clear();
    repeatedConfirms_.clear();
    withheldConfirms_.clear();
    cutConfirms_.clear();
    stopEndless();
    endless_ = Endless::None;
    repeatedSegment_.reset();
    injections_.clear();
    strayBeforeConfirm_.clear();
}

std::vector<uint8_t> ModuleDouble::exitReport(std::string_view text) {
    const std::string report = "EXIT " + std::string(text);
    return std::vector<uint8_t>(report.begin(), report.end());
}

bool ModuleDouble::takeFault(std::vector<CountedFault>& faults, uint16_t requestId, size_t* bytes) {
    for (auto it = faults.begin(); it != faults.end(); ++it) {
        if (it->requestId != kAnyRequest && it->requestId != requestId) continue;
        if (bytes != nullptr) *bytes = it->bytes;
        if (it->remaining > 0 && --it->remaining == 0) faults.erase(it);
        return true;
    }
    return false;
}

void ModuleDouble::clearRecords() {
    received_.clear();
    sent_.clear();
    hostFrames_.clear();
    requests_.clear();
    lineEvents_.clear();
    messages_.clear();
}

// ---- The host's side of the line ------------------------------------------

void ModuleDouble::onHostBytes(const uint8_t* data, size_t count, uint64_t nowNs) {
    if (data == nullptr || count == 0) return;
    // The bytes of one write arrived one after the other, the last at nowNs.
    const uint64_t spacing = byteNs();
    for (size_t i = 0; i < count; ++i) {
        const uint64_t behind = count - 1 - i;
        const uint64_t arrival = behind > nowNs / spacing ? 0 : nowNs - behind * spacing;
        advanceTo(std::max(arrival, now_));
        takeByte(data[i], now_);
    }
    if (state_ == State::Off && settings_.noCommunicationAnswer && settings_.silence != Silence::All) {
        emit(kNoCommunication, now_);
    }
}

void ModuleDouble::onLine(const platform::LineSettings& settings, uint64_t nowNs) {
    advanceTo(nowNs);
    const bool wasRaised = line_.dtr;
    line_ = settings;
    record(lineEvents_, {LineEvent::Kind::Line, line_, now_});
    // DTR raised drives the ignition low: an off module starts when it is held.
    if (!line_.dtr) {
        ignitionNs_ = kNever;
    } else if (!wasRaised && state_ == State::Off) {
        dtrRaisedNs_ = now_;
        ignitionNs_ = now_ + settings_.ignitionHoldNs;
        if (settings_.ignitionHoldNs == 0) fireDueEvents();
    }
}

void ModuleDouble::onOpen(bool open, uint64_t nowNs) {
    advanceTo(nowNs);
    record(lineEvents_, {open ? LineEvent::Kind::Open : LineEvent::Kind::Close, line_, now_});
}

void ModuleDouble::onPurge(uint64_t nowNs) {
    advanceTo(nowNs);
    while (!output_.empty() && output_.front().atNs <= now_) output_.pop_front();
    record(lineEvents_, {LineEvent::Kind::Purge, line_, now_});
}

bool ModuleDouble::frontOutput(uint64_t* atNs) const {
    if (output_.empty()) return false;
    if (atNs != nullptr) *atNs = output_.front().atNs;
    return true;
}

uint8_t ModuleDouble::popOutput() {
    if (output_.empty()) return 0;
    const uint8_t value = output_.front().value;
    output_.pop_front();
    return value;
}

// ---- Time -------------------------------------------------------------------

uint64_t ModuleDouble::frameDeadline() const {
    if (state_ != State::Nomi || deaf()) return kNever;
    return reader_.deadline(settings_.interByteTimeoutNs);
}

uint64_t ModuleDouble::ackDeadline() const {
    return awaitingAck_ && canSendFrames() ? ackDeadlineNs_ : kNever;
}

uint64_t ModuleDouble::outgoingDue() const {
    if (awaitingAck_ || outgoing_.empty() || !canSendFrames()) return kNever;
    return outgoing_.front().notBeforeNs;
}

uint64_t ModuleDouble::babbleDue() const {
    return babbling() ? std::max(txFreeNs_, now_) : kNever;
}

uint64_t ModuleDouble::nextEventNs() const {
    uint64_t next =
        std::min({ignitionNs_, stateTimerNs_, frameDeadline(), ackDeadline(), outgoingDue(), babbleDue()});
    if (!injections_.empty()) next = std::min(next, injections_.begin()->first);
    return next;
}

void ModuleDouble::advanceTo(uint64_t nowNs) {
    for (size_t i = 0; i < kMaxEventsPerAdvance; ++i) {
        const uint64_t next = nextEventNs();
        if (next > nowNs) break;
        now_ = std::max(now_, next);
        fireDueEvents();
    }
    now_ = std::max(now_, nowNs);
}

void ModuleDouble::fireDueEvents() {
    if (ignitionNs_ <= now_) {
        ignitionNs_ = kNever;
        if (state_ == State::Off) powerOn(dtrRaisedNs_);
    }
    if (stateTimerNs_ <= now_) {
        stateTimerNs_ = kNever;
        switch (state_) {
            case State::Bootloader:
                // Nobody asked for the bootloader in time: the firmware starts.
                if (!bootloader_.patternSeen()) startFirmware(now_);
                break;
            case State::Booting:
                state_ = State::At;
                firmware_.start();
                at_.reset();
                break;
            case State::At:
                if (nomiSwitchPending_) {
                    nomiSwitchPending_ = false;
                    state_ = State::Nomi;
                    reader_.reset();
                    assembler_.reset();
                    if (endless_ != Endless::None && !endlessRunning_ && endlessTrigger_ == kOnNomiEntry)
                        runEndless({kOwnMessageId, {0x41, 0x42, 0x43, 0x44}, 0}, now_);
                }
                break;
            case State::SwitchingOff:
                powerOff(now_);
                break;
            case State::Off:
            case State::Nomi:
                break;
        }
    }
    if (frameDeadline() <= now_) {
        reader_.abandon();
        record(hostFrames_, {{}, FrameVerdict::Abandoned, now_});
        answer(std::array<uint8_t, 1>{kNak}, now_);
    }
    if (ackDeadline() <= now_) ownFrameRefused();
    while (!injections_.empty() && injections_.begin()->first <= now_) {
        emit(injections_.begin()->second, now_, 0);
        injections_.erase(injections_.begin());
    }
    if (babbleDue() <= now_) babble();
    pumpOutgoing();
}

// ---- Incoming bytes by state ----------------------------------------------

bool ModuleDouble::deaf() const {
    return settings_.silence == Silence::All ||
           (settings_.silence == Silence::Nomi && state_ == State::Nomi) || now_ >= settings_.silentFromNs ||
           babbling() || silentForEver();
}

bool ModuleDouble::canSendFrames() const {
    return state_ == State::Nomi && !deaf();
}

void ModuleDouble::takeByte(uint8_t byte, uint64_t atNs) {
    record(received_, {byte, atNs});
    if (deaf()) return;
    switch (state_) {
        case State::Off:
        case State::Booting:
        case State::SwitchingOff:
            return;
        case State::Bootloader: {
            // Before it is up, or at another speed, it sees only noise.
            if (atNs < bootloaderReadyNs_ || line_.baudRate != kBootloaderBaud) return;
            const Bootloader::Answer reply = bootloader_.feed(byte, settings_.bootloader);
            answer(reply.bytes, atNs);
            if (reply.boot) startFirmware(atNs);
            return;
        }
        case State::At: {
            const AtInterpreter::Answer reply = at_.feed(byte, settings_.at);
            answer(reply.bytes, atNs);
            if (reply.switchToNomi) {
                nomiSwitchPending_ = true;
                stateTimerNs_ = std::max(txFreeNs_, atNs) + settings_.nomiSwitchDelayNs;
            }
            return;
        }
        case State::Nomi:
            takeNomiByte(byte, atNs);
            return;
    }
}

void ModuleDouble::takeNomiByte(uint8_t byte, uint64_t atNs) {
    switch (reader_.feed(byte, atNs)) {
        case FrameReader::Event::None:
            return;
        case FrameReader::Event::OutsideFrame:
            if (byte == kAck) {
                if (awaitingAck_) {
                    awaitingAck_ = false;
                    pendingFrame_.clear();
                    pumpOutgoing();
                }
            } else if (byte == kNak) {
                if (awaitingAck_) ownFrameRefused();
            } else {
                answer(std::array<uint8_t, 1>{kNak}, atNs);
            }
            return;
        case FrameReader::Event::Frame:
            takeHostFrame(reader_.payload(), atNs);
            return;
        case FrameReader::Event::BadCheck:
        case FrameReader::Event::BadEnd: {
            const std::span<const uint8_t> payload = reader_.payload();
            const FrameVerdict verdict = byte == kEtx ? FrameVerdict::BadCheck : FrameVerdict::BadEnd;
            record(hostFrames_, {{payload.begin(), payload.end()}, verdict, atNs});
            answer(std::array<uint8_t, 1>{kNak}, atNs);
            return;
        }
        case FrameReader::Event::Abandoned:
            return;
    }
}

void ModuleDouble::takeHostFrame(std::span<const uint8_t> payload, uint64_t atNs) {
    std::vector<uint8_t> copy(payload.begin(), payload.end());
    if (nakHostFrames_ > 0) {
        --nakHostFrames_;
        record(hostFrames_, {std::move(copy), FrameVerdict::Refused, atNs});
        answer(std::array<uint8_t, 1>{kNak}, atNs);
        return;
    }
    record(hostFrames_, {copy, FrameVerdict::Acked, atNs});
    if (assembler_.take(copy) != RequestAssembler::Result::Complete) {
        answer(std::array<uint8_t, 1>{kAck}, atNs);
        return;
    }
    Request request{assembler_.commandId(), assembler_.lengthField(), assembler_.data(), atNs};
    record(requests_, request);
    // The observer may make the module fall silent before it acknowledges.
    if (onRequest) onRequest(request);
    answer(std::array<uint8_t, 1>{kAck}, atNs);
    if (deaf()) return;
    dispatch(request);
}

// ---- Firmware and own messages ----------------------------------------------

void ModuleDouble::dispatch(const Request& request) {
    Firmware::Outcome outcome = firmware_.handle(request);
    if (outcome.switchOff && !settings_.neverSwitchOff) {
        stopEndless();
        // Quiet at once, off a little later.
        state_ = State::SwitchingOff;
        stateTimerNs_ = request.atNs + settings_.switchOffDelayNs;
        resetLink();
        return;
    }
    if (outcome.messages.empty()) return;
    // A module stuck in an endless misbehaviour sends no further confirm.
    if (endlessRunning_) return;
    if (endless_ != Endless::None &&
        (endlessTrigger_ == kAnyRequest || endlessTrigger_ == request.commandId)) {
        const Message& first = outcome.messages.front();
        runEndless(first, request.atNs + first.delayNs);
        return;
    }
    if (takeFault(withheldConfirms_, request.commandId)) return;
    size_t cutTo = 0;
    if (takeFault(cutConfirms_, request.commandId, &cutTo)) {
        for (Message& message : outcome.messages)
            if (message.data.size() > cutTo) message.data.resize(cutTo);
    }
    const bool foreign = takeFault(foreignReferences_, request.commandId);
    const bool repeat = takeFault(repeatedConfirms_, request.commandId);
    for (Message& message : outcome.messages) {
        if (foreign && message.data.size() >= 2) {
            message.data[0] ^= kForeignReferenceMask;
            message.data[1] ^= kForeignReferenceMask;
        }
        const uint64_t notBefore = request.atNs + message.delayNs;
        queueMessage(message.commandId, message.data, notBefore);
        if (repeat) queueMessage(message.commandId, message.data, notBefore);
    }
}

void ModuleDouble::queueMessage(uint16_t commandId, std::vector<uint8_t> data, uint64_t notBeforeNs) {
    if (outgoing_.size() >= kMaxOutgoing) return;
    if (!strayBeforeConfirm_.empty()) {
        outgoing_.push_back({std::move(strayBeforeConfirm_), false, notBeforeNs});
        strayBeforeConfirm_.clear();
    }
    const std::vector<std::vector<uint8_t>> segments = splitMessage(commandId, data, settings_.splitSize);
    for (size_t i = 0; i < segments.size(); ++i) {
        std::vector<uint8_t> frame = encodeFrame(segments[i]);
        if (repeatedSegment_ == i) outgoing_.push_back({frame, true, notBeforeNs});
        outgoing_.push_back({std::move(frame), true, notBeforeNs});
    }
    repeatedSegment_.reset();
    record(messages_, {commandId, std::move(data), now_});
    pumpOutgoing();
}

void ModuleDouble::pumpOutgoing() {
    refillEndlessFrames();
    while (outgoingDue() <= now_) {
        Outgoing next = std::move(outgoing_.front());
        outgoing_.pop_front();
        if (!next.frame) {
            emit(next.bytes, now_);
            continue;
        }
        pendingFrame_ = std::move(next.bytes);
        repeatsDone_ = 0;
        sendPendingFrame();
    }
}

void ModuleDouble::sendPendingFrame() {
    emit(pendingFrame_, now_);
    awaitingAck_ = true;
    ackDeadlineNs_ = txFreeNs_ + settings_.ackTimeoutNs;
}

// NAK, or no ACK in time: the frame goes again, a bounded number of times.
void ModuleDouble::ownFrameRefused() {
    if (repeatsDone_ < settings_.maxRepeats) {
        ++repeatsDone_;
        sendPendingFrame();
        return;
    }
    awaitingAck_ = false;
    pendingFrame_.clear();
    ackDeadlineNs_ = kNever;
    pumpOutgoing();
}

// ---- Endless misbehaviours -----------------------------------------------------------

bool ModuleDouble::silentForEver() const {
    return endlessRunning_ && state_ == State::Nomi && endless_ == Endless::Silent;
}

bool ModuleDouble::babbling() const {
    return endlessRunning_ && state_ == State::Nomi &&
           (endless_ == Endless::StxFlood || endless_ == Endless::StrayBytes);
}

void ModuleDouble::babble() {
    std::array<uint8_t, kBabbleChunk> chunk{};
    for (uint8_t& byte : chunk) {
        if (endless_ == Endless::StxFlood) {
            byte = kStx;
            continue;
        }
        byte = static_cast<uint8_t>(kFirstStray + strayNext_);
        strayNext_ = static_cast<uint8_t>((strayNext_ + 1) % (kLastStray - kFirstStray + 1));
    }
    emit(chunk, now_, 0);
}

// `message` (a confirm, or a message of its own) is where the frame kinds take
// their frames from; they go out from `notBeforeNs` on.
void ModuleDouble::runEndless(const Message& message, uint64_t notBeforeNs) {
    endlessRunning_ = true;
    endlessFrames_.clear();
    switch (endless_) {
        case Endless::None:
            endlessRunning_ = false;
            return;
        case Endless::Silent:
        case Endless::StxFlood:
        case Endless::StrayBytes:
            return;
        case Endless::BadCheckFrame: {
            std::vector<uint8_t> frame = encodeFrame(splitMessage(message.commandId, message.data).front());
            frame[frame.size() - 2] ^= 0xFF;
            endlessFrames_.push_back(std::move(frame));
            break;
        }
        case Endless::SameSegment: {
            // Cut so that there are at least two segments, the first never the last.
            const size_t half = std::max<size_t>(1, message.data.size() / 2);
            const size_t split = message.data.size() > 1 ? half : 0;
            std::vector<std::vector<uint8_t>> segments = splitMessage(message.commandId, message.data, split);
            if (segments.size() < 2) segments.front()[1] = 0;
            endlessFrames_.push_back(encodeFrame(segments.front()));
            break;
        }
        case Endless::SameConfirm:
            for (const auto& segment : splitMessage(message.commandId, message.data, settings_.splitSize))
                endlessFrames_.push_back(encodeFrame(segment));
            break;
    }
    for (const auto& frame : endlessFrames_) outgoing_.push_back({frame, true, notBeforeNs});
    record(messages_, {message.commandId, message.data, now_});
    pumpOutgoing();
}

void ModuleDouble::refillEndlessFrames() {
    if (!endlessRunning_ || endlessFrames_.empty() || !outgoing_.empty() || awaitingAck_) return;
    for (const auto& frame : endlessFrames_) outgoing_.push_back({frame, true, now_});
}

void ModuleDouble::stopEndless() {
    endlessRunning_ = false;
    endlessFrames_.clear();
}

// ---- Power ----------------------------------------------------------------------

// The module's delays count from the raise of DTR, not from the end of the hold.
void ModuleDouble::powerOn(uint64_t raisedNs) {
    ++powerOns_;
    stopEndless();
    resetLink();
    at_.reset();
    bootloader_.reset();
    nomiSwitchPending_ = false;
    if (line_.baudRate == kBootloaderBaud) {
        state_ = State::Bootloader;
        bootloaderReadyNs_ = raisedNs + settings_.bootloaderDelayNs;
        stateTimerNs_ = std::max(raisedNs + settings_.bootloaderWindowNs, now_);
    } else {
        startFirmware(raisedNs);
    }
}

void ModuleDouble::startFirmware(uint64_t fromNs) {
    state_ = State::Booting;
    stateTimerNs_ = std::max(fromNs + settings_.bootDelayNs, now_);
}

void ModuleDouble::powerOff(uint64_t atNs) {
    stopEndless();
    state_ = State::Off;
    stateTimerNs_ = kNever;
    nomiSwitchPending_ = false;
    resetLink();
    // What had not left the module yet never will.
    while (!output_.empty() && output_.back().atNs > atNs) output_.pop_back();
    txFreeNs_ = std::min(txFreeNs_, atNs);
}

void ModuleDouble::resetLink() {
    outgoing_.clear();
    awaitingAck_ = false;
    pendingFrame_.clear();
    ackDeadlineNs_ = kNever;
    reader_.reset();
    assembler_.reset();
}

// ---- Output -----------------------------------------------------------------------

void ModuleDouble::answer(std::span<const uint8_t> bytes, uint64_t triggerNs) {
    if (!deaf()) emit(bytes, triggerNs);
}

void ModuleDouble::emit(std::span<const uint8_t> bytes, uint64_t triggerNs) {
    emit(bytes, triggerNs, settings_.answerLatencyNs);
}

void ModuleDouble::emit(std::span<const uint8_t> bytes, uint64_t triggerNs, uint64_t latencyNs) {
    if (bytes.empty()) return;
    const uint64_t spacing = byteNs();
    uint64_t at = std::max(triggerNs + latencyNs, txFreeNs_);
    for (uint8_t value : bytes) {
        at += spacing;
        output_.push_back({value, at});
        record(sent_, {value, at});
    }
    txFreeNs_ = at;
}

uint64_t ModuleDouble::byteNs() const {
    const uint64_t baud = line_.baudRate != 0 ? line_.baudRate : kDefaultBaud;
    return (kBitsPerByte * kNsPerSecond + baud / 2) / baud;
}

}  // namespace ebd::sim
