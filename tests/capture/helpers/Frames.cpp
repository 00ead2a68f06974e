#include "Frames.h"

namespace frames {

namespace {

void put16(Bytes &b, size_t at, unsigned v)
{
    b[at] = static_cast<unsigned char>(v >> 8);
    b[at + 1] = static_cast<unsigned char>(v & 0xFF);
}

} // namespace

Bytes ipPacket(const Endpoint &from, const Endpoint &to, const std::string &payload)
{
    Bytes p(40 + payload.size(), 0);
    p[0] = 0x45;
    put16(p, 2, static_cast<unsigned>(p.size()));
    p[8] = 64;
    p[9] = 6;
    const ip_address &s = from.address, &d = to.address;
    p[12] = s.byte1; p[13] = s.byte2; p[14] = s.byte3; p[15] = s.byte4;
    p[16] = d.byte1; p[17] = d.byte2; p[18] = d.byte3; p[19] = d.byte4;
    put16(p, 20, from.port);
    put16(p, 22, to.port);
    p[32] = 5 << 4;
    p[33] = 0x18;
    std::copy(payload.begin(), payload.end(), p.begin() + 40);
    return p;
}

Bytes frame(const Endpoint &from, const Endpoint &to, const std::string &payload, LinkType link)
{
    const Bytes ip = ipPacket(from, to, payload);
    Bytes f;
    switch (link) {
    case LinkType::Ethernet:
        f.assign(14, 0x11);
        f[12] = 0x08; f[13] = 0x00;
        break;
    case LinkType::LinuxCooked:
        f.assign(16, 0);
        f[14] = 0x08; f[15] = 0x00;
        break;
    case LinkType::LinuxCooked2:
        f.assign(20, 0);
        f[0] = 0x08; f[1] = 0x00;
        break;
    case LinkType::RawIp:
        break;
    }
    f.insert(f.end(), ip.begin(), ip.end());
    return f;
}

} // namespace frames
