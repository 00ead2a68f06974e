#include "ui/RulerGeometry.h"
#include "ui/RulerScale.h"

#include <QStyle>
#include <QTest>

#include <algorithm>
#include <climits>
#include <limits>

using TW::RulerGeometry;
using TW::RulerScale;

class RulerScaleTest : public QObject
{
    Q_OBJECT

private slots:
    // Where the numbers are small the mapping agrees with the slider
    // arithmetic of the widget style, rounding included.
    void geometryAgreesWithStyleOnSmallValues_data()
    {
        QTest::addColumn<int>("range");
        QTest::addColumn<int>("span");
        QTest::newRow("more frames than pixels") << 1000 << 333;
        QTest::newRow("more pixels than frames") << 97 << 1000;
        QTest::newRow("equal") << 500 << 500;
        QTest::newRow("no media range") << 10000 << 250;
    }

    void geometryAgreesWithStyleOnSmallValues()
    {
        QFETCH(int, range);
        QFETCH(int, span);
        for (int value = -3; value <= range + 3; ++value) {
            QCOMPARE(RulerGeometry::positionFromValue(range, value, span),
                     QStyle::sliderPositionFromValue(0, range, value, span, false));
        }
        for (int pos = -3; pos <= span + 3; ++pos) {
            QCOMPARE(RulerGeometry::valueFromPosition(range, pos, span),
                     QStyle::sliderValueFromPosition(0, range, pos, span, false));
        }
    }

    // A timeline zoomed in on long media: products of frames and pixels
    // pass 32 bits, and the last frame still lands on the end of the span.
    void geometryOfWideTimelines_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("frames");
        QTest::newRow("one hour at 30 fps, widest widget") << 16777215 << 108000;
        QTest::newRow("two hours at 60 fps, widest widget") << 16777215 << 432000;
        QTest::newRow("ten hours at 25 fps") << 8000000 << 900000;
        QTest::newRow("half a second at 30 fps, widest widget") << 16777215 << 15;
    }

    void geometryOfWideTimelines()
    {
        QFETCH(int, width);
        QFETCH(int, frames);
        const RulerGeometry geometry = RulerGeometry::make(60, width, 4, frames);
        QCOMPARE(geometry.span, width / 4);
        QCOMPARE(geometry.xOfFrame(0), 60);
        QCOMPARE(geometry.xOfFrame(frames), 60 + geometry.span);
        QCOMPARE(geometry.xOfFrame(frames + 100), 60 + geometry.span);

        const double pixelsPerFrame = double(geometry.span) / frames;
        int previous = -1;
        for (int frame = 0; frame <= frames; frame += qMax(1, frames / 997)) {
            const int x = geometry.xOfFrame(frame);
            QVERIFY(x >= previous);
            QVERIFY(qAbs(x - (60 + frame * pixelsPerFrame)) <= 0.5 + 1e-6);
            QCOMPARE(geometry.frameAt(x), frame);
            previous = x;
        }
        QCOMPARE(geometry.frameAt(0), 0);
        QCOMPARE(geometry.frameAt(INT_MAX), frames);
    }

    void geometryWithoutMedia()
    {
        const RulerGeometry geometry = RulerGeometry::make(60, 1000, 1, 0);
        QCOMPARE(geometry.range, 10000);
        QCOMPARE(geometry.xOfFrame(5000), 560);
        QCOMPARE(geometry.frameAt(560), 5000);
        QVERIFY(geometry.isOnRuler(60));
        QVERIFY(geometry.isOnRuler(1060));
        QVERIFY(!geometry.isOnRuler(59));
        QVERIFY(!geometry.isOnRuler(1061));
        // A space factor below 1 counts as 1; an empty ruler has no span.
        QCOMPARE(RulerGeometry::make(60, 1060, 0, 100).span, 1060);
        QCOMPARE(RulerGeometry::make(60, 0, 4, 100).xOfFrame(50), 60);
    }

    void labels_data()
    {
        QTest::addColumn<qint64>("msecs");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << qint64(0) << "00:00:00.000";
        QTest::newRow("one frame at 29.97") << qint64(33) << "00:00:00.033";
        QTest::newRow("an hour and a bit") << qint64(3723004) << "01:02:03.004";
        QTest::newRow("a day wraps") << qint64(86400000 + 1500) << "00:00:01.500";
    }

    void labels()
    {
        QFETCH(qint64, msecs);
        QFETCH(QString, text);
        QCOMPARE(RulerScale::label(msecs), text);
    }

    // The scale at several widths and zooms: labels start at 0 on the left
    // offset, stand where their time is, never crowd, and minor ticks fall
    // between them.
    void scaleAtWidthsAndZooms_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("spaceFactor");
        QTest::addColumn<double>("fps");
        QTest::addColumn<int>("msecs"); // media length

        QTest::newRow("unzoomed, 1 min, 25 fps") << 4000 << 4 << 25.0 << 60000;
        QTest::newRow("zoomed 10x, 1 min, 25 fps") << 40000 << 4 << 25.0 << 60000;
        QTest::newRow("narrow, 1 min, 29.97 fps") << 1200 << 4 << 29.97 << 60000;
        QTest::newRow("unzoomed, 2 h, 30 fps") << 4000 << 4 << 30.0 << 7200000;
        QTest::newRow("widest, 2 h, 30 fps") << 16777215 << 4 << 30.0 << 7200000;
        QTest::newRow("half a second, unzoomed") << 4000 << 4 << 30.0 << 500;
        QTest::newRow("half a second, widest") << 16777215 << 4 << 30.0 << 500;
        QTest::newRow("factor 1, 10 s, 60 fps") << 1500 << 1 << 60.0 << 10000;
    }

    void scaleAtWidthsAndZooms()
    {
        QFETCH(int, width);
        QFETCH(int, spaceFactor);
        QFETCH(double, fps);
        QFETCH(int, msecs);
        const int labelWidth = 80;
        const int frames = int(msecs * fps / 1000.0);
        const RulerGeometry geometry = RulerGeometry::make(60, width, spaceFactor, frames);

        // A visible stretch at the start and one in the middle of the ruler.
        const int middle = 60 + geometry.span / 2;
        for (const int left : {0, middle}) {
            const int right = left + 2000;
            const QVector<RulerScale::Tick> ticks =
                RulerScale::ticks(geometry, fps, labelWidth, left, right);
            QVERIFY(!ticks.isEmpty());
            QVERIFY(ticks.first().major);
            QVERIFY(ticks.first().x <= qMax(left, 60));
            if (left == 0) {
                QCOMPARE(ticks.first().x, 60);
                QCOMPARE(ticks.first().msecs, qint64(0));
            }

            int previousMajor = INT_MIN;
            qint64 previousTime = -1;
            int previousX = INT_MIN;
            for (const RulerScale::Tick& tick : ticks) {
                QVERIFY(tick.x > previousX);
                QVERIFY(tick.x <= right);
                previousX = tick.x;
                if (!tick.major)
                    continue;
                if (previousMajor != INT_MIN) {
                    QVERIFY2(tick.x - previousMajor >= labelWidth,
                             qPrintable(QStringLiteral("labels %1 px apart").arg(tick.x - previousMajor)));
                    QVERIFY(tick.msecs > previousTime);
                }
                // The label's time is the time at its place (within a pixel).
                const double expectedX = 60 + tick.msecs * fps / 1000.0 * geometry.span / frames;
                QVERIFY2(qAbs(tick.x - expectedX) <= 1.0,
                         qPrintable(QStringLiteral("%1 at %2, expected %3")
                                        .arg(RulerScale::label(tick.msecs))
                                        .arg(tick.x)
                                        .arg(expectedX)));
                previousMajor = tick.x;
                previousTime = tick.msecs;
            }
        }
    }

    // A repaint of a narrow stretch draws the same ticks there as a full one.
    void partialRepaintMatchesFull()
    {
        const RulerGeometry geometry = RulerGeometry::make(60, 6000, 4, 1800);
        const QVector<RulerScale::Tick> full = RulerScale::ticks(geometry, 30.0, 80, 0, 6000);
        const QVector<RulerScale::Tick> part = RulerScale::ticks(geometry, 30.0, 80, 700, 760);
        QVERIFY(!part.isEmpty());
        for (const RulerScale::Tick& tick : part) {
            if (tick.x < 700)
                continue;
            const auto same = std::find_if(full.begin(), full.end(), [&](const auto& other) {
                return other.x == tick.x && other.major == tick.major && other.msecs == tick.msecs;
            });
            QVERIFY(same != full.end());
        }
        int inFull = 0;
        for (const RulerScale::Tick& tick : full)
            inFull += (tick.x >= 700 && tick.x <= 760) ? 1 : 0;
        int inPart = 0;
        for (const RulerScale::Tick& tick : part)
            inPart += (tick.x >= 700 && tick.x <= 760) ? 1 : 0;
        QCOMPARE(inPart, inFull);
    }

    void minorTicksBetweenLabels()
    {
        // 1 px a frame: four minor ticks in every interval.
        const RulerGeometry coarse = RulerGeometry::make(60, 3000, 1, 2940);
        const QVector<RulerScale::Tick> ticks = RulerScale::ticks(coarse, 25.0, 80, 0, 3000);
        int minors = 0;
        int intervals = 0;
        for (const RulerScale::Tick& tick : ticks) {
            if (tick.major) {
                if (intervals++ > 0) {
                    QCOMPARE(minors, 4);
                }
                minors = 0;
            } else {
                ++minors;
            }
        }
        QVERIFY(intervals > 3);

        // Zoomed in to 200 px a frame: minor ticks one frame apart.
        const RulerGeometry fine = RulerGeometry::make(60, 2000 * 200, 1, 2000);
        const QVector<RulerScale::Tick> close = RulerScale::ticks(fine, 25.0, 80, 0, 3000);
        QVERIFY(close.size() > 2);
        QCOMPARE(close.at(1).x - close.at(0).x, 200);
    }

    // Without media the scale still has ticks, at 30 frames a second over
    // the placeholder range, and the interval never divides by zero.
    void scaleWithoutMediaOrRoom()
    {
        const RulerGeometry empty = RulerGeometry::make(60, 1000, 1, 0);
        const QVector<RulerScale::Tick> ticks = RulerScale::ticks(empty, 0.0, 80, 0, 1000);
        QVERIFY(!ticks.isEmpty());
        QCOMPARE(ticks.first().x, 60);

        // A span narrower than the left offset leaves room for one label.
        const RulerGeometry narrow = RulerGeometry::make(60, 200, 4, 300);
        const qint64 interval = RulerScale::labelInterval(narrow, 30.0, 80);
        QVERIFY(interval >= 10000); // the whole ten seconds
        const QVector<RulerScale::Tick> few = RulerScale::ticks(narrow, 30.0, 80, 0, 200);
        QCOMPARE(std::count_if(few.begin(), few.end(),
                               [&](const auto& t) { return t.major && t.x < 60 + narrow.span; }),
                 1);

        QVERIFY(RulerScale::ticks(RulerGeometry::make(60, 3, 4, 300), 30.0, 80, 0, 3).isEmpty());
        QVERIFY(RulerScale::labelInterval(narrow, std::numeric_limits<double>::quiet_NaN(), 0) > 0);
    }
};

QTEST_MAIN(RulerScaleTest)
#include "tst_RulerScale.moc"
