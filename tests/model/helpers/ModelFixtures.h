#pragma once

#include "model/Media.h"
#include "model/MediaTrackFragment.h"

#include <QList>
#include <QSharedPointer>
#include <QString>
#include <QVector>

namespace TW::test {

constexpr qint64 Second = 1000000;

// A fragment over an unloaded track named name (no file is opened), taking
// start..end of it, placed at position.
QSharedPointer<MediaTrackFragment> fragment(const QString &name, qint64 start, qint64 end,
                                            qint64 position = 0);

// An edit list of unloaded fragments, laid out end to end; each entry is a
// source name and a length, the source span starting at 0.
QSharedPointer<Media> mediaOf(const QList<QPair<QString, qint64>> &pieces);

// One stretch of a source as it plays: which source, from where to where.
struct Span
{
    QString source;
    qint64 start = 0;
    qint64 end = 0;
    bool operator==(const Span &o) const
    {
        return source == o.source && start == o.start && end == o.end;
    }
};

// The fragments as spans, with empty fragments left out and neighbouring
// spans that continue each other merged, so that two lists that play the
// same are equal however they were split.
QVector<Span> normalized(const QList<QSharedPointer<MediaTrackFragment>> &fragments);
QVector<Span> normalized(QVector<Span> spans);

// Empty when positions and total follow from the lengths, otherwise what is
// wrong.
QString layoutProblem(const Media &media);

QString describe(const QVector<Span> &spans);
// For QCOMPARE's messages.
char *toString(const Span &span);

// Drops debug lines (the model logs every edit) for the rest of the test.
void quietDebugOutput();

} // namespace TW::test
