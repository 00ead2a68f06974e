#include "capture/CVideoSniffer.h"

#include <QDebug>
#include <QMutex>
#include <QMutexLocker>

#include <arpa/inet.h>
#include <atomic>
#include <netinet/in.h>
#include <pcap/pcap.h>
#include <poll.h>
#include <sys/socket.h>

namespace {

std::atomic<bool> admitLoopback{false};

// How long a wait for packets lasts before the stop flag is looked at.
constexpr int PollMs = 200;

bool usableAddress(const sockaddr *address, ip_address &out)
{
    if (!address || address->sa_family != AF_INET)
        return false;
    const auto *in = reinterpret_cast<const sockaddr_in *>(address);
    const auto *b = reinterpret_cast<const unsigned char *>(&in->sin_addr.s_addr);
    if (b[0] < 1 || b[0] > 253 || b[0] == 169)
        return false;
    out = {b[0], b[1], b[2], b[3]};
    return true;
}

bool linkTypeOf(int dlt, LinkType &out)
{
    switch (dlt) {
    case DLT_EN10MB: out = LinkType::Ethernet; return true;
    case DLT_LINUX_SLL: out = LinkType::LinuxCooked; return true;
#ifdef DLT_LINUX_SLL2
    case DLT_LINUX_SLL2: out = LinkType::LinuxCooked2; return true;
#endif
    case DLT_RAW: out = LinkType::RawIp; return true;
#ifdef DLT_IPV4
    case DLT_IPV4: out = LinkType::RawIp; return true;
#endif
    default: return false;
    }
}

} // namespace

struct CVideoSniffer::Impl
{
    std::string name;
    std::atomic<Callback> callback{nullptr};
    std::atomic<bool> stop{false};
    std::atomic<bool> done{true};
    pcap_t *handle = nullptr;
    bool live = true;
    LinkType link = LinkType::Ethernet;
    std::string error;
    PacketDecoder decoder;

    QMutex ignoreMutex;
    std::vector<std::string> ignoreList;
    // Bound of the ignore list: enough for every download and preview of a
    // session, not a way to grow without end.
    static constexpr size_t MaxIgnored = 1024;

    bool startCapture(CVideoSniffer *owner)
    {
        char errbuf[PCAP_ERRBUF_SIZE] = {0};
        handle = pcap_create(name.c_str(), errbuf);
        if (!handle) {
            error = errbuf;
            return false;
        }
        pcap_set_snaplen(handle, 65535);
        pcap_set_promisc(handle, 0);
        // Packets are handed over at once; the loop waits with poll().
        pcap_set_immediate_mode(handle, 1);
        pcap_set_timeout(handle, PollMs);
        const int status = pcap_activate(handle);
        if (status < 0) {
            error = status == PCAP_ERROR ? std::string(pcap_geterr(handle)) : std::string(pcap_statustostr(status));
            if (status == PCAP_ERROR_PERM_DENIED)
                error += " (capturing needs the CAP_NET_RAW capability)";
            closeHandle();
            return false;
        }
        if (pcap_setnonblock(handle, 1, errbuf) < 0) {
            error = errbuf;
            closeHandle();
            return false;
        }
        return prepare(owner, true);
    }

    // Checks the link type, installs the "tcp" filter and, when asked,
    // starts the thread.
    bool prepare(CVideoSniffer *owner, bool startNow)
    {
        const int dlt = pcap_datalink(handle);
        if (!linkTypeOf(dlt, link)) {
            const char *dltName = pcap_datalink_val_to_name(dlt);
            error = std::string("link type ") + (dltName ? dltName : std::to_string(dlt)) + " is not supported";
            closeHandle();
            return false;
        }
        bpf_program program;
        if (pcap_compile(handle, &program, "tcp", 1, PCAP_NETMASK_UNKNOWN) < 0) {
            error = pcap_geterr(handle);
            closeHandle();
            return false;
        }
        const int set = pcap_setfilter(handle, &program);
        pcap_freecode(&program);
        if (set < 0) {
            error = pcap_geterr(handle);
            closeHandle();
            return false;
        }
        done = false;
        if (startNow)
            owner->start();
        return true;
    }

    void closeHandle()
    {
        if (handle)
            pcap_close(handle);
        handle = nullptr;
    }
};

CVideoSniffer::CVideoSniffer(std::string interfaceName) : d(new Impl)
{
    d->name = std::move(interfaceName);
    d->decoder.setReport([this](const std::string &u, const std::string &h, const std::string &s,
                                const std::string &t) { report(u, h, s, t); });

    char errbuf[PCAP_ERRBUF_SIZE] = {0};
    pcap_if_t *devices = nullptr;
    if (pcap_findalldevs(&devices, errbuf) == -1) {
        qDebug() << "CVideoSniffer: pcap_findalldevs:" << errbuf;
        d->error = errbuf;
        return;
    }
    bool found = false;
    for (pcap_if_t *dev = devices; dev; dev = dev->next) {
        if (d->name != dev->name)
            continue;
        found = true;
        // The last usable address is this computer's on the interface.
        for (pcap_addr_t *a = dev->addresses; a; a = a->next) {
            ip_address address;
            if (usableAddress(a->addr, address)) {
                d->decoder.setLocalAddress(address);
                qDebug("CVideoSniffer: %s local address %d.%d.%d.%d", d->name.c_str(), address.byte1,
                       address.byte2, address.byte3, address.byte4);
            }
        }
    }
    pcap_freealldevs(devices);
    if (!found) {
        d->error = "no such interface";
        qDebug() << "CVideoSniffer:" << d->name.c_str() << d->error.c_str();
        return;
    }
    if (!d->startCapture(this))
        qWarning() << "CVideoSniffer: cannot capture on" << d->name.c_str() << ":" << d->error.c_str();
}

CVideoSniffer::CVideoSniffer(std::string path, const ip_address &local, Offline) : d(new Impl)
{
    d->name = std::move(path);
    d->live = false;
    d->decoder.setLocalAddress(local);
    d->decoder.setReport([this](const std::string &u, const std::string &h, const std::string &s,
                                const std::string &t) { report(u, h, s, t); });
    char errbuf[PCAP_ERRBUF_SIZE] = {0};
    d->handle = pcap_open_offline(d->name.c_str(), errbuf);
    if (!d->handle) {
        d->error = errbuf;
        return;
    }
    // Started by its caller, once the receiver and ignore list are set:
    // a file is read at once, to its end.
    d->prepare(this, false);
}

std::unique_ptr<CVideoSniffer> CVideoSniffer::replayFile(const std::string &path, const ip_address &local)
{
    return std::unique_ptr<CVideoSniffer>(new CVideoSniffer(path, local, Offline()));
}

CVideoSniffer::~CVideoSniffer()
{
    d->stop = true;
    wait();
    d->closeHandle();
}

std::vector<std::string> CVideoSniffer::listInterfaces()
{
    std::vector<std::string> names;
    char errbuf[PCAP_ERRBUF_SIZE] = {0};
    pcap_if_t *devices = nullptr;
    if (pcap_findalldevs(&devices, errbuf) == -1) {
        qDebug() << "CVideoSniffer: pcap_findalldevs failed:" << errbuf;
        return names;
    }
    for (pcap_if_t *dev = devices; dev; dev = dev->next) {
        if (!dev->addresses || ((dev->flags & PCAP_IF_LOOPBACK) && !admitLoopback))
            continue;
        for (pcap_addr_t *a = dev->addresses; a; a = a->next) {
            ip_address address;
            if (usableAddress(a->addr, address)) {
                names.push_back(dev->name);
                qDebug() << "sniffer iface:" << dev->name;
                break;
            }
        }
    }
    pcap_freealldevs(devices);
    return names;
}

void CVideoSniffer::setAdmitLoopback(bool admit) { admitLoopback = admit; }

void CVideoSniffer::registerCallbackFunc(Callback callback)
{
    qDebug() << "Register callback func";
    d->callback = callback;
}

void CVideoSniffer::ignoreUrl(std::string url, int count)
{
    if (count < 1)
        return;
    QMutexLocker lock(&d->ignoreMutex);
    for (int i = 0; i < count && d->ignoreList.size() < Impl::MaxIgnored; ++i)
        d->ignoreList.push_back(url);
}

bool CVideoSniffer::mustIgnore(const std::string &url)
{
    QMutexLocker lock(&d->ignoreMutex);
    for (auto it = d->ignoreList.begin(); it != d->ignoreList.end(); ++it) {
        if (*it == url) {
            d->ignoreList.erase(it);
            return true;
        }
    }
    return false;
}

bool CVideoSniffer::isCapturing() const { return d->handle != nullptr; }
std::string CVideoSniffer::errorText() const { return d->error; }
const std::string &CVideoSniffer::interfaceName() const { return d->name; }

void CVideoSniffer::report(const std::string &url, const std::string &header, const std::string &size,
                           const std::string &type)
{
    qDebug() << "CVideoSniffer: video response" << url.c_str() << type.c_str();
    if (mustIgnore(url))
        return;
    if (Callback cb = d->callback.load())
        cb(url, header, size, type);
}

void CVideoSniffer::run() { Run(); }

void CVideoSniffer::Run()
{
    const int fd = d->live ? pcap_get_selectable_fd(d->handle) : -1;
    while (!d->stop) {
        pcap_pkthdr *header = nullptr;
        const u_char *data = nullptr;
        const int got = pcap_next_ex(d->handle, &header, &data);
        if (got < 0) {
            if (got != PCAP_ERROR_BREAK && d->live)
                qWarning() << "CVideoSniffer: capture on" << d->name.c_str() << "ended:" << pcap_geterr(d->handle);
            break;
        }
        if (got == 0) {
            // Nothing waiting: sleep until a packet comes or the stop flag
            // is due to be looked at again.
            if (fd >= 0) {
                pollfd p{fd, POLLIN, 0};
                poll(&p, 1, PollMs);
            } else {
                QThread::msleep(10);
            }
            continue;
        }
        d->decoder.handleFrame(d->link, data, header->caplen, static_cast<time_t>(header->ts.tv_sec));
    }
    d->done = true;
}
