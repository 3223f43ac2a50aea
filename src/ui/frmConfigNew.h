#pragma once

#include <QDialog>

class QCheckBox;
class QGroupBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QToolButton;

namespace vesk::core {
struct Context;
}

namespace vesk::ui {

class DatabaseField;
class ForwardGrid;

// Every setting of a running console on seven tabs. OK stores only what changed and tells the
// caller whether the console must reload its settings and whether the modem must be set up again.
class frmConfigNew final : public QDialog
{
    Q_OBJECT

public:
    explicit frmConfigNew(core::Context& ctx, QWidget* parent = nullptr);

    void InitForm();
    bool IsDirty() const { return m_dirty; }
    bool IsModemDirty() const { return m_modemDirty; }

    void cmdOK_Click();
    void cmdModemCheck_Click();
    void cmdTestEmailAccount_Click();
    void cmdClearSMSF_Click();
    void cmdClearSelSMSF_Click();
    void gridForward_Assistant(int row, int column);
    void txtFilter_Assistant(); // F1 in the filter text

    QTabWidget* tabMain = nullptr;

    // GSM Modem
    QCheckBox* ChkAutodetect = nullptr;
    QComboBox* cbPort = nullptr;
    QComboBox* cbSpeed = nullptr;
    QLineEdit* txtINITString = nullptr;
    QCheckBox* chkModemLog = nullptr;
    QComboBox* cbProtocol = nullptr;
    QComboBox* cbMSGMem = nullptr;
    QComboBox* cbRPTMem = nullptr;
    QLineEdit* txtCmdTimeout = nullptr;
    QLineEdit* txtSendTimeout = nullptr;
    QLineEdit* txtListTimeout = nullptr;
    QLineEdit* txtDeleteTimeout = nullptr;
    QPushButton* cmdModemCheck = nullptr;

    // SMS
    QLineEdit* txtAgentAddress = nullptr;
    QLineEdit* txtStandardReply = nullptr;
    QComboBox* cbSMSMaxLen = nullptr;
    QComboBox* cbValidityPeriod = nullptr;
    QLineEdit* txtSMSRemoveAfter = nullptr;
    QCheckBox* chkSMSArchive = nullptr;
    QCheckBox* chkSMSSaveInbound = nullptr;
    QToolButton* imgChargeMaxLen = nullptr;
    QToolButton* imgChargeReply = nullptr;

    // Forwarding
    QCheckBox* chkSMSForwwarding = nullptr;
    QToolButton* imgChargeForward = nullptr;
    ForwardGrid* gridForward = nullptr;
    QLabel* lblGridHelp = nullptr;
    QPushButton* cmdClearSMSF = nullptr;
    QPushButton* cmdClearSelSMSF = nullptr;
    QLabel* lblRegExLinkForward = nullptr;

    // Address Filter
    QPlainTextEdit* txtFilter = nullptr;
    QRadioButton* optFilterIgnore = nullptr;
    QRadioButton* optFilterDelete = nullptr;
    QLabel* lblRegExLinkFilter = nullptr;

    // Alerts
    QLineEdit* txtDiagEmail = nullptr;
    QCheckBox* chkDiagNotifyMessages = nullptr;
    QCheckBox* chkDiagNotifySignal = nullptr;
    QCheckBox* chkDiagNotifyModem = nullptr;
    QComboBox* cbDiagSignalLevel = nullptr;

    // Email A/C
    QLineEdit* txtMailServer = nullptr;
    QLineEdit* txtMailAccount = nullptr;
    QLineEdit* txtMailPassword = nullptr;
    QLabel* lblMailPasswordFile = nullptr; // where the password is kept when a file holds it
    QComboBox* cbMailLoginMethod = nullptr;
    QPushButton* cmdTestEmailAccount = nullptr;

    // Resources
    QComboBox* cbPriority = nullptr;
    QComboBox* cbSendInterval = nullptr;
    QComboBox* cbSendBatchSize = nullptr;
    QComboBox* cbReadInterval = nullptr;
    DatabaseField* database = nullptr;

    QLabel* lblVersion = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdCancel = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* buildModemTab();
    QWidget* buildSMSTab();
    QGroupBox* buildTextGroup(QWidget* tab);
    QWidget* buildForwardingTab();
    QWidget* buildFilterTab();
    QWidget* buildAlertsTab();
    QWidget* buildMailTab();
    QWidget* buildResourcesTab();
    QLabel* regExLink(const char* name);
    bool validateAgentAddress();
    bool validateNumbers();
    void storeFields();
    void saveAll();
    void stored(bool modem);

    core::Context& m_ctx;
    bool m_dirty = false;
    bool m_modemDirty = false;
};

} // namespace vesk::ui
