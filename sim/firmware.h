// The module's service firmware behind NOMI: one handler per request id, each
// building its confirm (request id + 1) with the request's reference echoed.
// Requests without a handler of their own get a confirm of the reference and
// zeros. Further calls are added with setHandler().
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace ebd::sim {

// A complete request of the host.
struct Request {
    uint16_t commandId = 0;
    uint16_t lengthField = 0;  // as it came in the first segment
    std::vector<uint8_t> data;
    uint64_t atNs = 0;  // arrival of its last frame
};

// A message of the module, sent no earlier than `delayNs` after the request.
struct Message {
    uint16_t commandId = 0;
    std::vector<uint8_t> data;
    uint64_t delayNs = 0;
};

class Firmware {
public:
    struct Outcome {
        std::vector<Message> messages;
        bool switchOff = false;  // the host asked the module to switch off
    };
    using Handler = std::function<void(const Request&, Outcome&)>;

    struct Config {
        uint32_t hardwareVersion = 0x00020001;
        uint32_t rpcVersion = 0x00010000;  // major in the high 16 bits, minor in the low
        std::string versionText = "MOD_137:REL-1.0&Bln-Bootloader V1.2&Extra";
        uint8_t startOperationMode = 0;  // the operation mode after power-on
        uint64_t confirmDelayNs = 2'000'000;
        // AT commands through the remote channel: the answer confirm follows the
        // empty first confirm after atAnswerDelayNs, each further answer
        // furtherAnswerDelayNs after the one before.
        std::string defaultAtAnswer = "OK\r\n";
        uint64_t atAnswerDelayNs = 30'000'000;
        uint64_t furtherAnswerDelayNs = 200'000'000;
        // Data length of the confirm that requests without a handler get.
        size_t genericConfirmLength = 20;
        // The module's flash serial number, as the flash serial number read
        // reports it: what tells one module from another.
        uint32_t flashSerialNumber = 0x12345678;
    };

    static constexpr uint16_t kGetVersion = 1;
    static constexpr uint16_t kFinishTestMode = 9;
    static constexpr uint16_t kSwitchOff = 67;
    static constexpr uint16_t kAtCommand = 93;
    static constexpr uint16_t kGetOperationMode = 99;
    static constexpr uint16_t kSetOperationMode = 101;
    static constexpr uint16_t kJavaAutostart = 107;
    static constexpr size_t kAtTextArea = 128;

    Firmware();
    explicit Firmware(Config config);
    Firmware(const Firmware&) = delete;
    Firmware& operator=(const Firmware&) = delete;

    Config& config() { return config_; }
    // Power-on: the operation mode returns to the configured one. Stored
    // settings (the Java autostart) survive.
    void start();
    Outcome handle(const Request& request);

    // Installs the handler for a request id; an empty handler restores the default.
    void setHandler(uint16_t requestId, Handler handler);

    uint8_t operationMode() const { return operationMode_; }
    void setOperationMode(uint8_t mode) { operationMode_ = mode; }
    bool javaAutostart() const { return javaAutostart_; }
    void setJavaAutostart(bool on) { javaAutostart_ = on; }

    // The request's confirm reports `status` in its status field (0 accepts again).
    // Requests without a status field of their own take it at offset 2 (16-bit).
    void refuse(uint16_t requestId, uint16_t status);
    uint16_t statusFor(uint16_t requestId) const;

    // Answers to an AT command sent through the remote channel: the first goes in
    // the answer confirm, the others follow as further confirms. No answers: the
    // command gets its first (empty) confirm only.
    void setAtAnswers(const std::string& command, std::vector<std::string> answers);
    // AT commands received, without their CR.
    const std::vector<std::string>& atCommands() const { return atCommands_; }

    // Reference and zeros, `length` bytes in all.
    static std::vector<uint8_t> defaultConfirm(uint16_t reference, size_t length);

private:
    void getVersion(const Request& request, Outcome& out);
    void finishTestMode(const Request& request, Outcome& out);
    void switchOff(const Request& request, Outcome& out);
    void atCommand(const Request& request, Outcome& out);
    void getOperationMode(const Request& request, Outcome& out);
    void setOperationModeRequest(const Request& request, Outcome& out);
    void javaAutostartRequest(const Request& request, Outcome& out);
    void generic(const Request& request, Outcome& out);
    void confirm(Outcome& out, const Request& request, std::vector<uint8_t> data, uint64_t delayNs) const;

    Config config_;
    std::map<uint16_t, Handler> handlers_;
    std::map<uint16_t, uint16_t> refusals_;
    std::map<std::string, std::vector<std::string>> atAnswers_;
    std::vector<std::string> atCommands_;
    uint8_t operationMode_ = 0;
    bool javaAutostart_ = true;
};

}  // namespace ebd::sim
