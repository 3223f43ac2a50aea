#include "ui/WindowPlacement.h"

#include "core/CConfig.h"

namespace vesk::ui {

void KeepOnScreen(float& left, float& top, const ScreenTwips& screen)
{
    if (left < 0)
        left = 0;
    if (top < 0)
        top = 0;
    const float margin = 32 * screen.twipsPerPixelY;
    if (left >= screen.width - margin)
        left = static_cast<float>(static_cast<long>(screen.width) / 2);
    if (top >= screen.height - margin)
        top = static_cast<float>(static_cast<long>(screen.height) / 2);
}

void CheckWindowPlacement(core::CConfig& config, const ScreenTwips& screen)
{
    KeepOnScreen(config.WindowLeft, config.WindowTop, screen);
    if (config.WindowWidth < 500 * screen.twipsPerPixelX)
        config.WindowWidth = 500 * screen.twipsPerPixelX;
    if (config.WindowHeight < 200 * screen.twipsPerPixelY)
        config.WindowHeight = 200 * screen.twipsPerPixelY;
}

bool HasStoredPlacement(const core::CConfig& config)
{
    return config.WindowLeft != -1 && config.WindowTop != -1 && config.WindowWidth != -1
        && config.WindowHeight != -1;
}

} // namespace vesk::ui
