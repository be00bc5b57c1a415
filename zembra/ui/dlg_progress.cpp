// The operations window itself: construction, initialisation, closing, the progress bar, the key
// list's clicks and pop-up menu, the enabling of buttons and the update link. The commands live
// in the window_*.cpp files, one per feature.
#include "zembra/ui/dlg_progress.h"

#include "platform/core/log.h"
#include "platform/gui/shell.h"
#include "zembra/engine/engine.h"
#include "zembra/engine/message_ids.h"
#include "zembra/engine/operation_loop.h"
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

// The window serves its events during an operation; nothing else starts meanwhile.
CDlgProgress::CDlgProgress(int argc, char** argv)
    : CDialogBase(ProgressDialogTemplate()), m_job(argc, argv) {
  m_commandsRunAlone = true;
  m_cancelCommand = IDC_CLOSE;
}

CDlgProgress::CDlgProgress(const FileList* files, e_command command)
    : CDialogBase(ProgressDialogTemplate()), m_job(files, command) {
  m_commandsRunAlone = true;
  m_cancelCommand = IDC_CLOSE;
}

// The context is released when the window closes, not here; a window that never opened has
// none.
CDlgProgress::~CDlgProgress() { m_pKeys.reset(); }

INT_PTR CDlgProgress::Exec(HWND parent, LPARAM initParam) { return DoModal(parent, initParam); }

void CDlgProgress::SetUseDefaultKeys(bool use) {
  m_useDefaultKeys = use;
  if (m_hKeyList != nullptr) {
    CheckDlgButton(m_hWnd, IDC_USE_DEFAULT_KEYS, use ? BST_CHECKED : BST_UNCHECKED);
  }
}

void CDlgProgress::SetExportMode(bool secret, bool binary) {
  m_exportSecret = secret;
  m_exportBinary = binary;
}

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
  m_ctx = NewEngineContext();
  if (!m_ctx) return 1;

  FillKeyList();
  LoadDefaultKeys();
  CheckDlgButton(m_hWnd, IDC_USE_DEFAULT_KEYS, m_useDefaultKeys ? BST_CHECKED : BST_UNCHECKED);

  StartJob();

  DlgButtonStateUpdate();
  SetForegroundWindow(m_hWnd);
  return 1;
}

// While a command runs, Close reads Cancel.
void CDlgProgress::OnCommandRunning(bool running) {
  if (running) {
    m_cancelled = false;
    m_closeText = GetDlgItemTextString(m_hWnd, IDC_CLOSE);
    SetDlgItemText(m_hWnd, IDC_CLOSE, std::string(MessageText(IDS_CANCEL_BUTTON)).c_str());
  } else {
    SetDlgItemText(m_hWnd, IDC_CLOSE, m_closeText.c_str());
  }
}

LRESULT CDlgProgress::OnClickedCancel(WORD, WORD id, HWND, BOOL&) {
  // During a command Cancel stops the operation that runs and the loop over files; the window
  // stays open.
  if (IsDialogBusy(m_hWnd)) {
    m_cancelled = true;
    if (m_fileJob) m_fileJob->Cancel();
    CancelOperation(m_ctx.get());
    return 0;
  }
  m_pKeys.reset();
  m_ctx.reset();
  EndDialog(id);
  SetLogBox(nullptr);
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

ProgressSink ProgressBarSink(HWND bar) {
  if (bar == nullptr) return {};
  // Sent, not posted: the bar moves while the engine is still working.
  return [bar](int position) { SendMessage(bar, PBM_SETPOS, static_cast<WPARAM>(position), 0); };
}

// In a loop over files, file i of n moves the bar through its share of the whole job.
ProgressSink CDlgProgress::ProgressBar(std::size_t files) const {
  ProgressSink bar = ProgressBarSink(m_hProgress);
  if (!bar || m_jobFiles <= 1) return bar;
  const long long done = static_cast<long long>(m_jobFile) * 1000;
  const long long share = static_cast<long long>(files);
  const long long all = static_cast<long long>(m_jobFiles);
  return [bar, done, share, all](int position) {
    bar(static_cast<int>((done + position * share) / all));
  };
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
