// Dolphin's file-item-action plugin (KF5 KIO): hosts the shell extension as the GObject file
// managers' modules do. The selected local files become the handler's data object, the items
// of QueryContextMenu become actions with their help texts as tooltips, and triggering one
// calls InvokeCommand.
#include <KAbstractFileItemActionPlugin>
#include <KFileItem>
#include <KFileItemListProperties>
#include <KPluginFactory>
#include <QAction>
#include <QUrl>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "shellext/host/menu_host.h"

namespace {

// The path's bytes as the file system has them. A name that is not UTF-8 stays percent-encoded
// in the URL, so decoding the encoded path gives it back byte for byte.
std::string LocalPathBytes(const QUrl& url) {
  const QByteArray bytes = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
  return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

// Local paths of the selection; empty when any item is not a local file (a remote location),
// since a part of the selection would be a different job. An item of a KIO view of local files
// (the Plasma desktop's desktop:/) counts by its local file. KIO decodes a name that is not
// UTF-8 with replacement characters: that path names another file, and is not passed on either.
std::vector<std::string> LocalPaths(const KFileItemList& items) {
  std::vector<std::string> paths;
  for (const KFileItem& item : items) {
    // The item's own file URL keeps the name's bytes; the local URL KIO derives is decoded text.
    bool local = item.url().isLocalFile();
    const QUrl url = local ? item.url() : item.mostLocalUrl(&local);
    if (!local || !url.isLocalFile() || !url.host().isEmpty()) return {};
    std::string path = LocalPathBytes(url);
    if (path.find("\xef\xbf\xbd") != std::string::npos) return {};
    paths.push_back(std::move(path));
  }
  return paths;
}

}  // namespace

class ZembraFileItemAction : public KAbstractFileItemActionPlugin {
  Q_OBJECT

 public:
  ZembraFileItemAction(QObject* parent, const QVariantList&)
      : KAbstractFileItemActionPlugin(parent), m_host(ZEMBRA_INSTALLED_SHELLEXT) {}

  QList<QAction*> actions(const KFileItemListProperties& selection, QWidget* parent) override {
    const std::shared_ptr<ContextMenuSession> menu = m_host.MenuFor(LocalPaths(selection.items()));
    QList<QAction*> shown;
    if (!menu) return shown;
    for (const ShellMenuItem& item : ShownItems(*menu)) {
      auto* action = new QAction(QString::fromStdString(item.text), parent);
      action->setObjectName(QString::fromStdString(ShownItemName(item)));
      action->setToolTip(QString::fromStdString(item.helpText));
      action->setStatusTip(action->toolTip());
      const UINT offset = item.offset;
      connect(action, &QAction::triggered, this, [menu, offset] { menu->Invoke(offset); });
      shown.append(action);
    }
    return shown;
  }

 private:
  // The server, loaded at the first menu, for as long as Dolphin keeps the plugin.
  MenuHost m_host;
};

K_PLUGIN_CLASS_WITH_JSON(ZembraFileItemAction, "zembra_file_item_action.json")

#include "zembra_file_item_action.moc"
