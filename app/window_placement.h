// Where the window opens: at its drawn position when the whole window fits on
// the available part of the screen there, otherwise moved just enough to be
// fully visible. Toolkit-free, so that every front end places its window the
// same way.
#pragma once

#include <algorithm>

namespace ebd::app {

struct ScreenRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

struct ScreenPoint {
    int left = 0;
    int top = 0;

    friend constexpr bool operator==(const ScreenPoint&, const ScreenPoint&) = default;
};

namespace placement_detail {

// One axis: the window's far edge pulled back onto the screen, then its near
// edge; a window larger than the screen keeps its near edge (the caption bar
// and the left border) visible.
constexpr int Fit(int position, int size, int start, int length) {
    const long long last = static_cast<long long>(start) + length - size;
    long long placed = std::min<long long>(position, last);
    placed = std::max<long long>(placed, start);
    return static_cast<int>(placed);
}

}  // namespace placement_detail

// `window` is the whole window, frame included, at the position it was drawn
// at; `available` the part of the screen windows may cover (without panels and
// task bars). An empty `available` (no screen known) leaves the window where it is.
constexpr ScreenPoint KeepOnScreen(const ScreenRect& window, const ScreenRect& available) {
    if (available.width <= 0 || available.height <= 0) return {window.left, window.top};
    return {placement_detail::Fit(window.left, window.width, available.left, available.width),
            placement_detail::Fit(window.top, window.height, available.top, available.height)};
}

}  // namespace ebd::app
