// What the Windows tests need to know about where they run.
#pragma once

#include <windows.h>

#include <cstdlib>
#include <string>

namespace ebd::test {

// Whether this program runs under Wine rather than on Windows itself: Wine's
// ntdll has an entry point of its own.
inline bool UnderWine() {
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// The COM port a test was given in EBD_TEST_PORT (its driver script serves a
// simulated module there); 0 when none was given.
inline int TestPort() {
    const char* text = std::getenv("EBD_TEST_PORT");
    return text != nullptr ? std::atoi(text) : 0;
}

}  // namespace ebd::test
