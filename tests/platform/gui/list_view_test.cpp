// The report-view list: rows, item data, selection and check boxes, also with many rows.
#include <QFontMetrics>
#include <QTest>
#include <QTreeView>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/platform/gui/gui_test_support.h"

using gui_test::RecordingDialog;
using gui_test::Widget;

namespace {

LPARAM ItemData(HWND list, int row) {
  LVITEM item;
  item.mask = LVIF_PARAM;
  item.iItem = row;
  return SendMessage(list, LVM_GETITEM, 0, reinterpret_cast<LPARAM>(&item)) ? item.lParam : -1;
}

std::string ItemText(HWND list, int row, int column) {
  char buffer[64] = {};
  LVITEM item;
  item.iSubItem = column;
  item.pszText = buffer;
  item.cchTextMax = sizeof buffer;
  SendMessage(list, LVM_GETITEMTEXT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
  return buffer;
}

void SetState(HWND list, int row, UINT state, UINT mask) {
  LVITEM item;
  item.state = state;
  item.stateMask = mask;
  SendMessage(list, LVM_SETITEMSTATE, static_cast<WPARAM>(static_cast<LPARAM>(row)),
              reinterpret_cast<LPARAM>(&item));
}

std::vector<int> SelectedRows(HWND list) {
  std::vector<int> rows;
  for (int row = static_cast<int>(
           SendMessage(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
       row != -1; row = static_cast<int>(SendMessage(list, LVM_GETNEXTITEM,
                                                     static_cast<WPARAM>(row), LVNI_SELECTED))) {
    rows.push_back(row);
  }
  return rows;
}

// Runs `body` with the list of a shown dialog.
void WithList(int rows, const std::function<void(RecordingDialog&, HWND)>& body) {
  RecordingDialog dialog(gui_test::RoutingTemplate());
  dialog.onInit = [rows](RecordingDialog& d) { gui_test::FillList(d.m_hWnd, rows); };
  dialog.script = [&](RecordingDialog& d) {
    body(d, d.GetDlgItem(2000));
    d.EndDialog(IDOK);
  };
  dialog.DoModal();
}

TEST(ListView, TenThousandRowsFillSelectAndLoseOneRowWithTheirDataIntact) {
  WithList(10000, [](RecordingDialog&, HWND list) {
    ASSERT_EQ(SendMessage(list, LVM_GETITEMCOUNT, 0, 0), 10000);
    SetState(list, 1, LVIS_SELECTED, LVIS_SELECTED);
    SetState(list, 3, LVIS_SELECTED, LVIS_SELECTED);
    SetState(list, 9000, LVIS_SELECTED, LVIS_SELECTED);
    EXPECT_EQ(SendMessage(list, LVM_GETSELECTEDCOUNT, 0, 0), 3);
    EXPECT_TRUE(SendMessage(list, LVM_DELETEITEM, 2, 0));
    ASSERT_EQ(SendMessage(list, LVM_GETITEMCOUNT, 0, 0), 9999);
    int wrong = 0;
    for (int row = 0; row < 9999; ++row) {
      const int original = row < 2 ? row : row + 1;
      if (ItemData(list, row) != original * 7) ++wrong;
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(ItemText(list, 2, 0), "row 3");
    // The selection moved with its rows.
    EXPECT_THAT(SelectedRows(list), testing::ElementsAre(1, 2, 8999));
  });
}

TEST(ListView, DeletingRowTwoOfFiveKeepsTheOthersData) {
  WithList(5, [](RecordingDialog&, HWND list) {
    SendMessage(list, LVM_DELETEITEM, 2, 0);
    std::vector<LPARAM> data;
    for (int row = 0; row < 4; ++row) data.push_back(ItemData(list, row));
    EXPECT_THAT(data, testing::ElementsAre(0, 7, 21, 28));
    EXPECT_FALSE(SendMessage(list, LVM_DELETEITEM, 4, 0));
  });
}

TEST(ListView, RowMinusOneSelectsEveryRowWithOneNotification) {
  RecordingDialog dialog(gui_test::RoutingTemplate());
  int changes = -1;
  int changedItem = 0;
  dialog.onInit = [](RecordingDialog& d) { gui_test::FillList(d.m_hWnd, 10000); };
  dialog.script = [&](RecordingDialog& d) {
    HWND list = d.GetDlgItem(2000);
    d.itemChanges = 0;
    SetState(list, -1, LVIS_SELECTED, LVIS_SELECTED);
    changes = d.itemChanges;
    changedItem = d.lastItemChange.iItem;
    EXPECT_EQ(SendMessage(list, LVM_GETSELECTEDCOUNT, 0, 0), 10000);
    EXPECT_EQ(SendMessage(list, LVM_GETNEXTITEM, 9998, LVNI_SELECTED), 9999);
    EXPECT_EQ(SendMessage(list, LVM_GETNEXTITEM, 9999, LVNI_SELECTED), -1);
    SetState(list, -1, 0, LVIS_SELECTED);
    EXPECT_EQ(SendMessage(list, LVM_GETSELECTEDCOUNT, 0, 0), 0);
    EXPECT_EQ(SendMessage(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED), -1);
    d.EndDialog(IDOK);
  };
  dialog.DoModal();
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(changedItem, -1);
}

TEST(ListView, SelectedWalkGoesUpFromAfterTheStart) {
  WithList(20, [](RecordingDialog&, HWND list) {
    for (int row : {4, 0, 17, 9}) SetState(list, row, LVIS_SELECTED, LVIS_SELECTED);
    EXPECT_THAT(SelectedRows(list), testing::ElementsAre(0, 4, 9, 17));
    EXPECT_EQ(SendMessage(list, LVM_GETNEXTITEM, 4, LVNI_SELECTED), 9);
    EXPECT_EQ(SendMessage(list, LVM_GETITEMSTATE, 9, LVIS_SELECTED), LVIS_SELECTED);
    EXPECT_EQ(SendMessage(list, LVM_GETITEMSTATE, 10, LVIS_SELECTED), 0);
    SetState(list, 4, 0, LVIS_SELECTED);
    EXPECT_THAT(SelectedRows(list), testing::ElementsAre(0, 9, 17));
  });
}

TEST(ListView, ColumnsTextsAndWidths) {
  WithList(2, [](RecordingDialog&, HWND list) {
    LVCOLUMN column;
    column.mask = LVCF_TEXT | LVCF_WIDTH;
    column.pszText = "Key ID";
    column.cx = 90;
    EXPECT_EQ(SendMessage(list, LVM_INSERTCOLUMN, 1, reinterpret_cast<LPARAM>(&column)), 1);
    EXPECT_EQ(SendMessage(list, LVM_GETCOLUMNWIDTH, 1, 0), 90);
    SendMessage(list, LVM_SETCOLUMNWIDTH, 1, 120);
    EXPECT_EQ(SendMessage(list, LVM_GETCOLUMNWIDTH, 1, 0), 120);
    char text[] = "0x1234ABCD";
    LVITEM item;
    item.iSubItem = 1;
    item.pszText = text;
    EXPECT_TRUE(SendMessage(list, LVM_SETITEMTEXT, 1, reinterpret_cast<LPARAM>(&item)));
    EXPECT_EQ(ItemText(list, 1, 1), "0x1234ABCD");
    EXPECT_EQ(ItemText(list, 1, 0), "row 1");
    EXPECT_EQ(ItemText(list, 0, 1), "");
    // A small buffer gets a NUL-ended prefix.
    char small[4] = {'x', 'x', 'x', 'x'};
    LVITEM shortItem;
    shortItem.iSubItem = 1;
    shortItem.pszText = small;
    shortItem.cchTextMax = 4;
    EXPECT_EQ(SendMessage(list, LVM_GETITEMTEXT, 1, reinterpret_cast<LPARAM>(&shortItem)), 3);
    EXPECT_STREQ(small, "0x1");
    SendMessage(list, LVM_DELETEALLITEMS, 0, 0);
    EXPECT_EQ(SendMessage(list, LVM_GETITEMCOUNT, 0, 0), 0);
  });
}

// The width a text takes in the list's own font, for columns that must show a text whole.
TEST(ListView, StringWidthGrowsWithTheTextInTheListsFont) {
  WithList(1, [](RecordingDialog&, HWND list) {
    auto width = [&](const char* text) {
      return static_cast<int>(
          SendMessage(list, LVM_GETSTRINGWIDTH, 0, reinterpret_cast<LPARAM>(text)));
    };
    EXPECT_EQ(width(""), 0);
    EXPECT_EQ(width(nullptr), 0);
    EXPECT_GT(width("D"), 0);
    EXPECT_GT(width("DDDDDDDDDDDDDDDD"), width("DDDDDDDD"));
    EXPECT_GT(width("WWWW"), width("iiii"));
    const QFontMetrics metrics(Widget(list)->font());
    EXPECT_EQ(width("49670CBD4ED1A2B3"), metrics.horizontalAdvance("49670CBD4ED1A2B3"));
  });
}

TEST(ListView, CheckBoxesAreStateImagesAndTheirChangesAreReported) {
  RecordingDialog dialog(gui_test::RoutingTemplate());
  dialog.onInit = [](RecordingDialog& d) {
    HWND list = d.GetDlgItem(2000);
    SendMessage(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
                LVS_EX_GRIDLINES | LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
    gui_test::FillList(d.m_hWnd, 3);
  };
  dialog.script = [](RecordingDialog& d) {
    HWND list = d.GetDlgItem(2000);
    EXPECT_EQ(SendMessage(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0), 0x25);
    EXPECT_EQ(SendMessage(list, LVM_GETITEMSTATE, 1, LVIS_STATEIMAGEMASK),
              INDEXTOSTATEIMAGEMASK(1));
    d.itemChanges = 0;
    SetState(list, 1, INDEXTOSTATEIMAGEMASK(2), LVIS_STATEIMAGEMASK);
    EXPECT_EQ(d.itemChanges, 1);
    EXPECT_EQ(d.lastItemChange.iItem, 1);
    EXPECT_EQ(SendMessage(list, LVM_GETITEMSTATE, 1, LVIS_STATEIMAGEMASK),
              INDEXTOSTATEIMAGEMASK(2));
    // The user toggles row 2 with the space bar.
    auto* view = static_cast<QTreeView*>(Widget(list));
    view->setFocus();
    view->setCurrentIndex(view->model()->index(2, 0));
    d.itemChanges = 0;
    QTest::keyClick(view, Qt::Key_Space);
    EXPECT_EQ(SendMessage(list, LVM_GETITEMSTATE, 2, LVIS_STATEIMAGEMASK),
              INDEXTOSTATEIMAGEMASK(2));
    EXPECT_GE(d.itemChanges, 1);
    EXPECT_EQ(d.lastItemChange.iItem, 2);
    EXPECT_EQ(d.lastItemChange.uNewState & LVIS_STATEIMAGEMASK, INDEXTOSTATEIMAGEMASK(2));
    d.EndDialog(IDOK);
  };
  dialog.DoModal();
}

TEST(ListView, ClickingTheEmptyPartOfASingleSelectionListClearsTheSelection) {
  static const DialogTemplate single = {0,
                                        "Single",
                                        200,
                                        120,
                                        "Microsoft Sans Serif",
                                        9,
                                        WS_CAPTION | WS_SYSMENU,
                                        {{2000, ControlKind::ListView, "", 7, 7, 186, 100,
                                          LVS_REPORT | LVS_SINGLESEL | WS_BORDER | WS_TABSTOP, 0}}};
  RecordingDialog dialog(single);
  std::vector<int> afterRowClick;
  std::vector<int> afterEmptyClick;
  std::vector<int> afterSecondSelect;
  dialog.onInit = [](RecordingDialog& d) { gui_test::FillList(d.m_hWnd, 3); };
  dialog.script = [&](RecordingDialog& d) {
    HWND list = d.GetDlgItem(2000);
    QWidget* viewport = static_cast<QTreeView*>(Widget(list))->viewport();
    RECT rect;
    SendMessage(list, LVM_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&rect));
    QTest::mouseClick(viewport, Qt::LeftButton, {}, QPoint(rect.left + 5, rect.top + 2));
    afterRowClick = SelectedRows(list);
    QTest::mouseClick(viewport, Qt::LeftButton, {}, QPoint(5, viewport->height() - 3));
    afterEmptyClick = SelectedRows(list);
    SetState(list, 0, LVIS_SELECTED, LVIS_SELECTED);
    SetState(list, 2, LVIS_SELECTED, LVIS_SELECTED);
    afterSecondSelect = SelectedRows(list);
    d.EndDialog(IDOK);
  };
  dialog.DoModal();
  EXPECT_THAT(afterRowClick, testing::ElementsAre(1));
  EXPECT_TRUE(afterEmptyClick.empty());
  EXPECT_THAT(afterSecondSelect, testing::ElementsAre(2));
}

}  // namespace

namespace {

TEST(ListView, ItsClientWidthIsKnownDuringInitialisation) {
  // The key list sizes its columns from this width before the dialog is shown.
  RecordingDialog dialog(gui_test::RoutingTemplate());
  RECT atInit;
  RECT shown;
  int rowsWidth = 0;
  dialog.onInit = [&](RecordingDialog& d) { GetClientRect(d.GetDlgItem(2000), &atInit); };
  dialog.script = [&](RecordingDialog& d) {
    HWND list = d.GetDlgItem(2000);
    GetClientRect(list, &shown);
    rowsWidth = static_cast<QTreeView*>(Widget(list))->viewport()->width();
    d.EndDialog(IDOK);
  };
  dialog.DoModal();
  EXPECT_EQ(atInit.right, shown.right);
  EXPECT_EQ(atInit.bottom, shown.bottom);
  EXPECT_EQ(shown.right, rowsWidth);  // no rows yet: no scroll bar
}

}  // namespace
