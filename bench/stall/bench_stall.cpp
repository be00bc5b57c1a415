// The longest stall of the operations window's event loop while it runs an operation: encrypting
// and decrypting one large file, a job of many small files, generating a key through the "Create
// Key" dialog, importing a file of many keys. Each run is a child process that opens the real
// window on the job (shown, offscreen unless told otherwise), clicks its buttons as the window
// tests do, and times the turns of the window's event loop (stall_probe.h) during the operation;
// then it leaves the same loop idle for as long, timed the same way: the floor, what the
// machine itself costs.
//
//   bench_stall --ring DIR [--size 1G] [--files 200] [--rounds 3] [--work DIR]
//   (DIR: a home made by bench/keys/make_ring.sh, whose keys make the file to import)
#include <QEventLoop>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/common/measure.h"
#include "bench/stall/stall_probe.h"
#include "platform/core/registry.h"
#include "platform/gui/scripted_dialogs.h"
#include "tests/ui/window_actions.h"
#include "tests/ui/window_probe.h"
#include "zembra/ui/key_resource_ids.h"

namespace {

namespace fs = std::filesystem;

constexpr double kGoal = 0.050;  // seconds: no stall above it in any operation

// ---- The child: one operation in the window.

struct ChildResult {
  double seconds = 0;  // the operation, from the click to its end
  double longest = 0, p99 = 0, longestAt = 0;
  double idleLongest = 0, idleP99 = 0;
  std::vector<std::pair<double, double>> over;  // stalls above the goal: (start, length)
  std::string failure;                          // what went wrong, else empty
};

void Fail(ChildResult& r, const std::string& what, WindowProbe& w) {
  r.failure = what + "; log: " + LogText(w);
}

// Fills and confirms the "Create Key" dialog as soon as it opens: the dialog's defaults (RSA,
// 2048 bits, no expiry) and the three fields it requires.
void AnswerCreateKey(WindowProbe& w) {
  WhenDialogOpens(w, [](HWND dialog) {
    SetDlgItemText(dialog, IDC_NAME, "Stall Bench");
    SetDlgItemText(dialog, IDC_EMAIL, "stall@example.org");
    SetDlgItemText(dialog, IDC_PASSPHRASE, "bench words");
    ClickControl(dialog, IDOK);
  });
}

// The operation, from the click on its button to its end; checks what the user would see.
void Operate(const std::string& op, const FileList& files, WindowProbe& w, ChildResult& r) {
  if (op == "encrypt" || op == "decrypt") {
    ClickRow(w, 0);
    bench::StallProbe probe;
    const double start = bench::Now();
    probe.Start();
    ClickButton(w, op == "encrypt" ? IDC_ENCRYPT : IDC_DECRYPT);
    probe.Stop();
    r.seconds = bench::Now() - start;
    r.longest = probe.Longest();
    r.p99 = probe.Percentile(99);
    r.longestAt = probe.LongestAt();
    r.over = probe.Over(kGoal, 6);
    const std::string log = LogText(w);
    std::size_t done = 0;
    for (std::size_t at = log.find("Done."); at != std::string::npos;
         at = log.find("Done.", at + 1))
      ++done;
    if (done != files.size() || !w.files().empty()) Fail(r, "not every file was done", w);
    return;
  }
  const int rows = RowCount(w);
  bench::StallProbe probe;
  const double start = bench::Now();
  probe.Start();
  if (op == "genkey") {
    AnswerCreateKey(w);
    ClickButton(w, IDC_CREATE_KEY);
  } else {
    ClickButton(w, IDC_IMPORT_KEYS);
  }
  probe.Stop();
  r.seconds = bench::Now() - start;
  r.longest = probe.Longest();
  r.p99 = probe.Percentile(99);
  r.longestAt = probe.LongestAt();
  r.over = probe.Over(kGoal, 6);
  if (op == "genkey" && RowCount(w) != rows + 1) Fail(r, "no new key in the list", w);
  if (op == "import" && RowCount(w) <= rows) Fail(r, "no imported key in the list", w);
}

// --child OP HOME [PATH...]: OP is encrypt (PATH... to the home's first key), decrypt PATH,
// genkey, or import KEYFILE. Prints the figures of ChildResult on one line, then the stalls
// over the goal on another, or "failed: ..." alone.
int RunChild(int argc, char** argv) {
  const std::string op = argv[2];
  setenv("GNUPGHOME", argv[3], 1);
  FileList paths(argv + 4, argv + argc);
  ScriptedDialogs dialogs;
  FileList files;
  if (op == "import")
    dialogs.answerOpen(paths);
  else
    files = paths;
  ChildResult r;
  WindowProbe w(files.empty() ? nullptr : &files, cmdNone);
  w.then([&](WindowProbe& p) {
    Operate(op, files, p, r);
    // The floor: the same loop, left alone for as long, with the same probe.
    bench::StallProbe idle;
    QEventLoop loop;
    QTimer::singleShot(static_cast<int>(r.seconds * 1000), &loop, &QEventLoop::quit);
    idle.Start();
    loop.exec();
    idle.Stop();
    r.idleLongest = idle.Longest();
    r.idleP99 = idle.Percentile(99);
    PressEscape(p);
  });
  w.DoModal();
  if (!r.failure.empty()) {
    std::printf("failed: %s: %s\n", op.c_str(), r.failure.c_str());
    return 0;
  }
  std::printf("%.6f %.6f %.6f %.6f %.6f %.6f\n", r.seconds, r.longest, r.p99, r.longestAt,
              r.idleLongest, r.idleP99);
  for (const auto& [at, length] : r.over) std::printf("%.3f:%.1f ", at, length * 1000);
  std::printf("\n");
  return 0;
}

// ---- The parent: the files, the homes, the rounds and the lines.

struct Series {
  std::vector<double> seconds, longest, p99, idleLongest, idleP99;
  std::string over;  // the stalls over the goal in the first round
};

void RunOne(const std::string& self, const std::vector<std::string>& args, Series& s) {
  std::vector<std::string> argv = {self, "--child"};
  argv.insert(argv.end(), args.begin(), args.end());
  const std::string out = bench::RunProgram(argv, true).out;
  if (out.rfind("failed", 0) == 0 || out.empty()) {
    std::fflush(stdout);
    std::fprintf(stderr, "%s", out.empty() ? "the child printed nothing\n" : out.c_str());
    std::exit(1);
  }
  std::istringstream in(out);
  double seconds = 0, longest = 0, p99 = 0, at = 0, idleLongest = 0, idleP99 = 0;
  in >> seconds >> longest >> p99 >> at >> idleLongest >> idleP99;
  s.seconds.push_back(seconds);
  s.longest.push_back(longest * 1000);
  s.p99.push_back(p99 * 1000);
  s.idleLongest.push_back(idleLongest * 1000);
  s.idleP99.push_back(idleP99 * 1000);
  if (s.seconds.size() == 1) {
    std::string stalls;
    in >> std::ws;
    std::getline(in, stalls);
    char head[96];
    std::snprintf(head, sizeof head, "longest began %.2f s into %.2f s", at, seconds);
    s.over = head;
    if (!stalls.empty()) s.over += "; over 50 ms (s into it:ms): " + stalls;
  }
}

std::string Cell(const std::vector<double>& values, bool mark) {
  const bench::Spread s = bench::SpreadOf(values);
  char text[64];
  std::snprintf(text, sizeof text, "%7.1f [%.1f-%.1f]%s", s.median, s.min, s.max,
                mark && s.median > kGoal * 1000 ? "!" : "");
  return text;
}

std::string Ratio(const std::vector<double>& zembra, const std::vector<double>& floor) {
  char text[32];
  std::snprintf(text, sizeof text, "%6.2f",
                bench::SpreadOf(zembra).median / std::max(bench::SpreadOf(floor).median, 1e-9));
  return text;
}

void PrintSeries(const std::string& what, const Series& s) {
  std::printf("%-26s %-7s %-24s %-24s %s\n", what.c_str(), "longest",
              Cell(s.idleLongest, false).c_str(), Cell(s.longest, true).c_str(),
              Ratio(s.longest, s.idleLongest).c_str());
  std::printf("%-26s %-7s %-24s %-24s %s\n", "", "p99", Cell(s.idleP99, false).c_str(),
              Cell(s.p99, false).c_str(), Ratio(s.p99, s.idleP99).c_str());
  const bench::Spread op = bench::SpreadOf(s.seconds);
  std::printf("%-26s         operation %.2f s [%.2f-%.2f]; round 1: %s\n", "", op.median, op.min,
              op.max, s.over.c_str());
  std::fflush(stdout);
}

// An empty GnuPG home; the caller removes it with Drop.
std::string FreshHome(const std::string& path) {
  fs::remove_all(path);
  fs::create_directory(path);
  fs::permissions(path, fs::perms::owner_all);
  return path;
}

// A home for one run holding what home holds, the user's own key (its agent's sockets left out):
// a key generated or imported joins a ring as it would at a user's, and the list refreshed after
// an import computes the new keys' validity against an ultimately trusted key.
std::string HomeLike(const std::string& home, const std::string& path) {
  FreshHome(path);
  for (const char* name : {"pubring.kbx", "trustdb.gpg", "private-keys-v1.d"})
    fs::copy(home + "/" + name, path + "/" + name, fs::copy_options::recursive);
  return path;
}

// Removes a folder, where an ending agent may still be removing its sockets.
void RemoveTree(const std::string& folder) {
  std::error_code error;
  for (int attempt = 0; attempt < 100; ++attempt) {
    fs::remove_all(folder, error);
    if (!fs::exists(folder)) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

void Drop(const std::string& home) {
  bench::RunProgram({"gpgconf", "--homedir", home, "--kill", "all"});
  RemoveTree(home);
}

// A full installation in a registry of its own, so that the engine uses GNUPGHOME.
void FullInstall(const std::string& registry) {
  setenv("ZEMBRA_REGISTRY_DIR", registry.c_str(), 1);
  RegKey key;
  RegCreateKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\Orvel Ltd\\Zembra", 0, nullptr,
                 REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, key.put(), nullptr);
  static const char kFull[] = "Full";
  RegSetValueEx(key.get(), "Type", 0, REG_SZ, reinterpret_cast<const BYTE*>(kFull), sizeof kFull);
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  if (argc > 3 && std::string(argv[1]) == "--child") return RunChild(argc, argv);

  std::uint64_t size = 1ull << 30;
  if (const char* env = std::getenv("ZEMBRA_BENCH_SIZE")) size = bench::ParseSize(env);
  int smallFiles = 200;
  int rounds = bench::RoundsFromEnv(3);
  std::string work, ring;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    if (option == "--size")
      size = bench::ParseSize(argv[i + 1]);
    else if (option == "--files")
      smallFiles = std::atoi(argv[i + 1]);
    else if (option == "--rounds")
      rounds = std::atoi(argv[i + 1]);
    else if (option == "--work")
      work = argv[i + 1];
    else if (option == "--ring")
      ring = argv[i + 1];
  }
  if (ring.empty()) {
    std::fprintf(stderr, "usage: bench_stall --ring DIR [--size 1G] [--files N] [--rounds N]\n");
    return 2;
  }
  const std::string self = fs::canonical("/proc/self/exe").string();
  if (work.empty()) work = fs::temp_directory_path() / "zembra-bench-stall";
  fs::remove_all(work);
  fs::create_directories(work);
  FullInstall(work + "/registry");
  const std::string home = FreshHome(work + "/g");
  auto Gpg = [&](const std::string& h, std::vector<std::string> args, bool captureOut = false) {
    args.insert(args.begin(), {"gpg", "--homedir", h, "--batch", "--yes"});
    return bench::RunProgram(args, captureOut);
  };
  Gpg(home, {"--pinentry-mode", "loopback", "--passphrase", "", "--quick-gen-key",
             "Bench <bench@example.org>", "future-default", "default", "0"});
  const std::string colons = Gpg(home, {"--with-colons", "--list-keys"}, true).out;
  const std::string fpr = colons.substr(colons.find("\nfpr:") + 13, 40);

  // The large file, and gpg's encryption of it in a folder of its own for the decryption.
  const std::string big = work + "/big.bin";
  bench::WriteNoise(big, size, 1);
  fs::create_directory(work + "/dec");
  const std::string message = work + "/dec/big.bin.gpg";
  Gpg(home, {"--trust-model", "always", "-r", fpr, "-o", message, "-e", big});
  std::vector<std::string> small;
  fs::create_directory(work + "/small");
  for (int i = 0; i < smallFiles; ++i) {
    small.push_back(work + "/small/f" + std::to_string(i) + ".txt");
    bench::WriteNoise(small.back(), 1000 + 37 * static_cast<std::uint64_t>(i),
                      static_cast<std::uint64_t>(i) + 2);
  }
  // The public keys of the cached ring, in one armored file.
  const std::string keyFile = work + "/keys.asc";
  Gpg(ring, {"--armor", "-o", keyFile, "--export"});
  std::string keyCount = "?";
  std::ifstream(ring + "/complete") >> keyCount;

  std::printf(
      "Stalls of the window's event loop (a %d ms timer on its thread; the window shown), in %s, "
      "%d rounds\n",
      bench::StallProbe::kIntervalMs, work.c_str(), rounds);
  std::printf("%-26s %-7s %-24s %-24s %s\n", "milliseconds: median [min-max]", "",
              "idle loop (floor)", "Zembra", "Z/floor");
  char label[64];
  std::snprintf(label, sizeof label, "%.0f MiB", static_cast<double>(size) / (1 << 20));
  Series encrypt, decrypt, job, genkey, import;
  for (int round = 0; round < rounds; ++round) {
    RunOne(self, {"encrypt", home, big}, encrypt);
    fs::remove(big + ".gpg");
    RunOne(self, {"decrypt", home, message}, decrypt);
    fs::remove(work + "/dec/big.bin");
    std::vector<std::string> jobArgs = {"encrypt", home};
    jobArgs.insert(jobArgs.end(), small.begin(), small.end());
    RunOne(self, jobArgs, job);
    for (const std::string& p : small) fs::remove(p + ".gpg");
    const std::string genHome = HomeLike(home, work + "/gen");
    RunOne(self, {"genkey", genHome}, genkey);
    Drop(genHome);
    const std::string importHome = HomeLike(home, work + "/imp");
    RunOne(self, {"import", importHome, keyFile}, import);
    Drop(importHome);
  }
  PrintSeries(std::string("encrypt ") + label, encrypt);
  PrintSeries(std::string("decrypt ") + label, decrypt);
  PrintSeries(std::to_string(smallFiles) + " small files, one job", job);
  PrintSeries("key generation, RSA 2048", genkey);
  PrintSeries("import of " + keyCount + " keys", import);
  std::printf(
      "%-26s         goal: no stall over %.0f ms (! marks a median longest stall above it)\n", "",
      kGoal * 1000);

  Drop(home);
  RemoveTree(work);
  return 0;
}
