// Export through the controller: the commands' refusals told to the user,
// a whole-project export carrying the project's tempo, the export
// controller's completion of the options, its progress dialog, cancel and
// failure boxes, and the help entries opening the installed user guide.
#include "ModalAnswerer.h"
#include "TestEnv.h"
#include "TestMedia.h"

#include "app/Application.h"
#include "app/ExportController.h"
#include "app/MainController.h"
#include "core/Options.h"
#include "core/OptionsHolder.h"
#include "core/Singleton.h"
#include "core/Util.h"
#include "dialogs/ProgressDialog.h"
#include "io/InputController.h"
#include "model/Media.h"
#include "ui/MainWindow.h"

#include <QDesktopServices>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <QStatusBar>
#include <QtTest>

using namespace TW;

namespace {

double playedSeconds(const QString &file)
{
    return double(test::TestMedia::decodeS16(file, 1).size()) / 2.0 / 44100.0;
}

QProgressBar *barOf(ExportController &c)
{
    return c.progressDialog()->findChild<QProgressBar *>();
}

} // namespace

// Receives the addresses the help entries open.
class UrlCatcher : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl &url) { urls << url; }
};

class tst_ExportCommands : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void missingLoopsAreTold();
    void wholeProjectTakesTheProjectTempo();
    void originalQualityComesFromTheProject_data();
    void originalQualityComesFromTheProject();
    void cancelTellsAndKeepsTheOldFile_data();
    void cancelTellsAndKeepsTheOldFile();
    void failureNamesTheStep();
    void stayOnTopFollowsTheOption();
    void helpPagesOpenTheUserGuide();
    void helpWithoutBrowserSaysWhereTheGuideIs();

private:
    // A fresh output whose old content a cancelled or failed export keeps.
    QString oldOutput(const QString &name);

    MainController *m_controller = nullptr;
    QTemporaryDir m_dir;
    QString m_clip;
    std::unique_ptr<test::ModalAnswerer> m_answers;
};

QString tst_ExportCommands::oldOutput(const QString &name)
{
    const QString path = m_dir.filePath(name);
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write("old");
    return path;
}

void tst_ExportCommands::initTestCase()
{
    m_controller = Application::instance()->getMainController();
    m_controller->exec();
    InputController::Interaction answers = InputController::interaction();
    answers.inform = [](const QString &, const QString &) {};
    InputController::setInteraction(answers);
    m_answers = std::make_unique<test::ModalAnswerer>();
    m_clip = test::TestMedia::make(test::TestMedia::VideoStereo, m_dir.path(), 2.0);
    QVERIFY(!m_clip.isEmpty());
    m_controller->openFile(m_clip);
    QVERIFY(!m_controller->getMedia()->isEmpty());
}

void tst_ExportCommands::missingLoopsAreTold()
{
    m_answers->clear();
    m_answers->answerBox(QMessageBox::Ok);
    m_answers->answerBox(QMessageBox::Ok);
    ExportOptions o;
    o.file = oldOutput("loop.mp4");
    m_controller->exportCurrentLoop(o);
    m_controller->exportAllLoops(o);
    const QStringList boxes = m_answers->boxes();
    QCOMPARE(boxes.size(), 2);
    QVERIFY2(boxes[0].startsWith("Export Current Loop: "), qPrintable(boxes[0]));
    QVERIFY2(boxes[1].startsWith("Export All Loops: "), qPrintable(boxes[1]));
    QVERIFY(m_answers->unexpected().isEmpty());
    QFile f(o.file);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("old"));
}

void tst_ExportCommands::wholeProjectTakesTheProjectTempo()
{
    m_answers->clear();
    OptionsHolder *holder = Singleton<OptionsHolder>::instance();
    holder->setProjectTempo(50);
    ExportOptions o;
    o.file = m_dir.filePath("slow.wav");
    o.audioOnly = true;
    o.tempo = 100; // replaced by the project's
    m_controller->exportAll(o);
    holder->setProjectTempo(100);
    QVERIFY(m_answers->unexpected().isEmpty());
    QVERIFY2(std::fabs(playedSeconds(o.file) - 4.0) < 0.04, qPrintable(QString::number(playedSeconds(o.file))));
    // The end is told, with where the file is.
    QStatusBar *status = m_controller->getMainWindow()->statusBar();
    QCOMPARE(status->currentMessage(), "Export finished: " + QDir::toNativeSeparators(o.file));
}

void tst_ExportCommands::originalQualityComesFromTheProject_data()
{
    QTest::addColumn<bool>("original");
    QTest::newRow("original quality") << true;
    QTest::newRow("chosen quality") << false;
}

void tst_ExportCommands::originalQualityComesFromTheProject()
{
    QFETCH(bool, original);
    OptionsHolder *holder = Singleton<OptionsHolder>::instance();
    const OptionsHolder saved(*holder);
    holder->m_numChannels = 1;
    holder->m_audioSampleRate = 48000;
    holder->m_audioBitRate = 128;
    holder->m_videoBitRate = 1500;
    ExportOptions o;
    o.origQuality = original;
    o.stereo = true;
    o.freq = 22050;
    o.audioBitrate = 320;
    o.videoBitrate = 6000;
    const ExportOptions out = ExportController(o, m_controller->getMedia()).getOptions();
    *holder = saved;
    QCOMPARE(out.stereo, !original);
    QCOMPARE(out.freq, original ? 48000 : 22050);
    QCOMPARE(out.audioBitrate, original ? 128 : 320);
    QCOMPARE(out.videoBitrate, original ? 1500 : 6000);
}

void tst_ExportCommands::cancelTellsAndKeepsTheOldFile_data()
{
    QTest::addColumn<bool>("audioOnly");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("box");
    QTest::newRow("video") << false << "Exporting video" << "Video Export: Video Export Canceled.";
    QTest::newRow("audio") << true << "Exporting audio" << "Audio Export: Audio Export Canceled.";
}

void tst_ExportCommands::cancelTellsAndKeepsTheOldFile()
{
    QFETCH(bool, audioOnly);
    QFETCH(QString, message);
    QFETCH(QString, box);
    m_answers->clear();
    m_answers->answerBox(QMessageBox::Ok);
    ExportOptions o;
    o.file = oldOutput(audioOnly ? "cancelled.wav" : "cancelled.mp4");
    o.audioOnly = audioOnly;
    o.tempo = 25; // long enough to be cancelled while it runs
    o.cropArea = QRectF(0, 0, 1, 1);
    ExportController controller(o, m_controller->getMedia());
    QString shown;
    QTimer::singleShot(200, this, [&] {
        ProgressDialog *dialog = controller.progressDialog();
        if (QLabel *label = dialog->findChild<QLabel *>())
            shown = label->text();
        for (QPushButton *b : dialog->findChildren<QPushButton *>())
            b->click();
    });
    controller.exportAll();
    QCOMPARE(controller.outcome(), ExportController::Cancelled);
    QCOMPARE(shown, message);
    QCOMPARE(m_answers->boxes(), QStringList{box});
    QFile f(o.file);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("old"));
    // A late progress value does not move the bar.
    const int value = barOf(controller)->value();
    QMetaObject::invokeMethod(&controller, "onExportProgressChanged", Q_ARG(int, value + 10));
    QCOMPARE(barOf(controller)->value(), value);
}

void tst_ExportCommands::failureNamesTheStep()
{
    m_answers->clear();
    m_answers->answerBox(QMessageBox::Ok);
    const QString blocker = oldOutput("a file");
    ExportOptions o;
    o.file = blocker + "/inside/out.mp4";
    o.cropArea = QRectF(0, 0, 1, 1);
    ExportController controller(o, m_controller->getMedia());
    controller.exportAll();
    QCOMPARE(controller.outcome(), ExportController::Failed);
    QVERIFY(controller.errorMessage().startsWith("Cannot create the folder"));
    QCOMPARE(m_answers->boxes().size(), 1);
    QVERIFY2(m_answers->boxes()[0].startsWith("Video Export: The video export failed.\nCannot create the folder"),
             qPrintable(m_answers->boxes()[0]));
}

void tst_ExportCommands::stayOnTopFollowsTheOption()
{
    for (bool onTop : {true, false}) {
        m_answers->clear();
        m_answers->answerBox(QMessageBox::Ok);
        Options::instance()->setAlwaysOnTop(onTop);
        ExportOptions o;
        o.file = oldOutput("a file") + "/x.mp4"; // fails at once
        ExportController controller(o, m_controller->getMedia());
        controller.progressDialog()->setWindowFlag(Qt::WindowStaysOnTopHint, !onTop);
        controller.exportAll();
        QCOMPARE(bool(controller.progressDialog()->windowFlags() & Qt::WindowStaysOnTopHint), onTop);
    }
    Options::instance()->setAlwaysOnTop(false);
}

void tst_ExportCommands::helpPagesOpenTheUserGuide()
{
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler("file", &catcher, "open");
    m_controller->onHelpUserGuideClicked();
    m_controller->onHelpQuickStartGuideClicked();
    m_controller->onHelpTrainingVideosClicked();
    m_controller->onHelpHelpDeskClicked();
    QDesktopServices::unsetUrlHandler("file");
    QCOMPARE(catcher.urls.size(), 4);
    QFile page(catcher.urls[0].toLocalFile());
    QVERIFY2(page.open(QIODevice::ReadOnly), qPrintable(page.fileName()));
    const QByteArray html = page.readAll();
    QStringList sections;
    for (const QUrl &url : catcher.urls) {
        QCOMPARE(url.toLocalFile(), page.fileName());
        sections << url.fragment();
        QVERIFY2(html.contains("id=\"" + url.fragment().toUtf8() + "\""), qPrintable(url.fragment()));
    }
    sections.removeDuplicates();
    QCOMPARE(sections.size(), 4);
}

void tst_ExportCommands::helpWithoutBrowserSaysWhereTheGuideIs()
{
    // No handler and no desktop to open a file with: nothing opens the page.
    if (QDesktopServices::openUrl(QUrl::fromLocalFile(m_dir.filePath("nothing.html"))))
        QSKIP("This desktop opens files.");
    m_answers->clear();
    m_answers->answerBox(QMessageBox::Ok);
    m_controller->onHelpUserGuideClicked();
    const QStringList boxes = m_answers->boxes();
    QCOMPARE(boxes.size(), 1);
    QVERIFY2(boxes[0].startsWith("Help: No web browser could be started"), qPrintable(boxes[0]));
    QVERIFY2(boxes[0].contains("user-guide.html"), qPrintable(boxes[0]));
}

int main(int argc, char **argv)
{
    test::isolateHome();
    Q_INIT_RESOURCE(resources);
    Application app(argc, argv);
    tst_ExportCommands tc;
    return QTest::qExec(&tc, argc, argv);
}

#include "tst_ExportCommands.moc"
