#include "zembra/ui/key_details_dialog.h"

#include <iterator>
#include <string>
#include <utility>

#include "platform/gui/clipboard.h"
#include "zembra/keys/key_list.h"
#include "zembra/operations/messages.h"

namespace {

constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;
constexpr DWORD kList =
    kChild | LVS_REPORT | LVS_SHOWSELALWAYS | LVS_NOLABELWRAP | WS_BORDER | WS_TABSTOP;
constexpr DWORD kReadOnly = kChild | ES_AUTOHSCROLL | ES_READONLY | WS_BORDER | WS_TABSTOP;

DialogTemplate MakeKeyDetailsTemplate() {
  DialogTemplate t;
  t.id = IDD_KEY_DETAILS;
  t.caption = "Key Details";
  t.cx = 360;
  t.cy = 244;
  t.font = "Microsoft Sans Serif";
  t.pointSize = 9;
  t.style = DS_SETFONT | DS_MODALFRAME | DS_3DLOOK | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU;
  t.controls = {
      {IDC_STATIC, ControlKind::Static, "Fingerprint", 7, 7, 100, 8, kChild},
      {IDC_DETAILS_FINGERPRINT, ControlKind::Edit, "", 7, 17, 262, 14, kReadOnly},
      {IDC_COPY_FINGERPRINT, ControlKind::PushButton, "&Copy Fingerprint", 273, 17, 80, 14,
       kChild | BS_PUSHBUTTON | WS_TABSTOP},
      {IDC_STATIC, ControlKind::Static, "Owner Trust", 7, 38, 50, 8, kChild},
      {IDC_DETAILS_OWNER_TRUST, ControlKind::Edit, "", 60, 36, 70, 14, kReadOnly},
      {IDC_DETAILS_SECRET, ControlKind::Static, "", 137, 38, 216, 8, kChild},
      {IDC_STATIC, ControlKind::Static, "User IDs", 7, 56, 100, 8, kChild},
      {IDC_DETAILS_USER_IDS, ControlKind::ListView, "", 7, 65, 346, 70, kList},
      {IDC_STATIC, ControlKind::Static, "Subkeys", 7, 141, 100, 8, kChild},
      {IDC_DETAILS_SUBKEYS, ControlKind::ListView, "", 7, 150, 346, 70, kList},
      {IDOK, ControlKind::PushButton, "Close", 303, 225, 50, 14,
       kChild | BS_DEFPUSHBUTTON | WS_TABSTOP},
  };
  return t;
}

struct Column {
  const char* title;
  int share;  // percent of the list's width
};

template <std::size_t N>
void InsertColumns(HWND list, const Column (&columns)[N]) {
  const DWORD styles = LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES;
  SendMessage(list, LVM_SETEXTENDEDLISTVIEWSTYLE, styles, static_cast<LPARAM>(styles));
  RECT client;
  GetClientRect(list, &client);
  const int width = (client.right - client.left) - GetSystemMetrics(SM_CXVSCROLL);
  for (std::size_t i = 0; i < N; ++i) {
    LVCOLUMN column;
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    column.fmt = LVCFMT_LEFT;
    column.cx = width * columns[i].share / 100;
    column.pszText = columns[i].title;
    column.iSubItem = static_cast<int>(i);
    SendMessage(list, LVM_INSERTCOLUMN, i, reinterpret_cast<LPARAM>(&column));
  }
}

void AppendRow(HWND list, std::initializer_list<std::string> cells) {
  const int row = static_cast<int>(SendMessage(list, LVM_GETITEMCOUNT, 0, 0));
  int column = 0;
  for (const std::string& text : cells) {
    LVITEM item;
    item.mask = LVIF_TEXT;
    item.iItem = row;
    item.iSubItem = column;
    item.pszText = const_cast<char*>(text.c_str());
    if (column == 0)
      SendMessage(list, LVM_INSERTITEM, 0, reinterpret_cast<LPARAM>(&item));
    else
      SendMessage(list, LVM_SETITEMTEXT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    ++column;
  }
}

}  // namespace

const DialogTemplate& KeyDetailsDialogTemplate() {
  static const DialogTemplate dialogTemplate = MakeKeyDetailsTemplate();
  return dialogTemplate;
}

CDlgKeyDetails::CDlgKeyDetails(KeyDetails details)
    : CDialogBase(KeyDetailsDialogTemplate()), m_details(std::move(details)) {}

LRESULT CDlgKeyDetails::OnInitDialog(UINT, WPARAM, LPARAM, BOOL&) {
  SetDlgItemText(m_hWnd, IDC_DETAILS_FINGERPRINT,
                 GroupedFingerprint(m_details.fingerprint).c_str());
  SetDlgItemText(m_hWnd, IDC_DETAILS_OWNER_TRUST, ValidityName(m_details.ownerTrust));
  SetDlgItemText(m_hWnd, IDC_DETAILS_SECRET,
                 LoadMessage(m_details.hasSecret ? IDS_SECRET_PRESENT : IDS_SECRET_ABSENT).data());

  static const Column userIdColumns[] = {{"Validity", 18}, {"User ID", 82}};
  HWND userIds = GetDlgItem(IDC_DETAILS_USER_IDS);
  InsertColumns(userIds, userIdColumns);
  for (const UserIdDetails& uid : m_details.userIds)
    AppendRow(userIds, {ValidityName(uid.validity), uid.text});

  static const Column subkeyColumns[] = {{"Key ID", 22}, {"Algorithm", 17}, {"Size", 7},
                                         {"Usage", 18},  {"Created", 12},   {"Expires", 12},
                                         {"State", 12}};
  HWND subkeys = GetDlgItem(IDC_DETAILS_SUBKEYS);
  InsertColumns(subkeys, subkeyColumns);
  for (const SubkeyDetails& sub : m_details.subkeys) {
    AppendRow(subkeys, {sub.keyId, sub.algorithm, std::to_string(sub.length), UsageText(sub),
                        FormatDate(sub.created), ExpiryDateText(sub), SubkeyStateText(sub)});
  }
  return TRUE;
}

LRESULT CDlgKeyDetails::OnClickedCopyFingerprint(WORD, WORD, HWND, BOOL&) {
  // The digits alone, as other programs take a fingerprint; the groups are for reading aloud.
  Clipboard(m_hWnd).WriteBytes(CF_UNICODETEXT, m_details.fingerprint);
  return 0;
}

LRESULT CDlgKeyDetails::OnClickedClose(WORD, WORD, HWND, BOOL&) {
  EndDialog(IDOK);
  return 0;
}
