// The firmware's service calls: radio test and measurement, baseband registers,
// gain codes, identity and security. Each handler answers a well-formed
// confirm with the request's reference echoed; a refusal (Firmware::refuse)
// goes into the confirm's status field:
//  - status fields whose success is 0 carry the refusal itself;
//  - status fields whose success is 1 (loopback, gain-code table, frequency
//    burst) carry the refusal instead of 1;
//  - the RSSI confirm has no status: a refusal XORs the echoed channel with it;
//  - confirms without a status field (reference only, registers, challenge)
//    cannot be refused.
#pragma once

#include "sim/firmware.h"

namespace ebd::sim {

void InstallServiceHandlers(Firmware& firmware);

}  // namespace ebd::sim
