#include "capture/PacketDecoder.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

const unsigned char *find(const char *pattern, const unsigned char *begin, const unsigned char *end)
{
    return buffSearch(reinterpret_cast<const unsigned char *>(pattern), std::strlen(pattern), begin, end);
}

bool startsWith(const unsigned char *begin, const unsigned char *end, const char *prefix)
{
    const size_t n = std::strlen(prefix);
    return static_cast<size_t>(end - begin) >= n && std::memcmp(begin, prefix, n) == 0;
}

uint16_t read16(const unsigned char *p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }

std::string trimmed(const std::string &s)
{
    const size_t first = s.find_first_not_of(" \t");
    if (first == std::string::npos)
        return std::string();
    const size_t last = s.find_last_not_of(" \t");
    return s.substr(first, last - first + 1);
}

const char HeaderEnd[] = "\r\n\r\n";

} // namespace

const unsigned char *buffSearch(const unsigned char *pattern, size_t patternLength,
                                const unsigned char *begin, const unsigned char *end)
{
    if (!pattern || !begin || !end || patternLength == 0 || end <= begin
        || static_cast<size_t>(end - begin) < patternLength)
        return nullptr;
    const unsigned char *at = std::search(begin, end, pattern, pattern + patternLength);
    return at == end ? nullptr : at + patternLength;
}

bool decodeFrame(LinkType link, const unsigned char *frame, size_t captured, DecodedPacket &out)
{
    if (!frame)
        return false;
    size_t ipOffset = 0;
    switch (link) {
    case LinkType::Ethernet:
        // An 802.1Q tag (0x8100) or IPv6 (0x86DD) is not IPv4: skipped.
        if (captured < 14 || read16(frame + 12) != 0x0800)
            return false;
        ipOffset = 14;
        break;
    case LinkType::LinuxCooked:
        if (captured < 16 || read16(frame + 14) != 0x0800)
            return false;
        ipOffset = 16;
        break;
    case LinkType::LinuxCooked2:
        if (captured < 20 || read16(frame) != 0x0800)
            return false;
        ipOffset = 20;
        break;
    case LinkType::RawIp:
        ipOffset = 0;
        break;
    }

    const unsigned char *ip = frame + ipOffset;
    const size_t ipAvailable = captured - ipOffset;
    if (ipAvailable < 20 || (ip[0] >> 4) != 4)
        return false;
    const size_t ipHeader = static_cast<size_t>(ip[0] & 0x0F) * 4;
    if (ipHeader < 20 || ipHeader > ipAvailable)
        return false;
    size_t total = read16(ip + 2);
    // Segmentation offload hands outgoing segments over before the kernel
    // fills in the total length; such a frame counts as captured.
    if (total == 0)
        total = ipAvailable;
    if (total < ipHeader)
        return false;
    // Padding after the datagram (short Ethernet frames) is not payload.
    const size_t ipEnd = std::min(total, ipAvailable);
    if (ip[9] != 6) // TCP
        return false;
    if ((read16(ip + 6) & 0x1FFF) != 0) // a later fragment has no TCP header
        return false;

    const unsigned char *tcp = ip + ipHeader;
    const size_t tcpAvailable = ipEnd - ipHeader;
    if (tcpAvailable < 20)
        return false;
    const size_t tcpHeader = static_cast<size_t>(tcp[12] >> 4) * 4;
    if (tcpHeader < 20 || tcpHeader > tcpAvailable)
        return false;

    out.saddr = {ip[12], ip[13], ip[14], ip[15]};
    out.daddr = {ip[16], ip[17], ip[18], ip[19]};
    out.sport = read16(tcp);
    out.dport = read16(tcp + 2);
    out.payload = tcp + tcpHeader;
    out.length = tcpAvailable - tcpHeader;
    return true;
}

PacketDecoder::PacketDecoder(Report r) : report(std::move(r)) {}

bool PacketDecoder::handleFrame(LinkType link, const unsigned char *frame, size_t captured, time_t now)
{
    DecodedPacket packet;
    if (!decodeFrame(link, frame, captured, packet))
        return false;
    handlePacket(packet, now);
    return true;
}

void PacketDecoder::handlePacket(const DecodedPacket &packet, time_t now)
{
    if (!packet.payload || packet.length == 0)
        return;
    if (packet.saddr == local)
        handleOutgoing(packet, now);
    else
        handleIncoming(packet);
}

void PacketDecoder::handleOutgoing(const DecodedPacket &packet, time_t now)
{
    const unsigned char *begin = packet.payload;
    const unsigned char *end = packet.payload + packet.length;

    // A request whose header began in an earlier segment of this connection
    // takes this segment's bytes up to its blank line first.
    if (!startsWith(begin, end, "GET ")) {
        for (auto it = pending.rbegin(); it != pending.rend(); ++it) {
            if (it->saddr == packet.saddr && it->sport == packet.sport && it->daddr == packet.daddr
                && it->dport == packet.dport) {
                if (!it->headerComplete)
                    begin += continueHeader(*it, begin, end);
                break;
            }
        }
    }
    parseRequests(packet, begin, end, now);
}

void PacketDecoder::parseRequests(const DecodedPacket &packet, const unsigned char *begin,
                                  const unsigned char *end, time_t now)
{
    while (begin < end) {
        const unsigned char *windowEnd = begin + std::min(static_cast<size_t>(end - begin), SearchWindow);
        const unsigned char *pathStart = find("GET ", begin, windowEnd);
        if (!pathStart)
            return;
        const unsigned char *blank = std::find(pathStart, windowEnd, static_cast<unsigned char>(' '));
        if (blank == windowEnd)
            return;

        get_request request;
        request.saddr = packet.saddr;
        request.daddr = packet.daddr;
        request.sport = packet.sport;
        request.dport = packet.dport;
        request.path.assign(reinterpret_cast<const char *>(pathStart), blank - pathStart);

        const unsigned char *requestStart = pathStart - 4;
        const unsigned char *headerEnd = find(HeaderEnd, blank, end);
        const unsigned char *stop = headerEnd ? headerEnd : end;
        const size_t take = std::min(static_cast<size_t>(stop - requestStart), MaxHeaderBytes);
        request.header.assign(reinterpret_cast<const char *>(requestStart), take);
        request.headerComplete = headerEnd && take == static_cast<size_t>(headerEnd - requestStart);
        if (!headerEnd && take == MaxHeaderBytes) {
            request.header.clear();
            request.headerComplete = true; // given up: no header
        }
        findHost(request);
        addRequest(std::move(request), now);
        if (!headerEnd)
            return;
        begin = headerEnd; // a pipelined request may follow
    }
}

size_t PacketDecoder::continueHeader(get_request &request, const unsigned char *begin, const unsigned char *end)
{
    const size_t before = request.header.size();
    const size_t room = MaxHeaderBytes > before ? MaxHeaderBytes - before : 0;
    const size_t take = std::min(static_cast<size_t>(end - begin), room);
    request.header.append(reinterpret_cast<const char *>(begin), take);

    // The blank line may straddle the two segments.
    const size_t from = before >= 3 ? before - 3 : 0;
    const size_t at = request.header.find(HeaderEnd, from);
    size_t consumed = take;
    if (at != std::string::npos) {
        const size_t newSize = at + 4;
        consumed = newSize - before;
        request.header.resize(newSize);
        request.headerComplete = true;
    } else if (request.header.size() >= MaxHeaderBytes) {
        request.header.clear();
        request.headerComplete = true;
    }
    pendingHeaderBytes = pendingHeaderBytes - before + request.header.size();
    findHost(request);
    return consumed;
}

void PacketDecoder::findHost(get_request &request)
{
    if (!request.host.empty())
        return;
    const std::string &h = request.header;
    // Matched at a line start, so "X-Forwarded-Host: " does not count.
    const size_t at = h.find("\r\nHost: ");
    if (at == std::string::npos)
        return;
    const size_t value = at + 8;
    const size_t lineEnd = h.find("\r\n", value);
    if (lineEnd != std::string::npos)
        request.host = h.substr(value, lineEnd - value);
}

void PacketDecoder::addRequest(get_request request, time_t now)
{
    timeoutRequests(now);
    request.timeAdded = now;
    pendingHeaderBytes += request.header.size();
    pending.push_back(std::move(request));
    while (pending.size() > MaxPendingRequests || (pendingHeaderBytes > MaxPendingBytes && pending.size() > 1))
        dropOldest();
}

void PacketDecoder::dropOldest()
{
    pendingHeaderBytes -= pending.front().header.size();
    pending.pop_front();
}

void PacketDecoder::timeoutRequests(time_t now)
{
    for (auto it = pending.begin(); it != pending.end();) {
        if (now - it->timeAdded >= RequestTimeout) {
            pendingHeaderBytes -= it->header.size();
            it = pending.erase(it);
        } else {
            ++it;
        }
    }
}

bool PacketDecoder::delRequest(const ip_address &saddr, uint16_t sport, const ip_address &daddr, uint16_t dport,
                               get_request &out)
{
    for (auto it = pending.begin(); it != pending.end(); ++it) {
        if (it->saddr == saddr && it->sport == sport && it->daddr == daddr && it->dport == dport) {
            pendingHeaderBytes -= it->header.size();
            out = std::move(*it);
            pending.erase(it);
            return true;
        }
    }
    return false;
}

void PacketDecoder::handleIncoming(const DecodedPacket &packet)
{
    const unsigned char *begin = packet.payload;
    const unsigned char *end = packet.payload + packet.length;
    const unsigned char *windowEnd = begin + std::min(packet.length, SearchWindow);

    // A response starts its segment with the status line; "HTTP" inside a
    // body proves nothing.
    if (!startsWith(begin, end, "HTTP/")) {
        // The first body segment of the last response, on its connection.
        if (last.valid && last.request.saddr == packet.daddr && last.request.sport == packet.dport
            && last.request.daddr == packet.saddr && last.request.dport == packet.sport) {
            last.valid = false;
            if (startsWith(begin, windowEnd, "FLV"))
                runCallbacks(last.request, last.size, "x-flv");
        }
        return;
    }

    last.valid = false;
    get_request current;
    const bool matched = delRequest(packet.daddr, packet.dport, packet.saddr, packet.sport, current);

    const unsigned char *headerEnd = find(HeaderEnd, begin, end);
    // Header fields are looked for in the header block only.
    const unsigned char *fieldsEnd = headerEnd && headerEnd < windowEnd ? headerEnd : windowEnd;

    std::string size;
    if (const unsigned char *value = find("\r\nContent-Length: ", begin, fieldsEnd)) {
        if (const unsigned char *lineEnd = find("\r\n", value, windowEnd))
            size.assign(reinterpret_cast<const char *>(value), lineEnd - value);
    }

    bool reported = false;
    if (const unsigned char *video = find("\r\nContent-Type: video/", begin, fieldsEnd)) {
        std::string type;
        if (const unsigned char *lineEnd = find("\r\n", video, windowEnd))
            type.assign(reinterpret_cast<const char *>(video), lineEnd - video);
        const unsigned char *flv = find("x-flv", video, windowEnd);
        if (!flv || find(HeaderEnd, flv, end)) {
            runCallbacks(current, size, type);
            reported = true;
        }
    } else if (headerEnd && headerEnd <= windowEnd) {
        if (startsWith(headerEnd, windowEnd, "FLV")) {
            runCallbacks(current, size, "x-flv");
            reported = true;
        } else if (startsWith(headerEnd, windowEnd, "ID3")) {
            runCallbacks(current, size, "MP3");
            reported = true;
        }
    }

    // A body that begins in the next segment may still show itself as FLV.
    if (matched && !reported && (!headerEnd || headerEnd == end)) {
        last.valid = true;
        last.request = std::move(current);
        last.size = size;
    }
}

void PacketDecoder::runCallbacks(const get_request &request, const std::string &size, const std::string &type)
{
    const std::string url = formatUrl(request);
    if (url.empty() || !report)
        return;
    report(url, request.headerComplete ? request.header : std::string(), size, type);
}

std::string PacketDecoder::formatUrl(const get_request &request)
{
    const std::string path = trimmed(request.path);
    if (path.empty())
        return std::string();
    const std::string host = trimmed(request.host);
    if (!host.empty())
        return host + path;
    char address[16];
    std::snprintf(address, sizeof address, "%d.%d.%d.%d", request.daddr.byte1, request.daddr.byte2,
                  request.daddr.byte3, request.daddr.byte4);
    return address + path;
}
