// The floor of the file benchmarks: what one encryption or decryption needs through GPGME 1.18
// and nothing else. The same kind of data objects as Zembra's (callbacks over descriptors, an
// input that counts its progress, a 64 KiB I/O buffer) and the same durable commit (a temporary
// beside the target, flushed, renamed, the folder flushed). One context for all files.
//
//   bench_floor encrypt HOME FPR SUFFIX FILE...    writes FILE SUFFIX for each FILE
//   bench_floor decrypt HOME SUFFIX FILE...
//   bench_floor list HOME                          lists the ring's keys as the key list does
//
// Prints the job's wall seconds, its CPU seconds (with gpg's), the seconds of the flushes within
// it, and the peak resident size in KiB.
#include <fcntl.h>
#include <gpgme.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench/common/measure.h"

namespace {

struct Input {
  int fd = -1;
  std::uint64_t done = 0, total = 0;
  int lastPos = -1;
  int positions = 0;  // what a progress bar would have been told
};

ssize_t ReadInput(void* handle, void* buffer, size_t size) {
  auto* in = static_cast<Input*>(handle);
  in->done += size;
  if (in->done > in->total) in->done = in->total;
  const int pos = in->total ? static_cast<int>(in->done * 1000 / in->total) : 1000;
  if (pos != in->lastPos) {
    in->lastPos = pos;
    ++in->positions;
  }
  return read(in->fd, buffer, size);
}

ssize_t WriteOutput(void* handle, const void* buffer, size_t size) {
  const int fd = *static_cast<int*>(handle);
  const char* p = static_cast<const char*>(buffer);
  size_t left = size;
  while (left > 0) {
    const ssize_t n = write(fd, p, left);
    if (n < 0) return -1;
    p += n;
    left -= static_cast<size_t>(n);
  }
  return static_cast<ssize_t>(size);
}

off_t Seek(void* handle, off_t offset, int whence) {
  return lseek(*static_cast<int*>(handle), offset, whence);
}

gpgme_data_cbs g_callbacks = {ReadInput, WriteOutput, Seek, nullptr};

gpgme_data_t Data(void* handle) {
  gpgme_data_t data = nullptr;
  if (gpgme_data_new_from_cbs(&data, &g_callbacks, handle) != 0) return nullptr;
  gpgme_data_set_flag(data, "io-buffer-size", "65536");
  return data;
}

double g_flushSeconds = 0;

// One file through the engine into target; false on any failure.
bool OneFile(gpgme_ctx_t ctx, gpgme_key_t* keys, const std::string& path,
             const std::string& target) {
  Input in;
  in.fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (in.fd < 0) return false;
  struct stat st {};
  fstat(in.fd, &st);
  in.total = static_cast<std::uint64_t>(st.st_size);
  const std::string temp = target + ".floor-tmp";
  int out = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (out < 0) return false;
  gpgme_data_t inData = Data(&in), outData = Data(&out);
  const gpgme_error_t err =
      keys ? gpgme_op_encrypt(ctx, keys, GPGME_ENCRYPT_ALWAYS_TRUST, inData, outData)
           : gpgme_op_decrypt(ctx, inData, outData);
  gpgme_data_release(outData);
  gpgme_data_release(inData);
  close(in.fd);
  const double flush = bench::Now();
  bool ok = err == 0 && fsync(out) == 0 && rename(temp.c_str(), target.c_str()) == 0;
  const std::size_t slash = target.rfind('/');
  const int dir = open(slash == std::string::npos ? "." : target.substr(0, slash + 1).c_str(),
                       O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    fsync(dir);
    close(dir);
  }
  g_flushSeconds += bench::Now() - flush;
  close(out);
  if (!ok) {
    unlink(temp.c_str());
    std::fprintf(stderr, "%s: %s\n", path.c_str(), gpgme_strerror(err));
  }
  return ok;
}

// The key list's floor: every key of the ring through one listing, each kept until the end.
int List(const char* home) {
  bench::AdoptEngineProcesses();
  gpgme_check_version(nullptr);
  gpgme_ctx_t ctx = nullptr;
  if (gpgme_new(&ctx) != 0) return 1;
  gpgme_ctx_set_engine_info(ctx, GPGME_PROTOCOL_OpenPGP, nullptr, home);
  const double start = bench::Now(), startCpu = bench::CpuSeconds();
  std::vector<gpgme_key_t> keys;
  if (gpgme_op_keylist_start(ctx, nullptr, 0) != 0) return 1;
  for (gpgme_key_t key = nullptr; gpgme_op_keylist_next(ctx, &key) == 0;) keys.push_back(key);
  gpgme_op_keylist_end(ctx);
  const double seconds = bench::Now() - start;
  bench::ReapEngineProcesses();
  const double cpu = bench::CpuSeconds() - startCpu;
  std::printf("%.6f %.6f 0 %ld %zu\n", seconds, cpu, bench::PeakResidentKiB(), keys.size());
  for (gpgme_key_t key : keys) gpgme_key_unref(key);
  gpgme_release(ctx);
  return keys.empty() ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "list") return List(argv[2]);
  if (argc < 5) {
    std::fprintf(
        stderr,
        "usage: bench_floor encrypt HOME FPR SUFFIX FILE... | decrypt HOME SUFFIX FILE...\n");
    return 2;
  }
  const std::string op = argv[1];
  const bool encrypt = op == "encrypt";
  bench::AdoptEngineProcesses();
  gpgme_check_version(nullptr);
  gpgme_ctx_t ctx = nullptr;
  if (gpgme_new(&ctx) != 0) return 1;
  gpgme_ctx_set_engine_info(ctx, GPGME_PROTOCOL_OpenPGP, nullptr, argv[2]);
  gpgme_set_armor(ctx, 0);
  gpgme_key_t keys[2] = {nullptr, nullptr};
  int first = 4;
  if (encrypt) {
    if (gpgme_get_key(ctx, argv[3], &keys[0], 0) != 0) return 1;
    first = 5;
  }
  const std::string suffix = argv[first - 1];

  const double start = bench::Now(), startCpu = bench::CpuSeconds();
  int failed = 0;
  for (int i = first; i < argc; ++i)
    if (!OneFile(ctx, encrypt ? keys : nullptr, argv[i], argv[i] + suffix)) ++failed;
  const double seconds = bench::Now() - start;
  bench::ReapEngineProcesses();
  const double cpu = bench::CpuSeconds() - startCpu;

  std::printf("%.6f %.6f %.6f %ld\n", seconds, cpu, g_flushSeconds, bench::PeakResidentKiB());
  if (keys[0]) gpgme_key_unref(keys[0]);
  gpgme_release(ctx);
  return failed ? 1 : 0;
}
