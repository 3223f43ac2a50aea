// The modem guide window over a list of tested modems in a temporary folder.
#ifndef Q_MOC_RUN
#include "modem/ModemGuide.h"
#include "ui/frmModemGuide.h"

#include "TempDir.h"
#endif

#include "WindowTesting.h"

using vesk::ui::frmModemGuide;

class tst_frmModemGuide : public QObject
{
    Q_OBJECT

private:
    vesk::testing::TempDir dir;

    void openGuide(frmModemGuide& guide, const char* model)
    {
        guide.ListPath = dir.file(vesk::modem::kModemListName);
        guide.ModemID = model;
        guide.FindModem();
    }

private slots:
    void initTestCase()
    {
        vesk::testing::WriteFile(dir.file(vesk::modem::kModemListName),
            "; ACME X1|commented out|F|ME|ME|1200,N,8,1|\n"
            "ACME X1|Acme terminal|F|SM|SR|9600,N,8,1|Works well\n"
            "ACME P2|Acme stick|P|SM|ME|115200,N,8,1|Reports late\n"
            "ACME I3|Acme data stick|I|||115200,N,8,1|No AT port\n"
            "ACME Q4|Acme odd|Q|SM|SM|9600,N,8,1|\n");
    }

    void useTakesTheListedSettings()
    {
        frmModemGuide guide;
        openGuide(guide, "acme x1");
        QTest::mouseClick(guide.cmdUseSettings, Qt::LeftButton);
        QVERIFY(guide.IsModemSelected());
        QCOMPARE(guide.MessageMemory(), std::string("SM"));
        QCOMPARE(guide.ReportMemory(), std::string("SR"));
        QCOMPARE(guide.InitString(), std::string("9600,N,8,1"));
    }

    void ratingsDecideWhetherSettingsCanBeUsed()
    {
        struct Case
        {
            const char* model;
            const char* shown;
            const char* rating; // nullptr: no rating to show
            bool usable;
        };
        const Case cases[] = {
            {"acme x1", "ACME X1 - Acme terminal", "Full", true}, // in another letter case
            {"ACME P2", "ACME P2 - Acme stick", "Partial", true},
            {"ACME I3", "ACME I3 - Acme data stick", "Incompatible", false},
            {"ACME Q4", "ACME Q4 - Acme odd", "Unknown", false}, {"", "UNKNOWN MODEM", nullptr, false},
            {"NOKIA 30", "NOKIA 30", nullptr, false}, // not in the list
        };
        for (const auto& c : cases) {
            frmModemGuide guide;
            openGuide(guide, c.model);
            QCOMPARE(guide.lblID->text(), QString(c.shown));
            if (c.rating)
                QCOMPARE(guide.lblCompatibility->text(), QString(c.rating));
            QCOMPARE(guide.cmdUseSettings->isEnabled(), c.usable);
            QTest::mouseClick(guide.cmdClose, Qt::LeftButton);
            QVERIFY(!guide.IsModemSelected());
        }
        frmModemGuide unlisted;
        openGuide(unlisted, "NOKIA 30");
        QVERIFY(unlisted.lblNotes->text().startsWith("This modem has not been tested yet"));
    }
};

QTEST_MAIN(tst_frmModemGuide)
#include "tst_frmModemGuide.moc"
