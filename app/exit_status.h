// Exit statuses of the command line: one per outcome, so that scripts can act
// on them, plus the usual one for a usage error.
#pragma once

#include <optional>

#include "app/workflow.h"

namespace ebd::app {

inline constexpr int kExitUsage = 64;
// The port map could not be changed: the settings store refused the write.
inline constexpr int kExitCannotWrite = 73;
// An internal failure (no memory, no process for a port) that is no outcome.
inline constexpr int kExitSoftware = 70;

constexpr int ExitStatusFor(Outcome outcome) {
    switch (outcome) {
        case Outcome::Success:
            return 0;
        case Outcome::NoPort:
            return 1;
        case Outcome::CannotConnect:
            return 2;
        case Outcome::CannotSwitchOffAutostart:
            return 3;
        case Outcome::CannotClose:
            return 4;
    }
    return kExitSoftware;
}

constexpr std::optional<Outcome> OutcomeForExitStatus(int status) {
    for (Outcome outcome : {Outcome::Success, Outcome::NoPort, Outcome::CannotConnect,
                            Outcome::CannotSwitchOffAutostart, Outcome::CannotClose}) {
        if (ExitStatusFor(outcome) == status) return outcome;
    }
    return std::nullopt;
}

}  // namespace ebd::app
