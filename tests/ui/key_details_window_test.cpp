// "&Details..." of the key list's pop-up menu and a double click on a row: the details dialog
// over the operations window, with the whole fingerprint, the user IDs, the subkeys, the owner
// trust, and the button that copies the fingerprint.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/gui/clipboard.h"
#include "platform/gui/scripted_dialogs.h"
#include "tests/support/key_ring.h"
#include "tests/ui/window_actions.h"
#include "zembra/ui/key_details_dialog.h"

namespace {

class KeyDetailsWindow : public KeyRingTest {
 protected:
  KeyRingOptions keyRingOptions() const override { return {.keys = {"alice", "dave"}}; }
  ScriptedDialogs m_dialogs;
};

int RowOf(WindowProbe& w, const std::string& keyId) {
  const std::vector<std::string> ids = RowKeyIds(w);
  for (std::size_t i = 0; i < ids.size(); ++i)
    if (ids[i] == keyId) return static_cast<int>(i);
  return -1;
}

std::string ListCell(HWND list, int row, int column) {
  char buffer[512] = {};
  LVITEM item;
  item.iSubItem = column;
  item.pszText = buffer;
  item.cchTextMax = sizeof buffer;
  SendMessage(list, LVM_GETITEMTEXT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
  return buffer;
}

int Rows(HWND list) { return static_cast<int>(SendMessage(list, LVM_GETITEMCOUNT, 0, 0)); }

// What the dialog showed, read from its controls.
struct Shown {
  std::string caption;
  std::string fingerprint;
  std::string ownerTrust;
  std::string secret;
  std::vector<std::vector<std::string>> userIds;
  std::vector<std::vector<std::string>> subkeys;
};

Shown Read(HWND dialog) {
  Shown s;
  s.caption = GetWindowTextString(dialog);
  s.fingerprint = GetDlgItemTextString(dialog, IDC_DETAILS_FINGERPRINT);
  s.ownerTrust = GetDlgItemTextString(dialog, IDC_DETAILS_OWNER_TRUST);
  s.secret = GetDlgItemTextString(dialog, IDC_DETAILS_SECRET);
  HWND uids = GetDlgItem(dialog, IDC_DETAILS_USER_IDS);
  for (int row = 0; row < Rows(uids); ++row)
    s.userIds.push_back({ListCell(uids, row, 0), ListCell(uids, row, 1)});
  HWND subs = GetDlgItem(dialog, IDC_DETAILS_SUBKEYS);
  for (int row = 0; row < Rows(subs); ++row) {
    std::vector<std::string> cells;
    for (int column = 0; column < 7; ++column) cells.push_back(ListCell(subs, row, column));
    s.subkeys.push_back(cells);
  }
  return s;
}

}  // namespace

TEST_F(KeyDetailsWindow, DetailsFromThePopupMenuShowTheSelectedKey) {
  Shown shown;
  std::vector<UINT> offered;
  WindowProbe w(nullptr, cmdNone);
  m_dialogs.answerPopupMenu(ID_MENU_DETAILS);
  w.then([&](WindowProbe& p) {
    const int row = RowOf(p, ring().keyId("dave"));
    ASSERT_GE(row, 0);
    WhenDialogOpens(p, [&](HWND dialog) {
      shown = Read(dialog);
      ClickControl(dialog, IDOK);
    });
    ClickRow(p, row);
    ClickRow(p, row, Qt::RightButton);
    const auto menus = m_dialogs.asked(ScriptedDialogs::Kind::PopupMenu);
    ASSERT_EQ(menus.size(), 1u);
    offered = menus[0].menuIds;
  });
  // The chosen item arrives as a posted command, after the click.
  w.then([&](WindowProbe& p) {
    EXPECT_EQ(LogText(p), "");
    PressEscape(p);
  });
  EXPECT_EQ(w.DoModal(), IDCANCEL);
  // The original items first, then the new one.
  EXPECT_EQ(offered,
            (std::vector<UINT>{1205, 1209, 1207, 1208, 1214, 1220, 1221, 1222, 1223, 1224}));
  EXPECT_EQ(shown.caption, "Key Details");
  EXPECT_EQ(shown.fingerprint, "1942 B8AD 64AC 917C 882E 7C93 D6FC 8652 1C12 312C");
  EXPECT_EQ(shown.ownerTrust, "Ultimate");
  EXPECT_EQ(shown.secret, "The secret key is in the key ring.");
  ASSERT_EQ(shown.userIds.size(), 1u);
  EXPECT_EQ(shown.userIds[0], (std::vector<std::string>{"Ultimate", "Dave <dave@example.org>"}));
  ASSERT_EQ(shown.subkeys.size(), 2u);
  EXPECT_EQ(shown.subkeys[0][0], "D6FC86521C12312C");
  EXPECT_EQ(shown.subkeys[0][1], "EdDSA (ed25519)");
  EXPECT_EQ(shown.subkeys[0][2], "255");
  EXPECT_EQ(shown.subkeys[0][3], "Sign, Certify");
  EXPECT_EQ(shown.subkeys[0][5], "never");
  EXPECT_EQ(shown.subkeys[1][0], "A014E907C9AE2FE4");
  EXPECT_EQ(shown.subkeys[1][1], "ECDH (cv25519)");
  EXPECT_EQ(shown.subkeys[1][3], "Encrypt");
  EXPECT_EQ(shown.subkeys[1][6], "");
}

TEST_F(KeyDetailsWindow, ADoubleClickShowsThatRowsKeyAndCopyPutsTheFingerprintOnTheClipboard) {
  Shown shown;
  std::string copied;
  WindowProbe w(nullptr, cmdNone);
  w.then([&](WindowProbe& p) {
    const int row = RowOf(p, ring().keyId("alice"));
    ASSERT_GE(row, 0);
    WhenDialogOpens(p, [&](HWND dialog) {
      shown = Read(dialog);
      ClickControl(dialog, IDC_COPY_FINGERPRINT);
      Clipboard(nullptr).ReadBytes(CF_UNICODETEXT, &copied);
      // Escape closes it as the close box does.
      QTest::keyClick(WindowProbe::Widget(dialog), Qt::Key_Escape);
    });
    QTest::mouseDClick(Viewport(p), Qt::LeftButton, {}, RowCentre(p, row));
    PressEscape(p);
  });
  EXPECT_EQ(w.DoModal(), IDCANCEL);
  EXPECT_EQ(shown.fingerprint, "1F9B 3C20 CC70 5BEA 8CB5 27A2 31B1 68FB 1B1A 2766");
  EXPECT_EQ(copied, ring().fingerprint("alice"));
  ASSERT_EQ(shown.subkeys.size(), 2u);
  EXPECT_EQ(shown.subkeys[0][1], "RSA");
  EXPECT_EQ(shown.subkeys[0][2], "2048");
}

TEST_F(KeyDetailsWindow, ADoubleClickBelowTheRowsOpensNothing) {
  bool opened = false;
  WindowProbe w(nullptr, cmdNone);
  w.then([&](WindowProbe& p) {
    WhenDialogOpens(
        p,
        [&](HWND dialog) {
          opened = true;
          ClickControl(dialog, IDOK);
        },
        50);
    const QPoint below(RowCentre(p, RowCount(p) - 1) + QPoint(0, 80));
    QTest::mouseDClick(Viewport(p), Qt::LeftButton, {}, below);
  });
  w.then([&](WindowProbe& p) { PressEscape(p); });
  EXPECT_EQ(w.DoModal(), IDCANCEL);
  EXPECT_FALSE(opened);
}
