#pragma once

#include <QByteArray>
#include <QString>

namespace TW {

// File names that are not valid UTF-8 (a Latin-1 "caf\xe9.mp4" on a UTF-8
// system). Qt decodes such a name with a replacement character, and the
// decoded path no longer names the file: it "does not exist" for QFile,
// ffprobe, ffmpeg and libvlc alike.
//
// openablePath() finds the file the decoded path stood for by reading the
// folders' raw entries, and gives a path every part of the program can
// open: a symbolic link with a valid name, in a folder of its own under the
// application data folder, pointing at the file's real bytes. The same file
// always gets the same link.
class RawFileName
{
public:
    RawFileName() = delete;

    // The raw bytes of the one existing path that decodes to path; empty
    // when there is none, or more than one (two names that decode alike).
    static QByteArray findRawPath(const QString &path);

    // path itself when it exists; else a link to the file it stands for;
    // empty when there is no such file.
    static QString openablePath(const QString &path);

    // Where the links are made: "<application data>/names" unless set
    // (tests).
    static void setLinkFolder(const QString &folder);
};

} // namespace TW
