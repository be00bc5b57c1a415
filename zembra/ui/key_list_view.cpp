// The key list of the operations window: its rows and the keys chosen in it.
//
// Rows and m_pKeys change together: row i shows element i, and every row carries its key
// pointer as item data (no reference of its own). Lookups always go by row index into m_pKeys.
#include "zembra/ui/key_list_view.h"

#include <algorithm>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/text.h"

namespace {

void SetCell(HWND list, int row, int column, const std::string& text) {
  LVITEM item;
  item.iSubItem = column;
  item.pszText = const_cast<char*>(text.c_str());
  SendMessage(list, LVM_SETITEMTEXT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

// Columns 1 to 5 of a row: creation and expiry dates, validity, owner trust, user id.
void SetKeyCells(HWND list, int row, gpgme_key_t key) {
  const gpgme_subkey_t primary = key->subkeys;
  const gpgme_user_id_t uid = key->uids;
  if (primary) {
    SetCell(list, row, 1, FormatDate(primary->timestamp));
    // An expiry of 0 means the key never expires: the cell stays empty.
    if (primary->expires != 0) SetCell(list, row, 2, FormatDate(primary->expires));
  }
  if (uid) SetCell(list, row, 3, ValidityName(uid->validity));
  if (key->protocol == GPGME_PROTOCOL_OpenPGP)
    SetCell(list, row, 4, ValidityName(key->owner_trust));
  // GnuPG stores user ids as UTF-8, but nothing enforces it: stray bytes are shown escaped.
  if (uid && uid->uid && uid->uid[0]) SetCell(list, row, 5, DisplayText(uid->uid));
}

}  // namespace

void InsertKeyListColumns(HWND list) {
  struct Column {
    const char* title;
    int share;  // percent of the width; the shares add up to 100
  };
  static const Column columns[] = {{"Key ID", 19},   {"Created", 13},     {"Expires", 13},
                                   {"Validity", 14}, {"Owner Trust", 14}, {"Name", 27}};
  constexpr int kCount = static_cast<int>(std::size(columns));

  const DWORD styles = LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES;
  SendMessage(list, LVM_SETEXTENDEDLISTVIEWSTYLE, styles, static_cast<LPARAM>(styles));

  RECT client;
  GetClientRect(list, &client);
  const int width = (client.right - client.left) - GetSystemMetrics(SM_CXVSCROLL);
  int widths[kCount];
  for (int i = 0; i < kCount; ++i) widths[i] = width * columns[i].share / 100;
  // A key ID is compared digit by digit with what its owner reads out: its column is never
  // narrower than 16 digits, and the name column, the widest, gives up what that takes.
  const int keyIdWidth = KeyIdTextWidth(list);
  if (widths[0] < keyIdWidth) {
    widths[kCount - 1] = std::max(0, widths[kCount - 1] - (keyIdWidth - widths[0]));
    widths[0] = keyIdWidth;
  }
  for (int i = 0; i < kCount; ++i) {
    LVCOLUMN column;
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    column.fmt = LVCFMT_LEFT;
    column.cx = widths[i];
    column.pszText = columns[i].title;
    column.iSubItem = i;
    SendMessage(list, LVM_INSERTCOLUMN, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&column));
  }
}

int KeyIdTextWidth(HWND list) {
  // The widest of the sixteen-digit strings of one hexadecimal digit, so that every ID fits
  // whatever its digits; plus the margins a cell keeps on both sides of its text.
  constexpr int kCellMargins = 12;
  int widest = 0;
  for (char digit : std::string_view("0123456789ABCDEF")) {
    const std::string id(16, digit);
    widest = std::max(widest, static_cast<int>(SendMessage(list, LVM_GETSTRINGWIDTH, 0,
                                                           reinterpret_cast<LPARAM>(id.c_str()))));
  }
  return widest + kCellMargins;
}

std::unique_ptr<CKeyHandleArray> FillKeyRows(HWND list, gpgme_ctx_t ctx) {
  std::unique_ptr<CKeyHandleArray> keys = ListUsableKeys(ctx);
  ShowKeyRows(list, *keys);
  return keys;
}

void ShowKeyRows(HWND list, const CKeyHandleArray& keys) {
  // Rows of an earlier listing would point at keys its owner releases when this one replaces it.
  SendMessage(list, LVM_DELETEALLITEMS, 0, 0);
  for (const CKeyHandle& key : keys) ListKeyRow(list, key.get());
}

void ListKeyRow(HWND list, gpgme_key_t key) {
  const gpgme_subkey_t primary = key->subkeys;
  const int row = static_cast<int>(SendMessage(list, LVM_GETITEMCOUNT, 0, 0));
  std::string keyId = primary && primary->keyid ? primary->keyid : "";
  LVITEM item;
  item.mask = LVIF_TEXT | LVIF_PARAM;
  item.iItem = row;
  item.iSubItem = 0;
  item.pszText = keyId.data();
  item.lParam = reinterpret_cast<LPARAM>(key);
  const int inserted =
      static_cast<int>(SendMessage(list, LVM_INSERTITEM, 0, reinterpret_cast<LPARAM>(&item)));
  if (inserted < 0) return;
  SetKeyCells(list, inserted, key);
}

void UpdateKeyRow(HWND list, int row, gpgme_key_t key) {
  const gpgme_subkey_t primary = key->subkeys;
  std::string keyId = primary && primary->keyid ? primary->keyid : "";
  LVITEM item;
  item.mask = LVIF_TEXT | LVIF_PARAM;
  item.iItem = row;
  item.iSubItem = 0;
  item.pszText = keyId.data();
  item.lParam = reinterpret_cast<LPARAM>(key);
  if (!SendMessage(list, LVM_SETITEM, 0, reinterpret_cast<LPARAM>(&item))) return;
  // Cells the key no longer fills (an expiry taken away) are emptied first.
  for (int column = 1; column <= 5; ++column) SetCell(list, row, column, "");
  SetKeyCells(list, row, key);
}

CKeyArray SelectedKeys(HWND list, const CKeyHandleArray* listed, const CKeyHandleArray* defaults) {
  if (defaults != nullptr && !defaults->empty()) {
    // The default keys stand in for the selection, whatever their capabilities.
    std::vector<gpgme_key_t> keys;
    for (const CKeyHandle& key : *defaults)
      if (key) keys.push_back(key.get());
    if (!keys.empty()) return CKeyArray(std::move(keys));
  }

  const int selected = static_cast<int>(SendMessage(list, LVM_GETSELECTEDCOUNT, 0, 0));
  if (selected <= 0 || listed == nullptr) return CKeyArray();

  std::vector<gpgme_key_t> keys;
  keys.reserve(static_cast<std::size_t>(selected));
  int row = -1;
  while (static_cast<int>(keys.size()) < selected) {
    row = static_cast<int>(SendMessage(list, LVM_GETNEXTITEM, static_cast<WPARAM>(row),
                                       static_cast<LPARAM>(LVNI_SELECTED)));
    if (row < 0) break;
    if (static_cast<std::size_t>(row) >= listed->size()) continue;
    gpgme_key_t key = (*listed)[static_cast<std::size_t>(row)].get();
    // Keys that cannot encrypt are passed over without a word.
    if (key && key->can_encrypt) keys.push_back(key);
  }
  return CKeyArray(std::move(keys));
}
