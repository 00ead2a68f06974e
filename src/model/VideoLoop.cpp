#include "model/VideoLoop.h"

#include "core/OptionsHolder.h"
#include "core/Singleton.h"
#include "model/StreamCheck.h"

#include <QDataStream>
#include <QDebug>
#include <QDomDocument>
#include <QDomElement>

#include <type_traits>

namespace TW {

struct VideoLoop::Impl
{
    QString name = QStringLiteral("");
    int startFrame = -1;
    int endFrame = -1;
    float pitch = 0.0f;
    float tempo = 100.0f;
    int loopCount = 999;
    int delay = -1;
    double volume = 100.0;
};

namespace {

// A new loop takes the project's tempo and pitch of the moment it is made.
void takeProjectDefaults(VideoLoop &loop)
{
    if (const OptionsHolder *holder = Singleton<OptionsHolder>::instance()) {
        loop.setPitch(holder->getProjectPitch());
        loop.setTempo(holder->getProjectTempo());
    }
}

} // namespace

VideoLoop::VideoLoop()
    : d(std::make_unique<Impl>())
{
    takeProjectDefaults(*this);
}

VideoLoop::VideoLoop(const VideoLoop &other)
    : Identifiable(other.getID())
    , d(std::make_unique<Impl>(*other.d))
{
}

VideoLoop &VideoLoop::operator=(const VideoLoop &other)
{
    if (this != &other)
        *d = *other.d;
    return *this;
}

VideoLoop::~VideoLoop() = default;

QString VideoLoop::getName() const { return d->name; }
void VideoLoop::setName(const QString &name) { d->name = name; }
int VideoLoop::getStartFrame() const { return d->startFrame; }
void VideoLoop::setStartFrame(int frame) { d->startFrame = frame; }
int VideoLoop::getEndFrame() const { return d->endFrame; }
void VideoLoop::setEndFrame(int frame) { d->endFrame = frame; }
float VideoLoop::getPitch() const { return d->pitch; }
void VideoLoop::setPitch(float semitones) { d->pitch = semitones; }
float VideoLoop::getTempo() const { return d->tempo; }
void VideoLoop::setTempo(float percent) { d->tempo = percent; }
int VideoLoop::getLoopCount() const { return d->loopCount; }
void VideoLoop::setLoopCount(int count) { d->loopCount = count; }
int VideoLoop::getDelay() const { return d->delay; }
void VideoLoop::setDelay(int seconds) { d->delay = seconds; }
double VideoLoop::getVolume() const { return d->volume; }
void VideoLoop::setVolume(double percent) { d->volume = percent; }

Time VideoLoop::getStartTime() const { return Time::fromFrameUnits(d->startFrame); }
Time VideoLoop::getEndTime() const { return Time::fromFrameUnits(d->endFrame); }

QDomElement VideoLoop::toDomElement(QDomDocument doc, const QString &tagName) const
{
    QDomElement element = doc.createElement(tagName);
    element.setAttribute(QStringLiteral("name"), d->name);
    element.setAttribute(QStringLiteral("start"), qlonglong(d->startFrame));
    element.setAttribute(QStringLiteral("end"), qlonglong(d->endFrame));
    // Floats with six significant digits, so 72.3 is written "72.3".
    element.setAttribute(QStringLiteral("tempo"), QString::number(double(d->tempo), 'g', 6));
    element.setAttribute(QStringLiteral("pitch"), QString::number(double(d->pitch), 'g', 6));
    element.setAttribute(QStringLiteral("count"), qlonglong(d->loopCount));
    element.setAttribute(QStringLiteral("delay"), qlonglong(d->delay));
    element.setAttribute(QStringLiteral("volume"), d->volume);
    return element;
}

void VideoLoop::fromDomElement(const QDomElement &element)
{
    auto integer = [&element](const char *name, int &field) {
        const QString key = QLatin1String(name);
        if (element.hasAttribute(key))
            field = int(element.attribute(key).toLongLong(nullptr, 10));
    };
    auto real = [&element](const char *name, auto &field) {
        const QString key = QLatin1String(name);
        if (element.hasAttribute(key))
            field = static_cast<std::decay_t<decltype(field)>>(element.attribute(key).toDouble());
    };
    if (element.hasAttribute(QStringLiteral("name")))
        d->name = element.attribute(QStringLiteral("name"));
    integer("start", d->startFrame);
    integer("end", d->endFrame);
    real("tempo", d->tempo);
    real("pitch", d->pitch);
    integer("count", d->loopCount);
    integer("delay", d->delay);
    real("volume", d->volume);
}

QDataStream &operator<<(QDataStream &stream, const VideoLoop &loop)
{
    stream << loop.getName() << qint32(loop.getStartFrame()) << qint32(loop.getEndFrame())
           << loop.getTempo() << loop.getPitch() << qint32(loop.getLoopCount())
           << qint32(loop.getDelay()) << loop.getVolume();
    return stream;
}

QDataStream &operator>>(QDataStream &stream, VideoLoop &loop)
{
    QString name;
    qint32 start = 0, end = 0, count = 0, delay = 0;
    float tempo = 0, pitch = 0;
    double volume = 0;
    if (!StreamCheck::readString(stream, name))
        return stream;
    stream >> start >> end >> tempo >> pitch >> count >> delay >> volume;
    // A short or broken stream leaves the loop as it was.
    if (stream.status() != QDataStream::Ok)
        return stream;
    loop.setName(name);
    loop.setStartFrame(start);
    loop.setEndFrame(end);
    loop.setTempo(tempo);
    loop.setPitch(pitch);
    loop.setLoopCount(count);
    loop.setDelay(delay);
    loop.setVolume(volume);
    return stream;
}

QDebug operator<<(QDebug debug, const VideoLoop &loop)
{
    QDebugStateSaver saver(debug);
    debug.nospace() << "VideoLoop(" << "name" << '"' << loop.getName().toUtf8().constData() << '"'
                    << " start" << loop.getStartFrame() << " end" << loop.getEndFrame()
                    << " delay" << loop.getDelay() << " count" << loop.getLoopCount()
                    << " pitch" << loop.getPitch() << " tempo" << loop.getTempo()
                    << " volume" << loop.getVolume() << ")";
    return debug;
}

} // namespace TW
