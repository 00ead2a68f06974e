// The download progress dialog: its texts, and whole downloads from a local
// server ending accepted, failed (with the error shown) or cancelled.
#include "LocalHttpServer.h"
#include "TestEnv.h"
#include "capture/CYouTubeDownloadDlg.h"
#include "capture/CYouTubeDownloader.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

class YouTubeDownloadDlgTest : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

    // Answers the next message box (returning its texts) when one shows.
    static void answerMessageBoxes(QStringList *seen)
    {
        auto *timer = new QTimer(qApp);
        QObject::connect(timer, &QTimer::timeout, timer, [timer, seen] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                seen->append(box->windowTitle() + "|" + box->text());
                box->accept();
            }
        });
        timer->start(50);
    }

private slots:
    void initTestCase() { TW::test::isolateHome(); }

    void texts_data()
    {
        QTest::addColumn<QString>("actual");
        QTest::addColumn<QString>("expected");
        using D = CYouTubeDownloadDlg;
        QTest::newRow("1023 B") << D::sizeText(1023) << "1023 Bytes";
        QTest::newRow("1024 B") << D::sizeText(1024) << "1.0 KB";
        QTest::newRow("1048575 B") << D::sizeText(1048575) << "1024.0 KB";
        QTest::newRow("1048576 B") << D::sizeText(1048576) << "1.00 MB";
        QTest::newRow("59 s") << D::timeText(59) << "59 sec";
        QTest::newRow("60 s") << D::timeText(60) << "1 min";
        QTest::newRow("61 s") << D::timeText(61) << "1 min 1 sec";
        QTest::newRow("3600 s") << D::timeText(3600) << "60 min";
        QTest::newRow("rate 0.5") << D::rateText(0.5) << "512 Bytes/Sec";
        QTest::newRow("rate 5.5") << D::rateText(5.5) << "5.50 KB/Sec";
        QTest::newRow("rate 12.3") << D::rateText(12.3) << "12 KB/Sec";
        QTest::newRow("file") << D::fileNameOf("/v/clip.mp4") << "clip.mp4";
        QTest::newRow("ends in slash") << D::fileNameOf("/v/") << "";
        QTest::newRow("slash alone") << D::fileNameOf("/") << "/";
        QTest::newRow("control characters") << D::fileNameOf("/a\r\nb\x1b.mp4") << "ab.mp4";
    }

    void texts()
    {
        QFETCH(QString, actual);
        QFETCH(QString, expected);
        QCOMPARE(actual, expected);
    }

    void progressShowsInTitleAndBar()
    {
        LocalHttpServer silent;
        silent.setHandler([](const LocalHttpServer::Request &) {
            LocalHttpServer::Response r;
            r.generated = 1000;
            r.stallAfter = 0;
            return r;
        });
        CYouTubeDownloadDlg dialog;
        QCOMPARE(dialog.windowTitle(), QString("Starting download..."));
        dialog.getDownloader()->downloadUrl = QString::fromLatin1(silent.url("/v/clip"));
        dialog.getDownloader()->targetPath = dir.filePath("p.mp4");
        dialog.init();
        QMetaObject::invokeMethod(&dialog, "OnProgress", Q_ARG(unsigned long long, 999),
                                  Q_ARG(bool, true), Q_ARG(unsigned long long, 2700));
        QCOMPARE(dialog.windowTitle(), QString("37% of clip Completed"));
        // No rate or time left before a second has passed.
        QCOMPARE(dialog.findChild<QLabel *>("lbTransferRate")->text(), QString("---"));
        QMetaObject::invokeMethod(&dialog, "OnProgress", Q_ARG(unsigned long long, 2697),
                                  Q_ARG(bool, true), Q_ARG(unsigned long long, 2700));
        QCOMPARE(dialog.windowTitle(), QString("99% of clip Completed"));
    }

    void networkTextIsPlain()
    {
        LocalHttpServer silent;
        silent.setHandler([](const LocalHttpServer::Request &) {
            LocalHttpServer::Response r;
            r.generated = 1000;
            r.stallAfter = 0;
            return r;
        });
        CYouTubeDownloadDlg dialog;
        dialog.getDownloader()->downloadUrl = QString::fromLatin1(silent.url("/%3Cb%3Ebold"));
        dialog.getDownloader()->targetPath = dir.filePath("q.mp4");
        dialog.init();
        auto *label = dialog.findChild<QLabel *>("lbFileStatus");
        QCOMPARE(label->textFormat(), Qt::PlainText);
        QCOMPARE(label->text(), QString("<b>bold from 127.0.0.1"));
    }

    void downloads_data()
    {
        QTest::addColumn<QByteArray>("status");
        QTest::addColumn<bool>("cancel");
        QTest::addColumn<int>("result");
        QTest::addColumn<QString>("box");
        QTest::newRow("ok") << QByteArray("200 OK") << false << 1 << "";
        QTest::newRow("server error") << QByteArray("404 Not Found") << false << 0 << "Error|Server Error";
        QTest::newRow("cancel") << QByteArray("200 OK") << true << 0 << "";
    }

    void downloads()
    {
        QFETCH(QByteArray, status);
        QFETCH(bool, cancel);
        QFETCH(int, result);
        QFETCH(QString, box);
        LocalHttpServer server;
        server.setHandler([&](const LocalHttpServer::Request &) {
            LocalHttpServer::Response r;
            r.status = status;
            r.generated = 300000;
            if (cancel) {
                r.trickleMs = 50; // slow enough to cancel in the middle
                r.trickleBytes = 4096;
            }
            return r;
        });
        const QString target = dir.filePath("d.mp4");
        QFile::remove(target);
        CYouTubeDownloadDlg dialog;
        dialog.getDownloader()->downloadUrl = QString::fromLatin1(server.url("/v/d.mp4"));
        dialog.getDownloader()->targetPath = target;
        QStringList boxes;
        answerMessageBoxes(&boxes);
        if (cancel)
            QTimer::singleShot(300, &dialog, [&] { dialog.findChild<QPushButton *>("pbCancel")->click(); });
        dialog.init();
        QCOMPARE(dialog.exec(), result);
        QCOMPARE(QFileInfo::exists(target), result == 1);
        QCOMPARE(boxes, box.isEmpty() ? QStringList() : QStringList{box});
    }

    void escapeStopsTheTransfer()
    {
        LocalHttpServer server;
        server.setHandler([](const LocalHttpServer::Request &) {
            LocalHttpServer::Response r;
            r.generated = 100000;
            r.stallAfter = 1000;
            return r;
        });
        CYouTubeDownloadDlg dialog;
        dialog.getDownloader()->downloadUrl = QString::fromLatin1(server.url("/e.mp4"));
        dialog.getDownloader()->targetPath = dir.filePath("e.mp4");
        QTimer::singleShot(300, &dialog, [&] { QTest::keyClick(&dialog, Qt::Key_Escape); });
        dialog.init();
        QCOMPARE(dialog.exec(), 0);
        QVERIFY(dialog.getDownloader()->abortRequested);
        QVERIFY(!QFileInfo::exists(dir.filePath("e.mp4")));
    }
};

QTEST_MAIN(YouTubeDownloadDlgTest)
#include "tst_CYouTubeDownloadDlg.moc"
