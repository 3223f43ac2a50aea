// Start-up with a window: the stored rectangle against the screen, and the start-up questions.
#ifndef Q_MOC_RUN // the meta-object compiler has no need of the console's own headers
#include "core/CConfig.h"
#include "core/Startup.h"
#include "ui/WindowPlacement.h"
#include "ui/WindowPrompts.h"
#include "ui/frmMain.h"

#include "WindowConsole.h"
#endif

#include "WindowTesting.h"

using namespace vesk;
using namespace vesk::ui;
using vesk::testing::ModalAnswers;

class tst_Startup : public testing::WindowConsole
{
    Q_OBJECT

private slots:
    void init() { makeConsole(); }

    void keepOnScreenPullsCornersBack_data()
    {
        QTest::addColumn<float>("left");
        QTest::addColumn<float>("top");
        QTest::addColumn<float>("wantLeft");
        QTest::addColumn<float>("wantTop");
        // A 1024 x 768 pixel screen: 15360 x 11520 twips, margin 480 twips.
        QTest::newRow("on screen") << 1500.f << 1200.f << 1500.f << 1200.f;
        QTest::newRow("negative") << -300.f << -15.f << 0.f << 0.f;
        QTest::newRow("past the right edge") << 20000.f << 1200.f << 7680.f << 1200.f;
        QTest::newRow("inside the right margin") << 14880.f << 1200.f << 7680.f << 1200.f;
        QTest::newRow("just left of the margin") << 14879.f << 1200.f << 14879.f << 1200.f;
        QTest::newRow("below the bottom") << 100.f << 11100.f << 100.f << 5760.f;
    }

    void keepOnScreenPullsCornersBack()
    {
        QFETCH(float, left);
        QFETCH(float, top);
        ScreenTwips screen {15360, 11520, 15, 15};
        KeepOnScreen(left, top, screen);
        QTEST(left, "wantLeft");
        QTEST(top, "wantTop");
    }

    // A rectangle too small or off the screen is made usable; one unset value keeps the design's.
    void storedRectangleIsMadeUsableOrLeftToTheDesign()
    {
        ctx->config.WindowLeft = 99999;
        ctx->config.WindowTop = 300;
        ctx->config.WindowWidth = 100 * 15;
        ctx->config.WindowHeight = 150 * 15;
        {
            frmMain window(*ctx);
            WindowPrompts(*ctx, window).showMainWindow();
            const QRect screen = window.screen()->geometry();
            QCOMPARE(ctx->config.WindowWidth, 500.f * 15);
            QCOMPARE(ctx->config.WindowHeight, 200.f * 15);
            QCOMPARE(ctx->config.WindowLeft, float(screen.width() * 15 / 2));
            QCOMPARE(window.size(), QSize(500, 200));
            QCOMPARE(window.x(), screen.width() / 2);
        }
        ctx->config.WindowLeft = 10;
        ctx->config.WindowTop = 10;
        ctx->config.WindowWidth = -1;
        ctx->config.WindowHeight = 7000;
        frmMain window(*ctx);
        const QSize design = window.size();
        WindowPrompts(*ctx, window).showMainWindow();
        QCOMPARE(window.size(), design);
        QCOMPARE(ctx->config.WindowLeft, 10.f);
    }

    void folderWithoutDataFilesAsksToRunTheWizard_data()
    {
        QTest::addColumn<int>("button");
        QTest::addColumn<int>("answer");
        QTest::newRow("yes") << int(QMessageBox::Yes) << int(core::StartupPrompts::FolderAnswer::RunWizard);
        QTest::newRow("no") << int(QMessageBox::No) << int(core::StartupPrompts::FolderAnswer::End);
    }

    void folderWithoutDataFilesAsksToRunTheWizard()
    {
        QFETCH(int, button);
        frmMain window(*ctx);
        WindowPrompts prompts(*ctx, window);
        ModalAnswers box({}, QMessageBox::StandardButton(button));
        const auto answer = prompts.folderWithoutDataFiles("/srv/sms");
        QCOMPARE(box.titles, QStringList {"Quillon Vesk Console"});
        QCOMPARE(box.texts,
            QStringList {"Folder does not contain the Pellmar data files:\n/srv/sms\nDo you wish to run the "
                         "Setup Wizard"});
        QTEST(int(answer), "answer");
    }

    void cancelledWizardEndsStartUp()
    {
        // No data folder: the setup wizard opens; closing it ends start-up.
        frmMain window(*ctx);
        window.attach();
        WindowPrompts prompts(*ctx, window);
        ModalAnswers close([](QWidget& w) { w.close(); });
        QCOMPARE(core::Main(*ctx, prompts), core::StartResult::Ended);
        QVERIFY(!window.isVisible());
    }
};

QTEST_MAIN(tst_Startup)
#include "tst_Startup.moc"
