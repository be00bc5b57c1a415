// Settings that the registry refuses while the window is open: the window says so in its log,
// once per refused save, and keeps the state the user chose.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "platform/core/registry.h"
#include "platform/gui/scripted_dialogs.h"
#include "tests/support/key_ring.h"
#include "tests/ui/window_actions.h"
#include "tests/ui/window_probe.h"
#include "zembra/keys/settings.h"

namespace {

constexpr int kSetAsDefault = 1208;
const std::string kDamaged =
    "(registry error 1009: the hive file is damaged or not a Zembra registry).\n";

class UnsavedSettings : public KeyRingTest {
 protected:
  KeyRingOptions keyRingOptions() const override { return {.keys = {"alice", "bob"}}; }
  void SetUp() override {
    KeyRingTest::SetUp();
    SaveUseDefaultKeys(nullptr, 0);  // the user's hive exists before the window opens
    RegistryReportDamageOnStderr(false);
  }
  void TearDown() override {
    RegistryReportDamageOnStderr(true);
    KeyRingTest::TearDown();
  }
  ScriptedDialogs m_dialogs;
};

// The mended faults of this file, under the name every mended fault's test carries.
class Faults : public UnsavedSettings {};

// Overwrites the user's hive in place, as a failing disk would, under the open window.
void DamageUserHive() {
  std::ofstream hive(RegistryHiveFile(HKEY_CURRENT_USER), std::ios::binary | std::ios::trunc);
  hive << std::string(8192, 'x');
}

int Count(const std::string& text, const std::string& part) {
  int count = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

}  // namespace

TEST_F(UnsavedSettings, TickingUseDefaultKeysWhileTheHiveIsFineWritesNoLine) {
  WindowProbe w(nullptr, cmdNone);
  std::string log;
  w.then([&](WindowProbe& p) {
    const std::string before = LogText(p);
    ClickButton(p, IDC_USE_DEFAULT_KEYS);
    log = LogText(p).substr(before.size());
    PressEscape(p);
  });
  w.DoModal();
  EXPECT_EQ(log, "");
  DWORD value = 0;
  EXPECT_EQ(LoadUseDefaultKeys(nullptr, value), ERROR_SUCCESS);
  EXPECT_EQ(value, 1u);
}

TEST_F(Faults, AUseDefaultKeysThatCannotBeSavedSaysSoInTheLog) {
  WindowProbe w(nullptr, cmdNone);
  std::string log;
  bool checked = false;
  w.then([&](WindowProbe& p) {
    const std::string before = LogText(p);
    DamageUserHive();
    ClickButton(p, IDC_USE_DEFAULT_KEYS);
    log = LogText(p).substr(before.size());
    checked = IsDlgButtonChecked(p.m_hWnd, IDC_USE_DEFAULT_KEYS) == BST_CHECKED;
    PressEscape(p);
  });
  w.DoModal();
  EXPECT_EQ(log, "Error: The setting \"Use default keys\" could not be saved " + kDamaged);
  EXPECT_TRUE(checked);  // the window keeps what the user chose
}

TEST_F(Faults, DefaultKeysThatCannotBeSavedSaySoInTheLog) {
  WindowProbe w(nullptr, cmdNone);
  std::string log;
  w.then([&](WindowProbe& p) {
    ClickRow(p, 0);
    const std::string before = LogText(p);
    DamageUserHive();
    SendMessage(p.m_hWnd, WM_COMMAND, MAKEWPARAM(kSetAsDefault, 0), 0);
    log = LogText(p).substr(before.size());
    PressEscape(p);
  });
  w.DoModal();
  EXPECT_EQ(log, "Error: The setting \"Default keys\" could not be saved " + kDamaged);
  EXPECT_EQ(Count(log, "Error:"), 1);
}
