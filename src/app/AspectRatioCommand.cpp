#include "app/AspectRatioCommand.h"

#include "app/CommandTargets.h"
#include "core/Options.h"
#include "core/OptionsHolder.h"
#include "core/Singleton.h"
#include "playback/MediaPlayer.h"
#include "ui/MainWindow.h"

#include <QDebug>
#include <QPointF>

namespace TW {

struct AspectRatioCommand::AspectRatioCommandImpl
{
    AspectRatioCommand *owner = nullptr;
    QSize newSize;
    QSize oldSize{-1, -1};
    QSize oldAspectRatio{-1, -1};

    void applySize(const QSize &size, const QSize &aspectRatio)
    {
        if (Options *options = Options::instance())
            options->setSizeMostRecent(size);
        OptionsHolder *holder = Singleton<OptionsHolder>::instance();
        holder->m_aspectRatio = aspectRatio;
        holder->m_videoWidth = size.width();
        holder->m_videoHeight = size.height();
        if (MainWindow *w = CommandTargets::window()) {
            w->setCurrentFrame(0);
            w->setSizeMostRecent(size);
        }
        if (const QSharedPointer<MediaPlayer> p = CommandTargets::player())
            p->setAspectRatio(QPointF(aspectRatio.width(), aspectRatio.height()));
    }
};

AspectRatioCommand::AspectRatioCommand(QSize size)
    : d(std::make_unique<AspectRatioCommandImpl>())
{
    d->owner = this;
    d->newSize = size;
    setText(QStringLiteral("AspectRatioCommand"));
}

AspectRatioCommand::~AspectRatioCommand() = default;

void AspectRatioCommand::redo()
{
    qDebug() << "Aspect ratio redo" << d->newSize;
    const OptionsHolder *holder = Singleton<OptionsHolder>::instance();
    d->oldSize = QSize(holder->m_videoWidth, holder->m_videoHeight);
    d->oldAspectRatio = holder->m_aspectRatio;
    d->applySize(d->newSize, d->newSize);
}

void AspectRatioCommand::undo()
{
    qDebug() << "Aspect ratio undo" << d->oldSize << "aspect ratio" << d->oldAspectRatio;
    d->applySize(d->oldSize, d->oldAspectRatio);
}

} // namespace TW
