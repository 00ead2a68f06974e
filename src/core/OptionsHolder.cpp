#include "core/OptionsHolder.h"

#include "core/Options.h"

#include <QDataStream>
#include <QDebug>
#include <QDir>
#include <QDomDocument>
#include <QDomElement>
#include <QDomNamedNodeMap>

#include <cmath>

namespace TW {

namespace {

constexpr int DefaultZoomSteps = 20;

QString defaultExportTempDir()
{
    // The cache folder as it stands now, so the export folder follows a
    // changed cache folder from the next reset on.
    const Options *options = Options::instance();
    const QString cache = options ? options->getPath(CacheFolder)
                                  : Options::defaultPath(CacheFolder);
    return QDir::toNativeSeparators(cache + QDir::separator() + QStringLiteral("export/tmp/"));
}

void readInt(const QDomElement &e, const char *name, int &member)
{
    const QString attr = QLatin1String(name);
    if (e.hasAttribute(attr))
        member = e.attribute(attr).toInt(nullptr, 10);
}

void readFloat(const QDomElement &e, const char *name, float &member)
{
    const QString attr = QLatin1String(name);
    if (e.hasAttribute(attr))
        member = e.attribute(attr).toFloat();
}

// General format, up to 6 significant digits: 25.0 is "25", 29.97f "29.97".
QString floatText(float value)
{
    return QString::number(double(value), 'g', 6);
}

} // namespace

OptionsHolder::OptionsHolder() : QObject(nullptr), m_aspectRatio(-1, -1)
{
    reset();
}

OptionsHolder::OptionsHolder(const OptionsHolder &other) : QObject(other.parent())
{
    copyFrom(other);
}

OptionsHolder &OptionsHolder::operator=(const OptionsHolder &other)
{
    if (this != &other)
        copyFrom(other);
    return *this;
}

OptionsHolder::~OptionsHolder() = default;

void OptionsHolder::copyFrom(const OptionsHolder &o)
{
    m_originalvideoWidth = o.m_originalvideoWidth;
    m_originalvideoHeight = o.m_originalvideoHeight;
    m_originalfps = o.m_originalfps;
    m_originalnumChannels = o.m_originalnumChannels;
    m_originalvideoBitRate = o.m_originalvideoBitRate;
    m_originalaudioSampleRate = o.m_originalaudioSampleRate;
    m_videoWidth = o.m_videoWidth;
    m_videoHeight = o.m_videoHeight;
    m_fps = o.m_fps;
    m_numChannels = o.m_numChannels;
    m_videoBitRate = o.m_videoBitRate;
    m_audioBitRate = o.m_audioBitRate;
    m_audioSampleRate = o.m_audioSampleRate;
    m_volume = o.m_volume;
    m_pitch = o.m_pitch;
    m_tempo = o.m_tempo;
    m_minZoom = o.m_minZoom;
    m_maxZoom = o.m_maxZoom;
    m_numZoomSteps = o.m_numZoomSteps;
    m_exportTempDirPath = o.m_exportTempDirPath;
    m_aspectRatio = o.m_aspectRatio;
}

void OptionsHolder::reset()
{
    m_originalvideoWidth = 720;
    m_originalvideoHeight = 480;
    m_originalfps = 25.0f;
    m_originalnumChannels = 1;
    m_originalvideoBitRate = 25;
    m_originalaudioSampleRate = 44100;
    m_videoWidth = 720;
    m_videoHeight = 480;
    m_fps = 25.0f;
    m_numChannels = 1;
    m_videoBitRate = 1500;
    m_audioBitRate = 128;
    m_audioSampleRate = 44100;
    m_volume = 100.0f;
    m_pitch = 0.0f;
    m_tempo = 100.0f;
    m_minZoom = 1.0f;
    m_maxZoom = 16.0f;
    m_numZoomSteps = DefaultZoomSteps;
    m_exportTempDirPath = defaultExportTempDir();
    m_aspectRatio = QSize(16, 9);
}

float OptionsHolder::getZoomStep() const
{
    const int steps = m_numZoomSteps > 0 ? m_numZoomSteps : DefaultZoomSteps;
    return (m_maxZoom - m_minZoom) / float(steps);
}

QDomElement OptionsHolder::toDomElement(QDomDocument doc, const QString &tagName) const
{
    QDomElement e = doc.createElement(tagName);
    e.setAttribute(QStringLiteral("original_video_width"), m_originalvideoWidth);
    e.setAttribute(QStringLiteral("original_video_height"), m_originalvideoHeight);
    e.setAttribute(QStringLiteral("original_fps"), floatText(m_originalfps));
    e.setAttribute(QStringLiteral("original_num_channels"), m_originalnumChannels);
    e.setAttribute(QStringLiteral("original_video_bitrate"), m_originalvideoBitRate);
    e.setAttribute(QStringLiteral("original_audio_sample_rate"), m_originalaudioSampleRate);
    e.setAttribute(QStringLiteral("video_width"), m_videoWidth);
    e.setAttribute(QStringLiteral("video_height"), m_videoHeight);
    e.setAttribute(QStringLiteral("fps"), floatText(m_fps));
    e.setAttribute(QStringLiteral("num_channels"), m_numChannels);
    e.setAttribute(QStringLiteral("video_bitrate"), m_videoBitRate);
    e.setAttribute(QStringLiteral("audio_bitrate"), m_audioBitRate);
    e.setAttribute(QStringLiteral("audio_sample_rate"), m_audioSampleRate);
    e.setAttribute(QStringLiteral("volume"), floatText(m_volume));
    e.setAttribute(QStringLiteral("pitch"), floatText(m_pitch));
    e.setAttribute(QStringLiteral("tempo"), floatText(m_tempo));
    e.setAttribute(QStringLiteral("min_zoom"), floatText(m_minZoom));
    e.setAttribute(QStringLiteral("max_zoom"), floatText(m_maxZoom));
    e.setAttribute(QStringLiteral("num_zoom_steps"), m_numZoomSteps);
    e.setAttribute(QStringLiteral("export_temp_dir_path"), m_exportTempDirPath);
    e.setAttribute(QStringLiteral("aspect_ratio_x"), m_aspectRatio.width());
    e.setAttribute(QStringLiteral("aspect_ratio_y"), m_aspectRatio.height());
    return e;
}

QString OptionsHolder::rangeProblem() const
{
    struct Range
    {
        const char *name;
        double value;
        double low;
        double high;
        bool zeroAllowed; // 0: not known (an audio-only source has no size)
    };
    const Range ranges[] = {
        {"fps", m_fps, 1, 240, false},
        {"original_fps", m_originalfps, 1, 240, true},
        {"video_width", double(m_videoWidth), 16, 16384, true},
        {"video_height", double(m_videoHeight), 16, 16384, true},
        {"original_video_width", double(m_originalvideoWidth), 1, 65536, true},
        {"original_video_height", double(m_originalvideoHeight), 1, 65536, true},
        {"num_channels", double(m_numChannels), 1, 8, true},
        {"original_num_channels", double(m_originalnumChannels), 1, 64, true},
        {"audio_sample_rate", double(m_audioSampleRate), 8000, 384000, true},
        {"original_audio_sample_rate", double(m_originalaudioSampleRate), 8000, 384000, true},
        {"video_bitrate", double(m_videoBitRate), 0, 1e9, true},
        {"original_video_bitrate", double(m_originalvideoBitRate), 0, 1e9, true},
        {"audio_bitrate", double(m_audioBitRate), 0, 1e8, true},
        {"volume", m_volume, 0, 1000, true},
        {"pitch", m_pitch, -12, 12, true},
        {"tempo", m_tempo, 25, 200, false},
        {"min_zoom", m_minZoom, 0.01, 1000, false},
        {"max_zoom", m_maxZoom, 0.01, 1000, false},
        {"num_zoom_steps", double(m_numZoomSteps), 1, 1000, false},
        {"aspect_ratio_x", double(m_aspectRatio.width()), 1, 100000, true},
        {"aspect_ratio_y", double(m_aspectRatio.height()), 1, 100000, true},
    };
    for (const Range &r : ranges) {
        if (r.zeroAllowed && r.value == 0.0)
            continue;
        if (!std::isfinite(r.value) || r.value < r.low || r.value > r.high)
            return QStringLiteral("%1=%2").arg(QLatin1String(r.name)).arg(r.value, 0, 'g', 6);
    }
    if (m_minZoom > m_maxZoom)
        return QStringLiteral("min_zoom=%1").arg(double(m_minZoom), 0, 'g', 6);
    return QString();
}

void OptionsHolder::fromDomElement(const QDomElement &e)
{
    qDebug() << "OptionsHolder::fromDomElement before" << *this;
    readInt(e, "original_video_width", m_originalvideoWidth);
    readInt(e, "original_video_height", m_originalvideoHeight);
    readFloat(e, "original_fps", m_originalfps);
    readInt(e, "original_num_channels", m_originalnumChannels);
    readInt(e, "original_video_bitrate", m_originalvideoBitRate);
    readInt(e, "original_audio_sample_rate", m_originalaudioSampleRate);
    readInt(e, "video_width", m_videoWidth);
    readInt(e, "video_height", m_videoHeight);
    readFloat(e, "fps", m_fps);
    readInt(e, "num_channels", m_numChannels);
    readInt(e, "video_bitrate", m_videoBitRate);
    readInt(e, "audio_bitrate", m_audioBitRate);
    readInt(e, "audio_sample_rate", m_audioSampleRate);
    readFloat(e, "volume", m_volume);
    readFloat(e, "pitch", m_pitch);
    readFloat(e, "tempo", m_tempo);
    readFloat(e, "min_zoom", m_minZoom);
    readFloat(e, "max_zoom", m_maxZoom);
    readInt(e, "num_zoom_steps", m_numZoomSteps);
    if (e.hasAttribute(QStringLiteral("export_temp_dir_path")))
        m_exportTempDirPath = e.attribute(QStringLiteral("export_temp_dir_path"));
    int w = m_aspectRatio.width();
    int h = m_aspectRatio.height();
    readInt(e, "aspect_ratio_x", w);
    readInt(e, "aspect_ratio_y", h);
    m_aspectRatio = QSize(w, h);
    qDebug() << "OptionsHolder::fromDomElement after" << *this;
}

QDataStream &operator<<(QDataStream &s, const OptionsHolder &o)
{
    s << qint32(o.m_audioSampleRate) << o.m_fps << qint32(o.m_numChannels) << o.m_pitch
      << o.m_tempo << qint32(o.m_videoBitRate) << qint32(o.m_videoHeight)
      << qint32(o.m_videoWidth) << o.m_volume << o.m_minZoom << o.m_maxZoom
      << qint32(o.m_numZoomSteps) << o.m_originalfps << qint32(o.m_originalvideoWidth)
      << qint32(o.m_originalvideoHeight) << qint32(o.m_originalnumChannels)
      << qint32(o.m_originalvideoBitRate) << qint32(o.m_originalaudioSampleRate);
    return s;
}

QDataStream &operator>>(QDataStream &s, OptionsHolder &o)
{
    qint32 i[11] = {};
    s >> i[0] >> o.m_fps >> i[1] >> o.m_pitch >> o.m_tempo >> i[2] >> i[3] >> i[4]
      >> o.m_volume >> o.m_minZoom >> o.m_maxZoom >> i[5] >> o.m_originalfps >> i[6] >> i[7]
      >> i[8] >> i[9] >> i[10];
    o.m_audioSampleRate = i[0];
    o.m_numChannels = i[1];
    o.m_videoBitRate = i[2];
    o.m_videoHeight = i[3];
    o.m_videoWidth = i[4];
    o.m_numZoomSteps = i[5];
    o.m_originalvideoWidth = i[6];
    o.m_originalvideoHeight = i[7];
    o.m_originalnumChannels = i[8];
    o.m_originalvideoBitRate = i[9];
    o.m_originalaudioSampleRate = i[10];
    return s;
}

QDebug operator<<(QDebug dbg, const OptionsHolder &o)
{
    QDebugStateSaver saver(dbg);
    dbg << "(OptionsHolder:"
        << "m_originalvideoWidth" << o.m_originalvideoWidth
        << "m_originalvideoHeight" << o.m_originalvideoHeight
        << "m_originalfps" << o.m_originalfps
        << "m_originalnumChannels" << o.m_originalnumChannels
        << "m_originalvideoBitRate" << o.m_originalvideoBitRate
        << "m_originalaudioSampleRate" << o.m_originalaudioSampleRate
        << "m_videoWidth" << o.m_videoWidth
        << "m_videoHeight" << o.m_videoHeight
        << "m_fps" << o.m_fps
        << "m_numChannels" << o.m_numChannels
        << "m_videoBitRate" << o.m_videoBitRate
        << "m_audioBitRate" << o.m_audioBitRate
        << "m_audioSampleRate" << o.m_audioSampleRate
        << "m_volume" << o.m_volume
        << "m_pitch" << o.m_pitch
        << "m_tempo" << o.m_tempo
        << "m_minZoom" << o.m_minZoom
        << "m_maxZoom" << o.m_maxZoom
        << "m_numZoomSteps" << o.m_numZoomSteps
        << "m_exportTempDirPath" << o.m_exportTempDirPath
        << "m_aspectRatio" << o.m_aspectRatio
        << ")";
    return dbg;
}

} // namespace TW
