#include "tests/support/file_system_shim.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstring>
#include <thread>

namespace {

std::atomic<int> g_withoutUnnamedFiles{0};
std::atomic<int> g_withoutProc{0};
std::atomic<int> g_flushDelayMs{0};
std::atomic<int> g_failingFlushes{0};
std::atomic<int> g_flushesUnderWay{0};

template <typename Function>
Function Real(const char* name) {
  return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

bool Hidden(const char* path) {
  return g_withoutProc > 0 && path != nullptr &&
         (std::strcmp(path, "/proc") == 0 || std::strncmp(path, "/proc/", 6) == 0);
}

// errno for an opening the simulated file system refuses, or 0.
int Refusal(const char* path, int flags) {
  if (Hidden(path)) return ENOENT;
  if (g_withoutUnnamedFiles > 0 && (flags & O_TMPFILE) == O_TMPFILE) return EOPNOTSUPP;
  return 0;
}

bool TakesMode(int flags) { return (flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE; }

using OpenFunction = int (*)(const char*, int, ...);
using OpenAtFunction = int (*)(int, const char*, int, ...);

int ShimOpen(const char* name, const char* path, int flags, mode_t mode) {
  if (int error = Refusal(path, flags)) {
    errno = error;
    return -1;
  }
  return Real<OpenFunction>(name)(path, flags, mode);
}

int ShimOpenAt(const char* name, int dir, const char* path, int flags, mode_t mode) {
  if (int error = Refusal(path, flags)) {
    errno = error;
    return -1;
  }
  return Real<OpenAtFunction>(name)(dir, path, flags, mode);
}

}  // namespace

WithoutUnnamedFiles::WithoutUnnamedFiles() { ++g_withoutUnnamedFiles; }
WithoutUnnamedFiles::~WithoutUnnamedFiles() { --g_withoutUnnamedFiles; }
WithoutProc::WithoutProc() { ++g_withoutProc; }
WithoutProc::~WithoutProc() { --g_withoutProc; }
SlowFlushes::SlowFlushes(int delayMs) { g_flushDelayMs = delayMs; }
SlowFlushes::~SlowFlushes() { g_flushDelayMs = 0; }
FailingFlushes::FailingFlushes() { ++g_failingFlushes; }
FailingFlushes::~FailingFlushes() { --g_failingFlushes; }
int FlushesUnderWay() { return g_flushesUnderWay; }

#define ZEMBRA_SHIM_MODE(flags)                    \
  mode_t mode = 0;                                 \
  if (TakesMode(flags)) {                          \
    va_list args;                                  \
    va_start(args, flags);                         \
    mode = static_cast<mode_t>(va_arg(args, int)); \
    va_end(args);                                  \
  }

extern "C" {

int open(const char* path, int flags, ...) {
  ZEMBRA_SHIM_MODE(flags)
  return ShimOpen("open", path, flags, mode);
}

int open64(const char* path, int flags, ...) {
  ZEMBRA_SHIM_MODE(flags)
  return ShimOpen("open64", path, flags, mode);
}

int openat(int dir, const char* path, int flags, ...) {
  ZEMBRA_SHIM_MODE(flags)
  return ShimOpenAt("openat", dir, path, flags, mode);
}

int openat64(int dir, const char* path, int flags, ...) {
  ZEMBRA_SHIM_MODE(flags)
  return ShimOpenAt("openat64", dir, path, flags, mode);
}

int access(const char* path, int how) {
  if (Hidden(path)) {
    errno = ENOENT;
    return -1;
  }
  return Real<int (*)(const char*, int)>("access")(path, how);
}

int faccessat(int dir, const char* path, int how, int flags) {
  if (Hidden(path)) {
    errno = ENOENT;
    return -1;
  }
  return Real<int (*)(int, const char*, int, int)>("faccessat")(dir, path, how, flags);
}

// The C library opens a stream's file by its own inner call, which the definitions above do not
// see.
FILE* fopen(const char* path, const char* how) {
  if (Hidden(path)) {
    errno = ENOENT;
    return nullptr;
  }
  return Real<FILE* (*)(const char*, const char*)>("fopen")(path, how);
}

FILE* fopen64(const char* path, const char* how) {
  if (Hidden(path)) {
    errno = ENOENT;
    return nullptr;
  }
  return Real<FILE* (*)(const char*, const char*)>("fopen64")(path, how);
}

int fsync(int fd) {
  if (g_failingFlushes > 0) {
    errno = EIO;
    return -1;
  }
  ++g_flushesUnderWay;
  if (const int delay = g_flushDelayMs; delay > 0)
    std::this_thread::sleep_for(std::chrono::milliseconds(delay));
  const int result = Real<int (*)(int)>("fsync")(fd);
  --g_flushesUnderWay;
  return result;
}

}  // extern "C"
