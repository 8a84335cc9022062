#include "app/operations_model.h"

#include "app/images.h"

namespace tarnwick::app {

OperationsModel::OperationsModel(QObject* parent) : QAbstractTableModel(parent) {
  // Bold Arial of 16 pixels, as the operations list shows its rows.
  font_ = QFont("Arial");
  font_.setPixelSize(16);
  font_.setBold(true);
}

void OperationsModel::SetRows(std::vector<OperationRow> rows) {
  beginResetModel();
  rows_ = std::move(rows);
  endResetModel();
}

void OperationsModel::Clear() { SetRows({}); }

int OperationsModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int OperationsModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(kOperationColumns.size());
}

QVariant OperationsModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() < 0 || static_cast<size_t>(index.row()) >= rows_.size() ||
      index.column() < 0 || index.column() >= columnCount())
    return {};
  const OperationRow& row = rows_[static_cast<size_t>(index.row())];
  switch (role) {
    case Qt::DisplayRole: {
      const std::string_view cell = row.Cells()[static_cast<size_t>(index.column())];
      return QString::fromUtf8(cell.data(), static_cast<qsizetype>(cell.size()));
    }
    case Qt::ToolTipRole:
      return QString("LSN %1, transaction %2")
          .arg(QString::fromStdString(row.lsn), QString::fromStdString(row.transactionId));
    case Qt::DecorationRole:
      if (index.column() == 0 && row.icon != OperationIcon::kNone)
        return OperationImage(static_cast<int>(row.icon));
      return {};
    case Qt::FontRole:
      return font_;
    case kIndexRole:
      return QVariant::fromValue<qulonglong>(row.index);
    default:
      return {};
  }
}

QVariant OperationsModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole) return {};
  if (orientation == Qt::Horizontal && section >= 0 &&
      static_cast<size_t>(section) < kOperationColumns.size()) {
    const std::string_view h = kOperationColumns[static_cast<size_t>(section)];
    return QString::fromUtf8(h.data(), static_cast<qsizetype>(h.size()));
  }
  if (orientation == Qt::Vertical) return section + 1;
  return {};
}

}  // namespace tarnwick::app
