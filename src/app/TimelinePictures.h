#pragma once

#include <QHash>
#include <QImage>
#include <QMultiHash>
#include <QObject>
#include <QSet>
#include <QSharedPointer>
#include <QString>
#include <QThreadPool>

namespace TW {

class AbstractThumbnail;
class AudioThumbnailWidget;
struct ControllerContext;
struct MediaTrackFragment;
class VideoThumbnailWidget;

// The timeline's pictures of the open project: each fragment shows a frame
// on the video row and its slice of the track's waveform on the audio row.
// The widgets appear at once; the pictures are made on a pool of their own
// and set when they arrive. A fragment that stays gets its widgets moved,
// never made again.
class TimelinePictures : public QObject
{
    Q_OBJECT
public:
    explicit TimelinePictures(ControllerContext &context);
    // Waits for the picture jobs still running; their results have nowhere
    // to go.
    ~TimelinePictures() override;

    // The window shows the project's duration and one pair of pictures per
    // fragment of its edit list.
    void updateTimeline();

private:
    // The slice of the track's waveform the fragment covers, drawn at the
    // fragment's volume: quieter waves centred, louder ones cropped.
    static QImage getAudioWaveFragment(const QSharedPointer<MediaTrackFragment> &fragment, const QImage &wave);

    void showFragmentThumbnails();
    static QString thumbName(const QSharedPointer<MediaTrackFragment> &fragment);
    void addVideoThumb(const QSharedPointer<MediaTrackFragment> &fragment);
    void addAudioThumb(const QSharedPointer<MediaTrackFragment> &fragment);
    void updateThumb(const QSharedPointer<MediaTrackFragment> &fragment);
    void deleteThumb(const QSharedPointer<MediaTrackFragment> &fragment);
    void requestFrame(const QSharedPointer<MediaTrackFragment> &fragment, VideoThumbnailWidget *thumb);
    void showWave(const QSharedPointer<MediaTrackFragment> &fragment, AudioThumbnailWidget *thumb);

    ControllerContext &c;
    QMultiHash<QSharedPointer<MediaTrackFragment>, AbstractThumbnail *> thumbnails;
    QHash<AbstractThumbnail *, QString> frameShown; // the frame a video thumbnail shows or waits for
    QHash<QString, QImage> waves;                   // a track file's whole waveform
    QSet<QString> wavesPending;
    QThreadPool picturePool;
};

} // namespace TW
