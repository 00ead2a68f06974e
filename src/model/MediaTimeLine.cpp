#include "model/MediaTimeLine.h"

#include "model/StreamCheck.h"

#include <QDataStream>
#include <QDebug>
#include <QDomDocument>
#include <QDomElement>
#include <QMutex>
#include <QMutexLocker>

#include <algorithm>

namespace TW {

namespace {

// Smallest bytes of one loop and one bookmark in the stream form: an empty
// name (4) plus the numbers (floats may be written in single precision).
constexpr qint64 MinLoopBytes = 4 + 4 + 4 + 4 + 4 + 4 + 4 + 8;
constexpr qint64 MinMarkerBytes = 4 + 8;

} // namespace

bool loopComparator(const QSharedPointer<VideoLoop> &a, const QSharedPointer<VideoLoop> &b)
{
    return a->getStartFrame() < b->getStartFrame();
}

struct MediaTimeLine::Impl
{
    // Guards both lists: the player looks loops up from libvlc's event
    // thread while the graphical thread changes them.
    mutable QMutex mutex;
    QVector<VideoLoopPtr> loops;
    QVector<VideoMarkerPtr> bookmarks;
    int bookmarksCreated = 0;
    int loopsCreated = 0;
    bool videoLocked = false;
    bool videoPlayable = true;
    bool audioLocked = false;
    bool audioPlayable = true;

    void sortLoops() { std::sort(loops.begin(), loops.end(), loopComparator); }
};

MediaTimeLine::MediaTimeLine()
    : d(std::make_unique<Impl>())
{
}

MediaTimeLine::~MediaTimeLine() = default;

void MediaTimeLine::addLoop(QSharedPointer<VideoLoop> loop)
{
    if (!loop) {
        qDebug() << "Add null loop to media timeline";
        return;
    }
    qDebug() << "Add loop to media timeline" << *loop;
    QMutexLocker lock(&d->mutex);
    d->loops.append(loop);
    d->sortLoops();
}

void MediaTimeLine::addLoops(QVector<QSharedPointer<VideoLoop>> loops)
{
    QMutexLocker lock(&d->mutex);
    for (const VideoLoopPtr &loop : loops) {
        if (loop)
            d->loops.append(loop);
    }
    d->sortLoops();
}

void MediaTimeLine::removeLoop(QSharedPointer<VideoLoop> loop)
{
    if (!loop) {
        qDebug() << "Remove null loop from media timeline";
        return;
    }
    qDebug() << "Remove loop from media timeline" << *loop;
    QMutexLocker lock(&d->mutex);
    const int index = d->loops.indexOf(loop);
    if (index >= 0)
        d->loops.removeAt(index);
    d->sortLoops();
}

void MediaTimeLine::clearLoops()
{
    QMutexLocker lock(&d->mutex);
    d->loops.clear();
}

QVector<QSharedPointer<VideoLoop>> MediaTimeLine::getLoops() const
{
    QMutexLocker lock(&d->mutex);
    return d->loops;
}

int MediaTimeLine::getLoopCount() const
{
    QMutexLocker lock(&d->mutex);
    return int(d->loops.size());
}

VideoLoopPtr MediaTimeLine::getLoopByID(const QString &id) const
{
    QMutexLocker lock(&d->mutex);
    for (const VideoLoopPtr &loop : std::as_const(d->loops)) {
        if (loop->getID() == id)
            return loop;
    }
    return {};
}

VideoLoopPtr MediaTimeLine::getLoopByFrame(long frame) const
{
    const qint64 f = frame;
    QMutexLocker lock(&d->mutex);
    for (const VideoLoopPtr &loop : std::as_const(d->loops)) {
        if (qint64(loop->getStartFrame()) <= f && qint64(loop->getEndFrame()) >= f)
            return loop;
    }
    return {};
}

void MediaTimeLine::addMarker(QSharedPointer<VideoMarker> marker)
{
    if (!marker) {
        qDebug() << "Add null bookmark to media timeline";
        return;
    }
    qDebug() << "Add bookmark to media timeline" << *marker;
    QMutexLocker lock(&d->mutex);
    d->bookmarks.append(marker);
}

void MediaTimeLine::removeMarker(QSharedPointer<VideoMarker> marker)
{
    if (!marker) {
        qDebug() << "Remove null bookmark from media timeline";
        return;
    }
    qDebug() << "Remove bookmark from media timeline" << *marker;
    QMutexLocker lock(&d->mutex);
    const int index = d->bookmarks.indexOf(marker);
    if (index >= 0)
        d->bookmarks.removeAt(index);
}

QVector<QSharedPointer<VideoMarker>> MediaTimeLine::getMarkers() const
{
    QMutexLocker lock(&d->mutex);
    return d->bookmarks;
}

VideoMarkerPtr MediaTimeLine::getMarkerByID(const QString &id) const
{
    QMutexLocker lock(&d->mutex);
    for (const VideoMarkerPtr &marker : std::as_const(d->bookmarks)) {
        if (marker->getID() == id)
            return marker;
    }
    return {};
}

VideoMarkerPtr MediaTimeLine::getMarkerByFrame(long long frame) const
{
    QMutexLocker lock(&d->mutex);
    for (const VideoMarkerPtr &marker : std::as_const(d->bookmarks)) {
        if (marker->getFrame() == quint64(frame))
            return marker;
    }
    return {};
}

VideoLoopPtr MediaTimeLine::allocLoop(int startFrame, int endFrame) const
{
    VideoLoopPtr loop(new VideoLoop);
    {
        QMutexLocker lock(&d->mutex);
        for (int n = 1;; ++n) {
            const QString name = QStringLiteral("L%1").arg(n);
            const bool taken = std::any_of(d->loops.cbegin(), d->loops.cend(),
                                           [&name](const VideoLoopPtr &l) { return l->getName() == name; });
            if (!taken) {
                loop->setName(name);
                break;
            }
        }
    }
    loop->setStartFrame(startFrame);
    loop->setEndFrame(endFrame);
    qDebug() << "Allocated loop" << *loop;
    return loop;
}

VideoMarkerPtr MediaTimeLine::allocBookmark(int frame) const
{
    QString name;
    {
        QMutexLocker lock(&d->mutex);
        for (const VideoMarkerPtr &marker : std::as_const(d->bookmarks)) {
            if (marker->getFrame() == quint64(qint64(frame)))
                return {};
        }
        for (int n = 1;; ++n) {
            name = QStringLiteral("M%1").arg(n);
            const bool taken = std::any_of(d->bookmarks.cbegin(), d->bookmarks.cend(),
                                           [&name](const VideoMarkerPtr &m) { return m->getName() == name; });
            if (!taken)
                break;
        }
    }
    VideoMarkerPtr marker(new VideoMarker((unsigned long)(qint64(frame))));
    marker->setName(name);
    qDebug() << "Allocated bookmark" << *marker;
    return marker;
}

void MediaTimeLine::shiftLoops(long long position, long long amount)
{
    qDebug() << "Shifting loops at" << position << "for" << amount;
    QMutexLocker lock(&d->mutex);
    for (const VideoLoopPtr &loop : std::as_const(d->loops)) {
        if (loop->getStartFrame() > position)
            loop->setStartFrame(int(loop->getStartFrame() + amount));
        if (loop->getEndFrame() > position)
            loop->setEndFrame(int(loop->getEndFrame() + amount));
    }
}

void MediaTimeLine::shiftBookmarks(long long position, long long amount)
{
    qDebug() << "Shifting bookmarks at" << position << "for" << amount;
    QMutexLocker lock(&d->mutex);
    for (const VideoMarkerPtr &marker : std::as_const(d->bookmarks)) {
        if (qint64(marker->getFrame()) > position)
            marker->setFrame((unsigned long)(qint64(marker->getFrame()) + amount));
    }
}

MediaTimeLine::FrameState MediaTimeLine::getFrameState() const
{
    QMutexLocker lock(&d->mutex);
    FrameState state;
    state.loops = d->loops;
    for (const VideoLoopPtr &loop : std::as_const(d->loops))
        state.loopFrames.append({loop->getStartFrame(), loop->getEndFrame()});
    state.bookmarks = d->bookmarks;
    for (const VideoMarkerPtr &marker : std::as_const(d->bookmarks))
        state.bookmarkFrames.append(marker->getFrame());
    return state;
}

void MediaTimeLine::restoreFrameState(const FrameState &state)
{
    QMutexLocker lock(&d->mutex);
    d->loops = state.loops;
    for (int i = 0; i < state.loops.size() && i < state.loopFrames.size(); ++i) {
        state.loops.at(i)->setStartFrame(state.loopFrames.at(i).first);
        state.loops.at(i)->setEndFrame(state.loopFrames.at(i).second);
    }
    d->bookmarks = state.bookmarks;
    for (int i = 0; i < state.bookmarks.size() && i < state.bookmarkFrames.size(); ++i)
        state.bookmarks.at(i)->setFrame((unsigned long)state.bookmarkFrames.at(i));
}

void MediaTimeLine::cutFrames(long long first, long long last, QVector<VideoLoopPtr> *removedLoops,
                              QVector<VideoMarkerPtr> *removedBookmarks)
{
    qDebug() << "Cutting frames" << first << "to" << last << "out of the timeline";
    if (last <= first)
        return;
    const long long length = last - first;
    // Where a frame of the old timeline lands: the span's frames on its
    // first frame, those after it length earlier.
    auto moved = [&](long long frame) {
        if (frame <= first)
            return frame;
        return frame >= last ? frame - length : first;
    };
    QMutexLocker lock(&d->mutex);
    QVector<VideoMarkerPtr> keptBookmarks;
    for (const VideoMarkerPtr &marker : std::as_const(d->bookmarks)) {
        const long long frame = (long long)marker->getFrame();
        if (frame > first && frame < last) {
            if (removedBookmarks)
                removedBookmarks->append(marker);
            continue;
        }
        marker->setFrame((unsigned long)moved(frame));
        keptBookmarks.append(marker);
    }
    d->bookmarks = keptBookmarks;

    QVector<VideoLoopPtr> keptLoops;
    for (const VideoLoopPtr &loop : std::as_const(d->loops)) {
        const long long start = loop->getStartFrame();
        const long long end = loop->getEndFrame();
        if (start >= first && end <= last && end > first) {
            if (removedLoops)
                removedLoops->append(loop);
            continue;
        }
        loop->setStartFrame(int(moved(start)));
        loop->setEndFrame(int(moved(end)));
        keptLoops.append(loop);
    }
    d->loops = keptLoops;
    d->sortLoops();
}

bool MediaTimeLine::isVideoLocked() const { return d->videoLocked; }
void MediaTimeLine::setVideoLocked(bool locked) { d->videoLocked = locked; }
bool MediaTimeLine::isVideoPlayable() const { return d->videoPlayable; }
void MediaTimeLine::setVideoPlayable(bool playable) { d->videoPlayable = playable; }
bool MediaTimeLine::isAudioLocked() const { return d->audioLocked; }
void MediaTimeLine::setAudioLocked(bool locked) { d->audioLocked = locked; }
bool MediaTimeLine::isAudioPlayable() const { return d->audioPlayable; }
void MediaTimeLine::setAudioPlayable(bool playable) { d->audioPlayable = playable; }
int MediaTimeLine::getBookmarksCreated() const { return d->bookmarksCreated; }
void MediaTimeLine::setBookmarksCreated(int count) { d->bookmarksCreated = count; }
int MediaTimeLine::getLoopsCreated() const { return d->loopsCreated; }
void MediaTimeLine::setLoopsCreated(int count) { d->loopsCreated = count; }

QDomElement MediaTimeLine::toDomElement(QDomDocument doc, const QString &tagName) const
{
    QDomElement element = doc.createElement(tagName);
    // The counters say how many were made; a project never holds more than
    // it has made, whatever the counters were left at.
    const QVector<VideoMarkerPtr> currentMarkers = getMarkers();
    const QVector<VideoLoopPtr> currentLoops = getLoops();
    element.setAttribute(QStringLiteral("bookmarks_created"),
                         qMax(qlonglong(d->bookmarksCreated), qlonglong(currentMarkers.size())));
    element.setAttribute(QStringLiteral("loops_created"),
                         qMax(qlonglong(d->loopsCreated), qlonglong(currentLoops.size())));
    element.setAttribute(QStringLiteral("video_locked"), qlonglong(d->videoLocked ? 1 : 0));
    element.setAttribute(QStringLiteral("video_playable"), qlonglong(d->videoPlayable ? 1 : 0));
    element.setAttribute(QStringLiteral("audio_locked"), qlonglong(d->audioLocked ? 1 : 0));
    element.setAttribute(QStringLiteral("audio_playable"), qlonglong(d->audioPlayable ? 1 : 0));

    QDomElement loops = doc.createElement(QStringLiteral("loops"));
    for (const VideoLoopPtr &loop : currentLoops)
        loops.appendChild(loop->toDomElement(doc, QStringLiteral("loop")));
    element.appendChild(loops);

    QDomElement markers = doc.createElement(QStringLiteral("markers"));
    for (const VideoMarkerPtr &marker : currentMarkers)
        markers.appendChild(marker->toDomElement(doc, QStringLiteral("marker")));
    element.appendChild(markers);
    return element;
}

void MediaTimeLine::fromDomElement(const QDomElement &element)
{
    auto count = [&element](const char *name, int &field) {
        const QString key = QLatin1String(name);
        if (element.hasAttribute(key))
            field = element.attribute(key).toInt(nullptr, 10);
    };
    auto flag = [&element](const char *name, bool &field) {
        const QString key = QLatin1String(name);
        if (element.hasAttribute(key))
            field = element.attribute(key).toInt(nullptr, 10) != 0;
    };
    count("bookmarks_created", d->bookmarksCreated);
    count("loops_created", d->loopsCreated);
    flag("video_locked", d->videoLocked);
    flag("video_playable", d->videoPlayable);
    flag("audio_locked", d->audioLocked);
    flag("audio_playable", d->audioPlayable);

    for (QDomElement child = element.firstChildElement(); !child.isNull();
         child = child.nextSiblingElement()) {
        const QString tag = child.tagName().toLower();
        if (tag == QLatin1String("loops")) {
            for (QDomElement item = child.firstChildElement(); !item.isNull();
                 item = item.nextSiblingElement()) {
                VideoLoopPtr loop(new VideoLoop);
                loop->fromDomElement(item);
                QMutexLocker lock(&d->mutex);
                d->loops.append(loop);
            }
        } else if (tag == QLatin1String("markers")) {
            for (QDomElement item = child.firstChildElement(); !item.isNull();
                 item = item.nextSiblingElement()) {
                VideoMarkerPtr marker(new VideoMarker);
                marker->fromDomElement(item);
                QMutexLocker lock(&d->mutex);
                d->bookmarks.append(marker);
            }
        }
    }
}

QDataStream &operator<<(QDataStream &stream, const MediaTimeLine &timeline)
{
    const auto *d = timeline.d.get();
    const QVector<VideoLoopPtr> loops = timeline.getLoops();
    const QVector<VideoMarkerPtr> bookmarks = timeline.getMarkers();
    stream << qint32(d->bookmarksCreated) << qint32(d->loopsCreated) << d->videoLocked
           << d->videoPlayable << d->audioLocked << d->audioPlayable;
    stream << qint32(loops.size());
    for (const VideoLoopPtr &loop : loops)
        stream << *loop;
    stream << qint32(bookmarks.size());
    for (const VideoMarkerPtr &marker : bookmarks)
        stream << *marker;
    return stream;
}

QDataStream &operator>>(QDataStream &stream, MediaTimeLine &timeline)
{
    qint32 bookmarksCreated = 0, loopsCreated = 0, count = 0;
    bool videoLocked = false, videoPlayable = true, audioLocked = false, audioPlayable = true;
    stream >> bookmarksCreated >> loopsCreated >> videoLocked >> videoPlayable >> audioLocked
        >> audioPlayable;
    if (!StreamCheck::ok(stream))
        return stream;

    QVector<VideoLoopPtr> loops;
    if (!StreamCheck::readCount(stream, count, MinLoopBytes))
        return stream;
    for (qint32 i = 0; i < count; ++i) {
        VideoLoopPtr loop(new VideoLoop);
        stream >> *loop;
        if (!StreamCheck::ok(stream))
            return stream;
        loops.append(loop);
    }
    QVector<VideoMarkerPtr> bookmarks;
    if (!StreamCheck::readCount(stream, count, MinMarkerBytes))
        return stream;
    for (qint32 i = 0; i < count; ++i) {
        VideoMarkerPtr marker(new VideoMarker);
        stream >> *marker;
        if (!StreamCheck::ok(stream))
            return stream;
        bookmarks.append(marker);
    }

    auto *d = timeline.d.get();
    QMutexLocker lock(&d->mutex);
    d->bookmarksCreated = bookmarksCreated;
    d->loopsCreated = loopsCreated;
    d->videoLocked = videoLocked;
    d->videoPlayable = videoPlayable;
    d->audioLocked = audioLocked;
    d->audioPlayable = audioPlayable;
    d->loops += loops;
    d->bookmarks += bookmarks;
    return stream;
}

} // namespace TW
