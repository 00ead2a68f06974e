#include "io/MediaExporter.h"

#include "core/OptionsHolder.h"
#include "core/Singleton.h"
#include "core/ToolProcess.h"
#include "core/Util.h"
#include "core/WorkingFiles.h"
#include "io/AudioFilterExporter.h"
#include "io/ResourceManager.h"
#include "model/Media.h"
#include "model/MediaTimeLine.h"
#include "model/MediaTrack.h"
#include "model/MediaTrackFragment.h"
#include "model/VideoLoop.h"
#include "core/VlcMedia.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QHash>
#include <QSet>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QtConcurrent>
#include <QtDebug>

#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace TW {

namespace {

const char ScriptName[] = "exportFragment.sh";
const char SilenceName[] = "silence_1_hour.avi";
constexpr double SilenceSeconds = 3600.0;

// The value of a rate written as a decimal or as a fraction.
double rateValue(const QString &text)
{
    const int slash = text.indexOf(QLatin1Char('/'));
    if (slash < 0)
        return text.toDouble();
    const double below = text.mid(slash + 1).toDouble();
    return below > 0 ? text.left(slash).toDouble() / below : 25.0;
}

bool trackHasVideo(const QSharedPointer<MediaTrack> &track)
{
    const VlcMedia *media = track ? track->getMedia() : nullptr;
    return media && !media->getMediaInfo().videoTracks.isEmpty();
}

bool trackHasAudio(const QSharedPointer<MediaTrack> &track)
{
    return track && track->hasAudioTrack();
}

// What a finished tool run left behind.
struct ToolRun
{
    bool started = false;
    bool stopped = false;
    bool crashed = false;
    int exitCode = -1;
    QString errorTail; // the last lines of the tool's error output
    bool ok() const { return started && !stopped && !crashed && exitCode == 0; }
};

} // namespace

struct MediaExporter::Impl
{
    MediaExporter *q;
    QSharedPointer<Media> media;
    bool hasAudio = false;
    AudioFilterExporter audio;
    std::atomic<bool> stopRequested{false};
    // The tool the job is running, for stop() on another thread.
    QMutex toolMutex;
    ToolProcess *runningTool = nullptr;
    QFuture<bool> future;
    mutable QMutex errorMutex;
    QString error;

    // Per job (job thread only).
    ExportOptions options;
    QString workFolder;
    double total = 1.0;
    double position = 0.0;
    int lastPercent = -1;
    // Pictures come in whole frames: each new piece gets the frames that
    // bring the output up to the time it should have reached, so the
    // rounding of one piece is made good by the next.
    double framesPerSecond = 25.0;
    double expectedSeconds = 0.0;
    qint64 framesListed = 0;
    QHash<QString, qint64> framesOf;
    QHash<QString, qint64> firstFrames; // by piece name: the frames of its first rendering

    qint64 framesFor(double seconds) const
    {
        return qMax<qint64>(1, qint64(std::llround((expectedSeconds + seconds) * framesPerSecond)) - framesListed);
    }

    qint64 audioFramesFor(qint64 frames) const
    {
        return qint64(std::llround(double(frames) / framesPerSecond * AudioFilterExporter::outputSampleRate()));
    }

    void listed(const QString &path, double seconds)
    {
        expectedSeconds += seconds;
        framesListed += framesOf.value(path);
    }

    explicit Impl(MediaExporter *owner) : q(owner) {}

    void setError(const QString &message)
    {
        QMutexLocker locker(&errorMutex);
        error = message;
    }

    bool fail(const QString &message)
    {
        qWarning().noquote() << "Export failed:" << message;
        setError(message);
        emit q->processingFailed(message);
        return false;
    }

    bool stopped()
    {
        qDebug() << "Export stopped.";
        return false;
    }

    void moveTo(double seconds)
    {
        position = seconds;
        const int percent = qBound(0, int(position / total * 100.0 + 0.5), 99);
        if (percent != lastPercent) {
            lastPercent = percent;
            emit q->progressChanged(percent);
        }
    }

    // Runs a tool to its end on this thread, following its progress lines
    // ("time=HH:MM:SS.xx") from base on; stop() kills it (a script with
    // everything it started).
    ToolRun runTool(const QString &program, const QStringList &arguments, double base, bool script = false)
    {
        ToolRun run;
        ToolProcess process;
        process.setProgram(program);
        process.setArguments(arguments);
        process.setWholeGroup(script);
        process.setWorkingDirectory(QCoreApplication::applicationDirPath());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TW_FFMPEG"), Util::externalProgram(QStringLiteral("ffmpeg")));
        process.setProcessEnvironment(env);
        static const QRegularExpression timePattern(QStringLiteral("time=\\s*(\\d+):(\\d+):(\\d+(?:\\.\\d+)?)"));
        QObject::connect(&process, &ToolProcess::errorLine, &process, [&](const QString &line) {
            const QRegularExpressionMatch m = timePattern.match(line);
            if (m.hasMatch())
                moveTo(base + m.captured(1).toInt() * 3600.0 + m.captured(2).toInt() * 60.0 + m.captured(3).toDouble());
        });
        QObject::connect(&process, &ToolProcess::outputLine, &process,
                         [](const QString &line) { qDebug() << "Tool output:" << line; });
        {
            QMutexLocker locker(&toolMutex);
            runningTool = &process;
        }
        // A stop that came before the line above keeps the tool from starting.
        if (stopRequested)
            process.cancel();
        const ToolProcess::Verdict verdict = process.run();
        {
            QMutexLocker locker(&toolMutex);
            runningTool = nullptr;
        }
        run.started = verdict != ToolProcess::FailedToStart;
        run.stopped = verdict == ToolProcess::Cancelled;
        run.crashed = verdict == ToolProcess::Crashed;
        run.exitCode = process.exitCode();
        run.errorTail = verdict == ToolProcess::FailedToStart ? process.errorString() : process.errorTail();
        return run;
    }

    void stopTool()
    {
        QMutexLocker locker(&toolMutex);
        if (runningTool)
            runningTool->cancel();
    }

    static QString describe(const ToolRun &run)
    {
        QString why;
        if (!run.started)
            why = QObject::tr("the program could not be started");
        else if (run.crashed)
            why = QObject::tr("the program crashed");
        else
            why = QObject::tr("exit status %1").arg(run.exitCode);
        if (!run.errorTail.isEmpty())
            why += QStringLiteral(":\n") + run.errorTail;
        return why;
    }

    double stretchedSeconds(Time length, float tempo) const
    {
        return double(length.unitCount) / 1000000.0 * 100.0 / double(AudioFilterExporter::usableTempo(tempo));
    }

    bool renderAudio(const QString &source, Time start, Time length, const QString &aiff, double seconds,
                     const QString &name, qint64 outputFrames)
    {
        const double base = position;
        const QMetaObject::Connection c = QObject::connect(
            &audio, &AudioFilterExporter::progressChanged, &audio,
            [this, base, seconds](int percent) { moveTo(base + seconds * percent / 100.0); }, Qt::DirectConnection);
        const bool ok = audio.exportFragment(source, start, length, aiff, outputFrames);
        QObject::disconnect(c);
        if (!ok) {
            if (stopRequested)
                return false;
            return fail(QObject::tr("Rendering the audio of fragment %1 failed: %2").arg(name, audio.error()));
        }
        moveTo(base + seconds);
        return true;
    }

    bool renderVideo(const FragmentCommand &command, const QString &name, double seconds)
    {
        return renderVideo(command, name, seconds, options);
    }

    bool renderVideo(const FragmentCommand &command, const QString &name, double seconds, const ExportOptions &with)
    {
        const QString script = scriptPath();
        if (script.isEmpty())
            return fail(QObject::tr("The export script \"%1\" is missing.").arg(QLatin1String(ScriptName)));
        qDebug() << "---------------------loading ffmpeg\n" << script;
        const double base = position;
        const ToolRun run = runTool(QStringLiteral("/bin/sh"),
                                    QStringList{script} + fragmentArguments(command, with), base, true);
        if (run.stopped || stopRequested)
            return false;
        if (!run.ok() || !QFileInfo(command.output).isFile())
            return fail(QObject::tr("Encoding fragment %1 failed (%2).").arg(name, describe(run)));
        moveTo(base + seconds);
        return true;
    }

    QString workFile(const QString &name) const { return QDir(workFolder).filePath(name); }

    // One rendered piece: its picture with sound (none in an audio-only
    // export) and its sound alone.
    struct Piece
    {
        QString video;
        QString audio;
        bool ok() const { return !audio.isEmpty(); }
    };

    // A repeated piece is rendered once, unless a repeat needs another count
    // of whole frames to stay in step (a piece of 12.5 frames' time gets 13
    // and 12 in turn): that count gets a piece of its own, so at most two.
    QString variantName(const QString &name, qint64 frames)
    {
        if (options.audioOnly)
            return name;
        const auto first = firstFrames.constFind(name);
        if (first == firstFrames.constEnd()) {
            firstFrames.insert(name, frames);
            return name;
        }
        return *first == frames ? name : QStringLiteral("%1_%2f").arg(name).arg(frames);
    }

    // Renders one fragment; empty on failure or stop.
    Piece exportTrackFragment(const QSharedPointer<MediaTrackFragment> &fragment, QString name, float pitch,
                              float tempo, float volume)
    {
        qDebug() << "Exporting fragment" << *fragment;
        tempo = AudioFilterExporter::usableTempo(tempo);
        Time start = fragment->startPosition;
        Time length = Time(qMax<qint64>(0, fragment->endPosition.unitCount - fragment->startPosition.unitCount));
        const double seconds = stretchedSeconds(length, tempo);
        const QString ext = QFileInfo(options.file).suffix();
        // With pictures, the sound is made as long as the piece's whole frames,
        // so every piece starts in step however often it is repeated.
        const qint64 frames = framesFor(seconds);
        name = variantName(name, frames);
        Piece piece;
        piece.audio = workFile(QStringLiteral("tmpFrag_%1.aiff").arg(name));
        const QString out = workFile(QStringLiteral("tmpFrag_%1.%2").arg(name, ext));
        if (!options.audioOnly)
            piece.video = out;
        // Repeats find their pieces made.
        if (QFileInfo::exists(piece.audio) && (options.audioOnly || QFileInfo::exists(out)))
            return piece;

        // A project without sound still gets (silent) audio files: the
        // output's sound is made from them in one piece.
        audio.pitch = pitch;
        audio.tempo = tempo;
        const bool audible = hasAudio && fragment->playAudio && trackHasAudio(fragment->track);
        audio.volume = audible ? volume * fragment->volume / 100.0f : 0.0f;
        const QString source = audible ? ResourceManager::getExtractedAudioFileForTrack(fragment->track) : QString();
        const qint64 samples = options.audioOnly ? -1 : audioFramesFor(frames);
        if (!renderAudio(source, start, length, piece.audio, hasAudio ? seconds : 0.0, name, samples))
            return Piece();
        if (options.audioOnly)
            return piece;
        if (stopRequested)
            return Piece();

        QString videoSource = fragment->track ? fragment->track->getName() : QString();
        // A source without pictures (an audio file) shows black; a source
        // that has gone is left to fail, so the user learns of it.
        if (!fragment->playVideo || (QFileInfo::exists(videoSource) && !trackHasVideo(fragment->track))) {
            videoSource = silenceFilePath();
            start = Time(0);
            if (length.unitCount > qint64(SilenceSeconds * 1000000))
                length = Time(qint64(SilenceSeconds * 1000000));
        }
        FragmentCommand command;
        command.startSeconds = double(start.unitCount) / 1000000.0;
        command.lengthSeconds = double(length.unitCount) / 1000000.0;
        command.tempo = tempo;
        command.videoSource = QDir::toNativeSeparators(videoSource);
        command.audioFile = piece.audio;
        command.output = out;
        command.outputNoAudio = workFile(QStringLiteral("tmpFragNoAudio_%1.%2").arg(name, ext));
        command.extension = ext;
        command.frameRate = frameRate();
        command.outputSeconds = double(frames) / framesPerSecond;
        if (!renderVideo(command, name, seconds))
            return Piece();
        framesOf.insert(out, frames);
        return piece;
    }

    // The picture playback holds while it waits before a repeat: the last
    // one the pass showed, taken from the pass's last rendered piece (so it
    // is cropped and scaled already), as a still image.
    QString holdPicture(int index, const QString &lastPiece)
    {
        const QString still = workFile(QStringLiteral("pause_%1.png").arg(index));
        if (QFileInfo::exists(still))
            return still;
        // Every picture of the last second is written over the one before.
        // Before any picture (a loop without fragments first) it is black.
        const QString source = lastPiece.isEmpty() ? silenceFilePath() : lastPiece;
        const QStringList args{QStringLiteral("-nostdin"), QStringLiteral("-hide_banner"), QStringLiteral("-y"),
                               QStringLiteral("-sseof"), QStringLiteral("-1"), QStringLiteral("-i"), source,
                               QStringLiteral("-an"), QStringLiteral("-update"), QStringLiteral("1"), still};
        const ToolRun run = runTool(Util::externalProgram(QStringLiteral("ffmpeg")), args, position);
        if (run.stopped || stopRequested)
            return QString();
        if (!run.ok() || !QFileInfo(still).isFile()) {
            fail(QObject::tr("Taking the picture held before a repeat failed (%1).").arg(describe(run)));
            return QString();
        }
        return still;
    }

    // A pause of whole seconds before a repeat, as playback makes it: the
    // pass's last picture held, and silence.
    Piece exportPause(int index, int delaySeconds, const QString &lastPiece)
    {
        const qint64 frames = framesFor(delaySeconds);
        const QString name = variantName(QStringLiteral("pause_%1").arg(index), frames);
        const QString ext = QFileInfo(options.file).suffix();
        Piece piece;
        piece.audio = workFile(QStringLiteral("tmpFrag_%1.aiff").arg(name));
        const QString out = workFile(QStringLiteral("tmpFrag_%1.%2").arg(name, ext));
        if (!options.audioOnly)
            piece.video = out;
        if (QFileInfo::exists(piece.audio) && (options.audioOnly || QFileInfo::exists(out)))
            return piece;
        const qint64 samples = options.audioOnly ? -1 : audioFramesFor(frames);
        if (!audio.exportSilence(Time(qint64(delaySeconds) * 1000000), piece.audio, samples)) {
            if (!stopRequested)
                fail(QObject::tr("Rendering the pause before a repeat failed: %1").arg(audio.error()));
            return Piece();
        }
        if (options.audioOnly)
            return piece;
        const QString still = holdPicture(index, lastPiece);
        if (still.isEmpty())
            return Piece();
        // The still is the output's picture already: it is neither cropped
        // nor scaled again.
        ExportOptions asIs = options;
        asIs.cropArea = QRectF(0, 0, 1, 1);
        FragmentCommand command;
        command.lengthSeconds = delaySeconds;
        command.videoSource = still;
        command.audioFile = piece.audio;
        command.output = out;
        command.outputNoAudio = workFile(QStringLiteral("tmpFragNoAudio_%1.%2").arg(name, ext));
        command.extension = ext;
        command.frameRate = frameRate();
        command.outputSeconds = double(frames) / framesPerSecond;
        if (!renderVideo(command, name, delaySeconds, asIs))
            return Piece();
        framesOf.insert(out, frames);
        return piece;
    }

    bool writeList(const QString &path, const QStringList &lines)
    {
        QFile list(path);
        const QByteArray text = lines.join(QString()).toUtf8();
        if (!list.open(QIODevice::WriteOnly | QIODevice::Truncate) || list.write(text) != text.size() || !list.flush())
            return fail(QObject::tr("Cannot write the fragment list \"%1\": %2").arg(path, list.errorString()));
        return true;
    }

    float frameRate() const
    {
        float fps = media ? media->getMaxFps() : 0.0f;
        if (!(fps > 0.0f)) {
            const OptionsHolder *o = Singleton<OptionsHolder>::instance();
            fps = o && o->m_fps > 0.0f ? o->m_fps : 25.0f;
        }
        return fps;
    }

    bool run(const SegmentList &records, const ExportOptions &opts, const QString &logLine);
    double plannedSeconds(const SegmentList &records) const;
    bool renderPieces(const SegmentList &records, QStringList &videoLines, QStringList &audioLines);
    bool joinPieces(const QStringList &videoLines, const QStringList &audioLines, const QString &extension,
                    const QString &partialName, const QString &output);
};

// The tracks' extracted audio, made now on the caller's thread where it is
// missing (the player has usually made it already).
static void prepareAudio(const MediaExporter::SegmentList &records)
{
    QSet<QString> done;
    for (const MediaExporter::MediaSegmentTraits &r : records) {
        if (!r.segment)
            continue;
        for (const QSharedPointer<MediaTrackFragment> &fragment : r.segment->fragments) {
            if (!fragment || !fragment->playAudio || !trackHasAudio(fragment->track))
                continue;
            const QString name = fragment->track->getName();
            if (done.contains(name))
                continue;
            done.insert(name);
            if (!ResourceManager::tryExtractAudioSamples(fragment->track, nullptr))
                qWarning() << "No extracted audio for" << name;
        }
    }
}

// The seconds of output the records make (twice over when sound and
// pictures are rendered apart), for the progress.
double MediaExporter::Impl::plannedSeconds(const SegmentList &records) const
{
    double seconds = 0;
    for (const MediaSegmentTraits &r : records) {
        if (r.segment)
            seconds += stretchedSeconds(r.segment->length, r.tempo);
        if (r.repeat > 1 && r.delay > 0)
            seconds += double(r.delay) * (r.repeat - 1);
    }
    if (hasAudio && !options.audioOnly)
        seconds *= 2;
    return qMax(seconds, 0.001);
}

// Renders every piece in the order of playback: each record's passes, a
// pause before each repeat of a loop with a delay, and in each pass its
// fragments; lists each piece's pictures and sound.
bool MediaExporter::Impl::renderPieces(const SegmentList &records, QStringList &videoLines,
                                       QStringList &audioLines)
{
    QString lastPiece; // the last picture piece listed
    for (int i = 0; i < records.size(); ++i) {
        const MediaSegmentTraits &r = records.at(i);
        const QList<QSharedPointer<MediaTrackFragment>> fragments =
            r.segment ? r.segment->fragments : QList<QSharedPointer<MediaTrackFragment>>();
        for (int pass = 0; pass < qMax(1, r.repeat); ++pass) {
            if (pass > 0 && r.delay > 0) {
                const Piece pause = exportPause(i, r.delay, lastPiece);
                if (!pause.ok())
                    return stopRequested ? stopped() : false;
                listed(pause.video, r.delay);
                videoLines << concatListLine(pause.video);
                audioLines << concatListLine(pause.audio);
            }
            for (int j = 0; j < fragments.size(); ++j) {
                if (stopRequested)
                    return stopped();
                const QSharedPointer<MediaTrackFragment> &fragment = fragments.at(j);
                if (!fragment || fragment->endPosition <= fragment->startPosition)
                    continue;
                const Piece piece = exportTrackFragment(fragment, QStringLiteral("%1_%2").arg(i).arg(j), r.pitch,
                                                        r.tempo, r.volume);
                if (!piece.ok())
                    return stopRequested ? stopped() : false;
                listed(piece.video, stretchedSeconds(fragment->endPosition - fragment->startPosition, r.tempo));
                lastPiece = piece.video;
                videoLines << concatListLine(piece.video);
                audioLines << concatListLine(piece.audio);
            }
        }
    }
    return true;
}

// Joins the listed pieces into the partial output file.
bool MediaExporter::Impl::joinPieces(const QStringList &videoLines, const QStringList &audioLines,
                                     const QString &extension, const QString &partialName,
                                     const QString &output)
{
    // The pictures are joined by stream copy; the sound is encoded once from
    // the rendered audio files, so the codec's padding at the end of every
    // piece does not add up against the pictures.
    const QString videoList = workFile(QStringLiteral("fragmentList.txt"));
    const QString audioList = workFile(QStringLiteral("audioList.txt"));
    if (!options.audioOnly && !writeList(videoList, videoLines))
        return false;
    if (!writeList(audioList, audioLines))
        return false;
    if (stopRequested)
        return stopped();

    const QStringList concat{QStringLiteral("-f"), QStringLiteral("concat"), QStringLiteral("-safe"),
                             QStringLiteral("0"), QStringLiteral("-i")};
    QStringList join{QStringLiteral("-nostdin"), QStringLiteral("-hide_banner")};
    FragmentCommand codecs;
    codecs.extension = extension;
    const QStringList encoding = fragmentArguments(codecs, options);
    const QString channels = encoding.at(8);
    if (options.audioOnly) {
        join << concat << audioList << QStringLiteral("-ac") << channels;
    } else {
        join << concat << videoList << concat << audioList << QStringLiteral("-map") << QStringLiteral("0:v:0")
             << QStringLiteral("-map") << QStringLiteral("1:a:0") << QStringLiteral("-c:v") << QStringLiteral("copy")
             << QStringLiteral("-c:a") << encoding.at(16) << QStringLiteral("-b:a") << encoding.at(9) + QLatin1Char('k')
             << QStringLiteral("-ar") << QStringLiteral("44100") << QStringLiteral("-ac") << channels;
    }
    join << QStringLiteral("-y") << partialName;
    const ToolRun joined = runTool(Util::externalProgram(QStringLiteral("ffmpeg")), join, 0);
    if (joined.stopped || stopRequested)
        return stopped();
    if (!joined.ok())
        return fail(QObject::tr("Joining the fragments into \"%1\" failed (%2).").arg(output, describe(joined)));
    return true;
}

bool MediaExporter::Impl::run(const SegmentList &records, const ExportOptions &opts, const QString &logLine)
{
    qDebug().noquote() << logLine;
    qDebug() << opts;
    options = opts;
    setError(QString());
    lastPercent = -1;
    position = 0;
    if (stopRequested)
        return stopped();
    if (options.file.isEmpty())
        return fail(QObject::tr("No output file was given."));
    if (!media || records.isEmpty())
        return fail(QObject::tr("There is nothing to export."));

    // The working folder: a fresh folder of our own under the project's
    // export temporary folder, removed with everything in it at the end.
    const OptionsHolder *holder = Singleton<OptionsHolder>::instance();
    QString base = holder ? holder->m_exportTempDirPath : QString();
    if (base.isEmpty())
        base = QDir(QDir::tempPath()).filePath(QStringLiteral("tarnwell-export"));
    if (!QDir().mkpath(base))
        return fail(QObject::tr("Cannot create the export temporary folder \"%1\".").arg(base));
    // Recorded while they exist, so that a killed run's are removed at the
    // next start; each record outlives the file it names.
    WorkingFiles::Entry workEntry;
    WorkingFiles::Entry partialEntry;
    QTemporaryDir work(QDir(base).filePath(QStringLiteral("export-XXXXXX")));
    if (!work.isValid())
        return fail(QObject::tr("Cannot create a working folder in \"%1\": %2").arg(base, work.errorString()));
    workFolder = work.path();
    workEntry.set(workFolder);

    // The output is made under a temporary name beside it.
    const QFileInfo outInfo(options.file);
    const QString output = outInfo.absoluteFilePath();
    const QDir outDir = outInfo.absoluteDir();
    if (!outDir.exists() && !QDir().mkpath(outDir.absolutePath()))
        return fail(QObject::tr("Cannot create the folder \"%1\".").arg(outDir.absolutePath()));
    QString partName = QStringLiteral(".%1-XXXXXX").arg(outInfo.completeBaseName());
    if (!outInfo.suffix().isEmpty())
        partName += QLatin1Char('.') + outInfo.suffix();
    QTemporaryFile partial(outDir.filePath(partName));
    if (!partial.open())
        return fail(QObject::tr("Cannot write into the folder of \"%1\": %2").arg(output, partial.errorString()));
    partialEntry.set(partial.fileName());
    partial.close();

    total = plannedSeconds(records);
    framesPerSecond = rateValue(frameRateArgument(frameRate(), outInfo.suffix()));
    expectedSeconds = 0;
    framesListed = 0;
    framesOf.clear();
    firstFrames.clear();
    QStringList videoLines;
    QStringList audioLines;
    if (!renderPieces(records, videoLines, audioLines))
        return false;
    if (audioLines.isEmpty())
        return fail(QObject::tr("There is nothing to export."));
    if (!joinPieces(videoLines, audioLines, outInfo.suffix(), partial.fileName(), output))
        return false;

    // The temporary file is private to its owner; the output gets the
    // permissions of the file it replaces, or those of an ordinary new file.
    const QFileDevice::Permissions permissions = QFileInfo::exists(output)
        ? QFile::permissions(output)
        : QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther;
    QFile::setPermissions(partial.fileName(), permissions);
    if (std::rename(QFile::encodeName(partial.fileName()).constData(), QFile::encodeName(output).constData()) != 0)
        return fail(QObject::tr("Cannot write \"%1\": %2").arg(output, QString::fromLocal8Bit(std::strerror(errno))));
    partial.setAutoRemove(false);
    qDebug() << "Export finished:" << output;
    emit q->progressChanged(100);
    emit q->processingFinished();
    return true;
}

MediaExporter::MediaExporter(QObject *parent) : QObject(parent), d(std::make_unique<Impl>(this)) {}

MediaExporter::~MediaExporter()
{
    wait();
}

QSharedPointer<Media> MediaExporter::media() const
{
    return d->media;
}

void MediaExporter::setMedia(QSharedPointer<Media> media)
{
    d->media = media;
    d->hasAudio = media && media->hasAudio();
}

void MediaExporter::exportEntireMediaAsync(const ExportOptions &options)
{
    wait();
    SegmentList records = convertTimeLineToSegments(options.tempo, options.pitch, options.volume);
    if (!options.useLoopCount) {
        for (MediaSegmentTraits &r : records) {
            r.repeat = 1;
            r.delay = 0;
        }
    }
    prepareAudio(records);
    d->future = QtConcurrent::run(QThreadPool::globalInstance(), [this, records, options] {
        return d->run(records, options, QStringLiteral("Exporting all with"));
    });
}

void MediaExporter::exportAllLoopsAsync(const ExportOptions &options)
{
    wait();
    SegmentList records;
    if (d->media && d->media->getTimeline()) {
        for (const QSharedPointer<VideoLoop> &loop : d->media->getTimeline()->getLoops()) {
            MediaSegmentTraits r = convertLoopIntoSegment(loop.data());
            if (!options.useLoopCount) {
                r.repeat = 1;
                r.delay = 0;
            }
            records << r;
        }
    }
    prepareAudio(records);
    d->future = QtConcurrent::run(QThreadPool::globalInstance(), [this, records, options] {
        return d->run(records, options, QStringLiteral("Exporting all loops with"));
    });
}

void MediaExporter::exportLoopAsync(VideoLoop *loop, const ExportOptions &options)
{
    wait();
    SegmentList records;
    if (loop) {
        MediaSegmentTraits r = convertLoopIntoSegment(loop);
        if (!options.useLoopCount) {
            r.repeat = 1;
            r.delay = 0;
        }
        records << r;
    }
    prepareAudio(records);
    QString logLine;
    if (loop)
        QDebug(&logLine) << "Exporting loop" << *loop << "with";
    d->future = QtConcurrent::run(QThreadPool::globalInstance(), [this, records, options, logLine] {
        return d->run(records, options, logLine);
    });
}

bool MediaExporter::exportEntireMedia(const ExportOptions &options)
{
    exportEntireMediaAsync(options);
    d->future.waitForFinished();
    return d->future.result();
}

bool MediaExporter::exportAllLoops(const ExportOptions &options)
{
    exportAllLoopsAsync(options);
    d->future.waitForFinished();
    return d->future.result();
}

bool MediaExporter::exportLoop(VideoLoop *loop, const ExportOptions &options)
{
    exportLoopAsync(loop, options);
    d->future.waitForFinished();
    return d->future.result();
}

void MediaExporter::stop()
{
    d->stopRequested = true;
    d->audio.stop();
    d->stopTool();
}

bool MediaExporter::isStopped() const
{
    return d->stopRequested;
}

void MediaExporter::wait()
{
    d->future.waitForFinished();
}

bool MediaExporter::isRunning() const
{
    return d->future.isRunning();
}

QString MediaExporter::lastError() const
{
    QMutexLocker locker(&d->errorMutex);
    return d->error;
}

QString MediaExporter::scriptPath()
{
    const QString exeDir = QCoreApplication::applicationDirPath();
    const QStringList places{exeDir, exeDir + QStringLiteral("/../libexec/tarnwell"),
                             QStringLiteral(TW_INSTALL_LIBEXECDIR)};
    for (const QString &folder : places) {
        const QString path = QDir(folder).filePath(QLatin1String(ScriptName));
        if (QFileInfo(path).isFile())
            return path;
    }
    return QString();
}

QString MediaExporter::silenceFilePath()
{
    const QString beside = QDir(QCoreApplication::applicationDirPath()).filePath(QLatin1String(SilenceName));
    if (QFileInfo(beside).isFile())
        return beside;
    return QDir(Util::getAppDirPath()).filePath(QLatin1String(SilenceName));
}

} // namespace TW
