#pragma once

namespace TW {

// The kinds of handle that stand on the time ruler.
namespace HandleType {
enum Type {
    Plain = 0,
    Bookmark = 1,
    LoopStart = 2,
    LoopEnd = 3,
    PositionIndicator = 4,
    SelectionStart = 5,
    SelectionEnd = 6
};
} // namespace HandleType

} // namespace TW
