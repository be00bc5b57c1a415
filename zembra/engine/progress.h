// How an operation reports how far it has got: positions 0 to 1000, told only when they change.
// The window hands its progress bar in as one; tests record the positions; an empty one shows
// nothing.
#pragma once

#include <functional>

using ProgressSink = std::function<void(int position)>;
