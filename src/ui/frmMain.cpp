#include "ui/frmMain.h"

#include "core/AppLog.h"
#include "core/Context.h"
#include "core/Engine.h"
#include "store/Outbox.h"
#include "support/LogSink.h"
#include "support/Paths.h"
#include "support/Platform.h"
#include "ui/Icons.h"
#include "ui/Placeholders.h"
#include "ui/WindowPlacement.h"
#include "ui/frmSendTest.h"

#include <QCloseEvent>
#include <QFontMetrics>
#include <QFrame>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QTreeWidget>

namespace vesk::ui {

namespace {

// The design: client area, list and command frame in pixels.
constexpr int kDesignWidth = 780;
constexpr int kDesignHeight = 490;
constexpr int kMargin = 8;
constexpr int kFrameHeight = 40;
constexpr int kButtonWidth = 100;
constexpr int kButtonHeight = 30;
constexpr int kButtonSpacing = 8;

QString q(const std::string& s)
{
    return QString::fromStdString(s);
}

} // namespace

frmMain::frmMain(core::Context& ctx)
    : m_ctx(ctx)
{
    setObjectName("frmMain");
    setWindowTitle("{APP}");
    setWindowIcon(AppIcon());
    QFont font("Verdana", 9);
    font.setStyleHint(QFont::SansSerif);
    setFont(font);

    auto* client = new QWidget(this);
    setCentralWidget(client);

    lvlog = new QTreeWidget(client);
    lvlog->setObjectName("lvlog");
    lvlog->setColumnCount(3);
    lvlog->setHeaderLabels({"Time", "Address", "Info"});
    lvlog->setRootIsDecorated(false);
    lvlog->setUniformRowHeights(true);
    lvlog->setAlternatingRowColors(true);
    lvlog->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvlog->setSelectionMode(QAbstractItemView::SingleSelection);
    lvlog->setIconSize(QSize(16, 16));
    lvlog->header()->setStretchLastSection(false);
    lvlog->header()->setSectionsMovable(false);

    fraCmd = new QFrame(client);
    fraCmd->setObjectName("fraCmd");
    cmdTestSMS = button("&Send Test", "Send test messages");
    cmdClear = button("C&lear", "Clear the log window");
    cmdConfigure = button("&Configure", "Configure this application");
    cmdPause = button("&Pause", "Pause the application");
    cmdExit = button("E&xit", "End this application");
    cmdTestSMS->setObjectName("cmdTestSMS");
    cmdClear->setObjectName("cmdClear");
    cmdConfigure->setObjectName("cmdConfigure");
    cmdPause->setObjectName("cmdPause");
    cmdExit->setObjectName("cmdExit");
    int left = 0;
    for (QPushButton* b : {cmdTestSMS, cmdClear, cmdConfigure}) {
        b->setGeometry(left, (kFrameHeight - kButtonHeight) / 2, kButtonWidth, kButtonHeight);
        left += kButtonWidth + kButtonSpacing;
    }
    const int frameWidth = kDesignWidth - 2 * kMargin;
    const int exitLeft = frameWidth - kButtonWidth;
    const int pauseLeft = exitLeft - kButtonWidth - kButtonSpacing;
    cmdExit->setGeometry(exitLeft, (kFrameHeight - kButtonHeight) / 2, kButtonWidth, kButtonHeight);
    cmdPause->setGeometry(pauseLeft, (kFrameHeight - kButtonHeight) / 2, kButtonWidth, kButtonHeight);

    const int listHeight = kDesignHeight - 2 * kMargin - kFrameHeight - kMargin;
    const int frameTop = kDesignHeight - kFrameHeight - kMargin / 2;
    lvlog->setGeometry(kMargin, kMargin, frameWidth, listHeight);
    fraCmd->setGeometry(kMargin, frameTop, frameWidth, kFrameHeight);

    // Status bar: 1 mode icon, 2 mode text (the signal bar sits over it), 3 feedback, 4 queue.
    QStatusBar* sbMain = statusBar();
    sbMain->setObjectName("sbMain");
    sbMain->setSizeGripEnabled(true);
    for (auto*& panel : panels) {
        panel = new QLabel(sbMain);
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        panel->setContentsMargins(4, 0, 4, 0);
    }
    panels[0]->setFixedWidth(26);
    panels[0]->setAlignment(Qt::AlignCenter);
    panels[1]->setText("Mode");
    panels[1]->setFixedWidth(300);
    panels[1]->setToolTip("Mode");
    panels[2]->setMinimumWidth(120);
    panels[3]->setText("Messages in queue");
    panels[3]->setMinimumWidth(90);
    panels[3]->setToolTip("Messages in queue");
    sbMain->addWidget(panels[0]);
    sbMain->addWidget(panels[1]);
    sbMain->addWidget(panels[2], 1);
    sbMain->addPermanentWidget(panels[3]);
    pbSignal = new QProgressBar(sbMain);
    pbSignal->setObjectName("pbSignal");
    pbSignal->setRange(0, 100);
    pbSignal->setValue(0);
    pbSignal->setTextVisible(false);
    pbSignal->setFixedSize(100, 12);
    sbMain->installEventFilter(this);
    panels[1]->installEventFilter(this);

    tmrUpdate = new QTimer(this);
    tmrUpdate->setObjectName("tmrUpdate");
    tmrUpdate->setInterval(1000);
    connect(tmrUpdate, &QTimer::timeout, this, [this] { core::OnTick(m_ctx); });

    connect(cmdTestSMS, &QPushButton::clicked, this, [this] { cmdTestSMS_Click(); });
    connect(cmdClear, &QPushButton::clicked, this, [this] { m_ctx.app.LogClear(); });
    connect(cmdConfigure, &QPushButton::clicked, this, [this] { cmdConfigure_Click(); });
    connect(cmdPause, &QPushButton::clicked, this, [this] { core::TogglePause(m_ctx); });
    connect(cmdExit, &QPushButton::clicked, this, [this] { cmdExit_Click(); });
    for (QPushButton* b : {cmdTestSMS, cmdClear, cmdConfigure, cmdPause, cmdExit})
        b->setEnabled(false);

    ApplyPlaceholders(*this);

    // Layout measures, taken from the design size.
    m_listFraction = double(lvlog->width()) / kDesignWidth;
    m_listHeightGap = kDesignHeight - lvlog->height();
    m_frameFraction = double(fraCmd->width()) / kDesignWidth;
    m_frameTopGap = kDesignHeight - fraCmd->y();
    m_exitGap = fraCmd->width() - cmdExit->x();
    m_pauseToExit = cmdExit->x() - cmdPause->x();

    resize(kDesignWidth, kDesignHeight + sbMain->sizeHint().height());
    m_ctx.NextCycle = SteadyTime::FromNow(m_ctx.clock, std::chrono::seconds(10));
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect s = screen->geometry();
        move(s.x() + s.width() / 2 - width() / 2, s.y() + s.height() / 2 - height() / 2);
    }
}

frmMain::~frmMain()
{
    if (m_ctx.app.view() == this)
        m_ctx.app.setView(nullptr);
    m_ctx.app.log().Control(nullptr);
    m_ctx.app.log().Form(nullptr);
    if (m_ctx.window == this)
        m_ctx.window = nullptr;
}

void frmMain::attach()
{
    m_ctx.window = this;
    m_ctx.app.setView(this);
    m_ctx.app.log().Form(this);
    m_ctx.app.log().Control(this);
}

void frmMain::startTimer()
{
    tmrUpdate->start();
}

QPushButton* frmMain::button(const char* caption, const char* tip)
{
    auto* b = new QPushButton(caption, fraCmd);
    b->setToolTip(tip);
    b->setAutoDefault(false);
    return b;
}

void frmMain::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    if (!isMinimized())
        ReSizeControls();
}

void frmMain::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && !isMinimized())
        ReSizeControls();
}

void frmMain::ReSizeControls()
{
    ++m_layoutCount;
    const QWidget* client = centralWidget();
    const int w = client->width();
    const int h = client->height();
    const int listWidth = int(w * m_listFraction);
    const int listHeight = h - m_listHeightGap;
    if (listWidth > 0 && listHeight > 0)
        lvlog->setGeometry(lvlog->x(), lvlog->y(), listWidth, listHeight);
    const int frameWidth = int(w * m_frameFraction);
    const int frameTop = h - m_frameTopGap;
    if (frameWidth > 0 && frameTop > 0) {
        fraCmd->setGeometry(fraCmd->x(), frameTop, frameWidth, fraCmd->height());
        const int exitLeft = frameWidth - m_exitGap;
        if (exitLeft - m_pauseToExit > 0) {
            cmdExit->move(exitLeft, cmdExit->y());
            cmdPause->move(exitLeft - m_pauseToExit, cmdPause->y());
        }
    }
    m_ctx.app.LogResize();
}

bool frmMain::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Resize || event->type() == QEvent::Move
        || event->type() == QEvent::LayoutRequest)
        placeSignalBar();
    return QMainWindow::eventFilter(watched, event);
}

void frmMain::placeSignalBar()
{
    if (!pbSignal || !panels[1])
        return;
    const QRect panel = panels[1]->geometry();
    const QStatusBar* bar = statusBar();
    const int left = panel.x() + (panel.width() - pbSignal->width()) / 2;
    const int top = (bar->height() - pbSignal->height()) / 2 + 1;
    if (pbSignal->x() != left)
        pbSignal->move(left, pbSignal->y());
    if (pbSignal->y() != top)
        pbSignal->move(pbSignal->x(), top);
    pbSignal->raise();
}

void frmMain::setPanelText(int panel, const std::string& text)
{
    if (panel >= 2 && panel <= 4)
        panels[panel - 1]->setText(q(text));
}

void frmMain::setModeIcon(int image)
{
    panels[0]->setPixmap(ModeIcon(image));
}

void frmMain::refreshStatus()
{
    statusBar()->update();
}

void frmMain::showSignal(int percent)
{
    Signal(percent);
}

void frmMain::lineAdded(const core::LogLine& line)
{
    auto* item = new QTreeWidgetItem({q(line.timeText()), q(line.address), q(line.text)});
    const QPixmap icon = LogIcon(line.icon);
    if (!icon.isNull())
        item->setIcon(0, icon);
    item->setToolTip(2, q(line.text));
    lvlog->insertTopLevelItem(0, item);
    lvlog->scrollToItem(item);
}

void frmMain::oldestRemoved()
{
    if (const int n = lvlog->topLevelItemCount())
        delete lvlog->takeTopLevelItem(n - 1);
}

void frmMain::cleared()
{
    lvlog->clear();
}

int frmMain::columnCount() const
{
    return lvlog->columnCount();
}

int frmMain::columnWidth(int column) const
{
    return lvlog->columnWidth(column);
}

void frmMain::setColumnWidth(int column, int width)
{
    lvlog->setColumnWidth(column, width);
}

int frmMain::listWidth() const
{
    return lvlog->viewport()->width();
}

int frmMain::textWidth(std::string_view text) const
{
    // The icon sits in the first column, so leave it room.
    return QFontMetrics(lvlog->font())
               .horizontalAdvance(QString::fromUtf8(text.data(), qsizetype(text.size())))
        + 12;
}

void frmMain::Signal(int percent)
{
    int level = percent < 0 ? 0 : percent;
    if (level > pbSignal->maximum())
        level = pbSignal->maximum();
    pbSignal->setValue(level);
    // The alert threshold of the diagnostic settings; 0 (green) until they are loaded.
    const bool good = level >= m_ctx.diagnostics.SignalLevel;
    pbSignal->setStyleSheet(QString("QProgressBar { border: 1px solid #808080; background: #f0f0f0; }"
                                    "QProgressBar::chunk { background-color: %1; }")
                                .arg(good ? "rgb(0,192,0)" : "rgb(192,0,0)"));
    pbSignal->update();
    pbSignal->setToolTip(QString(" Signal strength: %1% ").arg(level));
    m_ctx.pump.runPending();
}

void frmMain::EnableAllButtons(bool enabled)
{
    cmdClear->setEnabled(enabled);
    cmdExit->setEnabled(enabled);
    cmdPause->setEnabled(enabled);
    cmdTestSMS->setEnabled(false);
    cmdConfigure->setEnabled(false);
}

void frmMain::showPaused(bool paused)
{
    cmdPause->setText(paused ? "&Resume" : "&Pause");
    cmdPause->setToolTip(paused ? " Resume this application " : " Pause this application ");
    cmdTestSMS->setEnabled(paused);
    cmdConfigure->setEnabled(paused);
}

void frmMain::refresh()
{
    update();
}

void frmMain::Unload()
{
    close();
}

void frmMain::cmdTestSMS_Click()
{
    {
        frmSendTest test(m_ctx, this);
        test.exec();
    }
    refresh();
    m_ctx.pump.runPending();
    m_ctx.pump.runPending();
}

void frmMain::cmdConfigure_Click()
{
    if (!m_ctx.app.IsPaused()) {
        m_ctx.app.Log(icon::kWarning, "", "You must pause the application before you can configure it.");
        return;
    }
    if (!m_configure)
        return;
    const ConfigureResult result = m_configure(*this);
    if (result.settingsChanged) {
        SetAppPriority(m_ctx.config.AppPriority);
        store::OpenOutbox(m_ctx.outbox, TrailingSeparator(m_ctx.DataFolder), true);
    }
    if (result.modemChanged)
        core::InitialiseModem(m_ctx, true);
}

void frmMain::cmdExit_Click()
{
    const int mode = m_ctx.app.mode();
    if (mode == core::mode::kIdle || mode == core::mode::kPaused) {
        m_ctx.app.setMode(core::mode::kStopping);
        close();
        return;
    }
    m_ctx.pump.runPending();
    m_ctx.pump.runPending();
}

void frmMain::closeEvent(QCloseEvent* event)
{
    if (!m_unloaded) {
        m_unloaded = true;
        if (!isMinimized() && !isMaximized()) {
            const QRect frame = frameGeometry();
            m_ctx.config.WindowTop = float(frame.y() * kTwipsPerPixel);
            m_ctx.config.WindowLeft = float(frame.x() * kTwipsPerPixel);
            m_ctx.config.WindowWidth = float(width() * kTwipsPerPixel);
            m_ctx.config.WindowHeight = float(height() * kTwipsPerPixel);
        }
        tmrUpdate->stop();
        m_ctx.stopRequested = true;
        emit unloaded();
    }
    event->accept();
}

} // namespace vesk::ui
