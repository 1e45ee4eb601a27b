#include "db/DataSource.h"

DataSource::DataSource(Query& q, std::vector<GridColumn> columns, QObject* parent)
    : QAbstractTableModel(parent), q_(q), columns_(std::move(columns)) {
    q_.setObserver(this);
    queryReset();
}

DataSource::~DataSource() { q_.setObserver(nullptr); }

int DataSource::displayWidth(int column) const {
    if (column < 0 || column >= int(fieldOfColumn_.size())) return 0;
    return q_.DisplayWidth(fieldOfColumn_[size_t(column)]);
}

int DataSource::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : q_.RecordCount();
}

int DataSource::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(columns_.size());
}

QVariant DataSource::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= q_.RecordCount() || index.column() >= int(columns_.size()))
        return {};
    const int f = fieldOfColumn_[size_t(index.column())];
    if (f < 0) return {};
    if (role == Qt::DisplayRole) {
        const GridColumn& c = columns_[size_t(index.column())];
        const DbValue v = q_.ValueAt(index.row(), f);
        return c.shown ? c.shown(v) : v.asString();
    }
    if (role == Qt::TextAlignmentRole) {
        // Numbers are right-aligned, so that their digits line up; texts stay on the left.
        const DbValue::Type t = q_.ValueAt(index.row(), f).type;
        if (columns_[size_t(index.column())].shown) return int(Qt::AlignCenter);  // a mark
        if (t == DbValue::Int || t == DbValue::Real) return int(Qt::AlignRight | Qt::AlignVCenter);
        return int(Qt::AlignLeft | Qt::AlignVCenter);
    }
    return {};
}

QVariant DataSource::headerData(int section, Qt::Orientation o, int role) const {
    if (o == Qt::Horizontal && section >= 0 && section < int(columns_.size())) {
        if (role == Qt::DisplayRole) {
            const GridColumn& c = columns_[size_t(section)];
            return c.title.isEmpty() ? c.field : c.title;
        }
        if (role == Qt::TextAlignmentRole) return int(Qt::AlignCenter);
    }
    if (o == Qt::Vertical && role == Qt::DisplayRole) return section + 1;
    return {};
}

void DataSource::queryReset() {
    beginResetModel();
    fieldOfColumn_.clear();
    for (const GridColumn& c : columns_) fieldOfColumn_.push_back(q_.FieldIndex(c.field));
    endResetModel();
    emit widthsChanged();
    if (q_.RecNo() >= 0) emit currentRowChanged(q_.RecNo());
}

void DataSource::cursorMoved(int row) {
    if (moving_) return;
    emit currentRowChanged(row);
}

void DataSource::setCurrentRow(int row) {
    moving_ = true;
    q_.SetRecNo(row);
    moving_ = false;
}
