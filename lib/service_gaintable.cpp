// Receiver gain table from two measuring points: a 26-entry table of AGC gain
// words and their RSSI values, extrapolated from the points measured at table
// positions 4 and 15. Nothing is sent to the module; the session handle only
// routes the trace lines.
#include <array>

#include "lib/ebd.h"
#include "lib/ebd_intern.h"

namespace ebd {

namespace {

constexpr size_t kTableSize = 26;
constexpr uint16_t kPointCount = 3;
constexpr uint16_t kFirstPoint = 4;
constexpr uint16_t kSecondPoint = 15;

// A gain word carries its gain step in the low six bits; each step is worth
// 2 dB, 32 sixteenths of a dB. Steps above 45 are not used.
constexpr uint16_t kStepMask = 0x3F;
constexpr int kMaxStep = 45;
constexpr int kRssiPerStep = 32;

// Fills entries first..last from the measuring point at `position`. All word
// arithmetic is 16-bit and wraps.
void Extrapolate(uint32_t handle, int point, uint16_t gainWord, int16_t rssi, size_t first, size_t last,
                 int position, uint16_t* gainWordResult, int16_t* rssiResult) {
    const int s = gainWord & kStepMask;
    const auto upper = static_cast<uint16_t>(gainWord & ~kStepMask);
    for (size_t i = first; i <= last; ++i) {
        const int offset = 2 * (static_cast<int>(i) - position);
        auto word = static_cast<uint16_t>(gainWord + offset);
        auto value = static_cast<uint16_t>(rssi);
        // The step the entry needs; a step above 63 would carry into the upper
        // ten bits, which pass unchanged, so it is capped like any step above 45.
        int step = s + offset;
        if (step < 0) {
            Trace(handle, "(EBD ) WSendGwRssiMPoints: underflow -> step %d, gainWord[%d] 0x%x",
                  static_cast<int>(i), point, gainWord);
            word = upper;
            value = static_cast<uint16_t>(value + -step * kRssiPerStep);
            step = 0;
        }
        if (step > kMaxStep) {
            Trace(handle, "(EBD ) WSendGwRssiMPoints: overflow -> step %d, gainWordResult[%d] 0x%x",
                  static_cast<int>(i), static_cast<int>(i), word);
            word = static_cast<uint16_t>(upper | kMaxStep);
            value = static_cast<uint16_t>(value - (step - kMaxStep) * kRssiPerStep);
        }
        gainWordResult[i] = word;
        rssiResult[i] = static_cast<int16_t>(value);
    }
}

// A signed word printed with %x shows as the int it is promoted to.
unsigned AsHex(int16_t value) {
    return static_cast<unsigned>(static_cast<int>(value));
}

}  // namespace

}  // namespace ebd

using namespace ebd;

extern "C" int32_t WGetGwIndexArray(EBDHandle handle, uint32_t /*ignored*/, uint16_t* indexArray) {
    if (indexArray == nullptr) return 0;
    Trace(handle, "(EBD ) WGetGwIndexArray(Anzahl=%d,Messpunkt1=%d , Messpunkt2= %d)", indexArray[0],
          indexArray[1], indexArray[2]);
    indexArray[0] = kPointCount;
    indexArray[1] = kFirstPoint;
    indexArray[2] = kSecondPoint;
    return 1;
}

extern "C" int32_t WSendGwRssiMPoints(EBDHandle handle, const uint16_t* gainWord, const int16_t* rssi,
                                      uint16_t* gainWordResult, int16_t* rssiResult) {
    if (gainWord == nullptr || rssi == nullptr || gainWordResult == nullptr || rssiResult == nullptr)
        return 0;
    Trace(handle, "(EBD ) WSendGwRssiMPoints(gainWord[0]=0x%x, gainWord[1]=0x%x)", gainWord[0], gainWord[1]);
    Trace(handle, "(EBD ) WSendGwRssiMPoints(RSSI[0]=%x,RSSI[1]=%x )", AsHex(rssi[0]), AsHex(rssi[1]));
    Extrapolate(handle, 0, gainWord[0], rssi[0], 0, 6, kFirstPoint, gainWordResult, rssiResult);
    Extrapolate(handle, 1, gainWord[1], rssi[1], 7, kTableSize - 1, kSecondPoint, gainWordResult, rssiResult);
    TraceHexWords(handle, "(EBD ) WSendGwRssiMPoints: gainWordResult ->", gainWordResult, kTableSize);
    TraceHexWords(handle, "(EBD ) WSendGwRssiMPoints: rssiResult     ->", rssiResult, kTableSize);
    return 1;
}
