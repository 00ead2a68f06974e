#include "model/Media.h"

#include "core/Util.h"
#include "model/FragmentStreamForm.h"
#include "model/MediaTrackUtils.h"
#include "model/StreamCheck.h"

#include <QDataStream>
#include <QIODevice>
#include <QDebug>
#include <QDomDocument>
#include <QDomElement>
#include <QSet>

#include <limits>
#include <mutex>

namespace TW {

namespace {

using FragmentPtr = QSharedPointer<MediaTrackFragment>;

qint64 lengthOf(const FragmentPtr &fragment)
{
    return (fragment->endPosition - fragment->startPosition).unitCount;
}

qint64 frameOf(Time t)
{
    return t.toFrameUnits(false);
}

// Where a time falls in the list: the fragment's index and where it starts
// on the timeline, found by adding up lengths.
struct Place
{
    int index = -1;
    qint64 fragmentStart = 0;
    bool found() const { return index >= 0; }
};

// A fragment that ends before it starts (only a damaged project file holds
// one) covers no time and is never found, so that offsets handed to the
// clipping operations always lie inside the fragment found.
Place locate(const QList<FragmentPtr> &fragments, quint64 position)
{
    qint64 sum = 0;
    for (int i = 0; i < fragments.size(); ++i) {
        const qint64 length = lengthOf(fragments.at(i));
        if (length >= 0 && sum >= 0
            && Util::positionIsInSegment(qint64(position), quint64(sum), length))
            return {i, sum};
        sum += length;
    }
    return {};
}

// Remnants shorter than these are dropped by a deletion: across several
// fragments from 100 microseconds on a remnant stays, inside one fragment
// from 101 on.
constexpr qint64 KeepAcrossFragments = 100;
constexpr qint64 KeepInsideFragment = 101;

} // namespace

bool ssegmentComparator(const QSharedPointer<MediaSegment> &a, const QSharedPointer<MediaSegment> &b)
{
    return a->start < b->start;
}

struct Media::Impl
{
    // A standard mutex, so that thread checkers see the locking.
    mutable std::recursive_mutex mutex;
    Time total;
    QList<FragmentPtr> fragments;
    QSharedPointer<MediaTimeLine> timeline = QSharedPointer<MediaTimeLine>(new MediaTimeLine);
    MediaFileInfo fileInfo;
    QString filePath;

    void relay()
    {
        qDebug() << "Updating fragment positions";
        qint64 sum = 0;
        for (const FragmentPtr &fragment : std::as_const(fragments)) {
            fragment->timelinePosition = Time(sum);
            // Saturated: lengths come from files and the clipboard, and a
            // wrapped sum would put fragments before the start.
            if (__builtin_add_overflow(sum, lengthOf(fragment), &sum))
                sum = std::numeric_limits<qint64>::max();
        }
        total = Time(sum);
    }

    void deleteRange(Time start, Time end);
};

Media::Media()
    : d(std::make_unique<Impl>())
{
}

Media::Media(const Media &other)
    : d(std::make_unique<Impl>())
{
    copyFrom(other);
}

Media &Media::operator=(const Media &other)
{
    copyFrom(other);
    return *this;
}

Media::~Media() = default;

void Media::copyFrom(const Media &other)
{
    if (this == &other)
        return;
    std::scoped_lock lock(other.d->mutex, d->mutex);
    d->total = other.d->total;
    d->filePath = other.d->filePath;
    d->fragments = other.d->fragments;
    d->timeline = other.d->timeline;
    d->fileInfo = other.d->fileInfo;
}

void Media::clear()
{
    std::lock_guard<std::recursive_mutex> lock(d->mutex);
    d->total = Time();
    d->fragments.clear();
    d->timeline = QSharedPointer<MediaTimeLine>(new MediaTimeLine);
    d->fileInfo = MediaFileInfo();
    d->filePath = QString();
}

QSharedPointer<MediaTimeLine> Media::getTimeline() const
{
    std::lock_guard<std::recursive_mutex> lock(d->mutex);
    return d->timeline;
}

QString Media::getFilePath() const
{
    std::lock_guard<std::recursive_mutex> lock(d->mutex);
    return d->filePath;
}

void Media::setFilePath(const QString &path)
{
    std::lock_guard<std::recursive_mutex> lock(d->mutex);
    d->filePath = path;
}

QList<QSharedPointer<MediaTrackFragment>> Media::getTrackFragments() const
{
    std::lock_guard<std::recursive_mutex> lock(d->mutex);
    return d->fragments;
}

void Media::replaceTrackFragments(QList<QSharedPointer<MediaTrackFragment>> fragments)
{
    std::lock_guard<std::recursive_mutex> lock(d->mutex);
    d->fragments = fragments;
}

bool Media::isEmpty() const
{
    std::lock_guard<std::recursive_mutex> lock(d->mutex);
    return d->fragments.isEmpty();
}

bool Media::hasAudio() const
{
    std::lock_guard<std::recursive_mutex> lock(d->mutex);
    bool audio = false;
    for (const FragmentPtr &fragment : std::as_const(d->fragments)) {
        if (fragment->track && fragment->track->hasAudioTrack())
            audio = true;
    }
    return audio;
}

Time Media::getDuration() const
{
    std::lock_guard<std::recursive_mutex> lock(d->mutex);
    return d->total;
}

QTime Media::getTotalDurationMs() const
{
    const qint64 ms = getDuration().unitCount / 1000;
    return QTime(0, 0).addMSecs(int(ms % (24LL * 3600 * 1000)));
}

QTime Media::getTotalDuration() const
{
    return getTotalDurationMs();
}

float Media::getMaxFps() const
{
    std::lock_guard<std::recursive_mutex> lock(d->mutex);
    float fps = 0.0f;
    for (const FragmentPtr &fragment : std::as_const(d->fragments)) {
        if (fragment->track && fragment->track->getFrameRate() > fps)
            fps = fragment->track->getFrameRate();
    }
    return fps;
}

QList<QSharedPointer<MediaTrackFragment>> Media::getFragments(Time from, Time to) const
{
    std::lock_guard<std::recursive_mutex> lock(d->mutex);
    QList<FragmentPtr> result;
    for (const FragmentPtr &fragment : std::as_const(d->fragments)) {
        const Time start = fragment->timelinePosition;
        const Time end = start + Time(lengthOf(fragment));
        const bool before = start < from && end < from;
        const bool after = start > to && end > to;
        if (!before && !after)
            result.append(fragment);
    }
    return result;
}

void Media::addTrack(QSharedPointer<MediaTrack> track)
{
    if (!track) {
        qDebug() << "Add null track to media";
        return;
    }
    qDebug() << "Add track" << track->getName() << "to media";
    FragmentPtr fragment(new MediaTrackFragment);
    fragment->track = track;
    fragment->startPosition = Time(0);
    fragment->endPosition = track->getDuration();
    std::lock_guard<std::recursive_mutex> lock(d->mutex);
    // The new fragment follows the ones already there (0 on a cleared list).
    fragment->timelinePosition = d->total;
    d->total += track->getDuration();
    d->fragments.append(fragment);
}

QSharedPointer<MediaTrackFragment> Media::getTrackForPosition(unsigned long long position) const
{
    std::lock_guard<std::recursive_mutex> lock(d->mutex);
    const Place place = locate(d->fragments, position);
    return place.found() ? d->fragments.at(place.index) : FragmentPtr();
}

QSharedPointer<MediaSegment> Media::getSegment(Time start, Time end) const
{
    qDebug() << "Get segment from media" << "start" << frameOf(start) << "end" << frameOf(end);
    // Offsets are taken from where the fragments lie by their lengths, which
    // is where their stored positions are after every edit; a project file
    // with other stored positions cannot lead to offsets outside a fragment.
    if (start == Time(-1) || end == Time(-1) || end < start) {
        qDebug() << "Positions are not valid";
        qDebug() << "Returning null segment.";
        return {};
    }
    qDebug() << "Positions are valid";

    // Work on a snapshot of the list, so that the copies (each of which
    // opens its file again) are made without holding up the player's
    // lookups.
    const QList<FragmentPtr> fragments = getTrackFragments();
    const Place first = locate(fragments, quint64(start.unitCount));
    const Place last = locate(fragments, quint64(end.unitCount));
    if (!first.found() || !last.found()) {
        qDebug() << "Tracks for positions are not valid";
        qDebug() << "Returning null segment.";
        return {};
    }
    qDebug() << "Tracks for positions are valid";

    QSharedPointer<MediaSegment> segment(new MediaSegment);
    segment->start = start;
    segment->length = end - start;

    const FragmentPtr firstFragment = fragments.at(first.index);
    const FragmentPtr lastFragment = fragments.at(last.index);
    const qint64 head = start.unitCount - first.fragmentStart;
    const qint64 tail = last.fragmentStart + lengthOf(lastFragment) - end.unitCount;

    if (first.index == last.index) {
        segment->addTrack(MediaTrackUtils::clipMediaTrackCopy(firstFragment, head, tail));
    } else {
        const FragmentPtr headPiece = MediaTrackUtils::getClippedAtStartCopy(firstFragment, head);
        if (headPiece->startPosition != headPiece->endPosition)
            segment->addTrack(headPiece);
        // The fragments in between are copied too: a segment must never share
        // fragment objects with the edit list, or switching its video or
        // audio off would change the project.
        for (int i = first.index + 1; i < last.index; ++i)
            segment->addTrack(FragmentPtr(fragments.at(i)->clone()));
        const FragmentPtr tailPiece = MediaTrackUtils::getClippedAtEndCopy(lastFragment, tail);
        if (tailPiece->startPosition != tailPiece->endPosition)
            segment->addTrack(tailPiece);
    }
    qDebug() << "Returning segment:" << true;
    return segment;
}

void Media::Impl::deleteRange(Time start, Time end)
{
    if (fragments.isEmpty() || start == end)
        return;
    if (start < Time(0) || end < start) {
        qDebug() << "Range is not valid, nothing deleted";
        return;
    }
    // A range reaching past the end deletes up to the end.
    Time length(0);
    for (const FragmentPtr &fragment : std::as_const(fragments))
        length += Time(lengthOf(fragment));
    if (end > length)
        end = length;
    if (start >= end) {
        qDebug() << "Range lies past the end, nothing deleted";
        return;
    }

    const Place first = locate(fragments, quint64(start.unitCount));
    const Place last = locate(fragments, quint64(end.unitCount));
    if (!first.found() || !last.found())
        return;
    const FragmentPtr firstFragment = fragments.at(first.index);
    const FragmentPtr lastFragment = fragments.at(last.index);
    const qint64 head = start.unitCount - first.fragmentStart;

    if (first.index != last.index) {
        MediaTrackUtils::clipTrackAtEnd(firstFragment, lengthOf(firstFragment) - head);
        MediaTrackUtils::clipTrackAtStart(lastFragment, end.unitCount - last.fragmentStart);
        const int from = first.index + (lengthOf(firstFragment) >= KeepAcrossFragments ? 1 : 0);
        const int to = last.index - (lengthOf(lastFragment) >= KeepAcrossFragments ? 1 : 0);
        for (int i = from; i <= to; ++i)
            fragments.removeAt(from);
    } else {
        const auto pieces = MediaTrackUtils::cutInternalFragment(firstFragment, head,
                                                                 (end - start).unitCount);
        int at = first.index;
        fragments.removeAt(at);
        if (lengthOf(pieces.first) >= KeepInsideFragment)
            fragments.insert(at++, pieces.first);
        if (lengthOf(pieces.second) >= KeepInsideFragment)
            fragments.insert(at, pieces.second);
    }
}

void Media::deleteSegment(Time start, Time end)
{
    qDebug() << "Deleting segment from" << frameOf(start) << "to" << frameOf(end);
    std::lock_guard<std::recursive_mutex> lock(d->mutex);
    if (d->fragments.isEmpty() || start == end)
        return;
    d->deleteRange(start, end);
    d->relay();
    qDebug() << "Segment deleted.";
}

QSharedPointer<MediaSegment> Media::cutSegment(Time start, Time end)
{
    qDebug() << "Cutting segment from" << frameOf(start) << "to" << frameOf(end);
    QSharedPointer<MediaSegment> segment = getSegment(start, end);
    // A range that gives no segment deletes nothing: what is cut must live
    // on in the segment.
    if (segment)
        deleteSegment(start, end);
    return segment;
}

void Media::acceptSegment(QSharedPointer<MediaSegment> segment, Time at, AddSegmentMode mode)
{
    qDebug() << "Inserting segment to" << frameOf(at) << "mode:" << int(mode);
    if (!segment) {
        qDebug() << "Null segment";
        return;
    }
    qDebug() << *segment;

    std::lock_guard<std::recursive_mutex> lock(d->mutex);
    if (mode == OverwriteSegment)
        deleteSegment(at, at + segment->length);

    // A fragment object may stand in the list only once: one that is already
    // there (or comes twice in the segment) goes in as a clone, since later
    // in-place trims and position updates would otherwise hit both places.
    QSet<MediaTrackFragment *> present;
    for (const FragmentPtr &fragment : std::as_const(d->fragments))
        present.insert(fragment.data());
    QList<FragmentPtr> incoming;
    for (const FragmentPtr &fragment : std::as_const(segment->fragments)) {
        if (!fragment)
            continue;
        if (present.contains(fragment.data())) {
            incoming.append(FragmentPtr(fragment->clone()));
        } else {
            present.insert(fragment.data());
            incoming.append(fragment);
        }
    }

    const Place place = at < Time(0) ? Place() : locate(d->fragments, quint64(at.unitCount));
    if (!place.found()) {
        d->fragments += incoming;
    } else {
        const FragmentPtr target = d->fragments.at(place.index);
        const qint64 offset = at.unitCount - place.fragmentStart;
        int insertAt = place.index;
        if (offset == 0) {
            insertAt = place.index;
        } else if (offset == lengthOf(target)) {
            insertAt = place.index + 1;
        } else {
            const FragmentPtr tail = MediaTrackUtils::splitTrackNoCopy(target, offset);
            d->fragments.insert(place.index + 1, tail);
            insertAt = place.index + 1;
        }
        for (const FragmentPtr &fragment : std::as_const(incoming))
            d->fragments.insert(insertAt++, fragment);
    }
    qDebug() << "Segment inserted";
    d->relay();
}

void Media::updateFragmentPositions()
{
    std::lock_guard<std::recursive_mutex> lock(d->mutex);
    d->relay();
}

void Media::removeTrack(QSharedPointer<MediaTrack> track)
{
    qDebug() << "Remove track" << (track ? track->getName() : QString()) << "from media: nothing to do";
}

QDomElement Media::toDomElement(QDomDocument doc, const QString &tagName) const
{
    std::lock_guard<std::recursive_mutex> lock(d->mutex);
    QDomElement element = doc.createElement(tagName);

    QDomElement file = doc.createElement(QStringLiteral("file"));
    file.setAttribute(QStringLiteral("path"), d->filePath);
    element.appendChild(file);
    element.appendChild(d->total.toDomElement(doc, QStringLiteral("duration")));
    element.appendChild(d->fileInfo.toDomElement(doc, QStringLiteral("info")));
    element.appendChild(d->timeline->toDomElement(doc, QStringLiteral("timeline")));

    QDomElement tracks = doc.createElement(QStringLiteral("tracks"));
    for (const FragmentPtr &fragment : std::as_const(d->fragments))
        tracks.appendChild(fragment->toDomElement(doc, QStringLiteral("track_fragment")));
    element.appendChild(tracks);
    return element;
}

namespace {

// Whether a time element's "units", when present, is a whole number.
bool unitsReadable(const QDomElement &fragmentElement, const char *tag)
{
    for (QDomElement child = fragmentElement.firstChildElement(); !child.isNull();
         child = child.nextSiblingElement()) {
        if (child.tagName().toLower() != QLatin1String(tag))
            continue;
        if (child.hasAttribute(QStringLiteral("units"))) {
            bool ok = false;
            child.attribute(QStringLiteral("units")).toLongLong(&ok, 10);
            if (!ok)
                return false;
        }
    }
    return true;
}

} // namespace

bool Media::fromDomElement(const QDomElement &element, bool load)
{
    bool usable = true;
    std::lock_guard<std::recursive_mutex> lock(d->mutex);
    for (QDomElement child = element.firstChildElement(); !child.isNull();
         child = child.nextSiblingElement()) {
        const QString tag = child.tagName().toLower();
        if (tag == QLatin1String("file")) {
            if (child.hasAttribute(QStringLiteral("path")))
                d->filePath = child.attribute(QStringLiteral("path"));
        } else if (tag == QLatin1String("duration")) {
            d->total.fromDomElement(child);
        } else if (tag == QLatin1String("info")) {
            // Nothing is kept there.
        } else if (tag == QLatin1String("timeline")) {
            d->timeline->fromDomElement(child);
        } else if (tag == QLatin1String("tracks")) {
            QList<QSharedPointer<MediaTrack>> tracksMet;
            for (QDomElement item = child.firstChildElement(); !item.isNull();
                 item = item.nextSiblingElement()) {
                FragmentPtr fragment(new MediaTrackFragment);
                fragment->fromDomElement(item, load, tracksMet);
                const int number = int(d->fragments.size());
                d->fragments.append(fragment);
                if (!tracksMet.contains(fragment->track))
                    tracksMet.append(fragment->track);

                if (!unitsReadable(item, "start") || !unitsReadable(item, "end")
                    || !unitsReadable(item, "position")) {
                    qWarning() << "Project fragment" << number << "has a time that is not a number";
                    usable = false;
                }
                if (!fragment->hasUsableSpan()) {
                    qWarning() << "Project fragment" << number << "has an unusable span:" << *fragment;
                    usable = false;
                }
            }
        }
    }
    return usable;
}

QDataStream &operator<<(QDataStream &stream, const Media &media)
{
    std::lock_guard<std::recursive_mutex> lock(media.d->mutex);
    stream << media.d->total << media.d->filePath << *media.d->timeline
           << qint32(media.d->fragments.size());
    for (const FragmentPtr &fragment : std::as_const(media.d->fragments))
        FragmentStreamForm::write(stream, *fragment);
    return stream;
}

QDataStream &operator>>(QDataStream &stream, Media &media)
{
    Time total;
    QString path;
    stream >> total;
    if (!StreamCheck::ok(stream) || !StreamCheck::readString(stream, path))
        return stream;
    // The timeline is read into a scratch object first and handed to the
    // media's own (shared) timeline only once the whole form has been read.
    MediaTimeLine scratch;
    stream >> scratch;
    if (!StreamCheck::ok(stream))
        return stream;

    qint32 count = 0;
    if (!StreamCheck::readCount(stream, count, FragmentStreamForm::MinBytes))
        return stream;
    QVector<FragmentStreamForm> forms(count);
    for (FragmentStreamForm &form : forms) {
        if (!form.read(stream))
            return stream;
    }

    std::lock_guard<std::recursive_mutex> lock(media.d->mutex);
    media.d->total = total;
    media.d->filePath = path;
    {
        QByteArray bytes;
        QDataStream out(&bytes, QIODevice::WriteOnly);
        out.setVersion(stream.version());
        out << scratch;
        QDataStream in(bytes);
        in.setVersion(stream.version());
        in >> *media.d->timeline;
    }
    for (const FragmentStreamForm &form : std::as_const(forms)) {
        const FragmentPtr scratchFragment = form.makeFragment();
        media.d->fragments.append(FragmentPtr(scratchFragment->clone()));
    }
    return stream;
}

} // namespace TW
