#include "model/ProjectReader.h"

#include "core/OptionsHolder.h"
#include "model/Media.h"

#include <QDebug>
#include <QDomDocument>
#include <QObject>
#include <QXmlStreamReader>

namespace TW {

bool ProjectReader::read(const QByteArray &content, const QString &displayName, Media &media,
                         OptionsHolder &options, QString &error)
{
    if (content.size() > MaxBytes) {
        error = QObject::tr("The project \"%1\" could not be read: it is too large for a project (%2 MB).")
                    .arg(displayName)
                    .arg(content.size() / (1024 * 1024));
        return false;
    }
    // The shape is checked while streaming, before any document is built: a
    // project is a few levels deep.
    {
        QXmlStreamReader reader(content);
        int depth = 0;
        while (!reader.atEnd()) {
            const QXmlStreamReader::TokenType token = reader.readNext();
            if (token == QXmlStreamReader::StartElement && ++depth > MaxDepth) {
                error = QObject::tr("The project \"%1\" could not be read: its elements are nested too deeply "
                                    "(line %2).")
                            .arg(displayName)
                            .arg(reader.lineNumber());
                return false;
            }
            if (token == QXmlStreamReader::EndElement)
                --depth;
        }
    }

    QDomDocument document;
    QString parseError;
    int line = 0;
    int column = 0;
    if (!document.setContent(content, false, &parseError, &line, &column)) {
        error = QObject::tr("The project \"%1\" is damaged: %2 (line %3, column %4).")
                    .arg(displayName, parseError)
                    .arg(line)
                    .arg(column);
        return false;
    }
    const QDomElement root = document.documentElement();
    if (root.isNull() || root.tagName().toLower() != QLatin1String("tarnwell_project")) {
        error = QObject::tr("\"%1\" is not a Tarnwell project.").arg(displayName);
        return false;
    }
    bool isNumber = false;
    const int version = root.attribute("version").toInt(&isNumber, 10);
    if (!root.hasAttribute("version") || !isNumber || version != 2) {
        error = QObject::tr("The project \"%1\" has the unsupported version \"%2\".")
                    .arg(displayName, root.attribute("version"));
        return false;
    }

    Media localMedia;
    OptionsHolder localOptions;
    bool mediaSeen = false;
    bool optionsSeen = false;
    for (QDomNode node = root.firstChild(); !node.isNull(); node = node.nextSibling()) {
        if (!node.isElement())
            continue;
        const QDomElement child = node.toElement();
        const QString tag = child.tagName().toLower();
        if (tag == QLatin1String("media")) {
            if (!localMedia.fromDomElement(child, false)) {
                error = QObject::tr("The project \"%1\" is damaged: its media cannot be read.").arg(displayName);
                return false;
            }
            mediaSeen = true;
        } else if (tag == QLatin1String("options")) {
            localOptions.fromDomElement(child);
            optionsSeen = true;
            const QString problem = localOptions.rangeProblem();
            if (!problem.isEmpty()) {
                error = QObject::tr("The project \"%1\" could not be read: the setting %2 is out of range.")
                            .arg(displayName, problem);
                return false;
            }
        }
    }
    qDebug() << "Project options read:" << localOptions;

    if (!mediaSeen || !optionsSeen) {
        error = QObject::tr("The project \"%1\" is damaged: it has no \"%2\" element.")
                    .arg(displayName, mediaSeen ? QString("options") : QString("media"));
        return false;
    }
    media.copyFrom(localMedia);
    options = localOptions;
    return true;
}

} // namespace TW
