#include "ui/frmModemGuide.h"

#include "modem/ModemGuide.h"
#include "support/Platform.h"
#include "ui/Placeholders.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace vesk::ui {

namespace {

void paintRed(QLabel& label)
{
    QPalette palette = label.palette();
    palette.setColor(QPalette::WindowText, Qt::red);
    label.setPalette(palette);
}

} // namespace

frmModemGuide::frmModemGuide(QWidget* parent)
    : QDialog(parent)
    , ListPath(ProgramFolder() + modem::kModemListName)
{
    setObjectName("frmModemGuide");
    setWindowTitle("{APP} - Modem Information");
    lblID = new QLabel("UNKNOWN MODEM", this);
    QFont bold = lblID->font();
    bold.setBold(true);
    lblID->setFont(bold);
    lblCompatibility = new QLabel(this);
    lblMsgMemory = new QLabel(this);
    lblReportmemory = new QLabel(this);
    lblInitString = new QLabel(this);
    lblNotes = new QLabel(this);
    lblNotes->setWordWrap(true);
    lblNotes->setMinimumWidth(320);
    lblNotes->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    auto* grid = new QGridLayout;
    const std::pair<const char*, QLabel*> rows[]
        = {{"Compatibility :", lblCompatibility}, {"Message Memory :", lblMsgMemory},
            {"Report Memory :", lblReportmemory}, {"Init String :", lblInitString}, {"Notes :", lblNotes}};
    int row = 0;
    for (const auto& [caption, field] : rows) {
        grid->addWidget(new QLabel(caption, this), row, 0, Qt::AlignRight | Qt::AlignTop);
        grid->addWidget(field, row++, 1);
    }
    grid->setRowStretch(row - 1, 1);

    cmdUseSettings = new QPushButton("&Use These Settings", this);
    cmdClose = new QPushButton("&Close", this);
    cmdUseSettings->setEnabled(false); // nothing known until a listed modem is found
    cmdClose->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdUseSettings);
    buttons->addWidget(cmdClose);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblID);
    layout->addLayout(grid, 1);
    layout->addLayout(buttons);

    connect(cmdUseSettings, &QPushButton::clicked, this, [this] {
        m_selected = true;
        accept();
    });
    connect(cmdClose, &QPushButton::clicked, this, &QDialog::reject);
    ApplyPlaceholders(*this);
}

void frmModemGuide::FindModem()
{
    if (ModemID.empty())
        return;
    lblID->setText(QString::fromStdString(ModemID));
    const auto entry = modem::LookupModem(ModemID, ListPath);
    if (!entry) {
        lblNotes->setText(
            "This modem has not been tested yet and it's compatibility is unknown. You may need "
            "to adjust the memory settings to get delivery receipts to work.");
        return;
    }
    const auto& f = *entry;
    m_messageMemory = f[modem::kMessageMemory];
    m_reportMemory = f[modem::kReportMemory];
    m_initString = f[modem::kInitString];
    lblID->setText(QString::fromStdString(f[modem::kModel] + " - " + f[modem::kDescription]));

    const std::string& rating = f[modem::kCompatibility];
    QString text = "Unknown";
    bool red = true;
    bool usable = false;
    if (rating == "F") {
        text = "Full", red = false, usable = true;
    } else if (rating == "P") {
        text = "Partial", usable = true;
    } else if (rating == "I") {
        text = "Incompatible";
    } else if (rating == "N") {
        text = "Not Tested", red = false, usable = true;
    }
    lblCompatibility->setText(text);
    if (red) {
        paintRed(*lblCompatibility);
        paintRed(*lblNotes);
    }
    cmdUseSettings->setEnabled(usable);
    lblMsgMemory->setText(QString::fromStdString(m_messageMemory));
    lblReportmemory->setText(QString::fromStdString(m_reportMemory));
    lblInitString->setText(QString::fromStdString(m_initString));
    lblNotes->setText(QString::fromStdString(f[modem::kNotes]));
}

bool ShowModemGuide(QWidget* owner, Clock& clock, EventPump& pump, std::string& messageMemory,
    std::string& reportMemory, std::string& initString, const std::string& alsoTry)
{
    const std::string model = modem::DetectModemModel(clock, pump, alsoTry);
    frmModemGuide guide(owner);
    guide.ModemID = model;
    guide.FindModem();
    guide.exec();
    if (!guide.IsModemSelected())
        return false;
    messageMemory = guide.MessageMemory();
    reportMemory = guide.ReportMemory();
    initString = guide.InitString();
    return true;
}

} // namespace vesk::ui
