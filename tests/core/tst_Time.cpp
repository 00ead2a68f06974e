// Time values: frame conversions at the project frame rate, the two stored
// forms, and the guard against a broken project frame rate.
#include "core/OptionsHolder.h"
#include "core/Singleton.h"
#include "core/Time.h"

#include "TestEnv.h"

#include <QBuffer>
#include <QDataStream>
#include <QDomDocument>
#include <QTime>
#include <QtTest>
#include <cmath>
#include <limits>

using TW::Time;

class TimeTest : public QObject
{
    Q_OBJECT

    static void setFps(float fps) { TW::Singleton<TW::OptionsHolder>::instance()->m_fps = fps; }

private slots:
    void initTestCase() { TW::test::isolateHome(); }
    void cleanup() { setFps(25.0f); }

    void toFrames_data()
    {
        QTest::addColumn<float>("fps");
        QTest::addColumn<qint64>("micros");
        QTest::addColumn<qint64>("truncated");
        QTest::addColumn<qint64>("roundedUp");
        QTest::newRow("25: one frame") << 25.0f << qint64(40000) << qint64(1) << qint64(1);
        QTest::newRow("25: just under") << 25.0f << qint64(39999) << qint64(0) << qint64(1);
        QTest::newRow("25: just over") << 25.0f << qint64(40001) << qint64(1) << qint64(2);
        QTest::newRow("25: minus one frame") << 25.0f << qint64(-40000) << qint64(-1) << qint64(-1);
        QTest::newRow("25: minus 1 us") << 25.0f << qint64(-1) << qint64(0) << qint64(0);
        QTest::newRow("25: zero") << 25.0f << qint64(0) << qint64(0) << qint64(0);
        QTest::newRow("30: frame 1 back") << 30.0f << qint64(33000) << qint64(0) << qint64(1);
        QTest::newRow("30: frame 3 back") << 30.0f << qint64(100000) << qint64(3) << qint64(3);
        QTest::newRow("30: frame 1000 back") << 30.0f << qint64(33333000) << qint64(999) << qint64(1000);
        QTest::newRow("29.97: frame 100 back") << 29.97f << qint64(3336000) << qint64(99) << qint64(100);
        QTest::newRow("10 hours at 25") << 25.0f << qint64(36000000000LL) << qint64(900000) << qint64(900000);
        // Beyond the 64-bit range: bounded, not undefined.
        QTest::newRow("largest time at 1e30") << 1e30f << std::numeric_limits<qint64>::max()
                                               << qint64(9200000000000000000LL) << qint64(9200000000000000000LL);
        QTest::newRow("smallest time at 1e30") << 1e30f << std::numeric_limits<qint64>::min()
                                                << qint64(-9200000000000000000LL) << qint64(-9200000000000000000LL);
    }
    void toFrames()
    {
        QFETCH(float, fps);
        QFETCH(qint64, micros);
        QFETCH(qint64, truncated);
        QFETCH(qint64, roundedUp);
        setFps(fps);
        QCOMPARE(Time(micros).toFrameUnits(false), truncated);
        QCOMPARE(Time(micros).toFrameUnits(true), roundedUp);
    }

    void fromFrames_data()
    {
        QTest::addColumn<float>("fps");
        QTest::addColumn<qint64>("frame");
        QTest::addColumn<qint64>("micros");
        QTest::newRow("25: 1") << 25.0f << qint64(1) << qint64(40000);
        QTest::newRow("25: -1") << 25.0f << qint64(-1) << qint64(-40000);
        QTest::newRow("30: 1") << 30.0f << qint64(1) << qint64(33000);
        QTest::newRow("30: 3") << 30.0f << qint64(3) << qint64(100000);
        QTest::newRow("30: 1000") << 30.0f << qint64(1000) << qint64(33333000);
        QTest::newRow("29.97: 100") << 29.97f << qint64(100) << qint64(3336000);
        // A broken project rate counts as 25 instead of dividing by zero.
        QTest::newRow("zero fps") << 0.0f << qint64(1) << qint64(40000);
        QTest::newRow("negative fps") << -30.0f << qint64(1) << qint64(40000);
        QTest::newRow("NaN fps") << std::numeric_limits<float>::quiet_NaN() << qint64(1) << qint64(40000);
        QTest::newRow("infinite fps") << std::numeric_limits<float>::infinity() << qint64(1) << qint64(40000);
        // Frames beyond any time: bounded to whole milliseconds that fit.
        QTest::newRow("largest frame at 1e-6 fps") << 1e-6f << std::numeric_limits<qint64>::max()
                                                    << std::numeric_limits<qint64>::max() / 1000 * 1000;
        QTest::newRow("smallest frame at 1e-6 fps") << 1e-6f << std::numeric_limits<qint64>::min()
                                                     << -(std::numeric_limits<qint64>::max() / 1000) * 1000;
    }
    void fromFrames()
    {
        QFETCH(float, fps);
        QFETCH(qint64, frame);
        QFETCH(qint64, micros);
        setFps(fps);
        QCOMPARE(Time::fromFrameUnits(frame).unitCount, micros);
        // The guarded rate is used both ways.
        if (!std::isfinite(fps) || fps <= 0.0f)
            QCOMPARE(Time(80000).toFrameUnits(false), qint64(2));
    }

    void arithmetic()
    {
        const Time a(1500), b(500);
        QCOMPARE((a + b).unitCount, qint64(2000));
        QCOMPARE((a - b).unitCount, qint64(1000));
        QVERIFY(b < a && a > b && a != b && a == Time(1500));
        QCOMPARE(Time().unitCount, qint64(0));
    }

    void xml_data()
    {
        QTest::addColumn<qint64>("units");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << qint64(0) << "0";
        QTest::newRow("negative") << qint64(-5) << "-5";
        QTest::newRow("large") << qint64(9000000000000LL) << "9000000000000";
    }
    void xml()
    {
        QFETCH(qint64, units);
        QFETCH(QString, text);
        QDomDocument doc;
        const QDomElement e = Time(units).toDomElement(doc, "start");
        QCOMPARE(e.tagName(), QString("start"));
        QCOMPARE(e.attributes().count(), 1);
        QCOMPARE(e.attribute("units"), text);
        QVERIFY(e.parentNode().isNull());
        Time back(42);
        back.fromDomElement(e);
        QCOMPARE(back.unitCount, units);
    }

    void xmlBadInput()
    {
        QDomDocument doc;
        QDomElement e = doc.createElement("end");
        Time t(1234);
        t.fromDomElement(e); // no attribute: unchanged
        QCOMPARE(t.unitCount, qint64(1234));
        e.setAttribute("units", "abc");
        t.fromDomElement(e); // not a number: 0
        QCOMPARE(t.unitCount, qint64(0));
    }

    void stream()
    {
        QByteArray bytes;
        {
            QDataStream out(&bytes, QIODevice::WriteOnly);
            out << Time(1000000) << Time(-7);
        }
        QCOMPARE(bytes.left(8), QByteArray::fromHex("00000000000F4240"));
        QDataStream in(bytes);
        Time a, b;
        in >> a >> b;
        QCOMPARE(a.unitCount, qint64(1000000));
        QCOMPARE(b.unitCount, qint64(-7));
        QCOMPARE(in.status(), QDataStream::Ok);

        Time c;
        in >> c; // nothing left
        QCOMPARE(in.status(), QDataStream::ReadPastEnd);
    }

    void qtime()
    {
        QCOMPARE(TW::fromQTime(QTime(1, 2, 3, 4)), qint64(3723004));
        QCOMPARE(TW::fromQTime(QTime(0, 0)), qint64(0));
        QCOMPARE(TW::fromQTime(QTime(23, 59, 59, 999)), qint64(86399999));
    }
};

QTEST_GUILESS_MAIN(TimeTest)
#include "tst_Time.moc"
