// WGetErrorText: a static English text for every last-error code.
#include <array>

#include "lib/ebd.h"
#include "lib/ebd_types.h"

namespace {

constexpr const char* kUnknown = "unknown error code";

struct CodeText {
    uint16_t code;
    const char* text;
};

// Code 4 has two meanings: who stored it settles which.
constexpr CodeText kTexts[] = {
    {EBD_OK, "no error code stored"},
    {EBD_ERR_NOT_SENT, "the request could not be sent to the module"},
    {EBD_ERR_NO_CONFIRM, "the module sent no confirm"},
    {EBD_ERR_PORT_IN_USE, "the port already has a session"},
    {EBD_ERR_PORT_OPEN,
     "the port could not be opened or set up (after WComOpen), or the confirm carries another request's "
     "reference (after a remote call)"},
    {EBD_ERR_STATUS, "the module reports failure in the confirm's status"},
    {EBD_ERR_CHECK_STATUS, "the calibration check's confirm carries an unknown status"},
    {EBD_ERR_NO_MEMORY, "no memory for a request or confirm area"},
    {EBD_ERR_INVALID_HANDLE, "invalid session handle"},
    {EBD_ERR_INVALID_BAND, "invalid band"},
    {EBD_ERR_AM_LOOP_OFFSET, "invalid AM loop offset (64 or more)"},
    {EBD_ERR_MODULATION, "invalid modulation (neither 0 GMSK nor 1 8PSK)"},
    {EBD_ERR_RAMP_DAC, "invalid ramp DAC value (1024 or more)"},
    {EBD_ERR_FREQUENCY_BURST, "the module reported a frequency-burst status other than 1 or 2"},
    {EBD_ERR_JOURNAL, "the calibration journal in the state directory could not be written, read or removed"},
};

// The identity operations store 700 + s for a signed status byte s other than 0.
constexpr int kLowestStatus = -128;
constexpr int kStatusCount = 256;

constexpr char kIdentityPrefix[] = "the module refused the identity operation with status ";

using IdentityText = std::array<char, sizeof kIdentityPrefix + 5>;  // sign, three digits, NUL
using IdentityTexts = std::array<IdentityText, kStatusCount>;

constexpr IdentityText IdentityTextOf(int status) {
    IdentityText text{};
    size_t n = 0;
    for (size_t i = 0; kIdentityPrefix[i] != '\0'; ++i) text[n++] = kIdentityPrefix[i];
    if (status < 0) text[n++] = '-';
    const int magnitude = status < 0 ? -status : status;
    if (magnitude >= 100) text[n++] = static_cast<char>('0' + magnitude / 100);
    if (magnitude >= 10) text[n++] = static_cast<char>('0' + magnitude / 10 % 10);
    text[n] = static_cast<char>('0' + magnitude % 10);
    return text;
}

// Built by the compiler: read-only data that any thread may read at any time.
constexpr IdentityTexts kIdentityTexts = [] {
    IdentityTexts built{};
    for (int i = 0; i < kStatusCount; ++i) built[static_cast<size_t>(i)] = IdentityTextOf(kLowestStatus + i);
    return built;
}();

}  // namespace

extern "C" const char* WGetErrorText(uint16_t code) {
    for (const CodeText& entry : kTexts)
        if (entry.code == code) return entry.text;
    const int status = static_cast<int>(code) - EBD_ERR_IDENTITY_BASE;
    if (status != 0 && status >= kLowestStatus && status < kLowestStatus + kStatusCount)
        return kIdentityTexts[static_cast<size_t>(status - kLowestStatus)].data();
    return kUnknown;
}
