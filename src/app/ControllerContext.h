#pragma once

#include <QDebug>
#include <QSharedPointer>
#include <QString>

#include <cmath>

class QUndoStack;

namespace TW {

class MainController;
class MainWindow;
class Media;
class MediaPlayer;
class Project;

// What the controller's parts share: the controller that owns them, its
// window, the project, the player and the undo stack. The controller fills
// it and keeps it current (a failed open replaces the player); the parts
// read it at every call and never keep a copy.
struct ControllerContext
{
    MainController *owner = nullptr;
    MainWindow *mainWindow = nullptr;
    Project *project = nullptr;
    QSharedPointer<MediaPlayer> player;
    QUndoStack *undoStack = nullptr;

    // The project's media (never null).
    QSharedPointer<Media> media() const;
    bool projectEmpty() const;
    // Tempo, pitch and volume are no undo commands, yet they change what a
    // save writes: after one the stack has no clean state until the next
    // save, so closing the project asks about them.
    void markChanged();
    // A new project is the clean state. An empty stack ignores clear(), so
    // a clean state dropped by a settings change is set again explicitly.
    void clearUndoStack();
    void showStatus(const QString &text, int milliseconds = 5000);
};

// The log line every slot of the controller starts with.
inline void logSlot(const char *name)
{
    qDebug().noquote() << QStringLiteral("MainController::%1").arg(QLatin1String(name));
}

inline const char *const ProjectSuffix = ".twp";

// Tempo, pitch and volume values that differ by less than this are the same.
inline bool sameSetting(float a, float b)
{
    return std::fabs(a - b) < 0.001f;
}

} // namespace TW
