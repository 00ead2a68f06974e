#include "dialogs/EditLoopDialog.h"

#include "TestEnv.h"

#include <QDoubleSpinBox>
#include <QIntValidator>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimeEdit>
#include <QToolTip>

using TW::EditLoopDialog;
using TW::VideoLoop;
using TW::VideoLoopPtr;

namespace {

VideoLoopPtr makeLoop(const QString& name, int start, int end)
{
    auto loop = VideoLoopPtr::create();
    loop->setName(name);
    loop->setStartFrame(start);
    loop->setEndFrame(end);
    return loop;
}

// The dialog's fields, found by their names in the form.
struct Fields
{
    explicit Fields(EditLoopDialog& dialog)
        : name(dialog.findChild<QLineEdit*>("lineEdit_3")),
          start(dialog.findChild<QTimeEdit*>("timeEdit")),
          end(dialog.findChild<QTimeEdit*>("timeEdit_2")),
          pitch(dialog.findChild<QDoubleSpinBox*>("doubleSpinBox")),
          tempo(dialog.findChild<QDoubleSpinBox*>("doubleSpinBox_2")),
          count(dialog.findChild<QLineEdit*>("lineEdit_6")),
          delay(dialog.findChild<QLineEdit*>("lineEdit_7")),
          ok(dialog.findChild<QPushButton*>("okButton")),
          cancel(dialog.findChild<QPushButton*>("cancelButton"))
    {
    }
    QLineEdit* name;
    QTimeEdit* start;
    QTimeEdit* end;
    QDoubleSpinBox* pitch;
    QDoubleSpinBox* tempo;
    QLineEdit* count;
    QLineEdit* delay;
    QPushButton* ok;
    QPushButton* cancel;
};

bool accepts(const QLineEdit* field, const QString& text)
{
    QString copy = text;
    int pos = 0;
    return field->validator()->validate(copy, pos) == QValidator::Acceptable;
}

} // namespace

class EditLoopDialogTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { TW::test::isolateHome(); }

    void formAndRanges()
    {
        const VideoLoopPtr loop = makeLoop("L1", 25, 50);
        loop->setPitch(-3.5f);
        loop->setTempo(75.f);
        loop->setLoopCount(4);
        loop->setDelay(2);
        // 100 s at 25 fps.
        EditLoopDialog dialog(loop, 2500, {loop}, 25.0);
        Fields f(dialog);
        QVERIFY(f.name && f.start && f.end && f.pitch && f.tempo && f.count && f.delay && f.ok);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Edit loop"));
        QVERIFY(!(dialog.windowFlags() & Qt::WindowContextHelpButtonHint));

        QCOMPARE(f.name->text(), QStringLiteral("L1"));
        QCOMPARE(f.start->time(), QTime(0, 0, 1));
        QCOMPARE(f.end->time(), QTime(0, 0, 2));
        QCOMPARE(f.start->displayFormat(), QStringLiteral("HH:mm:ss.zzz"));
        QCOMPARE(f.pitch->value(), -3.5);
        QCOMPARE(f.tempo->value(), 75.0);
        QCOMPARE(f.count->text(), QStringLiteral("4"));
        QCOMPARE(f.delay->text(), QStringLiteral("2"));

        QCOMPARE(f.pitch->minimum(), -12.0);
        QCOMPARE(f.pitch->maximum(), 12.0);
        QCOMPARE(f.tempo->minimum(), 25.0); // the product's tempo range
        QCOMPARE(f.tempo->maximum(), 200.0);
        QCOMPARE(f.tempo->decimals(), 2);

        QVERIFY(accepts(f.count, "0"));
        QVERIFY(accepts(f.count, "999"));
        QVERIFY(!accepts(f.count, "1000"));
        QVERIFY(!accepts(f.count, "-1"));
        // The delay field takes up to the media's length in ms, less one.
        QVERIFY(accepts(f.delay, "99999"));
        QVERIFY(!accepts(f.delay, "100000"));

        // The only loop: from the beginning to the last frame.
        QCOMPARE(f.start->minimumTime(), QTime(0, 0));
        QCOMPARE(f.end->maximumTime(), QTime(0, 1, 40));
    }

    void boundsFromNeighbours_data()
    {
        QTest::addColumn<QString>("others"); // start-end of the other loops
        QTest::addColumn<QTime>("lowest");
        QTest::addColumn<QTime>("highest");
        QTest::newRow("neighbour on the right at 500")
            << "500-600" << QTime(0, 0) << QTime(0, 0, 19, 960);
        QTest::newRow("neighbour on the left ends at 99")
            << "10-99" << QTime(0, 0, 4) << QTime(0, 1, 40);
        QTest::newRow("both sides, nearest ones count")
            << "0-20,30-99,500-600,700-800" << QTime(0, 0, 4) << QTime(0, 0, 19, 960);
        QTest::newRow("same start bounds nothing")
            << "200-300" << QTime(0, 0) << QTime(0, 1, 40);
    }

    void boundsFromNeighbours()
    {
        QFETCH(QString, others);
        QFETCH(QTime, lowest);
        QFETCH(QTime, highest);
        const VideoLoopPtr loop = makeLoop("Edited", 200, 300);
        QVector<VideoLoopPtr> loops{loop};
        int n = 0;
        for (const QString& span : others.split(','))
            loops << makeLoop(QString("O%1").arg(++n), span.section('-', 0, 0).toInt(),
                              span.section('-', 1, 1).toInt());
        EditLoopDialog dialog(loop, 2500, loops, 25.0);
        Fields f(dialog);
        for (QTimeEdit* edit : {f.start, f.end}) {
            QCOMPARE(edit->minimumTime(), lowest);
            QCOMPARE(edit->maximumTime(), highest);
        }
        f.end->setTime(QTime(0, 5));
        QCOMPARE(f.end->time(), highest);
    }

    void validation_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QTime>("start");
        QTest::addColumn<QTime>("end");
        QTest::addColumn<QString>("complaint"); // empty: accepted

        QTest::newRow("own name kept") << "L1" << QTime(0, 0, 1) << QTime(0, 0, 2) << "";
        QTest::newRow("empty name") << "" << QTime(0, 0, 1) << QTime(0, 0, 2)
                                    << "Please enter the name.";
        QTest::newRow("start equals end") << "L1" << QTime(0, 0, 2) << QTime(0, 0, 2)
                                          << "Loop's start must be earlier than loop's end.";
        QTest::newRow("start after end") << "L1" << QTime(0, 0, 3) << QTime(0, 0, 2)
                                         << "Loop's start must be earlier than loop's end.";
        QTest::newRow("another loop's name") << "Chorus" << QTime(0, 0, 1) << QTime(0, 0, 2)
                                             << "Loop with this name already exists.";
        QTest::newRow("differs in letter case") << "chorus" << QTime(0, 0, 1) << QTime(0, 0, 2) << "";
    }

    void validation()
    {
        QFETCH(QString, name);
        QFETCH(QTime, start);
        QFETCH(QTime, end);
        QFETCH(QString, complaint);

        const VideoLoopPtr loop = makeLoop("L1", 25, 50);
        const VideoLoopPtr other = makeLoop("Chorus", 2000, 2100);
        EditLoopDialog dialog(loop, 2500, {other, loop}, 25.0);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QSignalSpy finished(&dialog, &QDialog::finished);
        Fields f(dialog);
        f.name->setText(name);
        f.start->setTime(start);
        f.end->setTime(end);
        QToolTip::hideText();
        f.ok->click();

        if (complaint.isEmpty()) {
            QCOMPARE(finished.count(), 1);
            QCOMPARE(dialog.result(), int(QDialog::Accepted));
            QCOMPARE(dialog.getUpdatedLoop()->getName(), name);
        } else {
            QCOMPARE(finished.count(), 0);
            QVERIFY(dialog.isVisible());
            QCOMPARE(QToolTip::text(), complaint);
        }
        QCOMPARE(loop->getName(), QStringLiteral("L1")); // never changed
    }

    // OK without touching a field keeps that value as it was: positions are
    // not truncated through the time display, and values without a field
    // (volume) or shown empty stay too.
    void untouchedFieldsKeepTheirValues()
    {
        const VideoLoopPtr loop = makeLoop("L1", 1, 2);
        loop->setTempo(75.555f);
        loop->setPitch(0.125f);
        loop->setVolume(40.0);
        loop->setLoopCount(-1);
        loop->setDelay(3);
        EditLoopDialog dialog(loop, 2997, {loop}, 29.97);
        Fields f(dialog);
        QCOMPARE(f.start->time(), QTime(0, 0, 0, 33));
        QCOMPARE(f.count->text(), QString());
        f.ok->click();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));

        const VideoLoopPtr updated = dialog.getUpdatedLoop();
        QVERIFY(updated != loop);
        QVERIFY(updated->getID() != loop->getID());
        QCOMPARE(updated->getStartFrame(), 1);
        QCOMPARE(updated->getEndFrame(), 2);
        QCOMPARE(updated->getTempo(), 75.555f);
        QCOMPARE(updated->getPitch(), 0.125f);
        QCOMPARE(updated->getVolume(), 40.0);
        QCOMPARE(updated->getLoopCount(), -1);
        QCOMPARE(updated->getDelay(), 3);
    }

    void changedFieldsTakeTheirValues()
    {
        const VideoLoopPtr loop = makeLoop("L1", 25, 50);
        loop->setLoopCount(5);
        loop->setDelay(2);
        loop->setVolume(60.0);
        EditLoopDialog dialog(loop, 2500, {loop}, 25.0);
        Fields f(dialog);
        f.name->setText("Bridge");
        f.start->setTime(QTime(0, 0, 2, 40));
        f.end->setTime(QTime(0, 0, 10));
        f.pitch->setValue(2.0);
        f.tempo->setValue(150.0);
        f.count->clear(); // emptied: the default of a new loop
        f.delay->clear();
        f.ok->click();

        const VideoLoopPtr updated = dialog.getUpdatedLoop();
        QCOMPARE(updated->getName(), QStringLiteral("Bridge"));
        QCOMPARE(updated->getStartFrame(), 51);
        QCOMPARE(updated->getEndFrame(), 250);
        QCOMPARE(updated->getPitch(), 2.0f);
        QCOMPARE(updated->getTempo(), 150.0f);
        QCOMPARE(updated->getLoopCount(), 999);
        QCOMPARE(updated->getDelay(), -1);
        QCOMPARE(updated->getVolume(), 60.0);
        QCOMPARE(loop->getStartFrame(), 25);

        EditLoopDialog again(loop, 2500, {loop}, 25.0);
        Fields g(again);
        g.count->setText("0");
        g.delay->setText("7");
        g.ok->click();
        QCOMPARE(again.getUpdatedLoop()->getLoopCount(), 0);
        QCOMPARE(again.getUpdatedLoop()->getDelay(), 7);
    }

    void cancelLeavesEverything()
    {
        const VideoLoopPtr loop = makeLoop("L1", 25, 50);
        EditLoopDialog dialog(loop, 2500, {loop}, 25.0);
        Fields f(dialog);
        f.name->setText("Other");
        f.cancel->click();
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QCOMPARE(loop->getName(), QStringLiteral("L1"));
    }

    // No usable frame rate, or media of a day and more, still give a
    // working dialog.
    void degenerateMedia()
    {
        const VideoLoopPtr loop = makeLoop("L1", 0, 10);
        EditLoopDialog noRate(loop, 0, {loop}, 0.0);
        Fields f(noRate);
        QCOMPARE(f.end->maximumTime(), QTime(0, 0));
        QVERIFY(accepts(f.delay, "0"));

        const VideoLoopPtr late = makeLoop("L2", 25 * 3600 * 30, 25 * 3600 * 30 + 100);
        EditLoopDialog longMedia(late, 25 * 3600 * 30, {late}, 30.0);
        Fields g(longMedia);
        QCOMPARE(g.end->maximumTime(), QTime(23, 59, 59, 999));
        g.ok->click(); // the untouched positions are kept
        QCOMPARE(longMedia.getUpdatedLoop()->getStartFrame(), 25 * 3600 * 30);
    }
};

QTEST_MAIN(EditLoopDialogTest)
#include "tst_EditLoopDialog.moc"
