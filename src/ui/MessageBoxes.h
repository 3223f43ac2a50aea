#pragma once

#include <QString>

class QWidget;

namespace vesk::ui {

// Message boxes titled with the product name and showing the critical-stop icon.
bool AskYesNoCritical(QWidget* parent, const QString& text); // true for Yes
void ShowCritical(QWidget* parent, const QString& text);

} // namespace vesk::ui
