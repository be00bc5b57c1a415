// A GPGME input data object over bytes in memory (clipboard text) that reports how far the
// engine has read, as a file input does.
#pragma once

#include <gpgme.h>

#include <cstdint>
#include <string_view>

#include "zembra/engine/engine.h"
#include "zembra/engine/progress.h"

// The handle of a text input, on the operation's stack; the bytes must outlive the data object.
struct TextStream {
  std::string_view bytes;
  std::uint64_t offset = 0;  // where the engine reads next
  ProgressSink progress;     // told each new position
  int lastPos = -1;          // position last told
};

// Data stays empty on failure; the caller reports the result.
gpgme_error_t MakeTextInputData(GpgmeDataObject& data, TextStream& stream);
