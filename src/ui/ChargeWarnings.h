#pragma once

#include <QString>

class QToolButton;
class QWidget;

namespace vesk::ui {

// Notes for the settings that make the modem send extra, chargeable text messages.
// "\p" starts a new paragraph, "\n" a new line and "\t" indents.
extern const char* const kChargeNoteMessageSize;
extern const char* const kChargeNoteReply;
extern const char* const kChargeNoteForward;

// The note as shown: "\p" becomes two line breaks, "\n" one, "\t" four blanks.
QString FormatChargeNote(const QString& text);

// Shows a note in frmCharges, modal over `owner` when there is one.
void ShowChargeNote(QWidget* owner, const QString& text);

// The warning icon beside a chargeable setting; a click shows its note over the icon's window.
QToolButton* ChargeWarningButton(QWidget* parent, const char* objectName, const char* note);

} // namespace vesk::ui
