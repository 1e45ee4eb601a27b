#pragma once
#include <QTableWidget>

// Writes a centred cell of a text grid; a cell the grid does not have yet is left alone.
inline void setGridCell(QTableWidget* g, int row, int col, const QString& text) {
    if (row < 0 || col < 0 || row >= g->rowCount() || col >= g->columnCount()) return;
    QTableWidgetItem* it = g->item(row, col);
    if (!it) {
        it = new QTableWidgetItem;
        it->setTextAlignment(Qt::AlignCenter);
        g->setItem(row, col, it);
    }
    it->setText(text);
}
