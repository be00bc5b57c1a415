// The operations window as it is rendered: what each control is and says, where the controls
// stand relative to each other, and the key list's column headers.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeView>

#include "tests/support/key_ring.h"
#include "tests/ui/window_actions.h"
#include "tests/ui/window_probe.h"

namespace {

class WindowLayout : public KeyRingTest {
 protected:
  KeyRingOptions keyRingOptions() const override { return {.keys = {"alice"}}; }
};

// A control's rectangle in the window's coordinates.
QRect Place(WindowProbe& w, int id) {
  QWidget* control = WindowProbe::Widget(w.item(id));
  return QRect(control->mapTo(WindowProbe::Widget(w.m_hWnd), QPoint(0, 0)), control->size());
}

// The static texts of the window, found by what they show.
QLabel* StaticText(WindowProbe& w, const QString& text) {
  for (QLabel* label : WindowProbe::Widget(w.m_hWnd)->findChildren<QLabel*>())
    if (label->text() == text) return label;
  return nullptr;
}

}  // namespace

TEST_F(WindowLayout, ControlsAreWhatTheyShowAndSayIt) {
  WindowProbe w(nullptr, cmdNone);
  bool checked = false;
  w.then([&](WindowProbe& p) {
    const QWidget* window = WindowProbe::Widget(p.m_hWnd);
    EXPECT_EQ(window->windowTitle().toStdString(), "Zembra");
    EXPECT_EQ(window->minimumSize(), window->maximumSize()) << "the window cannot be resized";
    ASSERT_NE(StaticText(p, "Available keys"), nullptr);
    ASSERT_NE(StaticText(p, "Progress"), nullptr);

    const std::pair<int, const char*> buttons[] = {{IDC_IMPORT_KEYS, "&Import Keys..."},
                                                   {IDC_EXPORT_KEYS, "&Export Keys..."},
                                                   {IDC_CREATE_KEY, "Create &Key..."},
                                                   {IDC_DELETE_KEYS, "Delete Keys"},
                                                   {IDC_ENCRYPT, "En&crypt"},
                                                   {IDC_DECRYPT, "&Decrypt"},
                                                   {IDC_SIGN, "&Sign"},
                                                   {IDC_VERIFY, "&Verify"},
                                                   {IDC_CLOSE, "Close"}};
    for (const auto& [id, text] : buttons) {
      auto* button = qobject_cast<QPushButton*>(WindowProbe::Widget(p.item(id)));
      ASSERT_NE(button, nullptr) << id;
      EXPECT_EQ(GetDlgItemTextString(p.m_hWnd, id), text) << id;
      // Only Encrypt is the default button at the start.
      EXPECT_EQ(button->isDefault(), id == IDC_ENCRYPT) << id;
    }
    auto* box = qobject_cast<QCheckBox*>(WindowProbe::Widget(p.item(IDC_USE_DEFAULT_KEYS)));
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(GetDlgItemTextString(p.m_hWnd, IDC_USE_DEFAULT_KEYS), "&Use Default Keys");

    auto* log = qobject_cast<QPlainTextEdit*>(WindowProbe::Widget(p.item(IDC_LOG)));
    ASSERT_NE(log, nullptr);
    EXPECT_TRUE(log->isReadOnly());
    EXPECT_NE(qobject_cast<QProgressBar*>(WindowProbe::Widget(p.item(IDC_PROGRESS))), nullptr);
    auto* list = qobject_cast<QAbstractItemView*>(WindowProbe::Widget(p.keyList()));
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->selectionMode(), QAbstractItemView::ExtendedSelection)
        << "several keys at once";
    auto* link = qobject_cast<QLabel*>(WindowProbe::Widget(p.item(IDC_UPDATE_LINK)));
    ASSERT_NE(link, nullptr);
    EXPECT_TRUE(link->text().contains("Zembra: check for updates")) << link->text().toStdString();
    checked = true;
    PressEscape(p);
  });
  EXPECT_EQ(w.DoModal(), IDCANCEL);
  EXPECT_TRUE(checked);
}

// The list, the progress bar and the log share a left edge and a width, one below the other;
// the buttons form a column to their right in the order a user reads them, with gaps before
// Encrypt, Sign and Close; the check box ends with the list, between it and the bar.
TEST_F(WindowLayout, ControlsStandInTheirPlaces) {
  WindowProbe w(nullptr, cmdNone);
  bool checked = false;
  w.then([&](WindowProbe& p) {
    const QRect list = Place(p, IDC_KEY_LIST), bar = Place(p, IDC_PROGRESS),
                log = Place(p, IDC_LOG);
    EXPECT_EQ(bar.left(), list.left());
    EXPECT_EQ(log.left(), list.left());
    EXPECT_EQ(bar.width(), list.width());
    EXPECT_EQ(log.width(), list.width());
    EXPECT_LT(list.bottom(), bar.top());
    EXPECT_LT(bar.bottom(), log.top());
    EXPECT_GT(list.height(), log.height()) << "the key list is the largest part";

    const QRect keysLabel(
        StaticText(p, "Available keys")->mapTo(WindowProbe::Widget(p.m_hWnd), QPoint()),
        StaticText(p, "Available keys")->size());
    EXPECT_LT(keysLabel.top(), list.top());
    EXPECT_EQ(keysLabel.left(), list.left());

    const QRect box = Place(p, IDC_USE_DEFAULT_KEYS);
    EXPECT_EQ(box.right(), list.right());
    EXPECT_GT(box.top(), list.bottom());
    EXPECT_LT(box.bottom(), bar.top());

    const int column[] = {IDC_IMPORT_KEYS, IDC_EXPORT_KEYS, IDC_CREATE_KEY,
                          IDC_DELETE_KEYS, IDC_ENCRYPT,     IDC_DECRYPT,
                          IDC_SIGN,        IDC_VERIFY,      IDC_CLOSE};
    const QRect first = Place(p, column[0]);
    EXPECT_EQ(first.top(), list.top()) << "the column starts level with the list";
    EXPECT_GT(first.left(), list.right());
    int gaps = 0;
    for (std::size_t i = 1; i < std::size(column); ++i) {
      const QRect above = Place(p, column[i - 1]), here = Place(p, column[i]);
      EXPECT_EQ(here.left(), first.left()) << column[i];
      EXPECT_EQ(here.size(), first.size()) << column[i];
      EXPECT_GT(here.top(), above.bottom()) << column[i];
      if (here.top() - above.bottom() > first.height() / 2) {
        ++gaps;
        EXPECT_TRUE(column[i] == IDC_ENCRYPT || column[i] == IDC_SIGN || column[i] == IDC_CLOSE)
            << column[i];
      }
    }
    EXPECT_EQ(gaps, 3);
    EXPECT_GT(Place(p, IDC_UPDATE_LINK).top(), log.bottom());
    EXPECT_EQ(Place(p, IDC_UPDATE_LINK).left(), list.left());
    checked = true;
    PressEscape(p);
  });
  EXPECT_EQ(w.DoModal(), IDCANCEL);
  EXPECT_TRUE(checked);
}

TEST_F(WindowLayout, KeyListShowsItsSixColumnHeaders) {
  WindowProbe w(nullptr, cmdNone);
  std::vector<std::string> headers;
  w.then([&](WindowProbe& p) {
    auto* view = qobject_cast<QTreeView*>(WindowProbe::Widget(p.keyList()));
    ASSERT_NE(view, nullptr);
    for (int i = 0; i < view->header()->count(); ++i)
      headers.push_back(view->model()->headerData(i, Qt::Horizontal).toString().toStdString());
    PressEscape(p);
  });
  EXPECT_EQ(w.DoModal(), IDCANCEL);
  EXPECT_EQ(headers, (std::vector<std::string>{"Key ID", "Created", "Expires", "Validity",
                                               "Owner Trust", "Name"}));
}
