// The sniffed-media window: which reports are listed and how, the bounded
// queue from the capture threads, the message when nothing can be
// captured, and a whole Download & Play from a local server.
#include "LocalHttpServer.h"
#include "TestEnv.h"
#include "capture/CSnifferQueue.h"
#include "capture/Tarnwell2SnifferWindow.h"
#include "core/Options.h"

#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

namespace {

std::vector<std::string> noInterfaces() { return {}; }

} // namespace

class SnifferWindowTest : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

    static QTableWidget *table(Tarnwell2SnifferWindow &w) { return w.findChild<QTableWidget *>("snifferQueueTable"); }
    static QPushButton *button(Tarnwell2SnifferWindow &w, const char *name) { return w.findChild<QPushButton *>(name); }

private slots:
    void initTestCase()
    {
        TW::test::isolateHome();
        Tarnwell2SnifferWindow::setInterfaceLister(noInterfaces);
    }

    void cleanupTestCase() { Tarnwell2SnifferWindow::stopSniffers(); }

    void saysWhyNothingIsCaptured()
    {
        Tarnwell2SnifferWindow w;
        auto *label = w.findChild<QLabel *>("lbCaptureProblem");
        QVERIFY(!label->isHidden());
        QCOMPARE(label->textFormat(), Qt::PlainText);
        QVERIFY(label->text().contains("No network interface"));
        QVERIFY(w.windowTitle().endsWith(" - Recently Sniffed Media"));
        // In the window's first size every line of it shows.
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QVERIFY2(label->height() >= label->heightForWidth(label->width()),
                 qPrintable(QString("%1 px for %2 px of text").arg(label->height()).arg(label->heightForWidth(label->width()))));
    }

    void listsDistinctLargeReports()
    {
        Tarnwell2SnifferWindow w;
        QVERIFY(!button(w, "pbDownloadOnly")->isEnabled());
        QVERIFY(!button(w, "pbPreview")->isEnabled());

        w.Append("http://a/1", "", "99999\r\n", "mp4\r\n");
        w.Append("http://a/2", "", "", "mp4\r\n");
        w.Append("http://a/3", "", "12abc", "mp4\r\n");
        QCOMPARE(w.count(), 0);
        w.Append("http://a/4", "", "100000\r\n", "x-flv\r\n");
        QCOMPARE(w.count(), 1);
        QVERIFY(button(w, "pbDownloadOnly")->isEnabled());
        QCOMPARE(table(w)->currentRow(), 0);
        w.Append("http://a/4", "", "200000\r\n", "mp4\r\n"); // same URL
        w.Append("http://a/5", "", "100000", "mp4\r\n");     // same size
        QCOMPARE(w.count(), 1);
        w.Append("http://a/6", "", "1572864\r\n", "mp4\r\n");
        w.Append("http://a/7", "", "300000", "MP3");
        QCOMPARE(w.entry(0).type, QString("flv"));
        QCOMPARE(w.entry(1).type, QString("mp4"));
        QCOMPARE(w.entry(2).type, QString("MP3"));
        // The newest is row 0.
        QCOMPARE(table(w)->item(1, 2)->text(), QString("1.50 MB"));
        QCOMPARE(table(w)->item(0, 1)->text(), QString("MP3"));
        const int first = w.entry(0).number;
        QVERIFY(table(w)->item(2, 0)->text().startsWith(QString("%1. ").arg(first)));

        // The 26th entry pushes the oldest out; numbers go on.
        for (int i = 0; i < 23; ++i)
            w.Append(QString("http://b/%1").arg(i), "", QString::number(400000 + i), "mp4");
        QCOMPARE(w.count(), Tarnwell2SnifferWindow::MaxEntries);
        QCOMPARE(w.entry(0).number, first + 1);
        QCOMPARE(w.entry(24).number, first + 25);
        QCOMPARE(table(w)->rowCount(), 25);

        // Entries of the video site cannot be previewed.
        w.Append("http://www.youtube.com/videoplayback?id=1", "", "900000", "mp4");
        QVERIFY(!button(w, "pbPreview")->isEnabled());
        table(w)->setCurrentCell(1, 0);
        emit table(w)->cellClicked(1, 0);
        QVERIFY(button(w, "pbPreview")->isEnabled());
        button(w, "pbRemove")->click();
        QCOMPARE(w.count(), 24);
    }

    void queueIsDrainedInOrderAndBounded()
    {
        CSnifferQueue &queue = CSnifferQueue::instance();
        queue.clear();
        VideoSnifferCallback("h/x.mp4", "GET /x.mp4 HTTP/1.1\r\n\r\n", "500000\r\n", "mp4\r\n");
        VideoSnifferCallback("h/y.mp4", "", "600000\r\n", "mp4\r\n");
        Tarnwell2SnifferWindow w;
        w.checkUrlQueue();
        QCOMPARE(w.count(), 1);
        QCOMPARE(w.entry(0).url, QString("http://h/x.mp4"));
        QCOMPARE(w.entry(0).header, std::string("GET /x.mp4 HTTP/1.1\r\n\r\n"));
        QTRY_COMPARE(w.count(), 2); // the timer takes the next one

        for (int i = 0; i < 5000; ++i)
            VideoSnifferCallback("h/" + std::to_string(i), std::string(10000, 'h'), "500000", "mp4");
        QVERIFY(queue.size() <= CSnifferQueue::MaxRecords);
        QVERIFY(queue.bytes() <= CSnifferQueue::MaxBytes);
        UrlData newest;
        while (queue.take(newest)) {}
        QCOMPARE(newest.url, std::string("http://h/4999")); // the oldest gave way
    }

    void downloadAndPlay_data()
    {
        QTest::addColumn<QByteArray>("status");
        QTest::addColumn<QStringList>("boxes");
        QTest::newRow("downloaded") << QByteArray("200 OK") << QStringList();
        QTest::newRow("failed") << QByteArray("404 Not Found")
                                << QStringList{"Server Error", "Download canceled."};
    }

    void downloadAndPlay()
    {
        QFETCH(QByteArray, status);
        QFETCH(QStringList, boxes);
        LocalHttpServer server;
        server.setHandler([&](const LocalHttpServer::Request &) {
            LocalHttpServer::Response r;
            r.status = status;
            r.generated = 250000;
            return r;
        });
        TW::Options::instance()->setLastPath(TW::SnifferFolder, dir.path());
        Tarnwell2SnifferWindow w;
        w.Append(QString::fromLatin1(server.url("/v/clip.mp4")),
                 "GET /v/clip.mp4 HTTP/1.1\r\nCookie: c=1\r\n\r\n", "250000\r\n", "mp4\r\n");
        QCOMPARE(w.count(), 1);

        // The user saves as "clip" under the flv filter, and answers boxes.
        QStringList seen;
        QTimer answer;
        connect(&answer, &QTimer::timeout, &answer, [&] {
            QWidget *modal = QApplication::activeModalWidget();
            if (auto *files = qobject_cast<QFileDialog *>(modal)) {
                QCOMPARE(files->selectedFiles().value(0), dir.filePath("untitled.flv"));
                files->findChild<QLineEdit *>("fileNameEdit")->setText("clip");
                QMetaObject::invokeMethod(files, "accept");
            } else if (auto *box = qobject_cast<QMessageBox *>(modal)) {
                seen << box->text();
                box->accept();
            }
        });
        answer.start(50);
        QSignalSpy finished(&w, &Tarnwell2SnifferWindow::downloadFinished);
        button(w, "pbDownloadPlay")->click();
        const bool ok = status.startsWith("200");
        QCOMPARE(seen, boxes);
        QCOMPARE(finished.size(), ok ? 1 : 0);
        QCOMPARE(w.entry(0).state, ok ? 2 : 0);
        QVERIFY(button(w, "pbDownloadPlay")->isEnabled());
        if (ok) {
            QCOMPARE(finished.first().first().toString(), dir.filePath("clip.flv"));
            QCOMPARE(QFileInfo(dir.filePath("clip.flv")).size(), 250000);
            QCOMPARE(server.requests().first().headers.value("cookie"), QByteArray("c=1"));
        }
        QFile::remove(dir.filePath("clip.flv"));
    }
};

QTEST_MAIN(SnifferWindowTest)
#include "tst_Tarnwell2SnifferWindow.moc"
