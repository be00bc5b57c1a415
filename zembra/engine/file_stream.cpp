#include "zembra/engine/file_stream.h"

#include <cerrno>
#include <limits>
#include <utility>

#include "platform/core/files.h"

namespace {
constexpr std::uint64_t kScale = 1000;
// Up to this size done x 1000 stays within 32 bits; above it the total is divided first.
constexpr std::uint64_t kMultiplyLimit = 2'000'000;

gpgme_error_t MakeData(GpgmeDataObject& data, gpgme_data_cbs* callbacks, void* handle) {
  gpgme_data_t raw = nullptr;
  const gpgme_error_t err = gpgme_data_new_from_cbs(&raw, callbacks, handle);
  data.reset(err ? nullptr : raw);
  // GPGME moves the data to and from the engine in chunks of its buffer's size, 4 KiB unless
  // told otherwise; a chunk the size of a pipe's capacity takes a large file through in far
  // fewer rounds. A refusal only leaves the default.
  if (!err) gpgme_data_set_flag(raw, "io-buffer-size", "65536");
  return err;
}

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

void TellProgress(std::uint64_t& done, std::uint64_t total, int& lastPos,
                  const ProgressSink& progress) {
  const int pos = ProgressPosition(done, total);
  if (pos == lastPos) return;
  lastPos = pos;
  if (progress) progress(pos);
}

ssize_t ReadFileCb(void* handle, void* buffer, size_t size) {
  auto* stream = static_cast<FileStream*>(handle);
  if (stream->ended) return 0;
  // Counted before reading, whatever the read returns: the position follows what the engine
  // asked for, and the end of the file is reached at the latest when done passes total.
  stream->done += size;
  TellProgress(stream->done, stream->total, stream->lastPos, stream->progress);
  const std::int64_t n = ReadFd(stream->fd, buffer, size);
  if (n == 0 && size > 0) {
    const std::int64_t length = FileLength(stream->fd);
    if (length >= 0 && static_cast<std::uint64_t>(length) != stream->total) {
      stream->changed = true;
      errno = EIO;
      return -1;
    }
  }
  return static_cast<ssize_t>(n);
}

off_t SeekFileCb(void* handle, off_t offset, int whence) {
  return static_cast<off_t>(SeekFd(static_cast<const FileStream*>(handle)->fd, offset, whence));
}

ssize_t WriteFileCb(void* handle, const void* buffer, size_t size) {
  return static_cast<ssize_t>(WriteFd(static_cast<const OutputStream*>(handle)->fd, buffer, size));
}

off_t SeekOutputCb(void* handle, off_t offset, int whence) {
  return static_cast<off_t>(SeekFd(static_cast<const OutputStream*>(handle)->fd, offset, whence));
}

FileStream MakeFileStream(int fd, ProgressSink progress) {
  FileStream stream;
  stream.fd = fd;
  std::int64_t length = FileLength(fd);
  stream.total =
      length < 0 ? std::numeric_limits<std::uint32_t>::max() : static_cast<std::uint64_t>(length);
  stream.progress = std::move(progress);
  return stream;
}

gpgme_data_cbs* InputCallbacks() {
  static gpgme_data_cbs callbacks = {ReadFileCb, nullptr, SeekFileCb, nullptr};
  return &callbacks;
}

gpgme_data_cbs* OutputCallbacks() {
  static gpgme_data_cbs callbacks = {nullptr, WriteFileCb, SeekOutputCb, nullptr};
  return &callbacks;
}

gpgme_error_t MakeInputData(GpgmeDataObject& data, FileStream& stream) {
  return MakeData(data, InputCallbacks(), &stream);
}

gpgme_error_t MakeOutputData(GpgmeDataObject& data, OutputStream& stream) {
  return MakeData(data, OutputCallbacks(), &stream);
}
