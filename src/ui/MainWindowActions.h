#pragma once

#include "io/ExportOptions.h"
#include "ui/PairInt.h"

#include <QRectF>
#include <QSharedPointer>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QTime>

class QUndoCommand;
class QWidget;

namespace TW {

class Media;
class MediaTimeLine;
class Project;
class VideoLoop;
class VideoMarker;

// What the main window asks of the application. The window holds one of
// these (not owned) from the moment it is made and reaches the rest of the
// program through it alone; the application's side implements it by
// forwarding to its controller, a test by recording the calls.
class MainWindowActions
{
public:
    virtual ~MainWindowActions() = default;

    // The open project, read by the window to show it; null while there is
    // none.
    virtual QSharedPointer<Media> media() const = 0;
    // Where new loops and bookmarks are allocated: the open project's
    // timeline, null while there is none.
    virtual QSharedPointer<MediaTimeLine> timeline() const = 0;
    // The owner of the open project's state, which answers the tempo and
    // pitch in force at a frame; null while there is none.
    virtual const Project *project() const = 0;
    virtual bool isPlaying() const = 0;

    // Files, export, printing.
    virtual void openFile(const QString &path) = 0;
    virtual void saveProject() = 0;
    virtual void saveProjectAs() = 0;
    virtual void ripFiles(const QStringList &sources, const QStringList &destinations) = 0;
    virtual void exportAll(const ExportOptions &options) = 0;
    virtual void exportCurrentLoop(const ExportOptions &options) = 0;
    virtual void exportAllLoops(const ExportOptions &options) = 0;
    virtual void print() = 0;
    // Forgets what was made from a file before (its file has been replaced).
    virtual void clearCachedData(const QString &path) = 0;
    // Asked before the window closes: true when it may close.
    virtual bool confirmClose() = 0;
    // The video download window.
    virtual void openVideoDownloader() = 0;

    // The values of the play position's part of the project.
    virtual void setTempo(float tempo) = 0;
    virtual void setPitch(float pitch) = 0;
    virtual void setVolume(int volume) = 0;

    // Edits of the selection; undo and redo.
    virtual void deleteSelection() = 0;
    virtual void cutSelection() = 0;
    virtual void copySelection() = 0;
    virtual void paste() = 0;
    virtual void changeSelectionVolume() = 0;
    virtual void insertSilence() = 0;
    virtual void silenceSelection() = 0;
    virtual void undo() = 0;
    virtual void redo() = 0;

    // Transport.
    virtual void play() = 0;
    virtual void pause() = 0;
    virtual void stop() = 0;
    virtual void seekToFrame(quint32 frame) = 0;
    virtual void seekToTime(QTime time) = 0;
    virtual void positionSliderPressed() = 0;
    virtual void positionSliderReleased() = 0;
    virtual void selectionChanged(PairInt selection) = 0;

    // The video view's zoom and the picture's size.
    virtual void zoomIn() = 0;
    virtual void zoomOut() = 0;
    virtual void zoomToArea(QRectF area) = 0;
    virtual void setZoom(float value) = 0;
    virtual void useCustomSize() = 0;
    virtual void useMostRecentSize() = 0;
    virtual void useOriginalSize() = 0;
    virtual void useSize(QSize size) = 0;

    // The tracks' switches on the timeline.
    virtual void setVideoPlayable(bool playable) = 0;
    virtual void setAudioPlayable(bool playable) = 0;
    virtual void setVideoLocked(bool locked) = 0;
    virtual void setAudioLocked(bool locked) = 0;

    // Loops and bookmarks change through undo commands: the window gets the
    // command for a gesture and sends it on its execute signal (a null
    // command is not sent). The caller owns what is returned.
    virtual QUndoCommand *addBookmarkCommand(const QSharedPointer<VideoMarker> &bookmark) = 0;
    virtual QUndoCommand *editBookmarkCommand(const QSharedPointer<VideoMarker> &before,
                                              const QSharedPointer<VideoMarker> &bookmark,
                                              const QSharedPointer<VideoMarker> &after) = 0;
    virtual QUndoCommand *removeBookmarkCommand(const QSharedPointer<VideoMarker> &bookmark) = 0;
    virtual QUndoCommand *addLoopCommand(const QSharedPointer<VideoLoop> &loop) = 0;
    virtual QUndoCommand *editLoopCommand(const QSharedPointer<VideoLoop> &before, const QSharedPointer<VideoLoop> &loop,
                                          const QSharedPointer<VideoLoop> &after) = 0;
    virtual QUndoCommand *removeLoopCommand(const QSharedPointer<VideoLoop> &loop) = 0;
    virtual QUndoCommand *removeAllLoopsCommand() = 0;

    // Help, another program window, the log window.
    virtual void showUserGuide() = 0;
    virtual void showQuickStartGuide() = 0;
    virtual void showTrainingVideos() = 0;
    virtual void showHelpDesk() = 0;
    virtual void showAbout() = 0;
    virtual void openNewInstance() = 0;
    virtual void toggleLogger() = 0;
};

} // namespace TW
