// Raw answers below the frame protocol: serial-mode detection, the switch from
// AT to NOMI, and the bootloader exchange of the service boot.
#include "fuzz_peer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace ebd;
    if (size == 0) return 0;
    fuzz::FuzzPeer peer(data + 1, size - 1);
    fuzz::FuzzSession session(peer);
    const uint32_t handle = session.handle();
    if (handle == 0) return 0;
    switch (data[0] % 4) {
        case 0:
            GetTargetSerialMode(handle);
            break;
        case 1:
            SwitchSerialToNOMIMode(handle, 0);
            break;
        case 2:
            ModuleBootServiceMode(handle);
            break;
        default:
            WInitServiceMode(handle);
            break;
    }
    return 0;
}
