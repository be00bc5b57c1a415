#include "zembra/engine/engine.h"

#include <clocale>
#include <cstring>

#include "platform/core/process.h"
#include "platform/core/registry.h"
#include "platform/core/trace.h"
#include "zembra/engine/check_result.h"

InstallMode g_installMode = InstallMode::Undecided;
std::string g_keyHome;

namespace {

// Reads HKLM "SOFTWARE\Orvel Ltd\Zembra" "Type": "Full" (exactly) is a full installation, which
// uses GPGME's default home; anything else, or nothing, is portable mode.
void ReadInstallMode() {
  RegKey key;
  if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\Orvel Ltd\\Zembra", 0, KEY_READ, key.put()) !=
      ERROR_SUCCESS)
    return;
  Trace("Zembra: checking for portable mode: key is exists...\n");
  char value[256] = {};
  DWORD size = sizeof value;
  if (RegQueryValueEx(key.get(), "Type", nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size) !=
      ERROR_SUCCESS)
    return;
  Trace("Zembra: checking for portable mode: tyoe is here...\n");
  // The type is not examined, so the data need not end in a NUL: stop at the bytes returned.
  std::string type(value, strnlen(value, size));
  g_installMode = type == "Full" ? InstallMode::Full : InstallMode::Portable;
  Trace("Zembra: checking for portable mode: `%ls`...\n", type);
}

// The key ring beside the library: the folder of libZembra.so (found from an address inside it),
// or of the running program when that fails, followed by "/keys".
void FindKeyHome() {
  Trace("Zembra: assuming portable mode [%d]...\n", static_cast<int>(g_installMode));
  const void* anchor = reinterpret_cast<const void*>(&InitEngine);
  std::string module = ModulePathOf(anchor);
  Trace("Zembra: load libZembra.so => [%p]...\n", module.empty() ? nullptr : anchor);
  if (module.empty()) module = ProgramPath();
  std::string folder = module.find('/') == std::string::npos ? module : FolderOf(module);
  Trace("Zembra: path of libZembra.so => [%s]...\n", folder);
  g_keyHome = folder + "/keys";
  Trace("Zembra: final path => `%s`...\n", g_keyHome);
}

// GPGME 1.18 asks gpgconf where gpg is (two runs of it), then every engine gpgconf names for its
// version (gpg, gpgsm and gpgconf again) before the first context of a process: five programs
// one after another. Without gpgconf it looks for gpg in PATH and asks that one alone. Where the
// first gpg in PATH is the one beside the first gpgconf, both ways find the same engine, so
// gpgconf is left out; anywhere else, or with either missing, GPGME asks it as before. Only the
// OpenPGP engine is used, and gpg finds its home and agent by itself (KeyHomeOf supplies the
// default home that GPGME then does not know).
bool FindEngineWithoutGpgconf() {
  const std::string gpg = FindProgramInPath("gpg");
  const std::string gpgconf = FindProgramInPath("gpgconf");
  if (gpg.empty() || gpg[0] != '/' || gpgconf.empty() || FolderOf(gpg) != FolderOf(gpgconf))
    return false;
  return gpgme_set_global_flag("disable-gpgconf", "1") == 0;
}

// GPGME's flags count only before its first engine query and must not be set while the warm-up
// thread runs one: once per process, before anything else of GPGME.
void StartGpgme() {
  static const bool withoutGpgconf = FindEngineWithoutGpgconf();
  gpgme_check_version(nullptr);
  // Then GPGME's search of PATH costs no program: made here, it reads the environment before Qt,
  // started beside the query, may change it (the start-up notification's variable).
  if (withoutGpgconf) gpgme_get_dirinfo("gpg-name");
}

}  // namespace

gpgme_error_t InitEngine(gpgme_protocol_t protocol) {
  StartGpgme();
  setlocale(LC_ALL, "");
  gpgme_set_locale(nullptr, LC_CTYPE, setlocale(LC_CTYPE, nullptr));

  if (g_installMode == InstallMode::Undecided) {
    g_installMode = InstallMode::Portable;
    Trace("Zembra: checking for portable mode...\n");
    ReadInstallMode();
    if (g_installMode == InstallMode::Portable) FindKeyHome();
  }

  gpgme_error_t err = gpgme_engine_check_version(protocol);
  CheckResult(err);
  return err;
}

gpgme_error_t SetupContext(gpgme_ctx_t* ctx) {
  Trace("Zembra: gpgme_new => [%d] `%s`...\n", static_cast<int>(g_installMode), g_keyHome);
  if (g_installMode != InstallMode::Undecided && !g_keyHome.empty())
    return gpgme_ctx_set_engine_info(*ctx, GPGME_PROTOCOL_OpenPGP, nullptr, g_keyHome.c_str());
  return 0;
}

EngineWarmUp::EngineWarmUp() {
  // GPGME's own initialisation is not safe to race with; only the query runs beside the window.
  StartGpgme();
  m_query = std::thread([] { gpgme_engine_check_version(GPGME_PROTOCOL_OpenPGP); });
}

EngineWarmUp::~EngineWarmUp() { m_query.join(); }

GpgmeContext NewEngineContext() {
  if (!CheckResult(InitEngine(GPGME_PROTOCOL_OpenPGP))) return nullptr;
  gpgme_ctx_t raw = nullptr;
  if (!CheckResult(gpgme_new(&raw))) return nullptr;
  GpgmeContext ctx(raw);
  SetupContext(&raw);
  return ctx;
}
