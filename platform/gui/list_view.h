// Private to platform/gui: the report-view list control. A small table model under a QTreeView
// with uniform row heights, so thousands of rows fill without any per-row layout.
#pragma once

#include <QAbstractTableModel>
#include <QStringList>
#include <QTreeView>
#include <optional>
#include <vector>

#include "platform/gui/win_api.h"

namespace gui_detail {

class ListModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  struct Row {
    QStringList texts;  // one per column that has been set
    LPARAM param = 0;
    UINT stateImage = 0;  // LVIS_STATEIMAGEMASK bits: 1 unchecked, 2 checked
  };

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  int insertRow(int row, Row value);
  void removeRowAt(int row);
  void clear();
  void insertColumn(int column, const QString& title);
  Row* row(int index);
  void setText(int row, int column, const QString& text);
  void setStateImage(int row, UINT image);
  void setCheckBoxes(bool on);
  bool checkBoxes() const { return m_checkBoxes; }

 signals:
  // The user toggled a check box (old and new state image bits).
  void stateImageChanged(int row, UINT oldImage, UINT newImage);

 private:
  std::vector<Row> m_rows;
  QStringList m_columns;
  bool m_checkBoxes = false;
};

class ListView : public QTreeView {
  Q_OBJECT
 public:
  ListView(QWidget* parent, DWORD style);
  ~ListView() override;

  LRESULT message(UINT message, WPARAM wParam, LPARAM lParam);
  ListModel* listModel() const { return m_model; }

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void drawRow(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

 private:
  void notifyClick(UINT code, const QPoint& point);
  void notifyItemChanged(int row, UINT oldState, UINT newState, UINT changed);
  void onSelectionChanged(const QItemSelection& selected, const QItemSelection& deselected);
  UINT itemState(int row) const;
  void setItemState(int row, UINT state, UINT mask);
  LRESULT getItemText(int row, LVITEM* item) const;
  // The messages by what they concern; each answers nothing to messages not its own.
  std::optional<LRESULT> itemMessage(UINT message, WPARAM wParam, LPARAM lParam);
  std::optional<LRESULT> selectionMessage(UINT message, WPARAM wParam, LPARAM lParam);
  std::optional<LRESULT> columnMessage(UINT message, WPARAM wParam, LPARAM lParam);
  std::optional<LRESULT> viewMessage(UINT message, WPARAM wParam, LPARAM lParam);

  ListModel* m_model;
  DWORD m_exStyle = 0;
  int m_quiet = 0;  // >0 while a programmatic change reports itself
};

}  // namespace gui_detail
