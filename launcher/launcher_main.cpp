// ZembraShellExtApp: turns its command line into a job and shows the operations window for it.
// Argument 1 is the command number, arguments 2 and up are the paths.
#include <optional>

#include "platform/core/process.h"
#include "platform/gui/display.h"
#include "zembra/engine/engine.h"
#include "zembra/keys/settings.h"
#include "zembra/ui/dlg_progress.h"

int main(int argc, char** argv) {
  IgnoreFileSizeLimitSignal();
  // The engine's query runs while Qt starts.
  const EngineWarmUp engineWarmUp;
  // The library's window fails quietly in a host without a display; a program says so.
  if (!OpenDisplay()) {
    ReportNoDisplay();
    return 1;
  }
  bool useDefaultKeys = false;
  DWORD value = 0;
  if (LoadUseDefaultKeys(nullptr, value) == ERROR_SUCCESS) useDefaultKeys = value != 0;

  {
    // A line without argument 1 carries no job: the window opens empty.
    std::optional<CDlgProgress> window;
    if (argc >= 2) {
      window.emplace(argc, argv);
    } else {
      window.emplace(nullptr, cmdNone);
    }
    window->SetUseDefaultKeys(useDefaultKeys);
    window->DoModal(GetActiveWindow(), 0);
  }
  CloseDisplay();
  return 0;
}
