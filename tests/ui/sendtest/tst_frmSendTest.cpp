// The test-send window against a real outbox file and the modem simulator.
#ifndef Q_MOC_RUN // the meta-object compiler has no need of the console's own headers
#include "core/Context.h"
#include "core/Engine.h"
#include "core/SettingsStore.h"
#include "modem/GSMModem.h"
#include "store/Migrate.h"
#include "store/Outbox.h"
#include "store/Recordset.h"
#include "support/Convert.h"
#include "ui/frmSendTest.h"

#include "FakeClock.h"
#include "ShiftedClock.h"
#include "SimProcess.h"
#include "TempDir.h"
#endif

#include "WindowTesting.h"

using namespace vesk;
using namespace vesk::core;
using vesk::ui::frmSendTest;

class tst_frmSendTest : public QObject
{
    Q_OBJECT

private:
    testing::TempDir dir;
    testing::FakeClock clock;
    testing::ShiftedClock realClock; // the modem answers in real time
    NullPump pump;
    std::unique_ptr<SettingsStore> settings;
    std::unique_ptr<Context> ctx;

    void makeConsole(Clock& consoleClock)
    {
        settings = std::make_unique<SettingsStore>(dir.file("console.conf"));
        settings->set("COM", "AutoDetect", "0");
        settings->set("COM", "ListTimeout", "3");
        settings->set("COM", "SendTimeout", "5");
        ctx = std::make_unique<Context>(consoleClock, pump, *settings, dir.folder());
        ctx->outbox.templateFolder = VESK_BIN_DIR "/DB/";
        ctx->app.LoadEnvironment(ctx->config, ctx->DataFolder);
        std::string errorText;
        std::string errorLines;
        const std::string data = dir.file("data");
        std::filesystem::create_directories(data);
        QVERIFY(store::CreateOutbox(data, ctx->outbox.templateFolder, errorText, errorLines));
        ctx->DataFolder = data + "/";
        QVERIFY(store::OpenOutbox(ctx->outbox, ctx->DataFolder, true));
    }

private slots:
    void cleanup() { ctx.reset(); }

    void queuesFiveCopiesTenSecondsAhead()
    {
        makeConsole(clock);
        frmSendTest test(*ctx);
        test.txtAddress->setText("+447700900123");
        test.txtMsg->setText("queue me");
        test.cbCopies->setCurrentIndex(1);
        test.chkQueue->setChecked(true);
        QTest::mouseClick(test.cmdSend, Qt::LeftButton);

        store::db& h = store::OutboxHandle(ctx->outbox);
        QVERIFY(h.OpenDatabase(store::mode::kReadShared));
        auto rows = h.OpenDynaset("SELECT msgAddress, msgText, msgSendTime FROM Message");
        QVERIFY(rows);
        int count = 0;
        const DateTime due = clock.now().addSeconds(10);
        for (; !rows->IsEOF(); rows->MoveNext(), ++count) {
            QCOMPARE(TextOf(rows->Field(0)), std::string("+447700900123"));
            QCOMPARE(TextOf(rows->Field(1)), std::string("queue me"));
            QCOMPARE(
                Format(DateOf(rows->Field(2)), "dd/mmm/yyyy hh:nn:ss"), Format(due, "dd/mmm/yyyy hh:nn:ss"));
        }
        rows.reset();
        h.CloseDatabase();
        QCOMPARE(count, 5);
    }

    void directSendTracesToItsOwnFileAndRestoresTheModemLog()
    {
        vesk::testing::SimProcess sim;
        makeConsole(realClock);
        ctx->overrides.port = sim.path();
        InitialiseModem(*ctx, true);
        QVERIFY(ctx->modem && ctx->modem->IsPortOpen());
        const std::string modemLog = ctx->modem->LogFilename();
        const bool logging = ctx->modem->Logging();
        ctx->modem->LogFlush();
        const std::string before = testing::ReadFile(modemLog);

        frmSendTest test(*ctx);
        test.txtAddress->setText("  +447700900555 ");
        test.txtMsg->setText("direct hello");
        QTest::mouseClick(test.cmdSend, Qt::LeftButton);

        QCOMPARE(ctx->modem->LogFilename(), modemLog);
        QCOMPARE(ctx->modem->Logging(), logging);
        const std::string trace = testing::ReadFile(dir.folder() + frmSendTest::kTraceName);
        QVERIFY2(trace.find("CMGS") != std::string::npos, trace.c_str());
        ctx->modem->LogFlush();
        const std::string after = testing::ReadFile(modemLog);
        QVERIFY(after.substr(0, before.size()) == before);
        QVERIFY(after.find("CMGS", before.size()) == std::string::npos);
        const auto received = sim.control("messages");
        QCOMPARE(received.size(), std::size_t(1));
        QCOMPARE(vesk::testing::SimProcess::field(received[0], "text"), std::string("direct hello"));
    }
};

QTEST_MAIN(tst_frmSendTest)
#include "tst_frmSendTest.moc"
