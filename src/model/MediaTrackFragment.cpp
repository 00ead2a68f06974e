#include "model/MediaTrackFragment.h"

#include "model/FragmentStreamForm.h"

#include <QDataStream>
#include <QDebug>
#include <QDomDocument>
#include <QDomElement>

namespace TW {

MediaTrackFragment *MediaTrackFragment::clone() const
{
    auto *copy = new MediaTrackFragment;
    copy->track = QSharedPointer<MediaTrack>(track ? track->clone() : new MediaTrack);
    copy->startPosition = startPosition;
    copy->endPosition = endPosition;
    copy->timelinePosition = timelinePosition;
    copy->repeatCount = repeatCount;
    copy->playVideo = playVideo;
    copy->playAudio = playAudio;
    copy->volume = volume;
    return copy;
}

QDomElement MediaTrackFragment::toDomElement(QDomDocument doc, const QString &tagName) const
{
    QDomElement element = doc.createElement(tagName);
    element.setAttribute(QStringLiteral("repeat"), qlonglong(repeatCount));
    element.setAttribute(QStringLiteral("play_video"), qlonglong(playVideo ? 1 : 0));
    element.setAttribute(QStringLiteral("play_audio"), qlonglong(playAudio ? 1 : 0));
    element.setAttribute(QStringLiteral("volume"), QString::number(double(volume), 'g', 6));
    element.appendChild(startPosition.toDomElement(doc, QStringLiteral("start")));
    element.appendChild(endPosition.toDomElement(doc, QStringLiteral("end")));
    element.appendChild(timelinePosition.toDomElement(doc, QStringLiteral("position")));
    if (track)
        element.appendChild(track->toDomElement(doc, QStringLiteral("track")));
    else
        element.appendChild(MediaTrack().toDomElement(doc, QStringLiteral("track")));
    return element;
}

void MediaTrackFragment::fromDomElement(const QDomElement &element, bool load,
                                        QList<QSharedPointer<MediaTrack>> tracksMet)
{
    if (element.hasAttribute(QStringLiteral("repeat")))
        repeatCount = element.attribute(QStringLiteral("repeat")).toInt(nullptr, 10);
    if (element.hasAttribute(QStringLiteral("play_video")))
        playVideo = element.attribute(QStringLiteral("play_video")).toInt(nullptr, 10) != 0;
    if (element.hasAttribute(QStringLiteral("play_audio")))
        playAudio = element.attribute(QStringLiteral("play_audio")).toInt(nullptr, 10) != 0;
    // Files written before fragments kept their volume carry none.
    volume = element.hasAttribute(QStringLiteral("volume"))
        ? float(element.attribute(QStringLiteral("volume")).toDouble())
        : 100.0f;

    if (!track)
        track = QSharedPointer<MediaTrack>(new MediaTrack);
    for (QDomElement child = element.firstChildElement(); !child.isNull();
         child = child.nextSiblingElement()) {
        const QString tag = child.tagName().toLower();
        if (tag == QLatin1String("start"))
            startPosition.fromDomElement(child);
        else if (tag == QLatin1String("end"))
            endPosition.fromDomElement(child);
        else if (tag == QLatin1String("position"))
            timelinePosition.fromDomElement(child);
        else if (tag == QLatin1String("track"))
            track->fromDomElement(child, false);
    }

    for (const QSharedPointer<MediaTrack> &met : std::as_const(tracksMet)) {
        if (met && met->getName() == track->getName()) {
            track = met;
            break;
        }
    }
    if (load && !track->isLoaded())
        track->loadFromFile(track->getName(), track->getTrackIndex(), track->getOrigName());
}

QDataStream &operator<<(QDataStream &stream, const MediaTrackFragment &fragment)
{
    FragmentStreamForm::write(stream, fragment);
    return stream;
}

QDataStream &operator>>(QDataStream &stream, MediaTrackFragment &fragment)
{
    FragmentStreamForm form;
    if (form.read(stream))
        form.applyTo(fragment);
    return stream;
}

QDebug operator<<(QDebug debug, const MediaTrackFragment &fragment)
{
    QDebugStateSaver saver(debug);
    debug.nospace() << "MediaTrackFragment("
                    << "startPosition:" << fragment.startPosition.toFrameUnits(false)
                    << " endPosition:" << fragment.endPosition.toFrameUnits(false)
                    << " volume:" << fragment.volume
                    << " playVideo:" << (fragment.playVideo ? "true" : "false")
                    << " playAudio:" << (fragment.playAudio ? "true" : "false")
                    << " timelinePosition:" << fragment.timelinePosition.toFrameUnits(false)
                    << " repeatCount:" << fragment.repeatCount << ")";
    return debug;
}

} // namespace TW
