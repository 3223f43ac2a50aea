#pragma once

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace vesk::core {
struct Context;
}

namespace vesk::ui {

// Tries the modem and the outbox: sends copies of one message straight through the console's
// modem, showing the traffic, or queues them for the normal delivery pass.
class frmSendTest final : public QDialog
{
    Q_OBJECT

public:
    static constexpr const char* kTraceName = "testsmslog.txt";

    frmSendTest(core::Context& ctx, QWidget* parent = nullptr);

    void cmdSend_Click();
    void QueueMessages();

    QLineEdit* txtAddress = nullptr;
    QLineEdit* txtMsg = nullptr;
    QComboBox* cbCopies = nullptr;
    QCheckBox* chkQueue = nullptr;
    QLabel* lblStatus = nullptr;
    QPlainTextEdit* txtLog = nullptr;
    QPushButton* cmdSend = nullptr;
    QPushButton* cmdClose = nullptr;

private:
    void SendDirect();
    int copies() const;
    void status(const QString& text);

    core::Context& m_ctx;
};

} // namespace vesk::ui
