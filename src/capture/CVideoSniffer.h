#pragma once

#include "capture/PacketDecoder.h"

#include <QThread>
#include <memory>
#include <string>
#include <vector>

// Watches the TCP traffic of one network interface through libpcap and
// reports the HTTP responses that carry video (or MP3 sound): the URL of
// the request (host and path, no scheme), its raw header, the announced
// size and the content type. The frames are taken apart by PacketDecoder.
//
// Threads: the graphical thread makes and destroys a sniffer and calls
// registerCallbackFunc and ignoreUrl; the capture runs on the sniffer's own
// thread, which also calls the callback, so the callback must only hand the
// report over. The callback pointer and the flags are atomic; the ignore
// list has a mutex of its own. Everything else belongs to the capture
// thread.
//
// Capturing needs the CAP_NET_RAW capability (or root). A sniffer whose
// capture could not be opened stays inert and tells why (errorText()).
class CVideoSniffer : public QThread
{
public:
    using Callback = void (*)(std::string, std::string, std::string, std::string);

    // Opens the capture on the interface and starts capturing at once.
    explicit CVideoSniffer(std::string interfaceName);
    // Stops the capture (within a fraction of a second) and waits for it.
    ~CVideoSniffer() override;

    // The interfaces worth capturing on: not loopback, with a routable or
    // private IPv4 address (not 0.x, 169.x link-local, 254.x or 255.x).
    static std::vector<std::string> listInterfaces();
    // Tests only: lets the loopback interface count as usable.
    static void setAdmitLoopback(bool admit);

    // Tests only: a sniffer that reads a capture file instead of an
    // interface, taking the given address as this computer's; its thread
    // starts when start() is called and ends at the end of the file.
    static std::unique_ptr<CVideoSniffer> replayFile(const std::string &path, const ip_address &local);

    // Makes the function the one receiver of reports.
    void registerCallbackFunc(Callback callback);
    // The next count reports of the URL (host and path) are skipped.
    void ignoreUrl(std::string url, int count);

    // Whether the capture opened; when not, why.
    bool isCapturing() const;
    std::string errorText() const;
    const std::string &interfaceName() const;

protected:
    void run() override;

private:
    struct Offline {};
    CVideoSniffer(std::string path, const ip_address &local, Offline);

    void Run();
    bool mustIgnore(const std::string &url);
    void report(const std::string &url, const std::string &header, const std::string &size,
                const std::string &type);

    struct Impl;
    std::unique_ptr<Impl> d;
};
