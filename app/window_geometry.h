// The layout of the window, one table for both of its builds: the Qt window on
// Linux (Disabletoolform.cpp) and the plain Win32 dialog on Windows
// (Disabletoolform_win32.cpp). Pixels at 96 pixels per inch; control positions
// are relative to the client area, radio buttons relative to the group box.
#pragma once

#include <array>
#include <string>

namespace ebd::app::window {

struct Place {
    int left;
    int top;
    int width;
    int height;
};

struct Control {
    const char* name;
    const char* caption;
    Place place;
    int tabOrder;          // among the controls of the same parent
    char mnemonic = '\0';  // the caption's letter that Alt (or the key alone) presses; none: 0
};

// The caption as both toolkits take it: an '&' before the mnemonic's first
// occurrence, which underlines it and leaves the text on screen as it was.
inline std::string CaptionWithMnemonic(const Control& control) {
    std::string text = control.caption;
    const size_t at = control.mnemonic != '\0' ? text.find(control.mnemonic) : std::string::npos;
    if (at != std::string::npos) text.insert(at, 1, '&');
    return text;
}

inline constexpr const char* kName = "DisableTool";
inline constexpr const char* kClassName = "TDisableTool";
inline constexpr const char* kCaption = "Disable Autostart";
// The application's title, which the window's error box shows.
inline constexpr const char* kApplicationTitle = "Autostart Off";

// The window's frame on the desktop: outer size and initial position.
inline constexpr Place kFrame{225, 456, 195, 212};
// The frame's border and caption bar on the desktop the layout was drawn on;
// what remains is the client area.
inline constexpr int kBorder = 4;
inline constexpr int kCaptionBar = 19;
inline constexpr int kClientWidth = kFrame.width - 2 * kBorder;
inline constexpr int kClientHeight = kFrame.height - 2 * kBorder - kCaptionBar;

// "MS Sans Serif" at height -11: 8 point at 96 pixels per inch.
inline constexpr const char* kFontFace = "MS Sans Serif";
inline constexpr int kFontHeight = -11;

inline constexpr Control kGroup{"COMPortFrame", "COM Port for Module", {10, 12, 165, 125}, 0, '\0'};

inline constexpr int kPorts = 8;
// PortSelector1 to PortSelector8, "COM 1" to "COM 8": two columns of four,
// each pressed with its digit.
inline constexpr std::array<Control, kPorts> kPortSelectors{{
    {"PortSelector1", "COM 1", {16, 25, 60, 17}, 0, '1'},
    {"PortSelector2", "COM 2", {16, 49, 60, 17}, 1, '2'},
    {"PortSelector3", "COM 3", {16, 73, 60, 17}, 2, '3'},
    {"PortSelector4", "COM 4", {16, 97, 60, 17}, 3, '4'},
    {"PortSelector5", "COM 5", {96, 25, 60, 17}, 4, '5'},
    {"PortSelector6", "COM 6", {96, 49, 60, 17}, 5, '6'},
    {"PortSelector7", "COM 7", {96, 73, 60, 17}, 6, '7'},
    {"PortSelector8", "COM 8", {96, 97, 60, 17}, 7, '8'},
}};

inline constexpr Control kStartButton{"StartButton", "Autostart Off", {10, 144, 72, 24}, 1, 'A'};
inline constexpr Control kCloseButton{"CloseButton", "Close", {102, 144, 72, 24}, 2, 'C'};

}  // namespace ebd::app::window
