// GPGME data objects over file descriptors; reading the input moves the window's progress bar
// on a scale of 0 to 1000.
#pragma once

#include <gpgme.h>

#include <cstdint>

#include "platform/gui/win_api.h"

// The handle of an input data object. fd must stay the first member: the write and seek
// callbacks read only a descriptor from the start of their handle.
struct FileStream {
  int fd = -1;
  std::uint64_t done = 0;   // bytes requested by the engine so far
  std::uint64_t total = 0;  // the file's length at opening
  HWND hProgress = nullptr;
  int lastPos = -1;         // progress position last sent
};

// The progress position for done of total bytes: the same numbers as 32-bit arithmetic gives
// below 4 GiB, 64-bit above, never a division by zero. Caps done at total.
int ProgressPosition(std::uint64_t& done, std::uint64_t total);

ssize_t ReadFileCb(void* handle, void* buffer, size_t size);
ssize_t WriteFileCb(void* handle, const void* buffer, size_t size);
off_t SeekFileCb(void* handle, off_t offset, int whence);

// A stream over an input just opened: done 0, lastPos -1, total the file's length, or the
// largest 32-bit value when that cannot be determined (the bar then creeps; reading is not
// affected).
FileStream MakeFileStream(int fd, HWND hProgress);

// The callback tables of gpgme_data_new_from_cbs, which keeps the pointer for the life of the
// data object (these live as long as the process).
// Encryption, decryption, signing, verification (input and output): read, write, seek.
gpgme_data_cbs* FileCallbacks();
// Key import input: read, seek.
gpgme_data_cbs* ImportCallbacks();
// Key export output: write, seek.
gpgme_data_cbs* ExportCallbacks();
