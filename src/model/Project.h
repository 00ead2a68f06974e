#pragma once

#include "core/Time.h"
#include "model/MediaTimeLine.h"
#include "model/PlaybackSettings.h"

#include <QList>
#include <QObject>
#include <QSharedPointer>
#include <QSize>
#include <QVector>

#include <functional>

namespace TW {

class Media;
class MediaSegment;
struct MediaTrackFragment;
class OptionsHolder;
class VideoLoop;
class VideoMarker;

// The open project: its media (the edit list and the timeline with loops,
// bookmarks and the track switches) and its settings (kept in the settings
// singleton, OptionsHolder, which stays their storage and file form). Every
// change to them is made here and announced here; views, the player and the
// timeline pictures follow the signals instead of being told one by one.
//
// One object lives as long as the controller; an open hands it the loaded
// media. Graphical thread only.
class Project : public QObject
{
    Q_OBJECT
public:
    // The locks the edits obey, video and audio.
    struct TrackLocks
    {
        bool video = false;
        bool audio = false;
    };

    explicit Project(QObject *parent = nullptr);
    ~Project() override;

    // The project made by the running controller; null before there is one.
    // Only for callers that make commands without a project at hand.
    static Project *current();
    static void setCurrent(Project *project);

    QSharedPointer<Media> media() const;
    QSharedPointer<MediaTimeLine> timeline() const;
    const OptionsHolder &settings() const;
    bool isEmpty() const;

    // ---- opening --------------------------------------------------------
    // The settings storage for the opening path to fill while it loads a
    // file (nothing else writes through it).
    OptionsHolder &settingsForLoading();
    // The loaded media becomes the project. Announced as one replacement
    // (and new settings): the opening path shows the new project itself.
    void setMedia(QSharedPointer<Media> media);

    // ---- tempo, pitch, volume -------------------------------------------
    // The values in force at the frame: the loop's whose range holds it,
    // else the project's.
    PlaybackValues valuesAt(qint64 frame) const;
    // What playback reads: taken anew after every change.
    PlaybackSettingsPtr playbackSettings() const;
    // Tempo and pitch belong to the loop at the frame, or else to the
    // project. True when the stored value changed.
    bool setTempoAt(qint64 frame, float tempo);
    bool setPitchAt(qint64 frame, float pitch);
    // The project's own volume (the volume slider's level).
    bool setVolume(float volume);

    // ---- picture size ---------------------------------------------------
    void setVideoSize(QSize size, QSize aspectRatio);

    // ---- track switches -------------------------------------------------
    bool setVideoLocked(bool locked);
    bool setAudioLocked(bool locked);
    bool setVideoPlayable(bool playable);
    bool setAudioPlayable(bool playable);
    // Where the edits take the locks from (the window's switches); without
    // one, the timeline's flags.
    void setLockSource(std::function<TrackLocks()> source);
    TrackLocks locks() const;

    // ---- edit list ------------------------------------------------------
    // The fragments become the edit list, laid out anew.
    void replaceFragments(const QList<QSharedPointer<MediaTrackFragment>> &fragments);
    // Runs the change on the media, then announces the edit list once.
    void changeEditList(const std::function<void(Media &)> &change);
    // The section start..end cut out, changed and put back at its place;
    // false (and nothing changed) when there is no such section.
    bool changeSection(Time start, Time end, const std::function<void(MediaSegment &)> &change);
    // Every fragment plays at this volume; told at once to what plays.
    void setFragmentVolumes(float volume);

    // ---- loops and bookmarks --------------------------------------------
    void addLoop(const QSharedPointer<VideoLoop> &loop);
    void removeLoop(const QSharedPointer<VideoLoop> &loop);
    // The loop takes the values (its identity stays).
    void changeLoop(const QSharedPointer<VideoLoop> &loop, const VideoLoop &values);
    // Removes every loop and returns them in start order.
    QVector<QSharedPointer<VideoLoop>> removeAllLoops();
    void addBookmark(const QSharedPointer<VideoMarker> &bookmark);
    void removeBookmark(const QSharedPointer<VideoMarker> &bookmark);
    void changeBookmark(const QSharedPointer<VideoMarker> &bookmark, const VideoMarker &values);
    // Frames first..last taken out of the loops and bookmarks (see
    // MediaTimeLine::cutFrames).
    void cutFrames(qint64 first, qint64 last, QVector<QSharedPointer<VideoLoop>> *removedLoops,
                   QVector<QSharedPointer<VideoMarker>> *removedBookmarks);
    // Loops and bookmarks at or after the pivot move by amount frames.
    void shiftFrames(qint64 pivot, qint64 amount);
    // Back to an earlier state; the loops and bookmarks an edit had removed
    // are shown again.
    void restoreFrames(const MediaTimeLine::FrameState &state,
                       const QVector<QSharedPointer<VideoLoop>> &removedLoops = {},
                       const QVector<QSharedPointer<VideoMarker>> &removedBookmarks = {});
    // An edit proposes this span as the selection (after a delete: its
    // place; after its undo: the span again).
    void proposeSelection(qint64 first, qint64 last);

signals:
    // A new media: everything changed (see setMedia).
    void mediaReplaced();
    void editListChanged();
    // Only the fragments' volumes changed.
    void fragmentVolumesChanged();
    void loopAdded(QSharedPointer<TW::VideoLoop> loop, qint64 first, qint64 last);
    void loopRemoved(QSharedPointer<TW::VideoLoop> loop, qint64 first, qint64 last);
    void loopChanged(QSharedPointer<TW::VideoLoop> loop, qint64 first, qint64 last);
    void loopsCleared(QVector<QSharedPointer<TW::VideoLoop>> loops);
    void bookmarkAdded(QSharedPointer<TW::VideoMarker> bookmark, qint64 frame);
    void bookmarkRemoved(QSharedPointer<TW::VideoMarker> bookmark, qint64 frame);
    void bookmarkChanged(QSharedPointer<TW::VideoMarker> bookmark, qint64 frame);
    // Loops and bookmarks moved by an edit of the edit list; loops lists
    // the loops there were before it.
    void framesMoved(QVector<QSharedPointer<TW::VideoLoop>> loops);
    // Tempo, pitch or volume changed for the frames first..last; last is -1
    // for the project's own values (every frame outside the loops).
    void settingsChanged(qint64 first, qint64 last);
    // After any change of what playback reads.
    void playbackSettingsChanged(TW::PlaybackSettingsPtr settings);
    void videoSizeChanged(QSize size, QSize aspectRatio);
    void locksChanged(bool video, bool audio);
    void playableChanged(bool video, bool audio);
    void selectionProposed(qint64 first, qint64 last);

private:
    void publishSettings();

    QSharedPointer<Media> m_media;
    std::function<TrackLocks()> m_lockSource;
};

} // namespace TW
