#pragma once
#include <QMainWindow>
#include <QString>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "app/Clock.h"
#include "app/VelkorState.h"
#include "db/Tdm.h"
#include "net/TarselFann.h"
#include "app/Dialogs.h"
#include "window/QtProgress.h"

class QChartView;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;
class QTableWidget;
class QImage;
namespace Ui { class VelkorF; }
namespace forecast { struct Run; }
namespace market { struct ImportStats; struct QuoteOrigin; class SlotInsert; }
struct Timeframe;
class Query;

// An operation ended with errors that it has shown already.
struct ErrorsShown : std::exception {
    const char* what() const noexcept override { return "errors shown"; }
};

// The start-up ends without a data folder (the user cancelled the folder dialog); `missing`
// is the 30-minute quote file the last folder offered lacked, if any.
struct StartupAborted : std::exception {
    QString missing;
    const char* what() const noexcept override { return "no data folder"; }
};

// The main window: owns the working state, the data module and every operation. Its
// member functions live in the folder of their subsystem.
class TVelkorF : public QMainWindow, public VelkorState {
    Q_OBJECT
public:
    struct Options {
        QString workDir;                 // relative names resolve against it (default: current)
        QString catalogDir;              // tbl.csv and tblstrc.csv (default: programCatalogDir())
        Dialogs* dialogs = nullptr;      // default: modal boxes of the window
        Clock* clock = nullptr;          // default: the system clock
        Progress* progress = nullptr;    // default: a modal progress dialog
        std::optional<unsigned> seed;    // network weight seed
    };

    explicit TVelkorF(Options options, QWidget* parent = nullptr);
    ~TVelkorF() override;

    // The controls of one forecast page (index 0, 1, 2 for 5, 30, 80).
    struct Page {
        QLineEdit *ln1E, *rd1E, *dt2E;
        QLabel *hmL, *cv2L, *cntL, *rd2L, *ln2L, *ms2L, *lt2L, *ttL;
        QPushButton *ysB, *vfB;
        QTableWidget* sg;
        QChartView* cht;
        QTableView* headerGrid;   // e1G, e2G, e3G
        QTableWidget* statsGrid;  // e4SG, e5SG, e6SG
        QLabel* statsCount;       // e42cn2L, e52cn2L, e62cn2L
    };
    Page& page(int index) { return pages_[size_t(index)]; }

    Tdm dm;
    Ui::VelkorF* ui;

    Dialogs& dialogs() { return *dialogs_; }
    Clock& clock() { return *clock_; }
    Progress& progress() { return *progress_; }
    const std::optional<unsigned>& seed() const { return seed_; }
    const QString& workDir() const { return workDir_; }
    // A name relative to the working directory.
    QString path(const QString& relative) const;
    // The files the program keeps and reads: the file database and its journals, the settings
    // files, the catalog files, the lock, the network files and the quote files.
    QStringList ownFiles() const;

    // Runs an event's operation: an error is shown in the error box, the window stays usable.
    bool guarded(const std::function<void()>& op);
    bool startupAborted() const { return aborted_; }
    bool startupDone() const;

    // Start-up, working state and shutdown.
    void FormActivate();
    void ucIni();
    void uq01C(int id);
    // The data folder a line of "config.txt" names: '/' separators and a trailing one, a
    // relative folder taken from the working directory.
    QString dataFolder(QString line) const;
    void FormClose();
    void FormDestroy();

    // Connections and SQL execution.
    void uqCdb();
    void uqCtbl(int id);
    bool uexSql(int id);
    QString GetNewId(const QString& scnm);

    // Catalog and SQL builder.
    void uqTst(int id);
    void ucSql(int id);
    static void ucNul(QString& st, int id, int il);
    const CatalogTable* currentTable() const { return curTable_; }
    // Sets the display widths of the query's fields from the catalog rows of `table`.
    void applyDisplayWidths(Query& q, const QString& table);
    // Opens q on connection `db` ("csq" or "csm") with the catalog select of `table` and the
    // tail `tail` (through stdb, stnm, swh and sqw), on its last row, with the catalog's
    // display widths unless `widths` is false.
    void openOnTable(Query& q, const QString& db, const QString& table, const QString& tail, bool widths = true);
    // Stores a row of stnm from the value slots: with `prepared` where the table allows it,
    // otherwise the builder's insert run by the executor. True when the row was stored.
    bool insertRow(market::SlotInsert& prepared);

    // Settings files.
    void uq01B(int id);
    void ucLnRd(int it);

    // Quote import and statistics, training table builder.
    void uq01F(int id);
    static QString& ErPeriod(QString& st);
    void uq01G();

    // Scaling and range functions.
    double ClSc(int ivt, int ivm, int ivs) const;
    int ClRSc(int ivm, int ivs, double dvr) const;
    double ClSlp(int idg, int idmx) const;
    static double Divid(double d01, double d02);
    static int Cvs2i(const QString& snm);
    QString Find03Pr(int icn);
    int fqHLn(int icn, int ik);

    // Training and forecast run, pages, verification, statistics, chart.
    void uq02YS();
    // The forecasts of all three timeframes, trained at the same time; the number of
    // timeframes that failed (their errors are shown).
    int forecastAll();
    void uq03K05(int id);
    void uq03K30(int id);
    void uq03K4H(int id);
    void uq03K(int id);  // the page method of the timeframe in iasi
    void uq03LC(int id);
    void verifyPending();  // operation 3 of uq03LC: pairs pending forecasts with later bars
    void uq03SG(int id);
    void uq03MCT(int id);
    // Page "4:学図" after a forecast run: its training error `mseText`, the learning curve (the
    // error after each pass, first pass first) and the trained network drawn from its shape.
    void showTrainingPage(const std::vector<double>& errors, const TTarselFann::Shape& shape, const QString& mseText);

    // Table browser and CSV page.
    void uq01D(int id);
    void uq04CV(int id);
    void f12stbEKeyDown(int key);

protected:
    void changeEvent(QEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    // Steps of the hit statistics.
    void layoutStats();
    void countStats();
    // Steps of the CSV page.
    void exportTable(const QString& file);
    void reimportTable(const CatalogTable& table, const QString& file);
    void refuseForeignObjects();
    QString reimportHeaderError(const CatalogTable& table, const QStringList& fields);
    // Steps of the quote import.
    void importQuotes(const Timeframe& t);
    int storeComingBars(const QStringList& lines, int icn, market::SlotInsert& prepared, market::QuoteOrigin& origin);
    void writeSideFile(const Timeframe& t, const QStringList& lines, const market::ImportStats& x);
    // Steps of the training table builder.
    QStringList buildTrainingRows(const Timeframe& t);
    QString trainingAverages(const Timeframe& t);
    // Steps of the forecast run.
    forecast::Run prepareForecast();
    bool trainForecast(forecast::Run& run);
    void writeForecasts(forecast::Run& run);
    QString saveNetworkBeside(const Timeframe& t);
    void finishForecast(forecast::Run& run);
    // Steps of the verification.
    std::vector<std::pair<int, int>> pendingRuns();
    void verifyRun(const Timeframe& t, int hcnt);
    // Steps of the page method.
    struct ShownRun;
    void reopenHeaders(const Timeframe& t);
    ShownRun readShownRun(const Timeframe& t);
    void showRun(const Timeframe& t, const ShownRun& s);
    static QString detailsOf(const Timeframe& t, const QString& hcnt);
    void storeRun(const Timeframe& t);
    void insertDetails(const Timeframe& t, const QString& hcnt);
    void fillHeaderSlots(const Timeframe& t, const Query& rows);
    void resetPage(const Timeframe& t);
    void deleteRun(const Timeframe& t);

    void wire();
    void bindGrid(QTableView* view, DataSource* ds);
    void onFocusChanged(QWidget* old, QWidget* now);
    void loadCatalog();
    static bool tableExists(Connection& c, const QString& name);
    void addDefaultExports();

    std::array<Page, 3> pages_{};
    std::array<QMetaObject::Connection, 2> browseCursor_;  // the browser grid and its query's cursor
    QString workDir_;
    QString catalogDir_;
    std::unique_ptr<Dialogs> ownDialogs_;
    std::unique_ptr<Clock> ownClock_;
    std::unique_ptr<Progress> ownProgress_;
    Dialogs* dialogs_ = nullptr;
    Clock* clock_ = nullptr;
    Progress* progress_ = nullptr;
    std::optional<unsigned> seed_;
    const CatalogTable* curTable_ = nullptr;
    QString startupMarker_;
    std::array<bool, 3> importFailed_{};  // per timeframe: its import or build ended with an error
    bool starting_ = false;
    bool aborted_ = false;
    bool destroyed_ = false;
};
