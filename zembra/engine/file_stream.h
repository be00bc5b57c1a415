// GPGME data objects over file descriptors. Reading an input reports its progress on a scale of
// 0 to 1000 to the operation's progress sink.
#pragma once

#include <gpgme.h>
#include <sys/types.h>

#include <cstdint>

#include "zembra/engine/engine.h"
#include "zembra/engine/progress.h"

// The handle of an input data object, one per operation, on the operation's stack.
struct FileStream {
  int fd = -1;
  std::uint64_t done = 0;   // bytes requested by the engine so far
  std::uint64_t total = 0;  // the file's length at opening
  ProgressSink progress;    // told each new position
  int lastPos = -1;         // position last told
  bool changed = false;     // the file's length at the end was not its length at opening
  bool ended = false;       // the input was ended early: reads find its end from then on
};

// The handle of an output data object.
struct OutputStream {
  int fd = -1;
};

// The progress position for done of total bytes: the same numbers as 32-bit arithmetic gives
// below 4 GiB, 64-bit above, never a division by zero. Caps done at total.
int ProgressPosition(std::uint64_t& done, std::uint64_t total);
// Tells the sink (when there is one) the position of done of total bytes, if it is not the one
// last told.
void TellProgress(std::uint64_t& done, std::uint64_t total, int& lastPos,
                  const ProgressSink& progress);

// On a FileStream: counts the request, tells the sink a changed position, then reads. At the end
// of a file whose length changed since opening it sets `changed` and fails with EIO: what came
// through is neither the old content nor the new one.
ssize_t ReadFileCb(void* handle, void* buffer, size_t size);
// On a FileStream; leaves its counters alone.
off_t SeekFileCb(void* handle, off_t offset, int whence);
// On an OutputStream.
ssize_t WriteFileCb(void* handle, const void* buffer, size_t size);
off_t SeekOutputCb(void* handle, off_t offset, int whence);

// A stream over an input just opened: done 0, lastPos -1, total the file's length, or the
// largest 32-bit value when that cannot be determined (the position then creeps; reading is
// not affected).
FileStream MakeFileStream(int fd, ProgressSink progress = {});

// The callback tables of gpgme_data_new_from_cbs, which keeps the pointer for the life of the
// data object (these live as long as the process). Inputs: read, seek. Outputs: write, seek.
gpgme_data_cbs* InputCallbacks();
gpgme_data_cbs* OutputCallbacks();

// Data objects over the streams, which must outlive them; data stays empty on failure. The
// caller reports the result (CheckResult, Outcome::Check).
gpgme_error_t MakeInputData(GpgmeDataObject& data, FileStream& stream);
gpgme_error_t MakeOutputData(GpgmeDataObject& data, OutputStream& stream);
