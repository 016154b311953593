#include "app/workflow.h"

#include "lib/ebd.h"

namespace ebd::app {

namespace {

// Closes the session when the attempt ends, on every path.
class Session {
public:
    Session(int port, uint32_t traceHandle) : handle_(WComOpen(port, kWorkflowBaudRate, traceHandle)) {}
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
    ~Session() {
        if (handle_ != 0) WComClose(handle_);
    }
    EBDHandle handle() const { return handle_; }

private:
    EBDHandle handle_;
};

}  // namespace

Message MessageFor(Outcome outcome) {
    switch (outcome) {
        case Outcome::NoPort:
            return {"No COM Port selected", "Error"};
        case Outcome::CannotConnect:
            return {"Cannot connect to Module", "Error"};
        case Outcome::CannotSwitchOffAutostart:
            return {"Cannot switchoff autostart", "Error"};
        case Outcome::CannotClose:
            return {"Cannot close Module connection", "Error"};
        case Outcome::Success:
            break;
    }
    return {"Autostart successfully switched off", "Disable Autostart"};
}

Attempt RunAutostartOff(int port, uint32_t traceHandle) {
    Attempt attempt;
    if (port == 0) return attempt;
    // No port has a negative number; the library is not asked about one.
    attempt.outcome = Outcome::CannotConnect;
    if (port < 0) return attempt;

    WInitLibrary();
    const Session session(port, traceHandle);
    attempt.opened = session.handle() != 0;
    // A failed open leaves handle 0, which every later operation refuses.
    if (WInitServiceMode(session.handle()) == 0) {
        attempt.outcome = Outcome::CannotConnect;
    } else if (WSwitchJavaAutoStart(session.handle(), 0) == 0) {
        attempt.outcome = Outcome::CannotSwitchOffAutostart;
    } else if (WSwitchOff(session.handle()) == 0) {
        attempt.outcome = Outcome::CannotClose;
    } else {
        attempt.outcome = Outcome::Success;
    }
    return attempt;
}

}  // namespace ebd::app
