#include "platform/sim_platform.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace ebd::platform {

namespace {

constexpr uint64_t kNsPerMs = 1'000'000;
// The innermost ThreadClock of this thread.
thread_local SimPlatform::ThreadClock* t_clock = nullptr;

class SimKey final : public SettingsKey {
public:
    SimKey(SimSettingsStore& store, std::string name) : store_(store), name_(std::move(name)) {}

    bool setValue(const char* name, ValueType type, const uint8_t* data, uint32_t size) override {
        if (store_.refuseWrites || name == nullptr || (data == nullptr && size != 0)) return false;
        SimSettingsStore::StoredValue& value = store_.keys[name_].values[name];
        value.type = type;
        value.data.assign(data, data + size);
        return true;
    }

    QueryResult queryValue(const char* name, ValueType* type, uint8_t* buffer, uint32_t* size) override {
        if (name == nullptr || type == nullptr || size == nullptr || (buffer == nullptr && *size != 0))
            return QueryResult::Failed;
        const auto key = store_.keys.find(name_);
        if (key == store_.keys.end()) return QueryResult::Failed;  // deleted while open
        const auto value = key->second.values.find(name);
        if (value == key->second.values.end()) return QueryResult::Missing;
        const std::vector<uint8_t>& data = value->second.data;
        *type = value->second.type;
        const bool fits = data.size() <= *size;
        *size = static_cast<uint32_t>(data.size());
        if (!fits) return QueryResult::MoreData;
        if (!data.empty()) std::memcpy(buffer, data.data(), data.size());
        return QueryResult::Done;
    }

    bool deleteValue(const char* name) override {
        if (store_.refuseWrites || name == nullptr) return false;
        store_.keys[name_].values.erase(name);
        return true;
    }

private:
    SimSettingsStore& store_;
    std::string name_;
};

}  // namespace

SimPlatform::ThreadClock::ThreadClock(SimPlatform& sim) : owner_(&sim), now_(0), previous_(t_clock) {
    {
        const std::lock_guard lock(sim.registry_);
        now_ = sim.now_;
    }
    t_clock = this;
}

SimPlatform::ThreadClock::~ThreadClock() {
    t_clock = previous_;
    // The platform's clock catches up, so that a clock made later starts after
    // everything this thread did with its peers.
    const std::lock_guard lock(owner_->registry_);
    owner_->now_ = std::max(owner_->now_, now_);
}

uint64_t& SimPlatform::clock() const {
    for (ThreadClock* c = t_clock; c != nullptr; c = c->previous_)
        if (c->owner_ == this) return c->now_;
    return now_;
}

std::unique_ptr<SettingsKey> SimSettingsStore::createKey(const char* name, const char* className) {
    if (refuseKeys || name == nullptr || *name == '\0') return nullptr;
    if (keys.find(name) == keys.end()) keys[name].className = className != nullptr ? className : "";
    return std::make_unique<SimKey>(*this, name);
}

std::unique_ptr<SettingsKey> SimSettingsStore::openKey(const char* name) {
    if (refuseKeys || name == nullptr || keys.find(name) == keys.end()) return nullptr;
    return std::make_unique<SimKey>(*this, name);
}

SimPlatform::SimPlatform() {
    // A fixed date so that trace headers are reproducible: Mon Dec 07 03:56:29 2026.
    localTime_.tm_year = 2026 - 1900;
    localTime_.tm_mon = 11;
    localTime_.tm_mday = 7;
    localTime_.tm_hour = 3;
    localTime_.tm_min = 56;
    localTime_.tm_sec = 29;
    localTime_.tm_wday = 1;
}

SimPlatform::~SimPlatform() = default;

void SimPlatform::attach(const std::string& name, SimPeer* peer) {
    const std::lock_guard lock(registry_);
    if (peer == nullptr) {
        ports_.erase(name);
        return;
    }
    ports_[name].peer = peer;
}

SimPlatform::Port& SimPlatform::portNamed(const std::string& name) {
    return ports_[name];
}

const SimPlatform::Port* SimPlatform::portNamed(const std::string& name) const {
    auto it = ports_.find(name);
    return it == ports_.end() ? nullptr : &it->second;
}

// Fault settings are made by the test's own thread, before or between the
// operations on the port; the registry lock keeps the map itself whole.
void SimPlatform::failOpen(const std::string& name, OpenError error) {
    const std::lock_guard lock(registry_);
    portNamed(name).openFailure = error;
}
void SimPlatform::vanish(const std::string& name) {
    const std::lock_guard lock(registry_);
    portNamed(name).vanished = true;
}
void SimPlatform::vanishAt(const std::string& name, uint64_t atNs) {
    const std::lock_guard lock(registry_);
    portNamed(name).vanishAtNs = atNs;
}
void SimPlatform::failWrites(const std::string& name, bool fail) {
    const std::lock_guard lock(registry_);
    portNamed(name).writesFail = fail;
}
void SimPlatform::failTimeouts(const std::string& name, bool fail) {
    const std::lock_guard lock(registry_);
    portNamed(name).timeoutsFail = fail;
}
void SimPlatform::failDtr(const std::string& name, bool fail) {
    const std::lock_guard lock(registry_);
    portNamed(name).dtrFails = fail;
}
void SimPlatform::noTotalTimeouts(const std::string& name, bool none) {
    const std::lock_guard lock(registry_);
    portNamed(name).noTotalTimeouts = none;
}

int SimPlatform::openCount() const {
    const std::lock_guard lock(registry_);
    return static_cast<int>(
        std::count_if(ports_.begin(), ports_.end(), [](const auto& entry) { return entry.second.open; }));
}

uint32_t SimPlatform::readTimeoutOf(const std::string& name) const {
    const std::lock_guard lock(registry_);
    const Port* port = portNamed(name);
    return port == nullptr ? 0 : port->msPerByte;
}

LineSettings SimPlatform::lineOf(const std::string& name) const {
    const std::lock_guard lock(registry_);
    const Port* port = portNamed(name);
    return port == nullptr ? LineSettings{} : port->line;
}

SimPlatform::Port* SimPlatform::portOf(PortHandle handle) {
    Port* port = nullptr;
    {
        const std::lock_guard lock(registry_);
        if (handle < 0 || static_cast<size_t>(handle) >= handles_.size()) return nullptr;
        auto it = ports_.find(handles_[static_cast<size_t>(handle)]);
        if (it == ports_.end() || !it->second.open) return nullptr;
        port = &it->second;
    }
    // The port is the calling thread's from here on (map entries stay put).
    if (clock() >= port->vanishAtNs) port->vanished = true;
    return port;
}

uint64_t SimPlatform::transmitNs(const Port& port, size_t count) const {
    const uint64_t baud = port.line.baudRate == 0 ? 115200 : port.line.baudRate;
    return static_cast<uint64_t>(count) * 11ULL * 1'000'000'000ULL / baud;
}

PortHandle SimPlatform::openPort(const char* name, OpenError* error) {
    OpenError ignored;
    if (error == nullptr) error = &ignored;
    *error = OpenError::None;
    if (name == nullptr) {
        *error = OpenError::NoDevice;
        return kNoPort;
    }
    // Opens and closes run whole under the registry lock: a second open of the
    // port on another thread sees it busy, never half open.
    const std::lock_guard lock(registry_);
    auto it = ports_.find(name);
    if (it == ports_.end() || it->second.peer == nullptr) {
        *error = OpenError::NoDevice;
        return kNoPort;
    }
    Port& port = it->second;
    if (port.openFailure != OpenError::None) {
        *error = port.openFailure;
        return kNoPort;
    }
    if (port.open) {
        *error = OpenError::Busy;
        return kNoPort;
    }
    port.open = true;
    port.vanished = false;
    port.vanishAtNs = UINT64_MAX;
    port.msPerByte = 0;
    // A freshly opened port starts with DTR and RTS raised, as on Linux; the
    // library sets the lines it wants right after the open.
    port.line.dtr = true;
    port.line.rts = true;
    port.peer->onOpen(true, clock());
    port.peer->onLine(port.line, clock());
    handles_.push_back(name);
    return static_cast<PortHandle>(handles_.size() - 1);
}

void SimPlatform::closePort(PortHandle handle) {
    Port* port = portOf(handle);
    if (port == nullptr) return;
    const std::lock_guard lock(registry_);
    port->line.dtr = false;
    port->peer->onLine(port->line, clock());
    port->peer->onOpen(false, clock());
    port->open = false;
}

bool SimPlatform::getLine(PortHandle handle, LineSettings* settings) {
    Port* port = portOf(handle);
    if (port == nullptr || port->vanished || settings == nullptr) return false;
    *settings = port->line;
    return true;
}

bool SimPlatform::setLine(PortHandle handle, const LineSettings& settings) {
    Port* port = portOf(handle);
    if (port == nullptr || port->vanished) return false;
    port->line.baudRate = settings.baudRate;
    port->line.stopBits = settings.stopBits;
    port->line.rts = settings.rts;
    // A device without modem lines keeps DTR as it is but accepts the rest.
    if (!port->dtrFails) port->line.dtr = settings.dtr;
    port->peer->onLine(port->line, clock());
    return true;
}

bool SimPlatform::supportsTotalTimeouts(PortHandle handle) {
    Port* port = portOf(handle);
    return port != nullptr && !port->noTotalTimeouts;
}

bool SimPlatform::setQueues(PortHandle handle, uint32_t, uint32_t) {
    Port* port = portOf(handle);
    return port != nullptr && !port->vanished;
}

bool SimPlatform::setReadTimeout(PortHandle handle, uint32_t msPerByte) {
    Port* port = portOf(handle);
    if (port == nullptr || port->vanished || port->timeoutsFail) return false;
    port->msPerByte = msPerByte;
    return true;
}

bool SimPlatform::write(PortHandle handle, const uint8_t* data, size_t count) {
    Port* port = portOf(handle);
    if (port == nullptr || port->vanished || port->writesFail || (data == nullptr && count > 0)) return false;
    port->peer->advanceTo(clock());
    // The bytes leave the port one character time after another; the write
    // returns once the last has gone (the drain).
    clock() += transmitNs(*port, count);
    if (count > 0) port->peer->onHostBytes(data, count, clock());
    return true;
}

ReadStatus SimPlatform::read(PortHandle handle, uint8_t* buffer, size_t count, size_t* got) {
    size_t ignored;
    if (got == nullptr) got = &ignored;
    *got = 0;
    Port* port = portOf(handle);
    if (port == nullptr || port->vanished || (buffer == nullptr && count > 0)) return ReadStatus::Failed;
    const uint64_t deadline = clock() + static_cast<uint64_t>(count) * port->msPerByte * kNsPerMs;
    SimPeer& peer = *port->peer;
    // Step through the peer's events and arriving bytes in time order until all
    // bytes are in or the deadline has passed.
    for (;;) {
        peer.advanceTo(clock());
        uint64_t at = 0;
        while (*got < count && peer.frontOutput(&at) && at <= clock()) buffer[(*got)++] = peer.popOutput();
        if (*got == count) return ReadStatus::Complete;
        uint64_t next = peer.nextEventNs();
        if (peer.frontOutput(&at)) next = std::min(next, at);
        if (next > deadline) break;
        if (next >= port->vanishAtNs) {
            clock() = std::max(clock(), port->vanishAtNs);
            port->vanished = true;
            return ReadStatus::Failed;
        }
        // A peer that reports an event at or before now must not stall the clock.
        clock() = std::max(clock() + 1, next);
    }
    if (deadline >= port->vanishAtNs) {
        clock() = std::max(clock(), port->vanishAtNs);
        port->vanished = true;
        return ReadStatus::Failed;
    }
    clock() = std::max(clock(), deadline);
    peer.advanceTo(clock());
    return ReadStatus::Short;
}

void SimPlatform::clearError(PortHandle) {}

bool SimPlatform::setDtr(PortHandle handle, bool raised) {
    Port* port = portOf(handle);
    if (port == nullptr || port->vanished || port->dtrFails) return false;
    port->line.dtr = raised;
    port->peer->advanceTo(clock());
    port->peer->onLine(port->line, clock());
    return true;
}

bool SimPlatform::purge(PortHandle handle) {
    Port* port = portOf(handle);
    if (port == nullptr || port->vanished) return false;
    port->peer->advanceTo(clock());
    port->peer->onPurge(clock());
    return true;
}

uint64_t SimPlatform::counter() {
    clock() += counterStep_;
    return clock();
}

uint64_t SimPlatform::frequency() {
    return 1'000'000'000;
}

void SimPlatform::sleepMs(uint32_t ms) {
    clock() += static_cast<uint64_t>(ms) * kNsPerMs;
    sleptMs_ += ms;
}

void SimPlatform::localTime(std::tm* out) {
    if (out != nullptr) *out = localTime_;
}

}  // namespace ebd::platform
