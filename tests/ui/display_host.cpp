// A host program of the library's exports, as a program outside Zembra would be: it shows the
// association dialog and runs a clipboard operation, prints what each call returned, and ends
// with its own code (7), whatever the library met on the way.
#include <cstdio>

#include "zembra/associations/dlg_file_associations.h"
#include "zembra/ui/dlg_progress.h"

int main() {
  {
    CDlgFileAssociations dialog;
    std::printf("Exec: %d\n", static_cast<int>(dialog.Exec(nullptr, 0)));
  }
  CDlgProgress* dialog = nullptr;
  ClipboardOperation(nullptr, dialog, cmdDecrypt);
  std::printf("ClipboardOperation returned%s\n", dialog == nullptr ? "" : " with a window");
  std::fflush(stdout);
  return 7;
}
