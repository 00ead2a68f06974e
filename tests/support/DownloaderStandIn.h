#pragma once

#include <QDir>
#include <QFile>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>

class QWidget;

namespace TW::test {

// A folder holding stand-ins for the downloader "run" and "update.sh". What
// they do is set through the environment (the runs inherit it):
//   STANDIN_LOG      every run appends its arguments, one a line, then "----"
//   STANDIN_FORMATS  the file that --list-formats prints
//   STANDIN_TITLE    what --get-title prints
//   STANDIN_FAIL     list | title | download | update: that run exits with
//                    STANDIN_CODE (default 1), after printing STANDIN_SAY (when
//                    set) on its error output
//   STANDIN_CRASH    list | title | download: that run kills itself with SIGSEGV
//   STANDIN_SLEEP    list | title | download: that run sleeps for 30 s
//   STANDIN_VERSION  what update.sh reports
//   STANDIN_SOURCE   the file the download copies (else it writes "data")
// The download writes at the path after "-o" (with "%%" read as "%")
// and prints progress lines ending in CR and LF.
class DownloaderStandIn
{
public:
    DownloaderStandIn();
    QString folder() const { return dir.path(); }
    // Each run's arguments, in order.
    QList<QStringList> runs() const;
    void setFormats(const QString &text);
    // Clears every STANDIN_ variable but the log and the format file.
    void reset();

private:
    QTemporaryDir dir;
};

// Answers the modal boxes and save dialogs the window opens: boxes with Ok,
// save dialogs with the name they propose (or the one given), recording
// what was shown.
class WindowAnswerer
{
public:
    WindowAnswerer();
    struct Seen
    {
        bool fileDialog = false;
        QString title;
        QString text;
        QString proposedName;
        QString directory;
        QStringList filters;
    };
    QList<Seen> seen;
    // When set, the next save dialog gets this name instead; "" cancels.
    QString nextName;
    bool useNextName = false;

private:
    QTimer timer;
    void check();
};

} // namespace TW::test
