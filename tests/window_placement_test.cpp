// Where the window opens: at its drawn position when it fits, otherwise moved
// just enough to be fully visible on the available part of the screen.
#include "app/window_placement.h"

#include <gtest/gtest.h>

namespace ebd::test {
namespace {

using app::KeepOnScreen;
using app::ScreenPoint;
using app::ScreenRect;

// The window as drawn: outer size 195 x 212 at left 225, top 456.
constexpr ScreenRect kDrawn{225, 456, 195, 212};

TEST(WindowPlacement, AWindowThatFitsStaysWhereItWasDrawn) {
    EXPECT_EQ(KeepOnScreen(kDrawn, {0, 0, 1920, 1080}), (ScreenPoint{225, 456}));
    EXPECT_EQ(KeepOnScreen(kDrawn, {0, 0, 1024, 768}), (ScreenPoint{225, 456}));
    // Exactly fitting, to the pixel: 456 + 212 = 668.
    EXPECT_EQ(KeepOnScreen(kDrawn, {0, 0, 420, 668}), (ScreenPoint{225, 456}));
    static_assert(KeepOnScreen(kDrawn, {0, 0, 800, 700}) == ScreenPoint{225, 456});
}

TEST(WindowPlacement, OnASmallScreenTheWindowMovesJustEnoughToBeSeenWhole) {
    // 800 x 600: the lower edge would be at 668; it moves up by 68.
    EXPECT_EQ(KeepOnScreen(kDrawn, {0, 0, 800, 600}), (ScreenPoint{225, 388}));
    // A panel of 32 pixels at the bottom leaves 568 rows.
    EXPECT_EQ(KeepOnScreen(kDrawn, {0, 0, 800, 568}), (ScreenPoint{225, 356}));
    // A panel at the top: the available area starts lower, the bottom is what counts.
    EXPECT_EQ(KeepOnScreen(kDrawn, {0, 27, 800, 573}), (ScreenPoint{225, 388}));
    // Too narrow as well: moved left until the right edge is on the screen.
    EXPECT_EQ(KeepOnScreen(kDrawn, {0, 0, 400, 600}), (ScreenPoint{205, 388}));
    // A screen to the right of another one, smaller than the window's spot.
    EXPECT_EQ(KeepOnScreen(kDrawn, {1920, 0, 640, 480}), (ScreenPoint{1920, 268}));
    // Left of and above the available area (a panel on the left, a screen below).
    EXPECT_EQ(KeepOnScreen(kDrawn, {300, 500, 1024, 768}), (ScreenPoint{300, 500}));
}

TEST(WindowPlacement, AScreenSmallerThanTheWindowKeepsItsCaptionAndLeftEdgeVisible) {
    EXPECT_EQ(KeepOnScreen(kDrawn, {0, 0, 160, 120}), (ScreenPoint{0, 0}));
    EXPECT_EQ(KeepOnScreen(kDrawn, {10, 20, 160, 120}), (ScreenPoint{10, 20}));
    // No screen known: the window stays where it was drawn.
    EXPECT_EQ(KeepOnScreen(kDrawn, {0, 0, 0, 0}), (ScreenPoint{225, 456}));
    EXPECT_EQ(KeepOnScreen(kDrawn, {0, 0, -5, 600}), (ScreenPoint{225, 456}));
    // Far-off coordinates do not overflow.
    EXPECT_EQ(KeepOnScreen({2'000'000'000, 2'000'000'000, 195, 212}, {0, 0, 800, 600}),
              (ScreenPoint{605, 388}));
    EXPECT_EQ(KeepOnScreen({-2'000'000'000, 0, 195, 212}, {2'000'000'000, 0, 100'000'000, 600}),
              (ScreenPoint{2'000'000'000, 0}));
}

}  // namespace
}  // namespace ebd::test
