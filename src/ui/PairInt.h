#pragma once

#include <QPair>

namespace TW {

// A pair of frame numbers: the selection's first and last frame, each -1
// while unset.
using PairInt = QPair<int, int>;

} // namespace TW
