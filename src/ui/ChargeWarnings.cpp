#include "ui/ChargeWarnings.h"

#include "ui/frmCharges.h"

namespace vesk::ui {

const char* const kChargeNoteMessageSize
    = "If you set the maximum message size to more than 160 characters then multiple text messages will "
      "be required to deliver the entire message.\\p"
      "Each SMS will incur a charge from your network operator.";
const char* const kChargeNoteReply = "If you enable replies to incoming messages then you will incur charges "
                                     "from your network operator.\\p"
                                     "The reply will be sent sent as a standard SMS via the modem.";
const char* const kChargeNoteForward
    = "If you forward incoming messages to another SMS number then you will incur charges from your network "
      "operator.\\p"
      "The forward is simply another SMS message that is delivered via the modem.";

QString FormatChargeNote(const QString& text)
{
    QString shown = text;
    shown.replace("\\p", "\r\n\r\n");
    shown.replace("\\n", "\r\n");
    shown.replace("\\t", "    ");
    return shown;
}

void ShowChargeNote(QWidget* owner, const QString& text)
{
    frmCharges note(owner);
    note.SetInfo(text);
    note.exec();
}

} // namespace vesk::ui
