#pragma once

// Shared set-up of the playback benchmarks: a generated clip in the
// playback format, its raw audio, and a project over it.

#include "core/OptionsHolder.h"
#include "core/Singleton.h"
#include "core/Util.h"
#include "model/Media.h"
#include "model/MediaTrack.h"
#include "playback/MediaPlayer.h"
#include "playback/MediaTrackFragmentPlayer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QFile>
#include <QProcess>
#include <QSharedPointer>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

#include <cstdio>

namespace TW::bench {

inline bool runFfmpeg(const QStringList &args)
{
    QProcess p;
    p.start(Util::externalProgram(QStringLiteral("ffmpeg")), QStringList{"-y", "-hide_banner", "-loglevel", "error"} + args);
    if (!p.waitForFinished(600000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        std::fprintf(stderr, "ffmpeg failed: %s\n", p.readAllStandardError().constData());
        return false;
    }
    return true;
}

// A black 320x240 clip at 25 fps with a white frame and a 1 kHz beep of
// 40 ms at every whole second, as MPEG-2 video with 16-bit PCM at 44100 Hz
// (the playback format), plus its audio as raw stereo samples.
inline bool makeFlashBeepClip(const QString &folder, int seconds, QString *clip, QString *raw)
{
    *clip = folder + "/flashbeep.avi";
    *raw = folder + "/flashbeep.raw";
    const QString d = QString::number(seconds);
    const QString video = "color=c=black:s=320x240:r=25:d=" + d
                          + ",drawbox=x=0:y=0:w=320:h=240:color=white:t=fill:enable='lt(mod(t\\,1)\\,0.04)'";
    const QString audio = "aevalsrc='if(lt(mod(t\\,1)\\,0.04)\\,0.8*sin(2*PI*1000*t)\\,0)|"
                          "if(lt(mod(t\\,1)\\,0.04)\\,0.8*sin(2*PI*1000*t)\\,0)':s=44100:d=" + d;
    return runFfmpeg({"-f", "lavfi", "-i", video, "-f", "lavfi", "-i", audio, "-c:v", "mpeg2video", "-q:v", "3",
                      "-c:a", "pcm_s16le", "-ar", "44100", "-ac", "2", *clip})
           && runFfmpeg({"-i", *clip, "-vn", "-f", "s16le", "-ac", "2", "-ar", "44100", *raw});
}

// Project settings for the clip, the audio of every track served from raw,
// and a project of one fragment over the clip.
inline QSharedPointer<Media> projectOver(const QString &clip, const QString &raw)
{
    OptionsHolder *o = Singleton<OptionsHolder>::instance();
    o->m_videoWidth = 320;
    o->m_videoHeight = 240;
    o->m_fps = 25.0f;
    o->m_numChannels = 2;
    o->m_audioSampleRate = 44100;
    MediaTrackFragmentPlayer::setAudioSamplesFunction([raw](QSharedPointer<MediaTrack>) { return raw; });
    QSharedPointer<Media> media(new Media);
    media->addTrack(QSharedPointer<MediaTrack>(new MediaTrack(clip, 0, clip)));
    media->updateFragmentPositions();
    return media;
}

// Keeps the event loop turning for ms milliseconds.
inline void spin(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::usleep(1000);
    }
}

// Opens media in player and waits (up to 20 s) until it is ready to play.
inline void openAndWait(MediaPlayer &player, const QSharedPointer<Media> &media)
{
    player.resetMedia();
    player.openMedia(media);
    QElapsedTimer wait;
    wait.start();
    while (player.getState() != MediaPlayer::Idle && wait.elapsed() < 20000)
        spin(10);
}

} // namespace TW::bench
