#pragma once

class QWidget;

namespace vesk::ui {

// Puts the product names into a window as it loads: "{APP}" and "{SUITE}" in the caption and in
// the text and tool tip of every label, button, check box and frame it holds.
void ApplyPlaceholders(QWidget& window);

} // namespace vesk::ui
