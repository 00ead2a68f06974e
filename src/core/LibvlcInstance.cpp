#include "core/LibvlcInstance.h"

#include "core/Logger.h"
#include "core/Singleton.h"

#include <QDebug>
#include <QVector>

#include <vlc/vlc.h>

namespace TW {

struct LibvlcInstance::Impl
{
    libvlc_instance_t *handle = nullptr;
};

namespace {
bool loggingOn()
{
    const Logger *logger = Singleton<Logger>::instance();
    return logger && logger->isEnabled();
}
} // namespace

QStringList LibvlcInstance::arguments()
{
    QStringList args{
        "--ignore-config",
        "--skip-frames",
        "--text-renderer",
        "dummy",
        "-I",
        "dumy",
        "--no-video-title-show",
        "--no-stats",
        "--no-sub-autodetect-file",
        // No screen-saver inhibition: its D-Bus plugin forks a helper that
        // can deadlock (seen under AddressSanitizer), and nothing here
        // needs it.
        "--no-disable-screensaver",
        // libvlc speaks only to whoever switched logging on.
        loggingOn() ? "--verbose=3" : "--verbose=0",
        "--no-osd",
        "--input-fast-seek",
        // The video output belongs to the player, not to the media, so a
        // media option cannot reach it: every picture is counted by the
        // playback engine, and a late one dropped would put the count out.
        "--no-drop-late-frames",
        // "--no-hq-resampling" is gone from libvlc 3, which only warns about it.
    };
    if (qEnvironmentVariableIntValue("TW_TEST_MODE") == 1)
        args << "--aout=dummy" << "--vout=dummy" << "--verbose=0";
    return args;
}

LibvlcInstance::LibvlcInstance()
    : d(std::make_unique<Impl>())
{
    const QStringList args = arguments();
    QVector<QByteArray> bytes;
    QVector<const char *> argv;
    bytes.reserve(args.size());
    for (const QString &a : args)
        bytes << a.toLocal8Bit();
    for (const QByteArray &b : bytes)
        argv << b.constData();
    d->handle = libvlc_new(argv.size(), argv.constData());
    if (!d->handle)
        qCritical() << "LibvlcInstance: libvlc could not be started:" << libvlc_errmsg();
}

LibvlcInstance::~LibvlcInstance()
{
    if (d->handle)
        libvlc_release(d->handle);
}

libvlc_instance_t *LibvlcInstance::getHandle() const
{
    return d->handle;
}

} // namespace TW
