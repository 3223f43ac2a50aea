#pragma once

#include <QString>

class QWidget;

namespace vesk::ui {

// Message boxes titled with the product name; the first two show the critical-stop icon.
bool AskYesNoCritical(QWidget* parent, const QString& text); // true for Yes
void ShowCritical(QWidget* parent, const QString& text);
// A note about something the user typed, with the exclamation icon.
void ShowExclamation(QWidget* parent, const QString& text);

} // namespace vesk::ui
