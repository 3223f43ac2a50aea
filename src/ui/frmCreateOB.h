#pragma once

#include <QDialog>

#include <string>

class QLineEdit;
class QPushButton;

namespace vesk::ui {

// Makes a data folder ready by copying the template databases into it.
class frmCreateOB final : public QDialog
{
    Q_OBJECT

public:
    explicit frmCreateOB(std::string templateFolder, QWidget* parent = nullptr);

    bool IsCanceled() const { return m_canceled; }
    std::string Folder() const; // the folder text, surrounding blanks removed

    void cmdOK_Click();
    void cmdPickFolder_Click();

    QLineEdit* txtFolder = nullptr;
    QPushButton* cmdPickFolder = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdCancel = nullptr;

private:
    std::string m_templateFolder;
    bool m_canceled = true;
};

} // namespace vesk::ui
