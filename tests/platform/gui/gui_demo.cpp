// Renders a sample dialog to a PNG without a screen: gui_demo out.png
// (QT_QPA_PLATFORM=offscreen gui_demo /tmp/demo.png)
#include <cstdio>
#include <string>

#include "platform/gui/dialog.h"
#include "platform/gui/display.h"
#include "platform/gui/render.h"

namespace {

constexpr UINT WM_RENDER = WM_USER + 50;

const DialogTemplate& DemoTemplate() {
  static const DialogTemplate demo = {
      100,
      "Zembra - Demo",
      300,
      200,
      "Microsoft Sans Serif",
      9,
      DS_MODALFRAME | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU,
      {
          {-1, ControlKind::GroupBox, "Options", 7, 7, 140, 62, 0, 0},
          {1001, ControlKind::CheckBox, "&Armor output", 14, 20, 120, 10, WS_TABSTOP, 0},
          {1002, ControlKind::RadioButton, "&Sign", 14, 34, 60, 10, WS_GROUP | WS_TABSTOP, 0},
          {1003, ControlKind::RadioButton, "&Encrypt", 14, 48, 60, 10, 0, 0},
          {-1, ControlKind::Static, "&Recipient:", 154, 9, 60, 8, 0, 0},
          {1004, ControlKind::ComboBox, "", 154, 20, 139, 60, CBS_DROPDOWN | WS_TABSTOP, 0},
          {-1, ControlKind::Static, "&Passphrase:", 154, 38, 60, 8, 0, 0},
          {1005, ControlKind::Edit, "", 154, 49, 139, 14, ES_PASSWORD | WS_TABSTOP, 0},
          {1006, ControlKind::ListView, "", 7, 74, 286, 60,
           LVS_REPORT | LVS_SHOWSELALWAYS | WS_BORDER | WS_TABSTOP, 0},
          {1007, ControlKind::Edit, "", 7, 138, 286, 24,
           ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL, 0},
          {1008, ControlKind::ProgressBar, "", 7, 166, 286, 8, 0, 0},
          {1009, ControlKind::Link, "<a href=\"https://www.gnupg.org/\">GnuPG home page</a>", 7,
           182, 100, 10, WS_TABSTOP, 0},
          {IDOK, ControlKind::PushButton, "OK", 189, 179, 50, 14, BS_DEFPUSHBUTTON | WS_TABSTOP, 0},
          {IDCANCEL, ControlKind::PushButton, "Cancel", 243, 179, 50, 14, WS_TABSTOP, 0},
      }};
  return demo;
}

class DemoDialog : public CDialogBase {
 public:
  explicit DemoDialog(std::string path) : CDialogBase(DemoTemplate()), m_path(std::move(path)) {}
  bool rendered = false;

  BEGIN_MSG_MAP(DemoDialog)
  MESSAGE_HANDLER(WM_INITDIALOG, OnInitDialog)
  MESSAGE_HANDLER(WM_RENDER, OnRender)
  END_MSG_MAP()

 private:
  LRESULT OnInitDialog(UINT, WPARAM, LPARAM, BOOL&) {
    HWND list = GetDlgItem(1006);
    SendMessage(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
                LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES | LVS_EX_CHECKBOXES);
    const char* titles[] = {"Name", "E-Mail", "Key ID"};
    const int widths[] = {150, 200, 110};
    for (int i = 0; i < 3; ++i) {
      LVCOLUMN column;
      column.mask = LVCF_TEXT | LVCF_WIDTH;
      column.pszText = titles[i];
      column.cx = widths[i];
      SendMessage(list, LVM_INSERTCOLUMN, static_cast<WPARAM>(i),
                  reinterpret_cast<LPARAM>(&column));
    }
    const char* rows[][3] = {{"Alice Example", "alice@example.org", "0x1A2B3C4D"},
                             {"Bob Example", "bob@example.org", "0x5E6F7A8B"},
                             {"Carol Example", "carol@example.org", "0x9C0D1E2F"}};
    for (int r = 0; r < 3; ++r) {
      LVITEM item;
      item.mask = LVIF_TEXT | LVIF_PARAM;
      item.iItem = r;
      item.pszText = const_cast<char*>(rows[r][0]);
      item.lParam = r;
      const auto row =
          static_cast<int>(SendMessage(list, LVM_INSERTITEM, 0, reinterpret_cast<LPARAM>(&item)));
      for (int c = 1; c < 3; ++c) {
        item.iSubItem = c;
        item.pszText = const_cast<char*>(rows[r][c]);
        SendMessage(list, LVM_SETITEMTEXT, static_cast<WPARAM>(row),
                    reinterpret_cast<LPARAM>(&item));
      }
    }
    LVITEM state;
    state.stateMask = LVIS_SELECTED;
    state.state = LVIS_SELECTED;
    SendMessage(list, LVM_SETITEMSTATE, 1, reinterpret_cast<LPARAM>(&state));
    state.stateMask = LVIS_STATEIMAGEMASK;
    state.state = INDEXTOSTATEIMAGEMASK(2);
    SendMessage(list, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&state));
    CheckDlgButton(m_hWnd, 1001, BST_CHECKED);
    CheckDlgButton(m_hWnd, 1003, BST_CHECKED);
    SendMessage(GetDlgItem(1004), CB_ADDSTRING, 0,
                reinterpret_cast<LPARAM>("Alice Example <alice@example.org>"));
    SendMessage(GetDlgItem(1004), CB_SETCURSEL, 0, 0);
    SetDlgItemText(m_hWnd, 1005, "secret");
    HWND log = GetDlgItem(1007);
    for (const char* line : {"Encrypting report.pdf ...\n", "Done.\n"}) {
      const int end = GetWindowTextLength(log);
      SendMessage(log, EM_SETSEL, static_cast<WPARAM>(end), end);
      SendMessage(log, EM_REPLACESEL, 0, reinterpret_cast<LPARAM>(line));
    }
    SendMessage(GetDlgItem(1008), PBM_SETRANGE, 0, MAKELPARAM(0, 100));
    SendMessage(GetDlgItem(1008), PBM_SETPOS, 60, 0);
    PostMessage(m_hWnd, WM_RENDER, 0, 0);
    return TRUE;
  }

  LRESULT OnRender(UINT, WPARAM, LPARAM, BOOL&) {
    rendered = RenderWindowToPng(m_hWnd, m_path.c_str());
    EndDialog(rendered ? IDOK : IDCANCEL);
    return 0;
  }

  std::string m_path;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: gui_demo OUTPUT.png\n", stderr);
    return 2;
  }
  if (!OpenDisplay()) {
    ReportNoDisplay();
    return 1;
  }
  DemoDialog dialog(argv[1]);
  const INT_PTR result = dialog.DoModal();
  if (result != IDOK) {
    std::fprintf(stderr, "gui_demo: could not write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
