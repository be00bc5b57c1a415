// The choice of files for an operation button and of key files to import, through the
// open-file dialog.
#include <cstring>

#include "platform/core/log.h"
#include "platform/gui/common_dialogs.h"
#include "zembra/operations/messages.h"
#include "zembra/ui/dlg_progress.h"

namespace {

constexpr DWORD kChooseFlags = OFN_ALLOWMULTISELECT | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST |
                               OFN_EXPLORER | OFN_ENABLESIZING | OFN_DONTADDTORECENT;
static_assert(kChooseFlags == 0x02881A00);

// Pairs of text and pattern; the literal's own terminator ends the list.
constexpr char kFilter[] = "Encrypted files (*.gpg;*.pgp)\0*.gpg;*.pgp\0All files (*.*)\0*.*\0";

}  // namespace

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
