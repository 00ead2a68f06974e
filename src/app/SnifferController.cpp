#include "SnifferController.h"

#include "app/Application.h"
#include "app/MainController.h"
#include "core/Options.h"
#include "core/PathType.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QPointer>

namespace TW {

struct SnifferController::SnifferControllerImpl
{
    explicit SnifferControllerImpl(SnifferController *owner) : owner(owner) {}

    void startYtSniffer()
    {
        sniffer = new YTSniffer;
        QObject::connect(sniffer, &YTSniffer::error, owner, &SnifferController::onYtSnifferError);
        QObject::connect(sniffer, &YTSniffer::finish, owner, &SnifferController::onYtSnifferFinish);
        Options *options = Options::instance();
        QString folder = options->getLastPath(SnifferFolder);
        if (folder.isEmpty())
            folder = options->getPath(SnifferFolder);
        sniffer->getFile(YTSniffer::ChooseFormat, QDir::fromNativeSeparators(folder));
    }

    SnifferController *owner;
    // The window has no parent; it deletes itself after its result.
    QPointer<YTSniffer> sniffer;
};

SnifferController::SnifferController() : d(std::make_unique<SnifferControllerImpl>(this)) {}

SnifferController::~SnifferController()
{
    delete d->sniffer;
}

void SnifferController::exec()
{
    d->startYtSniffer();
}

YTSniffer *SnifferController::getSniffer() const
{
    return d->sniffer;
}

void SnifferController::onYtSnifferError(YTSniffer::errors error)
{
    qDebug() << "onYtSnifferError" << int(error);
}

void SnifferController::onYtSnifferFinish(YTSniffer::signalOnFinish status, QStringList data)
{
    if (auto *window = qobject_cast<YTSniffer *>(sender())) {
        window->close();
        window->deleteLater();
    }
    const QString file = data.isEmpty() ? QString() : data.first();
    MainController *controller = Application::instance() ? Application::instance()->getMainController() : nullptr;
    if (!file.isEmpty() && controller) {
        if (status == YTSniffer::DownloadOnly) {
            controller->clearCachedData(file);
        } else if (status == YTSniffer::DownloadAndPlay) {
            controller->clearCachedData(file);
            controller->openFile(file);
            controller->onPlayVideo();
        }
    }
    if (!file.isEmpty())
        Options::instance()->setLastPath(SnifferFolder, QFileInfo(file).absolutePath());
}

} // namespace TW
