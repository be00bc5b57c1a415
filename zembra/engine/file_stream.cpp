#include "zembra/engine/file_stream.h"

#include <limits>

#include "platform/core/files.h"

namespace {
constexpr std::uint64_t kScale = 1000;
// Up to this size done x 1000 stays within 32 bits; above it the total is divided first.
constexpr std::uint64_t kMultiplyLimit = 2'000'000;
}  // namespace

int ProgressPosition(std::uint64_t& done, std::uint64_t total) {
  if (done >= total) {
    done = total;
    return static_cast<int>(kScale);
  }
  // done < total here, so total is at least 1 and, above the limit, total / 1000 at least 2000:
  // neither form divides by zero, and below 4 GiB both give what 32-bit arithmetic gives.
  if (total > kMultiplyLimit) return static_cast<int>(done / (total / kScale));
  return static_cast<int>(done * kScale / total);
}

ssize_t ReadFileCb(void* handle, void* buffer, size_t size) {
  auto* stream = static_cast<FileStream*>(handle);
  // Counted before reading, whatever the read returns: the position follows what the engine
  // asked for, and the end of the file is reached at the latest when done passes total.
  stream->done += size;
  int pos = ProgressPosition(stream->done, stream->total);
  if (pos != stream->lastPos) {
    stream->lastPos = pos;
    SendMessage(stream->hProgress, PBM_SETPOS, static_cast<WPARAM>(pos), 0);
  }
  return static_cast<ssize_t>(ReadFd(stream->fd, buffer, size));
}

ssize_t WriteFileCb(void* handle, const void* buffer, size_t size) {
  int fd = *static_cast<const int*>(handle);
  return static_cast<ssize_t>(WriteFd(fd, buffer, size));
}

off_t SeekFileCb(void* handle, off_t offset, int whence) {
  int fd = *static_cast<const int*>(handle);
  return static_cast<off_t>(SeekFd(fd, offset, whence));
}

FileStream MakeFileStream(int fd, HWND hProgress) {
  FileStream stream;
  stream.fd = fd;
  std::int64_t length = FileLength(fd);
  stream.total = length < 0 ? std::numeric_limits<std::uint32_t>::max()
                            : static_cast<std::uint64_t>(length);
  stream.hProgress = hProgress;
  return stream;
}

gpgme_data_cbs* FileCallbacks() {
  static gpgme_data_cbs callbacks = {ReadFileCb, WriteFileCb, SeekFileCb, nullptr};
  return &callbacks;
}

gpgme_data_cbs* ImportCallbacks() {
  static gpgme_data_cbs callbacks = {ReadFileCb, nullptr, SeekFileCb, nullptr};
  return &callbacks;
}

gpgme_data_cbs* ExportCallbacks() {
  static gpgme_data_cbs callbacks = {nullptr, WriteFileCb, SeekFileCb, nullptr};
  return &callbacks;
}
