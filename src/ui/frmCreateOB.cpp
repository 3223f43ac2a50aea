#include "ui/frmCreateOB.h"

#include "store/Migrate.h"
#include "support/Convert.h"
#include "ui/MessageBoxes.h"
#include "ui/Placeholders.h"

#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>

#include <filesystem>
#include <system_error>

namespace vesk::ui {

frmCreateOB::frmCreateOB(std::string templateFolder, QWidget* parent)
    : QDialog(parent)
    , m_templateFolder(std::move(templateFolder))
{
    setObjectName("frmCreateOB");
    setWindowTitle("{APP} - Create Outbox");
    txtFolder = new QLineEdit(this);
    txtFolder->setMinimumWidth(340);
    cmdPickFolder = new QPushButton("...", this);
    cmdPickFolder->setToolTip("Select Outbox Folder");
    cmdPickFolder->setFixedWidth(36);
    cmdOK = new QPushButton("OK", this);
    cmdCancel = new QPushButton("Cancel", this);
    cmdOK->setDefault(true);

    auto* note = new QLabel("{APP} keeps its messages in an outbox. Choose a folder that every computer "
                            "on the network that queues messages can reach.",
        this);
    note->setWordWrap(true);
    auto* warning
        = new QLabel("WARNING : existing outbox, archive or phonebook files will be overwritten.", this);
    warning->setWordWrap(true);
    warning->setStyleSheet("color: rgb(176, 0, 0); font-weight: bold;");

    auto* grid = new QGridLayout(this);
    grid->addWidget(note, 0, 0, 1, 3);
    grid->addWidget(new QLabel("Folder :", this), 1, 0);
    grid->addWidget(txtFolder, 1, 1);
    grid->addWidget(cmdPickFolder, 1, 2);
    grid->addWidget(warning, 2, 0, 1, 3);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdCancel);
    grid->addLayout(buttons, 3, 0, 1, 3);

    connect(cmdOK, &QPushButton::clicked, this, [this] { cmdOK_Click(); });
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(cmdPickFolder, &QPushButton::clicked, this, [this] { cmdPickFolder_Click(); });
    ApplyPlaceholders(*this);
}

std::string frmCreateOB::Folder() const
{
    return Trim(txtFolder->text().toStdString());
}

void frmCreateOB::cmdPickFolder_Click()
{
    const QString folder = QFileDialog::getExistingDirectory(this, "Select Outbox Folder", txtFolder->text());
    if (!folder.isEmpty())
        txtFolder->setText(folder);
}

void frmCreateOB::cmdOK_Click()
{
    const std::string folder = Folder();
    if (folder.empty())
        return;
    if (store::IsDataFolder(folder)) {
        if (!AskYesNoCritical(
                this, "AN OUTBOX ALREADY EXISTS IN THIS FOLDER\nDO YOU WISH TO OVERWRITE IT?")) {
            m_canceled = false;
            accept();
            return;
        }
    }
    std::error_code ec;
    std::filesystem::create_directories(folder, ec); // a missing folder shows up as copy errors
    std::string errorText;
    std::string errorLines;
    bool created = store::CreateOutbox(folder, m_templateFolder, errorText, errorLines);
    if (!errorLines.empty()) {
        ShowCritical(this, "An Error Occured Creating The Outbox\n" + QString::fromStdString(errorLines));
        created = false;
    }
    if (created) {
        m_canceled = false;
        accept();
        return;
    }
    ShowCritical(
        this, "PROBLEMS ENCOUNTERED WHILE CREATING THE OUTBOX.\n" + QString::fromStdString(errorText));
}

} // namespace vesk::ui
