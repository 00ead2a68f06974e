#include "model/MediaTrackUtils.h"

#include "model/MediaTrackFragment.h"

#include <QtGlobal>

namespace TW {

namespace {

using FragmentPtr = MediaTrackUtils::FragmentPtr;

qint64 duration(const FragmentPtr &fragment)
{
    return (fragment->endPosition - fragment->startPosition).unitCount;
}

FragmentPtr cloneOf(const FragmentPtr &fragment)
{
    return FragmentPtr(fragment->clone());
}

// The trims' precondition is the callers' to keep; breaking it is a
// programming error, stopped in every build rather than leaving a fragment
// that ends before it starts.
void require(bool condition, const char *where, const char *what)
{
    if (!condition)
        qFatal("ASSERT failure in %s: \"%s\", file %s", where, what, "src/model/MediaTrackUtils.cpp");
}

} // namespace

std::pair<FragmentPtr, FragmentPtr> MediaTrackUtils::cutInternalFragment(FragmentPtr fragment,
                                                                         long long offset,
                                                                         long long length)
{
    FragmentPtr head = cloneOf(fragment);
    FragmentPtr tail = cloneOf(fragment);
    head->endPosition = head->startPosition + offset;
    tail->startPosition = tail->startPosition + offset + length;
    tail->timelinePosition = tail->timelinePosition + offset + length;
    return {head, tail};
}

FragmentPtr MediaTrackUtils::splitTrackNoCopy(FragmentPtr fragment, long long offset)
{
    FragmentPtr tail = cloneOf(fragment);
    tail->startPosition = tail->startPosition + offset;
    fragment->endPosition = fragment->startPosition + offset;
    return tail;
}

void MediaTrackUtils::clipTrackAtStart(FragmentPtr fragment, long long startOffset)
{
    require(startOffset <= duration(fragment), "clipTrackAtStart",
            "startOffset <= mediaTrack->getDuration().unitCount");
    fragment->startPosition = fragment->startPosition + startOffset;
}

void MediaTrackUtils::clipTrackAtEnd(FragmentPtr fragment, long long endOffset)
{
    require(endOffset <= duration(fragment), "clipTrackAtEnd",
            "endOffset <= mediaTrack->getDuration().unitCount");
    fragment->endPosition = fragment->endPosition - endOffset;
}

void MediaTrackUtils::clipMediaTrack(FragmentPtr fragment, long long startOffset, long long endOffset)
{
    fragment->startPosition = fragment->startPosition + startOffset;
    fragment->endPosition = fragment->endPosition - endOffset;
}

FragmentPtr MediaTrackUtils::getClippedAtStartCopy(FragmentPtr fragment, long long startOffset)
{
    FragmentPtr copy = cloneOf(fragment);
    clipTrackAtStart(copy, startOffset);
    return copy;
}

FragmentPtr MediaTrackUtils::getClippedAtEndCopy(FragmentPtr fragment, long long endOffset)
{
    FragmentPtr copy = cloneOf(fragment);
    clipTrackAtEnd(copy, endOffset);
    return copy;
}

FragmentPtr MediaTrackUtils::clipMediaTrackCopy(FragmentPtr fragment, long long startOffset,
                                                long long endOffset)
{
    FragmentPtr copy = cloneOf(fragment);
    clipMediaTrack(copy, startOffset, endOffset);
    return copy;
}

} // namespace TW
