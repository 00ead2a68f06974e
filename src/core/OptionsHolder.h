#pragma once

#include <QObject>
#include <QSize>
#include <QString>

class QDataStream;
class QDebug;
class QDomDocument;
class QDomElement;

namespace TW {

// The values that belong to the open project: the opened media's
// properties, the output format, the project tempo, pitch and volume, the
// zoom limits, the export working folder and the output aspect ratio.
// One live object through Singleton<OptionsHolder>::instance(); saved as the
// project file's "options" element. Anyone may read the members; they are
// written by the opening path while it loads a file and otherwise only by
// the project (model/Project), which announces each change.
class OptionsHolder : public QObject
{
    Q_OBJECT

public:
    OptionsHolder();
    OptionsHolder(const OptionsHolder &other);
    OptionsHolder &operator=(const OptionsHolder &other);
    ~OptionsHolder() override;

    // Every member back to its default.
    void reset();

    float getProjectVolume() const { return m_volume; }
    void setProjectVolume(float volume) { m_volume = volume; }
    float getProjectTempo() const { return m_tempo; }
    void setProjectTempo(float tempo) { m_tempo = tempo; }
    float getProjectPitch() const { return m_pitch; }
    void setProjectPitch(float pitch) { m_pitch = pitch; }
    // The first setting outside the range the program can work with, as
    // "name=value" (empty when every one is usable). A project whose
    // settings are not usable is refused rather than played.
    QString rangeProblem() const;

    float getMinZoom() const { return m_minZoom; }
    float getMaxZoom() const { return m_maxZoom; }
    // (max - min) / steps; a step count below 1 counts as the default 20.
    float getZoomStep() const;

    // An element named tagName carrying every member as an attribute.
    QDomElement toDomElement(QDomDocument doc, const QString &tagName) const;
    // Reads every attribute present; absent ones keep their values, texts
    // that do not parse read as 0.
    void fromDomElement(const QDomElement &element);

    int m_originalvideoWidth;
    int m_originalvideoHeight;
    float m_originalfps;
    int m_originalnumChannels;
    int m_originalvideoBitRate;
    int m_originalaudioSampleRate;
    int m_videoWidth;
    int m_videoHeight;
    float m_fps;
    int m_numChannels;
    int m_videoBitRate;
    int m_audioBitRate;
    int m_audioSampleRate;
    float m_volume;
    float m_pitch;
    float m_tempo;
    float m_minZoom;
    float m_maxZoom;
    int m_numZoomSteps;
    QString m_exportTempDirPath;
    QSize m_aspectRatio;

private:
    void copyFrom(const OptionsHolder &other);
};

QDataStream &operator<<(QDataStream &stream, const OptionsHolder &options);
QDataStream &operator>>(QDataStream &stream, OptionsHolder &options);
QDebug operator<<(QDebug debug, const OptionsHolder &options);

} // namespace TW
