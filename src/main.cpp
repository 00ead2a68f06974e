#include "app/Application.h"
#include "app/CocoaInitializer.h"
#include "app/CommandLine.h"
#include "app/MainController.h"
#include "app/SparkleAutoUpdater.h"
#include "core/Logger.h"
#include "core/Options.h"
#include "core/Singleton.h"
#include "core/Util.h"
#include "core/WorkingFiles.h"

#include <QFont>
#include <QMetaType>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

// From Xlib; declared here so that Xlib's macros stay out of the Qt code.
extern "C" int XInitThreads(void);

namespace {

int s_signalPipe[2] = {-1, -1};

// How long a termination waits for the event loop before the program ends
// without it.
constexpr unsigned TerminationGraceSeconds = 5;

void onTerminationSignal(int)
{
    const char byte = 1;
    // Only async-signal-safe work here: wake the event loop.
    [[maybe_unused]] const ssize_t written = ::write(s_signalPipe[1], &byte, 1);
    // Should the graphical thread be busy for long, the program still ends:
    // the alarm's default action terminates it.
    ::signal(SIGALRM, SIG_DFL);
    ::alarm(TerminationGraceSeconds);
}

// A session that ends (logout, SIGTERM) or Ctrl+C in a terminal quits through
// the event loop, so the window and the settings are saved as on a normal exit.
void quitOnTerminationSignals(QCoreApplication *app)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, s_signalPipe) != 0)
        return;
    auto *notifier = new QSocketNotifier(s_signalPipe[0], QSocketNotifier::Read, app);
    QObject::connect(notifier, &QSocketNotifier::activated, app, [notifier] {
        char byte;
        [[maybe_unused]] const ssize_t n = ::read(s_signalPipe[0], &byte, 1);
        notifier->setEnabled(false);
        // exit(), not quit(): quit() asks the windows to close, and a window
        // with unsaved changes would wait on a question nobody answers.
        QCoreApplication::exit(0);
    });
    struct sigaction action = {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
}

// libvlc draws through X11; on a Wayland session the program runs on XWayland.
void preferX11()
{
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        return;
    if (!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
        || qgetenv("XDG_SESSION_TYPE") == "wayland")
        qputenv("QT_QPA_PLATFORM", "xcb");
}

} // namespace

int main(int argc, char *argv[])
{
    {
        // "--help" and "--version" are answered before anything is made: no
        // window, no media back end, no display needed.
        QStringList args;
        for (int i = 0; i < argc; ++i)
            args << QString::fromLocal8Bit(argv[i]);
        const TW::CommandLine::Answer answer = TW::CommandLine::answer(args);
        if (answer.exit) {
            const QByteArray text = answer.text.toLocal8Bit();
            std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
            std::fflush(stdout);
            return answer.code;
        }
    }
    TW::Logger::installMessageHandler();
    qRegisterMetaType<RmsSet>("RmsSet");
    QFont::insertSubstitution(QStringLiteral("Lucida Grande"), QStringLiteral("DejaVu Sans"));
    preferX11();
    // libvlc's video output calls Xlib from its own threads.
    XInitThreads();
    Q_INIT_RESOURCE(resources);
    TW::Util::init();

    int result = 0;
    {
        TW::Application app(argc, argv);
        quitOnTerminationSignals(&app);
        // Working files of runs that were killed (only our own, by name).
        TW::WorkingFiles::removeLeftovers();
        QObject::connect(TW::Options::instance(), &TW::Options::tempFolderChanged,
                         TW::Singleton<TW::Logger>::instance(), &TW::Logger::setSaveDir);
        TW::Singleton<TW::Logger>::instance()->setSaveDir(TW::Options::instance()->getPath(TW::PathType(0)));
        app.getMainController()->exec();

        {
            CocoaInitializer cocoa;
            static SparkleAutoUpdater updater; // lives until the process ends
            updater.checkForUpdates();

            result = app.exec();

            app.getMainController()->release();
            TW::Util::release();
        }
    }
    return result;
}
