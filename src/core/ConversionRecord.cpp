#include "core/ConversionRecord.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutex>
#include <QSaveFile>

namespace TW {

namespace {

const char RecordSuffix[] = ".info";
const char MarkerSuffix[] = ".finished";
// A record is a few kilobytes; anything much larger is not one.
constexpr qint64 MaxRecordBytes = 4 * 1024 * 1024;

// Read, change and write of one record happen under this lock, so two
// threads of the process never lose each other's change.
QMutex &recordMutex()
{
    static QMutex mutex;
    return mutex;
}

QJsonObject readRecord(const QString &convertedPath)
{
    QFile file(ConversionRecord::recordPath(convertedPath));
    if (!file.open(QIODevice::ReadOnly) || file.size() > MaxRecordBytes)
        return {};
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &error);
    return error.error == QJsonParseError::NoError && doc.isObject() ? doc.object() : QJsonObject();
}

bool writeRecord(const QString &convertedPath, const QJsonObject &record)
{
    QSaveFile file(ConversionRecord::recordPath(convertedPath));
    if (!file.open(QIODevice::WriteOnly)
        || file.write(QJsonDocument(record).toJson(QJsonDocument::Compact)) < 0 || !file.commit()) {
        qWarning() << "ConversionRecord: cannot write" << file.fileName() << ":" << file.errorString();
        return false;
    }
    return true;
}

QJsonObject fileKey(const QFileInfo &info)
{
    return {{"size", info.size()}, {"modified", info.lastModified().toMSecsSinceEpoch()}};
}

// Whether the converted file is finished and unchanged since the record
// was written.
bool convertedUnchanged(const QString &convertedPath, const QJsonObject &record)
{
    const QFileInfo info(convertedPath);
    if (!info.isFile() || !QFileInfo::exists(convertedPath + QLatin1String(MarkerSuffix)))
        return false;
    const QJsonObject stored = record.value("converted").toObject();
    return !stored.isEmpty() && stored == fileKey(info);
}

QJsonObject sourceObject(const ConversionRecord::SourceKey &key)
{
    return {{"path", key.path}, {"size", key.size}, {"modified", key.modifiedMs}};
}

ConversionRecord::SourceKey sourceKeyOf(const QJsonObject &o)
{
    ConversionRecord::SourceKey key;
    key.path = o.value("path").toString();
    key.size = qint64(o.value("size").toDouble(-1));
    key.modifiedMs = qint64(o.value("modified").toDouble(-1));
    return key;
}

QJsonArray audioArray(const QVector<AudioTrackInfo> &tracks)
{
    QJsonArray array;
    for (const AudioTrackInfo &t : tracks)
        array.append(QJsonObject{{"channels", t.channels},
                                 {"sampleRate", t.sampleRate},
                                 {"trackId", t.trackId},
                                 {"description", t.description}});
    return array;
}

QVector<AudioTrackInfo> audioTracksOf(const QJsonArray &array)
{
    QVector<AudioTrackInfo> tracks;
    for (const QJsonValue &v : array) {
        const QJsonObject o = v.toObject();
        AudioTrackInfo t;
        t.channels = o.value("channels").toInt();
        t.sampleRate = o.value("sampleRate").toInt();
        t.trackId = o.value("trackId").toInt();
        t.description = o.value("description").toString();
        tracks.append(t);
    }
    return tracks;
}

} // namespace

ConversionRecord::SourceKey ConversionRecord::SourceKey::of(const QString &source)
{
    SourceKey key;
    const QFileInfo info(source);
    if (!info.isFile() || !info.isReadable())
        return key;
    key.path = info.absoluteFilePath();
    key.size = info.size();
    key.modifiedMs = info.lastModified().toMSecsSinceEpoch();
    return key;
}

QString ConversionRecord::recordPath(const QString &convertedPath)
{
    return convertedPath + QLatin1String(RecordSuffix);
}

bool ConversionRecord::findSource(const QString &cacheFolder, const SourceKey &key, KnownSource *found)
{
    if (!key.isValid() || cacheFolder.isEmpty())
        return false;
    const QDir dir(cacheFolder);
    const QStringList records =
        dir.entryList({QStringLiteral("*.avi") + QLatin1String(RecordSuffix)}, QDir::Files, QDir::Name);
    for (const QString &name : records) {
        const QString converted = dir.filePath(name.chopped(int(qstrlen(RecordSuffix))));
        const QJsonObject record = readRecord(converted);
        bool named = false;
        for (const QJsonValue &v : record.value("sources").toArray())
            named = named || sourceKeyOf(v.toObject()) == key;
        if (!named)
            continue;
        // The conversions of one content share its 48-digit name; one of a
        // chosen stream adds "_<stream>".
        const QString contentName = QFileInfo(converted).completeBaseName().section(QLatin1Char('_'), 0, 0);
        if (contentName.size() != 48)
            continue;
        if (found) {
            found->contentName = contentName;
            found->audioKnown = record.value("sourceAudio").isArray();
            found->audioTracks = audioTracksOf(record.value("sourceAudio").toArray());
        }
        return true;
    }
    return false;
}

bool ConversionRecord::readConversion(const QString &convertedPath, VideoInputFile *file)
{
    const QJsonObject record = readRecord(convertedPath);
    const QJsonObject c = record.value("conversion").toObject();
    if (c.isEmpty() || !convertedUnchanged(convertedPath, record))
        return false;
    if (!file)
        return true;
    file->duration = c.value("duration").toDouble(-1.0);
    file->fps = float(c.value("fps").toDouble(-1.0));
    file->videoCodec = c.value("videoCodec").toString();
    file->width = c.value("width").toInt(-1);
    file->height = c.value("height").toInt(-1);
    file->bitrate = c.value("bitrate").toInt(-1);
    file->parNum = c.value("parNum").toInt(-1);
    file->parDen = c.value("parDen").toInt(-1);
    file->darNum = c.value("darNum").toInt(-1);
    file->darDen = c.value("darDen").toInt(-1);
    file->audioCodec = c.value("audioCodec").toString();
    file->sampleRate = c.value("sampleRate").toInt(-1);
    file->audioBitrate = c.value("audioBitrate").toInt(-1);
    file->channels = c.value("channels").toInt(-1);
    file->aspectRatio = QSize(c.value("aspectX").toInt(-1), c.value("aspectY").toInt(-1));
    file->status = VideoInputFile::Done;
    file->progress = 100;
    return true;
}

bool ConversionRecord::writeConversion(const QString &convertedPath, const VideoInputFile &file,
                                       const SourceKey &source, const QVector<AudioTrackInfo> *sourceAudio)
{
    QMutexLocker lock(&recordMutex());
    QJsonObject record = readRecord(convertedPath);
    const QFileInfo converted(convertedPath);
    if (!converted.isFile())
        return false;
    const QJsonObject key = fileKey(converted);
    // What was stored for another converted file of this name goes.
    if (record.value("converted").toObject() != key) {
        record.remove("probe");
        record.remove("sources");
        record.remove("sourceAudio");
    }
    record.insert("converted", key);
    record.insert("conversion", QJsonObject{{"duration", file.duration},
                                            {"fps", double(file.fps)},
                                            {"videoCodec", file.videoCodec},
                                            {"width", file.width},
                                            {"height", file.height},
                                            {"bitrate", file.bitrate},
                                            {"parNum", file.parNum},
                                            {"parDen", file.parDen},
                                            {"darNum", file.darNum},
                                            {"darDen", file.darDen},
                                            {"audioCodec", file.audioCodec},
                                            {"sampleRate", file.sampleRate},
                                            {"audioBitrate", file.audioBitrate},
                                            {"channels", file.channels},
                                            {"aspectX", file.aspectRatio.width()},
                                            {"aspectY", file.aspectRatio.height()}});
    if (source.isValid()) {
        QJsonArray sources;
        for (const QJsonValue &v : record.value("sources").toArray()) {
            // The same path with an older key is replaced.
            if (sourceKeyOf(v.toObject()).path != source.path)
                sources.append(v);
        }
        sources.append(sourceObject(source));
        record.insert("sources", sources);
    }
    if (sourceAudio)
        record.insert("sourceAudio", audioArray(*sourceAudio));
    return writeRecord(convertedPath, record);
}

QByteArray ConversionRecord::probeOutput(const QString &convertedPath)
{
    if (!QFileInfo::exists(recordPath(convertedPath)))
        return {};
    const QJsonObject record = readRecord(convertedPath);
    if (!convertedUnchanged(convertedPath, record))
        return {};
    return record.value("probe").toString().toUtf8();
}

void ConversionRecord::storeProbeOutput(const QString &convertedPath, const QByteArray &json)
{
    if (json.isEmpty() || !QFileInfo::exists(recordPath(convertedPath)))
        return;
    QMutexLocker lock(&recordMutex());
    QJsonObject record = readRecord(convertedPath);
    if (!convertedUnchanged(convertedPath, record))
        return;
    record.insert("probe", QString::fromUtf8(json));
    writeRecord(convertedPath, record);
}

} // namespace TW
