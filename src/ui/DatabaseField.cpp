#include "ui/DatabaseField.h"

#include "store/ConnectionText.h"
#include "support/Convert.h"
#include "ui/FormBuilding.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace vesk::ui {

DatabaseField::DatabaseField(QWidget* parent, Clock& clock, EventPump& pump)
    : QObject(parent)
    , m_clock(clock)
    , m_pump(pump)
{
    txtDatabase = make<QLineEdit>(parent, "txtDatabase");
    txtDatabase->setPlaceholderText("postgresql://user@host/outbox or host=... dbname=...");
    txtDatabase->setToolTip("Empty keeps the outbox in the Data Folder. A libpq connection string names a "
                            "PostgreSQL database shared by consoles on several machines.");
    txtDatabasePassword = make<QLineEdit>(parent, "txtDatabasePassword");
    txtDatabasePassword->setEchoMode(QLineEdit::Password);
    txtDatabasePassword->setToolTip("Only to change the password; a password file (PGPASSFILE) keeps it out "
                                    "of the settings file");
    cmdTestDatabase = make<QPushButton>(parent, "cmdTestDatabase", "&Test connection");
    cmdTestDatabase->setAutoDefault(false);
    lblDatabaseTest = make<QLabel>(parent, "lblDatabaseTest");
    lblDatabaseTest->setWordWrap(true);
    // A password typed into the string is masked as soon as the field is left.
    connect(txtDatabase, &QLineEdit::editingFinished, this, [this] {
        m_stored = store::KeepPassword(Trim(txtDatabase->text().toStdString()), m_stored);
        txtDatabase->setText(QString::fromStdString(store::MaskPassword(m_stored)));
    });
    connect(cmdTestDatabase, &QPushButton::clicked, this, [this] { cmdTestDatabase_Click(); });
}

void DatabaseField::setValue(const std::string& conninfo)
{
    m_stored = conninfo;
    txtDatabase->setText(QString::fromStdString(store::MaskPassword(conninfo)));
    txtDatabasePassword->clear();
    lblDatabaseTest->clear();
}

std::string DatabaseField::value() const
{
    const std::string edited = store::KeepPassword(Trim(txtDatabase->text().toStdString()), m_stored);
    const std::string password = txtDatabasePassword->text().toStdString();
    if (edited.empty() || password.empty())
        return edited;
    return store::WithPassword(edited, password);
}

QLayout* DatabaseField::rows(QWidget* parent)
{
    auto* layout = new QVBoxLayout;
    layout->addLayout(labelledRow(parent, "Database :", {txtDatabase, cmdTestDatabase}));
    layout->addLayout(labelledRow(parent, "Database password :", {txtDatabasePassword}));
    layout->addWidget(lblDatabaseTest);
    return layout;
}

void DatabaseField::cmdTestDatabase_Click()
{
    const std::string conninfo = value();
    if (conninfo.empty()) {
        lblDatabaseTest->setText("No database is named: the outbox stays in the Data Folder.");
        return;
    }
    const std::string answer = store::TestConnection(m_clock, m_pump, conninfo);
    lblDatabaseTest->setText(answer.empty() ? QString("Connected.") : QString::fromStdString(answer));
}

} // namespace vesk::ui
