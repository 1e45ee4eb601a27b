// The training-table browser (page "6:Fx予測") and the export catalog (page "7:CSV").
#include <QLabel>
#include <QLineEdit>
#include <QTableView>

#include "app/Timeframe.h"
#include "ui/VelkorU.h"
#include "ui_VelkorU.h"

void TVelkorF::uq01D(int id) {
    const Timeframe* t = id >= 1 && id <= 3 ? &timeframes()[size_t(id - 1)] : nullptr;
    if (!t) return;
    ui->f12stbE->setText(t->browserCaption);
    ui->f13tidL->setText(QString::number(t->trainingTbid));
    ui->fDG->setModel(nullptr);
    DataSource* ds = dm.trainingSource(t->index);
    // Rebinding keeps the query as it is: the grid shows what the query holds now.
    ui->fDG->setModel(ds);
    QObject::disconnect(ui->fDG->selectionModel(), nullptr, nullptr, nullptr);
    connect(ui->fDG->selectionModel(), &QItemSelectionModel::currentRowChanged, ds,
            [ds](const QModelIndex& cur) { if (cur.isValid()) ds->setCurrentRow(cur.row()); });
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
    }
}
