#include "ProjectFiles.h"

#include "app/MainController.h"
#include "core/OptionsHolder.h"
#include "core/Singleton.h"
#include "model/Media.h"
#include "model/MediaTrack.h"
#include "model/MediaTrackFragment.h"

#include <QDomDocument>
#include <QFile>
#include <QUndoStack>

namespace TW::test {

bool allTracksLoaded(const Media &media)
{
    for (const auto &fragment : media.getTrackFragments()) {
        if (!fragment->track || !fragment->track->isLoaded())
            return false;
    }
    return true;
}

bool openQuietly(MainController *controller, const QString &file)
{
    controller->getUndoStack()->clear();
    controller->getUndoStack()->setClean();
    controller->openFile(file);
    const QSharedPointer<Media> media = controller->getMedia();
    return !media->isEmpty() && allTracksLoaded(*media);
}

QByteArray projectText(MainController *controller)
{
    QDomDocument document;
    QDomElement root = document.createElement(QStringLiteral("tarnwell_project"));
    root.setAttribute(QStringLiteral("version"), 2);
    document.appendChild(root);
    root.appendChild(controller->getMedia()->toDomElement(document, QStringLiteral("media")));
    root.appendChild(Singleton<OptionsHolder>::instance()->toDomElement(document, QStringLiteral("options")));
    return document.toByteArray(1);
}

} // namespace TW::test
