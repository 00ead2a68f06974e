// The edit list: the worked examples of its operations, its faults that
// matter (segments sharing fragments with the project, fragments inserted
// twice, ranges outside the media) and a random comparison against a plain
// model of which source span plays where.
#include "ModelFixtures.h"
#include "TestEnv.h"

#include "model/Media.h"
#include "model/MediaSegment.h"

#include <QRandomGenerator>
#include <QSet>
#include <QThread>
#include <QtTest>

#include <atomic>

using namespace TW;
using namespace TW::test;

namespace {

// "A 0 2; B 5 20": source name and span in seconds, per fragment in order.
QVector<Span> spansOf(const QString &text)
{
    QVector<Span> spans;
    for (const QString &part : text.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QStringList f = part.simplified().split(QLatin1Char(' '));
        spans.append({f.at(0), qRound64(f.at(1).toDouble() * Second), qRound64(f.at(2).toDouble() * Second)});
    }
    return spans;
}

QVector<Span> rawSpans(const QList<QSharedPointer<MediaTrackFragment>> &fragments)
{
    QVector<Span> spans;
    for (const auto &f : fragments)
        spans.append({f->track->getName(), f->startPosition.unitCount, f->endPosition.unitCount});
    return spans;
}

QSharedPointer<Media> aThenB()
{
    return mediaOf({{QStringLiteral("A"), 10 * Second}, {QStringLiteral("B"), 20 * Second}});
}

Time secs(double s)
{
    return Time(qRound64(s * Second));
}

bool hasDuplicateObjects(const QList<QSharedPointer<MediaTrackFragment>> &list)
{
    QSet<MediaTrackFragment *> seen;
    for (const auto &f : list) {
        if (seen.contains(f.data()))
            return true;
        seen.insert(f.data());
    }
    return false;
}

// ---- The plain model: a list of source spans on a timeline ----

qint64 totalOf(const QVector<Span> &spans)
{
    qint64 sum = 0;
    for (const Span &s : spans)
        sum += s.end - s.start;
    return sum;
}

QVector<Span> extract(const QVector<Span> &spans, qint64 from, qint64 to)
{
    QVector<Span> out;
    qint64 at = 0;
    for (const Span &s : spans) {
        const qint64 len = s.end - s.start;
        const qint64 a = qMax(from, at), b = qMin(to, at + len);
        if (a < b)
            out.append({s.source, s.start + (a - at), s.start + (b - at)});
        at += len;
    }
    return out;
}

QVector<Span> removeRange(const QVector<Span> &spans, qint64 from, qint64 to)
{
    return extract(spans, 0, from) + extract(spans, to, totalOf(spans));
}

QVector<Span> insertAt(const QVector<Span> &spans, qint64 at, const QVector<Span> &piece)
{
    return extract(spans, 0, at) + piece + extract(spans, at, totalOf(spans));
}

} // namespace

class MediaTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        isolateHome();
        quietDebugOutput();
    }

    void trackForPosition_data()
    {
        QTest::addColumn<qint64>("position");
        QTest::addColumn<QString>("expected");
        QTest::newRow("start") << qint64(0) << "A";
        QTest::newRow("inside A") << 5 * Second << "A";
        QTest::newRow("boundary belongs to the earlier") << 10 * Second << "A";
        QTest::newRow("just after boundary") << 10 * Second + 1 << "B";
        QTest::newRow("total belongs to the last") << 30 * Second << "B";
        QTest::newRow("past the end") << 30 * Second + 1 << "";
        QTest::newRow("negative") << qint64(-1) << "";
    }
    void trackForPosition()
    {
        QFETCH(qint64, position);
        QFETCH(QString, expected);
        const auto media = aThenB();
        const auto f = media->getTrackForPosition((unsigned long long)position);
        QCOMPARE(f ? f->track->getName() : QString(), expected);
        QVERIFY(!Media().getTrackForPosition(0));
    }

    void getSegment_data()
    {
        QTest::addColumn<double>("start");
        QTest::addColumn<double>("end");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QString>("expected");
        QTest::newRow("across A and B") << 5.0 << 25.0 << true << "A 5 10; B 0 15";
        QTest::newRow("empty piece of A left out") << 10.0 << 25.0 << true << "B 0 15";
        QTest::newRow("empty range keeps one empty copy") << 7.0 << 7.0 << true << "A 7 7";
        QTest::newRow("whole media") << 0.0 << 30.0 << true << "A 0 10; B 0 20";
        QTest::newRow("unset end") << 5.0 << -1e-6 << false << "";
        QTest::newRow("unset start") << -1e-6 << 5.0 << false << "";
        QTest::newRow("end past the media") << 5.0 << 31.0 << false << "";
        QTest::newRow("start after end") << 20.0 << 5.0 << false << "";
    }
    void getSegment()
    {
        QFETCH(double, start);
        QFETCH(double, end);
        QFETCH(bool, valid);
        QFETCH(QString, expected);
        const auto media = aThenB();
        const auto before = media->getTrackFragments();
        const auto segment = media->getSegment(secs(start), secs(end));
        QCOMPARE(bool(segment), valid);
        QCOMPARE(media->getTrackFragments(), before);
        QCOMPARE(rawSpans(before), spansOf("A 0 10; B 0 20"));
        if (!segment)
            return;
        QCOMPARE(segment->start, secs(start));
        QCOMPARE(segment->length, secs(end) - secs(start));
        QCOMPARE(rawSpans(segment->fragments), spansOf(expected));
        QCOMPARE(segment->getVolume(), -1.0f);
    }

    void deleteSegment_data()
    {
        QTest::addColumn<qint64>("start");
        QTest::addColumn<qint64>("end");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<qint64>("total");
        QTest::newRow("across A and B") << 5 * Second << 25 * Second << "A 0 5; B 15 20" << 10 * Second;
        QTest::newRow("50 us of A dropped") << qint64(50) << 25 * Second << "B 15 20" << 5 * Second;
        QTest::newRow("100 us of A kept across")
            << qint64(100) << 25 * Second << "A 0 0.0001; B 15 20" << 5 * Second + 100;
        QTest::newRow("inside A") << 2 * Second << 4 * Second << "A 0 2; A 4 10; B 0 20" << 28 * Second;
        QTest::newRow("100 us head inside A dropped")
            << qint64(100) << 5 * Second << "A 5 10; B 0 20" << 25 * Second;
        QTest::newRow("101 us head inside A kept")
            << qint64(101) << 5 * Second << "A 0 0.000101; A 5 10; B 0 20" << 25 * Second + 101;
        QTest::newRow("100 us tail inside A dropped")
            << 2 * Second << 10 * Second - 100 << "A 0 2; B 0 20" << 22 * Second;
        QTest::newRow("all of A") << qint64(0) << 10 * Second << "B 0 20" << 20 * Second;
        QTest::newRow("all of B") << 10 * Second << 30 * Second << "A 0 10" << 10 * Second;
        QTest::newRow("everything") << qint64(0) << 30 * Second << "" << qint64(0);
        QTest::newRow("end past the media is the end") << 25 * Second << 40 * Second << "A 0 10; B 0 15" << 25 * Second;
        QTest::newRow("start after end changes nothing") << 20 * Second << 5 * Second << "A 0 10; B 0 20" << 30 * Second;
        QTest::newRow("negative start changes nothing") << qint64(-5) << 5 * Second << "A 0 10; B 0 20" << 30 * Second;
        QTest::newRow("range past the media changes nothing") << 31 * Second << 40 * Second << "A 0 10; B 0 20" << 30 * Second;
    }
    void deleteSegment()
    {
        QFETCH(qint64, start);
        QFETCH(qint64, end);
        QFETCH(QString, expected);
        QFETCH(qint64, total);
        const auto media = aThenB();
        media->deleteSegment(Time(start), Time(end));
        QCOMPARE(rawSpans(media->getTrackFragments()), spansOf(expected));
        QCOMPARE(media->getDuration(), Time(total));
        QCOMPARE(layoutProblem(*media), QString());
    }

    void deleteNothingKeepsStoredPositions()
    {
        // An empty range or an empty list changes nothing, not even the
        // stored positions of a project read from a file.
        const auto media = aThenB();
        media->getTrackFragments().at(1)->timelinePosition = Time(123);
        media->deleteSegment(secs(4), secs(4));
        QCOMPARE(media->getTrackFragments().at(1)->timelinePosition, Time(123));
        Media empty;
        empty.deleteSegment(secs(0), secs(4));
        QVERIFY(empty.isEmpty());
        QCOMPARE(empty.getDuration(), Time(0));
    }

    void editsFollowLengthsNotStaleStoredPositions()
    {
        // Stored positions that disagree with the lengths (a hand-edited
        // project) must not lead to offsets outside a fragment.
        const auto media = aThenB();
        media->getTrackFragments().at(0)->timelinePosition = secs(7);
        media->getTrackFragments().at(1)->timelinePosition = secs(3);
        media->deleteSegment(secs(5), secs(25));
        QCOMPARE(rawSpans(media->getTrackFragments()), spansOf("A 0 5; B 15 20"));
        QCOMPARE(layoutProblem(*media), QString());
    }

    void damagedFragmentsAreSteppedOver()
    {
        // A fragment that ends before it starts (a damaged project file)
        // holds no time: edits around it must not stop the program.
        const auto media = aThenB();
        auto list = media->getTrackFragments();
        list.insert(1, fragment(QStringLiteral("N"), 0, -20 * Second, 10 * Second));
        media->replaceTrackFragments(list);
        QCOMPARE(media->getTrackForPosition(15 * Second), QSharedPointer<MediaTrackFragment>());
        media->getSegment(secs(5), secs(15));
        media->deleteSegment(secs(5), secs(15));
        QSharedPointer<MediaSegment> segment(new MediaSegment);
        segment->addTrack(fragment(QStringLiteral("C"), 0, Second));
        media->acceptSegment(segment, secs(2), InsertSegment);
        QCOMPARE(media->getTrackFragments().first()->track->getName(), QStringLiteral("A"));
    }

    void acceptSegment_data()
    {
        QTest::addColumn<double>("at");
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<double>("total");
        QTest::newRow("split A") << 4.0 << int(InsertSegment) << "A 0 4; C 0 3; A 4 10; B 0 20" << 33.0;
        QTest::newRow("between A and B") << 10.0 << int(InsertSegment) << "A 0 10; C 0 3; B 0 20" << 33.0;
        QTest::newRow("before A") << 0.0 << int(InsertSegment) << "C 0 3; A 0 10; B 0 20" << 33.0;
        QTest::newRow("at the total") << 30.0 << int(InsertSegment) << "A 0 10; B 0 20; C 0 3" << 33.0;
        QTest::newRow("past the end") << 31.0 << int(InsertSegment) << "A 0 10; B 0 20; C 0 3" << 33.0;
        QTest::newRow("overwrite") << 4.0 << int(OverwriteSegment) << "A 0 4; C 0 3; A 7 10; B 0 20" << 30.0;
    }
    void acceptSegment()
    {
        QFETCH(double, at);
        QFETCH(int, mode);
        QFETCH(QString, expected);
        QFETCH(double, total);
        const auto media = aThenB();
        QSharedPointer<MediaSegment> segment(new MediaSegment);
        const auto c = fragment(QStringLiteral("C"), 0, 3 * Second);
        segment->addTrack(c);
        segment->length = secs(3);
        media->acceptSegment(segment, secs(at), AddSegmentMode(mode));
        QCOMPARE(rawSpans(media->getTrackFragments()), spansOf(expected));
        QCOMPARE(media->getDuration(), secs(total));
        QCOMPARE(layoutProblem(*media), QString());
        QVERIFY(media->getTrackFragments().contains(c)); // the object itself goes in
    }

    void acceptIntoEmptyAndNull()
    {
        Media media;
        QSharedPointer<MediaSegment> segment(new MediaSegment);
        segment->addTrack(fragment(QStringLiteral("C"), 0, 3 * Second));
        media.acceptSegment(segment, secs(0), InsertSegment);
        QCOMPARE(rawSpans(media.getTrackFragments()), spansOf("C 0 3"));
        media.acceptSegment({}, secs(1), InsertSegment);
        QCOMPARE(rawSpans(media.getTrackFragments()), spansOf("C 0 3"));
    }

    void cutThenPasteRestores()
    {
        const auto media = aThenB();
        const auto segment = media->cutSegment(secs(5), secs(25));
        QCOMPARE(rawSpans(media->getTrackFragments()), spansOf("A 0 5; B 15 20"));
        media->acceptSegment(segment, secs(5), InsertSegment);
        QCOMPARE(rawSpans(media->getTrackFragments()), spansOf("A 0 5; A 5 10; B 0 15; B 15 20"));
        QCOMPARE(media->getDuration(), secs(30));
    }

    void cutOfAnInvalidRangeDeletesNothing()
    {
        const auto media = aThenB();
        QVERIFY(!media->cutSegment(secs(5), secs(40)));
        QVERIFY(!media->cutSegment(secs(5), Time(-1)));
        QCOMPARE(rawSpans(media->getTrackFragments()), spansOf("A 0 10; B 0 20"));
    }

    void copiedSegmentSharesNothingWithTheProject()
    {
        // A, B, C: a range from inside A to inside C takes B whole. Switching
        // the segment's video and audio off must leave the project alone.
        const auto media = mediaOf({{"A", 10 * Second}, {"B", 10 * Second}, {"C", 10 * Second}});
        const auto list = media->getTrackFragments();
        const auto segment = media->getSegment(secs(5), secs(25));
        QCOMPARE(rawSpans(segment->fragments), spansOf("A 5 10; B 0 10; C 0 5"));
        for (const auto &f : segment->fragments)
            QVERIFY(!list.contains(f));
        segment->setVideoEnabled(false, true);
        segment->setAudioEnabled(false, true);
        segment->setVolume(10);
        for (const auto &f : media->getTrackFragments()) {
            QVERIFY(f->playVideo);
            QVERIFY(f->playAudio);
            QCOMPARE(f->volume, 100.0f);
        }
    }

    void pastingTheSameSegmentTwiceKeepsObjectsApart()
    {
        const auto media = aThenB();
        QSharedPointer<MediaSegment> segment(new MediaSegment);
        segment->addTrack(fragment(QStringLiteral("C"), 0, 3 * Second));
        media->acceptSegment(segment, secs(4), InsertSegment);
        media->acceptSegment(segment, secs(20), InsertSegment);
        const auto list = media->getTrackFragments();
        QVERIFY(!hasDuplicateObjects(list));
        QCOMPARE(layoutProblem(*media), QString());
        // A trim of one copy must not reach the other.
        media->deleteSegment(secs(5), secs(6));
        QCOMPARE(normalized(media->getTrackFragments()),
                 normalized(spansOf("A 0 4; C 0 1; C 2 3; A 4 10; B 0 7; C 0 3; B 7 20")));
    }

    void repeatCountCountsOnce()
    {
        const auto media = aThenB();
        media->getTrackFragments().at(0)->repeatCount = 3;
        media->updateFragmentPositions();
        QCOMPARE(media->getDuration(), secs(30));
        QCOMPARE(media->getTrackFragments().at(1)->timelinePosition, secs(10));
    }

    void totalDurationAsClockTime()
    {
        const auto media = mediaOf({{"A", 1500999}});
        QCOMPARE(media->getTotalDurationMs(), QTime(0, 0, 1, 500));
        QCOMPARE(media->getTotalDuration(), QTime(0, 0, 1, 500));
        QCOMPARE(Media().getTotalDuration(), QTime(0, 0));
    }

    void fragmentsBetween()
    {
        const auto media = aThenB();
        QCOMPARE(media->getFragments(secs(10), secs(10)).size(), 2);
        QCOMPARE(media->getFragments(secs(11), secs(12)).size(), 1);
        QCOMPARE(media->getFragments(secs(31), secs(40)).size(), 0);
    }

    void copiesShareFragmentsAndTimeline()
    {
        const auto media = aThenB();
        media->setFilePath(QStringLiteral("/p/x.twp"));
        Media copy(*media);
        QCOMPARE(copy.getTrackFragments(), media->getTrackFragments());
        QCOMPARE(copy.getTimeline(), media->getTimeline());
        QCOMPARE(copy.getDuration(), secs(30));
        QCOMPARE(copy.getFilePath(), QStringLiteral("/p/x.twp"));
        copy.deleteSegment(secs(0), secs(10));
        QCOMPARE(media->getTrackFragments().size(), 2); // the list itself is not shared
        const auto timeline = media->getTimeline();
        media->clear();
        QVERIFY(media->isEmpty());
        QVERIFY(media->getTimeline() != timeline);
        QVERIFY(media->getFilePath().isNull());
    }

    void lookupWhileEditing()
    {
        // The player asks for the fragment at its position from libvlc's
        // event thread while the graphical thread edits the list.
        const auto media = aThenB();
        std::atomic<bool> stop{false};
        std::atomic<int> found{0};
        QThread *reader = QThread::create([&] {
            while (!stop) {
                if (media->getTrackForPosition(2 * Second))
                    ++found;
            }
        });
        reader->start();
        for (int i = 0; i < 2000; ++i) {
            const auto segment = media->cutSegment(secs(1), secs(3));
            media->acceptSegment(segment, secs(i % 20), InsertSegment);
        }
        stop = true;
        reader->wait();
        delete reader;
        QVERIFY(found > 0);
        QCOMPARE(media->getDuration(), secs(30));
    }

    // Random sequences of delete, copy and paste, cut and paste, and
    // inserted sources, each checked against the plain model.
    void randomEditsMatchModel()
    {
        const int sequences = 3000;
        const int steps = 12;
        for (int seq = 0; seq < sequences; ++seq) {
            QRandomGenerator rng(quint32(seq) * 2654435761u + 17);
            auto ms = [&rng](qint64 upTo) { return qint64(rng.bounded(int(upTo / 1000) + 1)) * 1000; };
            const auto media = mediaOf({{"S0", (1 + rng.bounded(20)) * Second},
                                        {"S1", (1 + rng.bounded(20)) * Second}});
            QVector<Span> model = rawSpans(media->getTrackFragments());
            int sources = 2;
            QString trail;
            for (int step = 0; step < steps; ++step) {
                const qint64 total = media->getDuration().unitCount;
                qint64 a = ms(total), b = ms(total);
                if (a > b)
                    std::swap(a, b);
                const int op = rng.bounded(4);
                trail += QStringLiteral(" op%1(%2,%3)").arg(op).arg(a).arg(b);
                if (op == 0) {
                    media->deleteSegment(Time(a), Time(b));
                    model = removeRange(model, a, b);
                } else if (op == 1 || op == 2) {
                    const auto before = media->getTrackFragments();
                    const auto segment = op == 1 ? media->getSegment(Time(a), Time(b))
                                                 : media->cutSegment(Time(a), Time(b));
                    if (!segment) {
                        QVERIFY2(before.isEmpty(), qPrintable(trail));
                        continue;
                    }
                    if (op == 1)
                        QCOMPARE(media->getTrackFragments(), before);
                    for (const auto &f : segment->fragments)
                        QVERIFY2(!media->getTrackFragments().contains(f), qPrintable(trail));
                    QCOMPARE(normalized(segment->fragments), normalized(extract(model, a, b)));
                    const QVector<Span> piece = extract(model, a, b);
                    if (op == 2)
                        model = removeRange(model, a, b);
                    const qint64 at = ms(totalOf(model));
                    trail += QStringLiteral(" at(%1)").arg(at);
                    media->acceptSegment(segment, Time(at), InsertSegment);
                    model = insertAt(model, at, piece);
                } else {
                    const QString name = QStringLiteral("S%1").arg(sources++);
                    const qint64 length = (1 + rng.bounded(5000)) * 1000;
                    QSharedPointer<MediaSegment> segment(new MediaSegment);
                    segment->addTrack(fragment(name, 0, length));
                    segment->length = Time(length);
                    media->acceptSegment(segment, Time(a), InsertSegment);
                    model = insertAt(model, a, {{name, 0, length}});
                }
                const QByteArray where = QStringLiteral("sequence %1:%2\n got: %3\n want: %4")
                                             .arg(seq)
                                             .arg(trail, describe(normalized(media->getTrackFragments())),
                                                  describe(normalized(model)))
                                             .toUtf8();
                QVERIFY2(normalized(media->getTrackFragments()) == normalized(model), where.constData());
                QVERIFY2(layoutProblem(*media).isEmpty(), qPrintable(layoutProblem(*media) + trail));
                QCOMPARE(media->getDuration().unitCount, totalOf(model));
                QVERIFY2(!hasDuplicateObjects(media->getTrackFragments()), where.constData());
            }
        }
    }
};

QTEST_GUILESS_MAIN(MediaTest)
#include "tst_Media.moc"
