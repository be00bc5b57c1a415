// The operations window: initialisation, closing, the file buttons, the key list's clicks and
// pop-up menu, the enabling of buttons and the update link.
#include "zembra/ui/dlg_progress.h"

#include "platform/gui/shell.h"
#include "zembra/engine/check_result.h"
#include "zembra/keys/key_list.h"
#include "zembra/ui/app_icon.h"
#include "zembra/ui/key_list_view.h"
#include "zembra/ui/log_box.h"

namespace {

// Owns a loaded menu for the length of one pop-up.
struct MenuDeleter {
  void operator()(HMENU menu) const { DestroyMenu(menu); }
};
using MenuHandle = std::unique_ptr<std::remove_pointer_t<HMENU>, MenuDeleter>;

// The buttons that act on selected keys, in the order they are switched.
constexpr int kSelectionButtons[] = {IDC_EXPORT_KEYS, IDC_DELETE_KEYS, IDC_ENCRYPT,
                                     IDC_DECRYPT,     IDC_SIGN,        IDC_VERIFY};

}  // namespace

LRESULT CDlgProgress::OnInitDialog(UINT, WPARAM, LPARAM lParam, BOOL&) {
  m_hNotify = reinterpret_cast<HWND>(lParam);

  // The file data streams move the bar in thousandths.
  m_hProgress = GetDlgItem(IDC_PROGRESS);
  SendMessage(m_hProgress, PBM_SETRANGE, 0, MAKELPARAM(0, 1000));

  SendMessage(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(AppIcon()));

  // From here on every operation of the process writes into this window's log.
  SetLogBox(GetDlgItem(IDC_LOG));

  m_hKeyList = GetDlgItem(IDC_KEY_LIST);
  InsertKeyListColumns(m_hKeyList);  // full-row select and grid lines, then the six columns

  DlgButtonStateUpdate();

  // Without an engine or a context the window stays open with an empty list and no job.
  if (!CheckResult(InitEngine(GPGME_PROTOCOL_OpenPGP))) return 1;
  gpgme_ctx_t ctx = nullptr;
  if (!CheckResult(gpgme_new(&ctx))) return 1;
  m_ctx.reset(ctx);
  SetupContext(&ctx);

  FillKeyList();
  LoadDefaultKeys();
  CheckDlgButton(m_hWnd, IDC_USE_DEFAULT_KEYS, m_useDefaultKeys ? BST_CHECKED : BST_UNCHECKED);

  StartJob();

  DlgButtonStateUpdate();
  SetForegroundWindow(m_hWnd);
  return 1;
}

LRESULT CDlgProgress::OnClickedCancel(WORD, WORD id, HWND, BOOL&) {
  m_pKeys.reset();
  m_ctx.reset();
  EndDialog(id);
  SetLogBox(nullptr);
  return 0;
}

// The file buttons use the job's paths when there are any, otherwise ask for files first. A
// loop that ran empties the list; one that found no keys or signers keeps it for the next press.
LRESULT CDlgProgress::OnClickedEncrypt(WORD, WORD, HWND, BOOL&) {
  if (m_job.files().empty()) ChooseFiles(m_hWnd, m_job.files());
  EncryptFiles(m_job.files());
  return 0;
}

LRESULT CDlgProgress::OnClickedDecrypt(WORD, WORD, HWND, BOOL&) {
  if (m_job.files().empty()) ChooseFiles(m_hWnd, m_job.files());
  DecryptFiles(m_job.files());
  return 0;
}

LRESULT CDlgProgress::OnClickedSign(WORD, WORD, HWND, BOOL&) {
  if (m_job.files().empty()) ChooseFiles(m_hWnd, m_job.files());
  SignFiles(m_job.files());
  return 0;
}

LRESULT CDlgProgress::OnClickedVerify(WORD, WORD, HWND, BOOL&) {
  if (m_job.files().empty()) ChooseFiles(m_hWnd, m_job.files());
  VerifyFiles(m_job.files());
  return 0;
}

LRESULT CDlgProgress::OnClickedEncryptClipboard(WORD, WORD, HWND, BOOL&) {
  EncryptClipboard();
  return 0;
}

LRESULT CDlgProgress::OnClickedDecryptClipboard(WORD, WORD, HWND, BOOL&) {
  DecryptClipboard();
  return 0;
}

LRESULT CDlgProgress::OnClickedSignClipboard(WORD, WORD, HWND, BOOL&) {
  SignClipboard();
  return 0;
}

LRESULT CDlgProgress::OnClickedVerifyClipboard(WORD, WORD, HWND, BOOL&) {
  VerifyClipboard();
  return 0;
}

// A right click acts on the row under the pointer when nothing is selected; the index -1 (no
// row) selects every row. The button state is left as it was.
LRESULT CDlgProgress::OnListViewItemRClick(int, NMHDR* header, BOOL&) {
  const auto* click = reinterpret_cast<const NMITEMACTIVATE*>(header);
  if (SendMessage(m_hKeyList, LVM_GETSELECTEDCOUNT, 0, 0) == 0) {
    LVITEM item;
    item.mask = LVIF_STATE;
    item.state = LVIS_SELECTED;
    item.stateMask = LVIS_SELECTED;
    SendMessage(m_hKeyList, LVM_SETITEMSTATE,
                static_cast<WPARAM>(static_cast<INT_PTR>(click->iItem)),
                reinterpret_cast<LPARAM>(&item));
  }
  POINT point = click->ptAction;
  ClientToScreen(m_hKeyList, &point);
  PopupMenu(point, 0);
  return 0;
}

LRESULT CDlgProgress::OnNMClickListKeys(int, NMHDR*, BOOL&) {
  DlgButtonStateUpdate();
  return 0;
}

LRESULT CDlgProgress::OnLinkClicked(int, NMHDR* header, BOOL&) {
  const auto* link = reinterpret_cast<const NMLINK*>(header);
  ShellExecute(nullptr, "open", link->szUrl.c_str(), nullptr, nullptr, SW_SHOW);
  return 0;
}

LRESULT CDlgProgress::OnSplitButtonDropdown(int, NMHDR*, BOOL&) { return 0; }

void CDlgProgress::PopupMenu(POINT point, int position) {
  MenuHandle menu(LoadMenuIndirect(ProgressPopupMenu()));
  if (!menu) return;
  // The chosen item arrives as a WM_COMMAND with its identifier.
  TrackPopupMenu(GetSubMenu(menu.get(), position), TPM_LEFTBUTTON, point.x, point.y, 0, m_hWnd,
                 nullptr);
}

// Computed only at the start of the window and after a click in the key list: keyboard
// selection, operations and list refreshes leave the buttons as they were.
void CDlgProgress::DlgButtonStateUpdate() {
  const bool selected = SendMessage(m_hKeyList, LVM_GETSELECTEDCOUNT, 0, 0) > 0;
  for (const int id : kSelectionButtons) EnableWindow(GetDlgItem(id), selected ? TRUE : FALSE);
}
