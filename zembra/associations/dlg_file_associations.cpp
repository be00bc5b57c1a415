#include "zembra/associations/dlg_file_associations.h"

#include "platform/core/text.h"
#include "zembra/associations/file_associations.h"
#include "zembra/operations/messages.h"

namespace {

void FreeCurrentTexts() {
  for (FileAssociation& row : g_fileAssociations) row.currentText.reset();
}

}  // namespace

CDlgFileAssociations::CDlgFileAssociations() : CDialogBase(FileAssociationsDialogTemplate()) {}

CDlgFileAssociations::~CDlgFileAssociations() = default;

INT_PTR CDlgFileAssociations::Exec(HWND parent, LPARAM initParam) {
  return DoModal(parent, initParam);
}

LRESULT CDlgFileAssociations::OnInitDialog(UINT, WPARAM, LPARAM, BOOL&) {
  const std::string program = AssociationProgramPath();
  m_shownRow = -1;
  m_hList = GetDlgItem(IDC_ASSOCIATION_LIST);
  SendMessage(m_hList, LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
              LVS_EX_GRIDLINES | LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);

  RECT client;
  GetClientRect(m_hList, &client);
  const std::string extension(LoadMessage(IDS_COLUMN_EXTENSION));
  const std::string description(LoadMessage(IDS_COLUMN_DESCRIPTION));
  LVCOLUMN column;
  column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT;
  column.fmt = LVCFMT_LEFT;
  column.cx = 80;
  column.pszText = extension.c_str();
  SendMessage(m_hList, LVM_INSERTCOLUMN, 0, reinterpret_cast<LPARAM>(&column));
  column.cx = static_cast<int>(client.right - client.left) - 80;
  column.pszText = description.c_str();
  SendMessage(m_hList, LVM_INSERTCOLUMN, 1, reinterpret_cast<LPARAM>(&column));

  for (int i = 0; i < kFileAssociationCount; ++i) {
    FileAssociation& row = g_fileAssociations[i];
    std::string text = row.extension;
    LVITEM item;
    item.mask = LVIF_TEXT;
    item.iItem = i;
    item.pszText = text.data();
    SendMessage(m_hList, LVM_INSERTITEM, 0, reinterpret_cast<LPARAM>(&item));
    std::string second = row.description;
    item.iSubItem = 1;
    item.pszText = second.data();
    SendMessage(m_hList, LVM_SETITEMTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));

    row.current = 0;
    row.currentText = GetCurrentAssociation(row.extension);
    if (row.currentText) {
      const std::size_t lineFeed = row.currentText->find('\n');
      const std::string_view path = lineFeed == std::string::npos
                                        ? std::string_view()
                                        : std::string_view(*row.currentText).substr(lineFeed + 1);
      if (lineFeed != std::string::npos && EqualsNoCase(path, program)) {
        LVITEM state;
        state.state = INDEXTOSTATEIMAGEMASK(2);
        state.stateMask = LVIS_STATEIMAGEMASK;
        SendMessage(m_hList, LVM_SETITEMSTATE, static_cast<WPARAM>(i),
                    reinterpret_cast<LPARAM>(&state));
        row.current = 1;
      }
    }
  }
  return TRUE;
}

LRESULT CDlgFileAssociations::OnItemChanged(int, NMHDR*, BOOL&) {
  const int selected = static_cast<int>(
      SendMessage(m_hList, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
  if (selected < 0 || selected >= kFileAssociationCount) {
    SetDlgItemText(m_hWnd, IDC_CURRENT_ASSOCIATION, "(no selection)");
    m_shownRow = -1;
  } else if (selected != m_shownRow) {
    const FileAssociation& row = g_fileAssociations[selected];
    SetDlgItemText(m_hWnd, IDC_CURRENT_ASSOCIATION,
                   row.currentText ? row.currentText->c_str() : "(none)");
    m_shownRow = selected;
  }
  return 0;
}

LRESULT CDlgFileAssociations::OnRegister(WORD, WORD, HWND, BOOL&) {
  for (int i = 0; i < kFileAssociationCount; ++i) {
    const UINT image = static_cast<UINT>(
        SendMessage(m_hList, LVM_GETITEMSTATE, static_cast<WPARAM>(i), LVIS_STATEIMAGEMASK));
    g_fileAssociations[i].wanted = ((image >> 12) - 1) == 1 ? 1 : 0;
  }
  FreeCurrentTexts();
  EndDialog(IDOK);
  return 0;
}

LRESULT CDlgFileAssociations::OnCancel(WORD, WORD, HWND, BOOL&) {
  FreeCurrentTexts();
  EndDialog(IDCANCEL);
  return 0;
}
