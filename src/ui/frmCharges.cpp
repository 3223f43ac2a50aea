#include "ui/frmCharges.h"

#include "ui/ChargeWarnings.h"
#include "ui/Placeholders.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace vesk::ui {

frmCharges::frmCharges(QWidget* parent)
    : QDialog(parent)
{
    setObjectName("frmCharges");
    setWindowTitle("{APP} - Charges");
    auto* icon = new QLabel(this);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(32, 32));
    lblInfo = new QLabel(this);
    lblInfo->setWordWrap(true);
    lblInfo->setMinimumWidth(340);
    cmdOK = new QPushButton("OK", this);
    cmdOK->setDefault(true);

    auto* body = new QHBoxLayout;
    body->addWidget(icon, 0, Qt::AlignTop);
    body->addWidget(lblInfo, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdOK);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(body, 1);
    layout->addLayout(buttons);
    connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);
    ApplyPlaceholders(*this);
}

void frmCharges::SetInfo(const QString& text)
{
    // Line breaks on this platform are "\n" alone; a carriage return would show as a stray blank.
    lblInfo->setText(FormatChargeNote(text).remove(QChar('\r')));
}

} // namespace vesk::ui
