// Template 1006 and menu 108: the frame, the styles and the pop-up menus. What the laid-out
// window shows of the template is checked on the rendered window.
#include <gtest/gtest.h>

#include <string>

#include "zembra/ui/dlg_progress.h"

TEST(ProgressTemplate, DialogFrame) {
  const DialogTemplate& t = ProgressDialogTemplate();
  EXPECT_EQ(t.id, 1006);
  EXPECT_STREQ(t.caption, "Zembra");
  EXPECT_EQ(t.cx, 393);
  EXPECT_EQ(t.cy, 237);
  EXPECT_STREQ(t.font, "Microsoft Sans Serif");
  EXPECT_EQ(t.pointSize, 9);
  for (const DWORD style :
       {WS_POPUP, WS_CAPTION, WS_SYSMENU, DS_MODALFRAME, DS_CENTER, DS_3DLOOK}) {
    EXPECT_EQ(t.style & style, style) << std::hex << style;
  }
  EXPECT_EQ(t.style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX), 0u);
}

TEST(ProgressTemplate, Styles) {
  const DialogTemplate& t = ProgressDialogTemplate();
  const auto style = [&](std::size_t index) { return t.controls[index].style; };
  const auto has = [](DWORD s, DWORD bits) { return (s & bits) == bits; };
  EXPECT_TRUE(has(style(0), WS_GROUP));
  EXPECT_TRUE(
      has(style(1), LVS_REPORT | LVS_SHOWSELALWAYS | LVS_NOLABELWRAP | WS_BORDER | WS_TABSTOP));
  EXPECT_FALSE(has(style(1), LVS_SINGLESEL));
  EXPECT_TRUE(has(style(2), WS_GROUP));
  EXPECT_TRUE(has(style(3), WS_BORDER));
  EXPECT_TRUE(has(
      style(4), ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL | WS_BORDER | WS_TABSTOP));
  EXPECT_TRUE(has(style(5), BS_AUTOCHECKBOX | WS_TABSTOP));
  for (std::size_t i = 6; i <= 14; ++i) {
    SCOPED_TRACE(i);
    EXPECT_TRUE(has(style(i), WS_TABSTOP));
    // Only Encrypt is the default button at the start.
    EXPECT_EQ((style(i) & 0xF) == BS_DEFPUSHBUTTON, t.controls[i].id == IDC_ENCRYPT);
  }
}

TEST(ProgressTemplate, LinkCarriesTheUpdateAddressOverItsWholeText) {
  const std::string text = ProgressDialogTemplate().controls.back().text;
  EXPECT_EQ(text, "<a href=\"https://zembra.org/updates\">Zembra: check for updates</a>");
}

TEST(ProgressMenu, ThreePopupsAddressedByPosition) {
  const MenuTemplate& m = ProgressPopupMenu();
  EXPECT_EQ(m.id, 108);
  ASSERT_EQ(m.popups.size(), 3u);
  const auto items = [&](std::size_t popup) {
    std::vector<std::pair<std::string, UINT>> out;
    for (const auto& item : m.popups[popup].items) {
      out.emplace_back(item.text ? item.text : "<separator>", item.id);
    }
    return out;
  };
  using Items = std::vector<std::pair<std::string, UINT>>;
  EXPECT_STREQ(m.popups[0].text, "PopupMenu");
  EXPECT_EQ(items(0), (Items{{"En&crypt", 1205},
                             {"&Sign", 1209},
                             {"&Export...", 1207},
                             {"<separator>", 0},
                             {"Set As &Default", 1208},
                             {"<separator>", 0},
                             {"&Details...", 1214},
                             {"<separator>", 0},
                             {"Change &Passphrase...", 1220},
                             {"Change E&xpiry...", 1221},
                             {"Set Owner &Trust...", 1222},
                             {"Export &Revocation Certificate...", 1223},
                             {"<separator>", 0},
                             {"Encrypt with &Passphrase...", 1224}}));
  EXPECT_STREQ(m.popups[1].text, "Sign");
  EXPECT_EQ(items(1), (Items{{"&Sign", 1209}, {"Sign &Clipboard", 1210}}));
  EXPECT_STREQ(m.popups[2].text, "Verify");
  EXPECT_EQ(items(2), (Items{{"&Verify", 1212}, {"Verify &Clipboard", 1213}}));
}
