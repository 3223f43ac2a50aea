#pragma once

#include <QIcon>
#include <QPixmap>

namespace vesk::ui {

// The console's icons are drawn here rather than loaded, so they stay crisp at any size and
// need no files beside the program.

// Activity-log icon by level (1 info, 2 warning, 3 error, 5 sending, 7 delivered,
// 8 not delivered, 9 modem, 10 inbound, 11 mailed); an empty pixmap for other levels.
QPixmap LogIcon(int level, int size = 16);
// Status-bar mode icon by image number (1 idle, 2 paused, 3 sending, 6 busy).
QPixmap ModeIcon(int image, int size = 16);
QIcon AppIcon();

} // namespace vesk::ui
