// Fuzzing target of the project reader: the text of a project of the XML
// form, read into a model and its options as opening a project does (media
// files are not loaded).
#include "FuzzSupport.h"

#include "core/OptionsHolder.h"
#include "model/Media.h"
#include "model/ProjectReader.h"

#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    TW::fuzz::setUp(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray content(reinterpret_cast<const char *>(data), qsizetype(size));
    TW::Media media;
    TW::OptionsHolder options;
    QString error;
    const bool read = TW::ProjectReader::read(content, QStringLiteral("fuzz.twp"), media, options, error);
    // Every refusal says why; an accepted project has usable settings.
    if (!read && error.isEmpty())
        __builtin_trap();
    if (read && !options.rangeProblem().isEmpty())
        __builtin_trap();
    return 0;
}
