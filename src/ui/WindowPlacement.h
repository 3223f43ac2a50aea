#pragma once

namespace vesk::core {
struct CConfig;
}

namespace vesk::ui {

// Window positions are kept in twips, so stored rectangles keep their meaning across screens.
inline constexpr int kTwipsPerPixel = 15;

struct ScreenTwips
{
    float width = 0; // whole screen, twips
    float height = 0;
    float twipsPerPixelX = kTwipsPerPixel;
    float twipsPerPixelY = kTwipsPerPixel;
};

// Moves a window corner back onto the screen.
void KeepOnScreen(float& left, float& top, const ScreenTwips& screen);
// Makes the stored main-window rectangle usable on this screen.
void CheckWindowPlacement(core::CConfig& config, const ScreenTwips& screen);
// True when all four stored values are set (none is -1).
bool HasStoredPlacement(const core::CConfig& config);

} // namespace vesk::ui
