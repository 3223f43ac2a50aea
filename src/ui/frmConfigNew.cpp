#include "ui/frmConfigNew.h"

#include "core/Configuration.h"
#include "core/Context.h"
#include "mail/Diagnostics.h"
#include "mail/MailQueue.h"
#include "modem/SerialPort.h"
#include "routing/AddressFilter.h"
#include "routing/Forwarding.h"
#include "routing/NameCache.h"
#include "store/Outbox.h"
#include "store/PhoneNumber.h"
#include "support/Convert.h"
#include "support/KeptFiles.h"
#include "support/LogSink.h"
#include "ui/ChargeWarnings.h"
#include "ui/DatabaseField.h"
#include "ui/FormBuilding.h"
#include "ui/ForwardGrid.h"
#include "ui/Placeholders.h"
#include "ui/frmModemGuide.h"
#include "ui/frmPickFromNameCache.h"
#include "ui/frmRegExTester.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QTabWidget>
#include <QTextCursor>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>

namespace vesk::ui {

namespace {

// The engine behind every pattern the console matches is PCRE2, so its syntax page is the reference.
constexpr const char* kRegExReference = "https://www.pcre.org/current/doc/html/pcre2syntax.html";

QString q(const std::string& text)
{
    return QString::fromStdString(text);
}

std::string s(const QString& text)
{
    return text.toStdString();
}

QComboBox* comboWith(QWidget* parent, const char* name, const QStringList& items)
{
    auto* combo = named(new QComboBox(parent), name);
    combo->addItems(items);
    return combo;
}

// Selects the item showing `text`; a value the list does not offer is added so it is kept.
void selectOrKeep(QComboBox* combo, const QString& text, Qt::CaseSensitivity cs = Qt::CaseSensitive)
{
    int at = combo->findText(text, cs == Qt::CaseSensitive ? Qt::MatchExactly : Qt::MatchFixedString);
    if (at < 0 && !text.isEmpty()) {
        combo->addItem(text);
        at = combo->count() - 1;
    }
    combo->setCurrentIndex(std::max(at, 0));
}

// Stores a value when it differs from the current one; true when it did.
template<class T> bool storeIfChanged(T& field, const T& value)
{
    if (field == value)
        return false;
    field = value;
    return true;
}

// A machine setting's value in the control that shows it, and back. Check boxes hold "1"/"0";
// lists whose items carry data (the priority) hold the data, other lists their text.
void showSetting(QWidget* control, const QString& text, bool caseless)
{
    if (auto* check = qobject_cast<QCheckBox*>(control))
        check->setChecked(ToBool(s(text)).value_or(false));
    else if (auto* edit = qobject_cast<QLineEdit*>(control))
        edit->setText(text);
    else if (auto* combo = qobject_cast<QComboBox*>(control)) {
        if (const int at = combo->findData(text); at >= 0)
            combo->setCurrentIndex(at);
        else
            selectOrKeep(combo, text, caseless ? Qt::CaseInsensitive : Qt::CaseSensitive);
    }
}

std::string settingText(const QWidget* control)
{
    if (auto* check = qobject_cast<const QCheckBox*>(control))
        return BoolText(check->isChecked());
    if (auto* edit = qobject_cast<const QLineEdit*>(control))
        return Trim(s(edit->text()));
    if (auto* combo = qobject_cast<const QComboBox*>(control))
        return Trim(
            s(combo->currentData().isValid() ? combo->currentData().toString() : combo->currentText()));
    return {};
}

int askYesNoDefaultNo(QWidget* parent, const QString& text)
{
    QMessageBox box(
        QMessageBox::Question, QString(kAppTitle.data()), text, QMessageBox::Yes | QMessageBox::No, parent);
    box.setDefaultButton(QMessageBox::No);
    return box.exec();
}

void inform(QWidget* parent, QMessageBox::Icon icon, const QString& text)
{
    QMessageBox box(icon, QString(kAppTitle.data()), text, QMessageBox::Ok, parent);
    box.exec();
}

} // namespace

frmConfigNew::frmConfigNew(core::Context& ctx, QWidget* parent)
    : QDialog(parent)
    , m_ctx(ctx)
{
    setObjectName("frmConfigNew");
    setWindowTitle("{APP} - Configuration");
    setModal(true);

    tabMain = named(new QTabWidget(this), "tabMain");
    tabMain->addTab(buildModemTab(), "GSM Modem");
    tabMain->addTab(buildSMSTab(), "SMS");
    tabMain->addTab(buildForwardingTab(), "Forwarding");
    tabMain->addTab(buildFilterTab(), "Address Filter");
    tabMain->addTab(buildAlertsTab(), "Alerts");
    tabMain->addTab(buildMailTab(), "Email A/C");
    tabMain->addTab(buildResourcesTab(), "Resources");
    connect(tabMain, &QTabWidget::currentChanged, this, [this](int index) {
        QWidget* const focus[]
            = {ChkAutodetect, cbSMSMaxLen, gridForward, txtFilter, txtDiagEmail, txtMailServer, cbPriority};
        if (index >= 0 && index < int(std::size(focus)))
            focus[index]->setFocus();
    });

    // Lists and combo boxes swallow Ctrl+Tab, so the dialog switches tabs itself.
    auto* nextTab = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Tab), this);
    auto* previousTab = new QShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab), this);
    connect(nextTab, &QShortcut::activated, this,
        [this] { tabMain->setCurrentIndex((tabMain->currentIndex() + 1) % tabMain->count()); });
    connect(previousTab, &QShortcut::activated, this, [this] {
        tabMain->setCurrentIndex((tabMain->currentIndex() + tabMain->count() - 1) % tabMain->count());
    });

    lblVersion = named(new QLabel(this), "lblVersion");
    cmdOK = named(new QPushButton("OK", this), "cmdOK");
    cmdCancel = named(new QPushButton("Cancel", this), "cmdCancel");
    cmdOK->setDefault(true);
    connect(cmdOK, &QPushButton::clicked, this, [this] { cmdOK_Click(); });
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(lblVersion, 1);
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabMain, 1);
    layout->addLayout(buttons);

    ApplyPlaceholders(*this);
    // Captions written with "\n" break there.
    for (QLabel* label : findChildren<QLabel*>())
        if (label->text().contains("\\n"))
            label->setText(label->text().replace("\\n", "\n"));

    InitForm();
    resize(600, 460);
}

QWidget* frmConfigNew::buildModemTab()
{
    auto* tab = new QWidget;
    ChkAutodetect
        = named(new QCheckBox("Automatically search for the modem on every port", tab), "ChkAutodetect");
    cbPort = named(new QComboBox(tab), "cbPort");
    cbPort->setEditable(true); // any device path may be typed
    cbSpeed = comboWith(tab, "cbSpeed", {"1200", "2400", "4800", "9600", "14400", "19200", "28800"});
    txtINITString = named(new QLineEdit(tab), "txtINITString");
    chkModemLog = named(new QCheckBox("Write the modem log (modemlog.txt)", tab), "chkModemLog");
    cbProtocol = comboWith(tab, "cbProtocol", {"PDU", "Text"});
    cbMSGMem = comboWith(tab, "cbMSGMem", {"SM", "ME", "MT", "SR"});
    cbRPTMem = comboWith(tab, "cbRPTMem", {"SM", "ME", "MT", "SR"});
    txtCmdTimeout = named(new QLineEdit(tab), "txtCmdTimeout");
    txtSendTimeout = named(new QLineEdit(tab), "txtSendTimeout");
    txtListTimeout = named(new QLineEdit(tab), "txtListTimeout");
    txtDeleteTimeout = named(new QLineEdit(tab), "txtDeleteTimeout");
    cmdModemCheck = named(new QPushButton("Modem Guide...", tab), "cmdModemCheck");
    cmdModemCheck->setToolTip("Identify the modem and look up its recommended settings");
    connect(ChkAutodetect, &QCheckBox::toggled, cbPort, [this](bool on) { cbPort->setEnabled(!on); });
    connect(cmdModemCheck, &QPushButton::clicked, this, [this] { cmdModemCheck_Click(); });

    auto* port = new QFormLayout;
    port->addRow("Port :", cbPort);
    port->addRow("Speed :", cbSpeed);
    port->addRow("Line settings :", txtINITString);
    port->addRow("Protocol :", cbProtocol);
    port->addRow("Message memory :", cbMSGMem);
    port->addRow("Report memory :", cbRPTMem);

    auto* timeouts = new QGroupBox("Time-outs (seconds)", tab);
    auto* t = new QFormLayout(timeouts);
    t->addRow("Command :", txtCmdTimeout);
    t->addRow("Send :", txtSendTimeout);
    t->addRow("List :", txtListTimeout);
    t->addRow("Delete :", txtDeleteTimeout);

    auto* columns = new QHBoxLayout;
    columns->addLayout(port, 1);
    columns->addWidget(timeouts, 1);
    auto* layout = new QVBoxLayout(tab);
    layout->addWidget(ChkAutodetect);
    layout->addLayout(columns);
    layout->addWidget(chkModemLog);
    layout->addStretch(1);
    auto* check = new QHBoxLayout;
    check->addStretch(1);
    check->addWidget(cmdModemCheck);
    layout->addLayout(check);
    return tab;
}

QWidget* frmConfigNew::buildSMSTab()
{
    auto* tab = new QWidget;
    txtAgentAddress = named(new QLineEdit(tab), "txtAgentAddress");
    txtAgentAddress->setPlaceholderText("+<CountryCode><AreaCode><Number>");
    txtStandardReply = named(new QLineEdit(tab), "txtStandardReply");
    cbSMSMaxLen = comboWith(tab, "cbSMSMaxLen", {"160", "304", "456", "608", "760"});
    cbValidityPeriod = named(new QComboBox(tab), "cbValidityPeriod");
    const std::pair<const char*, int> periods[] = {{"Network Operator Default", 0}, {"30 Mins", 30},
        {"1 Hour", 60}, {"2 Hours", 120}, {"4 Hours", 240}, {"8 Hours", 480}, {"12 Hours", 720},
        {"1 Day", 1440}, {"2 Days", 2880}, {"1 Week", 10080}};
    for (const auto& [caption, minutes] : periods)
        cbValidityPeriod->addItem(caption, minutes);
    txtSMSRemoveAfter = named(new QLineEdit(tab), "txtSMSRemoveAfter");
    chkSMSArchive = named(new QCheckBox("Archive messages before they are removed", tab), "chkSMSArchive");
    chkSMSSaveInbound = named(new QCheckBox("Save inbound messages", tab), "chkSMSSaveInbound");
    imgChargeMaxLen = ChargeWarningButton(tab, "imgChargeMaxLen", kChargeNoteMessageSize);
    imgChargeReply = ChargeWarningButton(tab, "imgChargeReply", kChargeNoteReply);

    auto withIcon = [](QWidget* field, QWidget* icon) {
        auto* row = new QHBoxLayout;
        row->addWidget(field, 1);
        row->addWidget(icon);
        return row;
    };
    auto* form = new QFormLayout;
    form->addRow("Own number (SIM card) :", txtAgentAddress);
    form->addRow("Standard reply :", withIcon(txtStandardReply, imgChargeReply));
    form->addRow("Maximum message size :", withIcon(cbSMSMaxLen, imgChargeMaxLen));
    form->addRow("Validity period :", cbValidityPeriod);
    form->addRow("Remove messages after (days) :", txtSMSRemoveAfter);
    auto* layout = new QVBoxLayout(tab);
    layout->addLayout(form);
    layout->addWidget(chkSMSArchive);
    layout->addWidget(chkSMSSaveInbound);
    layout->addWidget(buildTextGroup(tab));
    layout->addStretch(1);
    return tab;
}

// The text settings, filled and stored from the settings table by their object names.
QGroupBox* frmConfigNew::buildTextGroup(QWidget* tab)
{
    auto* cbOutboundCoding = named(new QComboBox(tab), "cbOutboundCoding");
    cbOutboundCoding->addItem("Legacy: basic characters only", "Legacy");
    cbOutboundCoding->addItem("Auto: every character, UCS2 when needed", "Auto");
    auto* cbInboundDecoding = named(new QComboBox(tab), "cbInboundDecoding");
    cbInboundDecoding->addItem("Legacy: every text read as 7-bit codes", "Legacy");
    cbInboundDecoding->addItem("Full: every coding, named senders", "Full");
    auto* chkJoinParts = named(new QCheckBox("Join the parts of long messages", tab), "chkJoinParts");
    auto* txtJoinTimeout = named(new QLineEdit(tab), "txtJoinTimeout");
    auto* lblText = new QLabel(
        "Auto sends accented letters, Greek, Cyrillic, Chinese and emoji as written; outside the GSM "
        "alphabet a message holds 70 characters, 67 per part. Full reads them back and shows named "
        "senders such as banks. Joined long messages are stored, answered and forwarded once; one "
        "still missing a part after the wait is handled with [...] in the gap.",
        tab);
    lblText->setWordWrap(true);
    const auto joinable = [=](int index) {
        chkJoinParts->setEnabled(index == 1);
        txtJoinTimeout->setEnabled(index == 1);
    };
    joinable(0);
    connect(cbInboundDecoding, &QComboBox::currentIndexChanged, this, joinable);
    auto* group = new QGroupBox("Text", tab);
    auto* form = new QFormLayout(group);
    form->addRow(lblText);
    form->addRow("Outbound coding :", cbOutboundCoding);
    form->addRow("Inbound decoding :", cbInboundDecoding);
    form->addRow(chkJoinParts);
    form->addRow("Wait for missing parts (seconds) :", txtJoinTimeout);
    return group;
}

QLabel* frmConfigNew::regExLink(const char* name)
{
    auto* link = named(
        new QLabel(QString("<a href=\"%1\">Regular expression reference</a>").arg(kRegExReference)), name);
    link->setTextInteractionFlags(Qt::TextBrowserInteraction);
    connect(
        link, &QLabel::linkActivated, this, [](const QString& url) { QDesktopServices::openUrl(QUrl(url)); });
    return link;
}

QWidget* frmConfigNew::buildForwardingTab()
{
    auto* tab = new QWidget;
    chkSMSForwwarding
        = named(new QCheckBox("Forward incoming messages by these rules", tab), "chkSMSForwwarding");
    imgChargeForward = ChargeWarningButton(tab, "imgChargeForward", kChargeNoteForward);
    gridForward = named(new ForwardGrid(tab), "gridForward");
    lblGridHelp = named(new QLabel(tab), "lblGridHelp");
    lblGridHelp->setWordWrap(true);
    lblGridHelp->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblGridHelp->setMinimumHeight(fontMetrics().lineSpacing() * 5);
    cmdClearSMSF = named(new QPushButton("Clear All", tab), "cmdClearSMSF");
    cmdClearSelSMSF = named(new QPushButton("Clear Selected", tab), "cmdClearSelSMSF");
    lblRegExLinkForward = regExLink("lblRegExLinkForward");
    auto* hint = new QLabel("Press F1 in a cell for help in filling it.", tab);

    connect(chkSMSForwwarding, &QCheckBox::toggled, this, [this](bool on) {
        gridForward->setEnabled(on);
        cmdClearSMSF->setEnabled(on);
        cmdClearSelSMSF->setEnabled(on);
    });
    connect(gridForward, &QTableWidget::currentCellChanged, this,
        [this](int, int column) { lblGridHelp->setText(ForwardGrid::HelpText(column)); });
    connect(gridForward, &ForwardGrid::assistantRequested, this,
        [this](int row, int column) { gridForward_Assistant(row, column); });
    connect(cmdClearSMSF, &QPushButton::clicked, this, [this] { cmdClearSMSF_Click(); });
    connect(cmdClearSelSMSF, &QPushButton::clicked, this, [this] { cmdClearSelSMSF_Click(); });

    auto* top = new QHBoxLayout;
    top->addWidget(chkSMSForwwarding);
    top->addWidget(imgChargeForward);
    top->addStretch(1);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(hint);
    bottom->addStretch(1);
    bottom->addWidget(lblRegExLinkForward);
    bottom->addWidget(cmdClearSelSMSF);
    bottom->addWidget(cmdClearSMSF);
    auto* layout = new QVBoxLayout(tab);
    layout->addLayout(top);
    layout->addWidget(gridForward, 1);
    layout->addWidget(lblGridHelp);
    layout->addLayout(bottom);
    return tab;
}

QWidget* frmConfigNew::buildFilterTab()
{
    auto* tab = new QWidget;
    txtFilter = named(new QPlainTextEdit(tab), "txtFilter");
    txtFilter->installEventFilter(this);
    optFilterIgnore = named(new QRadioButton("Leave the message in the outbox", tab), "optFilterIgnore");
    optFilterDelete = named(new QRadioButton("Cancel the message", tab), "optFilterDelete");
    lblRegExLinkFilter = regExLink("lblRegExLinkFilter");

    auto* explain
        = new QLabel("Messages are only sent to numbers that match one of these expressions (one a "
                     "line). Leave it empty to send to every number. Press F1 to test an expression.",
            tab);
    explain->setWordWrap(true);
    auto* action = new QGroupBox("When a number is not allowed", tab);
    auto* a = new QVBoxLayout(action);
    a->addWidget(optFilterIgnore);
    a->addWidget(optFilterDelete);
    auto* layout = new QVBoxLayout(tab);
    layout->addWidget(explain);
    layout->addWidget(txtFilter, 1);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(action, 1);
    bottom->addWidget(lblRegExLinkFilter, 0, Qt::AlignBottom);
    layout->addLayout(bottom);
    return tab;
}

QWidget* frmConfigNew::buildAlertsTab()
{
    auto* tab = new QWidget;
    txtDiagEmail = named(new QLineEdit(tab), "txtDiagEmail");
    chkDiagNotifyMessages
        = named(new QCheckBox("Alert when a message cannot be delivered", tab), "chkDiagNotifyMessages");
    chkDiagNotifySignal
        = named(new QCheckBox("Alert when the signal falls below", tab), "chkDiagNotifySignal");
    chkDiagNotifyModem = named(new QCheckBox("Alert when the modem link is lost", tab), "chkDiagNotifyModem");
    cbDiagSignalLevel = named(new QComboBox(tab), "cbDiagSignalLevel");
    for (int level = 5; level <= 70; level += 5)
        cbDiagSignalLevel->addItem(QString::number(level) + "%", level);

    auto* form = new QFormLayout;
    form->addRow("Send alerts to (e-mail) :", txtDiagEmail);
    auto* signal = new QHBoxLayout;
    signal->addWidget(chkDiagNotifySignal);
    signal->addWidget(cbDiagSignalLevel);
    signal->addStretch(1);
    auto* layout = new QVBoxLayout(tab);
    layout->addLayout(form);
    layout->addWidget(chkDiagNotifyMessages);
    layout->addLayout(signal);
    layout->addWidget(chkDiagNotifyModem);
    layout->addStretch(1);
    return tab;
}

QWidget* frmConfigNew::buildMailTab()
{
    auto* tab = new QWidget;
    txtMailServer = named(new QLineEdit(tab), "txtMailServer");
    txtMailAccount = named(new QLineEdit(tab), "txtMailAccount");
    txtMailPassword = named(new QLineEdit(tab), "txtMailPassword");
    txtMailPassword->setEchoMode(QLineEdit::Password);
    lblMailPasswordFile = named(new QLabel(tab), "lblMailPasswordFile");
    if (const std::string& file = m_ctx.mail.settings.passwordFile; !file.empty()) {
        txtMailPassword->setEnabled(false);
        lblMailPasswordFile->setText("Password kept in " + q(file));
    }
    lblMailPasswordFile->setVisible(!m_ctx.mail.settings.passwordFile.empty());
    cbMailLoginMethod
        = comboWith(tab, "cbMailLoginMethod", {"0 - None", "1 - Plain", "2 - Login", "3 - MD5", "4 - NTLM"});
    cmdTestEmailAccount = named(new QPushButton("Test", tab), "cmdTestEmailAccount");
    cmdTestEmailAccount->setToolTip("Connect with these values and mail the alert recipient");
    connect(cmdTestEmailAccount, &QPushButton::clicked, this, [this] { cmdTestEmailAccount_Click(); });

    auto* form = new QFormLayout;
    form->addRow("Mail server :", txtMailServer);
    form->addRow("Account :", txtMailAccount);
    form->addRow("Password :", txtMailPassword);
    form->addRow("", lblMailPasswordFile);
    form->addRow("Login method :", cbMailLoginMethod);
    auto* test = new QHBoxLayout;
    test->addStretch(1);
    test->addWidget(cmdTestEmailAccount);
    auto* layout = new QVBoxLayout(tab);
    layout->addLayout(form);
    layout->addStretch(1);
    layout->addLayout(test);
    return tab;
}

QWidget* frmConfigNew::buildResourcesTab()
{
    auto* tab = new QWidget;
    cbPriority = comboWith(tab, "cbPriority", {"Low", "Normal", "High"});
    for (int i = 0; i < cbPriority->count(); ++i)
        cbPriority->setItemData(i, QString::number(i));
    cbSendInterval = comboWith(tab, "cbSendInterval", {"5", "10", "20", "30", "60"});
    cbSendBatchSize = comboWith(tab, "cbSendBatchSize", {"5", "10", "20", "30", "50", "100"});
    cbReadInterval = comboWith(tab, "cbReadInterval", {"5", "10", "20", "30", "60"});
    auto* form = new QFormLayout;
    form->addRow("Process priority :", cbPriority);
    form->addRow("Send interval (seconds) :", cbSendInterval);
    form->addRow("Send batch size :", cbSendBatchSize);
    form->addRow("Read interval (seconds) :", cbReadInterval);
    database = new DatabaseField(tab, m_ctx.clock, m_ctx.pump);
    auto* outbox = new QGroupBox("Outbox database (used from the next start)", tab);
    outbox->setLayout(database->rows(outbox));
    auto* layout = new QVBoxLayout(tab);
    layout->addLayout(form);
    layout->addWidget(outbox);
    layout->addStretch(1);
    return tab;
}

void frmConfigNew::InitForm()
{
    const core::CConfig& c = m_ctx.config;
    const store::SystemSettings& sys = m_ctx.outbox.settings;

    // Serial devices come and go, so the list is what exists now plus the configured port.
    cbPort->clear();
    for (const auto& device : modem::ListSerialDevices())
        cbPort->addItem(q(device));
    for (const core::ShownSetting& setting : core::ShownSettings())
        showSetting(findChild<QWidget*>(q(setting.control)), q(core::ShownText(c, setting.control)),
            setting.caseless);
    cbSMSMaxLen->setCurrentIndex(std::max(cbSMSMaxLen->findText(QString::number(sys.SMSMaxMessageSize)), 0));
    if (cbValidityPeriod->findData(int(sys.ValidityPeriodInMinutes)) < 0) // set elsewhere: keep it
        cbValidityPeriod->addItem(
            QString::number(sys.ValidityPeriodInMinutes) + " Mins", sys.ValidityPeriodInMinutes);
    cbValidityPeriod->setCurrentIndex(cbValidityPeriod->findData(int(sys.ValidityPeriodInMinutes)));

    txtStandardReply->setText(q(sys.StandardReply));
    txtSMSRemoveAfter->setText(QString::number(sys.SMSRemoveAfter));
    chkSMSArchive->setChecked(sys.SMSArchive);
    chkSMSSaveInbound->setChecked(sys.SMSSaveInbound);
    cbPort->setEnabled(!c.AutoDetect);
    database->setValue(c.Database);

    txtFilter->setPlainText(q(ReplaceAll(m_ctx.filter.GetAddressFilterText(), "\r\n", "\n")));
    (c.FilterActionDelete ? optFilterDelete : optFilterIgnore)->setChecked(true);

    if (const auto& client = m_ctx.mail.client) {
        txtMailServer->setText(q(client->Server));
        txtMailAccount->setText(q(client->Username));
        if (m_ctx.mail.settings.passwordFile.empty())
            txtMailPassword->setText(q(client->Password));
        cbMailLoginMethod->setCurrentIndex(
            client->LoginMethod >= 0 && client->LoginMethod < cbMailLoginMethod->count() ? client->LoginMethod
                                                                                         : 0);
    }

    const mail::Diagnostics& diag = m_ctx.diagnostics;
    txtDiagEmail->setText(q(diag.Email));
    chkDiagNotifyMessages->setChecked(diag.NotifyMessages);
    chkDiagNotifySignal->setChecked(diag.NotifySignal);
    chkDiagNotifyModem->setChecked(diag.NotifyModem);
    cbDiagSignalLevel->setCurrentIndex(3);
    if (const int at = cbDiagSignalLevel->findData(int(diag.SignalLevel)); at >= 0)
        cbDiagSignalLevel->setCurrentIndex(at);

    {
        // Between passes the console keeps the outbox closed; the rules are read on a short visit.
        store::db& outbox = store::OutboxHandle(m_ctx.outbox);
        const bool opened = !outbox.IsConnected() && outbox.OpenDatabase(store::mode::kReadShared);
        gridForward->setRules(routing::LoadForwardRules(m_ctx.outbox));
        if (opened)
            outbox.CloseDatabase();
    }
    chkSMSForwwarding->setChecked(sys.SMSForwarding);
    gridForward->setEnabled(sys.SMSForwarding);
    cmdClearSMSF->setEnabled(sys.SMSForwarding);
    cmdClearSelSMSF->setEnabled(sys.SMSForwarding);
    lblGridHelp->setText(ForwardGrid::HelpText(ForwardGrid::kSource));

    lblVersion->setText(q(core::VersionText() + " DB:" + std::to_string(sys.DBVersion)));
}

bool frmConfigNew::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == txtFilter && event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent*>(event)->key() == Qt::Key_F1) {
        txtFilter_Assistant();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

bool frmConfigNew::validateAgentAddress()
{
    const store::NumberProblem problem = store::CheckInternationalNumber(s(txtAgentAddress->text()));
    if (problem == store::NumberProblem::None)
        return true;
    if (problem != store::NumberProblem::BadCharacter)
        inform(this, QMessageBox::Warning, q(store::NumberProblemText(problem)));
    tabMain->setCurrentIndex(1);
    txtAgentAddress->selectAll();
    txtAgentAddress->setFocus();
    return false;
}

// Text fields that hold numbers; a value that does not convert keeps the dialog open on it.
bool frmConfigNew::validateNumbers()
{
    struct Field
    {
        QLineEdit* edit;
        int tab;
        bool whole;
    };
    const Field fields[] = {{txtCmdTimeout, 0, false}, {txtSendTimeout, 0, false}, {txtListTimeout, 0, false},
        {txtDeleteTimeout, 0, false}, {txtSMSRemoveAfter, 1, true}};
    for (const auto& f : fields) {
        const std::string text = s(f.edit->text());
        const bool ok = f.whole ? ToInt16(text).has_value() : ToSingle(text).has_value();
        if (ok)
            continue;
        inform(this, QMessageBox::Warning,
            f.whole ? "Please enter a whole number of days." : "Please enter the time-out in seconds.");
        tabMain->setCurrentIndex(f.tab);
        f.edit->selectAll();
        f.edit->setFocus();
        return false;
    }
    return true;
}

void frmConfigNew::stored(bool modem)
{
    m_dirty = true;
    m_modemDirty = m_modemDirty || modem;
}

void frmConfigNew::storeFields()
{
    core::CConfig& c = m_ctx.config;
    store::SystemSettings& sys = m_ctx.outbox.settings;
    const auto number = [](QComboBox* combo) { return ToInt16(s(combo->currentText())).value_or(0); };

    for (const core::ShownSetting& setting : core::ShownSettings())
        if (const auto* control = findChild<QWidget*>(q(setting.control));
            control && core::StoreShown(c, setting.control, settingText(control)))
            stored(setting.renewsModem);
    if (storeIfChanged(c.Database, database->value()))
        stored(false);
    if (storeIfChanged(sys.StandardReply, s(txtStandardReply->text())))
        stored(false);
    if (storeIfChanged(sys.SMSMaxMessageSize, number(cbSMSMaxLen)))
        stored(false);
    if (storeIfChanged(sys.ValidityPeriodInMinutes, std::int32_t(cbValidityPeriod->currentData().toInt())))
        stored(false);
    if (storeIfChanged(sys.SMSRemoveAfter, ToInt16(s(txtSMSRemoveAfter->text())).value_or(0)))
        stored(false);
    if (storeIfChanged(sys.SMSArchive, chkSMSArchive->isChecked()))
        stored(false);
    if (storeIfChanged(sys.SMSSaveInbound, chkSMSSaveInbound->isChecked()))
        stored(false);
    sys.SMSForwarding = chkSMSForwwarding->isChecked();
}

void frmConfigNew::saveAll()
{
    core::Configuration c;
    c.alertEmail = s(txtDiagEmail->text());
    c.alertOnFailedMessages = chkDiagNotifyMessages->isChecked();
    c.alertOnWeakSignal = chkDiagNotifySignal->isChecked();
    c.alertOnLostModem = chkDiagNotifyModem->isChecked();
    c.alertSignalLevel = std::int16_t(cbDiagSignalLevel->currentData().toInt());
    c.mailServer = s(txtMailServer->text());
    c.mailAccount = s(txtMailAccount->text());
    c.mailPassword = s(txtMailPassword->text());
    c.mailLoginMethod = std::int16_t(std::max(cbMailLoginMethod->currentIndex(), 0));
    if (gridForward->IsEdited())
        c.forwardRules = gridForward->rules();
    c.filterActionDelete = optFilterDelete->isChecked();
    c.addressFilter = s(txtFilter->toPlainText());
    if (core::ApplyConfiguration(m_ctx, c, m_dirty).machineSettingsSaved)
        m_dirty = true;
}

void frmConfigNew::cmdOK_Click()
{
    if (!validateAgentAddress() || !validateNumbers())
        return;
    storeFields();
    saveAll();
    accept();
}

void frmConfigNew::cmdModemCheck_Click()
{
    const QString caption = cmdModemCheck->text();
    cmdModemCheck->setText("Wait...");
    cmdModemCheck->setEnabled(false);
    cmdModemCheck->repaint();
    // The guide talks to the modem itself, so the console lets go of the port first.
    if (m_ctx.modem)
        m_ctx.modem->ClosePort();
    std::string messageMemory, reportMemory, initString;
    const std::string port = Trim(cbPort->currentText().toStdString());
    if (ShowModemGuide(this, m_ctx.clock, m_ctx.pump, messageMemory, reportMemory, initString, port)) {
        selectOrKeep(cbMSGMem, q(ToUpper(Trim(messageMemory))), Qt::CaseInsensitive);
        selectOrKeep(cbRPTMem, q(ToUpper(Trim(reportMemory))), Qt::CaseInsensitive);
        txtINITString->setText(q(initString));
    }
    cmdModemCheck->setEnabled(true);
    cmdModemCheck->setText(caption);
}

void frmConfigNew::cmdTestEmailAccount_Click()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const mail::MailTestResult result
        = mail::TestMailAccount(m_ctx.app, s(txtMailServer->text()), s(txtMailAccount->text()),
            s(txtMailPassword->text()), std::int16_t(std::max(cbMailLoginMethod->currentIndex(), 0)),
            Trim(s(txtDiagEmail->text())), KeptFilesFolder(m_ctx.DataFolder), m_ctx.mail.settings);
    QApplication::restoreOverrideCursor();
    const QString text = q(ReplaceAll(result.message, "\r\n", "\n"));
    switch (result.outcome) {
    case mail::MailTestResult::Outcome::Sent:
    case mail::MailTestResult::Outcome::NotConnected:
        inform(this, QMessageBox::Information, text);
        break;
    case mail::MailTestResult::Outcome::SendFailed: {
        QMessageBox box(
            QMessageBox::Warning, QString(kAppTitle.data()), text, QMessageBox::Yes | QMessageBox::No, this);
        if (box.exec() == QMessageBox::Yes)
            QDesktopServices::openUrl(QUrl::fromLocalFile(q(result.logPath)));
        break;
    }
    case mail::MailTestResult::Outcome::ConnectedOnly:
        break;
    }
}

void frmConfigNew::cmdClearSMSF_Click()
{
    if (askYesNoDefaultNo(this, "Are you sure you want to DELETE all rules") != QMessageBox::No)
        gridForward->clearAll();
}

void frmConfigNew::cmdClearSelSMSF_Click()
{
    const int row = gridForward->currentRow();
    if (row < 0)
        return;
    if (askYesNoDefaultNo(this, "Are you sure you want to this entry?") != QMessageBox::No)
        gridForward->clearRow(row);
}

void frmConfigNew::gridForward_Assistant(int row, int column)
{
    if (column == ForwardGrid::kSource || column == ForwardGrid::kName) {
        frmPickFromNameCache picker(m_ctx.outbox, m_ctx.nameCache, m_ctx.DataFolder, this);
        picker.exec();
        const std::string number = picker.Selection();
        if (number.empty())
            return;
        gridForward->setCell(row, ForwardGrid::kSource, q(number));
        const routing::Contact contact = routing::LookupFriendlyName(m_ctx.outbox, number);
        if (contact.Name != routing::Contact {}.Name)
            gridForward->setCell(row, ForwardGrid::kName, q(contact.Name));
    } else if (column == ForwardGrid::kKeyword) {
        frmRegExTester tester(this);
        tester.SetExpression(gridForward->cell(row, column));
        tester.exec();
        if (!tester.Expression().isEmpty())
            gridForward->setCell(row, column, tester.Expression());
    }
}

void frmConfigNew::txtFilter_Assistant()
{
    frmRegExTester tester(this);
    tester.exec();
    const QString expression = tester.Expression();
    if (expression.isEmpty())
        return;
    QString text = txtFilter->toPlainText();
    if (!text.isEmpty() && !text.endsWith('\n'))
        text += '\n';
    txtFilter->setPlainText(text + expression);
    QTextCursor cursor = txtFilter->textCursor();
    cursor.movePosition(QTextCursor::End);
    txtFilter->setTextCursor(cursor);
}

} // namespace vesk::ui
