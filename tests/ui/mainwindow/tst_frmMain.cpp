// The main window: buttons, status bar and signal bar, driven as a user would.
#ifndef Q_MOC_RUN // the meta-object compiler has no need of the console's own headers
#include "core/AppLog.h"
#include "core/Engine.h"
#include "ui/frmMain.h"

#include "WindowConsole.h"
#endif

#include "WindowTesting.h"

using namespace vesk;
using namespace vesk::core;
using vesk::ui::frmMain;

class tst_frmMain : public testing::WindowConsole
{
    Q_OBJECT

private:
    std::unique_ptr<frmMain> window;

private slots:
    void init()
    {
        makeConsole({{"COM/AutoDetect", "0"}});
        ctx->overrides.port = dir->file("no-such-modem");
        window = std::make_unique<frmMain>(*ctx);
        window->attach();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        ctx->app.setMode(mode::kIdle);
        window->EnableAllButtons(true);
    }

    void cleanup() { window.reset(); }

    void pauseAndResumeGateTheCommandsAndConfigure()
    {
        QVERIFY(window->cmdClear->isEnabled() && window->cmdExit->isEnabled());
        QVERIFY(!window->cmdTestSMS->isEnabled() && !window->cmdConfigure->isEnabled());
        int opened = 0;
        window->setConfigureDialog([&](QWidget&) {
            ++opened;
            return frmMain::ConfigureResult {};
        });
        window->cmdConfigure->setEnabled(true); // as if left enabled by a resume racing the click
        QTest::mouseClick(window->cmdConfigure, Qt::LeftButton);
        QCOMPARE(opened, 0);
        const auto& log = ctx->app.log().lines();
        QVERIFY(std::any_of(log.begin(), log.end(), [](const auto& line) {
            return line.icon == 2
                && line.text == "You must pause the application before you can configure it.";
        }));

        QTest::mouseClick(window->cmdPause, Qt::LeftButton);
        QCOMPARE(ctx->app.mode(), mode::kPaused);
        QVERIFY(window->cmdTestSMS->isEnabled() && window->cmdConfigure->isEnabled());
        QTest::mouseClick(window->cmdConfigure, Qt::LeftButton);
        QCOMPARE(opened, 1);

        QTest::mouseClick(window->cmdPause, Qt::LeftButton);
        QCOMPARE(ctx->app.mode(), mode::kIdle);
        QCOMPARE(window->cmdPause->text(), QString("&Pause"));
        QVERIFY(!window->cmdTestSMS->isEnabled() && !window->cmdConfigure->isEnabled());
    }

    void pauseDuringAPassTakesEffectWhenThePassEnds()
    {
        int modeAtClick = 0;
        QString captionDuringPass;
        pump.at(1, [&] {
            modeAtClick = ctx->app.mode();
            QTest::mouseClick(window->cmdPause, Qt::LeftButton);
            captionDuringPass = window->cmdPause->text();
        });
        ctx->NextCycle = {};
        OnTick(*ctx); // what tmrUpdate does each second
        QVERIFY2(pump.calls() >= 1, "the pass let no events run");
        QVERIFY(modeAtClick != mode::kIdle && modeAtClick != mode::kPaused);
        QCOMPARE(captionDuringPass, QString("&Pause"));
        QCOMPARE(ctx->app.mode(), mode::kPaused);
        QCOMPARE(window->cmdPause->text(), QString("&Resume"));
    }

    void exitIsIgnoredWhileWorkingAndStoresTheWindowWhenIdle()
    {
        ctx->config.WindowLeft = -1;
        for (int working : {mode::kBusy, mode::kSending, mode::kTimerPass}) {
            ModeGuard guard(ctx->app, working, "");
            const int calls = pump.calls();
            QTest::mouseClick(window->cmdExit, Qt::LeftButton);
            QVERIFY(window->isVisible());
            QVERIFY(!ctx->stopRequested);
            QCOMPARE(ctx->config.WindowLeft, -1.0f);
            QCOMPARE(pump.calls() - calls, 2);
        }
        window->resize(640, 400);
        window->move(120, 90);
        QCoreApplication::processEvents();
        const QRect frame = window->frameGeometry();
        QSignalSpy unloaded(window.get(), &frmMain::unloaded);
        QTest::mouseClick(window->cmdExit, Qt::LeftButton);
        QVERIFY(!window->isVisible());
        QCOMPARE(unloaded.count(), 1);
        QVERIFY(ctx->stopRequested);
        QCOMPARE(ctx->app.mode(), mode::kStopping);
        QCOMPARE(ctx->config.WindowLeft, float(frame.x() * 15));
        QCOMPARE(ctx->config.WindowWidth, float(window->width() * 15));
    }

    void signalBarClampsAndColoursTheLevel_data()
    {
        QTest::addColumn<int>("level");
        QTest::addColumn<int>("alert");
        QTest::addColumn<int>("shown");
        QTest::addColumn<bool>("red");
        QTest::newRow("above the maximum") << 150 << 0 << 100 << false;
        QTest::newRow("negative") << -1 << 0 << 0 << false;
        QTest::newRow("no threshold is green") << 3 << 0 << 3 << false;
        QTest::newRow("under the threshold") << 20 << 30 << 20 << true;
        QTest::newRow("at the threshold") << 30 << 30 << 30 << false;
    }

    void signalBarClampsAndColoursTheLevel()
    {
        QFETCH(int, level);
        QFETCH(int, alert);
        QFETCH(int, shown);
        QFETCH(bool, red);
        ctx->diagnostics.SignalLevel = std::int16_t(alert);
        window->Signal(level);
        QCOMPARE(window->pbSignal->value(), shown);
        QCOMPARE(window->pbSignal->styleSheet().contains("rgb(192,0,0)"), red);
        QCOMPARE(pump.calls(), 1);
    }

    void statusPanelsShowModeFeedbackAndQueue()
    {
        ctx->app.setMode(mode::kSending);
        QCOMPARE(window->panels[1]->text(), QString::fromStdString(ModeText(mode::kSending)));
        QVERIFY(window->panels[0]->pixmap().toImage() != QImage());
        ctx->app.setFeedback("Sending message 3 of 7");
        QCOMPARE(window->panels[2]->text(), QString("Sending message 3 of 7"));
        ctx->app.QueueSize(42);
        QVERIFY2(window->panels[3]->text().contains("42"), qPrintable(window->panels[3]->text()));
    }

    void logShowsNewestFirstKeepsFiveHundredAndClears()
    {
        for (int i = 1; i <= 502; ++i)
            ctx->app.Log(i % 2 ? 1 : 3, "+4479", "line " + std::to_string(i));
        QCOMPARE(window->lvlog->topLevelItemCount(), 500);
        QCOMPARE(ctx->app.log().lines().size(), std::size_t(500));
        const QTreeWidgetItem* top = window->lvlog->topLevelItem(0);
        QCOMPARE(top->text(1), QString("+4479"));
        QCOMPARE(top->text(2), QString("line 502"));
        QCOMPARE(window->lvlog->topLevelItem(499)->text(2), QString("line 3"));

        QTest::mouseClick(window->cmdClear, Qt::LeftButton);
        QCOMPARE(window->lvlog->topLevelItemCount(), 0);
        QVERIFY(ctx->app.log().lines().empty());
    }
};

QTEST_MAIN(tst_frmMain)
#include "tst_frmMain.moc"
