// The sniffer controller between the main controller and the video download
// window (with a stand-in downloader), and the main window's sniffer
// entries: the YouTube entry and the background switch.
#include "DownloaderStandIn.h"
#include "LogCapture.h"
#include "TestEnv.h"
#include "TestMedia.h"

#include "app/Application.h"
#include "app/MainController.h"
#include "app/SnifferController.h"
#include "capture/Tarnwell2SnifferWindow.h"
#include "capture/YTSniffer.h"
#include "core/Options.h"
#include "model/Media.h"
#include "ui/MainWindow.h"
#include "ui/TopToolbarWidget.h"

#include <QAction>
#include <QDate>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QSettings>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QtTest>

using namespace TW;
using TW::test::DownloaderStandIn;
using TW::test::WindowAnswerer;

namespace {

std::vector<std::string> noInterfaces() { return {}; }

// Lines of the log that name one of the controller's slots, in order.
QStringList controllerSteps()
{
    QStringList out;
    for (const QString &line : TW::test::logLines()) {
        for (const char *name : {"clearCachedData", "openFile", "onPlayVideo"}) {
            if (line.startsWith(QStringLiteral("MainController::") + QLatin1String(name)))
                out << QLatin1String(name);
        }
    }
    return out;
}

} // namespace

class tst_SnifferController : public QObject
{
    Q_OBJECT

    DownloaderStandIn standIn;
    QTemporaryDir media;
    QString clip;
    MainController *controller = nullptr;

    SnifferController *sniffer() const { return controller->getSnifferController(); }

    // Opens a window through the controller and runs it up to the save
    // dialog's answer; returns the window.
    YTSniffer *startDownload(const char *button)
    {
        sniffer()->exec();
        YTSniffer *w = sniffer()->getSniffer();
        if (!w)
            return nullptr;
        w->findChild<QLineEdit *>("lineEditURL")->setText("https://youtu.be/abc");
        w->findChild<QPushButton *>(button)->click();
        auto *pages = w->findChild<QStackedWidget *>("stackedWidget");
        if (!QTest::qWaitFor([&] { return pages->currentIndex() == YTSniffer::PageSelectFormat; }, 10000))
            return nullptr;
        w->findChild<QListWidget *>("listWidget")->setCurrentRow(0);
        w->findChild<QPushButton *>("btnOkSelectFormat")->click();
        return w;
    }

private slots:
    void initTestCase()
    {
        controller = Application::instance()->getMainController();
        controller->exec();
        TW::test::installLogCapture();
        Tarnwell2SnifferWindow::setInterfaceLister(noInterfaces);
        YTSniffer::setProgramFolder(standIn.folder());
        clip = TW::test::TestMedia::make(TW::test::TestMedia::VideoStereo, media.path(), 1.0);
        QVERIFY(!clip.isEmpty());
        QVERIFY(QDir().mkpath(Options::instance()->getPath(SnifferFolder)));
        standIn.setFormats("18 mp4 640x360 medium\n22 mp4 1280x720 hd720 (best)\n");
        QSettings s(YTSniffer::settingsFilePath(), QSettings::IniFormat);
        s.setValue("update", QDate::currentDate().toJulianDay());
    }

    void cleanupTestCase()
    {
        TW::test::removeLogCapture();
        Tarnwell2SnifferWindow::stopSniffers();
    }

    void init()
    {
        standIn.reset();
        qputenv("STANDIN_TITLE", "clip");
        qputenv("STANDIN_SOURCE", clip.toLocal8Bit());
        TW::test::clearLog();
    }

    void closedBeforeChoosing()
    {
        const QString before = Options::instance()->getLastPath(SnifferFolder);
        sniffer()->exec();
        QPointer<YTSniffer> w = sniffer()->getSniffer();
        QVERIFY(w && w->isVisible());
        QVERIFY(w->parent() == nullptr);
        w->close();
        QTRY_VERIFY(!w);
        QVERIFY(controllerSteps().isEmpty());
        QCOMPARE(Options::instance()->getLastPath(SnifferFolder), before);
    }

    void downloadAndPlay()
    {
        WindowAnswerer answers;
        QPointer<YTSniffer> w = startDownload("btnGetURL_forDownloadPlay");
        QVERIFY(w);
        QTRY_VERIFY_WITH_TIMEOUT(!w, 20000);
        // No last folder yet: the dialog started in the configured one.
        QCOMPARE(answers.seen.size(), 1);
        const QString folder = Options::instance()->getPath(SnifferFolder);
        QCOMPARE(QDir(answers.seen.at(0).directory).absolutePath(), QDir(folder).absolutePath());
        QCOMPARE(controllerSteps(), (QStringList{"clearCachedData", "openFile", "onPlayVideo"}));
        QVERIFY(TW::test::logged("MainController::clearCachedData " + QDir(folder).filePath("clip.mp4"))
                || TW::test::logged("MainController::clearCachedData \"" + QDir(folder).filePath("clip.mp4")));
        QVERIFY(!controller->getMedia()->isEmpty());
        QCOMPARE(QDir::fromNativeSeparators(Options::instance()->getLastPath(SnifferFolder)),
                 QDir(folder).absolutePath());
        controller->onStopVideo();
    }

    void downloadOnlyTouchesNoProject()
    {
        QTemporaryDir other;
        WindowAnswerer answers;
        answers.useNextName = true;
        answers.nextName = QDir(other.path()).filePath("kept");
        QPointer<YTSniffer> w = startDownload("btnGetURL_forDownload");
        QVERIFY(w);
        QTRY_VERIFY_WITH_TIMEOUT(!w, 20000);
        QCOMPARE(controllerSteps(), QStringList{"clearCachedData"});
        QVERIFY(QFile::exists(QDir(other.path()).filePath("kept.mp4")));
        QCOMPARE(QDir::fromNativeSeparators(Options::instance()->getLastPath(SnifferFolder)),
                 QDir(other.path()).absolutePath());
        // The next window starts where the last download went.
        sniffer()->exec();
        QPointer<YTSniffer> next = sniffer()->getSniffer();
        next->close();
        QTRY_VERIFY(!next);
    }

    void closedDuringTheDownload()
    {
        QTemporaryDir other;
        qputenv("STANDIN_SLEEP", "download");
        WindowAnswerer answers;
        answers.useNextName = true;
        answers.nextName = QDir(other.path()).filePath("partial");
        QPointer<YTSniffer> w = startDownload("btnGetURL_forDownloadPlay");
        QVERIFY(w);
        QTRY_COMPARE_WITH_TIMEOUT(standIn.runs().size(), 3, 20000);
        w->close();
        QTRY_VERIFY(!w);
        QVERIFY(controllerSteps().isEmpty());
        QCOMPARE(QDir::fromNativeSeparators(Options::instance()->getLastPath(SnifferFolder)),
                 QDir(other.path()).absolutePath());
    }

    void youtubeEntryOpensTheWindow()
    {
        MainWindow *window = controller->getMainWindow();
        QVERIFY(QMetaObject::invokeMethod(window->getTopToolbar(), "snifferYoutubeButtonClicked"));
        QPointer<YTSniffer> w = sniffer()->getSniffer();
        QVERIFY(w && w->isVisible());
        w->close();
        QTRY_VERIFY(!w);
    }

    // The background switch: nothing while the window shows; otherwise it
    // makes a hidden window and switches the option on, or deletes the
    // window and switches it off. The menu's check mark follows.
    void backgroundSwitch()
    {
        Options *options = Options::instance();
        MainWindow *window = controller->getMainWindow();
        TopToolbarWidget *toolbar = window->getTopToolbar();
        QAction *entry = nullptr;
        for (QAction *a : toolbar->getSnifferMenu()->actions()) {
            if (a->text() == "Sniff in Background")
                entry = a;
        }
        QVERIFY(entry && entry->isCheckable());
        QVERIFY(!options->getRunSnifferInBackground());
        QVERIFY(!window->getSnifferWindow());

        entry->trigger();
        QVERIFY(options->getRunSnifferInBackground());
        QVERIFY(entry->isChecked());
        QPointer<Tarnwell2SnifferWindow> hidden = window->getSnifferWindow();
        QVERIFY(hidden && !hidden->isVisible());

        // Shown, then closed: in background mode it only hides.
        QVERIFY(QMetaObject::invokeMethod(toolbar, "snifferButtonClicked"));
        QVERIFY(hidden->isVisible());
        entry->trigger(); // nothing while it shows
        QVERIFY(options->getRunSnifferInBackground());
        QVERIFY(entry->isChecked());
        hidden->close();
        QCoreApplication::processEvents();
        QVERIFY(hidden && !hidden->isVisible());

        entry->trigger();
        QVERIFY(!options->getRunSnifferInBackground());
        QVERIFY(!entry->isChecked());
        QVERIFY(!hidden);
        QVERIFY(!window->getSnifferWindow());

        // Outside background mode a closed window goes.
        QVERIFY(QMetaObject::invokeMethod(toolbar, "snifferButtonClicked"));
        QPointer<Tarnwell2SnifferWindow> shown = window->getSnifferWindow();
        QVERIFY(shown && shown->isVisible());
        shown->close();
        QTRY_VERIFY(!shown);
    }
};

int main(int argc, char **argv)
{
    TW::test::isolateHome();
    Q_INIT_RESOURCE(resources);
    Application app(argc, argv);
    tst_SnifferController tc;
    return QTest::qExec(&tc, argc, argv);
}

#include "tst_SnifferController.moc"
