// The regular-expression tester on the console's own matcher.
#ifndef Q_MOC_RUN
#include "ui/frmRegExTester.h"
#endif

#include "WindowTesting.h"

using vesk::ui::frmRegExTester;

class tst_frmRegExTester : public QObject
{
    Q_OBJECT

private slots:
    void showsWhatThePatternMatches()
    {
        struct Case
        {
            const char* pattern;
            const char* sample;
            const char* result;
        };
        const Case cases[] = {
            {"", "abc", ""}, // an empty pattern tests nothing
            {"^a", "abc", "MATCHED\n'a' at index 0"},
            {"B+", "abbc", "MATCHED\n'bb' at index 1"}, // letter case is ignored
            {"c", "ééc", "MATCHED\n'c' at index 2"}, // counted in characters
            {"z", "abc", "NO MATCH"}, {"(unclosed", "(unclosed", "NO MATCH"}, // does not compile
        };
        frmRegExTester tester;
        for (const auto& c : cases) {
            tester.txtRegEx->setText(c.pattern);
            tester.txtSample->setText(c.sample);
            QTest::mouseClick(tester.cmdTest, Qt::LeftButton);
            QCOMPARE(tester.lblResult->text(), QString(c.result));
        }
    }

    void onlyUseAcceptsTheExpression()
    {
        frmRegExTester closed;
        closed.SetExpression("^\\+44");
        closed.txtRegEx->setText("^\\+49");
        QTest::mouseClick(closed.cmdClose, Qt::LeftButton);
        QVERIFY(closed.Expression().isEmpty());

        frmRegExTester used;
        used.SetExpression("^\\+44");
        QCOMPARE(used.txtRegEx->text(), QString("^\\+44"));
        used.txtRegEx->setText("^\\+49");
        QTest::mouseClick(used.cmdUse, Qt::LeftButton);
        QCOMPARE(used.Expression(), QString("^\\+49"));
        QVERIFY(used.isHidden());
    }
};

QTEST_MAIN(tst_frmRegExTester)
#include "tst_frmRegExTester.moc"
