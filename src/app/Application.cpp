#include "app/Application.h"

#include "app/MainController.h"
#include "core/Options.h"
#include "core/OptionsHolder.h"
#include "core/Singleton.h"
#include "core/Util.h"
#include "io/ResourceManager.h"
#include "playback/MediaTrackFragmentPlayer.h"
#include "ui/MainWindow.h"
#include "ui/ScreenRules.h"

#include <QFile>
#include <QFileOpenEvent>
#include <QScreen>
#include <QThread>
#include <QThreadPool>

namespace TW {

namespace {
Application *s_instance = nullptr;
}

struct Application::ApplicationImpl
{
    MainController *controller = nullptr;
    bool opening = false;
};

Application::Application(int &argc, char **argv)
    : QApplication(argc, argv), d(std::make_unique<ApplicationImpl>())
{
    s_instance = this;
    Util::keepLargeBlocksApart();
    setOrganizationName(QStringLiteral("Orvane Inc"));
    setApplicationName(QStringLiteral("Tarnwell"));
    setApplicationVersion(QStringLiteral("2"));
    addPluginFolder();
    QThreadPool::globalInstance()->setMaxThreadCount(qMax(1, QThread::idealThreadCount()));

    Options::instance()->loadFromFile(true);
    setStyleSheet(readStyleSheet(QStringLiteral(":/MainWindow/style.qss")));
    Singleton<OptionsHolder>::instance();
    // The playback layer sits below the one that extracts audio: hand it the
    // extraction here, before any fragment player is made.
    MediaTrackFragmentPlayer::setAudioSamplesFunction(&ResourceManager::extractAudioSamples);

    d->controller = new MainController;
}

Application::~Application()
{
    if (d) {
        if (d->controller) {
            d->controller->clearClipboard();
            delete d->controller;
            d->controller = nullptr;
        }
        d.reset();
    }
    s_instance = nullptr;
}

Application *Application::instance() { return s_instance; }

MainController *Application::getMainController() const { return d ? d->controller : nullptr; }

QString Application::pluginFolder()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/Plugins");
}

void Application::addPluginFolder()
{
    // A relative "Plugins" would be looked up in the working folder, where a
    // downloaded file could be loaded as a plugin.
    QCoreApplication::addLibraryPath(pluginFolder());
}

bool Application::isLowResolutionHeight(int screenHeight) { return ScreenRules::isLowResolutionHeight(screenHeight); }

bool Application::isLowResolutionScreen() { return ScreenRules::isLowResolutionScreen(); }

bool Application::isLowResolution() const { return isLowResolutionScreen(); }

QString Application::readStyleSheet(const QString &resource)
{
    QFile file(resource);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    QByteArray bytes = file.readAll();
    const int nul = bytes.indexOf('\0');
    if (nul >= 0)
        bytes.truncate(nul);
    return QString::fromLatin1(bytes);
}

bool Application::bringBackOnScreen(QWidget *window, const QRect &available)
{
    if (!window)
        return false;
    const QPoint pos = window->pos();
    if (pos.x() > available.right() || pos.y() > available.bottom()) {
        window->move(100, 100);
        return true;
    }
    return false;
}

bool Application::event(QEvent *e)
{
    MainWindow *window = d && d->controller ? d->controller->getMainWindow() : nullptr;
    if (e->type() == QEvent::ApplicationActivate) {
        if (window && primaryScreen())
            bringBackOnScreen(window, primaryScreen()->availableGeometry());
    } else if (e->type() == QEvent::FileOpen && d && d->controller) {
        const QString file = static_cast<QFileOpenEvent *>(e)->file();
        if (window && window->isVisible()) {
            if (!d->opening) {
                d->opening = true;
                d->controller->openFile(file);
                d->opening = false;
            }
        } else {
            d->controller->setFileToOpenAfterLaunch(file);
        }
    }
    return QApplication::event(e);
}

} // namespace TW
