// The window's export of keys: the save dialog with its options panel, then the export of the
// selected keys with the choices the panel handed back.
#include <string>
#include <vector>

#include "platform/gui/common_dialogs.h"
#include "zembra/keys/key_export.h"
#include "zembra/ui/dlg_progress.h"
#include "zembra/ui/export_options_template.h"

namespace {

constexpr std::size_t kExportBufferChars = 324;
constexpr DWORD kExportFlags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY |
                               OFN_EXPLORER | OFN_ENABLESIZING | OFN_DONTADDTORECENT |
                               OFN_ENABLEHOOK | OFN_ENABLETEMPLATE;

// The window whose export dialog is open; there is one export dialog at a time.
CDlgProgress* g_exportWindow = nullptr;

}  // namespace

UINT_PTR ExportOptionsHookProc(HWND panel, UINT message, WPARAM, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    const auto* ofn = reinterpret_cast<const OPENFILENAME*>(lParam);
    g_exportWindow = reinterpret_cast<CDlgProgress*>(ofn->lCustData);
    if (g_exportWindow == nullptr) return 1;
    CheckDlgButton(panel, g_exportWindow->IsExportSecret() ? IDC_EXPORT_SECRET : IDC_EXPORT_PUBLIC,
                   BST_CHECKED);
    CheckDlgButton(panel, g_exportWindow->IsExportBinary() ? IDC_FORMAT_BINARY : IDC_FORMAT_ASCII,
                   BST_CHECKED);
    return 1;
  }
  if (message == WM_NOTIFY && reinterpret_cast<const NMHDR*>(lParam)->code == CDN_FILEOK &&
      g_exportWindow != nullptr) {
    g_exportWindow->SetExportMode(IsDlgButtonChecked(panel, IDC_EXPORT_SECRET) == BST_CHECKED,
                                  IsDlgButtonChecked(panel, IDC_FORMAT_BINARY) == BST_CHECKED);
  }
  return 0;
}

LRESULT CDlgProgress::OnClickedExportKeys(WORD, WORD, HWND, BOOL&) {
  CKeyArray keys = GetSelectedKeys();
  if (keys.keys() == nullptr) return 0;

  std::vector<char> name(kExportBufferChars, '\0');
  const std::string folder = FolderOfFirstFile(m_job.files());
  OPENFILENAME ofn;
  ofn.hwndOwner = m_hWnd;
  ofn.lpstrFilter = kKeyFileFilter;
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = name.data();
  ofn.nMaxFile = static_cast<DWORD>(name.size());
  ofn.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
  ofn.Flags = kExportFlags;
  ofn.lpstrDefExt = "asc";
  ofn.lCustData = reinterpret_cast<LPARAM>(this);
  ofn.lpfnHook = ExportOptionsHookProc;
  ofn.lpTemplate = &ExportOptionsTemplate();
  if (!GetSaveFileName(&ofn)) return 0;
  name.back() = '\0';
  ExportKeys(m_ctx.get(), name.data(), keys.keys(), m_exportSecret, m_exportBinary);
  return 0;
}
