#include "ui/frmVBScriptWarning.h"

#include "ui/Placeholders.h"

#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

namespace vesk::ui {

frmVBScriptWarning::frmVBScriptWarning(QWidget* parent)
    : QDialog(parent)
{
    setObjectName("frmVBScriptWarning");
    setWindowTitle("{APP} - VBScript Warning");
    auto* text = new QLabel("{APP} requires VBScript 5.7 or higher to run its rules.", this);
    text->setWordWrap(true);
    cmdContinue = new QPushButton("Continue", this);
    cmdDownload = new QPushButton("Goto Download Page", this);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdContinue);
    buttons->addWidget(cmdDownload);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text);
    layout->addLayout(buttons);
    connect(cmdContinue, &QPushButton::clicked, this, [this] {
        m_continue = true;
        hide();
        done(QDialog::Accepted);
    });
    connect(cmdDownload, &QPushButton::clicked, this, [this] {
        QDesktopServices::openUrl(QUrl("https://www.microsoft.com/download"));
        hide();
        done(QDialog::Rejected);
    });
    ApplyPlaceholders(*this);
}

} // namespace vesk::ui
