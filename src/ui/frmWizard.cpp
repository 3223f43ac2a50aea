#include "ui/frmWizard.h"

#include "core/Context.h"
#include "modem/SerialPort.h"
#include "store/ConnectionText.h"
#include "store/Migrate.h"
#include "store/Outbox.h"
#include "store/PhoneNumber.h"
#include "support/Convert.h"
#include "support/LogSink.h"
#include "support/Paths.h"
#include "ui/ChargeWarnings.h"
#include "ui/DataFolderSetup.h"
#include "ui/DatabaseField.h"
#include "ui/FormBuilding.h"
#include "ui/Icons.h"
#include "ui/MessageBoxes.h"
#include "ui/Placeholders.h"
#include "ui/frmModemGuide.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cctype>
#include <exception>

namespace vesk::ui {

namespace {

constexpr const char* kDefaultMaxLen = "160";
constexpr const char* kDefaultRemoveAfter = "366";

QLabel* paragraph(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

// One page: its heading, its explanation, then whatever fields the caller adds to the layout.
QVBoxLayout* pageLayout(QWidget* page, const QString& heading, const QString& text)
{
    auto* layout = new QVBoxLayout(page);
    auto* title = new QLabel(heading, page);
    QFont font = title->font();
    font.setBold(true);
    font.setPointSizeF(font.pointSizeF() * 1.3);
    title->setFont(font);
    layout->addWidget(title);
    layout->addWidget(paragraph(text, page));
    return layout;
}

// A folder as typed: blanks around it and any trailing separator of either kind go; the root
// folder keeps its one "/".
std::string folderWithoutSeparator(const std::string& typed)
{
    std::string folder = Trim(typed);
    while (folder.size() > 1 && (folder.back() == '/' || folder.back() == '\\'))
        folder.pop_back();
    return folder;
}

void selectText(QComboBox& list, const QString& text)
{
    const int index = list.findText(text);
    if (index >= 0)
        list.setCurrentIndex(index);
}

} // namespace

frmWizard::frmWizard(core::Context& ctx, QWidget* parent)
    : QDialog(parent)
    , m_ctx(ctx)
{
    setObjectName("frmWizard");
    setWindowTitle("{APP} - Setup Wizard");
    setWindowIcon(AppIcon());
    buildPages();
    ApplyPlaceholders(*this);
    try {
        loadSettings();
    } catch (const std::exception& e) {
        ShowCritical(this, QString("An error occured loading the Wizard:\n") + e.what());
    }
    ShowPage(kWelcome);
}

void frmWizard::buildPages()
{
    tabWizard = new QTabWidget(this);
    tabWizard->tabBar()->hide();
    tabWizard->setDocumentMode(true);
    // One page: its tab, heading and explanation, then its fields with room above and below.
    const auto page = [this](const QString& tab, const QString& heading, const QString& text,
                          std::initializer_list<QLayout*> fields = {}) {
        auto* widget = new QWidget;
        auto* layout = pageLayout(widget, heading, text);
        if (fields.size() > 0)
            layout->addSpacing(8);
        for (QLayout* f : fields)
            layout->addLayout(f);
        layout->addStretch(1);
        tabWizard->addTab(widget, tab);
        return widget;
    };
    auto* pages = tabWizard; // parent of the fields until each page takes them

    page("Welcome", "Welcome to {APP}",
        "This wizard sets up {APP} on this computer in a few steps: the Data Folder that holds the "
        "outbox, the serial port of the GSM modem, the phone number of the modem's SIM card, and the "
        "settings for outbound and inbound messages.\n\n"
        "Press Next to begin, or close the window to leave the wizard without changing anything.");

    txtDataFolder = make<QLineEdit>(pages, "txtDataFolder");
    txtDataFolder->installEventFilter(this);
    cmdPickDataFolder = make<QPushButton>(pages, "cmdPickDataFolder", "...");
    cmdPickDataFolder->setToolTip("Select the Data Folder");
    cmdPickDataFolder->setFixedWidth(36);
    cmdPickDataFolder->setAutoDefault(false);
    database = new DatabaseField(pages, m_ctx.clock, m_ctx.pump);
    page("Data Folder", "Data Folder",
        "{APP} keeps its outbox, archive and address book in the Data Folder; they are created there "
        "if it does not hold them yet.\n\n"
        "The folder is usually on a shared network drive (for example a share mounted under /mnt or "
        "/srv), so that other programs and other consoles can queue messages in it. Every user of "
        "the outbox needs read, write and delete rights to the folder.\n\n"
        "Consoles on several machines share an outbox on a PostgreSQL server instead: name it by a "
        "connection string in Database. Leave Database empty to keep the outbox in the folder.",
        {labelledRow(pages, "Data Folder :", {txtDataFolder, cmdPickDataFolder}), database->rows(pages)});

    rbCOMAutoDetect = make<QRadioButton>(pages, "rbCOMAutoDetect", "&Automatically detect my Modem");
    rbCOMPort = make<QRadioButton>(pages, "rbCOMPort", "My modem is on COM &port :");
    cbCOMPort = make<QComboBox>(pages, "cbCOMPort");
    cbCOMPort->setEditable(true);
    cbCOMPort->setInsertPolicy(QComboBox::NoInsert);
    cbCOMPort->setMinimumWidth(220);
    cmdModemGuide = make<QPushButton>(pages, "cmdModemGuide", "Modem &Guide...");
    cmdModemGuide->setAutoDefault(false);
    auto* guideRow = row({cmdModemGuide});
    guideRow->insertStretch(0, 1);
    auto* portPage = page("COM Port", "COM Port",
        "{APP} talks to the GSM modem over a serial port. It can search every serial port for the "
        "modem each time it starts, or use the port you name here: a device such as /dev/ttyUSB0 "
        "or /dev/ttyACM0 (COM1 stands for /dev/ttyS0).\n\n"
        "The Modem Guide looks for the attached modem and offers the settings that suit it.",
        {row({rbCOMAutoDetect}), row({rbCOMPort, cbCOMPort}, 1)});
    portPage->layout()->addItem(guideRow); // the guide sits at the foot of the page

    txtLocalAddress = make<QLineEdit>(pages, "txtLocalAddress");
    page("Phone Number", "Phone Number",
        "Enter the phone number of the SIM card in the modem, in full international format and "
        "without spaces: a \"+\", the country code, the area code and the number, such as "
        "+447700900123.\n\n"
        "{APP} uses it to make sure that it never sends messages to itself.",
        {labelledRow(pages, "Phone Number :", {txtLocalAddress})});

    cbSMSMaxLen = make<QComboBox>(pages, "cbSMSMaxLen");
    cbSMSMaxLen->addItem("160");
    for (int n = 2; n <= 5; ++n)
        cbSMSMaxLen->addItem(QString::number(152 * n));
    imgSMSMaxLenWarning = ChargeWarningButton(pages, "imgSMSMaxLenWarning", kChargeNoteMessageSize);
    auto* sizeRow = labelledRow(pages, "Maximum message length :", {cbSMSMaxLen, imgSMSMaxLenWarning}, -1);
    sizeRow->addStretch(1);
    page("SMS Size", "SMS Size",
        "A text message holds up to 160 characters. Longer messages are split into fragments that "
        "the phone joins up again, and each fragment is sent and charged as a message of its own.\n\n"
        "The longer lengths are not multiples of 160 because each fragment also carries its "
        "position in the message.",
        {sizeRow});

    const auto numberField = [pages](const char* name, const QString& value) {
        auto* field = make<QLineEdit>(pages, name, value);
        field->setValidator(new QIntValidator(0, 32767, field));
        field->setMaximumWidth(90);
        return field;
    };
    txtTarrif = numberField("txtTarrif", "0");
    txtSMSRemoveAfter = numberField("txtSMSRemoveAfter", kDefaultRemoveAfter);
    chkSMSArchive = make<QCheckBox>(pages, "chkSMSArchive", "Ar&chive messages before they are removed");
    auto* outGrid = new QGridLayout;
    outGrid->addWidget(new QLabel("Charge per message (cent) :", pages), 0, 0);
    outGrid->addWidget(txtTarrif, 0, 1);
    outGrid->addWidget(new QLabel("Remove messages after (days, 0 = do not remove) :", pages), 1, 0);
    outGrid->addWidget(txtSMSRemoveAfter, 1, 1);
    outGrid->addWidget(chkSMSArchive, 2, 0, 1, 2);
    chkOutboundAuto = make<QCheckBox>(pages, "chkOutboundAuto",
        "Send accented letters and other scripts as &written (a message outside the GSM alphabet "
        "holds 70 characters)");
    outGrid->addWidget(chkOutboundAuto, 3, 0, 1, 3);
    outGrid->setColumnStretch(2, 1);
    page("Outbound", "Outbound",
        "How outbound messages are costed and how long they stay in the outbox once they are "
        "complete. Removed messages can be copied to the archive first.",
        {outGrid});

    txtStandardReply = make<QLineEdit>(pages, "txtStandardReply");
    imgStandardReplyWarning = ChargeWarningButton(pages, "imgStandardReplyWarning", kChargeNoteReply);
    chkSMSSaveInbound = make<QCheckBox>(pages, "chkSMSSaveInbound", "&Save inbound messages");
    chkInboundFull = make<QCheckBox>(
        pages, "chkInboundFull", "&Read every coding: other scripts, emoji and named senders such as banks");
    chkJoinParts = make<QCheckBox>(pages, "chkJoinParts", "&Join the parts of long messages into one");
    connect(chkInboundFull, &QCheckBox::toggled, chkJoinParts, &QWidget::setEnabled);
    page("Inbound", "Inbound",
        "{APP} can answer every inbound message with a standard reply; leave it blank to send no "
        "reply. Inbound messages can also be saved in the outbox for other programs to read.",
        {labelledRow(pages, "Standard reply :", {txtStandardReply, imgStandardReplyWarning}),
            row({chkSMSSaveInbound}), row({chkInboundFull}), row({chkJoinParts})});

    page("Finished", "Finished",
        "That is all {APP} needs. Press Finish to store the settings and make the Data Folder "
        "ready; the console then starts.\n\n"
        "Advanced options such as forwarding of inbound messages, e-mail alerts and the address "
        "filter are set in the console itself: pause it and press its Configure button.");

    cmdBack = new QPushButton("&Back", this);
    cmdBack->setObjectName("cmdBack");
    cmdBack->setAutoDefault(false);
    cmdNext = new QPushButton("&Next", this);
    cmdNext->setObjectName("cmdNext");
    cmdNext->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdBack);
    buttons->addWidget(cmdNext);
    auto* main = new QVBoxLayout(this);
    main->addWidget(tabWizard, 1);
    main->addLayout(buttons);
    setMinimumSize(600, 400);

    connect(cmdBack, &QPushButton::clicked, this, [this] { cmdBack_Click(); });
    connect(cmdNext, &QPushButton::clicked, this, [this] { cmdNext_Click(); });
    connect(cmdPickDataFolder, &QPushButton::clicked, this, [this] { cmdPickDataFolder_Click(); });
    connect(cmdModemGuide, &QPushButton::clicked, this, [this] { cmdModemGuide_Click(); });
    connect(rbCOMPort, &QRadioButton::toggled, cbCOMPort, &QWidget::setEnabled);
    connect(rbCOMPort, &QRadioButton::clicked, cbCOMPort, [this] { cbCOMPort->setFocus(); });
}

void frmWizard::loadSettings()
{
    const core::ConsoleApp& app = m_ctx.app;
    txtDataFolder->setText(QString::fromStdString(app.LoadParameter("Setup", "DataFolder", "")));
    database->setValue(app.LoadParameter("Setup", "Database", ""));

    // The port list names the serial devices that exist rather than "COM 1" to "COM 64": what is
    // stored is what the driver opens, a device path (or "COMn", which it maps to /dev/ttyS(n-1)).
    // The list is editable so that any other path, such as a pseudo-terminal, can be typed.
    const std::string configured = app.LoadParameter("COM", "Port", "COM1");
    for (const std::string& device : modem::ListSerialDevices())
        cbCOMPort->addItem(QString::fromStdString(device));
    if (!configured.empty() && cbCOMPort->findText(QString::fromStdString(configured)) < 0)
        cbCOMPort->addItem(QString::fromStdString(configured));
    cbCOMPort->setCurrentIndex(-1);

    const bool autoDetect = ToBool(app.LoadParameter("COM", "AutoDetect", "1")).value_or(true);
    rbCOMAutoDetect->setChecked(autoDetect);
    rbCOMPort->setChecked(!autoDetect);
    cbCOMPort->setEnabled(!autoDetect);
    if (!autoDetect)
        selectText(*cbCOMPort, QString::fromStdString(configured));

    txtLocalAddress->setText(QString::fromStdString(app.LoadParameter("Agent", "LocalAddress", "+")));
    chkSMSArchive->setChecked(true);
    chkSMSSaveInbound->setChecked(true);
    chkOutboundAuto->setChecked(EqualsNoCase(app.LoadParameter("Text", "OutboundCoding", "Legacy"), "Auto"));
    chkInboundFull->setChecked(EqualsNoCase(app.LoadParameter("Text", "InboundDecoding", "Legacy"), "Full"));
    chkJoinParts->setChecked(app.LoadParameter("Text", "JoinParts", "0") == "1");
    chkJoinParts->setEnabled(chkInboundFull->isChecked());
}

int frmWizard::page() const
{
    return tabWizard->currentIndex();
}

void frmWizard::ShowPage(int page)
{
    page = std::clamp(page, int(kWelcome), int(kFinished));
    tabWizard->setCurrentIndex(page);
    cmdNext->setText(page == kFinished ? "&Finish" : "&Next");
    cmdBack->setEnabled(page != kWelcome);
    QLineEdit* field = nullptr;
    switch (page) {
    case kDataFolder:
        field = txtDataFolder;
        break;
    case kPhoneNumber:
        field = txtLocalAddress;
        break;
    case kOutbound:
        field = txtTarrif;
        break;
    case kInbound:
        field = txtStandardReply;
        break;
    default:
        cmdNext->setFocus();
        return;
    }
    field->setFocus();
    field->selectAll();
}

void frmWizard::cmdBack_Click()
{
    if (page() > kWelcome)
        ShowPage(page() - 1);
}

void frmWizard::cmdNext_Click()
{
    switch (page()) {
    case kDataFolder:
        if (!leaveDataFolder())
            return;
        break;
    case kCOMPort:
        if (!leaveCOMPort())
            return;
        break;
    case kPhoneNumber:
        if (!leavePhoneNumber())
            return;
        break;
    case kFinished:
        if (Finish()) {
            m_canceled = false;
            accept();
        }
        return;
    default:
        break;
    }
    ShowPage(page() + 1);
}

bool frmWizard::leaveDataFolder()
{
    const std::string folder = folderWithoutSeparator(txtDataFolder->text().toStdString());
    txtDataFolder->setText(QString::fromStdString(folder));
    if (folder.empty()) {
        ShowExclamation(this, "Please enter the Data Folder");
        txtDataFolder->setFocus();
        return false;
    }
    loadMessageSettings(folder);
    return true;
}

void frmWizard::loadMessageSettings(const std::string& folder)
{
    selectText(*cbSMSMaxLen, kDefaultMaxLen);
    txtSMSRemoveAfter->setText(kDefaultRemoveAfter);
    chkSMSArchive->setChecked(true);
    chkSMSSaveInbound->setChecked(true);
    txtStandardReply->clear();

    // An outbox already there keeps what it was set to.
    store::SystemSettings s;
    if (!store::LoadSystemSettings(outboxLocation(folder), s, m_ctx.clock, m_ctx.pump, m_ctx.app))
        return;
    selectText(*cbSMSMaxLen, QString::number(s.SMSMaxMessageSize));
    txtTarrif->setText(QString::number(s.Tariff));
    txtSMSRemoveAfter->setText(QString::number(s.SMSRemoveAfter));
    chkSMSArchive->setChecked(s.SMSArchive);
    chkSMSSaveInbound->setChecked(s.SMSSaveInbound);
    txtStandardReply->setText(QString::fromStdString(s.StandardReply));
}

bool frmWizard::leaveCOMPort()
{
    if (rbCOMPort->isChecked() && selectedPort().empty()) {
        ShowExclamation(this, "Please select a COM Port before proceeding");
        cbCOMPort->setFocus();
        return false;
    }
    return true;
}

bool frmWizard::leavePhoneNumber()
{
    QString number = txtLocalAddress->text();
    if (number.trimmed().isEmpty()) {
        ShowExclamation(this, "Please enter the phone number of the SIM card in the modem");
        txtLocalAddress->setFocus();
        return false;
    }
    number.remove(' ');
    txtLocalAddress->setText(number);
    const store::NumberProblem problem = store::CheckInternationalNumber(number.toStdString());
    if (problem == store::NumberProblem::None)
        return true;
    ShowExclamation(this, QString::fromStdString(store::NumberProblemText(problem)));
    txtLocalAddress->setFocus();
    txtLocalAddress->selectAll();
    return false;
}

std::string frmWizard::dataFolder() const
{
    return folderWithoutSeparator(txtDataFolder->text().toStdString());
}

// The outbox the message settings go into: the named database, else the folder's file.
std::string frmWizard::outboxLocation(const std::string& folder) const
{
    const std::string conninfo = database->value();
    return conninfo.empty() ? TrailingSeparator(folder) + store::kOutboxName : conninfo;
}

std::string frmWizard::selectedPort() const
{
    return Trim(cbCOMPort->currentText().toStdString());
}

bool frmWizard::Finish()
{
    core::ConsoleApp& app = m_ctx.app;
    const std::string folder = dataFolder();
    const std::string port = selectedPort();
    app.SaveParameter("Setup", "DataFolder", folder);
    app.SaveParameter("COM", "AutoDetect", BoolText(rbCOMAutoDetect->isChecked()));
    app.SaveParameter("COM", "Port", port.empty() ? "COM1" : port);
    app.SaveParameter("Agent", "LocalAddress", txtLocalAddress->text().toStdString());
    // Text handling is written only when it differs, so a console that never opts in keeps its file.
    const auto saveText = [&](const char* key, const char* fallback, bool on, const char* onWord) {
        const std::string value = on ? onWord : fallback;
        if (!EqualsNoCase(app.LoadParameter("Text", key, fallback), value))
            app.SaveParameter("Text", key, value);
    };
    saveText("OutboundCoding", "Legacy", chkOutboundAuto->isChecked(), "Auto");
    saveText("InboundDecoding", "Legacy", chkInboundFull->isChecked(), "Full");
    saveText("JoinParts", "0", chkInboundFull->isChecked() && chkJoinParts->isChecked(), "1");
    const std::string conninfo = database->value();
    if (conninfo != app.LoadParameter("Setup", "Database", ""))
        app.SaveParameter("Setup", "Database", conninfo);

    if (!FolderExists(folder))
        CreateFolderPath(folder);
    if (folder.empty() || !FolderExists(folder)) {
        ShowCritical(this, "Could not create the Data Folder:\n" + QString::fromStdString(folder));
        return false;
    }
    // An outbox on a database server leaves only the console's own files to the folder.
    if (conninfo.empty() && !makeDataFolderReady(folder))
        return false;
    saveMessageSettings(folder);
    return true;
}

bool frmWizard::makeDataFolderReady(const std::string& folder)
{
    if (store::IsDataFolder(folder)) {
        RebuildDataFolder(this, folder, m_ctx.outbox.templateFolder, m_ctx.clock, m_ctx.pump);
        return true;
    }
    std::string errorText;
    std::string errorLines;
    const bool created = store::CreateOutbox(folder, m_ctx.outbox.templateFolder, errorText, errorLines);
    if (!errorLines.empty())
        ShowCritical(this, "An Error Occured Creating The Outbox\n" + QString::fromStdString(errorLines));
    if (!created) {
        const std::string reason = errorText.empty() ? errorLines : errorText;
        ShowCritical(this, "Could not create databases:\n" + QString::fromStdString(reason));
        return false;
    }
    if (!store::IsDataFolder(folder)) {
        ShowCritical(this, "Unknown error creating databases");
        return false;
    }
    return true;
}

void frmWizard::saveMessageSettings(const std::string& folder)
{
    const std::string file = outboxLocation(folder);
    // Start from the row as it stands, so the settings this wizard does not ask about survive.
    store::SystemSettings s;
    store::LoadSystemSettings(file, s, m_ctx.clock, m_ctx.pump, m_ctx.app);
    const QString maxLen = cbSMSMaxLen->currentIndex() < 0 ? kDefaultMaxLen : cbSMSMaxLen->currentText();
    s.SMSMaxMessageSize = ToInt16(maxLen.toStdString()).value_or(160);
    s.SMSRemoveAfter = IntOf(txtSMSRemoveAfter->text().toStdString());
    s.SMSArchive = chkSMSArchive->isChecked();
    s.SMSSaveInbound = chkSMSSaveInbound->isChecked();
    s.StandardReply = Trim(txtStandardReply->text().toStdString());
    s.Tariff = IntOf(txtTarrif->text().toStdString());
    if (!store::SaveSystemSettings(file, s, m_ctx.clock, m_ctx.pump))
        m_ctx.app.Log(
            icon::kError, "", "Could not save the message settings in " + store::MaskPassword(file));
}

void frmWizard::cmdPickDataFolder_Click()
{
    const QString folder
        = QFileDialog::getExistingDirectory(this, "Select the Data Folder", txtDataFolder->text());
    if (!folder.isEmpty())
        txtDataFolder->setText(folder);
}

void frmWizard::cmdModemGuide_Click()
{
    const QString caption = cmdModemGuide->text();
    cmdModemGuide->setText("Wait...");
    cmdModemGuide->setEnabled(false);
    m_ctx.pump.runPending();
    std::string messageMemory;
    std::string reportMemory;
    std::string initString;
    const std::string port = rbCOMPort->isChecked() ? selectedPort() : std::string();
    if (ShowModemGuide(this, m_ctx.clock, m_ctx.pump, messageMemory, reportMemory, initString, port)) {
        core::CConfig& config = m_ctx.config;
        config.MessageMemory = messageMemory;
        config.ReportMemory = reportMemory;
        config.COMInitString = initString;
        m_ctx.app.SaveParameter("COM", "InitString", initString);
        m_ctx.app.SaveParameter("COM", "MessageMemory", messageMemory);
        m_ctx.app.SaveParameter("COM", "Reportmemory", reportMemory);
    }
    cmdModemGuide->setEnabled(true);
    cmdModemGuide->setText(caption);
}

bool frmWizard::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == txtDataFolder && event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent*>(event)->key() == Qt::Key_F12)
        mapDriveToShare();
    return QDialog::eventFilter(watched, event);
}

// A folder typed as a drive path ("X:\...") gets the network name of the share behind that drive.
// There are no mapped drives here, so this finds nothing and leaves the text alone.
void frmWizard::mapDriveToShare()
{
    const std::string text = txtDataFolder->text().toStdString();
    if (text.size() < 3 || !std::isalpha(static_cast<unsigned char>(text[0])) || text[1] != ':'
        || text[2] != '\\')
        return;
    const std::string share = NetworkPathOfDrive(text.substr(0, 2));
    if (!share.empty())
        txtDataFolder->setText(QString::fromStdString(share + text.substr(2)));
}

} // namespace vesk::ui
