#pragma once

#include "capture/PacketDecoder.h"

#include <string>
#include <vector>

// Builds captured frames for the sniffer's tests: Ethernet (or another link
// layer) around IPv4 around TCP around a payload, with every length right
// unless a test changes it afterwards.
namespace frames {

using Bytes = std::vector<unsigned char>;

struct Endpoint
{
    ip_address address;
    uint16_t port;
};

// The computer, a server and another server.
const Endpoint Client{{192, 168, 1, 10}, 40000};
const Endpoint Server{{93, 184, 216, 34}, 80};

// The IPv4 packet (header of 20 bytes, TCP header of 20 bytes).
Bytes ipPacket(const Endpoint &from, const Endpoint &to, const std::string &payload);
// The frame of that packet on a link.
Bytes frame(const Endpoint &from, const Endpoint &to, const std::string &payload,
            LinkType link = LinkType::Ethernet);

// A request from the computer and a response to it.
inline Bytes request(const std::string &payload, const Endpoint &to = Server, const Endpoint &from = Client)
{
    return frame(from, to, payload);
}
inline Bytes response(const std::string &payload, const Endpoint &from = Server, const Endpoint &to = Client)
{
    return frame(from, to, payload);
}

} // namespace frames
