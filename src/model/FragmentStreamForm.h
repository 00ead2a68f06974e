#pragma once

#include "core/Time.h"

#include <QSharedPointer>
#include <QString>

class QDataStream;

namespace TW {

struct MediaTrackFragment;

// The values of one fragment's stream form, read apart from making the
// fragment, so that a reader can check a whole stream before it opens any
// of the files the stream names.
class FragmentStreamForm
{
public:
    // Smallest number of bytes a fragment takes in a stream.
    static constexpr qint64 MinBytes = 3 * 8 + 4 + 1 + 1 + 4 + 4 + 4;

    static void write(QDataStream &stream, const MediaTrackFragment &fragment);
    // Reads one form; false (and the stream marked) when it is short or
    // broken.
    bool read(QDataStream &stream);
    // Puts the values read into the fragment, with a new track over the
    // file named, loaded.
    void applyTo(MediaTrackFragment &fragment) const;
    QSharedPointer<MediaTrackFragment> makeFragment() const;
    // The times read are ones a fragment can hold (see
    // MediaTrackFragment::hasUsableSpan).
    bool hasUsableSpan() const;

private:
    Time m_start;
    Time m_end;
    Time m_position;
    qint32 m_repeat = 1;
    bool m_playVideo = true;
    bool m_playAudio = true;
    QString m_name;
    qint32 m_index = 0;
    QString m_origName;
    float m_volume = 100.0f;
};

} // namespace TW
