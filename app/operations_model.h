// The operations list's model: the rows of the page the operations view
// shows (five columns, the operation image in a table's listing, the
// operation's index in the operation list as each row's item data).
#pragma once

#include <QAbstractTableModel>
#include <QFont>
#include <vector>

#include "logreader/operations_view.h"

namespace tarnwick::app {

class OperationsModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  // Item data of a row: the operation's index in the operation list.
  static constexpr int kIndexRole = Qt::UserRole + 1;

  explicit OperationsModel(QObject* parent = nullptr);

  void SetRows(std::vector<OperationRow> rows);
  void Clear();
  const std::vector<OperationRow>& rows() const { return rows_; }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;

 private:
  std::vector<OperationRow> rows_;
  QFont font_;
};

}  // namespace tarnwick::app
