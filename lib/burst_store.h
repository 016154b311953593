// The per-port burst store: the last GMSK and 8PSK bursts set on each port
// number, kept for the whole life of the program in the library's port table
// (lib/port_state.h).
#pragma once

#include <array>
#include <cstdint>

#include "lib/burst_patterns.h"

namespace ebd::burst {

// port: 1 to 32.
std::array<uint16_t, kGmskWords>& GmskStore(int port);
std::array<uint16_t, k8pskWords>& EpskStore(int port);

}  // namespace ebd::burst
