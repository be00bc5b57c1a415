// A small program over libZembra.so for the engine start-up tests: the installation mode is
// decided once per process, so each case runs in a process of its own. Runs its arguments as
// steps, in order, and prints what each step found to standard output:
//   missing-engine   point GPGME at a gpg that does not exist
//   warm-up          start the launchers' engine warm-up (kept until the last step)
//   init             InitEngine(OpenPGP)              -> "init <error code> <text>"
//   context          gpgme_new + SetupContext         -> "home <home of the context or (default)>"
//   list             list the keys of that context    -> "key <fingerprint>" each
//   engine           the OpenPGP engine GPGME found   -> "engine <file name>"
//   repair           complete a stopped key-ring update in the context's home
//                                                     -> "repair <0 whole, 1 completed, 2 broken>"
//   type=VALUE       write HKLM ...\Zembra "Type"; "type=" removes the key
//   type-missing     the key without a "Type" value
//   state            -> "mode <g_installMode>" and "keyhome <g_keyHome>"
// With --log-box first, the steps run inside a window whose log box is the operation log, and
// its text is printed at the end: "logbox <text, line ends as \n>".
#include <gpgme.h>

#include <cstdio>
#include <memory>
#include <string>

#include "platform/core/registry.h"
#include "platform/core/trace.h"
#include "platform/gui/dialog.h"
#include "zembra/engine/check_result.h"
#include "zembra/engine/engine.h"
#include "zembra/engine/key_ring_repair.h"
#include "zembra/ui/log_box.h"

namespace {

constexpr const char* kInstallKey = "SOFTWARE\\Orvel Ltd\\Zembra";

bool WriteType(const std::string& value) {
  if (value.empty()) return RegDeleteTree(HKEY_LOCAL_MACHINE, kInstallKey) == ERROR_SUCCESS;
  RegKey key;
  if (RegCreateKeyEx(HKEY_LOCAL_MACHINE, kInstallKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                     KEY_WRITE, nullptr, key.put(), nullptr) != ERROR_SUCCESS)
    return false;
  return RegSetValueEx(key.get(), "Type", 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS;
}

bool WithoutType() {
  RegKey key;
  if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, kInstallKey, 0, KEY_ALL_ACCESS, key.put()) != ERROR_SUCCESS)
    return false;
  return RegDeleteValue(key.get(), "Type") == ERROR_SUCCESS;
}

}  // namespace

int RunSteps(int first, int argc, char** argv) {
  GpgmeContext ctx;
  std::unique_ptr<EngineWarmUp> warmUp;
  for (int i = first; i < argc; ++i) {
    std::string step = argv[i];
    if (step == "warm-up") {
      warmUp = std::make_unique<EngineWarmUp>();
    } else if (step == "missing-engine") {
      gpgme_check_version(nullptr);
      gpgme_set_engine_info(GPGME_PROTOCOL_OpenPGP, "/nonexistent/gpg", nullptr);
    } else if (step == "init") {
      gpgme_error_t err = InitEngine(GPGME_PROTOCOL_OpenPGP);
      std::printf("init %u %s\n", gpgme_err_code(err), err ? gpgme_strerror(err) : "");
    } else if (step == "context") {
      gpgme_ctx_t raw = nullptr;
      if (gpgme_error_t err = gpgme_new(&raw)) {
        std::printf("gpgme_new %s\n", gpgme_strerror(err));
        return 1;
      }
      ctx.reset(raw);
      SetupContext(&raw);
      gpgme_engine_info_t info = gpgme_ctx_get_engine_info(ctx.get());
      while (info && info->protocol != GPGME_PROTOCOL_OpenPGP) info = info->next;
      std::printf("home %s\n", info && info->home_dir ? info->home_dir : "(default)");
    } else if (step == "list") {
      gpgme_error_t err = gpgme_op_keylist_start(ctx.get(), nullptr, 0);
      gpgme_key_t key = nullptr;
      while (!err && !(err = gpgme_op_keylist_next(ctx.get(), &key))) {
        std::printf("key %s\n", key->fpr);
        gpgme_key_unref(key);
      }
      if (gpgme_err_code(err) != GPG_ERR_EOF) std::printf("list %s\n", gpgme_strerror(err));
    } else if (step == "engine") {
      gpgme_engine_info_t info = nullptr;
      gpgme_get_engine_info(&info);
      while (info && info->protocol != GPGME_PROTOCOL_OpenPGP) info = info->next;
      std::printf("engine %s\n", info && info->file_name ? info->file_name : "(none)");
    } else if (step == "repair") {
      std::printf("repair %d\n", static_cast<int>(CompleteStoppedKeyRingUpdate(ctx.get())));
    } else if (step == "type-missing") {
      if (!WriteType("Full") || !WithoutType()) std::printf("type not removed\n");
    } else if (step.rfind("type=", 0) == 0) {
      if (!WriteType(step.substr(5))) std::printf("type not written\n");
    } else if (step == "state") {
      std::printf("mode %d\nkeyhome %s\n", static_cast<int>(g_installMode), g_keyHome.c_str());
    } else {
      std::fprintf(stderr, "unknown step %s\n", step.c_str());
      return 2;
    }
    std::fflush(stdout);
  }
  return 0;
}

namespace {

constexpr int kLogId = 1103;

const DialogTemplate& LogTemplate() {
  static const DialogTemplate dialog = {
      100,
      "Probe",
      200,
      100,
      "Microsoft Sans Serif",
      9,
      WS_POPUP | WS_CAPTION,
      {{kLogId, ControlKind::Edit, "", 7, 7, 186, 86,
        ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL, 0}}};
  return dialog;
}

class LogWindow : public CDialogBase {
 public:
  LogWindow(int argc, char** argv) : CDialogBase(LogTemplate()), m_argc(argc), m_argv(argv) {}
  int result = 0;

  BEGIN_MSG_MAP(LogWindow)
  MESSAGE_HANDLER(WM_INITDIALOG, OnInitDialog)
  END_MSG_MAP()

 private:
  LRESULT OnInitDialog(UINT, WPARAM, LPARAM, BOOL&) {
    SetLogBox(GetDlgItem(kLogId));
    result = RunSteps(2, m_argc, m_argv);
    std::string text = GetWindowTextString(g_hLog);
    std::string escaped;
    for (char c : text) {
      if (c == '\n')
        escaped += "\\n";
      else if (c != '\r')
        escaped += c;
    }
    std::printf("logbox %s\n", escaped.c_str());
    SetLogBox(nullptr);
    EndDialog(IDOK);
    return TRUE;
  }

  int m_argc;
  char** m_argv;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::string(argv[1]) == "--log-box") {
    LogWindow window(argc, argv);
    window.DoModal();
    return window.result;
  }
  return RunSteps(1, argc, argv);
}
