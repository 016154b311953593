// Remote calls: one request/confirm exchange with the module's firmware each,
// returning a 16-bit error code (rpc/nomierr.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace ebd {

// ---- The common frame, shared by every call -------------------------------
namespace rpc {
// What a call reads of its confirm: the call's name for the trace, and the end
// of the last field it checks or hands out (pad bytes behind it do not count).
// A confirm that stops short of it carries zeros the module never sent, so it
// is refused rather than read.
struct Needs {
    const char* call;
    uint16_t bytes;
};

// Receives the confirm `confirmId` into `buffer`, with up to `tries` attempts;
// `received`, when given, gets the number of bytes the confirm filled in.
bool Receive(uint32_t handle, uint16_t confirmId, uint8_t* buffer, uint16_t maxLength, int tries = 1,
             uint16_t* received = nullptr);
// kRpcOk when a confirm of `received` bytes reaches needs.bytes; otherwise
// traces "(RPC ) <call>: confirm has <received> bytes, <needed> needed" and
// gives kRpcStatusFailed.
uint16_t CheckLength(uint32_t handle, const Needs& needs, uint16_t received);
// The end of a NUL-terminated text at `offset` of a confirm of `received`
// bytes, of which at most `maxChars` characters are handed out: behind its NUL,
// or behind `maxChars` characters. A text that the confirm cuts before either
// needs one byte more than it got.
uint16_t TextEnd(const uint8_t* confirm, uint16_t received, size_t offset, size_t maxChars);
// Areas whose size depends on the caller's data; nullptr when memory is short.
uint8_t* AllocArea(size_t size);
void FreeArea(uint8_t* area);
// For tests: the next `count` area allocations fail.
void FailAllocations(int count);

// The version gate, then the request; kRpcOk or kRpcNotSent.
uint16_t SendRequest(uint32_t handle, uint16_t requestId, std::span<const uint8_t> request);
// Receives the request's confirm (up to `tries` attempts) for a call that
// takes any reference: kRpcOk, kRpcNoConfirm, or kRpcStatusFailed when it
// stops short of needs.bytes.
uint16_t ReceiveWhole(uint32_t handle, uint16_t requestId, std::span<uint8_t> confirm, const Needs& needs,
                      int tries = 1, uint16_t* received = nullptr);
// Receives the request's confirm and checks its reference, then its length:
// kRpcOk, kRpcNoConfirm, kRpcBadReference or kRpcStatusFailed. A confirm too
// short to carry a reference cannot be matched and fails on its length; one
// with another reference is somebody else's, whatever its length, and gives
// kRpcBadReference.
uint16_t ReceiveConfirm(uint32_t handle, uint16_t requestId, std::span<uint8_t> confirm, uint16_t ref,
                        const Needs& needs, int tries = 1, uint16_t* received = nullptr);
// Both, for the calls whose frame has nothing between them; the reference is
// the first field of the request.
uint16_t Exchange(uint32_t handle, uint16_t requestId, std::span<const uint8_t> request,
                  std::span<uint8_t> confirm, const Needs& needs);

// Owns an area for the duration of one call: released on every path.
class Area {
public:
    explicit Area(size_t size) : p_(AllocArea(size)) {}
    ~Area() { FreeArea(p_); }
    Area(const Area&) = delete;
    Area& operator=(const Area&) = delete;
    uint8_t* get() const { return p_; }

private:
    uint8_t* p_;
};
}  // namespace rpc

// ---- The version gate ----------------------------------------------------
// Asks the module for its version before the first remote call of a session,
// traces it and keeps the bootloader text and the mobile SW version number.
void GetTargetVersion(uint32_t handle);

// ---- Main-path calls -----------------------------------------------------
uint16_t EBDRPCGetVersion(uint32_t handle, uint32_t* hardwareVersion, uint32_t* rpcVersion, char* text,
                          uint16_t textSize);
uint16_t EBDRPCGetCurrentOperationMode(uint32_t handle, uint8_t* mode);
uint16_t EBDRPCSetCurrentOperationMode(uint32_t handle, uint8_t mode);
uint16_t EBDRPCSwitchJavaAutoStart(uint32_t handle, uint8_t onOff);
uint16_t EBDRPCSwitchOff(uint32_t handle);
uint16_t EBDRPCCalDevGsmFinish(uint32_t handle);
// response: nullptr, or room for 4 * 128 + 1 characters.
uint16_t EBDRPCSendAtCommand(uint32_t handle, const char* command, char* response);
uint16_t EBDRPCReceiveAtCommand(uint32_t handle, char* response);

}  // namespace ebd
