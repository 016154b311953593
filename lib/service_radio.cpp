// Radio control in the module's test mode (power, receiver, telegrams) and the
// loopback test.
#include "lib/ebd.h"
#include "lib/ebd_intern.h"
#include "rpc/ebdrpc_service.h"

namespace ebd {

namespace {

enum RxControl : uint8_t {
    kPowerOn = 0,
    kPowerDown = 1,
    kReceiverOn = 2,
    kReceiverOff = 3,
    kSendTelegram = 4,
    kSetInitTelegram = 5,
};

enum LoopBackMode : uint8_t {
    kLoopBackStart = 0,
    kLoopBackChange = 1,
    kLoopBackStop = 2,
};

// The call, failure and success lines of a receiver-control operation whose
// entry line has been traced. The failure line is the operation's own unless
// `failureText` names another text to put before " fails with error".
int32_t RxControlCall(uint32_t handle, const char* operation, uint8_t control, uint32_t parameter,
                      uint8_t index, const char* failureText = nullptr) {
    Trace(handle, "(EBD ) %s: call EBDRPCCalDevGsmRxControl()...", operation);
    const uint16_t error = EBDRPCCalDevGsmRxControl(handle, control, parameter, index);
    if (error != 0 && failureText != nullptr) {
        return Fail(handle, error, "%s fails with error %d", failureText, error);
    }
    return FinishCall(handle, operation, "EBDRPCCalDevGsmRxControl", error);
}

int32_t LoopBackCall(uint32_t handle, const char* operation, const char* modeName, uint8_t mode, uint16_t bch,
                     uint16_t tch, uint8_t timeSlot, uint8_t tsc, uint8_t powerLevel) {
    Trace(handle, "(EBD ) %s: call EBDRPCCalDevGsmLoopBack(%s)...", operation, modeName);
    const uint16_t error = EBDRPCCalDevGsmLoopBack(handle, mode, bch, tch, timeSlot, tsc, powerLevel);
    return FinishCall(handle, operation, "EBDRPCCalDevGsmLoopBack", error);
}

}  // namespace

}  // namespace ebd

using namespace ebd;

extern "C" int32_t WRadioPowerOn(EBDHandle handle) {
    if (!HandleValid(handle)) return 0;
    TraceLine(handle, "(EBD ) WRadioPowerOn()");
    return RxControlCall(handle, "WRadioPowerOn", kPowerOn, 0, 0);
}

extern "C" int32_t WRadioPowerDown(EBDHandle handle) {
    if (!HandleValid(handle)) return 0;
    TraceLine(handle, "(EBD ) WRadioPowerDown()");
    return RxControlCall(handle, "WRadioPowerDown", kPowerDown, 0, 0);
}

extern "C" int32_t WRadioReceiverOn(EBDHandle handle, uint32_t parameter) {
    if (!HandleValid(handle)) return 0;
    Trace(handle, "(EBD ) WRadioReceiverOn(parameter=0x%08x)", parameter);
    return RxControlCall(handle, "WRadioReceiverOn", kReceiverOn, parameter, 0);
}

extern "C" int32_t WRadioReceiverOff(EBDHandle handle, uint32_t parameter) {
    if (!HandleValid(handle)) return 0;
    Trace(handle, "(EBD ) WRadioReceiverOff(parameter=0x%08x)", parameter);
    return RxControlCall(handle, "WRadioReceiverOff", kReceiverOff, parameter, 0);
}

extern "C" int32_t WRadioSendTelegram(EBDHandle handle, uint32_t telegram) {
    if (!HandleValid(handle)) return 0;
    Trace(handle, "(EBD ) WRadioSendTelegram(telegram=0x%08x)", telegram);
    // Its failure line names another operation.
    return RxControlCall(handle, "WRadioSendTelegram", kSendTelegram, telegram, 0,
                         "(EBD ) WGPCall: call EBDRPCCalDevGsmRxControl");
}

extern "C" int32_t WRadioSetInitTelegram(EBDHandle handle, uint32_t telegram, uint8_t index) {
    if (!HandleValid(handle)) return 0;
    Trace(handle, "(EBD ) WRadioSetInitTelegram(telegram=0x%08x, index=%d)", telegram, index);
    return RxControlCall(handle, "WRadioSetInitTelegram", kSetInitTelegram, telegram, index);
}

extern "C" int32_t WStartLoopback(EBDHandle handle, uint16_t bch, uint16_t tch, uint8_t timeSlot, uint8_t tsc,
                                  uint8_t powerLevel) {
    if (!HandleValid(handle)) return 0;
    Trace(handle, "(EBD ) WStartLoopback(bch=%d, tch=%d, timeSlot=%d, tsc=%d, powerLevel=%d)", bch, tch,
          timeSlot, tsc, powerLevel);
    return LoopBackCall(handle, "WStartLoopback", "Start", kLoopBackStart, bch, tch, timeSlot, tsc,
                        powerLevel);
}

extern "C" int32_t WChangeLoopback(EBDHandle handle, uint16_t tch, uint8_t timeSlot, uint8_t tsc,
                                   uint8_t powerLevel) {
    if (!HandleValid(handle)) return 0;
    Trace(handle, "(EBD ) WChangeLoopback(tch=%d, timeSlot=%d, tsc=%d, powerLevel=%d)", tch, timeSlot, tsc,
          powerLevel);
    return LoopBackCall(handle, "WChangeLoopback", "Change", kLoopBackChange, 0, tch, timeSlot, tsc,
                        powerLevel);
}

extern "C" int32_t WStopLoopback(EBDHandle handle) {
    if (!HandleValid(handle)) return 0;
    TraceLine(handle, "(EBD ) WStopLoopback()");
    return LoopBackCall(handle, "WStopLoopback", "Stop", kLoopBackStop, 0, 0, 0, 0, 0);
}

extern "C" int32_t WGetLoopbackData(EBDHandle handle, int16_t* pTimingOffsetQbits, int16_t* pFreqOffsetHz,
                                    uint16_t* pBitErrors, uint16_t* pSoftDecisionTotal, int16_t* pRssi) {
    if (!HandleValid(handle)) return 0;
    if (pTimingOffsetQbits == nullptr || pFreqOffsetHz == nullptr || pBitErrors == nullptr ||
        pSoftDecisionTotal == nullptr || pRssi == nullptr)
        return 0;
    TraceLine(
        handle,
        "(EBD ) WGetLoopbackData(pTimingOffsetQbits, pFreqOffsetHz, pBitErrors, pSoftDecisionTotal, pRssi)");
    TraceLine(handle, "(EBD ) WGetLoopbackData: call EBDRPCCalDevGsmLoopBackData()...");
    const uint16_t error = EBDRPCCalDevGsmLoopBackData(handle, pTimingOffsetQbits, pFreqOffsetHz, pBitErrors,
                                                       pSoftDecisionTotal, pRssi);
    if (error != 0) return CallFailed(handle, "WGetLoopbackData", "EBDRPCCalDevGsmLoopBackData", error);
    Trace(handle, "(EBD ) WGetLoopbackData: rets *pTimingOffsetQbits %d", *pTimingOffsetQbits);
    Trace(handle, "(EBD ) WGetLoopbackData: rets *pFreqOffsetHz %d", *pFreqOffsetHz);
    Trace(handle, "(EBD ) WGetLoopbackData: rets *pBitErrors %d", *pBitErrors);
    Trace(handle, "(EBD ) WGetLoopbackData: rets *pSoftDecisionTotal %d", *pSoftDecisionTotal);
    Trace(handle, "(EBD ) WGetLoopbackData: rets *pRssi %d", *pRssi);
    TraceLine(handle, "(EBD ) WGetLoopbackData: O.K.");
    return 1;
}
