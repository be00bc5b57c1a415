// Zembra: the program that associated files open. Its file arguments are processed by their
// endings in the operations window (decrypt, verify, import); without one the window opens
// empty.
#include "zembra/keys/settings.h"
#include "zembra/ui/dlg_progress.h"

int main(int argc, char** argv) {
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
