#pragma once

#include <QDialog>

#include <string>

class QLabel;
class QPushButton;

namespace vesk {
class Clock;
class EventPump;
} // namespace vesk

namespace vesk::ui {

// Shows what the console knows about a modem model from the list of tested modems and lets the
// user take over its memory and serial settings.
class frmModemGuide final : public QDialog
{
    Q_OBJECT

public:
    explicit frmModemGuide(QWidget* parent = nullptr);

    std::string ModemID; // the model to look up
    std::string ListPath; // the list of tested modems; the program folder's by default

    bool IsModemSelected() const { return m_selected; }
    const std::string& MessageMemory() const { return m_messageMemory; }
    const std::string& ReportMemory() const { return m_reportMemory; }
    const std::string& InitString() const { return m_initString; }

    void FindModem();

    QLabel* lblID = nullptr;
    QLabel* lblCompatibility = nullptr;
    QLabel* lblMsgMemory = nullptr;
    QLabel* lblReportmemory = nullptr;
    QLabel* lblInitString = nullptr;
    QLabel* lblNotes = nullptr;
    QPushButton* cmdUseSettings = nullptr;
    QPushButton* cmdClose = nullptr;

private:
    bool m_selected = false;
    std::string m_messageMemory;
    std::string m_reportMemory;
    std::string m_initString;
};

// Detects the attached modem, shows the guide for its model over `owner` and, when the user
// accepts, copies the recommended settings to the out arguments (untouched otherwise). The
// search also tries `alsoTry`, the port the user has named.
bool ShowModemGuide(QWidget* owner, Clock& clock, EventPump& pump, std::string& messageMemory,
    std::string& reportMemory, std::string& initString, const std::string& alsoTry = {});

} // namespace vesk::ui
