#include "app/EditController.h"

#include "app/ControllerContext.h"
#include "app/MainController.h"
#include "app/PasteSegmentCommand.h"
#include "app/SilenceSegmentCommand.h"
#include "app/DeleteSegmentCommand.h"
#include "app/VolumeMediaCommand.h"
#include "app/VolumeSegmentCommand.h"
#include "core/Time.h"
#include "dialogs/EditSilenceDialog.h"
#include "dialogs/EditVolumeDialog.h"
#include "model/Media.h"
#include "model/MediaSegment.h"
#include "model/MediaTrackFactory.h"
#include "model/MediaTrackFragment.h"
#include "playback/MediaPlayer.h"
#include "ui/MainWindow.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMessageBox>
#include <QMimeData>
#include <QTime>
#include <QUndoCommand>
#include <QUndoStack>

#include <optional>

namespace TW {

EditController::EditController(ControllerContext &context) : c(context) {}

// The selected section, when there is a project, a usable selection and
// a track that is not locked; null (and a log line saying why) if not.
QSharedPointer<MediaSegment> EditController::selectedForEditing()
{
    if (c.projectEmpty() || !c.mainWindow)
        return {};
    if (c.mainWindow->isVideoLocked() && c.mainWindow->isAudioLocked()) {
        qDebug() << "Both tracks are locked.";
        return {};
    }
    if (!selectionUsable()) {
        qDebug() << "No selection.";
        return {};
    }
    const QSharedPointer<MediaSegment> segment = getSelectedSegment(c.mainWindow->getSelection());
    if (!segment)
        qDebug() << "Null segment.";
    return segment;
}

bool EditController::selectionUsable() const
{
    if (!c.mainWindow)
        return false;
    const PairInt selection = c.mainWindow->getSelection();
    return selection.first != -1 && selection.second != -1 && selection.first != selection.second;
}

// The selected span as a segment of the project; null when the frames
// make no span.
QSharedPointer<MediaSegment> EditController::getSelectedSegment(QPair<int, int> selection) const
{
    qDebug() << "Obtaining segment for selection:" << selection.first << selection.second;
    if (selection.second == -1 || selection.first == -1 || selection.first == selection.second) {
        qDebug() << "Selection is empty. Returning null segment.";
        return {};
    }
    const QSharedPointer<MediaSegment> segment =
        c.media()->getSegment(Time::fromFrameUnits(selection.first), Time::fromFrameUnits(selection.second));
    if (segment)
        qDebug() << "Returning segment:" << *segment;
    else
        qDebug() << "Returning null segment.";
    return segment;
}

// The volume every fragment has, when they all have the same; else the
// unchanged 100 %.
float EditController::wholeProjectVolume() const
{
    const auto fragments = c.media()->getTrackFragments();
    if (fragments.isEmpty())
        return 100.0f;
    const float first = fragments.constFirst()->volume;
    for (const auto &fragment : fragments) {
        if (!sameSetting(fragment->volume, first))
            return 100.0f;
    }
    return first;
}

// The volume of the fragment under the play position. At the very end
// of the project no fragment lies there; a fragment's default, the
// unchanged volume of 100 %, is used then.
float EditController::volumeUnderPosition() const
{
    const qint64 now = qMax<qint64>(0, c.player->getCurrentMediaTime().unitCount);
    if (const QSharedPointer<MediaTrackFragment> fragment =
            c.media()->getTrackForPosition(static_cast<unsigned long long>(now)))
        return fragment->volume;
    qDebug() << "No fragment under the play position.";
    return 100.0f;
}

void EditController::onDelete()
{
    logSlot("onDelete");
    qDebug() << "Begin deleting segment.";
    const QSharedPointer<MediaSegment> segment = selectedForEditing();
    if (!segment)
        return;
    // The play position must not stay inside what goes.
    const qint64 now = c.player->getCurrentMediaTime().unitCount;
    if (now >= segment->start.unitCount && now <= (segment->start + segment->length).unitCount) {
        const qint64 frame = segment->start.toFrameUnits(false);
        c.mainWindow->setCurrentFrame(long(frame));
        c.player->seek((unsigned long)frame, true, true);
    }
    onExecute(new DeleteSegmentCommand(*c.project, segment));
}

void EditController::onCut()
{
    logSlot("onCut");
    qDebug() << "Begin cutting segment.";
    if (c.projectEmpty())
        return;
    onCopy();
    onDelete();
}

void EditController::onCopy()
{
    logSlot("onCopy");
    qDebug() << "Begin copying segment.";
    const QSharedPointer<MediaSegment> segment = selectedForEditing();
    if (!segment)
        return;
    const bool videoLocked = c.mainWindow->isVideoLocked();
    const bool audioLocked = c.mainWindow->isAudioLocked();
    // Only the unlocked tracks are copied.
    if (videoLocked)
        segment->setVideoEnabled(false, true);
    if (audioLocked)
        segment->setAudioEnabled(false, true);
    auto *data = new QMimeData;
    data->setData(QLatin1String(MediaSegment::MimeType), segment->toByteArray());
    QGuiApplication::clipboard()->setMimeData(data, QClipboard::Clipboard);
}

void EditController::onPaste()
{
    logSlot("onPaste");
    qDebug() << "Begin pasting segment.";
    if (!c.mainWindow)
        return;
    const bool videoLocked = c.mainWindow->isVideoLocked();
    const bool audioLocked = c.mainWindow->isAudioLocked();
    if (videoLocked && audioLocked) {
        qDebug() << "Both tracks are locked.";
        return;
    }
    const QMimeData *data = QGuiApplication::clipboard()->mimeData(QClipboard::Clipboard);
    if (!data) {
        qDebug() << "Clipboard does not contain mime data.";
        c.showStatus(MainController::tr("The clipboard holds nothing to paste."));
        return;
    }
    if (!data->hasFormat(QLatin1String(MediaSegment::MimeType))) {
        qDebug() << "Clipboard does not contain Tarnwell data";
        c.showStatus(MainController::tr("The clipboard holds no section of a recording; nothing was pasted."));
        return;
    }
    qDebug() << "Clipboard contains Tarnwell data";
    // The bytes may come from any program: the checked reader takes exactly
    // one well-formed segment or nothing.
    QSharedPointer<MediaSegment> segment(new MediaSegment);
    if (!MediaSegment::fromByteArray(data->data(QLatin1String(MediaSegment::MimeType)), *segment)) {
        qDebug() << "Clipboard data is not a readable segment.";
        c.showStatus(MainController::tr("The clipboard's section could not be read; nothing was pasted."));
        return;
    }
    qDebug() << "Pasting segment:" << *segment;
    if (!((!videoLocked && segment->video) || (!audioLocked && segment->audio))) {
        qDebug() << "Unable to paste any data.";
        return;
    }
    const Time position = Time::fromFrameUnits(qMax(0, c.mainWindow->getCurFrame()));
    onExecute(new PasteSegmentCommand(*c.project, segment, position));
}

void EditController::onVolume()
{
    logSlot("onVolume");
    qDebug() << "Begin applying volume.";
    if (c.projectEmpty() || !c.mainWindow)
        return;
    if (c.mainWindow->isAudioLocked()) {
        qDebug() << "Audio track is locked.";
        return;
    }
    // The dialog starts at the volume in force; a new volume is returned,
    // or none when the user cancels or keeps it.
    auto askVolume = [this](float startVolume) -> std::optional<float> {
        qDebug() << "Volume dialog starts at" << startVolume;
        EditVolumeDialog dialog(c.mainWindow, startVolume);
        if (dialog.exec() != QDialog::Accepted)
            return std::nullopt;
        const float volume = float(dialog.getOptions().getVolume());
        if (sameSetting(volume, startVolume))
            return std::nullopt;
        return volume;
    };
    if (selectionUsable()) {
        qDebug() << "Applying volume to segment.";
        const std::optional<float> volume = askVolume(volumeUnderPosition());
        if (!volume)
            return;
        const PairInt selection = c.mainWindow->getSelection();
        onExecute(new VolumeSegmentCommand(*c.project, Time::fromFrameUnits(selection.first),
                                           Time::fromFrameUnits(selection.second), *volume));
        return;
    }
    qDebug() << "No selection, applying volume to whole project";
    // The whole project's volume lives in its fragments; the project's own
    // volume is the volume slider's level.
    const std::optional<float> volume = askVolume(wholeProjectVolume());
    if (!volume)
        return;
    onExecute(new VolumeMediaCommand(*c.project, *volume));
    c.player->updatePlaybackSettings();
}

void EditController::onInsertSilence()
{
    logSlot("onInsertSilence");
    qDebug() << "Begin inserting silence.";
    if (c.projectEmpty() || !c.mainWindow)
        return;
    if (c.mainWindow->isAudioLocked()) {
        qDebug() << "Audio is locked.";
        return;
    }
    EditSilenceDialog dialog(c.mainWindow);
    if (dialog.exec() != QDialog::Accepted)
        return;
    const float seconds = dialog.getLength();
    qDebug() << "Inserting" << seconds << "seconds of silence.";
    if (seconds >= 3600.0f) {
        QMessageBox::information(c.mainWindow, MainController::tr("Information"),
                                 MainController::tr("You cannot insert more than 1 hour of silence at once."), QMessageBox::Ok);
        return;
    }
    // The silence file is an ordinary source: its sound is known to be
    // silent, so none of it is copied or extracted.
    const QString path = QStringLiteral("%1/silence_1_hour.avi").arg(QCoreApplication::applicationDirPath());
    const qint64 length = qint64(double(seconds) * 1000000.0);
    QSharedPointer<MediaTrackFragment> fragment(new MediaTrackFragment);
    fragment->track = MediaTrackFactory::createMediaTrackFromFile(path, 0);
    fragment->startPosition = Time(0);
    fragment->endPosition = Time(length);
    fragment->timelinePosition = Time(0);
    fragment->repeatCount = 1;
    fragment->playVideo = true;
    fragment->playAudio = false;
    fragment->volume = 100.0f;
    const QSharedPointer<MediaSegment> segment = MediaSegment::createSilence();
    segment->length = Time(length);
    segment->addTrack(fragment);

    Time position(0);
    switch (dialog.getPosition()) {
    case 1:
        position = c.media()->getDuration();
        break;
    case 2:
        position = Time::fromFrameUnits(qMax(0, c.mainWindow->getCurFrame()));
        break;
    default:
        break;
    }
    onExecute(new PasteSegmentCommand(*c.project, segment, position));
}

void EditController::onSilenceSection()
{
    logSlot("onSilenceSection");
    qDebug() << "Begin silencing section.";
    if (c.projectEmpty() || !c.mainWindow)
        return;
    if (c.mainWindow->isAudioLocked()) {
        qDebug() << "Audio is locked.";
        return;
    }
    if (!selectionUsable()) {
        qDebug() << "No selection.";
        return;
    }
    const PairInt selection = c.mainWindow->getSelection();
    onExecute(new SilenceSegmentCommand(*c.project, Time::fromFrameUnits(selection.first),
                                        Time::fromFrameUnits(selection.second)));
}

void EditController::onUndo()
{
    logSlot("onUndo");
    c.undoStack->undo();
}

void EditController::onRedo()
{
    logSlot("onRedo");
    c.undoStack->redo();
}

void EditController::onExecute(QUndoCommand *command)
{
    logSlot("onExecute");
    if (!command)
        return;
    // Every command but a paste (which may fill an empty project) needs a
    // project with a duration.
    if (!dynamic_cast<PasteSegmentCommand *>(command)
        && (!c.media() || c.media()->getTotalDuration() < QTime(0, 0, 0, 1))) {
        qDebug() << "Command execution denied";
        delete command;
        return;
    }
    qDebug() << "Executing command:" << command->text();
    c.undoStack->push(command);
}

void EditController::clearClipboard()
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (!clipboard)
        return;
    // Only our own data goes; what another program put there stays.
    const QMimeData *data = clipboard->mimeData(QClipboard::Clipboard);
    if (data && data->hasFormat(QLatin1String(MediaSegment::MimeType)) && clipboard->ownsClipboard())
        clipboard->clear(QClipboard::Clipboard);
}
} // namespace TW
