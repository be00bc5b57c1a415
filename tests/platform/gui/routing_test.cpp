// Message routing: what reaches a dialog's message map, in which order, from real input.
#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/platform/gui/gui_test_support.h"

using gui_test::RecordingDialog;
using gui_test::Widget;
using testing::ElementsAre;

namespace {

QPoint RowCentre(HWND list, int row) {
  RECT rect;
  EXPECT_TRUE(SendMessage(list, LVM_GETITEMRECT, static_cast<WPARAM>(row),
                          reinterpret_cast<LPARAM>(&rect)));
  return QPoint((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
}

QWidget* Viewport(HWND list) { return static_cast<QTreeView*>(Widget(list))->viewport(); }

TEST(DialogRouting, InitDialogArrivesOnceWithItsParameterAndTheControls) {
  RecordingDialog dialog(gui_test::RoutingTemplate());
  bool controlsExisted = false;
  dialog.onInit = [&](RecordingDialog& d) {
    controlsExisted = d.GetDlgItem(1001) != nullptr && d.GetDlgItem(2000) != nullptr;
  };
  dialog.script = [](RecordingDialog& d) { PostMessage(d.m_hWnd, WM_USER + 54, 5, 0); };
  EXPECT_EQ(dialog.DoModal(nullptr, 1234), 5);
  EXPECT_EQ(dialog.initParam, 1234);
  EXPECT_TRUE(controlsExisted);
  EXPECT_THAT(dialog.log, ElementsAre("init", "finish"));
  EXPECT_EQ(dialog.m_hWnd, nullptr);
}

TEST(DialogRouting, SentMessagesRunAtOncePostedOnesAfterTheHandlerInPostingOrder) {
  RecordingDialog dialog(gui_test::RoutingTemplate());
  dialog.script = [](RecordingDialog& d) {
    SendMessage(d.m_hWnd, WM_USER + 51, 0, 0);
    PostMessage(d.m_hWnd, WM_USER + 54, 1, 0);
    d.record("script end");
  };
  EXPECT_EQ(dialog.DoModal(), 1);
  EXPECT_THAT(dialog.log, ElementsAre("init", "probe begin", "three sent", "probe end",
                                      "script end", "two 0", "three posted", "finish"));
}

TEST(DialogRouting, EndDialogDuringInitialisationEndsWithoutARun) {
  RecordingDialog dialog(gui_test::RoutingTemplate());
  dialog.onInit = [](RecordingDialog& d) { d.EndDialog(42); };
  dialog.script = [](RecordingDialog& d) { d.record("script ran"); };
  EXPECT_EQ(dialog.DoModal(), 42);
  EXPECT_THAT(dialog.log, ElementsAre("init"));
}

TEST(DialogRouting, MouseClicksOnButtonsAndCheckBoxesSendBnClicked) {
  RecordingDialog dialog(gui_test::RoutingTemplate());
  HWND buttonSeen = nullptr;
  HWND commandControl = nullptr;
  dialog.script = [&](RecordingDialog& d) {
    buttonSeen = d.GetDlgItem(1001);
    QTest::mouseClick(Widget(d.GetDlgItem(1001)), Qt::LeftButton);
    commandControl = d.lastCommandControl;
    QTest::mouseClick(Widget(d.GetDlgItem(1003)), Qt::LeftButton);
    QTest::mouseClick(Widget(d.GetDlgItem(1003)), Qt::LeftButton);
    d.EndDialog(IDOK);
  };
  EXPECT_EQ(dialog.DoModal(), IDOK);
  // The check box has changed its state by the time BN_CLICKED arrives.
  EXPECT_THAT(dialog.log, ElementsAre("init", "command 1001 code 0", "command 1003 code 0 checked",
                                      "command 1003 code 0 unchecked"));
  EXPECT_EQ(commandControl, buttonSeen);
}

TEST(DialogRouting, ListClicksNotifyTheRowAndThePointAndMinusOneOffTheRows) {
  RecordingDialog dialog(gui_test::RoutingTemplate());
  QPoint rightPoint;
  POINT rightAction;
  dialog.onInit = [](RecordingDialog& d) { gui_test::FillList(d.m_hWnd, 3); };
  dialog.script = [&](RecordingDialog& d) {
    HWND list = d.GetDlgItem(2000);
    QTest::mouseClick(Viewport(list), Qt::LeftButton, {}, RowCentre(list, 1));
    rightPoint = RowCentre(list, 2);
    QTest::mouseClick(Viewport(list), Qt::RightButton, {}, rightPoint);
    rightAction = d.lastClick.ptAction;
    const QPoint below(20, Viewport(list)->height() - 5);
    QTest::mouseClick(Viewport(list), Qt::LeftButton, {}, below);
    d.EndDialog(IDOK);
  };
  EXPECT_EQ(dialog.DoModal(), IDOK);
  EXPECT_THAT(dialog.log,
              ElementsAre("init", "notify 2000 NM_CLICK item 1", "notify 2000 NM_RCLICK item 2",
                          "notify 2000 NM_CLICK item -1"));
  EXPECT_EQ(rightAction.x, rightPoint.x());
  EXPECT_EQ(rightAction.y, rightPoint.y());
}

TEST(DialogRouting, ClickingARowSelectsItAndReportsTheChange) {
  RecordingDialog dialog(gui_test::RoutingTemplate());
  LRESULT selected = 0;
  int firstSelected = -2;
  dialog.onInit = [](RecordingDialog& d) { gui_test::FillList(d.m_hWnd, 4); };
  dialog.script = [&](RecordingDialog& d) {
    HWND list = d.GetDlgItem(2000);
    QTest::mouseClick(Viewport(list), Qt::LeftButton, {}, RowCentre(list, 3));
    selected = SendMessage(list, LVM_GETSELECTEDCOUNT, 0, 0);
    firstSelected = static_cast<int>(
        SendMessage(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    d.EndDialog(IDOK);
  };
  EXPECT_EQ(dialog.DoModal(), IDOK);
  EXPECT_EQ(selected, 1);
  EXPECT_EQ(firstSelected, 3);
  EXPECT_GE(dialog.itemChanges, 1);
  EXPECT_EQ(dialog.lastItemChange.iItem, 3);
  EXPECT_EQ(dialog.lastItemChange.uNewState & LVIS_SELECTED, LVIS_SELECTED);
  EXPECT_EQ(dialog.lastItemChange.lParam, 21);
}

TEST(DialogRouting, EnterSendsTheDefaultCommandEvenWithoutAControl) {
  RecordingDialog dialog(gui_test::RoutingTemplate());
  LRESULT before = 0;
  LRESULT after = 0;
  bool okLookedDefault = false;
  bool okStillDefault = true;
  dialog.script = [&](RecordingDialog& d) {
    before = SendMessage(d.m_hWnd, DM_GETDEFID, 0, 0);
    okLookedDefault = static_cast<QPushButton*>(Widget(d.GetDlgItem(IDOK)))->isDefault();
    // How the operations window moves its default command to 1107, which has no control.
    SendMessage(d.GetDlgItem(IDOK), BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
    SendMessage(d.m_hWnd, DM_SETDEFID, 1107, 0);
    after = SendMessage(d.m_hWnd, DM_GETDEFID, 0, 0);
    okStillDefault = static_cast<QPushButton*>(Widget(d.GetDlgItem(IDOK)))->isDefault();
    QWidget* edit = Widget(d.GetDlgItem(1002));
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_Return);
    d.EndDialog(IDOK);
  };
  EXPECT_EQ(dialog.DoModal(), IDOK);
  EXPECT_EQ(LOWORD(static_cast<WPARAM>(before)), IDOK);
  EXPECT_EQ(HIWORD(static_cast<WPARAM>(before)), DC_HASDEFID);
  EXPECT_EQ(LOWORD(static_cast<WPARAM>(after)), 1107);
  EXPECT_EQ(HIWORD(static_cast<WPARAM>(after)), DC_HASDEFID);
  EXPECT_TRUE(okLookedDefault);
  EXPECT_FALSE(okStillDefault);
  EXPECT_THAT(dialog.log, ElementsAre("init", "command 1107 code 0"));
  EXPECT_EQ(dialog.lastCommandControl, nullptr);
}

TEST(DialogRouting, EnterOnAFocusedEditSendsTheTemplatesDefaultButton) {
  RecordingDialog dialog(gui_test::RoutingTemplate());
  dialog.script = [](RecordingDialog& d) {
    QWidget* edit = Widget(d.GetDlgItem(1002));
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_Return);
    d.EndDialog(3);
  };
  EXPECT_EQ(dialog.DoModal(), 3);
  EXPECT_THAT(dialog.log, ElementsAre("init", "command 1 code 0"));
}

TEST(DialogRouting, EscapeIsCancelAndEndsTheRunWithTwoWhenNotHandled) {
  RecordingDialog dialog(gui_test::RoutingTemplate());
  dialog.script = [](RecordingDialog& d) {
    QWidget* edit = Widget(d.GetDlgItem(1002));
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_Escape);
  };
  EXPECT_EQ(dialog.DoModal(), IDCANCEL);
  EXPECT_THAT(dialog.log, ElementsAre("init", "command 2 code 0"));
}

TEST(DialogRouting, TheCloseBoxIsCancelToo) {
  RecordingDialog dialog(gui_test::RoutingTemplate());
  bool closedAtOnce = true;
  dialog.script = [&](RecordingDialog& d) { closedAtOnce = Widget(d.m_hWnd)->close(); };
  EXPECT_EQ(dialog.DoModal(), IDCANCEL);
  EXPECT_THAT(dialog.log, ElementsAre("init", "command 2 code 0"));
  // The close request itself is refused; the dialog ends through its cancel command.
  EXPECT_FALSE(closedAtOnce);
}

TEST(DialogRouting, AHandledCancelDecidesTheEndCode) {
  RecordingDialog dialog(gui_test::RoutingTemplate());
  dialog.handleCancel = true;
  dialog.script = [](RecordingDialog& d) { Widget(d.m_hWnd)->close(); };
  EXPECT_EQ(dialog.DoModal(), 8);
  EXPECT_THAT(dialog.log, ElementsAre("init", "command 2 code 0", "cancel handler"));
}

TEST(DialogRouting, LinkClickAndEnterCarryTheAddress) {
  RecordingDialog dialog(gui_test::RoutingTemplate());
  dialog.script = [](RecordingDialog& d) {
    QWidget* link = Widget(d.GetDlgItem(2001));
    QTest::mouseClick(link, Qt::LeftButton, {}, QPoint(5, link->height() / 2));
    link->setFocus();
    QTest::keyClick(link, Qt::Key_Return);
    d.EndDialog(IDOK);
  };
  EXPECT_EQ(dialog.DoModal(), IDOK);
  EXPECT_THAT(dialog.log, ElementsAre("init", "notify 2001 NM_CLICK https://example.org/update",
                                      "notify 2001 NM_RETURN https://example.org/update"));
}

TEST(DialogRouting, AWindowPostsToItsHostWhichReceivesItAfterTheHandler) {
  // The operations window posts WM_USER + 2 to the window it was given as its parameter.
  RecordingDialog host(gui_test::RoutingTemplate());
  RecordingDialog inner(gui_test::RoutingTemplate());
  INT_PTR innerResult = 0;
  HWND innerParam = nullptr;
  host.script = [&](RecordingDialog& h) {
    inner.script = [&](RecordingDialog& i) {
      innerParam = reinterpret_cast<HWND>(i.initParam);
      PostMessage(innerParam, WM_USER + 2, 1, 0);
      i.record("posted");
      PostMessage(i.m_hWnd, WM_USER + 54, 9, 0);
    };
    innerResult = inner.DoModal(h.m_hWnd, reinterpret_cast<LPARAM>(h.m_hWnd));
    h.EndDialog(IDOK);
  };
  EXPECT_EQ(host.DoModal(), IDOK);
  EXPECT_EQ(innerResult, 9);
  EXPECT_NE(innerParam, nullptr);
  EXPECT_THAT(host.log, ElementsAre("init", "two 1"));
  EXPECT_THAT(inner.log, ElementsAre("init", "posted", "finish"));
}

TEST(DialogRouting, HandlesOfClosedDialogsAreNoLongerWindows) {
  RecordingDialog dialog(gui_test::RoutingTemplate());
  HWND window = nullptr;
  HWND button = nullptr;
  dialog.script = [&](RecordingDialog& d) {
    window = d.m_hWnd;
    button = d.GetDlgItem(1001);
    EXPECT_TRUE(IsWindow(window));
    EXPECT_TRUE(IsWindow(button));
    EXPECT_EQ(GetParent(button), window);
    d.EndDialog(IDOK);
  };
  dialog.DoModal();
  EXPECT_FALSE(IsWindow(window));
  EXPECT_FALSE(IsWindow(button));
  // Messages to a dead window do nothing.
  EXPECT_EQ(SendMessage(button, BM_GETCHECK, 0, 0), 0);
  EXPECT_FALSE(PostMessage(window, WM_USER + 54, 0, 0));
  EXPECT_EQ(GetDlgItem(window, 1001), nullptr);
}

}  // namespace

namespace {

TEST(DialogKeys, AltWithAMnemonicPressesItsButton) {
  RecordingDialog dialog(gui_test::RoutingTemplate());
  bool goPressed = false;
  bool armorPressed = false;
  bool okPressed = true;
  dialog.script = [&](RecordingDialog& d) {
    // Shortcuts go to the active window: go on once the platform has activated the dialog
    // (its activation is queued when the dialog is shown).
    QTimer::singleShot(0, [&] {
      QWidget* edit = Widget(d.GetDlgItem(1002));
      edit->setFocus();
      // Qt animates a mnemonic's click: the button goes down now and clicks a moment later.
      QTest::keyClick(edit, Qt::Key_G, Qt::AltModifier);  // "&Go"
      QTest::keyClick(edit, Qt::Key_A, Qt::AltModifier);  // "&Armor"
      goPressed = static_cast<QAbstractButton*>(Widget(d.GetDlgItem(1001)))->isDown();
      armorPressed = static_cast<QAbstractButton*>(Widget(d.GetDlgItem(1003)))->isDown();
      okPressed = static_cast<QAbstractButton*>(Widget(d.GetDlgItem(IDOK)))->isDown();
      d.EndDialog(IDOK);
    });
  };
  dialog.DoModal();
  EXPECT_TRUE(goPressed);
  EXPECT_TRUE(armorPressed);
  EXPECT_FALSE(okPressed);
}

TEST(DialogKeys, EnterOnAFocusedButtonPressesThatButton) {
  RecordingDialog dialog(gui_test::RoutingTemplate());
  dialog.script = [](RecordingDialog& d) {
    QWidget* cancel = Widget(d.GetDlgItem(IDCANCEL));
    cancel->setFocus();
    d.handleCancel = true;
    QTest::keyClick(cancel, Qt::Key_Return);
  };
  EXPECT_EQ(dialog.DoModal(), 8);
  EXPECT_THAT(dialog.log, ElementsAre("init", "command 2 code 0", "cancel handler"));
}

}  // namespace
