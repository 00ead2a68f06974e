// Export speed: a 60 s clip exported at 75 % tempo and +2 semitones to mp4
// through the program's exporter (audio stretched in the program, picture
// by the fragment script, pieces joined), against one ffmpeg command doing
// the same with its own stretcher, the same codecs and the same sizes.
// Prints both times and their ratio. The clip's audio is extracted before
// the clock starts, as the player has always done it by the time a user
// exports.

#include "core/OptionsHolder.h"
#include "core/Singleton.h"
#include "core/Util.h"
#include "io/ExportOptions.h"
#include "io/MediaExporter.h"
#include "io/ResourceManager.h"
#include "model/Media.h"
#include "model/MediaTrack.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>

using namespace TW;

namespace {

bool ffmpeg(const QStringList &args)
{
    QProcess p;
    p.start(Util::externalProgram(QStringLiteral("ffmpeg")),
            QStringList{"-y", "-hide_banner", "-loglevel", "error", "-nostdin"} + args);
    if (!p.waitForFinished(-1) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        std::fprintf(stderr, "ffmpeg failed: %s\n", p.readAllStandardError().constData());
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("TW_TEST_MODE", "1");
    qSetMessagePattern("%{if-critical}%{message}%{endif}%{if-fatal}%{message}%{endif}");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const QString clip = dir.filePath("clip.mp4");
    std::printf("Making a 60 s clip (640x360, 25 fps, stereo 44100 Hz)...\n");
    if (!ffmpeg({"-f", "lavfi", "-i", "testsrc=s=640x360:r=25:d=60", "-f", "lavfi", "-i",
                 "sine=f=440:r=44100:d=60", "-ac", "2", "-c:v", "libx264", "-preset", "veryfast", "-c:a", "aac",
                 "-shortest", clip}))
        return 1;

    OptionsHolder *o = Singleton<OptionsHolder>::instance();
    o->m_originalvideoWidth = o->m_videoWidth = 640;
    o->m_originalvideoHeight = o->m_videoHeight = 360;
    o->m_fps = 25.0f;
    o->m_numChannels = 2;
    o->m_audioSampleRate = 44100;
    o->m_exportTempDirPath = dir.filePath("tmp") + "/";

    QSharedPointer<Media> media(new Media);
    media->addTrack(QSharedPointer<MediaTrack>(new MediaTrack(clip, 0, clip)));
    media->updateFragmentPositions();
    if (!ResourceManager::tryExtractAudioSamples(media->getTrackFragments().first()->track, nullptr)) {
        std::fprintf(stderr, "audio extraction failed\n");
        return 1;
    }

    ExportOptions options;
    options.file = dir.filePath("ours.mp4");
    options.tempo = 75;
    options.pitch = 2;
    options.volume = 100;
    options.cropArea = QRectF(0, 0, 1, 1);
    const QString size = MediaExporter::frameSizeArgument(options);

    QElapsedTimer clock;
    clock.start();
    MediaExporter exporter;
    exporter.setMedia(media);
    if (!exporter.exportEntireMedia(options)) {
        std::fprintf(stderr, "export failed: %s\n", qPrintable(exporter.lastError()));
        return 1;
    }
    const double ours = clock.elapsed() / 1000.0;

    clock.restart();
    if (!ffmpeg({"-i", clip, "-filter:v", "setpts=PTS/0.75,scale=" + size + ",setsar=1,fps=25,format=yuv420p",
                 "-filter:a", "rubberband=tempo=0.75:pitch=1.12246", "-codec:v", "libx264", "-profile:v", "main",
                 "-preset", "slow", "-threads", "0", "-b:v", "1500k", "-c:a", "mp3", "-b:a", "192k", "-ar", "44100",
                 "-ac", "2", dir.filePath("ffmpeg.mp4")}))
        return 1;
    const double reference = clock.elapsed() / 1000.0;

    std::printf("export of 60 s at 75 %%, +2 semitones to mp4 (%s):\n", qPrintable(size));
    std::printf("  Tarnwell exporter:     %7.2f s\n", ours);
    std::printf("  one ffmpeg command:    %7.2f s\n", reference);
    std::printf("  ratio:                 %7.2f\n", ours / reference);
    return 0;
}
