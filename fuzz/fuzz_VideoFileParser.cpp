// Fuzzing target of the reading of ffprobe's JSON description of a file.
#include "FuzzSupport.h"

#include "core/VideoFileParser.h"

#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    TW::fuzz::setUp(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    TW::VideoFileParser parser;
    const bool video = parser.parseOutput(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    if (video == parser.getVideoTracks().isEmpty())
        __builtin_trap();
    // A duration is never negative, whatever the text says.
    if (parser.getDuration() < TW::Time(0))
        __builtin_trap();
    for (const auto &track : parser.getVideoTracks()) {
        if (!(track.frameRate >= 0.0f) || track.frameRate > 240.0f)
            __builtin_trap();
    }
    return 0;
}
