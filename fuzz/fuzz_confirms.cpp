// Confirms of the remote calls: a module that acknowledges every frame and then
// answers with whatever the input says, through each public operation that
// makes remote calls.
#include <array>

#include "fuzz_peer.h"
#include "rpc/ebdrpc.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace ebd;
    if (size == 0) return 0;
    fuzz::FuzzPeer peer(data + 1, size - 1);
    fuzz::FuzzSession session(peer);
    const uint32_t handle = session.handle();
    if (handle == 0) return 0;
    PortOf(handle).gotTargetVersion = data[0] & 0x80 ? 1 : 0;
    char answer[4 * 128 + 1] = {};
    uint8_t mode = 0;
    switch (data[0] % 8) {
        case 0:
            WSwitchJavaAutoStart(handle, 0);
            break;
        case 1:
            WSwitchOff(handle);
            break;
        case 2:
            WSendAtCommand(handle, "AT+CSQ", answer);
            break;
        case 3:
            WSendAtCommandAndWait(handle, "AT+CGATT=1", "OK", 3);
            break;
        case 4:
            EBDRPCGetCurrentOperationMode(handle, &mode);
            break;
        case 5:
            EBDRPCSetCurrentOperationMode(handle, 1);
            break;
        case 6: {
            uint32_t hw = 0, rpcVersion = 0;
            char text[64];
            EBDRPCGetVersion(handle, &hw, &rpcVersion, text, sizeof text);
            break;
        }
        default:
            WReceiveAtCommand(handle, answer);
            break;
    }
    return 0;
}
