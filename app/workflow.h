// The autostart-off workflow that the window and the command line share: one
// attempt on one port, from library initialisation to switch-off, reduced to
// one of five outcomes. No toolkit here.
#pragma once

#include <cstdint>

namespace ebd::app {

enum class Outcome {
    NoPort,                    // no port chosen; no port was touched
    CannotConnect,             // the open or the service-mode entry failed
    CannotSwitchOffAutostart,  // the module refused the autostart request
    CannotClose,               // the module did not switch off
    Success,
};

// What the user is told about an outcome: message text and box caption.
struct Message {
    const char* text;
    const char* caption;
};

Message MessageFor(Outcome outcome);

struct Attempt {
    Outcome outcome = Outcome::NoPort;
    // Whether the library opened a session on the port; false for NoPort and
    // for a port that could not be opened at all.
    bool opened = false;
};

inline constexpr int32_t kWorkflowBaudRate = 115200;

// Runs one attempt on port `port` (0: none chosen, 1 to 32: COM1 to COM32).
// `traceHandle` 0 sends the library's trace lines to the trace file route
// (dropped unless the trace file is switched on); any other value sends them
// to the registered trace callback. The session is closed before the attempt
// returns, whatever its outcome, so the next attempt can open the port again.
Attempt RunAutostartOff(int port, uint32_t traceHandle = 0);

}  // namespace ebd::app
