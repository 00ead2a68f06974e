#pragma once

namespace TW {

// State of a sample queue; set by the media player, read by producers and
// consumers. Only these values are used.
enum MemoryStreamState {
    StreamInitial = 0, // as created
    StreamPlaying = 3, // samples flow
    StreamHeld = 4,    // seek, loop jump or rebuild: audio producers queue silence
    StreamEnded = 6,   // ended, paused or stopped
};

} // namespace TW
