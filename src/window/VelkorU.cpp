#include "window/VelkorU.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFontMetrics>
#include <QHeaderView>
#include <QKeyEvent>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QTableView>
#include <QTimer>
#include <QtCharts/QChartView>

#include "app/Paths.h"
#include "app/Texts.h"
#include "app/Timeframe.h"
#include "app/VelkorError.h"
#include "forecast/Forecast.h"
#include "net/NeuralNetwork.h"
#include "window/Chart.h"
#include "window/DarkStyle.h"
#include "window/Fonts.h"
#include "window/QtDialogs.h"
#include "ui_VelkorU.h"

TVelkorF::TVelkorF(Options o, QWidget* parent)
    : QMainWindow(parent), ui(new Ui::VelkorF), startupMarker_(texts::startupMarker) {
    loadQtJapanese();
    ui->setupUi(this);
    applyVelkorFonts(this);
    workDir_ = QDir(o.workDir.isEmpty() ? QDir::currentPath() : o.workDir).absolutePath();
    catalogDir_ = o.catalogDir.isEmpty() ? programCatalogDir() : o.catalogDir;
    if (o.dialogs) dialogs_ = o.dialogs;
    else { ownDialogs_ = std::make_unique<QtDialogs>(this); dialogs_ = ownDialogs_.get(); }
    if (o.clock) clock_ = o.clock;
    else { ownClock_ = std::make_unique<SystemClock>(); clock_ = ownClock_.get(); }
    if (o.progress) progress_ = o.progress;
    else { ownProgress_ = std::make_unique<QtProgress>(this); progress_ = ownProgress_.get(); }
    seed_ = o.seed;
    dataDirAnswer_ = o.dataDir;

    pages_[0] = {ui->a13ln1E, ui->a14rd1E, ui->a201dt2E, ui->a201hmL, ui->a202cv2L, ui->a204cntL, ui->a205rd2L,
                 ui->a206ln2L, ui->a207ms2L, ui->a208lt2L, ui->a11ttL, ui->a12ysB, ui->a203vfB, ui->aSG, ui->aCht,
                 ui->e1G, ui->e4SG, ui->e42cn2L};
    pages_[1] = {ui->b13ln1E, ui->b14rd1E, ui->b201dt2E, ui->b201hmL, ui->b202cv2L, ui->b204cntL, ui->b205rd2L,
                 ui->b206ln2L, ui->b207ms2L, ui->b208lt2L, ui->b11ttL, ui->b12ysB, ui->b203vfB, ui->bSG, ui->bCht,
                 ui->e2G, ui->e5SG, ui->e52cn2L};
    pages_[2] = {ui->c13ln1E, ui->c14rd1E, ui->c201dt2E, ui->c201hmL, ui->c202cv2L, ui->c204cntL, ui->c205rd2L,
                 ui->c206ln2L, ui->c207ms2L, ui->c208lt2L, ui->c11ttL, ui->c12ysB, ui->c203vfB, ui->cSG, ui->cCht,
                 ui->e3G, ui->e6SG, ui->e62cn2L};
    wire();
}

TVelkorF::~TVelkorF() {
    // Closing the window below moves the application's focus: the handler must not run on a
    // window that is half gone.
    disconnect(qApp, &QApplication::focusChanged, this, nullptr);
    releaseNetwork();
    delete ui;
}

QString TVelkorF::path(const QString& relative) const { return QDir(workDir_).filePath(relative); }

bool TVelkorF::startupDone() const { return startupMarker_.isEmpty(); }

bool TVelkorF::guarded(const std::function<void()>& op) {
    try {
        op();
        return true;
    } catch (const VelkorError& e) {
        dialogs_->error(e.text());
    } catch (const StartupAborted&) {
        throw;
    } catch (const ErrorsShown&) {
    } catch (const std::exception& e) {
        dialogs_->error(QString::fromLocal8Bit(e.what()));
    }
    return false;
}

namespace {

// Sets every column of a data grid from the display widths of the data source it shows now:
// the width of that many digits, and at least the width of the column's title.
void fitColumns(QTableView* view) {
    const auto* ds = qobject_cast<const DataSource*>(view->model());
    if (!ds) return;
    const int digit = view->fontMetrics().horizontalAdvance(QLatin1Char('0'));
    const QFontMetrics title = view->horizontalHeader()->fontMetrics();
    for (int c = 0; c < ds->columnCount(); ++c) {
        const int w = ds->displayWidth(c);
        const int titleWidth = title.horizontalAdvance(ds->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString()) + 12;
        view->setColumnWidth(c, std::max(w > 0 ? w * digit + 8 : 64, std::min(titleWidth, 200)));
    }
}

// The grid follows the widths of `ds` whenever it shows it (a grid may show several in turn).
void followWidths(QTableView* view, DataSource* ds) {
    auto apply = [view, ds] { if (view->model() == ds) fitColumns(view); };
    QObject::connect(ds, &DataSource::widthsChanged, view, apply);
    QObject::connect(ds, &QAbstractItemModel::modelReset, view, apply);
}

// The cells of a text grid that only shows results: no current cell is marked, none selected.
class PlainCells : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* o, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(o, index);
        o->state &= ~(QStyle::State_HasFocus | QStyle::State_Selected);
    }
};

void showAsResults(QTableWidget* grid) {
    grid->setSelectionMode(QAbstractItemView::NoSelection);
    grid->setItemDelegate(new PlainCells(grid));
}

// The current row of the grid that holds the focus (the one the keys act on) in the bright
// selection colour, that of every other grid muted.
void markFocus(QAbstractItemView* grid, bool focused) {
    QPalette p = grid->palette();
    const QColor c = focused ? QApplication::palette().color(QPalette::Active, QPalette::Highlight) : dark::mutedHighlight;
    p.setColor(QPalette::Active, QPalette::Highlight, c);
    p.setColor(QPalette::Inactive, QPalette::Highlight, c);
    grid->setPalette(p);
}

}  // namespace

std::array<QMetaObject::Connection, 2> TVelkorF::bindCursor(QTableView* view, DataSource* ds) {
    // The grid's current row and the query's cursor move together both ways.
    return {connect(view->selectionModel(), &QItemSelectionModel::currentRowChanged, ds,
                    [ds](const QModelIndex& cur) { if (cur.isValid()) ds->setCurrentRow(cur.row()); }),
            connect(ds, &DataSource::currentRowChanged, view, [view, ds](int row) {
                if (row < 0 || view->model() != ds || row >= ds->rowCount() || view->currentIndex().row() == row) return;
                view->selectionModel()->setCurrentIndex(ds->index(row, std::max(0, view->currentIndex().column())),
                                                        QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
            })};
}

void TVelkorF::bindGrid(QTableView* view, DataSource* ds) {
    view->setModel(ds);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
    view->verticalHeader()->setDefaultSectionSize(view->fontMetrics().height() + 4);
    followWidths(view, ds);
    bindCursor(view, ds);
    fitColumns(view);
    markFocus(view, false);
}

void TVelkorF::wire() {
    for (const Timeframe& t : timeframes()) bindGrid(page(t).headerGrid, data.headerSource(t.index));
    bindGrid(ui->e4G, data.detailSource.get());
    bindGrid(ui->gDG, data.exportSource.get());
    bindGrid(ui->hDG, data.quoteSource.get());
    bindGrid(ui->fDG, data.trainingSource05.get());
    followWidths(ui->fDG, data.trainingSource30.get());  // the browser switches among the training tables
    followWidths(ui->fDG, data.trainingSource4h.get());

    for (const Timeframe& t : timeframes()) {
        Page& p = page(t);
        connect(p.ysB, &QPushButton::clicked, this, [this, &t] { guarded([&] { runForecast(t); }); });
        connect(p.vfB, &QPushButton::clicked, this, [this, &t] { guarded([&] { verifyAndShow(t); }); });
        prepareChartView(p.cht);
        showAsResults(p.sg);
        showAsResults(p.statsGrid);
        p.ln1E->installEventFilter(this);
        p.rd1E->installEventFilter(this);
        p.headerGrid->installEventFilter(this);
        // A row the user highlights in a run list shows its run in the detail grid; the program's
        // own moves (a page refreshed) show theirs in refreshPage.
        connect(p.headerGrid->selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this, &t, grid = p.headerGrid] {
            if (grid->hasFocus() && data.file.isOpen() && data.headerQuery(t.index).Active())
                guarded([&] { showRunDetails(t); });
        });
    }
    prepareChartView(ui->dCht);
    ui->f12stbE->installEventFilter(this);
    // "書出" writes the table of the export catalog's current row to its CSV file.
    connect(ui->g13wtB, &QPushButton::clicked, this, [this] { guarded([&] { exportCurrentRow(); }); });
    // "再取込" replaces the table of the current row by its CSV file, after a Yes.
    connect(ui->g13riB, &QPushButton::clicked, this, [this] { guarded([&] { reimportCurrentRow(); }); });
    connect(ui->z01BB, &QPushButton::clicked, this, &QWidget::close);
    connect(qApp, &QApplication::focusChanged, this, &TVelkorF::onFocusChanged);
}

void TVelkorF::onFocusChanged(QWidget* old, QWidget* now) {
    if (auto* grid = qobject_cast<QTableView*>(old); grid && isAncestorOf(grid)) markFocus(grid, false);
    if (auto* grid = qobject_cast<QTableView*>(now); grid && isAncestorOf(grid)) markFocus(grid, true);
    // A run list that takes the focus takes the detail grid with it.
    for (const Timeframe& t : timeframes())
        if (now == page(t).headerGrid && detailsTimeframe_ != t.index && data.headerQuery(t.index).Active())
            guarded([&] { showRunDetails(t); });
    // The statistics are recounted when the focus moves into page "52:検証2" from outside.
    auto inside = [this](QWidget* w) { return w && (w == ui->e2ts || ui->e2ts->isAncestorOf(w)); };
    if (inside(now) && !inside(old) && startupDone()) guarded([&] { countStats(); });
}

bool TVelkorF::eventFilter(QObject* watched, QEvent* e) {
    if (e->type() == QEvent::FocusOut) {
        // Only a focus move inside the window leaves an edit; switching windows does not.
        const Qt::FocusReason why = static_cast<QFocusEvent*>(e)->reason();
        if (why == Qt::ActiveWindowFocusReason || why == Qt::PopupFocusReason) return QMainWindow::eventFilter(watched, e);
        for (const Timeframe& t : timeframes()) {
            if (watched == page(t).ln1E) guarded([&] { acceptSettingsEdit(t, true); });
            if (watched == page(t).rd1E) guarded([&] { acceptSettingsEdit(t, false); });
        }
    } else if (e->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(e)->key();
        if (watched == ui->f12stbE) {
            guarded([&] { browserKey(key); });
        } else {
            for (const Timeframe& t : timeframes()) {
                if (watched != page(t).headerGrid) continue;
                guarded([&] {
                    if (key == Qt::Key_F1) showRunDetails(t);
                    else if (key == Qt::Key_F12) deleteRun(t);
                });
            }
        }
    }
    return QMainWindow::eventFilter(watched, e);  // the control handles the key as usual
}

void TVelkorF::changeEvent(QEvent* e) {
    QMainWindow::changeEvent(e);
    if (e->type() == QEvent::ActivationChange && isActiveWindow() && !startupDone())
        QTimer::singleShot(0, this, [this] { startUp(); });
}

void TVelkorF::showEvent(QShowEvent* e) {
    QMainWindow::showEvent(e);
    // Some platforms never activate a window; the start-up still runs once it is shown.
    if (!startupDone()) QTimer::singleShot(50, this, [this] { startUp(); });
}

void TVelkorF::closeEvent(QCloseEvent* e) {
    guarded([&] { closeDown(); });
    e->accept();
}
