// Splitting, cutting and trimming of one fragment: which pieces come out,
// which objects are changed, and that copies are copies.
#include "ModelFixtures.h"
#include "TestEnv.h"

#include "model/MediaTrackUtils.h"

#include <QtTest>

using namespace TW;
using namespace TW::test;

namespace {

// start, end and timeline position in seconds, e.g. "10 35 100".
QString shape(const QSharedPointer<MediaTrackFragment> &f)
{
    return QStringLiteral("%1 %2 %3")
        .arg(double(f->startPosition.unitCount) / Second)
        .arg(double(f->endPosition.unitCount) / Second)
        .arg(double(f->timelinePosition.unitCount) / Second);
}

// A fragment from 10 s to 70 s of its source, at 100 s on the timeline, with
// non-default values in the fields no operation may change.
QSharedPointer<MediaTrackFragment> sample()
{
    auto f = fragment(QStringLiteral("src"), 10 * Second, 70 * Second, 100 * Second);
    f->repeatCount = 2;
    f->playVideo = false;
    f->volume = 40.0f;
    return f;
}

void checkCopyOf(const QSharedPointer<MediaTrackFragment> &copy,
                 const QSharedPointer<MediaTrackFragment> &source)
{
    QVERIFY(copy != source);
    QVERIFY(copy->track != source->track);
    QCOMPARE(copy->track->getName(), source->track->getName());
    QCOMPARE(copy->repeatCount, source->repeatCount);
    QCOMPARE(copy->playVideo, source->playVideo);
    QCOMPARE(copy->playAudio, source->playAudio);
    QCOMPARE(copy->volume, source->volume);
}

} // namespace

class MediaTrackUtilsTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        isolateHome();
        quietDebugOutput();
    }

    void cutInternal_data()
    {
        QTest::addColumn<double>("offset");
        QTest::addColumn<double>("length");
        QTest::addColumn<QString>("head");
        QTest::addColumn<QString>("tail");
        QTest::newRow("middle") << 20.0 << 15.0 << "10 30 100" << "45 70 135";
        QTest::newRow("offset 0: empty head") << 0.0 << 15.0 << "10 10 100" << "25 70 115";
        QTest::newRow("to the end: empty tail") << 20.0 << 40.0 << "10 30 100" << "70 70 160";
    }
    void cutInternal()
    {
        QFETCH(double, offset);
        QFETCH(double, length);
        QFETCH(QString, head);
        QFETCH(QString, tail);
        const auto f = sample();
        const auto pieces = MediaTrackUtils::cutInternalFragment(f, qint64(offset * Second),
                                                                 qint64(length * Second));
        QCOMPARE(shape(pieces.first), head);
        QCOMPARE(shape(pieces.second), tail);
        QCOMPARE(shape(f), QStringLiteral("10 70 100"));
        QVERIFY(pieces.first != pieces.second);
        checkCopyOf(pieces.first, f);
        checkCopyOf(pieces.second, f);
    }

    void split_data()
    {
        QTest::addColumn<double>("offset");
        QTest::addColumn<QString>("head");
        QTest::addColumn<QString>("tail");
        QTest::newRow("middle") << 25.0 << "10 35 100" << "35 70 100";
        QTest::newRow("at 0") << 0.0 << "10 10 100" << "10 70 100";
        QTest::newRow("at the end") << 60.0 << "10 70 100" << "70 70 100";
    }
    void split()
    {
        QFETCH(double, offset);
        QFETCH(QString, head);
        QFETCH(QString, tail);
        const auto f = sample();
        const auto t = MediaTrackUtils::splitTrackNoCopy(f, qint64(offset * Second));
        QCOMPARE(shape(f), head); // the given fragment is the head
        QCOMPARE(shape(t), tail);
        checkCopyOf(t, f);
    }

    void clips_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<double>("a");
        QTest::addColumn<double>("b");
        QTest::addColumn<QString>("result");
        QTest::newRow("at start") << "clipTrackAtStart" << 5.0 << 0.0 << "15 70 100";
        QTest::newRow("at start by the duration") << "clipTrackAtStart" << 60.0 << 0.0 << "70 70 100";
        QTest::newRow("at end") << "clipTrackAtEnd" << 5.0 << 0.0 << "10 65 100";
        QTest::newRow("at end by the duration") << "clipTrackAtEnd" << 60.0 << 0.0 << "10 10 100";
        QTest::newRow("both") << "clipMediaTrack" << 5.0 << 10.0 << "15 60 100";
        QTest::newRow("both unchecked") << "clipMediaTrack" << 50.0 << 50.0 << "60 20 100";
    }
    void clips()
    {
        QFETCH(QString, operation);
        QFETCH(double, a);
        QFETCH(double, b);
        QFETCH(QString, result);
        const qint64 x = qint64(a * Second), y = qint64(b * Second);

        // In place: the given fragment changes.
        const auto inPlace = sample();
        // Copying: the given fragment stays, the copy changes.
        const auto source = sample();
        QSharedPointer<MediaTrackFragment> copy;
        if (operation == "clipTrackAtStart") {
            MediaTrackUtils::clipTrackAtStart(inPlace, x);
            copy = MediaTrackUtils::getClippedAtStartCopy(source, x);
        } else if (operation == "clipTrackAtEnd") {
            MediaTrackUtils::clipTrackAtEnd(inPlace, x);
            copy = MediaTrackUtils::getClippedAtEndCopy(source, x);
        } else {
            MediaTrackUtils::clipMediaTrack(inPlace, x, y);
            copy = MediaTrackUtils::clipMediaTrackCopy(source, x, y);
        }
        QCOMPARE(shape(inPlace), result);
        QCOMPARE(shape(copy), result);
        QCOMPARE(shape(source), QStringLiteral("10 70 100"));
        checkCopyOf(copy, source);
    }

    void copyWithoutOffsetsEqualsSource()
    {
        const auto source = sample();
        const auto copy = MediaTrackUtils::clipMediaTrackCopy(source, 0, 0);
        QCOMPARE(shape(copy), shape(source));
        checkCopyOf(copy, source);
    }
};

QTEST_GUILESS_MAIN(MediaTrackUtilsTest)
#include "tst_MediaTrackUtils.moc"
