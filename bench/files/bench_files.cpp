// Zembra's file encryption and decryption against the gpg program, on the same files and key,
// in one run: one large file (1 GiB unless told otherwise) and a job of many small files.
// Zembra's side runs in a child process of its own, so that its peak memory is its alone.
//
//   bench_files [--size 1G] [--files 200] [--work DIR]     (ZEMBRA_BENCH_SIZE sets the size too)
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "zembra/ui/dlg_progress.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

// Runs a program, its output thrown away, and returns its wall time; exits on failure.
double Time(const std::vector<std::string>& argv, std::string* out = nullptr) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  int pipeFds[2];
  if (pipe(pipeFds) != 0) std::exit(2);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  if (out)
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
  else
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
  posix_spawn_file_actions_addclose(&actions, pipeFds[1]);
  const Clock::time_point start = Clock::now();
  pid_t pid = 0;
  if (posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ) != 0) {
    std::fprintf(stderr, "cannot start %s\n", args[0]);
    std::exit(2);
  }
  posix_spawn_file_actions_destroy(&actions);
  close(pipeFds[1]);
  char buffer[4096];
  ssize_t n;
  while ((n = read(pipeFds[0], buffer, sizeof buffer)) > 0)
    if (out) out->append(buffer, static_cast<std::size_t>(n));
  close(pipeFds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  const double seconds = Seconds(start);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "%s failed\n", argv[0].c_str());
    std::exit(2);
  }
  return seconds;
}

std::uint64_t ParseSize(const std::string& text) {
  char* end = nullptr;
  double value = std::strtod(text.c_str(), &end);
  switch (end && *end ? *end : ' ') {
    case 'k': case 'K': value *= 1024; break;
    case 'm': case 'M': value *= 1024 * 1024; break;
    case 'g': case 'G': value *= 1024.0 * 1024 * 1024; break;
    default: break;
  }
  return static_cast<std::uint64_t>(value);
}

// Incompressible bytes, quickly: compression is tried on both sides alike.
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
  std::vector<char> ba(1 << 20), bb(1 << 20);
  for (;;) {
    fa.read(ba.data(), static_cast<std::streamsize>(ba.size()));
    fb.read(bb.data(), static_cast<std::streamsize>(bb.size()));
    if (fa.gcount() != fb.gcount()) return false;
    if (std::memcmp(ba.data(), bb.data(), static_cast<std::size_t>(fa.gcount())) != 0) return false;
    if (fa.gcount() == 0) return true;
  }
}

// ---- Zembra's side, in the child process.

class BenchWindow : public CDlgProgress {
 public:
  BenchWindow() : CDlgProgress(nullptr, cmdNone) {}
  using CDlgProgress::Decrypt;
  using CDlgProgress::m_ctx;
  using CDlgProgress::m_defaultKeys;
  using CDlgProgress::m_useDefaultKeys;
};

// --child encrypt HOME FPR PATH... | --child decrypt HOME PATH...
// Prints the seconds the operation took and the process's peak resident size in KiB.
int RunChild(int argc, char** argv) {
  const std::string op = argv[2], home = argv[3];
  gpgme_check_version(nullptr);
  BenchWindow window;
  gpgme_ctx_t ctx = nullptr;
  if (gpgme_new(&ctx) != 0) return 1;
  window.m_ctx.reset(ctx);
  gpgme_ctx_set_engine_info(ctx, GPGME_PROTOCOL_OpenPGP, nullptr, home.c_str());
  int first = 4;
  if (op == "encrypt") {
    gpgme_key_t key = nullptr;
    if (gpgme_get_key(ctx, argv[4], &key, 0) != 0) return 1;
    // The job's keys as the default keys stand in for a selection.
    window.m_defaultKeys.push_back(CKeyHandle::Adopt(key));
    window.m_defaultKeys.push_back(CKeyHandle());
    window.m_useDefaultKeys = true;
    first = 5;
  }
  FileList files(argv + first, argv + argc);
  // The window is open with its keys: from here on it is the job itself.
  const Clock::time_point start = Clock::now();
  if (op == "encrypt")
    window.EncryptFiles(files);
  else
    for (const std::string& f : files) window.Decrypt(f);
  const double seconds = Seconds(start);
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("%.6f %ld\n", seconds, usage.ru_maxrss);
  return 0;
}

struct ChildResult {
  double wall = 0;       // the whole child process: start-up, engine context, key, job
  double operation = 0;  // the job alone, as a user of the open window waits for it
  double peakMiB = 0;
};

ChildResult RunZembra(const std::string& self, std::vector<std::string> args) {
  args.insert(args.begin(), {self, "--child"});
  std::string out;
  ChildResult r;
  r.wall = Time(args, &out);
  long peakKiB = 0;
  std::istringstream(out) >> r.operation >> peakKiB;
  r.peakMiB = static_cast<double>(peakKiB) / 1024.0;
  return r;
}

// The ratio is that of the job; the whole Zembra process, start-up included, is shown beside it.
void Report(const char* what, double gpg, const ChildResult& zembra, double target) {
  const double ratio = zembra.operation / gpg;
  std::printf("%-34s gpg %8.3f s   Zembra %8.3f s   ratio %.3f (target <= %.2f)%s\n", what, gpg,
              zembra.operation, ratio, target, ratio <= target ? "" : "  ABOVE TARGET");
  std::printf("%-34s %.3f s, ratio %.3f\n", "  whole Zembra process", zembra.wall, zembra.wall / gpg);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 2 && std::string(argv[1]) == "--child") return RunChild(argc, argv);

  std::uint64_t size = 1ull << 30;
  if (const char* env = std::getenv("ZEMBRA_BENCH_SIZE")) size = ParseSize(env);
  int smallFiles = 200;
  std::string work;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    if (option == "--size") size = ParseSize(argv[i + 1]);
    else if (option == "--files") smallFiles = std::atoi(argv[i + 1]);
    else if (option == "--work") work = argv[i + 1];
  }
  const std::string self = fs::canonical("/proc/self/exe").string();
  if (work.empty()) work = fs::temp_directory_path() / "zembra-bench-files";
  fs::remove_all(work);
  fs::create_directories(work);
  const std::string home = work + "/g";
  fs::create_directory(home);
  fs::permissions(home, fs::perms::owner_all);

  // One key for both sides.
  const std::vector<std::string> gpg = {"gpg", "--homedir", home, "--batch", "--yes"};
  auto Gpg = [&](std::vector<std::string> args, std::string* out = nullptr) {
    std::vector<std::string> all = gpg;
    all.insert(all.end(), args.begin(), args.end());
    return Time(all, out);
  };
  Gpg({"--pinentry-mode", "loopback", "--passphrase", "", "--quick-gen-key",
       "Bench <bench@example.org>", "future-default", "default", "0"});
  std::string colons;
  Gpg({"--with-colons", "--list-keys"}, &colons);
  const std::size_t at = colons.find("\nfpr:");
  const std::string fpr = colons.substr(at + 13, 40);

  std::printf("Zembra against gpg %s, key %s, in %s\n", "(same key, same files)", fpr.c_str(),
              work.c_str());

  // ---- One large file.
  const std::string big = work + "/big.bin";
  WriteNoise(big, size, 1);
  char label[64];
  std::snprintf(label, sizeof label, "encrypt %.2f MiB", static_cast<double>(size) / (1 << 20));
  const double gpgEncrypt = Gpg({"--trust-model", "always", "-r", fpr, "-o", work + "/gpg.gpg", "-e", big});
  const ChildResult zEncrypt = RunZembra(self, {"encrypt", home, fpr, big});
  if (!fs::exists(big + ".gpg")) {
    std::fprintf(stderr, "Zembra wrote no %s.gpg\n", big.c_str());
    return 1;
  }
  Report(label, gpgEncrypt, zEncrypt, 1.05);

  // Both decrypt gpg's message.
  fs::create_directory(work + "/dec");
  fs::rename(work + "/gpg.gpg", work + "/dec/m.gpg");
  std::snprintf(label, sizeof label, "decrypt %.2f MiB", static_cast<double>(size) / (1 << 20));
  const double gpgDecrypt = Gpg({"-o", work + "/dec/gpg.out", "-d", work + "/dec/m.gpg"});
  const ChildResult zDecrypt = RunZembra(self, {"decrypt", home, work + "/dec/m.gpg"});
  Report(label, gpgDecrypt, zDecrypt, 1.05);
  if (!SameFiles(big, work + "/dec/m") || !SameFiles(big, work + "/dec/gpg.out")) {
    std::fprintf(stderr, "a decryption differs from the original\n");
    return 1;
  }
  std::printf("%-34s encrypt %.1f MiB, decrypt %.1f MiB (target < 64 MiB, flat in the size)\n",
              "Zembra peak memory (child RSS)", zEncrypt.peakMiB, zDecrypt.peakMiB);
  fs::remove_all(work + "/dec");
  fs::remove(big);
  fs::remove(big + ".gpg");

  // ---- Many small files in one job against one gpg call each.
  fs::create_directory(work + "/small");
  std::vector<std::string> paths;
  for (int i = 0; i < smallFiles; ++i) {
    paths.push_back(work + "/small/f" + std::to_string(i) + ".txt");
    WriteNoise(paths.back(), 1000 + 37 * static_cast<std::uint64_t>(i), static_cast<std::uint64_t>(i) + 2);
  }
  const Clock::time_point loop = Clock::now();
  for (const std::string& p : paths)
    Gpg({"--trust-model", "always", "-r", fpr, "-o", p + ".gpg-cli", "-e", p});
  const double gpgLoop = Seconds(loop);
  std::vector<std::string> job = {"encrypt", home, fpr};
  job.insert(job.end(), paths.begin(), paths.end());
  const ChildResult zJob = RunZembra(self, job);
  for (const std::string& p : paths)
    if (!fs::exists(p + ".gpg")) {
      std::fprintf(stderr, "Zembra wrote no %s.gpg\n", p.c_str());
      return 1;
    }
  std::snprintf(label, sizeof label, "encrypt %d small files", smallFiles);
  Report(label, gpgLoop, zJob, 1.1);

  Time({"gpgconf", "--homedir", home, "--kill", "all"});
  fs::remove_all(work);
  return 0;
}
