#pragma once

#include "core/AudioTrackInfo.h"
#include "core/VideoInputFile.h"

#include <QObject>
#include <QSharedPointer>
#include <QString>
#include <QVector>

#include <functional>
#include <memory>

class QDialog;
class QWidget;

namespace TW {

class Media;
class OptionsHolder;
class MediaTrackFactory;

// Turns one path into the content of the current project: an XML project,
// a project of the old text form, or a media file, told apart by the first
// bytes of the file. A media file is probed, converted once into the
// conversion cache behind a modal progress dialog, and appended as one track;
// an XML project has the files of its tracks found again.
//
// One controller serves one load: make it for a path and a media, call exec
// once, destroy it.
class InputController : public QObject
{
    Q_OBJECT

public:
    // How a load talks to the user. The dialogs live above this layer, so the
    // application installs them at start-up (TrackSelectionDialog does it)
    // and tests install stand-ins. An empty member falls back to the
    // behaviour noted with it.
    struct Interaction
    {
        // Picks one of two or more audio tracks; returns an index into the
        // list. Unset: the first track.
        std::function<int(const QVector<AudioTrackInfo> &)> chooseAudioTrack;
        // Makes the modal dialog shown while a conversion runs (the caller
        // owns it). It must offer the slots setMessage(QString) and
        // setProgress(int) and the signal cancelled(). Unset or null: the
        // conversion runs without a dialog.
        std::function<QDialog *()> makeProgressDialog;
        // Asks for a file to replace a project's missing source (given with
        // its full path); empty when the user gives none. Unset: a file
        // dialog over the main window.
        std::function<QString(const QString &missingSource)> findMissingFile;
        // Shows an information box with a title and a text. Unset: a message
        // box over the main window.
        std::function<void(const QString &title, const QString &text)> inform;
        // Shows a warning box: something went wrong that the user should
        // act on. Unset: inform when that is set, else a warning box over
        // the main window.
        std::function<void(const QString &title, const QString &text)> warn;
        // The main window, parent of the default boxes and file dialog.
        // Unset: no parent.
        std::function<QWidget *()> dialogParent;
    };

    static void setInteraction(const Interaction &interaction);
    static Interaction interaction();

    // True while some controller's exec runs. Events are processed while a
    // conversion runs, so another open may be asked for meanwhile; exec
    // refuses it.
    static bool isBusy();

    // The load fills settings with what it reads (the project's values, the
    // opened file's properties); without one, the settings singleton.
    InputController(const QString &path, QSharedPointer<Media> media, OptionsHolder &settings);
    InputController(const QString &path, QSharedPointer<Media> media);
    ~InputController() override;

    // Loads the path into the media and the per-project settings; true on
    // success. With projectsOnly anything but an XML project is refused;
    // with checkMedia the files of a project's tracks are found again
    // (converted anew or asked for when missing). The factory may be null.
    bool exec(MediaTrackFactory *factory, bool projectsOnly, bool checkMedia);

    // Why the last exec failed, for the caller to show. Empty after success
    // and when the user has already been told (a cancelled or failed
    // conversion, a cancelled search for a missing file).
    QString errorString() const;

public slots:
    void handleVideoConvesionCompleted(const TW::VideoInputFile &file);
    void handleVideoConvesionProgressChanged(const TW::VideoInputFile &file);
    void handleVideoConversionCancelled();

private slots:
    void handleVideoConversionFailed(const TW::VideoInputFile &file);

private:
    class InputControllerImpl;
    std::unique_ptr<InputControllerImpl> d;
};

} // namespace TW
