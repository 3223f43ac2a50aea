#include "ui/frmSendTest.h"

#include "core/Context.h"
#include "modem/GSMModem.h"
#include "store/Lifecycle.h"
#include "store/Outbox.h"
#include "support/Convert.h"
#include "support/KeptFiles.h"
#include "support/Platform.h"
#include "ui/MessageBoxes.h"
#include "ui/Placeholders.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace vesk::ui {

frmSendTest::frmSendTest(core::Context& ctx, QWidget* parent)
    : QDialog(parent)
    , m_ctx(ctx)
{
    setObjectName("frmSendTest");
    setWindowTitle("{APP} - Test");
    auto* recipient = new QGroupBox("Recipient", this);
    auto* grid = new QGridLayout(recipient);
    txtAddress = new QLineEdit(recipient);
    txtMsg = new QLineEdit("testing 123, testing...", recipient);
    cbCopies = new QComboBox(recipient);
    cbCopies->addItems({"1", "5", "10", "15"});
    cbCopies->setEditable(true);
    cbCopies->setCurrentIndex(0);
    grid->addWidget(new QLabel("Address :", recipient), 0, 0);
    grid->addWidget(txtAddress, 0, 1);
    grid->addWidget(new QLabel("Message :", recipient), 1, 0);
    grid->addWidget(txtMsg, 1, 1);
    grid->addWidget(new QLabel("Copies :", recipient), 2, 0);
    grid->addWidget(cbCopies, 2, 1, Qt::AlignLeft);
    chkQueue = new QCheckBox("&Queue messages in the database", recipient);
    grid->addWidget(chkQueue, 3, 1);

    lblStatus = new QLabel(this);
    txtLog = new QPlainTextEdit(this);
    txtLog->setReadOnly(true);
    txtLog->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    txtLog->setMinimumSize(460, 200);
    cmdSend = new QPushButton("&Send", this);
    cmdClose = new QPushButton("&Close", this);
    cmdSend->setDefault(true);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(lblStatus, 1);
    buttons->addWidget(cmdSend);
    buttons->addWidget(cmdClose);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(recipient);
    layout->addWidget(txtLog, 1);
    layout->addLayout(buttons);

    connect(cmdSend, &QPushButton::clicked, this, [this] { cmdSend_Click(); });
    connect(cmdClose, &QPushButton::clicked, this, &QDialog::reject);
    ApplyPlaceholders(*this);
}

int frmSendTest::copies() const
{
    return static_cast<int>(LeadingNumber(cbCopies->currentText().toStdString()));
}

void frmSendTest::status(const QString& text)
{
    lblStatus->setText(text);
    lblStatus->repaint();
    m_ctx.pump.runPending();
}

void frmSendTest::cmdSend_Click()
{
    if (chkQueue->isChecked())
        QueueMessages();
    else
        SendDirect();
}

void frmSendTest::QueueMessages()
{
    store::db& outbox = store::OutboxHandle(m_ctx.outbox);
    if (!outbox.OpenDatabase(store::mode::kReadWriteShared)) {
        ShowCritical(this, "Cannot open the database:\r\n" + QString::fromStdString(outbox.LastError()));
        return;
    }
    const DateTime sendTime = m_ctx.clock.now().addSeconds(10);
    const std::string address = txtAddress->text().toStdString();
    const std::string text = txtMsg->text().toStdString();
    const int n = copies();
    for (int i = 1; i <= n; ++i) {
        status(QString("Queueing message #%1").arg(i));
        store::InsertMessage(m_ctx.outbox, "", address, text, sendTime, StationName());
    }
    outbox.CloseDatabase();
    lblStatus->clear();
    // The window stays open so more can be queued; Close is there when the user is done.
    cmdClose->setEnabled(true);
}

void frmSendTest::SendDirect()
{
    if (!m_ctx.modem) {
        txtLog->setPlainText("The console has no modem open.");
        return;
    }
    modem::GSMModem& modem = *m_ctx.modem;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool logging = modem.Logging();
    const std::string logFile = modem.LogFilename();
    modem::GSMMessage message;
    message.Address = Trim(txtAddress->text().toStdString());
    message.Text = Trim(txtMsg->text().toStdString());
    const std::string trace = KeptFilePath(m_ctx.DataFolder, kTraceName);
    modem.LogFlush();
    modem.SetLogFilename(trace);
    modem.LogTruncateFile();
    modem.SetLogging(true);
    const int n = copies();
    for (int i = 1; i <= n; ++i) {
        status(QString("Queueing message #%1").arg(i));
        modem::GSMMessage copy = message;
        modem.SendSMS(copy);
    }
    lblStatus->clear();
    modem.LogFlush();
    modem.SetLogFilename(logFile);
    modem.SetLogging(logging);
    QFile file(QString::fromStdString(trace));
    txtLog->setPlainText(file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString());
    QApplication::restoreOverrideCursor();
}

} // namespace vesk::ui
