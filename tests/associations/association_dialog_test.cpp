// The associations dialog on its real list: check marks from the registry and the desktop, the
// "Current association" text as rows are clicked, and what "&Register" and Cancel record.
#include <QTest>
#include <QTreeView>
#include <QWidget>

#include <gtest/gtest.h>

#include <deque>
#include <functional>

#include "platform/core/registry.h"
#include "tests/associations/association_env.h"
#include "zembra/associations/dlg_file_associations.h"
#include "zembra/associations/file_associations.h"

namespace {

// Runs the dialog and performs each step from a posted message once it is on screen.
class AssociationsProbe : public CDlgFileAssociations {
 public:
  using Step = std::function<void(AssociationsProbe&)>;
  AssociationsProbe& then(Step step) {
    m_steps.push_back(std::move(step));
    return *this;
  }

  BOOL ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                            LRESULT& result, DWORD msgMapId = 0) override {
    if (message == kRunStep) {
      result = 0;
      if (!m_steps.empty()) {
        Step step = std::move(m_steps.front());
        m_steps.pop_front();
        step(*this);
        if (!m_steps.empty()) PostMessage(window, kRunStep, 0, 0);
      }
      return TRUE;
    }
    const BOOL handled = CDlgFileAssociations::ProcessWindowMessage(window, message, wParam, lParam,
                                                                    result, msgMapId);
    if (message == WM_INITDIALOG) PostMessage(window, kRunStep, 0, 0);
    return handled;
  }

  HWND list() const { return GetDlgItem(IDC_ASSOCIATION_LIST); }
  QTreeView* view() const { return reinterpret_cast<QTreeView*>(list()); }

  bool checked(int row) const {
    return (SendMessage(list(), LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_STATEIMAGEMASK) >>
            12) == 2;
  }
  // The static's text with CR LF read as one line break.
  std::string shown() const {
    std::string text = GetDlgItemTextString(m_hWnd, IDC_CURRENT_ASSOCIATION);
    std::string out;
    for (char c : text) {
      if (c != '\r') out += c;
    }
    return out;
  }
  void clickRow(int row) const {
    RECT r;
    SendMessage(list(), LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&r));
    QTest::mouseClick(
        view()->viewport(), Qt::LeftButton, {},
        QPoint(static_cast<int>(r.left + 30), static_cast<int>((r.top + r.bottom) / 2)));
  }
  void clickEmptyPart() const {
    QWidget* viewport = view()->viewport();
    QTest::mouseClick(viewport, Qt::LeftButton, {}, QPoint(30, viewport->height() - 3));
  }
  void pressSpace() const { QTest::keyClick(view(), Qt::Key_Space); }
  void click(int id) const {
    QTest::mouseClick(reinterpret_cast<QWidget*>(GetDlgItem(id)), Qt::LeftButton);
  }

 private:
  static constexpr UINT kRunStep = WM_USER + 0x310;
  std::deque<Step> m_steps;
};

void SetText(const char* path, const std::string& text) {
  RegKey key;
  ASSERT_EQ(RegCreateKeyEx(HKEY_CLASSES_ROOT, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                           key.put(), nullptr),
            ERROR_SUCCESS);
  RegSetValueEx(key.get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                static_cast<DWORD>(text.size() + 1));
}

// ".gpg" with Zembra, ".pgp" with another program, ".asc" with nothing.
void MixedAssociations() {
  RegisterFileAssociation(g_fileAssociations[0]);
  SetText(".pgp", "Other.Viewer");
  SetText("Other.Viewer", "Other viewer file");
  SetText("Other.Viewer\\shell\\open\\command", "\"/usr/bin/other viewer\" \"%1\"");
  ResetAssociationTable();
}

}  // namespace

TEST(AssociationsDialog, ChecksFollowTheRegistryAndTheDesktopAndRowsShowTheirText) {
  AssociationEnv env;
  MixedAssociations();
  AssociationsProbe dialog;
  dialog
      .then([](AssociationsProbe& d) {
        EXPECT_TRUE(d.checked(0));
        EXPECT_FALSE(d.checked(1));
        EXPECT_FALSE(d.checked(2));
        EXPECT_EQ(d.shown(), "(no selection)");
        char text[32] = {};
        LVITEM item;
        item.iSubItem = 1;
        item.pszText = text;
        item.cchTextMax = sizeof text;
        SendMessage(d.list(), LVM_GETITEMTEXT, 2, reinterpret_cast<LPARAM>(&item));
        EXPECT_STREQ(text, "Zembra key file");
        d.clickRow(1);
      })
      .then([](AssociationsProbe& d) {
        EXPECT_EQ(d.shown(), "Other viewer file\n/usr/bin/other viewer");
        d.clickRow(0);
      })
      .then([](AssociationsProbe& d) {
        EXPECT_EQ(d.shown(), "Zembra encrypted file\n" + BuildProgramPath());
        d.clickRow(2);
      })
      .then([](AssociationsProbe& d) {
        EXPECT_EQ(d.shown(), "(none)");
        d.clickEmptyPart();
      })
      .then([](AssociationsProbe& d) {
        EXPECT_EQ(d.shown(), "(no selection)");
        d.clickRow(2);
      })
      .then([](AssociationsProbe& d) {
        EXPECT_EQ(d.shown(), "(none)");
        // A check toggled on the selected row leaves the text alone.
        SetDlgItemText(d.m_hWnd, IDC_CURRENT_ASSOCIATION, "untouched");
        d.pressSpace();
      })
      .then([](AssociationsProbe& d) {
        EXPECT_TRUE(d.checked(2));
        EXPECT_EQ(d.shown(), "untouched");
        d.click(IDCANCEL);
      });
  EXPECT_EQ(dialog.Exec(nullptr, 0), IDCANCEL);
  // Cancel keeps the earlier wishes and frees the texts; `current` shows the registry.
  EXPECT_EQ(g_fileAssociations[2].wanted, 0);
  EXPECT_EQ(g_fileAssociations[0].current, 1);
  for (const FileAssociation& row : g_fileAssociations) EXPECT_FALSE(row.currentText);
}

TEST(AssociationsDialog, RegisterWithoutChangesMakesSetupChangeNothing) {
  AssociationEnv env;
  MixedAssociations();
  const std::string pgp = env.exportKey("HKCR\\.pgp");
  const std::string mimeApps = ReadFile(env.mimeAppsList());
  AssociationsProbe dialog;
  dialog.then([](AssociationsProbe& d) { d.click(IDOK); });
  EXPECT_EQ(dialog.Exec(nullptr, 0), IDOK);
  for (const FileAssociation& row : g_fileAssociations) {
    EXPECT_EQ(row.wanted, row.current) << row.extension;
    EXPECT_FALSE(row.currentText);
  }
  SetupFileAssociations();
  EXPECT_EQ(env.exportKey("HKCR\\.pgp"), pgp);
  EXPECT_EQ(ReadFile(env.mimeAppsList()), mimeApps);
}

TEST(AssociationsDialog, RegisterRecordsTheChecksAndSetupAppliesThem) {
  AssociationEnv env;
  MixedAssociations();
  AssociationsProbe dialog;
  dialog.then([](AssociationsProbe& d) { d.clickRow(0); })
      .then([](AssociationsProbe& d) {
        d.pressSpace();  // ".gpg" off
      })
      .then([](AssociationsProbe& d) { d.clickRow(2); })
      .then([](AssociationsProbe& d) {
        d.pressSpace();  // ".asc" on
      })
      .then([](AssociationsProbe& d) {
        EXPECT_FALSE(d.checked(0));
        EXPECT_TRUE(d.checked(2));
        d.click(IDOK);
      });
  EXPECT_EQ(dialog.Exec(nullptr, 0), IDOK);
  EXPECT_EQ(g_fileAssociations[0].wanted, 0);
  EXPECT_EQ(g_fileAssociations[1].wanted, 0);
  EXPECT_EQ(g_fileAssociations[2].wanted, 1);
  SetupFileAssociations();
  EXPECT_EQ(env.exportKey("HKCR\\.gpg"), "");
  EXPECT_NE(env.exportKey("HKCR\\.pgp"), "");  // the other program's stays
  EXPECT_EQ(GetCurrentAssociation(".asc"), "Zembra key file\r\n" + BuildProgramPath());
}
