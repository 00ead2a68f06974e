#pragma once

#include <QCoreApplication>
#include <QImage>
#include <QSharedPointer>
#include <QString>

namespace TW {

class MediaTrack;

// Names, makes and deletes the per-track cache files in the temporary
// folder: the extracted audio ("<base>_<index>.wav", headerless 16-bit PCM
// at 44100 Hz) and the waveform image ("<base>_<index>.png"), where <base>
// is built from stable 32-bit hashes of the folder and the file part of the
// track's file name, so that every run finds the files again.
class ResourceManager
{
    Q_DECLARE_TR_FUNCTIONS(TW::ResourceManager)

public:
    ResourceManager() = delete;

    // The temporary folder, a separator, the decimal hash of the folder part
    // of the path, ".", and the decimal hash of its file part (which begins
    // with the separator). A path without a separator is both parts.
    static QString getResourcePath(const QString &path);

    // The name of the track's extracted audio file, after extracting it when
    // it is missing or empty. The name is returned whatever the extraction
    // gave; use tryExtractAudioSamples to learn whether the file is there.
    static QString extractAudioSamples(QSharedPointer<MediaTrack> track);
    // The same, telling whether the file is there afterwards (a track
    // without audio has none and gives false). fileName, when given,
    // receives the name in any case.
    static bool tryExtractAudioSamples(const QSharedPointer<MediaTrack> &track, QString *fileName);

    // The name of the track's extracted audio file, without checking or
    // extracting anything.
    static QString getExtractedAudioFileForTrack(QSharedPointer<MediaTrack> track);

    // The track's waveform image. The first request renders it at the asked
    // height and stores it; later requests get the stored image whatever
    // size they ask. A track without audio gives a black image of the asked
    // size (not stored); an audio file that cannot be read gives a null one.
    static QImage getAudioWave(QSharedPointer<MediaTrack> track, int width, int height);

    // Deletes the audio and waveform files of every track index of the path
    // (and the temporary file of an interrupted extraction), and nothing
    // else.
    static void clearCached(const QString &path);

    // The stable 32-bit hash behind the cache names (FNV-1a over the UTF-8
    // text): the same in every run and build.
    static quint32 stableHash(const QString &text);

    // Whether the file is the program's own silence media, whose audio is
    // known to be silent and is never decoded.
    static bool isSilenceFile(const QString &path);
};

} // namespace TW
