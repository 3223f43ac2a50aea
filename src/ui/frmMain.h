#pragma once

#include "core/ConsoleView.h"
#include "core/ConsoleWindow.h"

#include <QMainWindow>

#include <functional>

class QFrame;
class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;
class QTreeWidget;

namespace vesk::core {
struct Context;
}

namespace vesk::ui {

// The console's one permanent window: the activity log, the status bar with the signal bar,
// the six command buttons and the one-second timer that drives the processing cycle.
class frmMain final : public QMainWindow,
                      public core::StatusView,
                      public core::LogListView,
                      public core::TextMeasure,
                      public core::ConsoleWindow
{
    Q_OBJECT

public:
    // What the configuration dialog reported when it closed.
    struct ConfigureResult
    {
        bool settingsChanged = false;
        bool modemChanged = false;
    };
    using ConfigureDialog = std::function<ConfigureResult(QWidget& owner)>;

    explicit frmMain(core::Context& ctx);
    ~frmMain() override;

    // Hands the window to the application object and the log; the window is then the view.
    void attach();
    void startTimer(); // start-up is over: tmrUpdate ticks
    void setConfigureDialog(ConfigureDialog dialog) { m_configure = std::move(dialog); }
    void ReSizeControls();
    int layoutCount() const { return m_layoutCount; }

    // core::StatusView
    void setPanelText(int panel, const std::string& text) override;
    void setModeIcon(int image) override;
    void refreshStatus() override;
    void showSignal(int percent) override;

    // core::LogListView
    void lineAdded(const core::LogLine& line) override;
    void oldestRemoved() override;
    void cleared() override;
    int columnCount() const override;
    int columnWidth(int column) const override;
    void setColumnWidth(int column, int width) override;
    int listWidth() const override;

    // core::TextMeasure
    int textWidth(std::string_view text) const override;

    // core::ConsoleWindow
    void Signal(int percent) override;
    void EnableAllButtons(bool enabled) override;
    void showPaused(bool paused) override;
    void refresh() override;
    void Unload() override;

    QTreeWidget* lvlog = nullptr;
    QLabel* panels[4] = {}; // status panels 1 to 4
    QProgressBar* pbSignal = nullptr;
    QFrame* fraCmd = nullptr;
    QPushButton* cmdTestSMS = nullptr;
    QPushButton* cmdClear = nullptr;
    QPushButton* cmdConfigure = nullptr;
    QPushButton* cmdPause = nullptr;
    QPushButton* cmdExit = nullptr;
    QTimer* tmrUpdate = nullptr;

signals:
    void unloaded(); // the window closed: the console shuts down

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void cmdTestSMS_Click();
    void cmdConfigure_Click();
    void cmdExit_Click();
    void placeSignalBar();
    QPushButton* button(const char* caption, const char* tip);

    core::Context& m_ctx;
    ConfigureDialog m_configure;
    bool m_unloaded = false;
    int m_layoutCount = 0;
    // Layout measures taken from the design size.
    double m_listFraction = 0;
    int m_listHeightGap = 0;
    double m_frameFraction = 0;
    int m_frameTopGap = 0;
    int m_exitGap = 0;
    int m_pauseToExit = 0;
};

} // namespace vesk::ui
