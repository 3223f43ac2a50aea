#pragma once

#include "support/Clock.h"
#include "support/EventPump.h"

#include <QObject>

#include <string>

class QLabel;
class QLayout;
class QLineEdit;
class QPushButton;
class QWidget;

namespace vesk::ui {

// The outbox's database as the wizard and the configuration dialog show it: the connection string
// with its password masked, a password typed apart where no one can read it, and a button that
// tries the connection and says what went wrong.
class DatabaseField final : public QObject
{
public:
    DatabaseField(QWidget* parent, Clock& clock, EventPump& pump);

    // The stored connection string; empty for the data folder's files.
    void setValue(const std::string& conninfo);
    // What to store: the string as edited, its masked password as it was, the typed one in place.
    std::string value() const;
    // The fields and the button, one row each, for the page that holds them.
    QLayout* rows(QWidget* parent);

    void cmdTestDatabase_Click();

    QLineEdit* txtDatabase = nullptr;
    QLineEdit* txtDatabasePassword = nullptr;
    QPushButton* cmdTestDatabase = nullptr;
    QLabel* lblDatabaseTest = nullptr;

private:
    Clock& m_clock;
    EventPump& m_pump;
    std::string m_stored;
};

} // namespace vesk::ui
