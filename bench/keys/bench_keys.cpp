// Filling the operations window's key list from a large key ring, against
// "gpg --list-keys --with-colons" on the same ring and against the floor (bench_floor list: the
// same listing through GPGME, nothing else), in alternating rounds. Zembra's time runs, in a
// child process of its own, from the construction of the window to the end of its
// initialisation, which fills the key list, headless.
//
//   bench_keys --ring DIR [--rounds 3]     (a home made by bench/keys/make_ring.sh)
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "bench/common/measure.h"
#include "platform/core/registry.h"
#include "zembra/ui/dlg_progress.h"

namespace {

namespace fs = std::filesystem;

// The operations window itself, timed: its initialisation ends with the key list filled
// (FillKeyList, then the default keys and the job start, which are quick); then it closes.
class TimedWindow : public CDlgProgress {
 public:
  TimedWindow() : CDlgProgress(nullptr, cmdNone) {}

  BOOL ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                            LRESULT& result, DWORD mapId = 0) override {
    if (message != WM_INITDIALOG || mapId != 0)
      return CDlgProgress::ProcessWindowMessage(window, message, wParam, lParam, result, mapId);
    BOOL handled = TRUE;
    result = OnInitDialog(message, wParam, lParam, handled);
    filled = bench::Now();
    rows = static_cast<int>(SendMessage(m_hKeyList, LVM_GETITEMCOUNT, 0, 0));
    // The window's part alone, for the breakdown: the same rows once more.
    SendMessage(m_hKeyList, LVM_DELETEALLITEMS, 0, 0);
    const double refill = bench::Now();
    if (m_pKeys)
      for (const CKeyHandle& key : *m_pKeys) {
        gpgme_key_t k = key.get();
        ListKey(k);
      }
    rowsSeconds = bench::Now() - refill;
    PostMessage(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    return TRUE;
  }

  double filled = 0;
  double rowsSeconds = 0;
  int rows = 0;
};

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

// --child: prints the seconds and CPU seconds to the filled list, the rows' own seconds, the rows.
int RunChild() {
  bench::AdoptEngineProcesses();
  const double start = bench::Now(), startCpu = bench::CpuSeconds();
  TimedWindow window;
  window.DoModal(nullptr, 0);
  bench::ReapEngineProcesses();
  std::printf("%.6f %.6f %.6f %d\n", window.filled - start, bench::CpuSeconds() - startCpu,
              window.rowsSeconds, window.rows);
  return window.rows > 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  if (argc == 2 && std::string(argv[1]) == "--child") return RunChild();
  std::string ring;
  int rounds = bench::RoundsFromEnv(3);
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    if (option == "--ring")
      ring = argv[i + 1];
    else if (option == "--rounds")
      rounds = std::atoi(argv[i + 1]);
  }
  if (ring.empty()) {
    std::fprintf(stderr, "usage: bench_keys --ring DIR [--rounds N]\n");
    return 2;
  }
  const fs::path self = fs::canonical("/proc/self/exe");
  const std::string floorProgram = self.parent_path() / "bench_floor";

  char registry[] = "/tmp/zembra-bench-registry.XXXXXX";
  if (!mkdtemp(registry)) return 2;
  UseRing(ring, registry);

  const std::vector<std::string> listing = {"gpg", "--batch", "--list-keys", "--with-colons"};
  bench::RunProgram(listing);  // every side then reads a warm ring
  bench::Series gpg, floor, zembra;
  std::vector<double> rowsSeconds;
  int rows = 0;
  std::size_t floorKeys = 0;
  for (int round = 0; round < rounds; ++round)
    for (int i = 0; i < 3; ++i) switch ((round + i) % 3) {
        case 0: gpg.Add(bench::RunProgram(listing)); break;
        case 1: {
          bench::Sample s;
          double flush = 0;
          long peak = 0;
          std::istringstream(bench::RunProgram({floorProgram, "list", ring}, true).out) >> s.wall >>
              s.cpu >> flush >> peak >> floorKeys;
          floor.Add(s);
          break;
        }
        default: {
          bench::Sample s;
          double rowsTime = 0;
          std::istringstream(bench::RunProgram({self.string(), "--child"}, true).out) >> s.wall >>
              s.cpu >> rowsTime >> rows;
          zembra.Add(s);
          rowsSeconds.push_back(rowsTime);
          break;
        }
      }
  fs::remove_all(registry);

  std::printf("Filling the key list, %d rounds\n", rounds);
  bench::PrintHeader();
  bench::Print("key list of " + std::to_string(rows) + " keys", gpg, floor, zembra, {1.3, 0});
  const bench::Spread r = bench::SpreadOf(rowsSeconds);
  std::printf("%-26s      of Zembra's: the rows alone %.3f [%.3f-%.3f]; floor listed %zu keys\n",
              "", r.median, r.min, r.max, floorKeys);
  return rows > 0 ? 0 : 1;
}
