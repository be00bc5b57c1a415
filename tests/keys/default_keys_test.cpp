// The default keys as the settings hold them: the stored text, the lookup of stored ids, the
// byte layout written, and two writers at once.
#include <dlfcn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "tests/keys/stored_settings.h"
#include "tests/support/test_env.h"
#include "zembra/keys/default_keys.h"
#include "zembra/keys/settings.h"

using namespace std::string_literals;

namespace {

std::vector<std::string> Fingerprints(const CKeyHandleArray& keys) {
  std::vector<std::string> fprs;
  for (const CKeyHandle& key : keys) fprs.push_back(key ? key.get()->fpr : "(null)");
  return fprs;
}

class DefaultKeys : public KeyRingTest {
 protected:
  KeyRingOptions keyRingOptions() const override { return {.keys = {"alice", "bob", "carol"}}; }

  // Looks the ids up as the window's start-up does; log holds what was written.
  CKeyHandleArray Lookup(const std::vector<std::string>& ids) {
    CKeyHandleArray keys;
    RunInHostWindow([&](HWND) {
      GpgmeContext ctx = OpenEngineContext();
      AppendKeysById(ctx.get(), ids, keys);
      log = LogText();
    });
    return keys;
  }

  std::string log;
};

}  // namespace

TEST(StoredKeyIds, SplitAtSeparatorsAndEndAtTheFirstNul) {
  EXPECT_EQ(SplitKeyIds("31B168FB1B1A2766;DC7772A019EF9D2F\0"s),
            (std::vector<std::string>{"31B168FB1B1A2766", "DC7772A019EF9D2F"}));
  EXPECT_EQ(SplitKeyIds("A;;B;"), (std::vector<std::string>{"A", "", "B", ""}));
  EXPECT_EQ(SplitKeyIds("31B168FB1B1A2766\0;junk"s),
            (std::vector<std::string>{"31B168FB1B1A2766"}));
  EXPECT_TRUE(IsKeyIdText("31b168fb1B1A2766"));
  EXPECT_FALSE(IsKeyIdText(""));
  EXPECT_FALSE(IsKeyIdText("alice"));
  EXPECT_FALSE(IsKeyIdText("31B168FB 1B1A2766"));
}

TEST_F(DefaultKeys, StoredIdsLoadInOrderAndMissingOnesAreSaidAndSkipped) {
  const std::string gone = "0123456789ABCDEF";
  const CKeyHandleArray keys = Lookup({ring().keyId("carol"), gone, ring().keyId("alice")});
  EXPECT_EQ(Fingerprints(keys),
            (std::vector<std::string>{ring().fingerprint("carol"), ring().fingerprint("alice")}));
  EXPECT_EQ(log, "Error: End of file\n") << "one line for the missing id";
}

// An empty id, a user id or a short id would otherwise be looked up as a pattern and could match
// some other key of the ring, which a job would then encrypt to.
TEST_F(DefaultKeys, StrayIdsNeverPickAnotherKey) {
  const std::string bobShort = ring().keyId("bob").substr(8);
  const CKeyHandleArray keys =
      Lookup({"", "Bob", bobShort, ring().key("bob").subkeyId, ring().keyId("alice"), ""});
  EXPECT_EQ(Fingerprints(keys), (std::vector<std::string>{ring().fingerprint("alice")}));
  // One error line for each of the five that were skipped.
  std::size_t lines = 0;
  for (std::size_t at = log.find("Error: "); at != std::string::npos;
       at = log.find("Error: ", at + 1))
    ++lines;
  EXPECT_EQ(lines, 5u) << log;
}

TEST_F(DefaultKeys, SavedAsBinaryTextWithItsNulAndTheFlag) {
  SaveDefaultKeys(ring().keyId("alice") + ";" + ring().keyId("bob"), true);
  const auto [type, data] = Stored(kDefaultKeysValue);
  EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
  EXPECT_EQ(data, ring().keyId("alice") + ";" + ring().keyId("bob") + "\0"s);
  EXPECT_EQ(data.size(), 34u);
  EXPECT_EQ(Stored(kUseDefaultKeysValue),
            std::make_pair(static_cast<DWORD>(REG_DWORD), "\1\0\0\0"s));
}

TEST_F(DefaultKeys, ShortOrMissingValuesCountAsNoDefaultKeys) {
  RegKey key;
  std::string stored;
  Store(kDefaultKeysValue, REG_BINARY, "ABCDEF\0"s);  // 7 bytes
  ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, kSettingsKeyPath, 0, KEY_READ, key.put()),
            ERROR_SUCCESS);
  EXPECT_FALSE(ReadDefaultKeyIds(key.get(), &stored));
  Store(kDefaultKeysValue, REG_DWORD, "\1\0\0\0"s);
  EXPECT_FALSE(ReadDefaultKeyIds(key.get(), &stored));
  // The type is not checked: text stored as a string is read all the same.
  Store(kDefaultKeysValue, REG_SZ, ring().keyId("bob") + "\0"s);
  ASSERT_TRUE(ReadDefaultKeyIds(key.get(), &stored));
  EXPECT_EQ(SplitKeyIds(stored), (std::vector<std::string>{ring().keyId("bob")}));
}

TEST_F(DefaultKeys, TheFlagIsExportedWithCLinkage) {
  // Programs outside the product find both by their plain names.
  void* self = dlopen("libZembra.so", RTLD_NOW | RTLD_NOLOAD);
  ASSERT_NE(self, nullptr) << dlerror();
  EXPECT_EQ(dlsym(self, "LoadUseDefaultKeys"), reinterpret_cast<void*>(&LoadUseDefaultKeys));
  EXPECT_EQ(dlsym(self, "SaveUseDefaultKeys"), reinterpret_cast<void*>(&SaveUseDefaultKeys));
  dlclose(self);
}

// Two windows in two processes toggling the flag: every write is whole, the last one stays, and
// the default keys written before are not lost.
TEST_F(DefaultKeys, TwoProcessesTogglingTheFlagLoseNothing) {
  SaveDefaultKeys(ring().keyId("alice"), false);
  pid_t children[2];
  for (int c = 0; c < 2; ++c) {
    children[c] = fork();
    ASSERT_GE(children[c], 0);
    if (children[c] == 0) {
      for (int i = 0; i < 200; ++i) SaveUseDefaultKeys(nullptr, static_cast<DWORD>((i + c) % 2));
      // The last writer leaves its own mark.
      SaveUseDefaultKeys(nullptr, 1);
      _exit(0);
    }
  }
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  DWORD value = 0;
  ASSERT_EQ(LoadUseDefaultKeys(nullptr, value), ERROR_SUCCESS);
  EXPECT_EQ(value, 1u);
  EXPECT_EQ(Stored(kDefaultKeysValue).second, ring().keyId("alice") + "\0"s);
}

TEST_F(DefaultKeys, FlagOfTheWrongSizeIsNeverTakenForOn) {
  DWORD value = 9;
  Store(kUseDefaultKeysValue, REG_BINARY, "\1\0\0\0\0\0\0\0"s);
  EXPECT_EQ(LoadUseDefaultKeys(nullptr, value), ERROR_MORE_DATA);
  EXPECT_EQ(value, 0u) << "a caller that ignored the result would still see off";
  // Shorter data and another type are read as the bytes they are.
  Store(kUseDefaultKeysValue, REG_SZ, "\1"s);
  ASSERT_EQ(LoadUseDefaultKeys(nullptr, value), ERROR_SUCCESS);
  EXPECT_EQ(value, 1u);
}

TEST_F(DefaultKeys, StoredKeysLoadForAnOpeningWindowWithTheirNullAndTheFlag) {
  SaveDefaultKeys(ring().keyId("bob") + ";" + ring().keyId("alice"), true);
  CKeyHandleArray defaults;
  bool use = false;
  RunInHostWindow([&](HWND) {
    GpgmeContext ctx = NewEngineContext();
    LoadStoredDefaultKeys(ctx.get(), defaults, use);
    log = LogText();
  });
  EXPECT_EQ(
      Fingerprints(defaults),
      (std::vector<std::string>{ring().fingerprint("bob"), ring().fingerprint("alice"), "(null)"}));
  EXPECT_TRUE(use);
  EXPECT_EQ(log, "");
}

// The launcher sets the flag before the window opens; the stored "off" must not undo it.
TEST_F(DefaultKeys, AFlagAlreadySetIsNotReadAgainAndNoSettingsChangeNothing) {
  CKeyHandleArray defaults;
  bool use = true;
  RunInHostWindow([&](HWND) {
    GpgmeContext ctx = NewEngineContext();
    LoadStoredDefaultKeys(ctx.get(), defaults, use);
    EXPECT_TRUE(defaults.empty()) << "no settings key yet";
    SaveDefaultKeys(ring().keyId("carol"), false);
    LoadStoredDefaultKeys(ctx.get(), defaults, use);
  });
  EXPECT_EQ(Fingerprints(defaults),
            (std::vector<std::string>{ring().fingerprint("carol"), "(null)"}));
  EXPECT_TRUE(use);
}

TEST_F(DefaultKeys, ChosenKeysBecomeTheDefaultKeysAndAreSavedWithTheFlag) {
  CKeyHandleArray defaults;
  RunInHostWindow([&](HWND) {
    GpgmeContext ctx = NewEngineContext();
    gpgme_key_t alice = nullptr, carol = nullptr;
    ASSERT_EQ(gpgme_get_key(ctx.get(), ring().fingerprint("alice").c_str(), &alice, 0), 0);
    ASSERT_EQ(gpgme_get_key(ctx.get(), ring().fingerprint("carol").c_str(), &carol, 0), 0);
    const CKeyHandle aliceHandle = CKeyHandle::Adopt(alice), carolHandle = CKeyHandle::Adopt(carol);
    CKeyArray none;
    ChooseDefaultKeys(none, true, defaults);
    EXPECT_EQ(Stored(kDefaultKeysValue).first, 0u) << "nothing chosen, nothing saved";
    CKeyArray chosen({carol, alice});
    ChooseDefaultKeys(chosen, false, defaults);
  });
  // The default keys keep references of their own once the listing that lent them is gone.
  EXPECT_EQ(Fingerprints(defaults),
            (std::vector<std::string>{ring().fingerprint("carol"), ring().fingerprint("alice"),
                                      "(null)"}));
  EXPECT_EQ(Stored(kDefaultKeysValue).second,
            ring().keyId("carol") + ";" + ring().keyId("alice") + "\0"s);
  EXPECT_EQ(Stored(kUseDefaultKeysValue).second, "\0\0\0\0"s);
}

TEST_F(DefaultKeys, TheKeysThatCanSignAreMadeDefaultAndTurnedOn) {
  CKeyHandleArray defaults;
  bool made = false;
  RunInHostWindow([&](HWND) {
    GpgmeContext ctx = NewEngineContext();
    made = MakeSigningKeysDefault(ctx.get(), defaults);
  });
  ASSERT_TRUE(made);
  ASSERT_EQ(defaults.size(), 4u) << "the three keys of the ring and the null";
  EXPECT_FALSE(defaults.back());
  std::string ids;
  for (std::size_t i = 0; i + 1 < defaults.size(); ++i)
    ids += (ids.empty() ? "" : ";") + LongKeyId(defaults[i].get());
  EXPECT_EQ(Stored(kDefaultKeysValue).second, ids + "\0"s);
  EXPECT_EQ(Stored(kUseDefaultKeysValue).second, "\1\0\0\0"s);
}
