// Fuzzing target of the reading of ffmpeg's text during an import: the
// description of the input (the check run) and the progress lines of the
// conversion. The first byte chooses the run and the input's duration; the
// rest is read line by line as the converter splits ffmpeg's output.
#include "FuzzSupport.h"

#include "core/VideoInputConverter.h"

#include <cmath>
#include <cstdint>
#include <memory>

using TW::VideoInputConverter;
using TW::VideoInputFile;

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    TW::fuzz::setUp(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const bool converting = data[0] & 1;
    static const double durations[] = {0.0, 1.0, 60.0, 3600.0, 1e-9, 1e300, -5.0, NAN};
    VideoInputFile file;
    file.inputPath = QStringLiteral("/nonexistent/input.mp4");
    file.outputPath = QStringLiteral("/nonexistent/output.avi");
    file.audioStream = (data[0] & 2) ? 1 : -1;
    // No ffmpeg is found (see FuzzSupport.h); the check run the converter
    // starts at once fails to start and is cancelled before it reports.
    VideoInputConverter converter(file);
    converter.cancel();
    file.status = converting ? VideoInputFile::Converting : VideoInputFile::Checking;
    file.duration = converting ? durations[(data[0] >> 2) & 7] : 0.0;
    file.progress = 0;

    const QByteArray text(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    for (const QByteArray &chunk : text.split('\n')) {
        for (const QByteArray &line : chunk.split('\r')) {
            const QString trimmed = QString::fromUtf8(line).trimmed();
            if (!trimmed.isEmpty())
                converter.parseLine(trimmed);
        }
    }
    if (converting) {
        if (file.progress < 0 || file.progress > 100)
            __builtin_trap();
    } else if (file.status == VideoInputFile::Checking) {
        converter.completeCheck();
        if (!(file.fps > 0.0f) || !std::isfinite(file.fps))
            __builtin_trap();
    }
    return 0;
}
