// The key list: which keys are listed, what their rows show, and which keys a selection yields.
#include <cstdlib>
#include <ctime>

#include <gtest/gtest.h>

#include <QTreeView>
#include <algorithm>

#include "platform/core/text.h"
#include "tests/support/test_env.h"
#include "tests/ui/window_actions.h"
#include "tests/ui/window_probe.h"
#include "zembra/keys/key_list.h"
#include "zembra/ui/key_list_view.h"
#include "zembra/ui/resource_ids.h"

namespace {

// A key list control with what the operations window keeps beside it: the engine context, the
// listed keys its rows point at, and the default keys that may stand in for the selection.
struct Listing {
  HWND list = nullptr;
  GpgmeContext ctx;
  std::unique_ptr<CKeyHandleArray> keys;
  CKeyHandleArray defaults;
  bool useDefaults = false;

  void fill() { keys = FillKeyRows(list, ctx.get()); }
  CKeyArray selected() const {
    return SelectedKeys(list, keys.get(), useDefaults ? &defaults : nullptr);
  }
};

// 2020-03-04 23:30:00 UTC: already 2020-03-05 east of UTC+0:30.
constexpr std::int64_t kLateEvening = 1583364600;
constexpr const char* kLateEveningGpg = "20200304T233000";
// 2090-07-09 23:30:00 UTC.
constexpr std::int64_t kFarExpiry = 3803326200;

// Local time fourteen hours ahead of UTC while it lives.
class FarEastTime {
 public:
  FarEastTime() {
    if (const char* tz = std::getenv("TZ")) m_saved = tz, m_had = true;
    setenv("TZ", "<+14>-14", 1);
    tzset();
  }
  ~FarEastTime() {
    if (m_had)
      setenv("TZ", m_saved.c_str(), 1);
    else
      unsetenv("TZ");
    tzset();
  }

 private:
  std::string m_saved;
  bool m_had = false;
};

std::string Cell(HWND list, int row, int column) {
  char buffer[512] = {};
  LVITEM item;
  item.iSubItem = column;
  item.pszText = buffer;
  item.cchTextMax = sizeof buffer;
  SendMessage(list, LVM_GETITEMTEXT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
  return buffer;
}

gpgme_key_t ItemKey(HWND list, int row) {
  LVITEM item;
  item.mask = LVIF_PARAM;
  item.iItem = row;
  SendMessage(list, LVM_GETITEM, 0, reinterpret_cast<LPARAM>(&item));
  return reinterpret_cast<gpgme_key_t>(item.lParam);
}

int RowCount(HWND list) { return static_cast<int>(SendMessage(list, LVM_GETITEMCOUNT, 0, 0)); }

void Select(HWND list, int row) {
  LVITEM state;
  state.state = LVIS_SELECTED;
  state.stateMask = LVIS_SELECTED;
  SendMessage(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&state));
}

int RowOf(const Listing& w, const std::string& fpr) {
  for (std::size_t i = 0; i < w.keys->size(); ++i)
    if (fpr == (*w.keys)[i].get()->fpr) return static_cast<int>(i);
  return -1;
}

std::vector<std::string> Fingerprints(gpgme_key_t* keys) {
  std::vector<std::string> fprs;
  for (; keys && *keys; ++keys) fprs.push_back((*keys)->fpr);
  return fprs;
}

class KeyList : public ::testing::Test {
 protected:
  // A fresh ring of the named fixture keys, secret parts and ownertrust included.
  KeyRing& Ring(std::vector<std::string> keys, bool empty = false) {
    ring = std::make_unique<KeyRing>(KeyRingOptions{.keys = std::move(keys), .empty = empty});
    return *ring;
  }
  std::string Fpr(const std::string& name) { return ring->fingerprint(name); }

  // Runs body on a window with a filled key list; log is what the log box then holds.
  void Run(const std::function<void(Listing&)>& body) {
    RunInHostWindow([&](HWND host) {
      Listing window;
      window.ctx = OpenEngineContext();
      window.list = GetDlgItem(host, IDC_KEY_LIST);
      window.fill();
      body(window);
      log = LogText();
    });
  }

  std::unique_ptr<KeyRing> ring;
  std::string log;
};

TEST(KeyDates, AreUtcDates) {
  FarEastTime farEast;
  EXPECT_EQ(FormatDate(kLateEvening), "2020-03-04");
  EXPECT_EQ(FormatDate(kFarExpiry), "2090-07-09");
  EXPECT_EQ(FormatDate(0), "1970-01-01");
  EXPECT_EQ(FormatDate(951782400), "2000-02-29");
}

TEST(KeyValidity, HasItsNameAndUnknownOutsideTheScale) {
  const char* names[] = {"Unknown", "Undefined", "Never", "Marginal", "Full", "Ultimate"};
  for (int v = 0; v <= 5; ++v) EXPECT_STREQ(ValidityName(v), names[v]);
  EXPECT_STREQ(ValidityName(-1), "Unknown");
  EXPECT_STREQ(ValidityName(6), "Unknown");
}

TEST(KeyHandles, OwnExactlyOneReference) {
  KeyRing ring({.keys = {"alice"}});
  const std::string fpr = ring.fingerprint("alice");
  GpgmeContext ctx = OpenEngineContext();
  gpgme_key_t key = nullptr;
  ASSERT_EQ(gpgme_get_key(ctx.get(), fpr.c_str(), &key, 0), 0);
  ASSERT_EQ(key->_refs, 1u);
  {
    CKeyHandle owner = CKeyHandle::Adopt(key);  // takes over the engine's reference
    EXPECT_EQ(key->_refs, 1u);
    {
      CKeyHandleArray holders;
      holders.push_back(CKeyHandle::Borrow(key));
      holders.push_back(CKeyHandle::Borrow(key));
      holders.push_back(CKeyHandle());
      EXPECT_EQ(key->_refs, 3u);
      holders.erase(holders.begin());
      EXPECT_EQ(key->_refs, 2u);
      EXPECT_EQ(holders[0].get(), key);
      EXPECT_FALSE(holders[1]);
    }
    EXPECT_EQ(key->_refs, 1u);
    gpgme_key_ref(key);  // keep the record alive to look at it after the owner is gone
  }
  EXPECT_EQ(key->_refs, 1u);
  gpgme_key_unref(key);
}

TEST(KeyArrays, AreNullTerminatedOrNull) {
  int a = 0, b = 0;
  gpgme_key_t ka = reinterpret_cast<gpgme_key_t>(&a), kb = reinterpret_cast<gpgme_key_t>(&b);
  CKeyArray two({ka, kb});
  ASSERT_EQ(two.count(), 2u);
  EXPECT_EQ(two.keys()[0], ka);
  EXPECT_EQ(two.keys()[1], kb);
  EXPECT_EQ(two.keys()[2], nullptr);
  CKeyArray none;
  EXPECT_EQ(none.keys(), nullptr);
  EXPECT_EQ(none.count(), 0u);
  CKeyArray emptyList(std::vector<gpgme_key_t>{});
  EXPECT_EQ(emptyList.keys(), nullptr);
}

TEST_F(KeyList, LeavesOutRevokedExpiredAndDisabledKeys) {
  Ring({"alice", "revoked", "bob", "expired", "carol", "dave"});
  ring->disable("carol");
  std::vector<std::string> expected;
  for (const std::string& fpr : ring->publicFingerprints())
    if (fpr != Fpr("revoked") && fpr != Fpr("expired") && fpr != Fpr("carol"))
      expected.push_back(fpr);
  ASSERT_EQ(expected.size(), 3u);

  GpgmeContext ctx = OpenEngineContext();
  std::unique_ptr<CKeyHandleArray> keys = ListUsableKeys(ctx.get());
  std::vector<std::string> listed;
  for (const CKeyHandle& key : *keys) listed.push_back(key.get()->fpr);
  EXPECT_EQ(listed, expected);

  Run([&](Listing& w) {
    ASSERT_EQ(RowCount(w.list), 3);
    for (int row = 0; row < 3; ++row) EXPECT_EQ(ItemKey(w.list, row)->fpr, expected[row]);
  });
  EXPECT_EQ(log, "");
}

TEST_F(KeyList, ListingAgainDoesNotLeaveRowsOfReleasedKeys) {
  Ring({"alice", "bob"});
  Run([&](Listing& w) {
    w.fill();  // once more, without emptying the list first
    ASSERT_EQ(RowCount(w.list), 2);
    for (int row = 0; row < 2; ++row)
      EXPECT_EQ(ItemKey(w.list, row), (*w.keys)[static_cast<std::size_t>(row)].get());
  });
}

TEST_F(KeyList, FailedListingIsLoggedAndLeavesTheListEmpty) {
  Ring({"alice"});
  RunInHostWindow([&](HWND host) {
    Listing window;  // no engine context: the engine refuses the listing
    window.list = GetDlgItem(host, IDC_KEY_LIST);
    window.fill();
    ASSERT_TRUE(window.keys);
    EXPECT_TRUE(window.keys->empty());
    EXPECT_EQ(RowCount(window.list), 0);
    log = LogText();
  });
  EXPECT_EQ(log.rfind("Error: ", 0), 0u) << log;
  EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1);
}

TEST_F(KeyList, RowsShowTheKeysInTheirOrder) {
  // The fixture's keys are owned and trusted; dave's public key comes without any trust.
  Ring({"juergen"});
  ring->importKeys({"dave"}, false, false);
  const std::string dated =
      MakeKey(*ring, "Dated <dated@example.org>",
              "seconds=" + std::to_string(kFarExpiry - kLateEvening), kLateEveningGpg);
  const std::string juergen = Fpr("juergen"), stranger = Fpr("dave");
  FarEastTime farEast;

  Run([&](Listing& w) {
    HWND list = w.list;
    ASSERT_EQ(RowCount(list), 3);
    ASSERT_EQ(w.keys->size(), 3u);
    for (int row = 0; row < 3; ++row) {
      gpgme_key_t key = (*w.keys)[static_cast<std::size_t>(row)].get();
      EXPECT_EQ(ItemKey(list, row), key);
      EXPECT_EQ(Cell(list, row, 0), std::string(key->fpr).substr(24));
      EXPECT_EQ(Cell(list, row, 0).size(), 16u);
    }
    const int d = RowOf(w, dated), j = RowOf(w, juergen), s = RowOf(w, stranger);
    EXPECT_EQ(Cell(list, d, 1), "2020-03-04");
    EXPECT_EQ(Cell(list, d, 2), "2090-07-09");
    EXPECT_EQ(Cell(list, d, 3), "Ultimate");
    EXPECT_EQ(Cell(list, d, 4), "Ultimate");
    EXPECT_EQ(Cell(list, d, 5), "Dated <dated@example.org>");
    EXPECT_EQ(Cell(list, j, 2), "");  // never expires
    EXPECT_EQ(Cell(list, j, 5), "J\xc3\xbcrgen M\xc3\xbcller <juergen@example.org>");
    EXPECT_EQ(Cell(list, s, 3), "Unknown");
    EXPECT_EQ(Cell(list, s, 4), "Unknown");
  });
}

// GnuPG keeps a user id's bytes as they came; what is not UTF-8 is shown escaped, not lost.
TEST_F(KeyList, UserIdThatIsNotUtf8IsShownEscaped) {
  Ring({}, true);
  const std::string uid = "Bad\xff\xfe Name <bad@example.org>";
  MakeKey(*ring, uid);
  Run([&](Listing& w) {
    ASSERT_EQ(RowCount(w.list), 1);
    ASSERT_EQ(std::string((*w.keys)[0].get()->uids->uid), uid);
    const std::string cell = Cell(w.list, 0, 5);
    EXPECT_EQ(cell, DisplayText(uid));
    EXPECT_TRUE(IsValidUtf8(cell));
    EXPECT_NE(cell.find("\\x"), std::string::npos) << cell;
  });
}

// The key ID column takes what 16 digits need; the name column gives that up, the others keep
// their shares of the width.
TEST_F(KeyList, ColumnsShareTheWidthLessAScrollBarAndTheKeyIdColumnFitsSixteenDigits) {
  Ring({}, true);
  RunInHostWindow([&](HWND host) {
    HWND list = GetDlgItem(host, IDC_KEY_LIST);
    const LRESULT styles = SendMessage(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0);
    EXPECT_EQ(styles & (LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES),
              static_cast<LRESULT>(LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES));
    RECT client;
    GetClientRect(list, &client);
    const int width = client.right - client.left - GetSystemMetrics(SM_CXVSCROLL);
    ASSERT_GT(width, 0);
    const int shares[] = {19, 13, 13, 14, 14, 27};
    auto columnWidth = [&](int i) {
      return static_cast<int>(SendMessage(list, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(i), 0));
    };
    for (int i = 1; i < 5; ++i)
      EXPECT_EQ(columnWidth(i), width * shares[i] / 100) << "column " << i;
    const int keyId = std::max(width * shares[0] / 100, KeyIdTextWidth(list));
    EXPECT_EQ(columnWidth(0), keyId);
    EXPECT_EQ(columnWidth(5), width * shares[5] / 100 - (keyId - width * shares[0] / 100));
  });
}

// The column cut every key ID with an ellipsis ("49670CBD4ED..."): the cell's text was whole,
// what the row showed was not.
TEST_F(KeyList, TheKeyIdColumnShowsAllSixteenDigits) {
  Ring({"alice", "bob", "juergen"});
  WindowProbe w(nullptr, cmdNone);
  int rows = 0;
  w.then([&](WindowProbe& p) {
    auto* view = qobject_cast<QTreeView*>(WindowProbe::Widget(p.keyList()));
    ASSERT_NE(view, nullptr);
    rows = RowCount(p.keyList());
    for (int row = 0; row < rows; ++row) {
      const std::string id = Cell(p.keyList(), row, 0);
      EXPECT_EQ(id.size(), 16u) << id;
      const QModelIndex cell = view->model()->index(row, 0);
      // The text fits its cell when the cell is as wide as the text with its margins; the row
      // then paints the text itself, not an elision.
      EXPECT_LE(view->sizeHintForIndex(cell).width(), view->columnWidth(0)) << id;
    }
    PressEscape(p);
  });
  EXPECT_EQ(w.DoModal(), IDCANCEL);
  EXPECT_EQ(rows, 3);
}

TEST_F(KeyList, SelectionYieldsTheKeysThatCanEncryptInRowOrder) {
  Ring({"alice", "signer", "bob"});
  const std::string alice = Fpr("alice"), signer = Fpr("signer"), bob = Fpr("bob");
  Run([&](Listing& w) {
    HWND list = w.list;
    EXPECT_EQ(w.selected().keys(), nullptr);  // nothing selected

    Select(list, RowOf(w, signer));
    CKeyArray onlySigner = w.selected();
    EXPECT_EQ(onlySigner.keys(), nullptr);
    EXPECT_EQ(onlySigner.count(), 0u);

    // Selected in reverse: the result still follows the rows.
    Select(list, RowOf(w, bob));
    Select(list, RowOf(w, alice));
    CKeyArray selected = w.selected();
    ASSERT_EQ(selected.count(), 2u);
    std::vector<std::string> inRowOrder;
    for (const CKeyHandle& key : *w.keys)
      if (key.get()->fpr != signer) inRowOrder.push_back(key.get()->fpr);
    EXPECT_EQ(Fingerprints(selected.keys()), inRowOrder);
    EXPECT_EQ(selected.keys()[2], nullptr);
  });
}

TEST_F(KeyList, DefaultKeysInUseStandForTheSelection) {
  Ring({"alice", "signer", "bob"});
  const std::string alice = Fpr("alice"), signer = Fpr("signer"), bob = Fpr("bob");
  Run([&](Listing& w) {
    Select(w.list, RowOf(w, alice));
    w.useDefaults = true;
    // In use but none loaded: the selection counts.
    EXPECT_EQ(Fingerprints(w.selected().keys()), std::vector<std::string>{alice});

    w.defaults.push_back(CKeyHandle::Borrow((*w.keys)[RowOf(w, bob)].get()));
    w.defaults.push_back(CKeyHandle::Borrow((*w.keys)[RowOf(w, signer)].get()));
    w.defaults.push_back(CKeyHandle());
    EXPECT_EQ(Fingerprints(w.selected().keys()), (std::vector<std::string>{bob, signer}));
    w.useDefaults = false;
    EXPECT_EQ(Fingerprints(w.selected().keys()), std::vector<std::string>{alice});
  });
}

TEST_F(KeyList, RemovingARowWithItsKeyKeepsTheOthersMapped) {
  Ring({"alice", "bob", "carol", "dave", "encrypter"});
  Run([&](Listing& w) {
    HWND list = w.list;
    ASSERT_EQ(RowCount(list), 5);
    std::vector<gpgme_key_t> before;
    for (const CKeyHandle& key : *w.keys) before.push_back(key.get());
    SendMessage(list, LVM_DELETEITEM, 2, 0);
    w.keys->erase(w.keys->begin() + 2);
    const std::vector<gpgme_key_t> after = {before[0], before[1], before[3], before[4]};
    ASSERT_EQ(RowCount(list), 4);
    for (int row = 0; row < 4; ++row) {
      EXPECT_EQ((*w.keys)[static_cast<std::size_t>(row)].get(),
                after[static_cast<std::size_t>(row)]);
      EXPECT_EQ(ItemKey(list, row), after[static_cast<std::size_t>(row)]);
      EXPECT_EQ(Cell(list, row, 0), after[static_cast<std::size_t>(row)]->subkeys->keyid);
    }
    Select(list, 2);
    EXPECT_EQ(Fingerprints(w.selected().keys()), std::vector<std::string>{before[3]->fpr});
  });
}

}  // namespace
