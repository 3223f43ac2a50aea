#include "ui/ChargeWarnings.h"

#include "ui/frmCharges.h"

#include <QStyle>
#include <QToolButton>

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

QToolButton* ChargeWarningButton(QWidget* parent, const char* objectName, const char* note)
{
    auto* button = new QToolButton(parent);
    button->setObjectName(objectName);
    button->setIcon(parent->style()->standardIcon(QStyle::SP_MessageBoxWarning));
    button->setAutoRaise(true);
    button->setCursor(Qt::PointingHandCursor);
    button->setToolTip("This setting may incur charges from your network operator");
    QObject::connect(button, &QToolButton::clicked, button,
        [button, note] { ShowChargeNote(button->window(), QString(note)); });
    return button;
}

} // namespace vesk::ui
