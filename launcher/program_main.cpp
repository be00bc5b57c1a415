// Zembra: the program that associated files open. Its file arguments are processed by their
// endings in the operations window (decrypt, verify, import); without one the window opens
// empty. "Zembra --associations" shows the file associations dialog and applies its choices.
#include <cstring>

#include "platform/core/process.h"
#include "platform/gui/display.h"
#include "zembra/associations/dlg_file_associations.h"
#include "zembra/associations/file_associations.h"
#include "zembra/engine/engine.h"
#include "zembra/keys/settings.h"
#include "zembra/ui/dlg_progress.h"

int main(int argc, char** argv) {
  IgnoreFileSizeLimitSignal();
  // The library's windows fail quietly in a host without a display; a program says so.
  if (!OpenDisplay()) {
    ReportNoDisplay();
    return 1;
  }
  if (argc == 2 && std::strcmp(argv[1], "--associations") == 0) {
    CDlgFileAssociations dialog;
    if (dialog.Exec(GetActiveWindow(), 0) == IDOK) SetupFileAssociations();
    return 0;
  }
  const EngineWarmUp engineWarmUp;
  bool useDefaultKeys = false;
  DWORD value = 0;
  if (LoadUseDefaultKeys(nullptr, value) == ERROR_SUCCESS) useDefaultKeys = value != 0;

  FileList files;
  for (int i = 1; i < argc; ++i) files.emplace_back(argv[i]);
  {
    CDlgProgress window(&files, files.empty() ? cmdNone : cmdAuto);
    window.SetUseDefaultKeys(useDefaultKeys);
    window.DoModal(GetActiveWindow(), 0);
  }
  return 0;
}
