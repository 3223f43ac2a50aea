// The charge notes and their formatting.
#ifndef Q_MOC_RUN
#include "ui/ChargeWarnings.h"
#include "ui/frmCharges.h"
#endif

#include "WindowTesting.h"

using namespace vesk::ui;

class tst_frmCharges : public QObject
{
    Q_OBJECT

private slots:
    void formatsParagraphsLinesAndTabs()
    {
        QCOMPARE(FormatChargeNote("plain text, no sequences"), QString("plain text, no sequences"));
        QCOMPARE(FormatChargeNote("one\\ptwo\\nthree\\tfour"), QString("one\r\n\r\ntwo\r\nthree    four"));
        QCOMPARE(FormatChargeNote("C:\\data"), QString("C:\\data")); // a lone backslash stays
    }

    void noteShowsBothParagraphsAndClosesOnOK()
    {
        frmCharges note;
        note.SetInfo(kChargeNoteReply);
        note.show();
        // Both paragraphs, split where the stored note marks it.
        QVERIFY(note.lblInfo->text().contains("network operator.\n\nThe reply will be sent"));
        QTest::mouseClick(note.cmdOK, Qt::LeftButton);
        QVERIFY(note.isHidden());
    }
};

QTEST_MAIN(tst_frmCharges)
#include "tst_frmCharges.moc"
