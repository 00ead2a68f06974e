#pragma once

#include <QSharedPointer>

#include <utility>

namespace TW {

struct MediaTrackFragment;

// Splitting, cutting and trimming of one fragment, in place or on clones.
// Offsets and lengths are microseconds within the fragment: a split, cut or
// start offset counts from the fragment's start, an end offset back from its
// end. Only the start, end and timeline position fields are changed.
class MediaTrackUtils
{
public:
    using FragmentPtr = QSharedPointer<MediaTrackFragment>;

    // Cuts offset..offset+length out; returns clones (head, tail). The tail
    // keeps its timeline place as if the stretch were still there.
    static std::pair<FragmentPtr, FragmentPtr> cutInternalFragment(FragmentPtr fragment,
                                                                   long long offset,
                                                                   long long length);
    // The fragment itself becomes the head; returns the tail (a clone).
    static FragmentPtr splitTrackNoCopy(FragmentPtr fragment, long long offset);
    // In-place trims; the offset must not exceed the fragment's duration.
    static void clipTrackAtStart(FragmentPtr fragment, long long startOffset);
    static void clipTrackAtEnd(FragmentPtr fragment, long long endOffset);
    // Trims both ends in place, unchecked.
    static void clipMediaTrack(FragmentPtr fragment, long long startOffset, long long endOffset);
    static FragmentPtr getClippedAtStartCopy(FragmentPtr fragment, long long startOffset);
    static FragmentPtr getClippedAtEndCopy(FragmentPtr fragment, long long endOffset);
    static FragmentPtr clipMediaTrackCopy(FragmentPtr fragment, long long startOffset,
                                          long long endOffset);
};

} // namespace TW
