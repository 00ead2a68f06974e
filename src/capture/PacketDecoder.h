#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <deque>
#include <functional>
#include <string>

// The part of the packet sniffer that needs neither libpcap nor Qt: taking a
// captured frame apart down to its TCP payload, remembering the computer's
// outgoing HTTP GET requests and spotting the responses that carry video.
// It is plain standard C++ so that the fuzzing target builds it on its own.
//
// Every length read from a frame is checked against the bytes captured
// before anything is read at it; searches run over [begin, end) and never
// step outside. Not thread-safe: one decoder belongs to one capture thread.

// An IPv4 address in network order, compared byte by byte.
struct ip_address
{
    unsigned char byte1 = 0, byte2 = 0, byte3 = 0, byte4 = 0;

    bool operator==(const ip_address &o) const
    {
        return byte1 == o.byte1 && byte2 == o.byte2 && byte3 == o.byte3 && byte4 == o.byte4;
    }
    bool operator!=(const ip_address &o) const { return !(*this == o); }
};

// One outgoing GET request waiting for its response.
struct get_request
{
    ip_address saddr, daddr;
    // Ports as numbers (host byte order).
    uint16_t sport = 0, dport = 0;
    std::string host;
    std::string path;
    // The request from its first byte through the blank line; while that
    // line has not been seen, the bytes gathered so far.
    std::string header;
    bool headerComplete = false;
    time_t timeAdded = 0;
};

// The link layers a capture may deliver.
enum class LinkType { Ethernet, LinuxCooked, LinuxCooked2, RawIp };

// The addresses, ports and payload of one TCP segment over IPv4.
struct DecodedPacket
{
    ip_address saddr, daddr;
    uint16_t sport = 0, dport = 0; // host byte order
    const unsigned char *payload = nullptr;
    size_t length = 0;
};

// Takes a frame apart. False for anything but a whole IPv4 TCP header
// inside the captured bytes (IPv6, VLAN, ARP, fragments after the first,
// truncated or inconsistent lengths). Link padding after the IPv4 total
// length is not part of the payload.
bool decodeFrame(LinkType link, const unsigned char *frame, size_t captured, DecodedPacket &out);

// The position just after the first occurrence of the pattern in
// [begin, end), or null. An empty pattern matches nothing.
const unsigned char *buffSearch(const unsigned char *pattern, size_t patternLength,
                                const unsigned char *begin, const unsigned char *end);

// Matches requests and responses and reports video responses.
class PacketDecoder
{
public:
    // URL (host and path, no scheme), raw request header, size text, type.
    using Report = std::function<void(const std::string &, const std::string &,
                                      const std::string &, const std::string &)>;

    // Searches for markers look at no more than this many payload bytes.
    static constexpr size_t SearchWindow = 8192;
    // A pending request is dropped once it is this many seconds old.
    static constexpr time_t RequestTimeout = 61;
    // Bounds of the pending list: requests and bytes of their headers.
    static constexpr size_t MaxPendingRequests = 256;
    static constexpr size_t MaxPendingBytes = 4 * 1024 * 1024;
    // A request header that is still incomplete after this many bytes is
    // given up (its request stays, without a header).
    static constexpr size_t MaxHeaderBytes = 32 * 1024;

    explicit PacketDecoder(Report report = Report());

    void setLocalAddress(const ip_address &address) { local = address; }
    const ip_address &localAddress() const { return local; }
    void setReport(Report r) { report = std::move(r); }

    // Handles one decoded packet seen at the given wall-clock time.
    void handlePacket(const DecodedPacket &packet, time_t now);
    // Decodes and handles one captured frame; false when it was skipped.
    bool handleFrame(LinkType link, const unsigned char *frame, size_t captured, time_t now);

    size_t pendingCount() const { return pending.size(); }
    size_t pendingBytes() const { return pendingHeaderBytes; }
    const std::deque<get_request> &pendingRequests() const { return pending; }

    // "host/path", or the server's dotted address and the path when the
    // request named no host; empty when it has no path.
    static std::string formatUrl(const get_request &request);

private:
    void handleOutgoing(const DecodedPacket &packet, time_t now);
    void handleIncoming(const DecodedPacket &packet);
    // Parses requests from [begin, end) of one outgoing payload.
    void parseRequests(const DecodedPacket &packet, const unsigned char *begin,
                       const unsigned char *end, time_t now);
    // Feeds more bytes to a request whose header is not complete yet; the
    // number of bytes it took.
    size_t continueHeader(get_request &request, const unsigned char *begin, const unsigned char *end);
    static void findHost(get_request &request);
    void addRequest(get_request request, time_t now);
    bool delRequest(const ip_address &saddr, uint16_t sport, const ip_address &daddr, uint16_t dport,
                    get_request &out);
    void timeoutRequests(time_t now);
    void dropOldest();
    void runCallbacks(const get_request &request, const std::string &size, const std::string &type);

    Report report;
    ip_address local;
    std::deque<get_request> pending; // oldest first
    size_t pendingHeaderBytes = 0;

    // The last response seen, for a body that begins in the next segment of
    // its connection; reported at most once.
    struct LastResponse
    {
        bool valid = false;
        get_request request;
        std::string size;
    } last;
};
