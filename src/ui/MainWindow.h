#pragma once

#include "ui/PairInt.h"

#include <QImage>
#include <QMainWindow>
#include <QRectF>
#include <QSharedPointer>
#include <QSize>
#include <QStringList>
#include <QTime>
#include <memory>

class QMenu;
class QMouseEvent;
class QSlider;
class QUndoCommand;
class Tarnwell2SnifferWindow;

namespace TW {

class AbstractThumbnail;
class AudioThumbnailWidget;
class EditVideoWidget;
class MainWindowActions;
class TimeAreaWidget;
class TimelineWidget;
class TopToolbarWidget;
class VideoControlsWidget;
class VideoLoop;
class VideoMarker;
class VideoThumbnailWidget;
class VideoWidget;

// The one top-level window: toolbar, side panel, video view with its
// position slider, transport controls, timeline and status bar. Every signal
// of its children becomes a call of one of its actions, or an undo command
// the actions make for it, sent on its execute signal.
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    // actions must outlive the window.
    MainWindow(MainWindowActions *actions, QWidget *parent = nullptr, Qt::WindowFlags flags = {});
    ~MainWindow() override;

    bool isVideoLocked() const;
    bool isAudioLocked() const;
    PairInt getSelection() const;
    int getCurFrame() const;
    QSharedPointer<VideoLoop> getCurLoop() const;
    QWidget *getRenderingWidget() const;
    bool isMaximized() const;

    // Where a window of the given size and position goes on a screen's
    // available area: no larger than the area, moved in so that all of it
    // shows. frame is what the window manager adds around the window (its
    // title bar and borders).
    static QRect fitToScreen(const QRect &window, const QRect &available, const QMargins &frame);

    // The children, for the controller, the commands and tests.
    TopToolbarWidget *getTopToolbar() const;
    EditVideoWidget *getEditVideoWidget() const;
    VideoWidget *getVideoWidget() const;
    VideoControlsWidget *getVideoControls() const;
    TimeAreaWidget *getTimeArea() const;
    TimelineWidget *getTimeline() const;
    QSlider *getMasterSlider() const;
    QMenu *getAspectResizeMenu() const;
    // The sniffed-media window while one exists.
    Tarnwell2SnifferWindow *getSnifferWindow() const;
    // Whether the toolbar or the timeline section is collapsed.
    bool isToolbarCollapsed() const;
    bool isTimelineCollapsed() const;

    // A new thumbnail (start and length in frames) on the video row or, with
    // a waveform picture, on the audio row; the row owns it.
    VideoThumbnailWidget *addThumbnail(int start, int length, QString name, QImage image);
    AudioThumbnailWidget *addThumbnail(int start, int length, QImage wave);

public slots:
    void setWindowTitle(const QString &title);
    void setDuration(QTime duration, double fps);
    void setCurrentFrame(long frame);
    void setCurrentTime(QTime time);
    void addLoop(QSharedPointer<TW::VideoLoop> loop);
    void removeLoop(QSharedPointer<TW::VideoLoop> loop);
    void addBookmark(QSharedPointer<TW::VideoMarker> bookmark);
    void removeBookmark(QSharedPointer<TW::VideoMarker> bookmark);
    void updateLoops();
    void updateBookmarks();
    void clearLoops();
    void clearBookmarks();
    void clearTmpLoops();
    void clearSelection();
    void updateTempoPitch();
    void setSizeMostRecent(QSize size);
    void setSizeCustom(QSize size);
    void setSizeOriginal(QSize size);
    void setCanUndo(bool enabled);
    void setCanRedo(bool enabled);
    void setOpenedFiles(const QStringList &files);
    void setVideoLocked(bool locked);
    void setVideoPlayable(bool playable);
    void setAudioPlayable(bool playable);
    void setAudioLocked(bool locked);
    void setZoom(float zoom);
    void removeThumbnail(TW::AbstractThumbnail *thumbnail);
    void updateThumbnails();

signals:
    // An undo command of a loop or bookmark gesture (made by the actions) or
    // of the ruler; whoever receives it owns it.
    void execute(QUndoCommand *command);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void showEvent(QShowEvent *event) override;

private slots:
    void onOpenButtonClicked();
    void onSaveButtonClicked();
    void onExportButtonClicked();
    void onRipButtonClicked();
    void onAspectResizeButtonClicked();
    void onSnifferButtonClicked();
    void onSnifferYoutubeButtonClicked();
    void onSnifferDownloadFinish(const QString &path);
    void onSnifferWindowClosed();
    void onSnifferBackgroundClicked();
    void onOptionButtonClicked();
    void onHelpButtonClicked();
    void onPrinterButtonClicked();
    void onExportEntireVideoClicked();
    void onExportCurrentLoopClicked();
    void onExportAllLoopsClicked();
    void onUndo();
    void onRedo();
    void onMarkerButtonClicked();
    void onOpenFileClicked(const QString &path);
    void onSizeCustomClicked();
    void onSizeMostRecentClicked();
    void onSizeOriginalClicked();
    void onSizeClicked(QSize size);
    void onNewInstanceButtonClicked();
    void onToggleTopToolbarClicked();
    void onToggleTimelineClicked();
    void onTempoChanged(float tempo);
    void onPitchChanged(float pitch);
    void onVoumeChanged(int volume);
    void onDelete();
    void onCut();
    void onCopy();
    void onPaste();
    void onVolume();
    void onInsertSilence();
    void onSilenceSection();
    void onStartLoop();
    void onEndLoop();
    void onEditLoop();
    void onDeleteLoop();
    void onPreviousLoop();
    void onNextLoop();
    void onPreviousMarker();
    void onNextMarker();
    void onAdvanceByOneSec();
    void onAdvanceByTenthSec();
    void onAdvanceByQuarterSec();
    void onAdvanceByFrame();
    void onRewindByOneSec();
    void onRewindByTenthSec();
    void onRewindByQuarterSec();
    void onRewindByFrame();
    void onStopVideo();
    void onPlayVideo();
    void onPauseVideo();
    void onZoomSliderChanged(int value);
    void onVideoZoomIn();
    void onVideoZoomOut();
    void onVideoZoom(QRectF area);
    void onPlaybackFrameChanged(int frame);
    void onMasterTimelineValueChanged(int frame);
    void onSliderPressed();
    void onSliderReleased();
    void onPlaybackTimeChanged(QTime time);
    void onTimelineValueChanged(int frame);
    void onSelectionChanged(TW::PairInt selection);
    void onVideoPlayableChanged(bool playable);
    void onAudioPlayableChanged(bool playable);
    void onVideoLockChanged(bool locked);
    void onAudioLockChanged(bool locked);
    void onThumbnailClicked(TW::AbstractThumbnail *thumbnail);
    void rebuildAspectResizeMenu();

private:
    void installSources();
    void jumpMasterSliderTo(QMouseEvent *event);
    struct MainWindowImpl;
    std::unique_ptr<MainWindowImpl> d;
};

} // namespace TW
