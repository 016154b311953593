// The simulated platform: a virtual clock and simulated serial ports, each wired
// to a peer (the module double) that is driven by bytes and time only.
//
// Time never passes by itself: sleeping and read time-outs advance the clock
// instantly, a read of the counter advances it a little (so that a spin on the
// counter ends), and writing advances it by the bytes' transmission time. Bytes
// the peer sends carry the virtual time at which they arrive, so a read with a
// 48 ms time-out sees exactly what a real port would.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace ebd::platform {

// What sits at the far end of a simulated port.
class SimPeer {
public:
    virtual ~SimPeer() = default;
    // Bytes written by the host; the last of them has arrived at `nowNs`.
    virtual void onHostBytes(const uint8_t* data, size_t count, uint64_t nowNs) = 0;
    // The host changed the line settings (baud rate, stop bits, RTS, DTR).
    virtual void onLine(const LineSettings& settings, uint64_t nowNs) = 0;
    // The host opened (true) or closed (false) the port.
    virtual void onOpen(bool open, uint64_t nowNs) { (void)open, (void)nowNs; }
    // Lets time-driven behaviour (repeats, boot delays) run up to `nowNs`.
    virtual void advanceTo(uint64_t nowNs) = 0;
    // The next time at which advanceTo would do something; UINT64_MAX for none.
    virtual uint64_t nextEventNs() const = 0;
    // Output towards the host, oldest first: the arrival time of the front byte.
    virtual bool frontOutput(uint64_t* atNs) const = 0;
    virtual uint8_t popOutput() = 0;
    // The host discarded its buffers: output that has already arrived is gone.
    virtual void onPurge(uint64_t nowNs) = 0;
};

// The settings store in memory: keys with their class strings and typed
// values, shared by every key opened on it.
class SimSettingsStore final : public SettingsStore {
public:
    struct StoredValue {
        ValueType type = ValueType::Binary;
        std::vector<uint8_t> data;
    };
    struct StoredKey {
        std::string className;
        std::map<std::string, StoredValue> values;
    };

    std::unique_ptr<SettingsKey> createKey(const char* name, const char* className) override;
    std::unique_ptr<SettingsKey> openKey(const char* name) override;

    // Fault injection: keys cannot be opened or created; values cannot be written.
    bool refuseKeys = false;
    bool refuseWrites = false;
    // What the store holds, by key name; tests read and seed it.
    std::map<std::string, StoredKey> keys;
};

class SimPlatform final : public Platform {
public:
    SimPlatform();
    ~SimPlatform() override;

    // Wires port `name` ("COM1", ...) to `peer`; the peer must outlive its use.
    // Passing nullptr removes the port.
    void attach(const std::string& name, SimPeer* peer);

    // Fault injection on a port.
    void failOpen(const std::string& name, OpenError error);  // None clears it
    void vanish(const std::string& name);                     // every later operation fails (EIO)
    void vanishAt(const std::string& name, uint64_t atNs);    // the same, from a virtual time on
    void failWrites(const std::string& name, bool fail);
    void failTimeouts(const std::string& name, bool fail);  // setReadTimeout refused
    void failDtr(const std::string& name, bool fail);       // device without modem lines
    void noTotalTimeouts(const std::string& name, bool none);

    // A virtual clock of the calling thread's own, for as long as it lives:
    // each thread that drives its own port and peer then lives on its own
    // timeline (its counter reads, sleeps, reads and writes advance only its
    // clock), so that threads never wait for each other's virtual time. It
    // starts at the platform's time, and the platform's clock moves on to its
    // time when it ends. Threads without one share the platform's clock, as a
    // single-threaded test does.
    class ThreadClock {
    public:
        explicit ThreadClock(SimPlatform& sim);
        ~ThreadClock();
        ThreadClock(const ThreadClock&) = delete;
        ThreadClock& operator=(const ThreadClock&) = delete;

    private:
        friend class SimPlatform;
        const SimPlatform* owner_;
        uint64_t now_;
        ThreadClock* previous_;
    };

    uint64_t nowNs() const { return clock(); }
    void advanceNs(uint64_t ns) { clock() += ns; }
    // Virtual nanoseconds each counter read costs.
    void setCounterStepNs(uint64_t ns) { counterStep_ = ns; }
    void setLocalTime(const std::tm& tm) { localTime_ = tm; }
    // Ports currently open.
    int openCount() const;
    // Time spent sleeping, in virtual milliseconds, since construction.
    uint64_t sleptMs() const { return sleptMs_.load(); }
    // The read time-out in force on a port (ms per byte), for tests.
    uint32_t readTimeoutOf(const std::string& name) const;
    LineSettings lineOf(const std::string& name) const;

    PortHandle openPort(const char* name, OpenError* error) override;
    void closePort(PortHandle port) override;
    bool getLine(PortHandle port, LineSettings* settings) override;
    bool setLine(PortHandle port, const LineSettings& settings) override;
    bool supportsTotalTimeouts(PortHandle port) override;
    bool setQueues(PortHandle port, uint32_t rxBytes, uint32_t txBytes) override;
    bool setReadTimeout(PortHandle port, uint32_t msPerByte) override;
    bool write(PortHandle port, const uint8_t* data, size_t count) override;
    ReadStatus read(PortHandle port, uint8_t* buffer, size_t count, size_t* got) override;
    void clearError(PortHandle port) override;
    bool setDtr(PortHandle port, bool raised) override;
    bool purge(PortHandle port) override;
    uint64_t counter() override;
    uint64_t frequency() override;
    void sleepMs(uint32_t ms) override;
    void localTime(std::tm* out) override;
    SettingsStore& settings() override { return settingsStore; }

    SimSettingsStore settingsStore;

private:
    struct Port {
        SimPeer* peer = nullptr;
        bool open = false;
        OpenError openFailure = OpenError::None;
        bool vanished = false;
        uint64_t vanishAtNs = UINT64_MAX;
        bool writesFail = false;
        bool timeoutsFail = false;
        bool dtrFails = false;
        bool noTotalTimeouts = false;
        uint32_t msPerByte = 0;
        LineSettings line;
    };
    Port* portOf(PortHandle handle);
    const Port* portNamed(const std::string& name) const;
    Port& portNamed(const std::string& name);
    // Transmission time of `count` bytes at the port's baud rate (11 bits each).
    uint64_t transmitNs(const Port& port, size_t count) const;
    // The calling thread's clock: its ThreadClock's, else the platform's.
    uint64_t& clock() const;

    // The port registry (names, handles, which ports are open) is shared by
    // every thread; a port's other state belongs to the thread that opened it.
    mutable std::mutex registry_;
    std::map<std::string, Port> ports_;
    std::vector<std::string> handles_;      // handle -> port name
    mutable uint64_t now_ = 1'000'000'000;  // start one virtual second in
    uint64_t counterStep_ = 20'000;
    std::atomic<uint64_t> sleptMs_{0};
    std::tm localTime_{};
};

}  // namespace ebd::platform
