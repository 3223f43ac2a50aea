#include "ui/frmOverwiteOBWarning.h"

#include "ui/Placeholders.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace vesk::ui {

frmOverwiteOBWarning::frmOverwiteOBWarning(QWidget* parent)
    : QDialog(parent)
{
    setObjectName("frmOverwiteOBWarning");
    setWindowTitle("{APP} - Overwrite Data Files");
    auto* heading = new QLabel("WARNING - POTENTIAL DATA LOSS", this);
    heading->setStyleSheet("color: rgb(176, 0, 0); font-weight: bold; font-size: 12pt;");
    auto* text1
        = new QLabel("Data files already exist in the folder you have selected. You must choose whether "
                     "to keep the existing files or create new ones.",
            this);
    auto* text2
        = new QLabel("If you choose to create new data files then this application will try and "
                     "migrate as many of your existing settings as possible. Please be aware that this "
                     "might mean that are all of your existing settings such as forwarding rules are "
                     "lost.",
            this);
    for (QLabel* l : {text1, text2}) {
        l->setWordWrap(true);
        l->setMinimumWidth(420);
    }
    cmdKeep = new QPushButton("Keep Existing Data Files", this);
    cmdOverwrite = new QPushButton("Create New Data Files", this);
    cmdKeep->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdKeep);
    buttons->addWidget(cmdOverwrite);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(heading);
    layout->addWidget(text1);
    layout->addWidget(text2);
    layout->addLayout(buttons);
    connect(cmdKeep, &QPushButton::clicked, this, [this] {
        m_overwrite = false;
        hide();
        done(QDialog::Rejected);
    });
    connect(cmdOverwrite, &QPushButton::clicked, this, [this] {
        m_overwrite = true;
        hide();
        done(QDialog::Accepted);
    });
    ApplyPlaceholders(*this);
}

} // namespace vesk::ui
