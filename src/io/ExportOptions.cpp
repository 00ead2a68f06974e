#include "io/ExportOptions.h"

#include <QDebug>

namespace TW {

ExportOptions::ExportOptions() = default;

QDebug operator<<(QDebug debug, const ExportOptions &o)
{
    const auto yes = [](bool b) { return b ? "true" : "false"; };
    QDebugStateSaver saver(debug);
    debug << "ExportOptions(" << "audio bitrate:" << o.audioBitrate << " pitch:" << o.pitch
          << " tempo:" << o.tempo << " volume:" << o.volume << " file:" << o.file << " freq:" << o.freq
          << " use loop count:" << yes(o.useLoopCount) << " video bitrate:" << o.videoBitrate
          << " video size:" << o.videoSize << " orig quality:" << yes(o.origQuality) << " stereo:"
          << yes(o.stereo) << " audio only:" << yes(o.audioOnly) << " apple compatible:"
          << yes(o.appleCompatible) << ")";
    return debug;
}

} // namespace TW
