// The report-view list control over a table model. Rows and m_rows change together; row i of
// the view shows m_rows[i]. The selection lives in the view's selection model only.
#include "platform/gui/list_view.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cstring>
#include <optional>
#include <set>

#include "platform/gui/qt_window.h"

namespace gui_detail {

namespace {
constexpr UINT kChecked = 2u << 12;
constexpr UINT kUnchecked = 1u << 12;
constexpr int LVSCW_AUTOSIZE = -1;
constexpr int LVSCW_AUTOSIZE_USEHEADER = -2;
constexpr UINT LVNI_FOCUSED = 0x0001;

int CopyText(const QString& text, char* buffer, int size) {
  if (buffer == nullptr || size <= 0) return 0;
  const QByteArray bytes = text.toUtf8();
  const int length = std::min<int>(static_cast<int>(bytes.size()), size - 1);
  std::memcpy(buffer, bytes.constData(), static_cast<size_t>(length));
  buffer[length] = '\0';
  return length;
}
}  // namespace

// ---- Model

int ListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int ListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : std::max<int>(1, static_cast<int>(m_columns.size()));
}

QVariant ListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= static_cast<int>(m_rows.size())) return {};
  const Row& row = m_rows[static_cast<size_t>(index.row())];
  if (role == Qt::DisplayRole) {
    return index.column() < row.texts.size() ? row.texts[index.column()] : QString();
  }
  if (role == Qt::CheckStateRole && m_checkBoxes && index.column() == 0) {
    return (row.stateImage & LVIS_STATEIMAGEMASK) == kChecked ? Qt::Checked : Qt::Unchecked;
  }
  return {};
}

bool ListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::CheckStateRole || !index.isValid() || !m_checkBoxes) return false;
  Row& row = m_rows[static_cast<size_t>(index.row())];
  const UINT old = row.stateImage;
  const UINT image = value.toInt() == Qt::Checked ? kChecked : kUnchecked;
  if (old == image) return true;
  row.stateImage = image;
  emit dataChanged(this->index(index.row(), 0), this->index(index.row(), 0), {role});
  emit stateImageChanged(index.row(), old, image);
  return true;
}

Qt::ItemFlags ListModel::flags(const QModelIndex& index) const {
  Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
  if (m_checkBoxes && index.column() == 0) flags |= Qt::ItemIsUserCheckable;
  return flags;
}

QVariant ListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section < m_columns.size()) {
    return m_columns[section];
  }
  return {};
}

int ListModel::insertRow(int row, Row value) {
  row = std::clamp(row, 0, static_cast<int>(m_rows.size()));
  beginInsertRows({}, row, row);
  m_rows.insert(m_rows.begin() + row, std::move(value));
  endInsertRows();
  return row;
}

void ListModel::removeRowAt(int row) {
  if (row < 0 || row >= static_cast<int>(m_rows.size())) return;
  beginRemoveRows({}, row, row);
  m_rows.erase(m_rows.begin() + row);
  endRemoveRows();
}

void ListModel::clear() {
  beginResetModel();
  m_rows.clear();
  endResetModel();
}

void ListModel::insertColumn(int column, const QString& title) {
  column = std::clamp(column, 0, static_cast<int>(m_columns.size()));
  // The first column exists before any is inserted (columnCount is at least 1).
  const bool first = m_columns.isEmpty();
  if (!first) beginInsertColumns({}, column, column);
  m_columns.insert(column, title);
  for (Row& row : m_rows) {
    if (column < row.texts.size()) row.texts.insert(column, QString());
  }
  if (!first) {
    endInsertColumns();
  } else {
    emit headerDataChanged(Qt::Horizontal, 0, 0);
  }
}

ListModel::Row* ListModel::row(int index) {
  if (index < 0 || index >= static_cast<int>(m_rows.size())) return nullptr;
  return &m_rows[static_cast<size_t>(index)];
}

void ListModel::setText(int row, int column, const QString& text) {
  Row* r = this->row(row);
  if (r == nullptr || column < 0) return;
  while (r->texts.size() <= column) r->texts.append(QString());
  r->texts[column] = text;
  emit dataChanged(index(row, column), index(row, column), {Qt::DisplayRole});
}

void ListModel::setStateImage(int row, UINT image) {
  Row* r = this->row(row);
  if (r == nullptr) return;
  r->stateImage = image & LVIS_STATEIMAGEMASK;
  emit dataChanged(index(row, 0), index(row, 0), {Qt::CheckStateRole});
}

void ListModel::setCheckBoxes(bool on) {
  if (m_checkBoxes == on) return;
  beginResetModel();
  m_checkBoxes = on;
  for (Row& row : m_rows) {
    if (on && row.stateImage == 0) row.stateImage = kUnchecked;
  }
  endResetModel();
}

// ---- View

ListView::ListView(QWidget* parent, DWORD style) : QTreeView(parent), m_model(new ListModel) {
  m_model->setParent(this);
  setModel(m_model);
  setRootIsDecorated(false);
  setItemsExpandable(false);
  setUniformRowHeights(true);
  setAllColumnsShowFocus(true);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode((style & LVS_SINGLESEL) != 0 ? QAbstractItemView::SingleSelection
                                                : QAbstractItemView::ExtendedSelection);
  header()->setStretchLastSection(false);
  header()->setSectionsMovable(false);
  header()->setDefaultSectionSize(60);
  if ((style & LVS_SHOWSELALWAYS) != 0) {
    QPalette palette = this->palette();
    palette.setColor(QPalette::Inactive, QPalette::Highlight,
                     palette.color(QPalette::Active, QPalette::Highlight));
    palette.setColor(QPalette::Inactive, QPalette::HighlightedText,
                     palette.color(QPalette::Active, QPalette::HighlightedText));
    setPalette(palette);
  }
  connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
          &ListView::onSelectionChanged);
  connect(m_model, &ListModel::stateImageChanged, this,
          [this](int row, UINT oldImage, UINT newImage) {
            notifyItemChanged(row, oldImage, newImage, LVIF_STATE);
          });
}

ListView::~ListView() {
  // Rows and selection go away with the view; that is no change to report to a dialog that is
  // being destroyed itself.
  ++m_quiet;
  selectionModel()->blockSignals(true);
  m_model->blockSignals(true);
}

void ListView::notifyItemChanged(int row, UINT oldState, UINT newState, UINT changed) {
  if (m_quiet > 0 && row != -1) return;
  DialogWindow* dialog = DialogOf(parentWidget());
  if (dialog == nullptr) return;
  NMLISTVIEW nm;
  nm.hdr.hwndFrom = HwndOf(this);
  nm.hdr.idFrom = static_cast<UINT_PTR>(ControlIdOf(this));
  nm.hdr.code = LVN_ITEMCHANGED;
  nm.iItem = row;
  nm.uOldState = oldState;
  nm.uNewState = newState;
  nm.uChanged = changed;
  if (ListModel::Row* r = m_model->row(row)) nm.lParam = r->param;
  dialog->notify(&nm.hdr);
}

void ListView::onSelectionChanged(const QItemSelection& selected,
                                  const QItemSelection& deselected) {
  if (m_quiet > 0) return;
  std::set<int> off;
  std::set<int> on;
  for (const QItemSelectionRange& range : deselected) {
    for (int row = range.top(); row <= range.bottom(); ++row) off.insert(row);
  }
  for (const QItemSelectionRange& range : selected) {
    for (int row = range.top(); row <= range.bottom(); ++row) on.insert(row);
  }
  QPointer<ListView> alive(this);
  for (int row : off) {
    if (on.count(row) == 0 && alive) notifyItemChanged(row, LVIS_SELECTED, 0, LVIF_STATE);
  }
  for (int row : on) {
    if (off.count(row) == 0 && alive) notifyItemChanged(row, 0, LVIS_SELECTED, LVIF_STATE);
  }
}

void ListView::notifyClick(UINT code, const QPoint& point) {
  DialogWindow* dialog = DialogOf(parentWidget());
  if (dialog == nullptr) return;
  NMITEMACTIVATE nm;
  nm.hdr.hwndFrom = HwndOf(this);
  nm.hdr.idFrom = static_cast<UINT_PTR>(ControlIdOf(this));
  nm.hdr.code = code;
  const QModelIndex index = indexAt(point);
  nm.iItem = index.isValid() ? index.row() : -1;
  nm.iSubItem = index.isValid() ? index.column() : 0;
  nm.ptAction.x = point.x();
  nm.ptAction.y = point.y();
  if (ListModel::Row* r = m_model->row(nm.iItem)) nm.lParam = r->param;
  dialog->notify(&nm.hdr);
}

void ListView::mouseReleaseEvent(QMouseEvent* event) {
  const QPoint point = event->position().toPoint();
  const Qt::MouseButton button = event->button();
  QPointer<ListView> alive(this);
  QTreeView::mouseReleaseEvent(event);
  if (!alive) return;
  if (button == Qt::LeftButton) notifyClick(NM_CLICK, point);
  if (button == Qt::RightButton) notifyClick(NM_RCLICK, point);
}

void ListView::mouseDoubleClickEvent(QMouseEvent* event) {
  const QPoint point = event->position().toPoint();
  const Qt::MouseButton button = event->button();
  QPointer<ListView> alive(this);
  QTreeView::mouseDoubleClickEvent(event);
  if (alive && button == Qt::LeftButton) notifyClick(NM_DBLCLK, point);
}

void ListView::keyPressEvent(QKeyEvent* event) {
  // Enter belongs to the dialog (its default command), as in a dialog box.
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    event->ignore();
    return;
  }
  QTreeView::keyPressEvent(event);
}

void ListView::drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                       const QModelIndex& index) const {
  QTreeView::drawRow(painter, option, index);
  if ((m_exStyle & LVS_EX_GRIDLINES) == 0) return;
  painter->save();
  painter->setPen(palette().color(QPalette::Midlight));
  const QRect r = option.rect;
  painter->drawLine(r.left(), r.bottom(), r.right(), r.bottom());
  int x = -header()->offset();
  for (int column = 0; column < header()->count(); ++column) {
    x += header()->sectionSize(column);
    painter->drawLine(x - 1, r.top(), x - 1, r.bottom());
  }
  painter->restore();
}

UINT ListView::itemState(int row) const {
  ListModel::Row* r = m_model->row(row);
  if (r == nullptr) return 0;
  UINT state = r->stateImage;
  const QModelIndex index = m_model->index(row, 0);
  if (selectionModel()->isSelected(index)) state |= LVIS_SELECTED;
  if (currentIndex().isValid() && currentIndex().row() == row) state |= LVIS_FOCUSED;
  return state;
}

void ListView::setItemState(int row, UINT state, UINT mask) {
  const int count = m_model->rowCount();
  if (row == -1) {
    // All rows at once: one notification for the lot (iItem -1), not one per row.
    if (count == 0) return;
    ++m_quiet;
    if ((mask & LVIS_SELECTED) != 0) {
      const QItemSelection all(m_model->index(0, 0),
                               m_model->index(count - 1, m_model->columnCount() - 1));
      if ((state & LVIS_SELECTED) != 0 && selectionMode() != QAbstractItemView::SingleSelection) {
        selectionModel()->select(all, QItemSelectionModel::Select | QItemSelectionModel::Rows);
      } else if ((state & LVIS_SELECTED) == 0) {
        selectionModel()->clearSelection();
      }
    }
    if ((mask & LVIS_STATEIMAGEMASK) != 0) {
      for (int r = 0; r < count; ++r) m_model->setStateImage(r, state);
    }
    --m_quiet;
    notifyItemChanged(-1, 0, state & mask, LVIF_STATE);
    return;
  }
  if (row < 0 || row >= count) return;
  const QModelIndex index = m_model->index(row, 0);
  if ((mask & LVIS_FOCUSED) != 0 && (state & LVIS_FOCUSED) != 0) {
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
  }
  if ((mask & LVIS_SELECTED) != 0) {
    const bool select = (state & LVIS_SELECTED) != 0;
    if (select && selectionMode() == QAbstractItemView::SingleSelection) {
      selectionModel()->select(index,
                               QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    } else {
      selectionModel()->select(
          index, (select ? QItemSelectionModel::Select : QItemSelectionModel::Deselect) |
                     QItemSelectionModel::Rows);
    }
  }
  if ((mask & LVIS_STATEIMAGEMASK) != 0) {
    const UINT old = m_model->row(row)->stateImage;
    m_model->setStateImage(row, state);
    if (old != (state & LVIS_STATEIMAGEMASK)) {
      notifyItemChanged(row, old, state & LVIS_STATEIMAGEMASK, LVIF_STATE);
    }
  }
}

LRESULT ListView::getItemText(int row, LVITEM* item) const {
  ListModel::Row* r = m_model->row(row);
  if (item == nullptr || r == nullptr) return 0;
  const QString text = item->iSubItem < r->texts.size() ? r->texts[item->iSubItem] : QString();
  return CopyText(text, item->pszText, item->cchTextMax);
}

// The rows: inserting, changing, reading and deleting them.
std::optional<LRESULT> ListView::itemMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  const int count = m_model->rowCount();
  auto* item = reinterpret_cast<LVITEM*>(lParam);
  switch (message) {
    case LVM_GETITEMCOUNT: return count;
    case LVM_INSERTITEM: {
      if (item == nullptr) return -1;
      ListModel::Row row;
      if ((item->mask & LVIF_TEXT) != 0 && item->pszText != nullptr) {
        row.texts.append(QString::fromUtf8(item->pszText));
      }
      if ((item->mask & LVIF_PARAM) != 0) row.param = item->lParam;
      if (m_model->checkBoxes()) row.stateImage = kUnchecked;
      if ((item->mask & LVIF_STATE) != 0 && (item->stateMask & LVIS_STATEIMAGEMASK) != 0 &&
          (item->state & LVIS_STATEIMAGEMASK) != 0) {
        row.stateImage = item->state & LVIS_STATEIMAGEMASK;
      }
      const int at = m_model->insertRow(item->iItem, std::move(row));
      if ((item->mask & LVIF_STATE) != 0) {
        setItemState(at, item->state, item->stateMask & (LVIS_SELECTED | LVIS_FOCUSED));
      }
      return at;
    }
    case LVM_SETITEM: {
      if (item == nullptr || m_model->row(item->iItem) == nullptr) return FALSE;
      if ((item->mask & LVIF_TEXT) != 0) {
        m_model->setText(item->iItem, item->iSubItem,
                         QString::fromUtf8(item->pszText != nullptr ? item->pszText : ""));
      }
      if ((item->mask & LVIF_PARAM) != 0) m_model->row(item->iItem)->param = item->lParam;
      if ((item->mask & LVIF_STATE) != 0) setItemState(item->iItem, item->state, item->stateMask);
      return TRUE;
    }
    case LVM_SETITEMTEXT: {
      const int row = static_cast<int>(wParam);
      if (item == nullptr || m_model->row(row) == nullptr) return FALSE;
      m_model->setText(row, item->iSubItem,
                       QString::fromUtf8(item->pszText != nullptr ? item->pszText : ""));
      return TRUE;
    }
    case LVM_GETITEMTEXT: return getItemText(static_cast<int>(wParam), item);
    case LVM_GETITEM: {
      if (item == nullptr) return FALSE;
      ListModel::Row* r = m_model->row(item->iItem);
      if (r == nullptr) return FALSE;
      if ((item->mask & LVIF_TEXT) != 0) getItemText(item->iItem, item);
      if ((item->mask & LVIF_PARAM) != 0) item->lParam = r->param;
      if ((item->mask & LVIF_STATE) != 0) item->state = itemState(item->iItem) & item->stateMask;
      return TRUE;
    }
    case LVM_DELETEITEM: {
      const int row = static_cast<int>(wParam);
      if (m_model->row(row) == nullptr) return FALSE;
      ++m_quiet;
      m_model->removeRowAt(row);
      --m_quiet;
      return TRUE;
    }
    case LVM_DELETEALLITEMS:
      ++m_quiet;
      m_model->clear();
      --m_quiet;
      return TRUE;
    default: return std::nullopt;
  }
}

// Item states and the selection.
std::optional<LRESULT> ListView::selectionMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  const int count = m_model->rowCount();
  auto* item = reinterpret_cast<LVITEM*>(lParam);
  switch (message) {
    case LVM_SETITEMSTATE:
      if (item == nullptr) return FALSE;
      setItemState(static_cast<int>(static_cast<LPARAM>(wParam)), item->state, item->stateMask);
      return TRUE;
    case LVM_GETITEMSTATE: return itemState(static_cast<int>(wParam)) & static_cast<UINT>(lParam);
    case LVM_GETNEXTITEM: {
      const int start = static_cast<int>(static_cast<LPARAM>(wParam));
      const UINT flags = static_cast<UINT>(lParam);
      for (int row = std::max(start + 1, 0); row < count; ++row) {
        if ((flags & LVNI_SELECTED) != 0 && !selectionModel()->isSelected(m_model->index(row, 0))) {
          continue;
        }
        if ((flags & LVNI_FOCUSED) != 0 && (itemState(row) & LVIS_FOCUSED) == 0) continue;
        return row;
      }
      return -1;
    }
    case LVM_GETSELECTEDCOUNT: {
      std::vector<bool> rows(static_cast<size_t>(count), false);
      int selected = 0;
      for (const QItemSelectionRange& range : selectionModel()->selection()) {
        if (range.left() != 0) continue;
        for (int row = range.top(); row <= range.bottom() && row < count; ++row) {
          if (!rows[static_cast<size_t>(row)]) {
            rows[static_cast<size_t>(row)] = true;
            ++selected;
          }
        }
      }
      return selected;
    }
    default: return std::nullopt;
  }
}

// The columns and their widths.
std::optional<LRESULT> ListView::columnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case LVM_INSERTCOLUMN: {
      const auto* column = reinterpret_cast<const LVCOLUMN*>(lParam);
      if (column == nullptr) return -1;
      const int index = std::clamp(static_cast<int>(wParam), 0, header()->count());
      m_model->insertColumn(
          index, QString::fromUtf8((column->mask & LVCF_TEXT) != 0 && column->pszText != nullptr
                                       ? column->pszText
                                       : ""));
      if ((column->mask & LVCF_WIDTH) != 0) header()->resizeSection(index, column->cx);
      return index;
    }
    case LVM_SETCOLUMNWIDTH: {
      const int column = static_cast<int>(wParam);
      const int width = static_cast<int>(static_cast<short>(LOWORD(static_cast<WPARAM>(lParam))));
      if (column < 0 || column >= header()->count()) return FALSE;
      if (width == LVSCW_AUTOSIZE_USEHEADER && column == header()->count() - 1) {
        int used = 0;
        for (int c = 0; c < column; ++c) used += header()->sectionSize(c);
        header()->resizeSection(
            column, std::max(viewport()->width() - used, header()->sectionSizeHint(column)));
      } else if (width == LVSCW_AUTOSIZE || width == LVSCW_AUTOSIZE_USEHEADER) {
        resizeColumnToContents(column);
      } else {
        header()->resizeSection(column, width);
      }
      return TRUE;
    }
    case LVM_GETCOLUMNWIDTH:
      return static_cast<int>(wParam) < header()->count()
                 ? header()->sectionSize(static_cast<int>(wParam))
                 : 0;
    default: return std::nullopt;
  }
}

// Extended styles, geometry and scrolling.
std::optional<LRESULT> ListView::viewMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case LVM_SETEXTENDEDLISTVIEWSTYLE: {
      const DWORD old = m_exStyle;
      const DWORD mask = wParam == 0 ? 0xFFFFFFFFu : static_cast<DWORD>(wParam);
      m_exStyle = (m_exStyle & ~mask) | (static_cast<DWORD>(lParam) & mask);
      m_model->setCheckBoxes((m_exStyle & LVS_EX_CHECKBOXES) != 0);
      viewport()->update();
      return old;
    }
    case LVM_GETEXTENDEDLISTVIEWSTYLE: return m_exStyle;
    case LVM_GETSTRINGWIDTH: {
      const char* text = reinterpret_cast<const char*>(lParam);
      return text == nullptr ? 0 : fontMetrics().horizontalAdvance(QString::fromUtf8(text));
    }
    case LVM_GETITEMRECT: {
      auto* rect = reinterpret_cast<RECT*>(lParam);
      const int row = static_cast<int>(wParam);
      if (rect == nullptr || m_model->row(row) == nullptr) return FALSE;
      executeDelayedItemsLayout();
      QRect r = visualRect(m_model->index(row, 0));
      for (int c = 1; c < m_model->columnCount(); ++c) r |= visualRect(m_model->index(row, c));
      rect->left = r.left();
      rect->top = r.top();
      rect->right = r.right() + 1;
      rect->bottom = r.bottom() + 1;
      return TRUE;
    }
    case LVM_ENSUREVISIBLE:
      if (m_model->row(static_cast<int>(wParam)) == nullptr) return FALSE;
      scrollTo(m_model->index(static_cast<int>(wParam), 0));
      return TRUE;
    default: return std::nullopt;
  }
}

LRESULT ListView::message(UINT message, WPARAM wParam, LPARAM lParam) {
  for (auto part : {&ListView::itemMessage, &ListView::selectionMessage, &ListView::columnMessage,
                    &ListView::viewMessage}) {
    if (const std::optional<LRESULT> result = (this->*part)(message, wParam, lParam))
      return *result;
  }
  return 0;
}

}  // namespace gui_detail
