// Taking captured frames apart and matching requests with the video
// responses to them: crafted frames, malformed lengths and conversations.
#include "Frames.h"
#include "capture/PacketDecoder.h"

#include <QtTest>

using namespace frames;

namespace {

struct Report
{
    std::string url, header, size, type;
};

// A conversation: frames seen one after another at given times.
struct Step
{
    Bytes frame;
    time_t time = 1000;
};

std::vector<Report> play(const std::vector<Step> &steps)
{
    std::vector<Report> reports;
    PacketDecoder decoder([&](const std::string &u, const std::string &h, const std::string &s,
                              const std::string &t) { reports.push_back({u, h, s, t}); });
    decoder.setLocalAddress(Client.address);
    for (const Step &s : steps)
        decoder.handleFrame(LinkType::Ethernet, s.frame.data(), s.frame.size(), s.time);
    return reports;
}

const std::string Get = "GET /v/clip.mp4 HTTP/1.1\r\nHost: media.example.com\r\nCookie: a=1\r\n\r\n";
const std::string Mp4Response = "HTTP/1.1 200 OK\r\nContent-Type: video/mp4\r\nContent-Length: 300000\r\n\r\n";

} // namespace

Q_DECLARE_METATYPE(Bytes)
Q_DECLARE_METATYPE(LinkType)

class PacketDecoderTest : public QObject
{
    Q_OBJECT

private slots:
    void decodesOnlyWholeTcpOverIpv4_data()
    {
        QTest::addColumn<Bytes>("bytes");
        QTest::addColumn<LinkType>("link");
        QTest::addColumn<int>("payload"); // -1: skipped

        const std::string text = "GET / HTTP/1.1\r\n\r\n";
        const int n = static_cast<int>(text.size());
        const Bytes good = request(text);
        QTest::newRow("ethernet") << good << LinkType::Ethernet << n;
        QTest::newRow("linux cooked") << frame(Client, Server, text, LinkType::LinuxCooked) << LinkType::LinuxCooked << n;
        QTest::newRow("linux cooked v2") << frame(Client, Server, text, LinkType::LinuxCooked2) << LinkType::LinuxCooked2 << n;
        QTest::newRow("raw ip") << frame(Client, Server, text, LinkType::RawIp) << LinkType::RawIp << n;
        QTest::newRow("no payload") << request("") << LinkType::Ethernet << 0;

        // Cut short inside each header.
        for (size_t cut : {size_t(0), size_t(13), size_t(14), size_t(33), size_t(34), size_t(53)})
            QTest::newRow(qPrintable(QString("truncated at %1").arg(cut)))
                << Bytes(good.begin(), good.begin() + cut) << LinkType::Ethernet << -1;
        // Captured shorter than the IPv4 total length: what was captured.
        QTest::newRow("payload cut by snap length") << Bytes(good.begin(), good.end() - 5) << LinkType::Ethernet << n - 5;

        Bytes b = good;
        b[12] = 0x86; b[13] = 0xDD;
        QTest::newRow("ipv6 ethertype") << b << LinkType::Ethernet << -1;
        b = good;
        b[12] = 0x81; b[13] = 0x00;
        QTest::newRow("vlan tag") << b << LinkType::Ethernet << -1;
        b = good;
        b[14] = 0x65;
        QTest::newRow("ip version 6 in an ipv4 frame") << b << LinkType::Ethernet << -1;
        b = good;
        b[14] = 0x44;
        QTest::newRow("ip header length 16") << b << LinkType::Ethernet << -1;
        b = good;
        b[14] = 0x4F;
        QTest::newRow("ip header longer than the frame") << Bytes(b.begin(), b.begin() + 60) << LinkType::Ethernet << -1;
        b = good;
        b[16] = 0; b[17] = 19;
        QTest::newRow("total length below header length") << b << LinkType::Ethernet << -1;
        b = good;
        b[16] = 0; b[17] = 30;
        QTest::newRow("total length leaves no tcp header") << b << LinkType::Ethernet << -1;
        b = good;
        b[14 + 9] = 17;
        QTest::newRow("udp") << b << LinkType::Ethernet << -1;
        b = good;
        b[14 + 7] = 0x10;
        QTest::newRow("later fragment") << b << LinkType::Ethernet << -1;
        b = good;
        b[14 + 32] = 4 << 4;
        QTest::newRow("tcp offset 16") << b << LinkType::Ethernet << -1;
        b = good;
        b[14 + 32] = 15 << 4;
        QTest::newRow("tcp offset past the datagram") << Bytes(b.begin(), b.begin() + 60) << LinkType::Ethernet << -1;
        b = request("ab");
        b.insert(b.end(), 10, 0); // minimum Ethernet frame padding
        QTest::newRow("ethernet padding is not payload") << b << LinkType::Ethernet << 2;
        b = good;
        b[16] = 0; b[17] = 0;
        QTest::newRow("offloaded total length 0") << b << LinkType::Ethernet << n;
    }

    void decodesOnlyWholeTcpOverIpv4()
    {
        QFETCH(Bytes, bytes);
        QFETCH(LinkType, link);
        QFETCH(int, payload);
        DecodedPacket p;
        const bool ok = decodeFrame(link, bytes.data(), bytes.size(), p);
        QCOMPARE(ok, payload >= 0);
        if (!ok)
            return;
        QCOMPARE(int(p.length), payload);
        QVERIFY(p.payload + p.length <= bytes.data() + bytes.size());
        QVERIFY(p.saddr == Client.address);
        QVERIFY(p.daddr == Server.address);
        QCOMPARE(p.sport, Client.port);
        QCOMPARE(p.dport, Server.port);
    }

    void searchesHalfOpenRanges()
    {
        const unsigned char text[] = "abcGET ";
        const unsigned char *end = text + 7;
        const unsigned char *hit = buffSearch(reinterpret_cast<const unsigned char *>("GET "), 4, text, end);
        QCOMPARE(hit, end); // a match ending at the range's end counts
        QVERIFY(!buffSearch(reinterpret_cast<const unsigned char *>("GET "), 4, text, end - 1));
        QVERIFY(!buffSearch(reinterpret_cast<const unsigned char *>("abc"), 3, text, text + 2));
        QVERIFY(!buffSearch(reinterpret_cast<const unsigned char *>("a"), 0, text, end));
        QVERIFY(!buffSearch(reinterpret_cast<const unsigned char *>("a"), 1, end, text));
    }

    void reportsVideoResponses()
    {
        auto reports = play({{request(Get)}, {response(Mp4Response + "body")}});
        QCOMPARE(reports.size(), size_t(1));
        QCOMPARE(reports[0].url, std::string("media.example.com/v/clip.mp4"));
        QCOMPARE(reports[0].header, Get);
        QCOMPARE(reports[0].size, std::string("300000\r\n"));
        QCOMPARE(reports[0].type, std::string("mp4\r\n"));

        // Without a Host line the server's address stands for it.
        reports = play({{request("GET /a.mp4 HTTP/1.0\r\n\r\n")}, {response(Mp4Response)}});
        QCOMPARE(reports.size(), size_t(1));
        QCOMPARE(reports[0].url, std::string("93.184.216.34/a.mp4"));

        // Another header ending in "Host: " is not the host.
        reports = play({{request("GET /a HTTP/1.1\r\nX-Forwarded-Host: evil\r\nHost: good\r\n\r\n")},
                        {response(Mp4Response)}});
        QCOMPARE(reports.at(0).url, std::string("good/a"));

        // A response nobody asked for, and a request that was not HTTP.
        QVERIFY(play({{response(Mp4Response)}}).empty());
        QVERIFY(play({{request("POST /a HTTP/1.1\r\n\r\n")}, {response(Mp4Response)}}).empty());
        // Not video.
        QVERIFY(play({{request(Get)}, {response("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n<html>")}}).empty());
    }

    void recognisesBodies_data()
    {
        QTest::addColumn<QString>("responseText");
        QTest::addColumn<QString>("type"); // empty: no report

        QTest::newRow("x-flv with its header end") << "HTTP/1.1 200 OK\r\nContent-Type: video/x-flv\r\n\r\nFLV" << "x-flv\r\n";
        QTest::newRow("x-flv before its header end") << "HTTP/1.1 200 OK\r\nContent-Type: video/x-flv\r\nServer: a" << "";
        QTest::newRow("FLV body") << "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n\r\nFLV\x01" << "x-flv";
        QTest::newRow("ID3 body") << "HTTP/1.1 200 OK\r\nContent-Type: audio/mpeg\r\n\r\nID3\x03" << "MP3";
        QTest::newRow("other body") << "HTTP/1.1 200 OK\r\n\r\n<html>" << "";
        QTest::newRow("body of two bytes") << "HTTP/1.1 200 OK\r\n\r\nFL" << "";
        QTest::newRow("type in the body only") << "HTTP/1.1 200 OK\r\n\r\nX\r\nContent-Type: video/mp4\r\n" << "";
    }

    void recognisesBodies()
    {
        QFETCH(QString, responseText);
        QFETCH(QString, type);
        const auto reports = play({{request(Get)}, {response(responseText.toStdString())}});
        QCOMPARE(reports.size(), size_t(type.isEmpty() ? 0 : 1));
        if (!type.isEmpty())
            QCOMPARE(QString::fromStdString(reports[0].type), type);
    }

    void bodyInTheNextSegment()
    {
        const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 500000\r\n\r\n";
        auto reports = play({{request(Get)}, {response(head)}, {response("FLV\x01 data")}, {response("FLV again")}});
        QCOMPARE(reports.size(), size_t(1)); // once, not for every later segment
        QCOMPARE(reports[0].type, std::string("x-flv"));
        QCOMPARE(reports[0].size, std::string("500000\r\n"));

        // A segment of another connection is not that body.
        const Endpoint other{{10, 1, 1, 1}, 80};
        QVERIFY(play({{request(Get)}, {response(head)}, {response("FLV\x01", other)}}).empty());
        // An unmatched response replaces the remembered one.
        QVERIFY(play({{request(Get)}, {response(head)}, {response(head)}, {response("FLV")}}).empty());
        QVERIFY(play({{response(head)}, {response("FLV")}}).empty());
    }

    void requestsAcrossSegments()
    {
        // The header ends exactly at the end of its packet.
        auto reports = play({{request(Get)}, {response(Mp4Response)}});
        QCOMPARE(reports.at(0).header, Get);

        // A request split over two segments: the host and header are whole.
        const std::string first = Get.substr(0, 30), second = Get.substr(30);
        reports = play({{request(first)}, {request(second)}, {response(Mp4Response)}});
        QCOMPARE(reports.size(), size_t(1));
        QCOMPARE(reports[0].url, std::string("media.example.com/v/clip.mp4"));
        QCOMPARE(reports[0].header, Get);

        // The blank line itself split between segments.
        const size_t cut = Get.size() - 2;
        reports = play({{request(Get.substr(0, cut))}, {request(Get.substr(cut))}, {response(Mp4Response)}});
        QCOMPARE(reports.at(0).header, Get);

        // "GET " near the end of the window with its blank beyond it.
        std::string late(PacketDecoder::SearchWindow - 6, 'x');
        late += "GET /far/away HTTP/1.1\r\nHost: h\r\n\r\n";
        QVERIFY(play({{request(late)}, {response(Mp4Response)}}).empty());
    }

    void pipelinedRequests()
    {
        const std::string a = "GET /a.mp4 HTTP/1.1\r\nHost: h\r\n\r\n";
        const std::string b = "GET /b.mp4 HTTP/1.1\r\nHost: h\r\n\r\n";
        for (const bool together : {true, false}) {
            std::vector<Step> steps;
            if (together)
                steps.push_back({request(a + b)});
            else
                steps = {{request(a)}, {request(b)}};
            steps.push_back({response(Mp4Response)});
            steps.push_back({response("HTTP/1.1 200 OK\r\nContent-Type: video/webm\r\nContent-Length: 9\r\n\r\n")});
            const auto reports = play(steps);
            QCOMPARE(reports.size(), size_t(2));
            QCOMPARE(reports[0].url, std::string("h/a.mp4"));
            QCOMPARE(reports[0].header, a);
            QCOMPARE(reports[1].url, std::string("h/b.mp4"));
            QCOMPARE(reports[1].type, std::string("webm\r\n"));
        }
    }

    void httpInsideABodyIsNoResponse()
    {
        // Body bytes that happen to spell "HTTP" do not take the request.
        const auto reports = play({{request(Get)}, {response("xxHTTP/1.1 200")}, {response(Mp4Response)}});
        QCOMPARE(reports.size(), size_t(1));
    }

    void pendingRequestsTimeOut_data()
    {
        QTest::addColumn<int>("age");
        QTest::addColumn<bool>("reported");
        QTest::newRow("60 s stays") << 60 << true;
        QTest::newRow("61 s is dropped") << 61 << false;
    }

    void pendingRequestsTimeOut()
    {
        QFETCH(int, age);
        QFETCH(bool, reported);
        const Endpoint otherClient{Client.address, 40001};
        const auto reports = play({{request(Get), 1000},
                                   {request("GET /x HTTP/1.1\r\n\r\n", Server, otherClient), 1000 + age},
                                   {response(Mp4Response), 1000 + age}});
        QCOMPARE(reports.size(), size_t(reported ? 1 : 0));
    }

    void pendingRequestsAreBounded()
    {
        PacketDecoder decoder;
        decoder.setLocalAddress(Client.address);
        const std::string big = "GET /a HTTP/1.1\r\nX: " + std::string(30000, 'y') + "\r\n\r\n";
        for (int i = 0; i < 2000; ++i) {
            const Endpoint from{Client.address, static_cast<uint16_t>(1000 + i)};
            const Bytes f = request(i % 2 ? big : Get, Server, from);
            decoder.handleFrame(LinkType::Ethernet, f.data(), f.size(), 1000);
        }
        QVERIFY(decoder.pendingCount() <= PacketDecoder::MaxPendingRequests);
        QVERIFY(decoder.pendingBytes() <= PacketDecoder::MaxPendingBytes);
        size_t bytes = 0;
        for (const get_request &r : decoder.pendingRequests())
            bytes += r.header.size();
        QCOMPARE(bytes, decoder.pendingBytes());

        // A header that never ends is given up after its bound.
        PacketDecoder endless;
        endless.setLocalAddress(Client.address);
        Bytes f = request("GET /e HTTP/1.1\r\nHost: h\r\n");
        endless.handleFrame(LinkType::Ethernet, f.data(), f.size(), 1000);
        for (int i = 0; i < 10; ++i) {
            f = request(std::string(8000, 'z'));
            endless.handleFrame(LinkType::Ethernet, f.data(), f.size(), 1000);
        }
        QCOMPARE(endless.pendingCount(), size_t(1));
        QVERIFY(endless.pendingBytes() <= PacketDecoder::MaxHeaderBytes);
    }
};

QTEST_GUILESS_MAIN(PacketDecoderTest)
#include "tst_PacketDecoder.moc"
