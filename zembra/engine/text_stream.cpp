#include "zembra/engine/text_stream.h"

#include <sys/types.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "zembra/engine/file_stream.h"

namespace {

ssize_t ReadTextCb(void* handle, void* buffer, size_t size) {
  auto* stream = static_cast<TextStream*>(handle);
  const std::uint64_t left = stream->bytes.size() - stream->offset;
  const std::size_t n = size < left ? size : static_cast<std::size_t>(left);
  std::memcpy(buffer, stream->bytes.data() + stream->offset, n);
  stream->offset += n;
  std::uint64_t done = stream->offset;
  TellProgress(done, stream->bytes.size(), stream->lastPos, stream->progress);
  return static_cast<ssize_t>(n);
}

off_t SeekTextCb(void* handle, off_t offset, int whence) {
  auto* stream = static_cast<TextStream*>(handle);
  const auto size = static_cast<off_t>(stream->bytes.size());
  off_t base = 0;
  if (whence == SEEK_CUR) {
    base = static_cast<off_t>(stream->offset);
  } else if (whence == SEEK_END) {
    base = size;
  } else if (whence != SEEK_SET) {
    errno = EINVAL;
    return -1;
  }
  if (offset < -base || offset > size - base) {
    errno = EINVAL;
    return -1;
  }
  stream->offset = static_cast<std::uint64_t>(base + offset);
  return base + offset;
}

}  // namespace

gpgme_error_t MakeTextInputData(GpgmeDataObject& data, TextStream& stream) {
  static gpgme_data_cbs callbacks = {ReadTextCb, nullptr, SeekTextCb, nullptr};
  gpgme_data_t raw = nullptr;
  const gpgme_error_t err = gpgme_data_new_from_cbs(&raw, &callbacks, &stream);
  data.reset(err ? nullptr : raw);
  return err;
}
