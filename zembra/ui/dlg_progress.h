// The operations window: the job it was opened for, the key list, progress and log, and the
// buttons for operations on files, the clipboard and keys.
#pragma once

#include <gpgme.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/gui/dialog.h"
#include "platform/gui/menu.h"
#include "zembra/engine/engine.h"
#include "zembra/engine/progress.h"
#include "zembra/keys/key_list.h"
#include "zembra/operations/file_job.h"
#include "zembra/operations/job.h"
#include "zembra/ui/resource_ids.h"

const DialogTemplate& ProgressDialogTemplate();
const MenuTemplate& ProgressPopupMenu();

class CDlgProgress : public CDialogBase {
 public:
  // From a split command line: argument 1 the command number, 2 and up the paths.
  CDlgProgress(int argc, char** argv);
  // From a file array (may be null) and a command.
  CDlgProgress(const FileList* files, e_command command);
  ~CDlgProgress() override;

  INT_PTR Exec(HWND parent, LPARAM initParam);

  void SetUseDefaultKeys(bool use);
  void SetExportMode(bool secret, bool binary);
  bool IsExportSecret() const { return m_exportSecret; }
  bool IsExportBinary() const { return m_exportBinary; }

  // What the window holds: its job, and whether a key listing and an engine context are alive
  // (both are released when the window closes).
  const Job& job() const { return m_job; }
  bool HoldsKeys() const { return m_pKeys != nullptr; }
  bool HoldsContext() const { return m_ctx != nullptr; }
  // Makes the keys that can sign the default keys, stores them and puts them in use.
  void ComputeDefaultKeys();

  void EncryptFiles(FileList& files);
  void DecryptFiles(FileList& files);
  void SignFiles(FileList& files);
  void VerifyFiles(FileList& files);
  // Encrypts each file for a passphrase the engine asks for, instead of keys.
  void EncryptFilesWithPassphrase(FileList& files);

  // The window's message map, one row per behaviour, in the order they are tried.
  BEGIN_MSG_MAP(CDlgProgress)
  MESSAGE_HANDLER(WM_INITDIALOG, OnInitDialog)
  NOTIFY_HANDLER(IDC_KEY_LIST, NM_RCLICK, OnListViewItemRClick)
  NOTIFY_HANDLER(IDC_UPDATE_LINK, NM_CLICK, OnLinkClicked)
  NOTIFY_HANDLER(IDC_UPDATE_LINK, NM_RETURN, OnLinkClicked)
  COMMAND_HANDLER(IDCANCEL, BN_CLICKED, OnClickedCancel)
  COMMAND_HANDLER(IDC_CLOSE, BN_CLICKED, OnClickedCancel)
  COMMAND_HANDLER(IDC_ENCRYPT, BN_CLICKED, OnClickedEncrypt)
  COMMAND_HANDLER(IDC_DECRYPT, BN_CLICKED, OnClickedDecrypt)
  COMMAND_HANDLER(IDC_ENCRYPT_CLIPBOARD, BN_CLICKED, OnClickedEncryptClipboard)
  COMMAND_HANDLER(IDC_DECRYPT_CLIPBOARD, BN_CLICKED, OnClickedDecryptClipboard)
  COMMAND_HANDLER(IDC_CREATE_KEY, BN_CLICKED, OnClickedCreateKey)
  COMMAND_HANDLER(IDC_DELETE_KEYS, BN_CLICKED, OnClickedDeleteKeys)
  COMMAND_HANDLER(IDC_SIGN, BN_CLICKED, OnClickedSign)
  COMMAND_HANDLER(IDC_VERIFY, BN_CLICKED, OnClickedVerify)
  COMMAND_HANDLER(IDC_EXPORT_KEYS, BN_CLICKED, OnClickedExportKeys)
  COMMAND_HANDLER(IDC_IMPORT_KEYS, BN_CLICKED, OnClickedImportKeys)
  COMMAND_HANDLER(IDC_USE_DEFAULT_KEYS, BN_CLICKED, OnClickedUseDefaultKeys)
  COMMAND_ID_HANDLER(ID_AUTO_PROCESS_FILES, OnAutoProcessFiles)
  COMMAND_ID_HANDLER(ID_DECRYPT_FILES, OnClickedDecrypt)
  COMMAND_ID_HANDLER(ID_MENU_ENCRYPT, OnClickedEncrypt)
  COMMAND_ID_HANDLER(ID_MENU_SIGN, OnClickedSign)
  COMMAND_ID_HANDLER(ID_MENU_VERIFY, OnClickedVerify)
  COMMAND_ID_HANDLER(ID_ENCRYPT_CLIPBOARD, OnClickedEncryptClipboard)
  COMMAND_ID_HANDLER(ID_MENU_SIGN_CLIPBOARD, OnClickedSignClipboard)
  COMMAND_ID_HANDLER(ID_MENU_VERIFY_CLIPBOARD, OnClickedVerifyClipboard)
  COMMAND_ID_HANDLER(ID_MENU_EXPORT, OnClickedExportKeys)
  COMMAND_ID_HANDLER(ID_MENU_SET_DEFAULT, OnSetDefaultKeys)
  NOTIFY_HANDLER(IDC_KEY_LIST, NM_CLICK, OnNMClickListKeys)
  COMMAND_ID_HANDLER(ID_MENU_CHANGE_PASSPHRASE, OnChangePassphrase)
  COMMAND_ID_HANDLER(ID_MENU_CHANGE_EXPIRY, OnChangeExpiry)
  COMMAND_ID_HANDLER(ID_MENU_SET_OWNER_TRUST, OnSetOwnerTrust)
  COMMAND_ID_HANDLER(ID_MENU_EXPORT_REVOCATION, OnExportRevocationCertificate)
  COMMAND_ID_HANDLER(ID_MENU_ENCRYPT_PASSPHRASE, OnEncryptWithPassphrase)
  COMMAND_ID_HANDLER(ID_MENU_DETAILS, OnKeyDetails)
  NOTIFY_HANDLER(IDC_KEY_LIST, NM_DBLCLK, OnNMDblClkListKeys)
  END_MSG_MAP()

  LRESULT OnInitDialog(UINT message, WPARAM wParam, LPARAM lParam, BOOL& handled);
  LRESULT OnClickedCancel(WORD code, WORD id, HWND control, BOOL& handled);
  LRESULT OnClickedEncrypt(WORD code, WORD id, HWND control, BOOL& handled);
  LRESULT OnClickedDecrypt(WORD code, WORD id, HWND control, BOOL& handled);
  LRESULT OnClickedSign(WORD code, WORD id, HWND control, BOOL& handled);
  LRESULT OnClickedVerify(WORD code, WORD id, HWND control, BOOL& handled);
  LRESULT OnClickedEncryptClipboard(WORD code, WORD id, HWND control, BOOL& handled);
  LRESULT OnClickedDecryptClipboard(WORD code, WORD id, HWND control, BOOL& handled);
  LRESULT OnClickedSignClipboard(WORD code, WORD id, HWND control, BOOL& handled);
  LRESULT OnClickedVerifyClipboard(WORD code, WORD id, HWND control, BOOL& handled);
  LRESULT OnClickedCreateKey(WORD code, WORD id, HWND control, BOOL& handled);
  LRESULT OnClickedDeleteKeys(WORD code, WORD id, HWND control, BOOL& handled);
  LRESULT OnClickedExportKeys(WORD code, WORD id, HWND control, BOOL& handled);
  LRESULT OnClickedImportKeys(WORD code, WORD id, HWND control, BOOL& handled);
  LRESULT OnClickedUseDefaultKeys(WORD code, WORD id, HWND control, BOOL& handled);
  LRESULT OnSetDefaultKeys(WORD code, WORD id, HWND control, BOOL& handled);
  LRESULT OnListViewItemRClick(int id, NMHDR* header, BOOL& handled);
  LRESULT OnNMClickListKeys(int id, NMHDR* header, BOOL& handled);
  // "&Details..." of the pop-up menu: the first selected row's key; a double click: its row's.
  LRESULT OnKeyDetails(WORD code, WORD id, HWND control, BOOL& handled);
  LRESULT OnNMDblClkListKeys(int id, NMHDR* header, BOOL& handled);
  LRESULT OnLinkClicked(int id, NMHDR* header, BOOL& handled);
  LRESULT OnSplitButtonDropdown(int id, NMHDR* header, BOOL& handled);
  // Key upkeep on the first selected row's key; the row shows the key as the ring then holds it.
  LRESULT OnChangePassphrase(WORD code, WORD id, HWND control, BOOL& handled);
  LRESULT OnChangeExpiry(WORD code, WORD id, HWND control, BOOL& handled);
  LRESULT OnSetOwnerTrust(WORD code, WORD id, HWND control, BOOL& handled);
  LRESULT OnExportRevocationCertificate(WORD code, WORD id, HWND control, BOOL& handled);
  LRESULT OnEncryptWithPassphrase(WORD code, WORD id, HWND control, BOOL& handled);

 protected:
  void OnCommandRunning(bool running) override;
  // Runs one on each file in order until the user cancels: the files done leave the list, the
  // one cancelled and those after it stay for the buttons.
  void ForEachFile(FileList& files, const std::function<void(const std::string&)>& one);
  // Runs kindOf(path) on each file, several at once on contexts of their own (JobWidth) that sign
  // with the window's signers, with the log and the list as ForEachFile leaves them.
  void RunFileJob(FileList& files,
                  const std::function<FileCryptoRun::Kind(const std::string&)>& kindOf,
                  gpgme_key_t* recipients = nullptr);
  LRESULT OnAutoProcessFiles(WORD code, WORD id, HWND control, BOOL& handled);
  void AutoProcessFiles();
  void StartJob();

  // Single-file operations; each forwards to its operation with the window's context and its
  // progress bar as the sink.
  void Encrypt(const std::string& path, gpgme_key_t* recipients);
  void EncryptWithPassphrase(const std::string& path);
  void Decrypt(const std::string& path);
  void Sign(const std::string& path);
  void Verify(const std::string& path);
  // The number of keys imported from the file.
  int Import(const std::string& path);
  bool PrepareSigners();

  // Clipboard operations.
  void EncryptClipboard();
  void DecryptClipboard();
  void SignClipboard();
  void VerifyClipboard();

  // Keys.
  void FillKeyList();
  // Reads the ring again after a change of many keys, serving the window meanwhile.
  void RefreshKeyList();
  void ListKey(const gpgme_key_t& key);
  CKeyArray GetSelectedKeys();
  void LoadDefaultKeys();
  // The first selected row, or -1 (none, or no listed key behind it).
  int FirstSelectedKeyRow() const;
  // Reads the row's key again from the ring and shows it; a key that is gone keeps its row.
  void RefreshKeyRow(int row);
  // Shows the details dialog of the key of that row; nothing for a row without a key.
  void ShowKeyDetails(int row);

  // The progress bar as the progress sink of an operation on the next files of the job (the
  // whole bar outside a job of several files).
  ProgressSink ProgressBar(std::size_t files = 1) const;

  void PopupMenu(POINT point, int position);
  void DlgButtonStateUpdate();

  // Job members, in this order. Rows of the key list and m_pKeys change together: row i shows
  // element i.
  Job m_job;  // its file list is the window's m_files
  HWND m_hKeyList = nullptr;
  HWND m_hProgress = nullptr;
  HWND m_hNotify = nullptr;
  GpgmeContext m_ctx;
  std::unique_ptr<CKeyHandleArray> m_pKeys;
  CKeyHandleArray m_defaultKeys;
  bool m_exportSecret = false;
  bool m_exportBinary = false;
  bool m_useDefaultKeys = false;
  bool m_cancelled = false;  // the user cancelled the command that runs
  // The file of a loop over files that runs, and how many the loop has (0: no loop).
  std::size_t m_jobFile = 0;
  std::size_t m_jobFiles = 0;
  FileJob* m_fileJob = nullptr;  // the job of several files that runs
  std::string m_closeText;       // the Close button's text while it reads Cancel
};

// Runs a clipboard operation for a host program with a window of its own: a copied file list
// opens the operations window on those files (dialog points at it while it is open); text is
// decrypted, or verified for cmdVerify, in place on an engine context of its own.
void ClipboardOperation(HWND window, CDlgProgress*& dialog, e_command command);
// The hook of the export dialog's options panel: shows the window's export choices and hands
// them back to it when the user confirms a name.
UINT_PTR ExportOptionsHookProc(HWND panel, UINT message, WPARAM wParam, LPARAM lParam);

// Lets the user choose files into the list; returns the number of entries the list then holds
// (0 on failure or cancel).
int ChooseFiles(HWND owner, FileList& files);
// A progress sink that sends each position to the bar (range 0 to 1000); empty for null.
ProgressSink ProgressBarSink(HWND bar);
// The multi-select open dialog behind ChooseFiles, with its filter pairs, its result buffer's
// size and a starting folder (null: none); failures and cancels are logged the same way.
struct OpenDialogSetup {
  const char* filter;
  std::size_t bufferChars;
  const char* initialDir;
};
int RunOpenDialog(HWND owner, const OpenDialogSetup& setup, FileList& files);
// The filter pairs of the key files that import reads and export writes.
inline constexpr char kKeyFileFilter[] = "Key files (*.asc)\0*.asc\0All files (*.*)\0*.*\0";
// The folder of the first file, separator included, where the key dialogs start; empty when
// there is none.
std::string FolderOfFirstFile(const FileList& files);
// Makes id the dialog's default command and moves the default-button look.
void SetDefaultButton(HWND dialog, int id);
