#pragma once

namespace TW {

// The application's working folders (Options::getPath/setPath). Any other
// value is no kind.
enum PathType {
    TempFolder = 0,
    ExportFolder = 1,
    OpenProjectFolder = 2,
    SaveProjectFolder = 3,
    RippingFolder = 4,
    SnifferFolder = 5,
    CacheFolder = 6
};

constexpr int PathTypeCount = 7;

} // namespace TW
