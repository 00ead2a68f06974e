// Fuzzing target of the clipboard's stream reader: any bytes another
// program may have put on the clipboard under the segment's type.
#include "FuzzSupport.h"

#include "model/MediaSegment.h"
#include "model/MediaTrack.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdint>

namespace {

// The stream form is binary, so the seeds are made here rather than kept as
// files: segments of no, one and two fragments, written into the first
// corpus folder named on the command line (the run's working corpus).
void writeSeeds(int argc, char **argv)
{
    QString folder;
    for (int i = 1; i < argc && folder.isEmpty(); ++i) {
        if (argv[i][0] != '-' && QFileInfo(QString::fromLocal8Bit(argv[i])).isDir())
            folder = QString::fromLocal8Bit(argv[i]);
    }
    if (folder.isEmpty())
        return;
    auto fragment = [](qint64 start, qint64 end, qint64 position, const QString &name) {
        QSharedPointer<TW::MediaTrackFragment> f(new TW::MediaTrackFragment);
        f->startPosition = TW::Time(start);
        f->endPosition = TW::Time(end);
        f->timelinePosition = TW::Time(position);
        f->track = QSharedPointer<TW::MediaTrack>(new TW::MediaTrack);
        f->track->setSource(name, 1, QStringLiteral("/home/user/") + name);
        return f;
    };
    TW::MediaSegment empty;
    empty.length = TW::Time(1000000);
    TW::MediaSegment one;
    one.start = TW::Time(2000000);
    one.length = TW::Time(4000000);
    one.addTrack(fragment(0, 4000000, 2000000, QStringLiteral("clip.avi")));
    TW::MediaSegment two = one;
    two.addTrack(fragment(500000, 1500000, 6000000, QString::fromUtf8("\u00e9t\u00e9.avi")));
    two.fragments.last()->volume = 40.0f;
    two.fragments.last()->playVideo = false;
    const TW::MediaSegment *segments[] = {&empty, &one, &two};
    int n = 0;
    for (const TW::MediaSegment *segment : segments) {
        QFile file(QDir(folder).filePath(QStringLiteral("seed-%1").arg(++n)));
        if (file.open(QIODevice::WriteOnly))
            file.write(segment->toByteArray());
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    TW::fuzz::setUp(argc, argv);
    writeSeeds(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    TW::MediaSegment segment;
    if (!TW::MediaSegment::fromByteArray(bytes, segment)) {
        // A refusal leaves the segment as it was.
        if (!segment.fragments.isEmpty() || segment.start != TW::Time() || segment.length != TW::Time())
            __builtin_trap();
        return 0;
    }
    // What is accepted holds only times a project can hold, and reads back
    // the same from its own bytes.
    const TW::Time most(TW::MediaTrackFragment::MaxTime);
    if (segment.start < TW::Time(0) || segment.start > most || segment.length < TW::Time(0)
        || segment.length > most)
        __builtin_trap();
    for (const auto &fragment : std::as_const(segment.fragments)) {
        if (!fragment->hasUsableSpan())
            __builtin_trap();
    }
    TW::MediaSegment again;
    if (!TW::MediaSegment::fromByteArray(segment.toByteArray(), again)
        || again.fragments.size() != segment.fragments.size() || again.start != segment.start
        || again.length != segment.length)
        __builtin_trap();
    return 0;
}
