#include "app/AspectRatioCommand.h"

#include "core/Options.h"
#include "core/OptionsHolder.h"
#include "model/Project.h"

#include <QDebug>
#include <QPointer>

namespace TW {

struct AspectRatioCommand::AspectRatioCommandImpl
{
    QPointer<Project> project;
    QSize newSize;
    QSize oldSize{-1, -1};
    QSize oldAspectRatio{-1, -1};

    void applySize(const QSize &size, const QSize &aspectRatio)
    {
        if (Options *options = Options::instance())
            options->setSizeMostRecent(size);
        if (project)
            project->setVideoSize(size, aspectRatio);
    }
};

AspectRatioCommand::AspectRatioCommand(Project &project, QSize size)
    : AspectRatioCommand(size)
{
    d->project = &project;
}

AspectRatioCommand::AspectRatioCommand(QSize size)
    : d(std::make_unique<AspectRatioCommandImpl>())
{
    d->project = Project::current();
    d->newSize = size;
    setText(QStringLiteral("AspectRatioCommand"));
}

AspectRatioCommand::~AspectRatioCommand() = default;

void AspectRatioCommand::redo()
{
    qDebug() << "Aspect ratio redo" << d->newSize;
    if (d->project) {
        const OptionsHolder &holder = d->project->settings();
        d->oldSize = QSize(holder.m_videoWidth, holder.m_videoHeight);
        d->oldAspectRatio = holder.m_aspectRatio;
    }
    d->applySize(d->newSize, d->newSize);
}

void AspectRatioCommand::undo()
{
    qDebug() << "Aspect ratio undo" << d->oldSize << "aspect ratio" << d->oldAspectRatio;
    d->applySize(d->oldSize, d->oldAspectRatio);
}

} // namespace TW
