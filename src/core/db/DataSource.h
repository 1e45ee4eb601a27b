#pragma once
#include <QAbstractTableModel>
#include <QString>
#include <QStringList>
#include <functional>
#include <utility>
#include <vector>

#include "db/Database.h"

// A grid column: the field it shows, its title (empty: the field name is shown) and, for a
// coded field, the text a value is shown as (none: the value as it is stored).
struct GridColumn {
    QString field;
    QString title;
    std::function<QString(const DbValue&)> shown;
};

// Binds a query to a grid: the grid shows the query's rows in its own column order,
// and the grid's current row and the query's cursor follow each other.
class DataSource : public QAbstractTableModel, public QueryObserver {
    Q_OBJECT
public:
    DataSource(Query& q, std::vector<GridColumn> columns, QObject* parent = nullptr);
    ~DataSource() override;

    Query& query() const { return q_; }
    const std::vector<GridColumn>& columns() const { return columns_; }
    // Display width in characters of the grid column (from the query's field widths).
    int displayWidth(int column) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation o, int role) const override;

    void queryReset() override;
    void cursorMoved(int row) override;
    void widthsSet() override { emit widthsChanged(); }

public slots:
    // The grid's current row moved: move the query's cursor with it.
    void setCurrentRow(int row);

signals:
    void currentRowChanged(int row);
    void widthsChanged();

private:
    Query& q_;
    std::vector<GridColumn> columns_;
    std::vector<int> fieldOfColumn_;
    bool moving_ = false;
};
