// The window's key upkeep commands from the key list's pop-up menu. They forward to the
// functions of zembra/keys with the first selected row's key; secrets are asked by GnuPG's
// pinentry. Afterwards the row shows the key as the ring holds it then (element and row are
// replaced together, so row i still shows element i).
#include <chrono>
#include <string>
#include <vector>

#include "platform/gui/common_dialogs.h"
#include "zembra/keys/key_upkeep.h"
#include "zembra/ui/dlg_progress.h"
#include "zembra/ui/key_list_view.h"
#include "zembra/ui/key_upkeep_dialogs.h"

namespace {

constexpr char kRevocationFilter[] =
    "Revocation certificates (*.rev)\0*.rev\0All files (*.*)\0*.*\0";
constexpr std::size_t kRevocationNameChars = 1024;
constexpr DWORD kRevocationSaveFlags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY |
                                       OFN_EXPLORER | OFN_ENABLESIZING | OFN_DONTADDTORECENT;

std::int64_t Now() {
  return std::chrono::duration_cast<std::chrono::seconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

}  // namespace

int CDlgProgress::FirstSelectedKeyRow() const {
  if (m_pKeys == nullptr) return -1;
  const int row = static_cast<int>(
      SendMessage(m_hKeyList, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
  if (row < 0 || static_cast<std::size_t>(row) >= m_pKeys->size()) return -1;
  return (*m_pKeys)[static_cast<std::size_t>(row)] ? row : -1;
}

void CDlgProgress::RefreshKeyRow(int row) {
  CKeyHandle& held = (*m_pKeys)[static_cast<std::size_t>(row)];
  CKeyHandle fresh = ReloadKey(m_ctx.get(), held.get());
  if (!fresh) return;
  // The row points at the new key before the old one is released.
  UpdateKeyRow(m_hKeyList, row, fresh.get());
  held = std::move(fresh);
}

LRESULT CDlgProgress::OnChangePassphrase(WORD, WORD, HWND, BOOL&) {
  const int row = FirstSelectedKeyRow();
  if (row < 0) return 0;
  ChangePassphrase(m_ctx.get(), (*m_pKeys)[static_cast<std::size_t>(row)].get());
  RefreshKeyRow(row);
  return 0;
}

LRESULT CDlgProgress::OnChangeExpiry(WORD, WORD, HWND, BOOL&) {
  const int row = FirstSelectedKeyRow();
  if (row < 0) return 0;
  gpgme_key_t key = (*m_pKeys)[static_cast<std::size_t>(row)].get();
  const std::int64_t current = key->subkeys ? key->subkeys->expires : 0;
  CDlgChangeExpiry dialog(current, Now());
  if (dialog.DoModal(m_hWnd) != IDOK) return 0;
  if (ChangeExpiry(m_ctx.get(), key, dialog.m_expires, Now()).ok()) RefreshKeyRow(row);
  return 0;
}

LRESULT CDlgProgress::OnSetOwnerTrust(WORD, WORD, HWND, BOOL&) {
  const int row = FirstSelectedKeyRow();
  if (row < 0) return 0;
  gpgme_key_t key = (*m_pKeys)[static_cast<std::size_t>(row)].get();
  CDlgOwnerTrust dialog(key->owner_trust);
  if (dialog.DoModal(m_hWnd) != IDOK) return 0;
  SetOwnerTrust(m_ctx.get(), key, dialog.m_trust);
  // Whatever happened, the row shows what the ring holds now, changes of other programs too.
  RefreshKeyRow(row);
  return 0;
}

LRESULT CDlgProgress::OnExportRevocationCertificate(WORD, WORD, HWND, BOOL&) {
  const int row = FirstSelectedKeyRow();
  if (row < 0) return 0;
  gpgme_key_t key = (*m_pKeys)[static_cast<std::size_t>(row)].get();
  // A key without a certificate says so before a name is asked for.
  if (!FindRevocationCertificate(m_ctx.get(), key).ok()) return 0;

  std::vector<char> name(kRevocationNameChars, '\0');
  const std::string suggested = std::string(key->fpr ? key->fpr : "") + ".rev";
  suggested.copy(name.data(), name.size() - 1);
  const std::string folder = FolderOfFirstFile(m_job.files());
  OPENFILENAME ofn;
  ofn.hwndOwner = m_hWnd;
  ofn.lpstrFilter = kRevocationFilter;
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = name.data();
  ofn.nMaxFile = static_cast<DWORD>(name.size());
  ofn.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
  ofn.Flags = kRevocationSaveFlags;
  ofn.lpstrDefExt = "rev";
  if (!GetSaveFileName(&ofn)) return 0;
  name.back() = '\0';
  ExportRevocationCertificate(m_ctx.get(), key, name.data());
  return 0;
}
