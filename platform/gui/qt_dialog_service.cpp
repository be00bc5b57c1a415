// The dialog service of the running product: real Qt dialogs. File dialogs are Qt's own (not
// the desktop's) so that an options panel can sit inside them.
#include <QDesktopServices>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QMenu>
#include <QMessageBox>
#include <QUrl>

#include "platform/gui/dialog_service.h"
#include "platform/gui/menu_data.h"
#include "platform/gui/qt_window.h"

using namespace gui_detail;

namespace {

QString FromBytes(const std::string& bytes) {
  return QFile::decodeName(QByteArray::fromStdString(bytes));
}

// A file dialog whose Save/Open first confirms replacing an existing file, then asks the
// panel's hook (CDN_FILEOK), in that order, before it closes.
class HookedFileDialog : public QFileDialog {
 public:
  HookedFileDialog(QWidget* parent, FileDialogPanel* panel, bool overwritePrompt)
      : QFileDialog(parent), m_panel(panel), m_overwritePrompt(overwritePrompt) {}

 protected:
  void accept() override {
    const QStringList files = selectedFiles();
    if (files.isEmpty() || QFileInfo(files.front()).isDir()) {
      QFileDialog::accept();  // a folder typed as the name: Qt's own dialog opens it
      return;
    }
    if (acceptMode() == AcceptSave && m_overwritePrompt && QFileInfo::exists(files.front())) {
      const QString text = OverwriteQuestion(QFile::encodeName(files.front()).toStdString());
      if (QMessageBox::warning(this, windowTitle(), text, QMessageBox::Yes | QMessageBox::No,
                               QMessageBox::No) != QMessageBox::Yes) {
        return;
      }
    }
    if (m_panel != nullptr && !m_panel->fileOk(QFile::encodeName(files.front()).toStdString())) {
      return;
    }
    QFileDialog::accept();
  }

 private:
  static QString OverwriteQuestion(const std::string& path) {
    return QString::fromStdString(OverwritePromptText(path));
  }

  FileDialogPanel* m_panel;
  bool m_overwritePrompt;
};

void AddMenuItems(QMenu* menu, const MenuNode& node) {
  for (const MenuNode& child : node.children) {
    if (child.separator) {
      menu->addSeparator();
    } else if (child.popup) {
      AddMenuItems(menu->addMenu(QString::fromUtf8(child.text)), child);
    } else {
      QAction* action = menu->addAction(QString::fromUtf8(child.text));
      action->setData(child.id);
    }
  }
}

class QtDialogService : public DialogService {
 public:
  int messageBox(HWND owner, const std::string& text, const std::string& caption,
                 UINT type) override {
    if (!EnsureApplication()) return 0;  // MessageBox's failure
    QMessageBox box(WidgetOf(owner));
    box.setWindowTitle(QString::fromUtf8(caption));
    box.setText(QString::fromUtf8(text));
    switch (type & 0xF0) {
      case MB_ICONERROR: box.setIcon(QMessageBox::Critical); break;
      case MB_ICONQUESTION: box.setIcon(QMessageBox::Question); break;
      case MB_ICONWARNING: box.setIcon(QMessageBox::Warning); break;
      case MB_ICONINFORMATION: box.setIcon(QMessageBox::Information); break;
      default: break;
    }
    if ((type & 0xF) == MB_YESNO) {
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      box.setDefaultButton(QMessageBox::Yes);
      return box.exec() == QMessageBox::Yes ? IDYES : IDNO;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return IDOK;
  }

  std::vector<std::string> chooseFiles(HWND owner, const FileDialogRequest& request,
                                       FileDialogPanel* panel) override {
    if (!EnsureApplication()) return {};
    HookedFileDialog dialog(WidgetOf(owner), panel, (request.flags & OFN_OVERWRITEPROMPT) != 0);
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setWindowTitle(QString::fromUtf8(request.title));
    dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    if (request.save) {
      dialog.setFileMode(QFileDialog::AnyFile);
      dialog.setOption(QFileDialog::DontConfirmOverwrite, true);  // asked in accept()
      dialog.setDefaultSuffix(QString::fromUtf8(request.defaultExtension));
    } else {
      dialog.setFileMode((request.flags & OFN_ALLOWMULTISELECT) != 0 ? QFileDialog::ExistingFiles
                                                                     : QFileDialog::ExistingFile);
    }
    QStringList filters;
    for (const auto& [text, patterns] : request.filters) {
      QString pattern = QString::fromUtf8(patterns);
      pattern.replace(QLatin1Char(';'), QLatin1Char(' '));
      filters << QStringLiteral("%1 (%2)").arg(QString::fromUtf8(text), pattern);
    }
    if (!filters.isEmpty()) {
      dialog.setNameFilters(filters);
      const int index = static_cast<int>(request.filterIndex) - 1;
      if (index >= 0 && index < filters.size()) dialog.selectNameFilter(filters[index]);
    }
    if (!request.initialDir.empty()) dialog.setDirectory(FromBytes(request.initialDir));
    if (!request.initialName.empty()) dialog.selectFile(FromBytes(request.initialName));
    if (panel != nullptr) {
      if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout())) {
        QWidget* host = new QWidget(&dialog);
        RegisterWindow(host);  // the panel's parent window
        const HWND window = panel->create(HwndOf(host));
        if (QWidget* widget = WidgetOf(window)) {
          host->setFixedSize(widget->size());
        }
        grid->addWidget(host, grid->rowCount(), 0, 1, grid->columnCount());
      } else {
        panel->create(nullptr);
      }
    }
    std::vector<std::string> paths;
    if (dialog.exec() != QDialog::Accepted) return paths;
    for (const QString& file : dialog.selectedFiles()) {
      paths.push_back(QFile::encodeName(file).toStdString());
    }
    return paths;
  }

  UINT trackPopupMenu(HMENU menu, int x, int y, HWND owner) override {
    if (!EnsureApplication()) return 0;
    const MenuNode* node = MenuOf(menu);
    if (node == nullptr) return 0;
    QMenu popup(WidgetOf(owner));
    AddMenuItems(&popup, *node);
    QAction* chosen = popup.exec(QPoint(x, y));
    return chosen != nullptr ? chosen->data().toUInt() : 0;
  }

  bool openUrl(const std::string& address) override {
    if (!EnsureApplication()) return false;
    return QDesktopServices::openUrl(QUrl::fromUserInput(QString::fromUtf8(address)));
  }
};

DialogService*& InstalledService() {
  static DialogService* service = nullptr;
  return service;
}

}  // namespace

DialogService* CurrentDialogService() {
  static QtDialogService qtService;
  DialogService* service = InstalledService();
  return service != nullptr ? service : &qtService;
}

DialogService* SetDialogService(DialogService* service) {
  DialogService* previous = InstalledService();
  InstalledService() = service;
  return previous;
}
