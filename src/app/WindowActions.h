#pragma once

#include "ui/MainWindowActions.h"

#include <QObject>

namespace TW {

class MainController;

// The main window's actions as the controller carries them out: each is a
// call of one of the controller's slots, and the loop and bookmark gestures
// become the application's undo commands. The project shown is the
// controller's; new loops and bookmarks go to the running application's
// timeline, as the commands that add them do. Made by the controller, whose
// child it is, before the window it serves.
class WindowActions : public QObject, public MainWindowActions
{
    Q_OBJECT
public:
    explicit WindowActions(MainController *controller);
    ~WindowActions() override;

    QSharedPointer<Media> media() const override;
    QSharedPointer<MediaTimeLine> timeline() const override;
    const Project *project() const override;
    bool isPlaying() const override;

    void openFile(const QString &path) override;
    void saveProject() override;
    void saveProjectAs() override;
    void ripFiles(const QStringList &sources, const QStringList &destinations) override;
    void exportAll(const ExportOptions &options) override;
    void exportCurrentLoop(const ExportOptions &options) override;
    void exportAllLoops(const ExportOptions &options) override;
    void print() override;
    void clearCachedData(const QString &path) override;
    bool confirmClose() override;
    void openVideoDownloader() override;

    void setTempo(float tempo) override;
    void setPitch(float pitch) override;
    void setVolume(int volume) override;

    void deleteSelection() override;
    void cutSelection() override;
    void copySelection() override;
    void paste() override;
    void changeSelectionVolume() override;
    void insertSilence() override;
    void silenceSelection() override;
    void undo() override;
    void redo() override;

    void play() override;
    void pause() override;
    void stop() override;
    void seekToFrame(quint32 frame) override;
    void seekToTime(QTime time) override;
    void positionSliderPressed() override;
    void positionSliderReleased() override;
    void selectionChanged(PairInt selection) override;

    void zoomIn() override;
    void zoomOut() override;
    void zoomToArea(QRectF area) override;
    void setZoom(float value) override;
    void useCustomSize() override;
    void useMostRecentSize() override;
    void useOriginalSize() override;
    void useSize(QSize size) override;

    void setVideoPlayable(bool playable) override;
    void setAudioPlayable(bool playable) override;
    void setVideoLocked(bool locked) override;
    void setAudioLocked(bool locked) override;

    QUndoCommand *addBookmarkCommand(const QSharedPointer<VideoMarker> &bookmark) override;
    QUndoCommand *editBookmarkCommand(const QSharedPointer<VideoMarker> &before,
                                      const QSharedPointer<VideoMarker> &bookmark,
                                      const QSharedPointer<VideoMarker> &after) override;
    QUndoCommand *removeBookmarkCommand(const QSharedPointer<VideoMarker> &bookmark) override;
    QUndoCommand *addLoopCommand(const QSharedPointer<VideoLoop> &loop) override;
    QUndoCommand *editLoopCommand(const QSharedPointer<VideoLoop> &before, const QSharedPointer<VideoLoop> &loop,
                                  const QSharedPointer<VideoLoop> &after) override;
    QUndoCommand *removeLoopCommand(const QSharedPointer<VideoLoop> &loop) override;
    QUndoCommand *removeAllLoopsCommand() override;

    void showUserGuide() override;
    void showQuickStartGuide() override;
    void showTrainingVideos() override;
    void showHelpDesk() override;
    void showAbout() override;
    void openNewInstance() override;
    void toggleLogger() override;

private:
    // The running application's controller where there is one (help, new
    // windows and the log belong to the application), else this one.
    MainController *applicationController() const;

    MainController *m_controller;
};

} // namespace TW
