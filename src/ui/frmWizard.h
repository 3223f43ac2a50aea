#pragma once

#include <QDialog>

#include <string>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QToolButton;

namespace vesk::core {
struct Context;
}

namespace vesk::ui {

class DatabaseField;

// The first-run wizard: the data folder, the modem's port, the SIM card's number and the message
// settings. Finishing stores the machine settings, makes the data folder ready (or keeps or
// rebuilds the files already there) and writes the message settings into its outbox.
class frmWizard final : public QDialog
{
    Q_OBJECT

public:
    enum Page { kWelcome, kDataFolder, kCOMPort, kPhoneNumber, kSMSSize, kOutbound, kInbound, kFinished };

    explicit frmWizard(core::Context& ctx, QWidget* parent = nullptr);

    // True unless the wizard was finished.
    bool IsCanceled() const { return m_canceled; }
    int page() const;

    void ShowPage(int page);
    void cmdBack_Click();
    void cmdNext_Click();
    void cmdPickDataFolder_Click();
    void cmdModemGuide_Click();

    QTabWidget* tabWizard = nullptr;
    QLineEdit* txtDataFolder = nullptr;
    QPushButton* cmdPickDataFolder = nullptr;
    DatabaseField* database = nullptr; // the outbox on a database server instead of in the folder
    QRadioButton* rbCOMAutoDetect = nullptr;
    QRadioButton* rbCOMPort = nullptr;
    QComboBox* cbCOMPort = nullptr;
    QPushButton* cmdModemGuide = nullptr;
    QLineEdit* txtLocalAddress = nullptr;
    QComboBox* cbSMSMaxLen = nullptr;
    QToolButton* imgSMSMaxLenWarning = nullptr;
    QLineEdit* txtTarrif = nullptr;
    QLineEdit* txtSMSRemoveAfter = nullptr;
    QCheckBox* chkSMSArchive = nullptr;
    QLineEdit* txtStandardReply = nullptr;
    QCheckBox* chkSMSSaveInbound = nullptr;
    QCheckBox* chkOutboundAuto = nullptr; // [Text] OutboundCoding=Auto
    QCheckBox* chkInboundFull = nullptr; // [Text] InboundDecoding=Full
    QCheckBox* chkJoinParts = nullptr; // [Text] JoinParts=1
    QToolButton* imgStandardReplyWarning = nullptr;
    QPushButton* cmdBack = nullptr;
    QPushButton* cmdNext = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildPages();
    void loadSettings();
    bool leaveDataFolder();
    bool leavePhoneNumber();
    bool leaveCOMPort();
    void loadMessageSettings(const std::string& folder);
    bool Finish();
    bool makeDataFolderReady(const std::string& folder);
    void saveMessageSettings(const std::string& folder);
    std::string dataFolder() const;
    std::string outboxLocation(const std::string& folder) const;
    std::string selectedPort() const;
    void mapDriveToShare();

    core::Context& m_ctx;
    bool m_canceled = true;
};

} // namespace vesk::ui
