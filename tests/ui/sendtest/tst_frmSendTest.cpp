// The test-send window against a real outbox file and the modem simulator.
#ifndef Q_MOC_RUN // the meta-object compiler has no need of the console's own headers
#include "core/Engine.h"
#include "modem/GSMModem.h"
#include "store/Migrate.h"
#include "store/Outbox.h"
#include "store/Recordset.h"
#include "support/Convert.h"
#include "ui/frmSendTest.h"

#include "ShiftedClock.h"
#include "SimProcess.h"
#include "WindowConsole.h"
#endif

#include "WindowTesting.h"

using namespace vesk;
using namespace vesk::core;
using vesk::ui::frmSendTest;

class tst_frmSendTest : public testing::WindowConsole
{
    Q_OBJECT

private:
    testing::ShiftedClock realClock; // the modem answers in real time

    // A console on the clock with an outbox in its data folder.
    void openConsole(Clock& consoleClock)
    {
        makeConsole(
            {{"COM/AutoDetect", "0"}, {"COM/ListTimeout", "3"}, {"COM/SendTimeout", "5"}}, {}, &consoleClock);
        ctx->outbox.templateFolder = VESK_BIN_DIR "/DB/";
        ctx->app.LoadEnvironment(ctx->config, ctx->DataFolder);
        std::string errorText;
        std::string errorLines;
        const std::string data = dir->file("data");
        std::filesystem::create_directories(data);
        QVERIFY(store::CreateOutbox(data, ctx->outbox.templateFolder, errorText, errorLines));
        ctx->DataFolder = data + "/";
        QVERIFY(store::OpenOutbox(ctx->outbox, ctx->DataFolder, true));
    }

private slots:
    void queuesFiveCopiesTenSecondsAhead()
    {
        openConsole(clock);
        frmSendTest test(*ctx);
        test.txtAddress->setText("+447700900123");
        test.txtMsg->setText("queue me");
        test.cbCopies->setCurrentIndex(1);
        test.chkQueue->setChecked(true);
        QTest::mouseClick(test.cmdSend, Qt::LeftButton);

        store::db& h = store::OutboxHandle(ctx->outbox);
        QVERIFY(h.OpenDatabase(store::mode::kReadShared));
        QStringList queued;
        for (auto rows = h.OpenDynaset("SELECT msgAddress, msgText, msgSendTime FROM Message");
             rows && !rows->IsEOF(); rows->MoveNext())
            queued << QString::fromStdString(TextOf(rows->Field(0)) + "|" + TextOf(rows->Field(1)) + "|"
                + Format(DateOf(rows->Field(2)), "dd/mmm/yyyy hh:nn:ss"));
        h.CloseDatabase();
        const DateTime due = clock.now().addSeconds(10);
        QCOMPARE(queued,
            QStringList(
                5, QString::fromStdString("+447700900123|queue me|" + Format(due, "dd/mmm/yyyy hh:nn:ss"))));
    }

    void directSendTracesToItsOwnFileAndRestoresTheModemLog()
    {
        vesk::testing::SimProcess sim;
        openConsole(realClock);
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
        const std::string trace = testing::ReadFile(dir->folder() + frmSendTest::kTraceName);
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
