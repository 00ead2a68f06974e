#pragma once

#include "io/ExportOptions.h"
#include "ui/PairInt.h"

#include <QObject>
#include <QPoint>
#include <QRectF>
#include <QSharedPointer>
#include <QSize>
#include <QStringList>
#include <QTime>
#include <memory>

class QUndoCommand;
class QUndoStack;

namespace TW {

class ExportOptions;
class MainWindow;
class Media;
class MediaPlayer;
class Project;
class SnifferController;
class VideoLoop;

// The one object that owns the open project, the player, the undo stack and
// the main window, and on which every user command lands.
class MainController : public QObject
{
    Q_OBJECT
public:
    MainController();
    ~MainController() override;

    // Builds the main window and starts the interactive run.
    void exec();
    // First step of shut-down, after the event loop has returned.
    void release();

    MainWindow *getMainWindow() const;
    QSharedPointer<Media> getMedia() const;
    // The open project: its media, settings and the signals of their changes.
    Project *getProject() const;
    QSharedPointer<MediaPlayer> getMediaPlayer() const;
    SnifferController *getSnifferController() const;
    QUndoStack *getUndoStack() const;

    // The file opened once the window shows (the last call wins).
    void setFileToOpenAfterLaunch(const QString &path);
    QString getFileToOpenAfterLaunch() const;

    void updateTimeline();

    // Asks about unsaved changes before the window closes: Save (closes
    // once written), Discard or Cancel. True when the window may close.
    bool confirmClose();

    // Where a window asked to stand at p is placed on a screen area: p, or
    // (0, 0) when p is less than 50 pixels inside the right or bottom edge.
    static QPoint windowTarget(const QPoint &p, const QRect &available);
    // The window title for the values shown in it.
    static QString makeWindowTitle(const QString &appName, const QString &fileName, const QString &size,
                                   int width, int height, double fps, int videoBitrate, int sampleRate);
    // The arguments a second instance gets from a window at pos.
    static QStringList newInstanceArguments(const QPoint &pos);

public slots:
    void openFile(const QString &name);
    void saveCurrentProject();
    void saveCurrentProjectAs();
    void ripFiles(const QStringList &sources, const QStringList &destinations);
    // Exports with the export dialog's options: the whole project, the loop
    // under the play position, every loop. Each returns when the export has
    // ended.
    void exportAll(TW::ExportOptions options);
    void exportCurrentLoop(TW::ExportOptions options);
    void exportAllLoops(TW::ExportOptions options);
    void clearCachedData(const QString &path);
    void onTempoChanged(float tempo);
    void onPitchChanged(float pitch);
    void onDelete();
    void onCut();
    void onCopy();
    void onPaste();
    void onVolume();
    void onInsertSilence();
    void onSilenceSection();
    void onUndo();
    void onRedo();
    void onLoopDeleted(QSharedPointer<TW::VideoLoop> loop);
    void onVoumeChanged(int volume);
    void onStopVideo();
    void onPlayVideo();
    void onPauseVideo();
    void onPlaybackTimeChanged(QTime time);
    void onPlaybackFrameChanged(quint32 frame);
    void onLoopAdded(QSharedPointer<TW::VideoLoop> loop);
    void onSelectionChanged(TW::PairInt selection);
    void onTimeSliderReleased();
    void onTimeSliderPressed();
    void onExecute(QUndoCommand *command);
    void onVideoZoomIn();
    void onVideoZoomOut();
    void onVideoZoom(QRectF area);
    void onVideoZoom(float value);
    void onSizeCustomClicked();
    void onSizeMostRecentClicked();
    void onSizeOriginalClicked();
    void onSizeClicked(QSize size);
    void onVideoPlayableChanged(bool playable);
    void onAudioPlayableChanged(bool playable);
    void onVideoLockChanged(bool locked);
    void onAudioLockChanged(bool locked);
    void clearClipboard();
    void onPrint();
    void onHelpUserGuideClicked();
    void onHelpQuickStartGuideClicked();
    void onHelpTrainingVideosClicked();
    void onHelpHelpDeskClicked();
    void onHelpAboutClicked();
    void openNewInstance();
    void toggleLogger();

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace TW
