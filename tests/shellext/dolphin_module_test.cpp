// Dolphin's plugin loaded as KIO loads a file-item action (the Qt plugin's factory makes it),
// asked for the actions of file items of the test's own. A process of Qt 5 of its own.
#include <gtest/gtest.h>

#include <KAbstractFileItemActionPlugin>
#include <KFileItem>
#include <KFileItemListProperties>
#include <KIO/UDSEntry>
#include <KPluginFactory>
#include <KPluginMetaData>
#include <QAction>
#include <QCoreApplication>
#include <QPluginLoader>

#include <memory>

#include "tests/shellext/file_manager_cases.h"

namespace {

// The URL a file manager makes of a local path: every byte that is not plain ASCII stays
// percent-encoded, so a name that is not UTF-8 keeps its bytes.
QUrl FileUrl(const std::string& path) {
  const QByteArray bytes(path.data(), static_cast<int>(path.size()));
  return QUrl::fromEncoded("file://" + bytes.toPercentEncoding("/"), QUrl::StrictMode);
}

class DolphinTestHost : public FileManagerTestHost {
 public:
  explicit DolphinTestHost(const std::string& pluginFile)
      : m_loader(QString::fromStdString(pluginFile)) {
    auto* factory = qobject_cast<KPluginFactory*>(m_loader.instance());
    if (!factory) {
      m_error = m_loader.errorString().toStdString();
      return;
    }
    m_plugin.reset(factory->create<KAbstractFileItemActionPlugin>());
    if (!m_plugin) m_error = "the factory makes no file-item action";
  }
  ~DolphinTestHost() override { qDeleteAll(m_actions); }

  // The actions for items as KIO lists them (a view of local files under its own scheme).
  std::vector<ItemShown> ItemsForListed(const KFileItemList& items) {
    qDeleteAll(m_actions);
    m_actions = m_plugin->actions(KFileItemListProperties(items), nullptr);
    std::vector<ItemShown> shown;
    for (const QAction* action : m_actions)
      shown.push_back({action->text().toStdString(), action->toolTip().toStdString()});
    return shown;
  }

  bool ok() const override { return m_plugin != nullptr; }
  const std::string& error() const override { return m_error; }
  const QPluginLoader& loader() const { return m_loader; }

  std::vector<ItemShown> ItemsFor(const std::vector<std::string>& pathsOrUris) override {
    KFileItemList items;
    for (const std::string& name : pathsOrUris) {
      const QUrl url = name.find("://") != std::string::npos ? QUrl(QString::fromStdString(name))
                                                             : FileUrl(name);
      items.append(KFileItem(url, QStringLiteral("application/octet-stream"), S_IFREG));
    }
    return ItemsForListed(items);
  }
  void Activate(unsigned index) override {
    if (index < static_cast<unsigned>(m_actions.size()))
      m_actions[static_cast<int>(index)]->trigger();
  }
  // Dolphin drops its plugins with the view; a new view makes them afresh.
  void ShutDownModule() override {
    qDeleteAll(m_actions);
    m_actions.clear();
    m_plugin.reset(qobject_cast<KPluginFactory*>(m_loader.instance())
                       ->create<KAbstractFileItemActionPlugin>());
  }

 private:
  QPluginLoader m_loader;
  std::unique_ptr<KAbstractFileItemActionPlugin> m_plugin;
  QList<QAction*> m_actions;
  std::string m_error;
};

DolphinTestHost& Dolphin() {
  static int argc = 1;
  static char name[] = "test_shellext_dolphin";
  static char* argv[] = {name, nullptr};
  static QCoreApplication app(argc, argv);
  static DolphinTestHost host(BuiltFile("zembra_file_item_action.so"));
  return host;
}
FileManagerTestHost& DolphinHost() { return Dolphin(); }

using DolphinPlugin = ModuleWithServer<DolphinHost>;
using DolphinPluginAlone = ModuleWithoutServer<DolphinHost>;

}  // namespace

// First: the plugin must not have loaded a server yet when run in one process.
TEST_F(DolphinPluginAlone, NoServerOrOneThatFailsToLoadGivesNoItems) {
  ExpectNoItemsWithoutAServerThatLoads(host(), ZEMBRA_INSTALLED_SHELLEXT);
}

// KIO offers a plugin only the file types its metadata names: every file and folder.
TEST_F(DolphinPluginAlone, MetadataOffersThePluginForEveryFileAndFolder) {
  const KPluginMetaData metadata(Dolphin().loader());
  ASSERT_TRUE(metadata.isValid());
  EXPECT_EQ(metadata.pluginId(), QStringLiteral("zembrafileitemaction"));
  for (const char* type : {"application/pgp-encrypted", "application/pgp-keys", "text/plain",
                           "application/x-zerosize", "inode/directory"})
    EXPECT_TRUE(metadata.supportsMimeType(QString::fromLatin1(type))) << type;
}

TEST_F(DolphinPlugin, SelectionsGiveTheHandlersItemsInOrder) {
  ExpectSelectionsGiveTheHandlersItems(host());
}

TEST_F(DolphinPlugin, HostilePathsReachTheLauncherByteForByte) {
  ExpectHostilePathsReachTheLauncher(host(), server());
}

TEST_F(DolphinPlugin, RemoteFilesGetNoItems) {
  ExpectRemoteFilesGetNoItems(host());
  EXPECT_TRUE(host().ItemsFor({"file://server/share/x.gpg"}).empty());
}

// The Plasma desktop lists ~/Desktop as desktop:/ with each item's local path: those are local
// files, and the launcher gets their paths.
TEST_F(DolphinPlugin, ItemsOfALocalViewUnderItsOwnSchemeGetTheirLocalPaths) {
  KIO::UDSEntry entry;
  entry.fastInsert(KIO::UDSEntry::UDS_NAME, QStringLiteral("x.gpg"));
  entry.fastInsert(KIO::UDSEntry::UDS_LOCAL_PATH, QStringLiteral("/home/u/Desktop/x.gpg"));
  entry.fastInsert(KIO::UDSEntry::UDS_FILE_TYPE, S_IFREG);
  const KFileItem item(entry, QUrl(QStringLiteral("desktop:/x.gpg")));
  const std::vector<ItemShown> items = Dolphin().ItemsForListed({item});
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[1].label, "Decrypt with Zembra");
  host().Activate(1);
  const auto argv = server().WaitForNextArgv();
  ASSERT_TRUE(argv) << "the launcher did not run";
  EXPECT_EQ(*argv, (std::vector<std::string>{"1", "/home/u/Desktop/x.gpg"}));
}

// KIO decodes names that are not UTF-8 with replacement characters; such a path names another
// file, so the selection gets no items rather than a launcher on the wrong name.
TEST_F(DolphinPlugin, APathDecodedWithReplacementCharactersIsLeftOut) {
  EXPECT_TRUE(host().ItemsFor({"/tmp/x.gpg", "/tmp/\xef\xbf\xbd.gpg"}).empty());
}
