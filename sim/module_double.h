// The module double: the radio module at the far end of the serial line, as the
// library relies on it. It answers in AT-command mode (echo, "OK", the switch to
// NOMI), in NOMI mode (frames with ACK/NAK, segments, one confirm per request
// from the firmware), through its bootloader at 57600 baud, and it is powered
// on through the ignition (DTR raised) and off by the switch-off request.
//
// It is driven by bytes and virtual time only: every call carries the time at
// which it happens, and the double never reads a clock. Its answers carry the
// time at which they arrive at the host: about 1 ms after what triggered them,
// then one byte per 11 bit times at the line's baud rate.
//
// Every departure a test needs is a setting or a one-shot fault, and everything
// the host sent is recorded with its time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "platform/sim_platform.h"
#include "sim/at_interpreter.h"
#include "sim/bootloader.h"
#include "sim/firmware.h"
#include "sim/nomi_frames.h"
#include "sim/segments.h"

namespace ebd::sim {

inline constexpr uint64_t kMs = 1'000'000;

class ModuleDouble final : public platform::SimPeer {
public:
    enum class State {
        Off,           // answers nothing, swallows input
        Bootloader,    // started at 57600 baud: pattern, version and boot commands
        Booting,       // the firmware is starting and answers nothing yet
        At,            // AT-command mode
        Nomi,          // NOMI mode
        SwitchingOff,  // told to switch off: silent until it is off
    };
    enum class Silence {
        None,
        Nomi,  // in NOMI mode it takes nothing in and sends nothing
        All,   // whatever its state, it takes nothing in and sends nothing
    };

    struct Settings {
        State start = State::At;  // Off, At or Nomi
        // DTR must stay raised this long before an off module starts, so that the
        // short raise of a port open does not switch it on.
        uint64_t ignitionHoldNs = 10 * kMs;
        uint64_t bootDelayNs = 300 * kMs;          // DTR raise or boot command -> firmware answers
        uint64_t bootloaderDelayNs = 20 * kMs;     // DTR raise at 57600 baud -> bootloader answers
        uint64_t bootloaderWindowNs = 1000 * kMs;  // no pattern byte by then: the firmware starts
        Bootloader::Config bootloader;
        AtInterpreter::Config at;
        uint64_t nomiSwitchDelayNs = 0;  // after the OK of "at^xqwe=1"
        uint64_t answerLatencyNs = 1 * kMs;
        uint64_t interByteTimeoutNs = 20 * kMs;  // a partial host frame is then NAKed
        uint64_t ackTimeoutNs = 100 * kMs;       // own frame without ACK -> sent again
        int maxRepeats = 5;                      // repeats of one own frame, then it is given up
        uint64_t switchOffDelayNs = 50 * kMs;
        bool neverSwitchOff = false;
        size_t splitSize = 0;  // data bytes per confirm segment; 0: as many as fit
        Silence silence = Silence::None;
        // From this time on it takes nothing in and sends nothing, whatever its state.
        uint64_t silentFromNs = UINT64_MAX;
        // Switched off, it answers every write with 7D 77, as a line without a
        // module may do.
        bool noCommunicationAnswer = false;
        size_t recordLimit = 1'000'000;  // entries kept per recorder
    };

    // Matches the confirms of every request in the faults below.
    static constexpr uint16_t kAnyRequest = 0;
    // Starts an endless misbehaviour as soon as the module speaks NOMI.
    static constexpr uint16_t kOnNomiEntry = 0xFFFF;
    // A fault count that never runs out.
    static constexpr int kAlways = -1;

    // Misbehaviours that, once started, last until the module is switched off
    // or powered on again.
    enum class Endless {
        None,
        StxFlood,       // nothing but STX bytes, back to back; takes nothing in
        StrayBytes,     // bytes that start no frame and acknowledge nothing, back to back; takes nothing in
        BadCheckFrame,  // the confirm's first frame with a wrong check byte, sent again and again
        SameSegment,    // the first of several segments of the confirm, sent again each time it is taken
        SameConfirm,    // the whole confirm, sent again each time it is taken
        Silent,         // nothing at all, in and out, without switching off
    };

    struct TimedByte {
        uint8_t value = 0;
        uint64_t atNs = 0;
    };
    enum class FrameVerdict {
        Acked,
        Refused,     // a good frame NAKed on purpose (nakHostFrames)
        BadCheck,    // NAKed
        BadEnd,      // NAKed
        Abandoned,   // incomplete after the inter-byte time-out; NAKed
        Unanswered,  // silent module
    };
    struct HostFrame {
        std::vector<uint8_t> payload;  // empty for an abandoned frame
        FrameVerdict verdict = FrameVerdict::Acked;
        uint64_t atNs = 0;  // arrival of its last byte
    };
    struct LineEvent {
        enum class Kind { Line, Open, Close, Purge };
        Kind kind = Kind::Line;
        platform::LineSettings line;  // in force after the event
        uint64_t atNs = 0;
    };
    struct SentMessage {
        uint16_t commandId = 0;
        std::vector<uint8_t> data;  // as sent, faults applied
        uint64_t atNs = 0;          // when it was queued for sending
    };

    ModuleDouble();
    explicit ModuleDouble(Settings settings);
    ModuleDouble(Settings settings, Firmware::Config firmware);

    Settings& settings() { return settings_; }
    Firmware& firmware() { return firmware_; }
    State state() const { return state_; }
    // Times the module was switched on through its ignition.
    int powerOns() const { return powerOns_; }

    // One-shot faults. `times` counts matching requests; kAlways never runs out.
    void nakHostFrames(int count);  // NAK the next good frames of the host
    void foreignReference(uint16_t requestId = kAnyRequest, int times = 1);
    void repeatConfirm(uint16_t requestId = kAnyRequest, int times = 1);
    void withholdConfirm(uint16_t requestId = kAnyRequest, int times = 1);
    // The confirms of matching requests carry only their first `bytes` bytes.
    void cutConfirm(uint16_t requestId, size_t bytes, int times = 1);
    // The next message sends its segment `index` (0 = first) twice.
    void repeatSegment(size_t index);
    // Starts `kind` in place of the confirm of the next matching request (or,
    // with kOnNomiEntry, as soon as the module is in NOMI mode, with a message
    // of its own in place of a confirm). The frame kinds keep acknowledging the
    // host's frames and taking its requests, but send no other confirm.
    void startEndless(Endless kind, uint16_t requestId = kAnyRequest);
    Endless endless() const { return endless_; }
    // Called with every complete request of the host before the module
    // acknowledges it, so that a test can change the module (or the port) at a
    // chosen request.
    std::function<void(const Request&)> onRequest;
    bool endlessRunning() const { return endlessRunning_; }
    // Bytes that go out at `atNs` (or as soon as the line is free), whatever the state.
    void inject(uint64_t atNs, std::vector<uint8_t> bytes);
    // Bytes that go out just before the next confirm.
    void injectBeforeNextConfirm(std::vector<uint8_t> bytes);
    // A message of the module's own (not a confirm of a request), sent once the
    // module speaks NOMI, no earlier than `notBeforeNs`.
    void sendMessage(uint16_t commandId, std::vector<uint8_t> data, uint64_t notBeforeNs);
    void clearFaults();
    // "EXIT " and `text`: the report the module prints when its firmware stops.
    static std::vector<uint8_t> exitReport(std::string_view text);

    // Recorders.
    const std::vector<TimedByte>& received() const { return received_; }
    const std::vector<TimedByte>& sent() const { return sent_; }
    const std::vector<HostFrame>& hostFrames() const { return hostFrames_; }
    const std::vector<Request>& requests() const { return requests_; }
    const std::vector<LineEvent>& lineEvents() const { return lineEvents_; }
    const std::vector<SentMessage>& messages() const { return messages_; }
    void clearRecords();

    // SimPeer.
    void onHostBytes(const uint8_t* data, size_t count, uint64_t nowNs) override;
    void onLine(const platform::LineSettings& settings, uint64_t nowNs) override;
    void onOpen(bool open, uint64_t nowNs) override;
    void advanceTo(uint64_t nowNs) override;
    uint64_t nextEventNs() const override;
    bool frontOutput(uint64_t* atNs) const override;
    uint8_t popOutput() override;
    void onPurge(uint64_t nowNs) override;

private:
    struct CountedFault {
        uint16_t requestId = kAnyRequest;
        int remaining = 0;
        size_t bytes = 0;  // for cut confirms
    };
    struct Outgoing {
        std::vector<uint8_t> bytes;
        bool frame = false;  // a frame waits for its ACK; raw bytes do not
        uint64_t notBeforeNs = 0;
    };

    // When each kind of timed work is due; UINT64_MAX for none.
    uint64_t frameDeadline() const;
    uint64_t ackDeadline() const;
    uint64_t outgoingDue() const;
    void fireDueEvents();
    void takeByte(uint8_t byte, uint64_t atNs);
    void takeNomiByte(uint8_t byte, uint64_t atNs);
    void takeHostFrame(std::span<const uint8_t> payload, uint64_t atNs);
    void dispatch(const Request& request);
    void queueMessage(uint16_t commandId, std::vector<uint8_t> data, uint64_t notBeforeNs);
    void pumpOutgoing();
    void sendPendingFrame();
    void ownFrameRefused();

    void powerOn(uint64_t raisedNs);
    void startFirmware(uint64_t atNs);
    void powerOff(uint64_t atNs);
    void resetLink();

    bool deaf() const;
    bool canSendFrames() const;
    void answer(std::span<const uint8_t> bytes, uint64_t triggerNs);
    // Puts bytes on the line: the first starts `latencyNs` after the trigger (or
    // when the line is free), each takes one character time.
    void emit(std::span<const uint8_t> bytes, uint64_t triggerNs);
    void emit(std::span<const uint8_t> bytes, uint64_t triggerNs, uint64_t latencyNs);
    uint64_t byteNs() const;
    static bool takeFault(std::vector<CountedFault>& faults, uint16_t requestId, size_t* bytes = nullptr);
    // Endless misbehaviours.
    bool babbling() const;
    bool silentForEver() const;
    uint64_t babbleDue() const;
    void babble();
    void runEndless(const Message& message, uint64_t notBeforeNs);
    void refillEndlessFrames();
    void stopEndless();

    template <typename T>
    void record(std::vector<T>& recorder, T entry) {
        if (recorder.size() < settings_.recordLimit) recorder.push_back(std::move(entry));
    }

    Settings settings_;
    Firmware firmware_;
    State state_ = State::At;
    int powerOns_ = 0;
    uint64_t now_ = 0;
    platform::LineSettings line_;

    // Timer of the current state: bootloader window, boot, NOMI switch, power-off.
    uint64_t stateTimerNs_ = UINT64_MAX;
    // An off module with DTR raised starts at ignitionNs_ unless DTR falls first.
    uint64_t ignitionNs_ = UINT64_MAX;
    uint64_t dtrRaisedNs_ = 0;
    uint64_t bootloaderReadyNs_ = 0;
    bool nomiSwitchPending_ = false;

    AtInterpreter at_;
    Bootloader bootloader_;
    FrameReader reader_;
    RequestAssembler assembler_;

    // Own frames: one at a time, each waiting for the host's ACK.
    std::deque<Outgoing> outgoing_;
    bool awaitingAck_ = false;
    std::vector<uint8_t> pendingFrame_;
    int repeatsDone_ = 0;
    uint64_t ackDeadlineNs_ = UINT64_MAX;

    // Bytes on their way to the host, with their arrival times.
    std::deque<TimedByte> output_;
    uint64_t txFreeNs_ = 0;

    int nakHostFrames_ = 0;
    std::vector<CountedFault> foreignReferences_;
    std::vector<CountedFault> repeatedConfirms_;
    std::vector<CountedFault> withheldConfirms_;
    std::vector<CountedFault> cutConfirms_;
    Endless endless_ = Endless::None;
    uint16_t endlessTrigger_ = kAnyRequest;
    bool endlessRunning_ = false;
    // Frames sent again whenever the queue of own frames runs empty.
    std::vector<std::vector<uint8_t>> endlessFrames_;
    uint8_t strayNext_ = 0;
    std::optional<size_t> repeatedSegment_;
    std::multimap<uint64_t, std::vector<uint8_t>> injections_;
    std::vector<uint8_t> strayBeforeConfirm_;

    std::vector<TimedByte> received_;
    std::vector<TimedByte> sent_;
    std::vector<HostFrame> hostFrames_;
    std::vector<Request> requests_;
    std::vector<LineEvent> lineEvents_;
    std::vector<SentMessage> messages_;
};

}  // namespace ebd::sim
