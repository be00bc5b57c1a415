// The window's file commands: the job it was opened for, the file buttons and their per-file
// loops, the single-file operations and the choice of files. Each operation runs on the
// window's context with the progress bar as the sink; its outcome is in the log already.
#include <algorithm>
#include <cstring>

#include "platform/core/log.h"
#include "platform/gui/common_dialogs.h"
#include "zembra/operations/file_crypto.h"
#include "zembra/operations/file_signing.h"
#include "zembra/operations/messages.h"
#include "zembra/operations/signers.h"
#include "zembra/ui/dlg_progress.h"

namespace {

constexpr DWORD kChooseFlags = OFN_ALLOWMULTISELECT | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST |
                               OFN_EXPLORER | OFN_ENABLESIZING | OFN_DONTADDTORECENT;
static_assert(kChooseFlags == 0x02881A00);

// Pairs of text and pattern; the literal's own terminator ends the list.
constexpr char kFilter[] = "Encrypted files (*.gpg;*.pgp)\0*.gpg;*.pgp\0All files (*.*)\0*.*\0";

std::function<FileCryptoRun::Kind(const std::string&)> Always(FileCryptoRun::Kind kind) {
  return [kind](const std::string&) { return kind; };
}

}  // namespace

// Runs once, at the end of the window's initialisation. Start commands are posted so that they
// run from the message loop after initialisation has returned.
void CDlgProgress::StartJob() {
  const JobStart start =
      m_job.Start(GetSelectedKeys().count() != 0, m_useDefaultKeys && !m_defaultKeys.empty());
  if (start.keysPrompt) m_job.LogKeysPrompt();
  if (start.command != 0)
    PostMessage(m_hWnd, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(start.command), 0), 0);
  if (start.defaultCommand != 0) SetDefaultButton(m_hWnd, start.defaultCommand);
}

LRESULT CDlgProgress::OnAutoProcessFiles(WORD, WORD, HWND, BOOL&) {
  AutoProcessFiles();
  return 0;
}

void CDlgProgress::AutoProcessFiles() {
  // The bar shows the job: each file that is worked on has its share.
  m_jobFile = 0;
  m_jobFiles = static_cast<std::size_t>(
      std::count_if(m_job.files().begin(), m_job.files().end(),
                    [](const std::string& f) { return ActionForName(f) != FileAction::Wait; }));
  m_job.AutoProcess(
      [this](FileAction action, const std::string& path) {
        switch (action) {
          case FileAction::Verify: Verify(path); break;
          case FileAction::Decrypt: Decrypt(path); break;
          case FileAction::Import: Import(path); break;
          case FileAction::Wait: break;
        }
        ++m_jobFile;
      },
      [this] { return m_cancelled; },
      [this](FileList& paths) {
        const std::size_t count = paths.size();
        RunFileJob(paths, [](const std::string& path) {
          return ActionForName(path) == FileAction::Verify ? FileCryptoRun::Kind::Verify
                                                           : FileCryptoRun::Kind::Decrypt;
        });
        m_jobFile += count;
      });
  m_jobFiles = 0;
  m_jobFile = 0;
}

// The file buttons use the job's paths when there are any, otherwise ask for files first. A
// loop that ran empties the list; one that found no keys or signers keeps it for the next press.
LRESULT CDlgProgress::OnClickedEncrypt(WORD, WORD id, HWND, BOOL&) {
  if (m_job.files().empty()) ChooseFiles(m_hWnd, m_job.files());
  // A press of the button with files and no keys offers a passphrase instead; the job start's
  // own Encrypt command keeps waiting for keys after its prompt.
  if (id == IDC_ENCRYPT && !m_job.files().empty() && GetSelectedKeys().count() == 0) {
    if (MessageBox(m_hWnd, LoadMessage(IDS_ENCRYPT_WITH_PASSPHRASE_QUESTION).data(),
                   LoadMessage(IDS_PRODUCT_NAME).data(), MB_YESNO | MB_ICONQUESTION) == IDYES)
      EncryptFilesWithPassphrase(m_job.files());
    return 0;
  }
  EncryptFiles(m_job.files());
  return 0;
}

LRESULT CDlgProgress::OnEncryptWithPassphrase(WORD, WORD, HWND, BOOL&) {
  if (m_job.files().empty()) ChooseFiles(m_hWnd, m_job.files());
  EncryptFilesWithPassphrase(m_job.files());
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

void CDlgProgress::EncryptFiles(FileList& files) {
  if (files.empty()) return;
  CKeyArray keys = GetSelectedKeys();
  if (keys.count() == 0) return;  // the list waits for a press with keys
  RunFileJob(files, Always(FileCryptoRun::Kind::Encrypt), keys.keys());
}

void CDlgProgress::EncryptFilesWithPassphrase(FileList& files) {
  RunFileJob(files, Always(FileCryptoRun::Kind::EncryptWithPassphrase));
}

void CDlgProgress::DecryptFiles(FileList& files) {
  RunFileJob(files, Always(FileCryptoRun::Kind::Decrypt));
}

void CDlgProgress::SignFiles(FileList& files) {
  if (files.empty()) return;
  if (!PrepareSigners()) return;  // the list waits for a press with signers
  RunFileJob(files, Always(FileCryptoRun::Kind::Sign));
  if (m_ctx) gpgme_signers_clear(m_ctx.get());
}

void CDlgProgress::VerifyFiles(FileList& files) {
  RunFileJob(files, Always(FileCryptoRun::Kind::Verify));
}

void CDlgProgress::ForEachFile(FileList& files,
                               const std::function<void(const std::string&)>& one) {
  std::size_t done = 0;
  m_jobFiles = files.size();
  for (; done < files.size(); ++done) {
    m_jobFile = done;
    one(files[done]);
    if (m_cancelled) break;
  }
  m_jobFiles = 0;
  m_jobFile = 0;
  files.erase(files.begin(), files.begin() + static_cast<std::ptrdiff_t>(done));
}

void CDlgProgress::RunFileJob(FileList& files,
                              const std::function<FileCryptoRun::Kind(const std::string&)>& kindOf,
                              gpgme_key_t* recipients) {
  if (files.empty()) return;
  // A context for each file that runs at once: the window's own, and more as the engine gives.
  // Without an engine, each file is refused on the window's missing context, one at a time.
  std::vector<GpgmeContext> more;
  std::vector<gpgme_ctx_t> contexts{m_ctx.get()};
  for (std::size_t i = 1; m_ctx && i < std::min(JobWidth(), files.size()); ++i) {
    more.push_back(NewEngineContext());
    if (!more.back()) break;
    for (int n = 0; gpgme_key_t signer = gpgme_signers_enum(m_ctx.get(), n); ++n) {
      gpgme_signers_add(more.back().get(), signer);
      gpgme_key_unref(signer);
    }
    contexts.push_back(more.back().get());
  }
  // Within automatic processing these files are a part of the job, and the bar shows the whole.
  const ProgressSink bar = ProgressBar(files.size());
  FileJob job(
      contexts,
      [&kindOf, recipients](const std::string& path) {
        return std::make_unique<FileCryptoRun>(kindOf(path), path, recipients);
      },
      bar);
  m_fileJob = &job;
  job.Run(files);
  m_fileJob = nullptr;
}

void CDlgProgress::Encrypt(const std::string& path, gpgme_key_t* recipients) {
  EncryptFile(m_ctx.get(), path, recipients, ProgressBar());
}

void CDlgProgress::EncryptWithPassphrase(const std::string& path) {
  EncryptFileWithPassphrase(m_ctx.get(), path, ProgressBar());
}

void CDlgProgress::Decrypt(const std::string& path) {
  DecryptFile(m_ctx.get(), path, ProgressBar());
}

void CDlgProgress::Sign(const std::string& path) { SignFile(m_ctx.get(), path, ProgressBar()); }

void CDlgProgress::Verify(const std::string& path) { VerifyFile(m_ctx.get(), path, ProgressBar()); }

bool CDlgProgress::PrepareSigners() {
  CKeyArray keys = GetSelectedKeys();
  return AddSigners(m_ctx.get(), keys.keys());
}

int ChooseFiles(HWND owner, FileList& files) {
  return RunOpenDialog(owner, {kFilter, 2048, nullptr}, files);
}

int RunOpenDialog(HWND owner, const OpenDialogSetup& setup, FileList& files) {
  const std::size_t kBufferChars = setup.bufferChars;
  std::vector<char> buffer(kBufferChars, '\0');
  OPENFILENAME ofn;
  ofn.hwndOwner = owner;
  ofn.lpstrFilter = setup.filter;
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = buffer.data();
  ofn.nMaxFile = static_cast<DWORD>(buffer.size());
  ofn.lpstrInitialDir = setup.initialDir;
  ofn.Flags = kChooseFlags;

  if (!GetOpenFileName(&ofn)) {
    const DWORD code = CommDlgExtendedError();
    if (code == FNERR_BUFFERTOOSMALL) {
      LogRes(IDS_TOO_MANY_FILES);
    } else {
      // Code 0 is a cancel; its system text is written all the same. Plain text, never a format.
      std::string text = SystemMessageText(code);
      if (text.size() >= kBufferChars) text.resize(kBufferChars - 1);
      Log("%s", text);
    }
    return 0;
  }

  // The buffer is always terminated within its size, whatever the dialog left there.
  buffer.back() = '\0';
  const std::size_t offset = ofn.nFileOffset;
  if (offset == 0 || offset >= buffer.size() || buffer[offset - 1] != '\0') {
    // One file: the buffer holds its full path.
    files.emplace_back(buffer.data());
  } else {
    // Several: "folder\0name\0name\0\0".
    const std::string folder(buffer.data());
    const std::string prefix = folder.ends_with('/') ? folder : folder + '/';
    for (std::size_t p = offset; p < buffer.size() && buffer[p] != '\0';) {
      const std::string name(&buffer[p]);
      files.push_back(prefix + name);
      p += name.size() + 1;
    }
  }
  return static_cast<int>(files.size());
}

std::string FolderOfFirstFile(const FileList& files) {
  if (files.empty()) return {};
  const std::size_t slash = files.front().rfind('/');
  return slash == std::string::npos ? std::string() : files.front().substr(0, slash + 1);
}
