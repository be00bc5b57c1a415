// The window's key commands: the listing, import, deletion and creation. They forward to the
// functions of zembra/keys and keep the key list in step: rows and m_pKeys change together, row
// i shows element i.
#include <string>
#include <vector>

#include "platform/core/format.h"
#include "platform/core/trace.h"
#include "platform/gui/common_dialogs.h"
#include "platform/gui/wait_cursor.h"
#include "zembra/engine/check_result.h"
#include "zembra/keys/key_deletion.h"
#include "zembra/keys/key_details.h"
#include "zembra/keys/key_generation.h"
#include "zembra/keys/key_import.h"
#include "zembra/keys/key_relisting.h"
#include "zembra/operations/messages.h"
#include "zembra/ui/create_key_dialog.h"
#include "zembra/ui/dlg_progress.h"
#include "zembra/ui/key_details_dialog.h"
#include "zembra/ui/key_list_view.h"

namespace {

constexpr std::size_t kImportBufferChars = 1024;

std::vector<int> SelectedRows(HWND list) {
  std::vector<int> rows;
  for (int row = -1;;) {
    row = static_cast<int>(
        SendMessage(list, LVM_GETNEXTITEM, static_cast<WPARAM>(row), LVNI_SELECTED));
    if (row < 0) break;
    rows.push_back(row);
  }
  return rows;
}

}  // namespace

void CDlgProgress::FillKeyList() {
  m_pKeys = FillKeyRows(m_hKeyList, m_ctx.get());
  Trace("Zembra: key list: %d keys\n", m_pKeys ? static_cast<int>(m_pKeys->size()) : 0);
}

// The ring is read on the operations loop, as a large one takes a while; the rows stay as they are
// until the new listing is complete, and a listing that fails or is cancelled leaves them.
void CDlgProgress::RefreshKeyList() {
  std::unique_ptr<CKeyHandleArray> keys = ListUsableKeysServingWindow(m_ctx.get());
  if (!keys) return;
  ShowKeyRows(m_hKeyList, *keys);
  m_pKeys = std::move(keys);
  Trace("Zembra: key list: %d keys\n", static_cast<int>(m_pKeys->size()));
}

void CDlgProgress::ListKey(const gpgme_key_t& key) { ListKeyRow(m_hKeyList, key); }

CKeyArray CDlgProgress::GetSelectedKeys() {
  return SelectedKeys(m_hKeyList, m_pKeys.get(), m_useDefaultKeys ? &m_defaultKeys : nullptr);
}

int CDlgProgress::Import(const std::string& path) {
  return ImportKeyFile(m_ctx.get(), path, ProgressBar()).imported;
}

LRESULT CDlgProgress::OnClickedImportKeys(WORD, WORD, HWND, BOOL&) {
  const std::string folder = FolderOfFirstFile(m_job.files());
  FileList chosen;
  RunOpenDialog(m_hWnd,
                {kKeyFileFilter, kImportBufferChars, folder.empty() ? nullptr : folder.c_str()},
                chosen);
  int imported = 0;
  ForEachFile(chosen, [&](const std::string& path) { imported += Import(path); });
  if (imported != 0) RefreshKeyList();
  return 0;
}

LRESULT CDlgProgress::OnClickedDeleteKeys(WORD, WORD, HWND, BOOL&) {
  const int n = static_cast<int>(SendMessage(m_hKeyList, LVM_GETSELECTEDCOUNT, 0, 0));
  if (n == 0 || m_pKeys == nullptr) return 0;
  const std::string question = n == 1 ? std::string(LoadMessage(IDS_DELETE_KEY_CONFIRM))
                                      : FormatText(LoadMessage(IDS_DELETE_KEYS_CONFIRM), n);
  if (MessageBox(m_hWnd, question.c_str(), LoadMessage(IDS_PRODUCT_NAME).data(),
                 MB_YESNO | MB_ICONWARNING) != IDYES)
    return 0;
  // From the highest row down, so that the rows still to come keep their indices.
  const std::vector<int> rows = SelectedRows(m_hKeyList);
  for (auto row = rows.rbegin(); row != rows.rend(); ++row) {
    const auto index = static_cast<std::size_t>(*row);
    if (index >= m_pKeys->size()) continue;
    if (!DeleteKey(m_ctx.get(), (*m_pKeys)[index].get()).ok()) continue;
    SendMessage(m_hKeyList, LVM_DELETEITEM, index, 0);
    m_pKeys->erase(m_pKeys->begin() + static_cast<std::ptrdiff_t>(index));
  }
  return 0;
}

LRESULT CDlgProgress::OnClickedCreateKey(WORD, WORD, HWND, BOOL&) {
  CDlgCreateKey dialog;
  if (dialog.DoModal(GetActiveWindow()) != IDOK) return 0;
  KeyParms parms = dialog.Parms();
  CGenKeyResult result;
  {
    CWaitCursor busy;
    result = GenerateKey(m_ctx.get(), parms);
  }
  std::fill(dialog.m_passphrase.begin(), dialog.m_passphrase.end(), '\0');
  std::fill(parms.passphrase.begin(), parms.passphrase.end(), '\0');
  if (!result.generated()) return 0;
  gpgme_key_t key = nullptr;
  const char* fingerprint = result.hasFingerprint() ? result.fingerprint().c_str() : nullptr;
  if (!CheckResult(gpgme_get_key(m_ctx.get(), fingerprint, &key, 0))) return 0;
  if (m_pKeys == nullptr) m_pKeys = std::make_unique<CKeyHandleArray>();
  m_pKeys->push_back(CKeyHandle::Adopt(key));
  ListKey(m_pKeys->back().get());
  return 0;
}

void CDlgProgress::ShowKeyDetails(int row) {
  if (row < 0 || m_pKeys == nullptr || static_cast<std::size_t>(row) >= m_pKeys->size()) return;
  gpgme_key_t key = (*m_pKeys)[static_cast<std::size_t>(row)].get();
  if (key == nullptr || key->fpr == nullptr) return;
  // Read afresh: another program may have changed the key since the list was filled.
  KeyDetails details = ReadKeyDetails(m_ctx.get(), key->fpr);
  if (!details.found) return;
  CDlgKeyDetails dialog(std::move(details));
  dialog.DoModal(m_hWnd);
}

LRESULT CDlgProgress::OnKeyDetails(WORD, WORD, HWND, BOOL&) {
  const std::vector<int> rows = SelectedRows(m_hKeyList);
  if (!rows.empty()) ShowKeyDetails(rows.front());
  return 0;
}

LRESULT CDlgProgress::OnNMDblClkListKeys(int, NMHDR* header, BOOL&) {
  ShowKeyDetails(reinterpret_cast<NMITEMACTIVATE*>(header)->iItem);
  return 0;
}
