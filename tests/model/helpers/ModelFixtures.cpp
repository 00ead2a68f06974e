#include "ModelFixtures.h"

#include <QLoggingCategory>
#include <QStringList>

namespace TW::test {

QSharedPointer<MediaTrackFragment> fragment(const QString &name, qint64 start, qint64 end,
                                            qint64 position)
{
    QSharedPointer<MediaTrackFragment> f(new MediaTrackFragment);
    f->track->setSource(name, 0, name);
    f->startPosition = Time(start);
    f->endPosition = Time(end);
    f->timelinePosition = Time(position);
    return f;
}

QSharedPointer<Media> mediaOf(const QList<QPair<QString, qint64>> &pieces)
{
    QSharedPointer<Media> media(new Media);
    QList<QSharedPointer<MediaTrackFragment>> list;
    for (const auto &piece : pieces)
        list.append(fragment(piece.first, 0, piece.second));
    media->replaceTrackFragments(list);
    media->updateFragmentPositions();
    return media;
}

QVector<Span> normalized(QVector<Span> spans)
{
    QVector<Span> out;
    for (const Span &s : spans) {
        if (s.start == s.end)
            continue;
        if (!out.isEmpty() && out.last().source == s.source && out.last().end == s.start)
            out.last().end = s.end;
        else
            out.append(s);
    }
    return out;
}

QVector<Span> normalized(const QList<QSharedPointer<MediaTrackFragment>> &fragments)
{
    QVector<Span> spans;
    for (const auto &f : fragments)
        spans.append({f->track->getName(), f->startPosition.unitCount, f->endPosition.unitCount});
    return normalized(spans);
}

QString layoutProblem(const Media &media)
{
    qint64 sum = 0;
    int i = 0;
    for (const auto &f : media.getTrackFragments()) {
        if (f->timelinePosition.unitCount != sum)
            return QStringLiteral("fragment %1 at %2, expected %3").arg(i).arg(f->timelinePosition.unitCount).arg(sum);
        if (f->endPosition < f->startPosition)
            return QStringLiteral("fragment %1 ends before it starts").arg(i);
        sum += (f->endPosition - f->startPosition).unitCount;
        ++i;
    }
    if (media.getDuration().unitCount != sum)
        return QStringLiteral("total %1, expected %2").arg(media.getDuration().unitCount).arg(sum);
    return {};
}

QString describe(const QVector<Span> &spans)
{
    QStringList parts;
    for (const Span &s : spans)
        parts << QStringLiteral("%1[%2,%3)").arg(s.source).arg(s.start).arg(s.end);
    return parts.join(QLatin1Char(' '));
}

char *toString(const Span &span)
{
    return qstrdup(describe({span}).toUtf8().constData());
}

void quietDebugOutput()
{
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
}

} // namespace TW::test
