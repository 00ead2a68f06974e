#pragma once

// State shared by MediaDataProvider and its implementation. Written from
// libvlc's event thread, its decoding threads, the thread pool and the
// graphical thread, hence atomic words.

#include "playback/MediaDataProvider.h"

#include <atomic>

namespace TW {

struct MediaDataProvider::Impl
{
    std::atomic<int> state{StateCreated};
    // 3 while a pause the provider asked for itself (preload, stop,
    // suspend) is pending, else 0.
    std::atomic<int> preloadPhase{0};
    VlcMedia *media = nullptr;
    VlcMediaPlayer *player = nullptr;
    DecodingSpeedMode mode;
    std::atomic<qint64> startPosition{0};
    std::atomic<qint64> endPosition{0};
    std::atomic<qint64> currentPosition{0};
    std::atomic<qint64> targetPosition{-1};
    std::atomic<bool> outputNullified{false};
    std::atomic<bool> suspended{true};

    explicit Impl(DecodingSpeedMode m) : mode(m) {}
};

} // namespace TW
