// Fuzzing target of the sniffer's frame decoder and request matching.
//
// The first byte chooses the link layer and which address counts as this
// computer's; the rest is a run of frames, each preceded by its length in
// two bytes, handed to one decoder so that requests and responses of
// different inputs meet.
#include "capture/PacketDecoder.h"

#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static PacketDecoder decoder([](const std::string &url, const std::string &, const std::string &,
                                    const std::string &) {
        if (url.empty())
            __builtin_trap();
    });
    static time_t now = 1000;
    if (size < 1)
        return 0;
    const LinkType links[] = {LinkType::Ethernet, LinkType::LinuxCooked, LinkType::LinuxCooked2, LinkType::RawIp};
    const LinkType link = links[data[0] & 3];
    decoder.setLocalAddress((data[0] & 4) ? ip_address{10, 0, 0, 1} : ip_address{192, 168, 1, 10});
    now += (data[0] >> 3) & 0x3F;
    ++data;
    --size;
    while (size >= 2) {
        size_t length = (static_cast<size_t>(data[0]) << 8) | data[1];
        data += 2;
        size -= 2;
        if (length > size)
            length = size;
        // A copy of exactly the frame's bytes, so that any read past them
        // is caught by the address sanitizer.
        auto *frame = new unsigned char[length ? length : 1];
        if (length)
            std::memcpy(frame, data, length);
        decoder.handleFrame(link, frame, length, now);
        delete[] frame;
        data += length;
        size -= length;
    }
    if (decoder.pendingCount() > PacketDecoder::MaxPendingRequests
        || decoder.pendingBytes() > PacketDecoder::MaxPendingBytes)
        __builtin_trap();
    return 0;
}
