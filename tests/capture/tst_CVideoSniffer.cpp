// The packet sniffer on real captures: frames written to a capture file and
// read back, and a live capture on the loopback interface of a local HTTP
// exchange (127.0.0.1 asking 127.0.0.2).
#include "Frames.h"
#include "TestEnv.h"
#include "capture/CVideoSniffer.h"

#include <QElapsedTimer>
#include <QMutex>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <pcap/pcap.h>

using namespace frames;

namespace {

struct Report
{
    std::string url, header, size, type;
};

QMutex reportsMutex;
std::vector<Report> reports;

void collect(std::string url, std::string header, std::string size, std::string type)
{
    QMutexLocker lock(&reportsMutex);
    reports.push_back({url, header, size, type});
}

std::vector<Report> takeReports()
{
    QMutexLocker lock(&reportsMutex);
    std::vector<Report> r;
    r.swap(reports);
    return r;
}

// Writes Ethernet frames into a capture file, one second apart.
void writeCapture(const QString &path, const std::vector<Bytes> &frames)
{
    pcap_t *dead = pcap_open_dead(DLT_EN10MB, 65535);
    pcap_dumper_t *dumper = pcap_dump_open(dead, path.toLocal8Bit().constData());
    QVERIFY(dumper);
    long second = 1000;
    for (const Bytes &f : frames) {
        pcap_pkthdr header{};
        header.ts.tv_sec = second++;
        header.caplen = header.len = static_cast<bpf_u_int32>(f.size());
        pcap_dump(reinterpret_cast<u_char *>(dumper), &header, f.data());
    }
    pcap_dump_close(dumper);
    pcap_close(dead);
}

const std::string Get = "GET /v.mp4 HTTP/1.1\r\nHost: h.example\r\n\r\n";
const std::string Mp4 = "HTTP/1.1 200 OK\r\nContent-Type: video/mp4\r\nContent-Length: 200000\r\n\r\n";

} // namespace

class VideoSnifferTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { TW::test::isolateHome(); }

    void replaysACaptureFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("traffic.pcap");
        std::vector<Bytes> traffic;
        for (int i = 0; i < 4; ++i) {
            traffic.push_back(request(Get));
            traffic.push_back(response(Mp4));
        }
        // Frames the capture thread must step over.
        Bytes v6 = request(Get);
        v6[12] = 0x86; v6[13] = 0xDD;
        traffic.insert(traffic.begin(), v6);
        traffic.insert(traffic.begin(), Bytes(5, 0));
        writeCapture(path, traffic);

        takeReports();
        auto sniffer = CVideoSniffer::replayFile(path.toStdString(), Client.address);
        QVERIFY2(sniffer->isCapturing(), sniffer->errorText().c_str());
        sniffer->registerCallbackFunc(collect);
        // Two of the four reports are skipped; a count of 0 adds nothing.
        sniffer->ignoreUrl("h.example/v.mp4", 2);
        sniffer->ignoreUrl("h.example/v.mp4", 0);
        sniffer->ignoreUrl("h.example/v.mp4", -3);
        sniffer->start();
        QVERIFY(sniffer->wait(10000));
        const auto got = takeReports();
        QCOMPARE(got.size(), size_t(2));
        QCOMPARE(got[0].url, std::string("h.example/v.mp4"));
        QCOMPARE(got[0].header, Get);
        QCOMPARE(got[0].size, std::string("200000\r\n"));
        QCOMPARE(got[0].type, std::string("mp4\r\n"));
    }

    void unknownInterfaceStaysInert()
    {
        QElapsedTimer clock;
        clock.start();
        {
            CVideoSniffer sniffer("no-such-interface0");
            QVERIFY(!sniffer.isCapturing());
            QVERIFY(!sniffer.errorText().empty());
            QVERIFY(!sniffer.isRunning());
        }
        // Nothing waits on a device that is not there; the bound only
        // catches a hang, with room for a loaded machine.
        QVERIFY(clock.elapsed() < 20000);
    }

    void loopbackOnlyWhenAdmitted()
    {
        CVideoSniffer::setAdmitLoopback(false);
        for (const std::string &name : CVideoSniffer::listInterfaces())
            QVERIFY(name != "lo");
        CVideoSniffer::setAdmitLoopback(true);
        const auto names = CVideoSniffer::listInterfaces();
        CVideoSniffer::setAdmitLoopback(false);
        QVERIFY(std::find(names.begin(), names.end(), "lo") != names.end());
    }

    void capturesLiveLoopbackTraffic()
    {
        CVideoSniffer::setAdmitLoopback(true);
        auto sniffer = std::make_unique<CVideoSniffer>("lo");
        CVideoSniffer::setAdmitLoopback(false);
        if (!sniffer->isCapturing())
            QSKIP(qPrintable(QString("cannot capture on lo: %1").arg(sniffer->errorText().c_str())));
        sniffer->registerCallbackFunc(collect);
        takeReports();

        QTcpServer server;
        QVERIFY(server.listen(QHostAddress("127.0.0.2"), 0));
        connect(&server, &QTcpServer::newConnection, &server, [&] {
            QTcpSocket *peer = server.nextPendingConnection();
            connect(peer, &QTcpSocket::readyRead, peer, [peer] {
                if (!peer->readAll().contains("\r\n\r\n"))
                    return;
                peer->write(QByteArray::fromStdString(Mp4));
                peer->write(QByteArray(1000, 'v'));
                peer->flush();
            });
        });
        QTcpSocket client;
        QVERIFY(client.bind(QHostAddress("127.0.0.1"), 0));
        client.connectToHost(QHostAddress("127.0.0.2"), server.serverPort());
        QVERIFY(client.waitForConnected(5000));
        const QByteArray get = QByteArray("GET /live.mp4 HTTP/1.1\r\nHost: 127.0.0.2:")
                               + QByteArray::number(server.serverPort()) + "\r\n\r\n";
        // The capture is ready a moment after it opened.
        QTest::qWait(200);
        client.write(get);
        auto pending = [] { QMutexLocker lock(&reportsMutex); return reports.size(); };
        QTRY_VERIFY_WITH_TIMEOUT(pending() > 0, 30000);
        const std::vector<Report> got = takeReports();
        QCOMPARE(got[0].url, "127.0.0.2:" + std::to_string(server.serverPort()) + "/live.mp4");
        QCOMPARE(got[0].header, get.toStdString());
        QCOMPARE(got[0].type, std::string("mp4\r\n"));

        // Stopping returns although no packet comes; the bound only catches
        // a wait for one, with room for a loaded machine.
        QElapsedTimer clock;
        clock.start();
        sniffer.reset();
        QVERIFY2(clock.elapsed() < 20000, qPrintable(QString::number(clock.elapsed())));
    }
};

QTEST_GUILESS_MAIN(VideoSnifferTest)
#include "tst_CVideoSniffer.moc"
