// The video download window: its readers as tables of canned output, and
// whole runs against stand-ins for the downloader (success, failures,
// crash, cancel, missing program, update check).
#include "DownloaderStandIn.h"
#include "TestEnv.h"
#include "capture/YTSniffer.h"

#include <QApplication>
#include <QDate>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QtTest>

using TW::test::DownloaderStandIn;
using TW::test::WindowAnswerer;

namespace {

const char OlderList[] = "[youtube] abc: Downloading webpage\n"
                         "[info] Available formats for abc:\n"
                         "format code extension resolution  note\n"
                         "140         m4a       audio only  DASH audio , audio@128k (worst)\n"
                         "17          3gp       176x144     small , mp4v.20.3\n"
                         "18          mp4       640x360     medium , avc1.42001E\n"
                         "22          mp4       1280x720    hd720 , avc1.64001F (best)\n";

const char YtDlpList[] =
    "[youtube] Extracting URL: https://www.youtube.com/watch?v=abc\n"
    "[info] Available formats for abc:\n"
    "ID  EXT   RESOLUTION FPS CH \xe2\x94\x82   FILESIZE   TBR PROTO \xe2\x94\x82 VCODEC  ACODEC  MORE INFO\n"
    "\xe2\x94\x80\xe2\x94\x80\xe2\x94\x80\xe2\x94\x80\xe2\x94\x80\xe2\x94\x80\n"
    "sb0 mhtml 48x27        0    \xe2\x94\x82                  mhtml \xe2\x94\x82 images  storyboard\n"
    "139 m4a   audio only      2 \xe2\x94\x82    1.23MiB   49k https \xe2\x94\x82 audio only  mp4a.40.5 low, m4a_dash\n"
    "18  mp4   640x360     25  2 \xe2\x94\x82 \xe2\x89\x88  9.38MiB  174k https \xe2\x94\x82 avc1.42001E mp4a.40.2 360p\n"
    "160 mp4   256x144     25    \xe2\x94\x82    2.10MiB   83k https \xe2\x94\x82 avc1.4d400c video only 144p\n"
    "22  mp4   1280x720    25  2 \xe2\x94\x82 \xe2\x89\x88 30.00MiB  560k https \xe2\x94\x82 avc1.64001F mp4a.40.2 720p\n";

} // namespace

class tst_YTSniffer : public QObject
{
    Q_OBJECT

    DownloaderStandIn standIn;
    QTemporaryDir saveRoot;

    template <typename T> static T *child(YTSniffer &w, const char *name) { return w.findChild<T *>(name); }
    static int page(YTSniffer &w) { return child<QStackedWidget>(w, "stackedWidget")->currentIndex(); }

    // The update check counts as done today, so opening runs nothing.
    static void updatedToday(bool yes)
    {
        QSettings s(YTSniffer::settingsFilePath(), QSettings::IniFormat);
        if (yes)
            s.setValue("update", QDate::currentDate().toJulianDay());
        else
            s.remove("update");
    }

    // Opens a window, types the address and presses one of the buttons.
    static void start(YTSniffer &w, const QString &folder, YTSniffer::fileFormat mode, const QString &address,
                      const char *button = "btnGetURL_forDownloadPlay")
    {
        w.getFile(mode, folder);
        child<QLineEdit>(w, "lineEditURL")->setText(address);
        child<QPushButton>(w, button)->click();
    }

private slots:
    void initTestCase()
    {
        TW::test::isolateHome();
        YTSniffer::setProgramFolder(standIn.folder());
    }

    void init()
    {
        standIn.reset();
        standIn.setFormats(QString::fromUtf8(OlderList));
        updatedToday(true);
    }

    void formatLists_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("preferred");
        QTest::addColumn<QList<int>>("ids");
        QTest::addColumn<QString>("firstRow");
        QTest::newRow("older layout") << QString::fromUtf8(OlderList) << 22 << QList<int>{22, 18, 17}
                                      << "22          mp4       1280x720    hd720 , avc1.64001F (best)";
        QTest::newRow("yt-dlp layout") << QString::fromUtf8(YtDlpList) << 18 << QList<int>{22, 18}
                                       << QString::fromUtf8("22  mp4   1280x720    25  2 \xe2\x94\x82 \xe2\x89\x88 "
                                                            "30.00MiB  560k https \xe2\x94\x82 avc1.64001F "
                                                            "mp4a.40.2 720p");
        QTest::newRow("(best) before a blank") << "18 mp4 640x360 x\n22 mp4 1280x720 (best) \n" << 18
                                               << QList<int>{22, 18} << "22 mp4 1280x720 (best)";
        QTest::newRow("nothing usable") << "ERROR: no video\n  18 mp4 indented\n0 x y\n-5 a b\n" << 18 << QList<int>{}
                                        << QString();
    }

    void formatLists()
    {
        QFETCH(QString, text);
        QFETCH(int, preferred);
        QFETCH(QList<int>, ids);
        QFETCH(QString, firstRow);
        const YTSniffer::FormatList list = YTSniffer::parseFormatList(text.split('\n'));
        QCOMPARE(list.preferred, preferred);
        QCOMPARE(list.rows.size(), ids.size());
        for (int i = 0; i < ids.size(); ++i)
            QCOMPARE(list.ids.value(list.rows.at(i)), ids.at(i));
        QCOMPARE(list.formats.size(), ids.size());
        if (!ids.isEmpty()) {
            QCOMPARE(list.rows.first(), firstRow);
            QCOMPARE(list.formats.value(ids.first()).value(1), QString("mp4"));
        }
    }

    void percentages_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("percent");
        QTest::newRow("older") << "[download]  45.3% of 10.00MiB at 1.00MiB/s ETA 00:05" << 45;
        QTest::newRow("whole") << "[download] 100% of 10.00MiB in 00:10" << 100;
        QTest::newRow("word") << "[download] Destination: a.mp4" << 0;
        QTest::newRow("alone") << "[download]" << -1;
        QTest::newRow("other") << "[youtube] abc: Downloading webpage" << -1;
        QTest::newRow("huge") << "[download] 1e300%" << 0;
        QTest::newRow("nan") << "[download] nan%" << 0;
    }

    void percentages()
    {
        QFETCH(QString, line);
        QFETCH(int, percent);
        QCOMPARE(YTSniffer::percentOf(line), percent);
    }

    void versions_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("version");
        QTest::newRow("plain") << "Updating to version 2014.02.06" << "2014.02.06";
        QTest::newRow("ours") << "Updating to version 2023.03.04 (kept up to date by the package manager)"
                              << "2023.03.04";
        QTest::newRow("none") << "yt-dlp is up to date" << QString();
    }

    void versions()
    {
        QFETCH(QString, line);
        QFETCH(QString, version);
        QCOMPARE(YTSniffer::versionIn(line), version);
        QCOMPARE(YTSniffer::windowTitleFor("2014.02.06"), QString("VUR V.2.1.0930 [2014.02.06]"));
    }

    void addresses_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("problem"); // -1: accepted
        QTest::addColumn<bool>("videoSite");
        QTest::newRow("empty") << "   " << int(YTSniffer::EmptyUrl) << false;
        QTest::newRow("watch") << "https://www.youtube.com/watch?v=abc" << -1 << true;
        QTest::newRow("no scheme") << "youtube.com/watch?v=abc" << -1 << true;
        QTest::newRow("upper-case host") << "HTTPS://WWW.YOUTUBE.COM/watch?v=abc" << -1 << true;
        QTest::newRow("short link") << "http://youtu.be/abc" << -1 << true;
        QTest::newRow("other site") << "http://example.org/v.mp4" << -1 << false;
        QTest::newRow("look-alike") << "http://youtube.com.example.org/" << -1 << false;
        QTest::newRow("ftp") << "ftp://youtube.com/a" << int(YTSniffer::InvalidUrl) << false;
        QTest::newRow("file") << "file:///etc/passwd" << int(YTSniffer::InvalidUrl) << false;
        QTest::newRow("javascript") << "javascript:alert(1)" << int(YTSniffer::InvalidUrl) << false;
    }

    void addresses()
    {
        QFETCH(QString, text);
        QFETCH(int, problem);
        QFETCH(bool, videoSite);
        YTSniffer::errors found = YTSniffer::ProcessKilled;
        const QUrl url = YTSniffer::checkedUrl(text, &found);
        if (problem >= 0) {
            QVERIFY(url.isEmpty());
            QCOMPARE(int(found), problem);
            return;
        }
        QVERIFY(url.isValid());
        QVERIFY(url.scheme() == "http" || url.scheme() == "https");
        QCOMPARE(YTSniffer::isVideoSiteHost(url), videoSite);
    }

    void fileNames_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("name");
        QTest::newRow("colon, hyphen, quotes") << "Song: \"Live\"  - take  2" << "Song Live take 2";
        QTest::newRow("percent") << "50% off" << "50% off";
        QTest::newRow("slash") << "AC/DC" << "AC DC";
        QTest::newRow("climbing") << "../../etc/passwd" << "etc passwd";
        QTest::newRow("dots only") << ".." << "video";
        QTest::newRow("leading hyphen") << "-rf now" << "rf now";
        QTest::newRow("control characters") << "a\tb\nc\x01" "d" << "a b c d";
        QTest::newRow("unicode") << QString::fromUtf8("Café – 東京") << QString::fromUtf8("Café – 東京");
        QTest::newRow("empty") << "" << "video";
    }

    void fileNames()
    {
        QFETCH(QString, title);
        QFETCH(QString, name);
        QCOMPARE(YTSniffer::safeFileName(title), name);
        // Long titles are cut to a name the file system takes, whole characters only.
        const QString cut = YTSniffer::safeFileName(QString(300, QChar(0x6771)));
        QVERIFY(cut.toUtf8().size() <= 200);
        QCOMPARE(cut, QString(cut.size(), QChar(0x6771)));
        QCOMPARE(YTSniffer::outputTemplate("/a/100%/b%s.mp4"), QString("/a/100%%/b%%s.mp4"));
    }

    // Our wrapper hands every argument to yt-dlp unchanged; update.sh
    // reports yt-dlp's version in the line the window reads.
    void bundledScripts()
    {
        QTemporaryDir fake;
        QFile ytdlp(QDir(fake.path()).filePath("yt-dlp"));
        QVERIFY(ytdlp.open(QIODevice::WriteOnly));
        ytdlp.write("#!/bin/sh\nif [ \"$1\" = --version ]; then echo 2024.04.09; exit 0; fi\n"
                    "printf '<%s>' \"$@\"; exit 7\n");
        ytdlp.close();
        ytdlp.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("PATH", fake.path() + ":/usr/bin:/bin");

        QProcess run;
        run.setProcessEnvironment(env);
        run.start(QDir(TW::test::binDir()).filePath("run"), {"--format", "18", "-o", "a b%%.mp4", "--", "-x"});
        QVERIFY(run.waitForFinished(10000));
        QCOMPARE(run.exitCode(), 7);
        QCOMPARE(run.readAllStandardOutput(), QByteArray("<--format><18><-o><a b%%.mp4><--><-x>"));

        QProcess update;
        update.setProcessEnvironment(env);
        update.start(QDir(TW::test::binDir()).filePath("update.sh"), {});
        QVERIFY(update.waitForFinished(10000));
        QCOMPARE(update.exitCode(), 0);
        const QString said = QString::fromUtf8(update.readAllStandardOutput()).trimmed();
        QVERIFY(said.contains("Updating to version"));
        QCOMPARE(YTSniffer::versionIn(said), QString("2024.04.09"));

        // Without yt-dlp both fail, so the failure is told.
        env.insert("PATH", fake.path() + "/none:/nonexistent");
        QProcess missing;
        missing.setProcessEnvironment(env);
        missing.start(QDir(TW::test::binDir()).filePath("update.sh"), {});
        QVERIFY(missing.waitForFinished(10000));
        QVERIFY(missing.exitCode() != 0);
    }

    void opensOnTheAddressPage()
    {
        YTSniffer w;
        QCOMPARE(w.windowTitle(), YTSniffer::windowTitleFor(QString()));
        w.getFile(YTSniffer::ChooseFormat, saveRoot.path());
        QVERIFY(w.isVisible());
        QCOMPARE(page(w), int(YTSniffer::PageSelectURL));
        QCOMPARE(w.size(), QSize(260, 200));
        QVERIFY(standIn.runs().isEmpty());
        QCOMPARE(w.getProgramPath(), QDir(standIn.folder()).filePath("run"));
    }

    void missingOrUnusableProgram()
    {
        WindowAnswerer answers;
        QTemporaryDir empty;
        YTSniffer::setProgramFolder(empty.path());
        {
            // Missing: told when the window opens; no update run.
            updatedToday(false);
            YTSniffer w;
            QSignalSpy errors(&w, &YTSniffer::error);
            w.getFile(YTSniffer::ChooseFormat, saveRoot.path());
            QCOMPARE(errors.count(), 1);
            QCOMPARE(errors.at(0).at(0).value<YTSniffer::errors>(), YTSniffer::NoBinary);
            QCOMPARE(answers.seen.size(), 1);
            QCOMPARE(answers.seen.at(0).title, QString("ERROR: No YTSniffer binary"));
            QVERIFY(answers.seen.at(0).text.contains(QDir(empty.path()).filePath("run")));
            QVERIFY(answers.seen.at(0).text.endsWith("Error ID : #1</div>"));
            QCOMPARE(child<QProgressBar>(w, "progressBar")->value(), 100);
        }
        // Present but not executable: told when the run cannot start,
        // instead of waiting for ever.
        QFile run(QDir(empty.path()).filePath("run"));
        QVERIFY(run.open(QIODevice::WriteOnly));
        run.write("#!/bin/sh\nexit 0\n");
        run.close();
        updatedToday(true);
        answers.seen.clear();
        YTSniffer w;
        QSignalSpy errors(&w, &YTSniffer::error);
        start(w, saveRoot.path(), YTSniffer::ChooseFormat, "https://youtu.be/abc");
        QTRY_COMPARE(errors.count(), 1);
        QCOMPARE(errors.at(0).at(0).value<YTSniffer::errors>(), YTSniffer::NoBinary);
        QTRY_COMPARE(answers.seen.size(), 1);
        QVERIFY(!w.isProcessRunning());
        YTSniffer::setProgramFolder(standIn.folder());
    }

    void addressErrors_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("message");
        QTest::newRow("empty") << "" << "ERROR: YouTube URL" << "YouTube URL is empty";
        QTest::newRow("not http") << "ftp://youtube.com/x" << "ERROR: YouTube URL" << "URL is not valid";
    }

    void addressErrors()
    {
        QFETCH(QString, address);
        QFETCH(QString, title);
        QFETCH(QString, message);
        WindowAnswerer answers;
        YTSniffer w;
        start(w, saveRoot.path(), YTSniffer::ChooseFormat, address);
        QCOMPARE(w.getFinishKind(), YTSniffer::DownloadAndPlay);
        QCOMPARE(answers.seen.size(), 1);
        QCOMPARE(answers.seen.at(0).title, title);
        QVERIFY(answers.seen.at(0).text.startsWith("<b>YouTube URL</b><br><br>" + message));
        QVERIFY(standIn.runs().isEmpty());
    }

    // The whole road: formats, a choice, the title, the save dialog, the
    // download; a title and a folder with characters that need care.
    void downloadsIntoTheChosenFolder()
    {
        WindowAnswerer answers;
        const QString folder = saveRoot.filePath("my-videos 100%");
        QVERIFY(QDir().mkpath(folder));
        qputenv("STANDIN_TITLE", QString::fromUtf8("50% of ../../etc/passwd -youtube-dl- «Ünï»").toUtf8());
        const QString address = "https://www.youtube.com/watch?v=-o%20x";

        YTSniffer w;
        QSignalSpy finished(&w, &YTSniffer::finish);
        QSignalSpy errors(&w, &YTSniffer::error);
        start(w, folder, YTSniffer::ChooseFormat, address);
        QTRY_COMPARE(page(w), int(YTSniffer::PageSelectFormat));
        QCOMPARE(w.size(), QSize(300, 220));
        auto *list = child<QListWidget>(w, "listWidget");
        QCOMPARE(list->count(), 3);
        QVERIFY(list->item(0)->text().startsWith("22 "));
        list->setCurrentRow(1); // 18
        child<QPushButton>(w, "btnOkSelectFormat")->click();

        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 20000);
        QVERIFY2(errors.isEmpty(), "no error");
        QCOMPARE(answers.seen.size(), 1);
        const WindowAnswerer::Seen dialog = answers.seen.at(0);
        QVERIFY(dialog.fileDialog);
        QCOMPARE(QDir(dialog.directory).absolutePath(), QDir(folder).absolutePath());
        QCOMPARE(dialog.proposedName, QString::fromUtf8("50% of .. .. etc passwd YTSniffer «Ünï»"));
        QCOMPARE(dialog.filters.first(), QString("MP4 (*.mp4)"));
        QCOMPARE(dialog.filters.size(), 2); // mp4 and 3gp

        const QString expected = QDir(folder).filePath(dialog.proposedName + ".mp4");
        QCOMPARE(finished.at(0).at(0).value<YTSniffer::signalOnFinish>(), YTSniffer::DownloadAndPlay);
        QCOMPARE(finished.at(0).at(1).toStringList(), (QStringList{expected, "18", "mp4", "640x360"}));
        QFile file(expected);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("data"));
        QCOMPARE(child<QProgressBar>(w, "progressBar")->value(), 100);
        // Progress lines ending in CR are lines of their own, as is the
        // last one that ends the output without a line end.
        const QString pane = child<QPlainTextEdit>(w, "plainTextEdit")->toPlainText();
        QVERIFY2(pane.contains("[download]  12.5% of 1.00MiB\n[download]  45.3% of 1.00MiB\n"
                               "[download]  99.9% of 1.00MiB"), qPrintable(pane));

        const QList<QStringList> runs = standIn.runs();
        QCOMPARE(runs.size(), 3);
        const QString sent = QUrl(address).toString(QUrl::FullyEncoded);
        QCOMPARE(runs.at(0), (QStringList{"--list-formats", "--", sent}));
        QCOMPARE(runs.at(1), (QStringList{"--get-title", "--", sent}));
        QCOMPARE(runs.at(2), (QStringList{"--newline", "--format", "18", "-o", YTSniffer::outputTemplate(expected),
                                          "--", sent}));
        // Closing afterwards sends nothing more.
        w.close();
        QCOMPARE(finished.count(), 1);
    }

    void cancelOnTheFormatPageKillsNothing()
    {
        YTSniffer w;
        QSignalSpy errors(&w, &YTSniffer::error);
        start(w, saveRoot.path(), YTSniffer::ChooseFormat, "youtu.be/abc");
        QTRY_COMPARE(page(w), int(YTSniffer::PageSelectFormat));
        child<QPushButton>(w, "btnCancelSelectFormat")->click();
        QCOMPARE(page(w), int(YTSniffer::PageSelectURL));
        QTest::qWait(100);
        QVERIFY(errors.isEmpty());
        // "Select" with no row chosen does nothing.
        child<QListWidget>(w, "listWidget")->setCurrentRow(-1);
        QMetaObject::invokeMethod(&w, "listItemSelect");
        QCOMPARE(page(w), int(YTSniffer::PageSelectURL));
        QCOMPARE(standIn.runs().size(), 1);
    }

    void updateShortcut()
    {
        YTSniffer w;
        w.getFile(YTSniffer::ChooseFormat, saveRoot.path());
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.activateWindow();
        QTest::keyClick(&w, Qt::Key_U, Qt::ControlModifier);
        QCOMPARE(w.getStep(), int(YTSniffer::StepUpdate));
        QTRY_COMPARE(standIn.runs(), (QList<QStringList>{{"update 0"}}));
        QTRY_COMPARE(page(w), int(YTSniffer::PageSelectURL));
    }

    void preferredFormatWithoutAsking()
    {
        WindowAnswerer answers;
        qputenv("STANDIN_TITLE", "clip");
        YTSniffer w;
        QSignalSpy finished(&w, &YTSniffer::finish);
        start(w, saveRoot.path(), YTSniffer::PreferredFormat, "youtu.be/abc", "btnGetURL_forDownload");
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 20000);
        QCOMPARE(finished.at(0).at(0).value<YTSniffer::signalOnFinish>(), YTSniffer::DownloadOnly);
        QCOMPARE(finished.at(0).at(1).toStringList().mid(1), (QStringList{"22", "mp4", "1280x720"}));
        QCOMPARE(standIn.runs().at(2).mid(1, 2), (QStringList{"--format", "22"}));
    }

    void cancelledSaveDialogDownloadsNothing()
    {
        WindowAnswerer answers;
        answers.useNextName = true; // nextName empty: Cancel
        YTSniffer w;
        QSignalSpy finished(&w, &YTSniffer::finish);
        start(w, saveRoot.path(), YTSniffer::PreferredFormat, "youtu.be/abc");
        QTRY_COMPARE(answers.seen.size(), 1);
        QTRY_COMPARE(page(w), int(YTSniffer::PageSelectURL));
        QCOMPARE(standIn.runs().size(), 2);
        QVERIFY(finished.isEmpty());
    }

    // Failures of each run: a non-zero exit and a crash are error boxes
    // naming the run and, when the downloader said why, its own line, with
    // the site's being out of reach said plainly; nothing is handed on and
    // the bar does not stand at 100 %.
    void failedRuns_data()
    {
        QTest::addColumn<QByteArray>("how");
        QTest::addColumn<QByteArray>("which");
        QTest::addColumn<int>("error");
        QTest::addColumn<QString>("heading");
        QTest::addColumn<QByteArray>("said");
        QTest::addColumn<bool>("unreachable");
        const QByteArray offline = "ERROR: [youtube] abc: Unable to download API page: <urlopen error [Errno -3] "
                                   "Temporary failure in name resolution>";
        QTest::newRow("formats exit 3") << QByteArray("STANDIN_FAIL") << QByteArray("list")
                                        << int(YTSniffer::FormatsFailed) << "Error in getting file formats"
                                        << QByteArray() << false;
        QTest::newRow("formats, no connection")
            << QByteArray("STANDIN_FAIL") << QByteArray("list") << int(YTSniffer::FormatsFailed)
            << "Error in getting file formats" << offline << true;
        QTest::newRow("title exit 3") << QByteArray("STANDIN_FAIL") << QByteArray("title")
                                      << int(YTSniffer::FileNameFailed) << "Error in getting file name"
                                      << QByteArray("WARNING: slow\nERROR: Video unavailable <private>\nbye") << false;
        QTest::newRow("download exit 3") << QByteArray("STANDIN_FAIL") << QByteArray("download")
                                         << int(YTSniffer::ContentFailed) << "Error in getting file content"
                                         << QByteArray("ERROR: unable to download video data: HTTP Error 403")
                                         << false;
        QTest::newRow("download crashes") << QByteArray("STANDIN_CRASH") << QByteArray("download")
                                          << int(YTSniffer::ContentFailed) << "Error in getting file content"
                                          << QByteArray() << false;
        QTest::newRow("formats crash") << QByteArray("STANDIN_CRASH") << QByteArray("list")
                                       << int(YTSniffer::FormatsFailed) << "Error in getting file formats"
                                       << QByteArray() << false;
    }

    void failedRuns()
    {
        QFETCH(QByteArray, how);
        QFETCH(QByteArray, which);
        QFETCH(int, error);
        QFETCH(QString, heading);
        QFETCH(QByteArray, said);
        QFETCH(bool, unreachable);
        if (!said.isEmpty())
            qputenv("STANDIN_SAY", said);
        qputenv(how.constData(), which);
        qputenv("STANDIN_CODE", "3");
        qputenv("STANDIN_TITLE", "clip");
        WindowAnswerer answers;
        YTSniffer w;
        QSignalSpy finished(&w, &YTSniffer::finish);
        QSignalSpy errors(&w, &YTSniffer::error);
        start(w, saveRoot.path(), YTSniffer::PreferredFormat, "youtu.be/abc");
        QTRY_COMPARE_WITH_TIMEOUT(errors.count(), 1, 20000);
        QCOMPARE(int(errors.at(0).at(0).value<YTSniffer::errors>()), error);
        QTRY_VERIFY(!answers.seen.isEmpty());
        const WindowAnswerer::Seen box = answers.seen.last();
        QCOMPARE(box.title, "ERROR: " + heading);
        QVERIFY(box.text.contains("We got an error while getting download file info<br>ExitCode: #"));
        if (how == "STANDIN_FAIL") {
            QCOMPARE(w.getExitCode(), 3);
            QVERIFY(box.text.contains("ExitCode: #3"));
        }
        // The downloader's own reason: its last "ERROR:" line, escaped.
        const QString line = YTSniffer::downloaderErrorLine(QString::fromUtf8(said).split('\n', Qt::SkipEmptyParts));
        if (!said.isEmpty()) {
            QVERIFY(line.startsWith("ERROR:"));
            QVERIFY2(box.text.contains("The downloader said:<br><tt>" + line.toHtmlEscaped() + "</tt>"),
                     qPrintable(box.text));
        }
        QCOMPARE(box.text.contains("The site could not be reached."), unreachable);
        QVERIFY(box.text.endsWith(QString("Error ID : #%1</div>").arg(error)));
        QCOMPARE(page(w), int(YTSniffer::PageGetContent));
        QCOMPARE(child<QProgressBar>(w, "progressBar")->value(), 0);
        QVERIFY(finished.isEmpty());
        // Cancel leads back to the address page, and nothing follows.
        child<QPushButton>(w, "btnCancelProcess")->click();
        QCOMPARE(page(w), int(YTSniffer::PageSelectURL));
        QTest::qWait(100);
        QCOMPARE(errors.count(), 1);
    }

    void cancelStopsARun()
    {
        qputenv("STANDIN_SLEEP", "list");
        WindowAnswerer answers;
        YTSniffer w;
        QSignalSpy errors(&w, &YTSniffer::error);
        start(w, saveRoot.path(), YTSniffer::ChooseFormat, "youtu.be/abc");
        QTRY_COMPARE(standIn.runs().size(), 1);
        QCOMPARE(page(w), int(YTSniffer::PageGetContent));
        QElapsedTimer clock;
        clock.start();
        child<QPushButton>(w, "btnCancelProcess")->click();
        QCOMPARE(page(w), int(YTSniffer::PageSelectURL));
        QTRY_COMPARE_WITH_TIMEOUT(errors.count(), 1, 20000);
        // Well before the stand-in's 30 s sleep ends by itself.
        QVERIFY(clock.elapsed() < 20000);
        QCOMPARE(errors.at(0).at(0).value<YTSniffer::errors>(), YTSniffer::ProcessKilled);
        QVERIFY(answers.seen.isEmpty());
    }

    void closingSendsTheResultOnce()
    {
        YTSniffer w;
        QSignalSpy finished(&w, &YTSniffer::finish);
        w.getFile(YTSniffer::ChooseFormat, saveRoot.path());
        w.close();
        QCOMPARE(finished.count(), 1);
        QCOMPARE(finished.at(0).at(0).value<YTSniffer::signalOnFinish>(), YTSniffer::ClosedWithoutResult);
        QCOMPARE(finished.at(0).at(1).toStringList(), (QStringList{"", "", "", ""}));
        w.show();
        w.close();
        QCOMPARE(finished.count(), 1);
    }

    void updateOncePerDay()
    {
        WindowAnswerer answers;
        updatedToday(false);
        QVERIFY(!QFile::exists("settings"));
        {
            YTSniffer w;
            w.getFile(YTSniffer::ChooseFormat, saveRoot.path());
            QCOMPARE(page(w), int(YTSniffer::PageGetContent));
            QCOMPARE(w.size(), QSize(300, 200));
            QTRY_COMPARE(page(w), int(YTSniffer::PageSelectURL));
            QCOMPARE(standIn.runs(), (QList<QStringList>{{"update 0"}}));
            QCOMPARE(w.windowTitle(), QString("VUR V.2.1.0930 [2023.01.02]"));
        }
        // The settings live in the application's settings folder.
        QVERIFY(!QFile::exists("settings"));
        QSettings stored(YTSniffer::settingsFilePath(), QSettings::IniFormat);
        QCOMPARE(stored.value("update").toLongLong(), QDate::currentDate().toJulianDay());
        QCOMPARE(stored.value("version").toString(), QString("2023.01.02"));
        {
            YTSniffer w;
            w.getFile(YTSniffer::ChooseFormat, saveRoot.path());
            QTest::qWait(200);
            QCOMPARE(standIn.runs().size(), 1);
        }
        // A day stored as a day of the year (an older form) is not today.
        {
            QSettings s(YTSniffer::settingsFilePath(), QSettings::IniFormat);
            s.setValue("update", QDate::currentDate().dayOfYear());
        }
        // A failed update keeps the stored day, so the next opening tries again.
        qputenv("STANDIN_FAIL", "update");
        qputenv("STANDIN_VERSION", "2099.09.09");
        {
            YTSniffer w;
            QSignalSpy errors(&w, &YTSniffer::error);
            w.getFile(YTSniffer::ChooseFormat, saveRoot.path());
            QTRY_COMPARE(errors.count(), 1);
            QCOMPARE(errors.at(0).at(0).value<YTSniffer::errors>(), YTSniffer::ContentFailed);
            QCOMPARE(answers.seen.last().title, QString("ERROR: Error in getting file content"));
        }
        QSettings after(YTSniffer::settingsFilePath(), QSettings::IniFormat);
        QCOMPARE(after.value("update").toInt(), QDate::currentDate().dayOfYear());
    }
};

QTEST_MAIN(tst_YTSniffer)
#include "tst_YTSniffer.moc"
