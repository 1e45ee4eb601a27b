// The training-table browser (page "6:Fx予測") and the export catalog (page "7:CSV").
#include <QLabel>
#include <QLineEdit>
#include <QHeaderView>
#include <QTableView>

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include "app/Texts.h"
#include "app/TextFile.h"
#include "app/Timeframe.h"
#include "app/VelkorError.h"
#include "db/Transaction.h"
#include "ui/VelkorU.h"
#include "ui_VelkorU.h"

void TVelkorF::uq01D(int id) {
    const Timeframe* t = id >= 1 && id <= 3 ? &timeframes()[size_t(id - 1)] : nullptr;
    if (!t) return;
    ui->f12stbE->setText(t->browserCaption);
    ui->f13tidL->setText(QString::number(t->trainingTbid));
    DataSource* ds = dm.trainingSource(t->index);
    // The grid shows the query as it is. The view (and each of its headers) makes a selection
    // model per model it is given; the replaced ones go, and with them only the program's own
    // connections.
    QTableView* grid = ui->fDG;
    QObject::disconnect(browseCursor_[0]);
    QObject::disconnect(browseCursor_[1]);
    if (grid->model() != ds) grid->setModel(ds);
    for (QAbstractItemView* v : std::initializer_list<QAbstractItemView*>{grid, grid->horizontalHeader(), grid->verticalHeader()})
        for (QItemSelectionModel* m : v->findChildren<QItemSelectionModel*>(Qt::FindDirectChildrenOnly))
            if (m != grid->selectionModel()) m->deleteLater();
    // The grid's current row and the query's cursor move together both ways.
    browseCursor_[0] = connect(grid->selectionModel(), &QItemSelectionModel::currentRowChanged, ds,
                               [ds](const QModelIndex& cur) { if (cur.isValid()) ds->setCurrentRow(cur.row()); });
    browseCursor_[1] = connect(ds, &DataSource::currentRowChanged, grid, [grid, ds](int row) {
        if (row < 0 || grid->model() != ds || row >= ds->rowCount() || grid->currentIndex().row() == row) return;
        grid->selectionModel()->setCurrentIndex(ds->index(row, std::max(0, grid->currentIndex().column())),
                                                QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    });
    emit ds->widthsChanged();
}

void TVelkorF::f12stbEKeyDown(int key) {
    const QString cur = ui->f13tidL->text();
    if (key == Qt::Key_Up) uq01D(cur == QLatin1String("13") ? 3 : cur == QLatin1String("14") ? 1 : 2);
    else if (key == Qt::Key_Down) uq01D(cur == QLatin1String("13") ? 2 : cur == QLatin1String("14") ? 3 : 1);
}

void TVelkorF::uq04CV(int id) {
    if (id == 1) {
        stdb = QStringLiteral("csq");
        stnm = QStringLiteral("F04CSV");
        ucSql(1);
        dm.qg.Close();
        dm.qg.setSql(sqw);
        dm.qg.Open();
        dm.qg.First();
        applyDisplayWidths(dm.qg, QStringLiteral("F04CSV"));
        return;
    }
    if (id != 2 && id != 3) return;
    if (dm.qg.IsEmpty()) return;
    // The table of the current row; only a table the catalog knows is read or written.
    stnm = dm.qg.FieldByName(QStringLiteral("TBN")).AsString().trimmed();
    QString file = dm.qg.FieldByName(QStringLiteral("PAS")).AsString() + dm.qg.FieldByName(QStringLiteral("CSV")).AsString();
    if (QDir::isRelativePath(file)) file = path(file);
    const CatalogTable* table = dm.catalog.find(stnm);
    if (!table) {
        dialogs_->message(stnm + texts::tableNotFound);
        return;
    }
    if (id == 2) {
        dialogs_->message(stnm + texts::exportStart);
        swh = QStringLiteral(" order by CNT ");
        ucSql(1);
        const bool memory = stnm == QLatin1String("F02R05M") || stnm == QLatin1String("F02R30M") ||
                            stnm == QLatin1String("F02R4H");
        dm.qm.Close();
        dm.qm.setConnection(memory ? &dm.csm : &dm.csq);
        dm.qm.setSql(sqw);
        QStringList lines;
        try {
            dm.qm.Open();
            lines.reserve(dm.qm.RecordCount());
            for (int r = 0; r < dm.qm.RecordCount(); ++r) {
                QStringList fields;
                for (const DbValue& v : dm.qm.Row(r)) fields.append(v.asString());
                lines.append(fields.join(QLatin1Char(',')));
            }
        } catch (...) {
            dm.qm.Close();
            dm.qm.setConnection(&dm.csm);
            throw;
        }
        dm.qm.Close();
        dm.qm.setConnection(&dm.csm);
        QDir().mkpath(QFileInfo(file).absolutePath());
        textfile::writeLines(file, lines);
        dialogs_->message(texts::exportEnd);
        return;
    }
    // Re-import: replaces the table's rows by the lines of its CSV file, after a Yes.
    stdb = stnm == QLatin1String("F01YSK") ? QStringLiteral("csm") : QStringLiteral("csq");
    dialogs_->message(file + texts::reimportStart);
    const QStringList lines = textfile::readLines(file);
    if (!dialogs_->confirmYesNo(texts::reimportAsk)) return;
    Connection& c = dm.byKey(stdb);
    {
        Transaction tx(c);
        sqw = QStringLiteral(" delete from ") + stnm;
        if (!uexSql(stdb == QLatin1String("csm") ? 2 : 1))
            throw VelkorError(texts::sqlError(QStringLiteral("delete failed"), sqw));
        static const QRegularExpression sep(QStringLiteral("[, ]"));
        const int ncols = int(table->columns.size());
        for (qsizetype n = 0; n < lines.size(); ++n) {
            const QString& line = lines[n];
            if (line.trimmed().isEmpty()) continue;
            const QStringList f = line.split(sep);
            sa.clear(11, 10 + std::min(ncols, 70));
            for (int j = 0; j < f.size() && j < ncols && j < 70; ++j) sa[11 + j] = f[j];
            ucSql(2);
            // A line that does not fit undoes the whole re-import: the old rows stay.
            if (!uexSql(stdb == QLatin1String("csm") ? 2 : 1))
                throw VelkorError(texts::lineError(file, n + 1, QStringLiteral("行を読み込めません")));
        }
        tx.commit();
    }
    dialogs_->message(texts::reimportEnd);
}
