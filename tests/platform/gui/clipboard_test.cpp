// The clipboard round trip through Qt's clipboard (in-process under the offscreen platform).
#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QUrl>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/gui/clipboard.h"
#include "tests/platform/gui/gui_test_support.h"

using gui_test::RecordingDialog;

namespace {

class Clipboard : public testing::Test {
 protected:
  void SetUp() override {
    gui_test::EnsureQt();
    ASSERT_TRUE(OpenClipboard(nullptr));
    ASSERT_TRUE(EmptyClipboard());
  }
  void TearDown() override { CloseClipboard(); }
};

TEST_F(Clipboard, TextRoundTripsAsUtf8) {
  const std::string text = "-----BEGIN PGP MESSAGE-----\nGrüße, 世界\n";
  ASSERT_TRUE(SetClipboardBytes(CF_TEXT, text));
  EXPECT_TRUE(IsClipboardFormatAvailable(CF_UNICODETEXT));
  EXPECT_FALSE(IsClipboardFormatAvailable(CF_HDROP));
  std::string back;
  ASSERT_TRUE(GetClipboardBytes(CF_UNICODETEXT, &back));
  EXPECT_EQ(back, text);
  // Other programs read it as plain text too.
  EXPECT_EQ(QApplication::clipboard()->text().toUtf8().toStdString(), text);
}

TEST_F(Clipboard, TextFromAnotherProgramIsRead) {
  QApplication::clipboard()->setText(QStringLiteral("from elsewhere ä"));
  std::string back;
  ASSERT_TRUE(GetClipboardBytes(CF_TEXT, &back));
  EXPECT_EQ(back, "from elsewhere ä");
}

TEST_F(Clipboard, FileListsRoundTripByteForByte) {
  // A name that is not valid UTF-8 must survive, as must spaces and percent signs.
  const std::vector<std::string> paths = {"/tmp/a b/report 100%.pdf", "/tmp/raw-\xff\xfe.bin",
                                          "/tmp/Grüße.txt"};
  ASSERT_TRUE(SetClipboardFiles(paths));
  EXPECT_TRUE(IsClipboardFormatAvailable(CF_HDROP));
  std::vector<std::string> back;
  ASSERT_TRUE(GetClipboardFiles(&back));
  EXPECT_EQ(back, paths);
  const QMimeData* data = QApplication::clipboard()->mimeData();
  const QByteArray gnome = data->data(QStringLiteral("x-special/gnome-copied-files"));
  EXPECT_TRUE(gnome.startsWith("copy\nfile:///tmp/a%20b/report%20100%25.pdf\n"));
  ASSERT_EQ(data->urls().size(), 3);
  EXPECT_EQ(data->urls()[0].toLocalFile(), QStringLiteral("/tmp/a b/report 100%.pdf"));
}

TEST_F(Clipboard, FilesCopiedByAFileManagerAreRead) {
  auto* data = new QMimeData;
  data->setUrls({QUrl::fromLocalFile(QStringLiteral("/home/u/Documents/letter.txt.gpg"))});
  QApplication::clipboard()->setMimeData(data);
  std::vector<std::string> back;
  ASSERT_TRUE(GetClipboardFiles(&back));
  EXPECT_THAT(back, testing::ElementsAre("/home/u/Documents/letter.txt.gpg"));
}

TEST_F(Clipboard, AddressWithAnEncodedNulIsNotReadAsAShorterPath) {
  // Every open() would stop at the NUL and reach "/tmp/secret" instead of the file named.
  auto* data = new QMimeData;
  data->setData(QStringLiteral("text/uri-list"),
                "file:///tmp/secret%00.gpg\r\nfile:///tmp/other.gpg\r\n");
  QApplication::clipboard()->setMimeData(data);
  std::vector<std::string> back;
  ASSERT_TRUE(GetClipboardFiles(&back));
  EXPECT_THAT(back, testing::ElementsAre("/tmp/other.gpg"));
}

TEST_F(Clipboard, AccessNeedsAnOpenClipboard) {
  EXPECT_TRUE(OpenClipboard(nullptr));  // the same program may open it again
  ASSERT_TRUE(CloseClipboard());
  std::string text;
  EXPECT_FALSE(GetClipboardBytes(CF_TEXT, &text));
  EXPECT_FALSE(SetClipboardBytes(CF_TEXT, "x"));
  EXPECT_FALSE(SetClipboardFiles({"/tmp/x"}));
  EXPECT_FALSE(CloseClipboard());
  ASSERT_TRUE(OpenClipboard(nullptr));
}

TEST_F(Clipboard, AnotherWindowCannotOpenItWhileOneHasItOpen) {
  ASSERT_TRUE(CloseClipboard());
  RecordingDialog first(gui_test::RoutingTemplate());
  first.script = [](RecordingDialog& a) {
    RecordingDialog second(gui_test::RoutingTemplate());
    second.script = [&a](RecordingDialog& b) {
      EXPECT_TRUE(OpenClipboard(a.m_hWnd));
      EXPECT_FALSE(OpenClipboard(b.m_hWnd));
      EXPECT_TRUE(CloseClipboard());
      EXPECT_TRUE(OpenClipboard(b.m_hWnd));
      EXPECT_TRUE(CloseClipboard());
      b.EndDialog(IDOK);
    };
    second.DoModal(a.m_hWnd);
    a.EndDialog(IDOK);
  };
  first.DoModal();
  ASSERT_TRUE(OpenClipboard(nullptr));
}

}  // namespace
