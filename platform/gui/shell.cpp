// Opening an address: through the dialog service, so tests record it instead of opening it.
#include "platform/gui/shell.h"

#include "platform/gui/dialog_service.h"

INT_PTR ShellExecute(HWND owner, const char* verb, const char* file, const char* parameters,
                     const char* directory, int show) {
  if (file == nullptr || *file == '\0') return 2;  // ERROR_FILE_NOT_FOUND
  return CurrentDialogService()->openUrl(file) ? 33 : 2;
}
