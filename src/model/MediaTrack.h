#pragma once

#include "core/Time.h"

#include <QString>

#include <memory>

class QDataStream;
class QDomDocument;
class QDomElement;

namespace TW {

class VlcMedia;

// One source file of the project as the program plays it (in practice the
// converted copy of a user's file, or the silence media file): its libvlc
// media, what libvlc and the ffprobe probe report about it, the file it was
// converted from and the audio track to play. Shared by fragments.
class MediaTrack
{
public:
    MediaTrack();
    // Loaded at once from the file.
    MediaTrack(const QString &name, int index, const QString &origName);
    ~MediaTrack();
    MediaTrack(const MediaTrack &) = delete;
    MediaTrack &operator=(const MediaTrack &) = delete;

    // Clears the track, then parses the file through libvlc and probes it.
    // Never fails: what cannot be read stays 0 and the track is loaded all
    // the same.
    void loadFromFile(const QString &name, int index, const QString &origName);
    // Drops the media and every loaded value; the index and the frame rate
    // stay.
    void clear();
    // A new track over the same file, owned by the caller. A loaded track's
    // clone loads the file again (nothing loaded is shared); an unloaded
    // track's clone is unloaded too, with the same names and index.
    MediaTrack *clone() const;

    int getTrackIndex() const;
    bool hasAudioTrack() const;
    void setRepeatCount(int count);

    VlcMedia *getMedia() const;
    QString getName() const;
    QString getOrigName() const;
    Time getDuration() const;
    int getWidth() const;
    int getHeight() const;
    int getChannels() const;
    float getAspect() const;
    float getFrameRate() const;
    bool isLoaded() const;

    // Project form: an element named tagName with "name", "index" and
    // "orig_name".
    QDomElement toDomElement(QDomDocument doc, const QString &tagName) const;
    // Takes the attributes that are present; loads the file when asked.
    void fromDomElement(const QDomElement &element, bool load);

    // Sets the names and index without loading (used by readers that load
    // only once a whole record has been read).
    void setSource(const QString &name, int index, const QString &origName);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

QDataStream &operator<<(QDataStream &stream, const MediaTrack &track);
// Reads name, index and origin name and loads the track with them; a short
// or broken stream leaves the track untouched.
QDataStream &operator>>(QDataStream &stream, MediaTrack &track);

} // namespace TW
