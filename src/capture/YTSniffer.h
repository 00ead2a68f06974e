#pragma once

#include "core/ToolProcess.h"

#include <QByteArray>
#include <QDialog>
#include <QHash>
#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QUrl>

class QListWidgetItem;
class QTimer;
namespace Ui { class YTSniffer; }

// The window that downloads a video from the video site with the external
// downloader ("run" beside the executable, a wrapper around yt-dlp). One
// window serves one download: getFile() shows the address page; the
// downloader then runs in turn for the format list, the title and the
// download itself, each run a ToolProcess of the graphical thread whose
// lines and end arrive through the event loop; the downloader and whatever
// it starts (ffmpeg to merge formats) die with the program. The result leaves once, through
// finish(): the downloaded file's path and the chosen format.
//
// Runs are told apart by their exit status: a run killed by Cancel is a
// cancel (error(ProcessKilled), no box), a crash or a non-zero exit is an
// error box, and a program that cannot be started is reported as missing.
// The downloader's output is read in whole lines (a line ends at LF or CR);
// what it writes on its error output goes to the log only.
//
// Graphical thread only.
class YTSniffer : public QDialog
{
    Q_OBJECT

public:
    enum errors {
        ProcessKilled = 0,
        NoBinary = 1,
        EmptyUrl = 2,
        InvalidUrl = 3,
        NotYouTubeUrl = 4,
        FileNameFailed = 5,
        FormatsFailed = 6,
        ContentFailed = 7
    };
    Q_ENUM(errors)
    enum signalOnFinish { ClosedWithoutResult = 0, DownloadOnly = 1, DownloadAndPlay = 2 };
    Q_ENUM(signalOnFinish)
    enum fileFormat { PreferredFormat = 0, ChooseFormat = 1 };
    enum pages { PageSelectURL = 0, PageGetContent = 1, PageSelectFormat = 2 };
    enum updateDateActions { CheckDate = 0, SaveDate = 1 };
    enum steps { StepGetTitle = 0, StepListFormats = 1, StepDownload = 2, StepUpdate = 3 };

    explicit YTSniffer(QWidget *parent = nullptr);
    ~YTSniffer() override;

    // Opens the window on the address page for one download into folder
    // (the save dialog's start folder) and returns at once.
    void getFile(YTSniffer::fileFormat mode, QString folder);

    // ---- Readers of text, pure ----
    // What one format list yields: the preferred format (18 unless a line
    // ends in "(best)"), each format's columns, each shown row's format,
    // and the rows in the order shown (last line of the list first).
    struct FormatList
    {
        int preferred = 18;
        QHash<int, QStringList> formats;
        QHash<QString, int> ids;
        QStringList rows;
    };
    static FormatList parseFormatList(const QStringList &lines);
    // The whole percentage of a progress line ("[download]  45.3% of ..."),
    // 0 for a "[download]" line whose second word is no number, or -1 for
    // any other line.
    static int percentOf(const QString &line);
    // The version word (the first beginning with "2") of a line, or empty.
    static QString versionIn(const QString &line);
    // The address typed, checked: only http and https addresses with a host
    // pass; *problem is set to EmptyUrl or InvalidUrl otherwise.
    static QUrl checkedUrl(const QString &text, YTSniffer::errors *problem);
    static bool isVideoSiteHost(const QUrl &url);
    // A file name (no folder) made from a title: no path separators, no
    // control characters, none of the characters "-<:>?*|\"'`", single
    // blanks, no leading dot, never empty, at most 200 bytes in UTF-8.
    static QString safeFileName(const QString &title);
    // The output path as the downloader's template ("%" written "%%").
    static QString outputTemplate(const QString &path);
    // "VUR V.2.1.0930 [version]".
    static QString windowTitleFor(const QString &version);
    // The downloader settings file, in the application's settings folder.
    static QString settingsFilePath();
    // Where the downloader ("run") and "update.sh" are: beside the
    // executable, else in the installed program's private folder.
    static QString bundleFile(const QString &name);
    // Tests only: look for "run" and "update.sh" in this folder instead.
    static void setProgramFolder(const QString &folder);
    // The line of the downloader's error output that tells why a run failed:
    // its last "ERROR:" line, else its last line; empty for no output.
    static QString downloaderErrorLine(const QStringList &errorLines);
    // Whether that line says the site could not be reached (no connection,
    // a name that does not resolve, a refused or timed-out connection).
    static bool siteUnreachable(const QString &errorLine);

    // ---- State, for the controller and tests ----
    int getStep() const { return step; }
    int getFormatId() const { return formatId; }
    int getExitCode() const { return exitCode; }
    bool isProcessRunning() const { return processRunning; }
    QString getOutputPath() const { return outputPath; }
    QString getVideoTitle() const { return videoTitle; }
    QString getProgramPath() const { return programPath; }
    YTSniffer::signalOnFinish getFinishKind() const { return finishKind; }
    QHash<int, QStringList> getFormats() const { return formats; }

signals:
    void showLayer(int page);
    void error(YTSniffer::errors error);
    void finish(YTSniffer::signalOnFinish status, QStringList data);

private slots:
    // Address check and readers of the runs' output.
    void parseURL();
    void parseIDs();
    void parsePercents(const QString &line);
    // Runs of the downloader.
    void startProgressBar_byTimer();
    void iterateProgressBar();
    void youtubeDL_Start();
    void youtubeDL_Line(const QString &line);
    void youtubeDL_Finish(TW::ToolProcess::Verdict verdict);
    void cancelProcess();
    // The window.
    void listItemSelect();
    void listItemDblClick(QListWidgetItem *item);
    void startYTSnifferUpdate();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void setNewGeometry(YTSniffer::pages page);
    void showPage(YTSniffer::pages page);
    void sendSignalOut();
    void showError(YTSniffer::errors error, QMessageBox::Icon icon, QStringList details);
    void lastUpdateDate(YTSniffer::updateDateActions action);
    void saveYTDLastVersion(const QString &line);
    void setVURWindowTitle();
    void setOutputFileName();
    QString getFileExtension() const;
    void stopProgressBar();
    void failRun(YTSniffer::errors error);
    void keepError(const QString &said);
    void handleLine(QString line);

    Ui::YTSniffer *ui = nullptr;
    YTSniffer::fileFormat fileFormatMode = PreferredFormat;
    int step = StepGetTitle;
    YTSniffer::signalOnFinish finishKind = ClosedWithoutResult;
    QUrl url;
    QTimer *progressTimer = nullptr;
    QPointer<TW::ToolProcess> process;
    QString programPath;
    QString videoTitle;
    QString outputPath;
    QString saveFolder;
    QHash<int, QStringList> formats;
    QHash<QString, int> formatIds;
    int progressStep = 0;
    int exitCode = 0;
    int formatId = 0;
    bool processRunning = false;
    bool signalSent = false;
    // The current run's output lines.
    QStringList runLines;
    // The current run's error output, in lines (the last ones only).
    QStringList runErrors;
};
