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
#include "db/DataModule.h"
#include "market/MarketCommon.h"
#include "net/NeuralNetwork.h"
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
namespace market { struct QuoteImport; struct QuoteOrigin; class SlotInsert; struct WindowScale; }
struct Timeframe;
struct ChartRun;
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

// The main window: owns what the window keeps between operations, the data module and every
// operation. Its operations live in src/window/ops/ by subsystem, each a thin adapter that
// reads the controls, calls the core and writes back.
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
        // The first answer of the folder dialog (--data-dir): the data folder when "config.txt"
        // is missing or names a folder without the 30-minute quote file.
        QString dataDir;
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
    Page& page(const Timeframe& t);

    DataModule data;
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

    // Start-up and shutdown.
    // The start-up, once, at the window's first activation: databases, settings, pages, the
    // data folder, then the quote import and training table of every timeframe.
    void startUp();
    // The pages, the statistics, the export catalog and the browser as a start-up shows them
    // before anything is imported.
    void resetWindow();
    // Until "config.txt" names a folder that holds the 30-minute quote file: reads it (unless
    // `askFirst`), otherwise asks with the open-file dialog and writes it. Returns the
    // 30-minute file; throws StartupAborted when the dialog is cancelled.
    QString settleDataFolder(bool askFirst);
    // The data folder a line of "config.txt" names: '/' separators and a trailing one, a
    // relative folder taken from the working directory.
    QString dataFolder(QString line) const;
    QString configFile() const;  // "config.txt" of the working directory
    // The data folder "config.txt" names now.
    QString configuredDataFolder() const;
    // Imports every timeframe's quote file and builds its training table.
    void importAll();
    void closeDown();   // writes "cini.txt" when a settings edit accepted a number
    void releaseNetwork();

    // Databases and statements.
    void openDatabases();
    void createMissingTables();
    void createTableIfMissing(Db db, const QString& table);
    // Runs one statement through the executor: false when it failed (rolled back, unreported).
    bool execute(Db db, const SqlText& statement);
    // The next number of `column` in `table`: its largest value plus 1, or 1.
    QString newNumber(const QString& table, const QString& column);

    // The catalog and the SQL builder. A table the catalog does not know is reported in a box
    // and gives no statement (the empty, bad text).
    const CatalogTable* catalogTable(const QString& table);
    SqlText selectStatement(const QString& table, const QString& tail);
    SqlText insertStatement(const QString& table, Slots& values);
    SqlText createStatement(Db db, const QString& table);
    // Sets the display widths of the query's fields from the catalog rows of `table`.
    void applyDisplayWidths(Query& q, const QString& table);
    // Opens q on `db` with the catalog select of `table` and the tail `tail`, on its last row,
    // with the catalog's display widths unless `widths` is false.
    void openOnTable(Query& q, Db db, const QString& table, const QString& tail, bool widths = true);
    // Stores a row of `table` from the value slots: with `prepared` where the table allows
    // it, otherwise the builder's insert run by the executor. True when the row was stored.
    bool insertRow(market::SlotInsert& prepared, const QString& table, Slots& values);
    void loadCatalog();

    // Settings files.
    void loadSettings();
    void saveSettings();
    void writeDefaultSettings();
    // A settings edit was left: a number other than 0 is taken, anything else puts the
    // setting back into the edit.
    void acceptSettingsEdit(const Timeframe& t, bool passes);

    // Quote import and training table builder.
    // Imports the last read days of the timeframe's quote file into F01CSV with the rows of
    // the coming bars, and writes the side file.
    market::QuoteImport importQuotes(const Timeframe& t);
    // The quote table in the quote view, with the select tail `tail`.
    void openQuoteRows(const QString& tail);
    // One training row per quote row of the last import, and the training CSV.
    void buildTrainingTable(const Timeframe& t, const market::QuoteImport& imported);
    // The scale of the window of rows before row `row` of a training table: the rows with a
    // CNT strictly between row - length and row.
    market::WindowScale windowScaleOf(const QString& table, int row, int length);

    // Training and forecast run, pages, verification, statistics, chart.
    void runForecast(const Timeframe& t);
    // The forecasts of all three timeframes, trained at the same time; the number of
    // timeframes that failed (their errors are shown).
    int forecastAll();
    // The header list and the newest run of a page.
    void refreshPage(const Timeframe& t);
    // Verifies every pending forecast, then shows the page again.
    void verifyAndShow(const Timeframe& t);
    // A new run number into the page's count label: above every number of the timeframe's
    // headers and of its detail rows.
    void showNewRunNumber(const Timeframe& t);
    void resetPage(const Timeframe& t);
    // The current run of the header list: labels, result grid and chart.
    void showCurrentRun(const Timeframe& t);
    // The current run and its details, after confirmation.
    void deleteRun(const Timeframe& t);
    // The current run's periods in the detail grid e4G; the grid follows that run list from
    // then on.
    void showRunDetails(const Timeframe& t);
    // Pairs pending forecasts with later bars.
    void verifyPending();
    // Page "52:検証2": the grids with their titles, and the counts.
    void layoutStats();
    void countStats();
    // The verification chart of the page's current run.
    void drawChart(const Timeframe& t);
    // Page "4:学図" after a forecast run: its training error `mseText`, the learning curve (the
    // error after each pass, first pass first) and the trained network drawn from its shape.
    void showTrainingPage(const std::vector<double>& errors, const NeuralNetwork::Shape& shape, const QString& mseText);

    // Table browser and CSV page.
    void browseTrainingTable(const Timeframe& t);
    // The arrow keys in the browser's caption walk the three training tables round.
    void browserKey(int key);
    void openExportCatalog();
    // Writes, or after a Yes re-imports, the table of the export catalog's current row.
    void exportCurrentRow();
    void reimportCurrentRow();

protected:
    void changeEvent(QEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    struct CatalogExport;
    // The export catalog's current row: its table and file, or nothing when the table is unknown.
    std::optional<CatalogExport> currentExport();
    void exportTable(const CatalogTable& table, const QString& file);
    void reimportTable(const CatalogTable& table, const QString& file);
    void refuseForeignObjects();
    QString reimportHeaderError(const CatalogTable& table, const QStringList& fields);
    // Steps of the quote import.
    int storeComingBars(const Timeframe& t, const QStringList& lines, int row, market::SlotInsert& prepared,
                        market::QuoteImport& imported);
    void writeSideFile(const Timeframe& t, const QStringList& lines, const market::QuoteImport& imported);
    // Steps of the training table builder.
    QStringList buildTrainingRows(const Timeframe& t, const market::QuoteImport& imported);
    QString trainingAverages(const Timeframe& t);
    // Steps of the forecast run.
    forecast::Run prepareForecast(const Timeframe& t);
    bool trainForecast(forecast::Run& run);
    void writeForecasts(forecast::Run& run);
    QString saveNetworkBeside(const Timeframe& t);
    void finishForecast(forecast::Run& run);
    // Steps of the verification.
    std::vector<std::pair<int, int>> pendingRuns();
    void verifyRun(const Timeframe& t, int hcnt);
    // Steps of the page methods.
    struct ShownRun;
    void reopenHeaders(const Timeframe& t);
    ShownRun readShownRun(const Timeframe& t);
    void showRun(const Timeframe& t, const ShownRun& s);
    static QString detailsOf(const Timeframe& t, const QString& hcnt);
    // Stores the run just forecast (its training error and time as texts) and shows it.
    void storeRun(const Timeframe& t, const QString& mseText, const QString& timeText);
    void insertDetails(const Timeframe& t, const QString& hcnt);
    void deleteDetails(const Timeframe& t, const QString& hcnt);
    void fillHeaderSlots(const Timeframe& t, const Query& rows, Slots& values, const QString& mseText,
                         const QString& timeText);
    bool readChartRun(const Timeframe& t, const std::function<QString(int)>& label, ChartRun& run);
    // The number of the page's current run ("0" when there is none).
    QString currentRunNumber(const Timeframe& t);

    void wire();
    void bindGrid(QTableView* view, DataSource* ds);
    // Binds a grid's current row and its query's cursor both ways; the two connections.
    static std::array<QMetaObject::Connection, 2> bindCursor(QTableView* view, DataSource* ds);
    void onFocusChanged(QWidget* old, QWidget* now);
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
    QString dataDirAnswer_;  // given once, then the dialog asks
    QString startupMarker_;
    std::array<bool, 3> importFailed_{};  // per timeframe: its import or build ended with an error
    int detailsTimeframe_ = 0;  // the timeframe whose run list the detail grid e4G follows
    bool starting_ = false;
    bool aborted_ = false;
    bool destroyed_ = false;
};
