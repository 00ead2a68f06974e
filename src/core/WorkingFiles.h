#pragma once

#include <QString>
#include <QStringList>

namespace TW {

// The working files a run of this program makes beside the user's files or
// in its temporary folders (an export's ".name-XXXXXX.mp4" beside its
// output and its "export-XXXXXX" folder, a DVD conversion's
// ".name.XXXXXX.mp4", a frame extraction's "frames-XXXXXX" folder),
// recorded so that those left by a run that was killed are removed at the
// next start.
//
// Each running instance keeps a journal of its own in the journal folder:
// "<pid>.list" (one percent-encoded path a line) and "<pid>.lock", a file
// the instance holds an flock() on while it runs (the kernel lets go of it
// when the process ends, however it ends). At start, the journals of
// instances whose lock is no longer held are read and their entries
// removed, but only entries whose name has the form of one of the
// program's working files; a journal of an instance still running is never
// touched, and nothing is ever removed by its name alone.
//
// Thread-safe.
class WorkingFiles
{
public:
    WorkingFiles() = delete;

    // The journal folder: "<application data>/working" unless set (tests).
    static void setFolder(const QString &folder);
    static QString folder();

    // Records a working file or folder of this instance; call it as soon as
    // its name is known, before anything is written into it.
    static void add(const QString &path);
    // Forgets it, once it has been renamed into place or removed.
    static void remove(const QString &path);

    // Removes what instances that are no longer running left behind; the
    // paths removed. Called once at start.
    static QStringList removeLeftovers();

    // Whether the name has the form of one of our working files or folders.
    static bool isWorkingName(const QString &fileName);

    // Records a path for the lifetime of the object (set() when its name is
    // known; declared before the object that makes the file, so the file is
    // gone before it is forgotten).
    class Entry
    {
    public:
        Entry() = default;
        explicit Entry(const QString &path) { set(path); }
        ~Entry() { clear(); }
        Entry(const Entry &) = delete;
        Entry &operator=(const Entry &) = delete;
        void set(const QString &path);
        void clear();

    private:
        QString m_path;
    };
};

} // namespace TW
