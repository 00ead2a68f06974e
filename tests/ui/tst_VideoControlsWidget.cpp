// The transport bar: the position read-out, the zoom slider and its buttons.
#include "ui/VideoControlsWidget.h"

#include <QAbstractButton>
#include <QLabel>
#include <QSignalSpy>
#include <QSlider>
#include <QtTest>

using namespace TW;

class tst_VideoControlsWidget : public QObject
{
    Q_OBJECT
private slots:
    void frameToTime_data();
    void frameToTime();
    void beforeAnyDuration();
    void nullTimeRewritesOnlyTheDuration();
    void zoom();
    void buttons_data();
    void buttons();
};

void tst_VideoControlsWidget::frameToTime_data()
{
    QTest::addColumn<double>("fps");
    QTest::addColumn<int>("frame");
    QTest::addColumn<QString>("shown");
    QTest::newRow("first frame at 25") << 25.0 << 1 << "00:00:00.040";
    QTest::newRow("one hour at 25") << 25.0 << 90000 << "01:00:00.000";
    QTest::newRow("29.97 truncates") << 29.97 << 1 << "00:00:00.033";
    QTest::newRow("24 hours wrap") << 25.0 << 25 * 86400 << "00:00:00.000";
    QTest::newRow("past 24 hours") << 25.0 << 25 * 86400 + 50 << "00:00:02.000";
    QTest::newRow("largest frame does not overflow") << 25.0 << std::numeric_limits<int>::max()
                                                     << QTime(0, 0).addMSecs(int((qint64(std::numeric_limits<int>::max()) * 40) % 86400000)).toString("HH:mm:ss.zzz");
}

void tst_VideoControlsWidget::frameToTime()
{
    QFETCH(double, fps);
    QFETCH(int, frame);
    QFETCH(QString, shown);
    VideoControlsWidget controls;
    controls.setDuration(QTime(1, 2, 3, 4), fps);
    QCOMPARE(controls.durationLabel()->text(), QStringLiteral("01:02:03.004"));
    controls.setCurrentFrame(frame);
    QCOMPARE(controls.currentTimeLabel()->text(), shown);
}

void tst_VideoControlsWidget::beforeAnyDuration()
{
    VideoControlsWidget controls;
    controls.setCurrentFrame(100);
    QCOMPARE(controls.currentTimeLabel()->text(), QStringLiteral("00:00:00:000"));
    QCOMPARE(controls.durationLabel()->text(), QStringLiteral("00:00:00:000"));
}

void tst_VideoControlsWidget::nullTimeRewritesOnlyTheDuration()
{
    VideoControlsWidget controls;
    controls.setDuration(QTime(0, 1, 0), 25.0);
    controls.setCurrentTime(QTime(0, 0, 5));
    controls.durationLabel()->setText(QStringLiteral("stale"));
    controls.setCurrentTime(QTime());
    QCOMPARE(controls.currentTimeLabel()->text(), QStringLiteral("00:00:05.000"));
    QCOMPARE(controls.durationLabel()->text(), QStringLiteral("00:01:00.000"));
}

void tst_VideoControlsWidget::zoom()
{
    VideoControlsWidget controls;
    QCOMPARE(controls.zoomSlider()->value(), 1);
    QSignalSpy spy(&controls, &VideoControlsWidget::zoomChanged);
    controls.setZoom(150);
    QCOMPARE(controls.zoomSlider()->value(), 100);
    controls.setZoom(-3);
    QCOMPARE(controls.zoomSlider()->value(), 0);
    QCOMPARE(spy.count(), 0);
    for (int v = 1; v <= 3; ++v)
        controls.zoomSlider()->setValue(v);
    QCOMPARE(spy.count(), 3);
    QCOMPARE(spy.last().at(0).toInt(), 3);
}

void tst_VideoControlsWidget::buttons_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QByteArray>("signal");
    QTest::newRow("play") << "playPushButton" << QByteArray(SIGNAL(playVideo()));
    QTest::newRow("pause") << "pausePushButton" << QByteArray(SIGNAL(pauseVideo()));
    QTest::newRow("stop") << "stopPushButton" << QByteArray(SIGNAL(stopVideo()));
    QTest::newRow("-1 s") << "ffm1ToolButton" << QByteArray(SIGNAL(rewindByOneSec()));
    QTest::newRow("-0.25 s") << "ffmp25ToolButton" << QByteArray(SIGNAL(rewindByQuarterSec()));
    QTest::newRow("-0.1 s") << "ffmp1ToolButton" << QByteArray(SIGNAL(rewindByTenthSec()));
    QTest::newRow("-1 frame") << "ffmFToolButton" << QByteArray(SIGNAL(rewindByFrame()));
    QTest::newRow("+1 frame") << "ffFToolButton" << QByteArray(SIGNAL(advanceByFrame()));
    QTest::newRow("+0.1 s") << "ffp1ToolButton" << QByteArray(SIGNAL(advanceByTenthSec()));
    QTest::newRow("+0.25 s") << "ffp25ToolButton" << QByteArray(SIGNAL(advanceByQuarterSec()));
    QTest::newRow("+1 s") << "ff1ToolButton" << QByteArray(SIGNAL(advanceByOneSec()));
}

void tst_VideoControlsWidget::buttons()
{
    QFETCH(QString, button);
    QFETCH(QByteArray, signal);
    VideoControlsWidget controls;
    QSignalSpy spy(&controls, signal.constData());
    QAbstractButton *b = controls.button(button);
    QVERIFY2(b, qPrintable(button));
    b->click();
    QCOMPARE(spy.count(), 1);
}

QTEST_MAIN(tst_VideoControlsWidget)
#include "tst_VideoControlsWidget.moc"
