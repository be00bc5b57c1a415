#include "bench/common/measure.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

extern char** environ;

namespace bench {

namespace {

double Seconds(const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; }

}  // namespace

double Now() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

double CpuSeconds() {
  rusage self{}, children{};
  getrusage(RUSAGE_SELF, &self);
  getrusage(RUSAGE_CHILDREN, &children);
  return Seconds(self.ru_utime) + Seconds(self.ru_stime) + Seconds(children.ru_utime) +
         Seconds(children.ru_stime);
}

void AdoptEngineProcesses() { prctl(PR_SET_CHILD_SUBREAPER, 1); }

void ReapEngineProcesses() {
  // The last gpg may still be on its way out; a long-lived child (an agent) would stay, so give
  // up after a moment.
  for (int waits = 0; waits < 100;) {
    const pid_t pid = waitpid(-1, nullptr, WNOHANG);
    if (pid < 0) return;  // no children left
    if (pid == 0) {
      usleep(1000);
      ++waits;
    }
  }
}

Run RunProgram(const std::vector<std::string>& argv, bool captureOut,
               const std::vector<std::string>& extraEnv) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  std::vector<char*> env;
  for (const std::string& e : extraEnv) env.push_back(const_cast<char*>(e.c_str()));
  for (char** e = environ; *e; ++e) env.push_back(*e);
  env.push_back(nullptr);
  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0) std::exit(2);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  if (captureOut)
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
  else
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  Run run;
  const double start = Now();
  run.started = start;
  pid_t pid = 0;
  if (posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), env.data()) != 0) {
    std::fprintf(stderr, "cannot start %s\n", args[0]);
    std::exit(2);
  }
  posix_spawn_file_actions_destroy(&actions);
  close(pipeFds[1]);
  char buffer[4096];
  ssize_t n;
  while ((n = read(pipeFds[0], buffer, sizeof buffer)) > 0)
    run.out.append(buffer, static_cast<std::size_t>(n));
  close(pipeFds[0]);
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  run.wall = Now() - start;
  run.cpu = Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "%s failed\n", argv[0].c_str());
    std::exit(2);
  }
  return run;
}

long PeakResidentKiB() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.starts_with("VmHWM:")) return std::atol(line.c_str() + 6);
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

Spread SpreadOf(std::vector<double> values) {
  Spread s;
  if (values.empty()) return s;
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  s.median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
  s.min = values.front();
  s.max = values.back();
  return s;
}

int RoundsFromEnv(int fallback) {
  const char* env = std::getenv("ZEMBRA_BENCH_ROUNDS");
  const int n = env ? std::atoi(env) : 0;
  return n > 0 ? n : fallback;
}

namespace {

std::string Cell(const std::vector<double>& values) {
  const Spread s = SpreadOf(values);
  char text[64];
  std::snprintf(text, sizeof text, "%7.3f [%.3f-%.3f]", s.median, s.min, s.max);
  return text;
}

std::string Ratio(const std::vector<double>& zembra, const std::vector<double>& other,
                  double target) {
  const double base = SpreadOf(other).median;
  char text[48];
  if (base <= 0) return "    -";
  const double ratio = SpreadOf(zembra).median / base;
  if (target > 0)
    std::snprintf(text, sizeof text, "%5.2f%s", ratio, ratio <= target ? " " : "!");
  else
    std::snprintf(text, sizeof text, "%5.2f ", ratio);
  return text;
}

void Line(const char* what, const char* kind, const std::vector<double>& gpg,
          const std::vector<double>& floor, const std::vector<double>& zembra, Target target) {
  std::printf("%-26s %-4s %-24s %-24s %-24s %s  %s\n", what, kind, Cell(gpg).c_str(),
              Cell(floor).c_str(), Cell(zembra).c_str(), Ratio(zembra, gpg, target.overGpg).c_str(),
              Ratio(zembra, floor, target.overFloor).c_str());
}

}  // namespace

void PrintHeader() {
  std::printf("%-26s %-4s %-24s %-24s %-24s %s  %s\n", "seconds: median [min-max]", "", "gpg",
              "floor", "Zembra", "Z/gpg", "Z/floor");
}

void Print(const std::string& what, const Series& gpg, const Series& floor, const Series& zembra,
           Target target) {
  Line(what.c_str(), "wall", gpg.wall, floor.wall, zembra.wall, target);
  Line("", "cpu", gpg.cpu, floor.cpu, zembra.cpu, {target.cpuOverGpg, 0, 0});
  if (target.overGpg > 0 || target.overFloor > 0) {
    std::printf("%-26s      targets (wall):", "");
    if (target.overGpg > 0) std::printf(" Zembra/gpg <= %.2f", target.overGpg);
    if (target.overFloor > 0) std::printf(" Zembra/floor <= %.2f", target.overFloor);
    if (target.cpuOverGpg > 0) std::printf("; (cpu): Zembra/gpg <= %.2f", target.cpuOverGpg);
    std::printf("   (! marks a ratio above its target)\n");
  }
  std::fflush(stdout);
}

std::uint64_t ParseSize(const std::string& text) {
  char* end = nullptr;
  double value = std::strtod(text.c_str(), &end);
  switch (end && *end ? *end : ' ') {
    case 'k':
    case 'K': value *= 1024; break;
    case 'm':
    case 'M': value *= 1024 * 1024; break;
    case 'g':
    case 'G': value *= 1024.0 * 1024 * 1024; break;
    default: break;
  }
  return static_cast<std::uint64_t>(value);
}

void WriteNoise(const std::string& path, std::uint64_t size, std::uint64_t seed) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  std::vector<std::uint64_t> block(1 << 17);
  std::uint64_t x = seed * 0x9E3779B97F4A7C15ull + 1;
  while (size > 0) {
    for (std::uint64_t& v : block) {
      x ^= x << 13;
      x ^= x >> 7;
      x ^= x << 17;
      v = x;
    }
    const std::uint64_t n = std::min<std::uint64_t>(size, block.size() * 8);
    f.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(n));
    size -= n;
  }
}

bool SameFiles(const std::string& a, const std::string& b) {
  std::ifstream fa(a, std::ios::binary), fb(b, std::ios::binary);
  if (!fa || !fb) return false;
  std::vector<char> ba(1 << 20), bb(1 << 20);
  for (;;) {
    fa.read(ba.data(), static_cast<std::streamsize>(ba.size()));
    fb.read(bb.data(), static_cast<std::streamsize>(bb.size()));
    if (fa.gcount() != fb.gcount()) return false;
    if (std::memcmp(ba.data(), bb.data(), static_cast<std::size_t>(fa.gcount())) != 0) return false;
    if (fa.gcount() == 0) return true;
  }
}

}  // namespace bench
