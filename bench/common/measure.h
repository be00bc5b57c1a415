// What every benchmark shares: running a program with its wall and CPU time, medians with their
// spread over alternating rounds, and the lines that print them. Nothing of Zembra.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace bench {

// One measured run. cpu is user + system time of the process and of every child it waited for
// (gpg under GPGME), which a loaded machine disturbs less than the wall time.
struct Sample {
  double wall = 0;
  double cpu = 0;
};

struct Run : Sample {
  double started = 0;  // Now() just before the start
  std::string out;     // standard output, when asked for
};

// Runs argv (PATH searched) with standard input and error on /dev/null, the environment with
// extraEnv ("NAME=value") added; exits on failure.
Run RunProgram(const std::vector<std::string>& argv, bool captureOut = false,
               const std::vector<std::string>& extraEnv = {});

// CPU time (user + system) of this process and of its waited-for children so far.
double CpuSeconds();
double Now();

// GPGME starts gpg through an intermediate process that it reaps at once, so gpg's own CPU time
// never reaches its caller's children's account. A benchmark's child calls AdoptEngineProcesses
// first, which makes it inherit such grandchildren, and ReapEngineProcesses at the end of its
// job, which waits for those that have ended, so that CpuSeconds counts them.
void AdoptEngineProcesses();
void ReapEngineProcesses();  // a monotonic clock in seconds, the same for every process of the
                             // machine

// The peak resident size of this process's own image in KiB (VmHWM). Not ru_maxrss: Linux
// carries that over an exec from the process that forked it, so a measured child could never
// show less than the bench that started it.
long PeakResidentKiB();

struct Spread {
  double median = 0, min = 0, max = 0;
};
Spread SpreadOf(std::vector<double> values);

// The samples of one side (gpg, the floor or Zembra) over the rounds.
struct Series {
  std::vector<double> wall, cpu;
  void Add(const Sample& s) {
    wall.push_back(s.wall);
    cpu.push_back(s.cpu);
  }
};

// Rounds of a benchmark: each round runs every side once, in an order rotated by the round, so
// that no side always runs first on a cold cache or last on a hot one.
int RoundsFromEnv(int fallback);  // ZEMBRA_BENCH_ROUNDS, else fallback

// Prints the wall and CPU lines of one benchmark: each side's median [min-max], then the
// ratios of the medians Zembra / gpg and Zembra / floor with the target of each, when given.
struct Target {
  double overGpg = 0;     // 0: none
  double overFloor = 0;   // 0: none
  double cpuOverGpg = 0;  // 0: none
};
void PrintHeader();
void Print(const std::string& what, const Series& gpg, const Series& floor, const Series& zembra,
           Target target);

std::uint64_t ParseSize(const std::string& text);  // "64M", "1G", "512k", bytes
// Incompressible bytes, quickly: compression is tried on every side alike.
void WriteNoise(const std::string& path, std::uint64_t size, std::uint64_t seed);
bool SameFiles(const std::string& a, const std::string& b);

}  // namespace bench
