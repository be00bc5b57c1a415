#include "zembra/ui/export_options_template.h"

namespace {

constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;
constexpr DWORD kRadio = kChild | BS_AUTORADIOBUTTON | WS_TABSTOP;

DialogTemplate MakeExportOptionsTemplate() {
  DialogTemplate t;
  t.id = IDD_EXPORT_OPTIONS;
  t.cx = 231;
  t.cy = 41;
  t.font = "Microsoft Sans Serif";
  t.pointSize = 9;
  t.style = DS_SETFONT | DS_3DLOOK | DS_CONTROL | WS_CHILD | WS_VISIBLE;
  t.controls = {
      {IDC_STATIC, ControlKind::GroupBox, "Export", 7, 2, 105, 36, kChild | WS_GROUP},
      {IDC_EXPORT_PUBLIC, ControlKind::RadioButton, "Public keys", 14, 12, 90, 10,
       kRadio | WS_GROUP},
      {IDC_EXPORT_SECRET, ControlKind::RadioButton, "Secret keys", 14, 24, 90, 10, kRadio},
      {IDC_STATIC, ControlKind::GroupBox, "Format", 119, 2, 105, 36, kChild | WS_GROUP},
      {IDC_FORMAT_ASCII, ControlKind::RadioButton, "ASCII", 126, 12, 90, 10, kRadio | WS_GROUP},
      {IDC_FORMAT_BINARY, ControlKind::RadioButton, "Binary", 126, 24, 90, 10, kRadio},
  };
  return t;
}

}  // namespace

const DialogTemplate& ExportOptionsTemplate() {
  static const DialogTemplate dialogTemplate = MakeExportOptionsTemplate();
  return dialogTemplate;
}
