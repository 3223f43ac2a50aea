#pragma once

#include <QDialog>

class QPushButton;

namespace vesk::ui {

// Warns that the scripting engine is older than the rules need. The console's own engine is
// always recent enough, so start-up has no reason to show it; it stays for completeness.
class frmVBScriptWarning final : public QDialog
{
    Q_OBJECT

public:
    explicit frmVBScriptWarning(QWidget* parent = nullptr);
    bool IsContinue() const { return m_continue; }

    QPushButton* cmdContinue = nullptr;
    QPushButton* cmdDownload = nullptr;

private:
    bool m_continue = false;
};

} // namespace vesk::ui
