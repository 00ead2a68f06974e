#include "dialogs/BookmarkEditDialog.h"

#include "core/OptionsHolder.h"
#include "core/Singleton.h"
#include "TestEnv.h"

#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>
#include <QTimeEdit>
#include <QToolTip>

#include <limits>

using TW::BookmarkEditDialog;
using TW::VideoMarker;
using TW::VideoMarkerPtr;

namespace {

VideoMarkerPtr makeBookmark(const QString& name, unsigned long frame)
{
    auto bookmark = VideoMarkerPtr::create(frame);
    bookmark->setName(name);
    return bookmark;
}

void setProjectFps(float fps)
{
    TW::Singleton<TW::OptionsHolder>::instance()->m_originalfps = fps;
}

struct Fields
{
    explicit Fields(BookmarkEditDialog& dialog)
        : name(dialog.findChild<QLineEdit*>()),
          frame(dialog.findChild<QSpinBox*>()),
          time(dialog.findChild<QTimeEdit*>())
    {
        for (QPushButton* button : dialog.findChildren<QPushButton*>()) {
            if (button->text() == QLatin1String("OK"))
                ok = button;
            else if (button->text() == QLatin1String("Cancel"))
                cancel = button;
        }
    }
    QLineEdit* name;
    QSpinBox* frame;
    QTimeEdit* time;
    QPushButton* ok = nullptr;
    QPushButton* cancel = nullptr;
};

} // namespace

class BookmarkEditDialogTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { TW::test::isolateHome(); }

    void init()
    {
        setProjectFps(25.0f);
        BookmarkEditDialog::setDurationSource({});
    }

    void filledFromTheBookmark()
    {
        BookmarkEditDialog::setDurationSource([] { return qint64(60500000); }); // 60.5 s
        const VideoMarkerPtr bookmark = makeBookmark("M1", 30);
        BookmarkEditDialog dialog(nullptr, bookmark, 1512, {bookmark});
        Fields f(dialog);
        QVERIFY(f.name && f.frame && f.time && f.ok && f.cancel);
        QCOMPARE(f.name->text(), QStringLiteral("M1"));
        QCOMPARE(f.frame->value(), 30);
        QCOMPARE(f.frame->minimum(), 0);
        QCOMPARE(f.frame->maximum(), 1512);
        QCOMPARE(f.time->displayFormat(), QStringLiteral("HH:mm:ss.zzz"));
        QCOMPARE(f.time->time(), QTime(0, 0, 1, 200));
        QCOMPARE(f.time->minimumTime(), QTime(0, 0));
        QCOMPARE(f.time->maximumTime(), QTime(0, 1, 0, 500));
        QVERIFY(dialog.isSizeGripEnabled());
        QVERIFY(!(dialog.windowFlags() & Qt::WindowContextHelpButtonHint));
        QVERIFY(!dialog.getUpdatedMarker());
    }

    // The frame and time fields follow each other.
    void fieldsFollowEachOther_data()
    {
        QTest::addColumn<float>("fps");
        QTest::addColumn<int>("typedFrame"); // -1: a time is typed instead
        QTest::addColumn<QTime>("typedTime");
        QTest::addColumn<int>("frame");
        QTest::addColumn<QTime>("time");

        QTest::newRow("frame 30 at 25 fps") << 25.0f << 30 << QTime() << 30 << QTime(0, 0, 1, 200);
        QTest::newRow("2 s at 25 fps") << 25.0f << -1 << QTime(0, 0, 2) << 50 << QTime(0, 0, 2);
        QTest::newRow("frame 1 at 29.97 fps") << 29.97f << 1 << QTime() << 1 << QTime(0, 0, 0, 33);
        QTest::newRow("33 ms at 29.97 fps") << 29.97f << -1 << QTime(0, 0, 0, 33) << 0
                                            << QTime(0, 0, 0, 33);
        QTest::newRow("no frame rate counts as 25") << 0.0f << 50 << QTime() << 50 << QTime(0, 0, 2);
    }

    void fieldsFollowEachOther()
    {
        QFETCH(float, fps);
        QFETCH(int, typedFrame);
        QFETCH(QTime, typedTime);
        QFETCH(int, frame);
        QFETCH(QTime, time);

        setProjectFps(fps);
        const VideoMarkerPtr bookmark = makeBookmark("M1", 7);
        BookmarkEditDialog dialog(nullptr, bookmark, 5000, {bookmark});
        Fields f(dialog);
        if (typedFrame >= 0)
            f.frame->setValue(typedFrame);
        else
            f.time->setTime(typedTime);
        QCOMPARE(f.frame->value(), frame);
        QCOMPARE(f.time->time(), time);
    }

    void okAndValidation_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("complaint");
        QTest::newRow("own name") << "M1" << "";
        QTest::newRow("new name") << "Intro" << "";
        QTest::newRow("letter case differs") << "chorus" << "";
        QTest::newRow("empty") << "" << "Please enter the name.";
        QTest::newRow("another bookmark's name") << "Chorus" << "Marker with this name already exists.";
    }

    void okAndValidation()
    {
        QFETCH(QString, name);
        QFETCH(QString, complaint);
        const VideoMarkerPtr bookmark = makeBookmark("M1", 30);
        const VideoMarkerPtr other = makeBookmark("Chorus", 30); // two may share a frame
        BookmarkEditDialog dialog(nullptr, bookmark, 1000, {other, bookmark});
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        Fields f(dialog);
        f.name->setText(name);
        f.frame->setValue(75);
        QToolTip::hideText();
        f.ok->click();

        if (complaint.isEmpty()) {
            QCOMPARE(dialog.result(), int(QDialog::Accepted));
            const VideoMarkerPtr updated = dialog.getUpdatedMarker();
            QVERIFY(updated);
            QCOMPARE(updated->getName(), name);
            QCOMPARE(updated->getFrame(), quint64(75));
            QVERIFY(updated->getID() != bookmark->getID());
        } else {
            QVERIFY(dialog.isVisible());
            QCOMPARE(QToolTip::text(), complaint);
            QVERIFY(!dialog.getUpdatedMarker());
        }
        QCOMPARE(bookmark->getName(), QStringLiteral("M1"));
        QCOMPARE(bookmark->getFrame(), quint64(30));
    }

    void cancelGivesNothing()
    {
        const VideoMarkerPtr bookmark = makeBookmark("M1", 30);
        BookmarkEditDialog dialog(nullptr, bookmark, 1000, {bookmark});
        Fields f(dialog);
        f.name->setText("Other");
        f.cancel->click();
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QVERIFY(!dialog.getUpdatedMarker());
    }

    // Fields clamp to their ranges; a day or more of media stops the time at
    // the last millisecond of the day.
    void rangesClamp()
    {
        BookmarkEditDialog::setDurationSource([] { return qint64(10) * 1000000; });
        const VideoMarkerPtr bookmark = makeBookmark("M1", 900);
        BookmarkEditDialog dialog(nullptr, bookmark, 250, {bookmark});
        Fields f(dialog);
        QCOMPARE(f.frame->value(), 250);
        f.time->setTime(QTime(0, 0, 30));
        QCOMPARE(f.time->time(), QTime(0, 0, 10));
        QCOMPARE(f.frame->value(), 250);

        BookmarkEditDialog::setDurationSource([] { return qint64(30) * 3600 * 1000000; });
        BookmarkEditDialog longMedia(nullptr, bookmark, 30 * 3600 * 25, {bookmark});
        QCOMPARE(Fields(longMedia).time->maximumTime(), QTime(23, 59, 59, 999));
    }
};

QTEST_MAIN(BookmarkEditDialogTest)
#include "tst_BookmarkEditDialog.moc"
