// Everything the module sends, through the frame layer and the message queue:
// frames taken in while waiting, acknowledgement waits, segment reassembly,
// the queue with its doubled-message check, and the message exchange above it.
#include <array>

#include "fuzz_peer.h"
#include "link/gwcoml2.h"
#include "link/gwcoml3.h"
#include "rpc/ebdnomi.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace ebd;
    fuzz::FuzzPeer peer(data, size);
    peer.emit(peer.next(), 1'000'000'000 + 1'000'000);  // what is there before we send anything
    fuzz::FuzzSession session(peer);
    const uint32_t handle = session.handle();
    if (handle == 0) return 0;
    std::array<uint8_t, kMaxMessageData> area{};
    for (int round = 0; round < 8 && peer.left() > 0; ++round) {
        const uint8_t what = peer.next();
        peer.emit(peer.next(), session.sim().nowNs() + 500'000);
        switch (what % 4) {
            case 0: {
                FrameSlot slot{};
                uint8_t received = 0;
                ReceiveFrame(handle, slot, &received, what & 0x10);
                break;
            }
            case 1: {
                FrameSlot slot{};
                FrameSlot rx{};
                slot[0] = what;
                uint8_t acked = 0, received = 0;
                SendFrame(handle, slot, &acked, rx, &received);
                break;
            }
            case 2: {
                const std::array<uint8_t, 300> request{};
                EBDSendToTarget(handle, 99, request.data(), static_cast<uint16_t>(what) + 40);
                break;
            }
            default:
                EBDReceiveFromTarget(handle, static_cast<uint16_t>(what & 0x7E), area.data(), 1500);
                break;
        }
    }
    return 0;
}
