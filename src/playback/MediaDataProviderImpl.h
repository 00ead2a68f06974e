#pragma once

// State shared by MediaDataProvider and its implementation. Written from
// libvlc's event thread, its decoding threads, the thread pool and the
// graphical thread, hence atomic words.

#include "playback/MediaDataProvider.h"

#include <atomic>

namespace TW {

struct MediaDataProvider::Impl
{
    // Whether a pause libvlc reports was asked for by the provider itself
    // (preload, stop, suspend) and so parks it, or by the user.
    enum class PreloadPhase { None, Pending };

    std::atomic<State> state{StateCreated};
    std::atomic<PreloadPhase> preloadPhase{PreloadPhase::None};

    // The only ways the two change.
    void setState(State next)
    {
        state.store(next);
    }
    void setPreloadPhase(PreloadPhase next)
    {
        preloadPhase.store(next);
    }
    bool preloadPending() const { return preloadPhase.load() == PreloadPhase::Pending; }
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
