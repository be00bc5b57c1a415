#include "zembra/ui/key_upkeep_dialogs.h"

#include "platform/gui/common_dialogs.h"
#include "zembra/operations/messages.h"

namespace {

constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;
constexpr DWORD kDialogStyle =
    DS_SETFONT | DS_MODALFRAME | DS_3DLOOK | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU;
constexpr DWORD kRadio = kChild | BS_AUTORADIOBUTTON | WS_TABSTOP;

constexpr int kTrustButtons[] = {IDC_TRUST_UNKNOWN, IDC_TRUST_NONE, IDC_TRUST_MARGINAL,
                                 IDC_TRUST_FULL, IDC_TRUST_ULTIMATE};

DialogTemplate MakeChangeExpiryTemplate() {
  DialogTemplate t;
  t.id = IDD_CHANGE_EXPIRY;
  t.caption = "Change Expiry";
  t.cx = 204;
  t.cy = 150;
  t.font = "Microsoft Sans Serif";
  t.pointSize = 9;
  t.style = kDialogStyle;
  t.controls = {
      {IDC_STATIC, ControlKind::Static, "The key expires at the end of the day chosen.", 7, 7, 190,
       8, kChild},
      {IDC_CALENDAR, ControlKind::MonthCalendar, "", 7, 18, 190, 100,
       kChild | MCS_NOTODAY | MCS_NOTODAYCIRCLE | WS_TABSTOP},
      {IDC_NEVER_EXPIRES, ControlKind::CheckBox, "&Never expires", 7, 131, 80, 10,
       kChild | BS_AUTOCHECKBOX | WS_TABSTOP},
      {IDOK, ControlKind::PushButton, "OK", 93, 129, 50, 14,
       kChild | BS_DEFPUSHBUTTON | WS_TABSTOP},
      {IDCANCEL, ControlKind::PushButton, "Cancel", 147, 129, 50, 14,
       kChild | BS_PUSHBUTTON | WS_TABSTOP},
  };
  return t;
}

DialogTemplate MakeOwnerTrustTemplate() {
  DialogTemplate t;
  t.id = IDD_OWNER_TRUST;
  t.caption = "Set Owner Trust";
  t.cx = 204;
  t.cy = 118;
  t.font = "Microsoft Sans Serif";
  t.pointSize = 9;
  t.style = kDialogStyle;
  t.controls = {
      {IDC_STATIC, ControlKind::Static, "How far do you trust this owner to certify keys?", 7, 7,
       190, 8, kChild},
      {IDC_TRUST_UNKNOWN, ControlKind::RadioButton, "&Unknown", 7, 20, 190, 10, kRadio | WS_GROUP},
      {IDC_TRUST_NONE, ControlKind::RadioButton, "N&one", 7, 33, 190, 10, kRadio},
      {IDC_TRUST_MARGINAL, ControlKind::RadioButton, "&Marginal", 7, 46, 190, 10, kRadio},
      {IDC_TRUST_FULL, ControlKind::RadioButton, "&Full", 7, 59, 190, 10, kRadio},
      {IDC_TRUST_ULTIMATE, ControlKind::RadioButton, "U&ltimate", 7, 72, 190, 10, kRadio},
      {IDOK, ControlKind::PushButton, "OK", 93, 97, 50, 14,
       kChild | BS_DEFPUSHBUTTON | WS_TABSTOP | WS_GROUP},
      {IDCANCEL, ControlKind::PushButton, "Cancel", 147, 97, 50, 14,
       kChild | BS_PUSHBUTTON | WS_TABSTOP},
  };
  return t;
}

// The calendar day (UTC) of a time value.
SYSTEMTIME DayOf(std::int64_t time) {
  const std::string text = FormatDate(time);  // "YYYY-MM-DD"
  SYSTEMTIME day;
  day.wYear = static_cast<WORD>(std::stoi(text.substr(0, 4)));
  day.wMonth = static_cast<WORD>(std::stoi(text.substr(5, 2)));
  day.wDay = static_cast<WORD>(std::stoi(text.substr(8, 2)));
  return day;
}

}  // namespace

const DialogTemplate& ChangeExpiryDialogTemplate() {
  static const DialogTemplate dialogTemplate = MakeChangeExpiryTemplate();
  return dialogTemplate;
}

const DialogTemplate& OwnerTrustDialogTemplate() {
  static const DialogTemplate dialogTemplate = MakeOwnerTrustTemplate();
  return dialogTemplate;
}

OwnerTrust OwnerTrustOfValidity(int validity) {
  switch (validity) {
    case GPGME_VALIDITY_NEVER: return OwnerTrust::None;
    case GPGME_VALIDITY_MARGINAL: return OwnerTrust::Marginal;
    case GPGME_VALIDITY_FULL: return OwnerTrust::Full;
    case GPGME_VALIDITY_ULTIMATE: return OwnerTrust::Ultimate;
    default: return OwnerTrust::Unknown;
  }
}

CDlgChangeExpiry::CDlgChangeExpiry(std::int64_t current, std::int64_t now)
    : CDialogBase(ChangeExpiryDialogTemplate()), m_current(current), m_now(now) {}

LRESULT CDlgChangeExpiry::OnInitDialog(UINT, WPARAM, LPARAM, BOOL&) {
  // The calendar starts on the present expiry, or a year from now for a key without one.
  const SYSTEMTIME start = DayOf(m_current != 0 ? m_current : m_now + std::int64_t{365} * 86400);
  SendMessage(GetDlgItem(IDC_CALENDAR), MCM_SETCURSEL, 0, reinterpret_cast<LPARAM>(&start));
  if (m_current == 0) {
    CheckDlgButton(m_hWnd, IDC_NEVER_EXPIRES, BST_CHECKED);
    EnableWindow(GetDlgItem(IDC_CALENDAR), FALSE);
  }
  return TRUE;
}

LRESULT CDlgChangeExpiry::OnClickedNever(WORD, WORD, HWND, BOOL&) {
  const bool never = IsDlgButtonChecked(m_hWnd, IDC_NEVER_EXPIRES) == BST_CHECKED;
  EnableWindow(GetDlgItem(IDC_CALENDAR), never ? FALSE : TRUE);
  return 0;
}

LRESULT CDlgChangeExpiry::OnClickedOk(WORD, WORD, HWND, BOOL&) {
  if (IsDlgButtonChecked(m_hWnd, IDC_NEVER_EXPIRES) == BST_CHECKED) {
    m_expires = 0;
    EndDialog(IDOK);
    return 0;
  }
  SYSTEMTIME day;
  SendMessage(GetDlgItem(IDC_CALENDAR), MCM_GETCURSEL, 0, reinterpret_cast<LPARAM>(&day));
  const std::int64_t expires = EndOfDay(day.wYear, day.wMonth, day.wDay);
  // A day that has passed would make the key unusable at once: the dialog stays open.
  if (expires <= m_now) {
    MessageBox(m_hWnd, LoadMessage(IDS_CHOOSE_LATER_DATE).data(),
               LoadMessage(IDS_PRODUCT_NAME).data(), MB_OK | MB_ICONERROR);
    return 0;
  }
  m_expires = expires;
  EndDialog(IDOK);
  return 0;
}

LRESULT CDlgChangeExpiry::OnClickedCancel(WORD, WORD, HWND, BOOL&) {
  EndDialog(IDCANCEL);
  return 0;
}

CDlgOwnerTrust::CDlgOwnerTrust(int current)
    : CDialogBase(OwnerTrustDialogTemplate()), m_trust(OwnerTrustOfValidity(current)) {}

LRESULT CDlgOwnerTrust::OnInitDialog(UINT, WPARAM, LPARAM, BOOL&) {
  CheckDlgButton(m_hWnd, kTrustButtons[static_cast<int>(m_trust)], BST_CHECKED);
  return TRUE;
}

LRESULT CDlgOwnerTrust::OnClickedOk(WORD, WORD, HWND, BOOL&) {
  for (int i = 0; i < static_cast<int>(std::size(kTrustButtons)); ++i)
    if (IsDlgButtonChecked(m_hWnd, kTrustButtons[i]) == BST_CHECKED)
      m_trust = static_cast<OwnerTrust>(i);
  EndDialog(IDOK);
  return 0;
}

LRESULT CDlgOwnerTrust::OnClickedCancel(WORD, WORD, HWND, BOOL&) {
  EndDialog(IDCANCEL);
  return 0;
}
