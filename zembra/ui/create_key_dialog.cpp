#include "zembra/ui/create_key_dialog.h"

#include <algorithm>
#include <iterator>

#include "platform/gui/common_dialogs.h"
#include "platform/gui/shell.h"
#include "zembra/keys/key_generation.h"
#include "zembra/keys/key_parms.h"
#include "zembra/operations/messages.h"

namespace {

constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;
constexpr DWORD kField = kChild | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP;
constexpr int kRsa = 0;
constexpr int kDefaultLengthEntry = 2;  // 2048
// In the order of KeyAlgorithm; the original two first.
constexpr const char* kAlgorithmEntries[] = {"RSA", "DSA", "Ed25519/Cv25519 (future default)",
                                             "RSA 3072", "RSA 4096"};
static_assert(std::size(kAlgorithmEntries) == kKeyAlgorithmCount);

DialogTemplate MakeCreateKeyTemplate() {
  DialogTemplate t;
  t.id = IDD_CREATE_KEY;
  t.caption = "Create Key";
  t.cx = 204;
  t.cy = 266;
  t.font = "Microsoft Sans Serif";
  t.pointSize = 9;
  t.style = DS_SETFONT | DS_MODALFRAME | DS_3DLOOK | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU;
  t.controls = {
      {IDC_STATIC, ControlKind::Static, "Algorithm", 7, 9, 62, 8, kChild},
      {IDC_ALGORITHM, ControlKind::ComboBox, "", 72, 7, 125, 60,
       kChild | CBS_DROPDOWN | WS_TABSTOP},
      {IDC_STATIC, ControlKind::Static, "Key Length (bits)", 7, 26, 62, 8, kChild},
      {IDC_KEY_LENGTH, ControlKind::ComboBox, "", 72, 24, 125, 60,
       kChild | CBS_DROPDOWN | WS_TABSTOP},
      {IDC_STATIC, ControlKind::Static, "Name", 7, 43, 62, 8, kChild},
      {IDC_NAME, ControlKind::Edit, "", 72, 41, 125, 14, kField},
      {IDC_STATIC, ControlKind::Static, "E-mail", 7, 60, 62, 8, kChild},
      {IDC_EMAIL, ControlKind::Edit, "", 72, 58, 125, 14, kField},
      {IDC_STATIC, ControlKind::Static, "Comment", 7, 77, 62, 8, kChild},
      {IDC_COMMENT, ControlKind::Edit, "", 72, 75, 125, 14, kField},
      {IDC_STATIC, ControlKind::Static, "Passphrase", 7, 94, 62, 8, kChild},
      {IDC_PASSPHRASE, ControlKind::Edit, "", 72, 92, 125, 14, kField | ES_PASSWORD},
      // Typed twice: one typo in a masked field would lock the owner out of the new key.
      {IDC_STATIC, ControlKind::Static, "Confirm", 7, 111, 62, 8, kChild},
      {IDC_CONFIRM_PASSPHRASE, ControlKind::Edit, "", 72, 109, 125, 14, kField | ES_PASSWORD},
      {IDC_EXPIRES, ControlKind::CheckBox, "Expires", 7, 128, 80, 10,
       kChild | BS_AUTOCHECKBOX | WS_TABSTOP},
      {IDC_CALENDAR, ControlKind::MonthCalendar, "", 7, 142, 190, 100,
       kChild | MCS_NOTODAY | MCS_NOTODAYCIRCLE | WS_TABSTOP},
      {IDOK, ControlKind::PushButton, "OK", 93, 245, 50, 14,
       kChild | BS_DEFPUSHBUTTON | WS_TABSTOP},
      {IDCANCEL, ControlKind::PushButton, "Cancel", 147, 245, 50, 14,
       kChild | BS_PUSHBUTTON | WS_TABSTOP},
  };
  return t;
}

void MoveDown(HWND dialog, int id, int delta) {
  HWND control = GetDlgItem(dialog, id);
  RECT r;
  GetWindowRect(control, &r);
  POINT topLeft{r.left, r.top};
  ScreenToClient(dialog, &topLeft);
  SetWindowPos(control, nullptr, topLeft.x, topLeft.y + delta, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

}  // namespace

const DialogTemplate& CreateKeyDialogTemplate() {
  static const DialogTemplate dialogTemplate = MakeCreateKeyTemplate();
  return dialogTemplate;
}

CDlgCreateKey::CDlgCreateKey() : CDialogBase(CreateKeyDialogTemplate()) {}

LRESULT CDlgCreateKey::OnInitDialog(UINT, WPARAM, LPARAM, BOOL&) {
  HWND algorithm = GetDlgItem(IDC_ALGORITHM);
  for (const char* item : kAlgorithmEntries)
    SendMessage(algorithm, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
  HWND length = GetDlgItem(IDC_KEY_LENGTH);
  for (const char* item : {"1024", "1536", "2048", "3072"})
    SendMessage(length, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
  SendMessage(algorithm, CB_SETCURSEL, kRsa, 0);
  SendMessage(length, CB_SETCURSEL, kDefaultLengthEntry, 0);
  UpdateLengthBox();

  HWND calendar = GetDlgItem(IDC_CALENDAR);
  RECT r;
  GetWindowRect(calendar, &r);
  m_calendarHeight = r.bottom - r.top;
  ShowWindow(calendar, SW_HIDE);
  ResizeBy(-m_calendarHeight);
  return TRUE;
}

void CDlgCreateKey::ResizeBy(int delta) {
  RECT r;
  GetWindowRect(m_hWnd, &r);
  SetWindowPos(m_hWnd, nullptr, 0, 0, r.right - r.left, r.bottom - r.top + delta,
               SWP_NOMOVE | SWP_NOZORDER);
  MoveDown(m_hWnd, IDOK, delta);
  MoveDown(m_hWnd, IDCANCEL, delta);
}

LRESULT CDlgCreateKey::OnClickedExpires(WORD, WORD, HWND, BOOL&) {
  m_expires = IsDlgButtonChecked(m_hWnd, IDC_EXPIRES) == BST_CHECKED ? 1 : 0;
  if (m_expires) {
    ResizeBy(m_calendarHeight);
    ShowWindow(GetDlgItem(IDC_CALENDAR), SW_SHOW);
  } else {
    ResizeBy(-m_calendarHeight);
    ShowWindow(GetDlgItem(IDC_CALENDAR), SW_HIDE);
  }
  return 0;
}

LRESULT CDlgCreateKey::OnSelectedAlgorithm(WORD, WORD, HWND, BOOL&) {
  UpdateLengthBox();
  return 0;
}

void CDlgCreateKey::UpdateLengthBox() {
  const auto entry = static_cast<int>(SendMessage(GetDlgItem(IDC_ALGORITHM), CB_GETCURSEL, 0, 0));
  // A choice that fixes its size leaves the length box nothing to say.
  EnableWindow(GetDlgItem(IDC_KEY_LENGTH), FixesKeySize(KeyAlgorithmOfEntry(entry)) ? FALSE : TRUE);
}

KeyParms CDlgCreateKey::Parms() const {
  KeyParms parms;
  SetKeyAlgorithm(parms, KeyAlgorithmOfEntry(m_algorithm), m_keyLength);
  parms.name = m_name;
  parms.email = m_email;
  parms.comment = m_comment;
  parms.passphrase = m_passphrase;
  parms.expiry = m_expires ? ExpiryText(m_expiryDate) : "0";
  return parms;
}

LRESULT CDlgCreateKey::OnClickedOk(WORD, WORD, HWND, BOOL&) {
  m_name = GetDlgItemTextString(m_hWnd, IDC_NAME);
  m_email = GetDlgItemTextString(m_hWnd, IDC_EMAIL);
  m_comment = GetDlgItemTextString(m_hWnd, IDC_COMMENT);
  m_passphrase = GetDlgItemTextString(m_hWnd, IDC_PASSPHRASE);
  std::string confirmation = GetDlgItemTextString(m_hWnd, IDC_CONFIRM_PASSPHRASE);
  const bool confirmed = confirmation == m_passphrase;
  std::fill(confirmation.begin(), confirmation.end(), '\0');
  const char* caption = LoadMessage(IDS_PRODUCT_NAME).data();
  // The passphrase is not required: an empty one asks below whether the key goes unprotected.
  if (m_name.empty() || m_email.empty()) {
    std::string text(LoadMessage(IDS_MISSING_FIELDS));
    if (m_name.empty()) text += LoadMessage(IDS_MISSING_NAME);
    if (m_email.empty()) text += LoadMessage(IDS_MISSING_EMAIL);
    MessageBox(m_hWnd, text.c_str(), caption, MB_OK | MB_ICONERROR);
    return 0;
  }
  if (!confirmed) {
    MessageBox(m_hWnd, LoadMessage(IDS_PASSPHRASES_DIFFER).data(), caption, MB_OK | MB_ICONERROR);
    return 0;
  }
  if (m_passphrase.empty() && MessageBox(m_hWnd, LoadMessage(IDS_ASK_UNPROTECTED_KEY).data(),
                                         caption, MB_YESNO | MB_ICONWARNING) != IDYES)
    return 0;
  const LRESULT algorithm = SendMessage(GetDlgItem(IDC_ALGORITHM), CB_GETCURSEL, 0, 0);
  m_algorithm = static_cast<int>(KeyAlgorithmOfEntry(static_cast<int>(algorithm)));
  // Typed text that is none of the entries keeps the length of the entry last chosen.
  const LRESULT entry = SendMessage(GetDlgItem(IDC_KEY_LENGTH), CB_GETCURSEL, 0, 0);
  m_keyLength = entry >= 0 && entry < static_cast<LRESULT>(std::size(kKeyLengths))
                    ? kKeyLengths[entry]
                    : kKeyLengths[kDefaultLengthEntry];
  m_expires = IsDlgButtonChecked(m_hWnd, IDC_EXPIRES) == BST_CHECKED ? 1 : 0;
  if (m_expires) {
    SendMessage(GetDlgItem(IDC_CALENDAR), MCM_GETCURSEL, 0,
                reinterpret_cast<LPARAM>(&m_expiryDate));
  }
  // Every field becomes one line of the parameter block: a field the block cannot carry keeps
  // the dialog open, with the field named, before anything reaches the engine.
  KeyParmsBlock block = BuildKeyParms(Parms());
  std::fill(block.text.begin(), block.text.end(), '\0');
  if (!block.ok()) {
    MessageBox(m_hWnd, KeyParmsRefusalText(block).c_str(), caption, MB_OK | MB_ICONERROR);
    return 0;
  }
  EndDialog(IDOK);
  return 0;
}

LRESULT CDlgCreateKey::OnClickedCancel(WORD, WORD, HWND, BOOL&) {
  EndDialog(IDCANCEL);
  return 0;
}
