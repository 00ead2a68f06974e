#pragma once

#include "core/MediaInfo.h"
#include "core/Time.h"

#include <QString>
#include <QStringList>

#include <memory>

class QPoint;
struct libvlc_media_t;

namespace TW {

// One libvlc media on the shared instance: a location, the option strings
// added to it (they take effect when a player opens it) and, once parsed,
// the tracks it holds. Not a QObject; used by one thread at a time.
class VlcMedia
{
public:
    explicit VlcMedia(const QString &location);
    // Same location, media info, positions and frame rate on a new libvlc
    // media; options added to other are not carried over.
    VlcMedia(const VlcMedia &other);
    VlcMedia &operator=(const VlcMedia &) = delete;
    ~VlcMedia();

    // A new, parsed media for the same location, owned by the caller;
    // options and positions are not carried over.
    VlcMedia *clone() const;

    // The location libvlc expects for a local file: a percent-encoded
    // "file://" URL, so that blanks, '#', '%' and non-ASCII names survive.
    static QString locationForFile(const QString &path);

    void addOption(const QString &option); // added as UTF-8
    void addOption(const char *option);    // added unchanged

    void setStartPosition(Time t); // ":start-time=" seconds with three decimals
    void setEndPosition(Time t);   // ":stop-time=" likewise
    void setRepeatCount(int n);    // ":input-repeat=" n - 1, never below 0
    void setFrameLocation(const QPoint &p);

    // Stream-output memory callbacks; each pointer goes into its option as a
    // signed decimal number.
    void setVideoLockCallback(void *callback);
    void setVideoUnlockCallback(void *callback);
    void setAudioLockCallback(void *callback);
    void setAudioUnlockCallback(void *callback);
    void setVideoDataContext(void *context);
    void setAudioDataContext(void *context);

    // Parses the media synchronously and fills the media info and the end
    // position (the duration; -1000 microseconds when libvlc cannot tell).
    void parse();

    QString getLocation() const;
    libvlc_media_t *getMedia() const;
    const MediaInfo &getMediaInfo() const;
    Time getStartPosition() const;
    Time getEndPosition() const;
    // The frame rate kept for the media (frames per second): 0 until a parse
    // of a program stream ("mpg") reads it, or until it is set. Setting it
    // replaces what libvlc reported; it adds no option and leaves the track
    // descriptions of an earlier parse as they are.
    float getFrameRate() const;
    void setFrameRate(float fps);
    int getRepeatCount() const;
    // Every option string added so far, in order.
    QStringList getOptions() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace TW
