#pragma once

namespace TW {

// How a data provider decodes; any non-zero value installs libvlc's memory
// output callbacks (the application always uses DecodingToMemory).
enum DecodingSpeedMode {
    DecodingDirect = 0,
    DecodingToMemory = 1,
};

} // namespace TW
