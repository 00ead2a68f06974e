#pragma once

#include <QSharedPointer>
#include <QString>

namespace TW {

class MediaTrack;

// Makes loaded source tracks from files.
class MediaTrackFactory
{
public:
    // A track loaded from path (also its origin name) with the given audio
    // track index; its media takes the project's source frame rate.
    static QSharedPointer<MediaTrack> createMediaTrackFromFile(const QString &path, int index);
};

} // namespace TW
