// File systems the machine does not have, simulated inside one test program. Linked into it, the
// definitions of file_system_shim.cpp take the C library's place for the whole process (the
// library under test included) and change what they do only while one of these scopes lives.
#pragma once

// O_TMPFILE fails with EOPNOTSUPP, as on NFS, CIFS and most FUSE file systems.
class WithoutUnnamedFiles {
 public:
  WithoutUnnamedFiles();
  ~WithoutUnnamedFiles();
  WithoutUnnamedFiles(const WithoutUnnamedFiles&) = delete;
  WithoutUnnamedFiles& operator=(const WithoutUnnamedFiles&) = delete;
};

// Paths under /proc do not exist, as where /proc is not mounted (a container, a chroot).
class WithoutProc {
 public:
  WithoutProc();
  ~WithoutProc();
  WithoutProc(const WithoutProc&) = delete;
  WithoutProc& operator=(const WithoutProc&) = delete;
};

// Every fsync takes delayMs longer, as on a slow disk with much data to write out.
class SlowFlushes {
 public:
  explicit SlowFlushes(int delayMs);
  ~SlowFlushes();
  SlowFlushes(const SlowFlushes&) = delete;
  SlowFlushes& operator=(const SlowFlushes&) = delete;
};

// fsync fails with EIO, as when the disk could not write the data back.
class FailingFlushes {
 public:
  FailingFlushes();
  ~FailingFlushes();
  FailingFlushes(const FailingFlushes&) = delete;
  FailingFlushes& operator=(const FailingFlushes&) = delete;
};

// The fsync calls under way now, in every thread.
int FlushesUnderWay();
