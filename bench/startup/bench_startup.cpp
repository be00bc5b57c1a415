// Opening the operations window as a menu command does: from starting "ZembraShellExtApp 1
// file.gpg" on a ring of a few keys to the window's first paint (its key list is filled before it
// shows; the posted job runs after that, before the first paint), against the floor
// (bench_startup_floor: a bare Qt dialog after "gpg --list-keys" of the same ring) and against "gpg
// --list-keys" alone. The probe preloaded into both programs reports the first paint and ends them
// there.
//
//   bench_startup --ring DIR [--rounds 7]     (a home made by bench/keys/make_ring.sh)
//   ZEMBRA_BENCH_WRAP="strace -f -tt -o FILE"  runs Zembra's side once more under that command,
//                                              for a profile of the same start-up
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "bench/common/measure.h"
#include "platform/core/registry.h"

namespace {

namespace fs = std::filesystem;

// The engine works on the ring as GnuPG's own home: a full installation in a registry of its own.
void UseRing(const std::string& ring, const std::string& registry) {
  setenv("GNUPGHOME", ring.c_str(), 1);
  setenv("ZEMBRA_REGISTRY_DIR", registry.c_str(), 1);
  RegKey key;
  RegCreateKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\Orvel Ltd\\Zembra", 0, nullptr,
                 REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, key.put(), nullptr);
  static const char kFull[] = "Full";
  RegSetValueEx(key.get(), "Type", 0, REG_SZ, reinterpret_cast<const BYTE*>(kFull), sizeof kFull);
}

struct Shown {
  bench::Sample shown;  // to the window shown
  double painted = 0;   // to its first paint
};

// Runs a program (measured, unless argv starts with a wrapper of it) with the probe until its
// first paint.
Shown UntilShown(const std::vector<std::string>& argv, const std::string& probe,
                 const std::string& measured) {
  const bench::Run run =
      bench::RunProgram(argv, true, {"LD_PRELOAD=" + probe, "ZEMBRA_BENCH_PROBED=" + measured});
  double shown = 0, cpu = 0, painted = 0;
  std::istringstream(run.out) >> shown >> cpu >> painted;
  if (shown <= 0 || painted <= 0) {
    std::fprintf(stderr, "%s never painted a window\n", argv[0].c_str());
    std::exit(1);
  }
  return {{shown - run.started, cpu}, painted - run.started};
}

}  // namespace

int main(int argc, char** argv) {
  std::string ring;
  int rounds = bench::RoundsFromEnv(7);
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    if (option == "--ring")
      ring = argv[i + 1];
    else if (option == "--rounds")
      rounds = std::atoi(argv[i + 1]);
  }
  if (ring.empty()) {
    std::fprintf(stderr, "usage: bench_startup --ring DIR [--rounds N]\n");
    return 2;
  }
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  const fs::path bin = fs::canonical("/proc/self/exe").parent_path();
  const std::string probe = bin / "libbench_shown_probe.so";
  const std::string launcher = bin / "ZembraShellExtApp",
                    floorProgram = bin / "bench_startup_floor";

  char work[] = "/tmp/zembra-bench-startup.XXXXXX";
  if (!mkdtemp(work)) return 2;
  const std::string registry = std::string(work) + "/registry";
  fs::create_directory(registry);
  UseRing(ring, registry);
  setenv("XDG_CONFIG_HOME", work, 1);  // the per-user settings: none, so no default keys

  // The message the command opens, to the ring's first key.
  const std::string colons =
      bench::RunProgram({"gpg", "--batch", "--with-colons", "--list-keys"}, true).out;
  const std::string fpr = colons.substr(colons.find("\nfpr:") + 13, 40);
  const std::string plain = std::string(work) + "/file", message = plain + ".gpg";
  bench::WriteNoise(plain, 4096, 7);
  bench::RunProgram(
      {"gpg", "--batch", "--trust-model", "always", "-r", fpr, "-o", message, "-e", plain});
  fs::remove(plain);

  bench::Series gpg, floor, zembra;
  std::vector<double> floorPainted, zembraPainted;
  bench::RunProgram({"gpg", "--batch", "--list-keys"});  // every side then reads a warm ring
  for (int round = 0; round < rounds; ++round)
    for (int i = 0; i < 3; ++i) {
      fs::remove(plain);  // the job decrypts the message if it runs before the window paints
      switch ((round + i) % 3) {
        case 0: gpg.Add(bench::RunProgram({"gpg", "--batch", "--list-keys"}, true)); break;
        case 1: {
          const Shown s = UntilShown({floorProgram}, probe, floorProgram);
          floor.Add(s.shown);
          floorPainted.push_back(s.painted);
          break;
        }
        default: {
          const Shown s = UntilShown({launcher, "1", message}, probe, launcher);
          zembra.Add(s.shown);
          zembraPainted.push_back(s.painted);
          break;
        }
      }
    }

  std::printf("Opening the window for \"ZembraShellExtApp 1 file.gpg\", %d rounds\n", rounds);
  bench::PrintHeader();
  bench::Print("window shown, list filled", gpg, floor, zembra, {0, 1.2});
  std::printf("%-26s      gpg: \"gpg --list-keys\" alone; floor: a bare Qt dialog after it\n", "");
  const bench::Spread fp = bench::SpreadOf(floorPainted), zp = bench::SpreadOf(zembraPainted);
  std::printf(
      "%-26s      first paint: floor %.3f [%.3f-%.3f], Zembra %.3f [%.3f-%.3f] (after the "
      "job's posted decryption)\n",
      "", fp.median, fp.min, fp.max, zp.median, zp.min, zp.max);

  if (const char* wrap = std::getenv("ZEMBRA_BENCH_WRAP")) {
    std::vector<std::string> wrapped;
    std::istringstream words(wrap);
    for (std::string w; words >> w;) wrapped.push_back(w);
    wrapped.insert(wrapped.end(), {launcher, "1", message});
    fs::remove(plain);
    UntilShown(wrapped, probe, launcher);
  }

  bench::RunProgram({"gpgconf", "--kill", "all"});
  fs::remove_all(work);
  return 0;
}
