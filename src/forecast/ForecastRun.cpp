// The training and forecast run of one timeframe.
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QTableView>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <functional>
#include <limits>
#include <optional>
#include <thread>

#include "app/Format.h"
#include "app/Texts.h"
#include "app/Timeframe.h"
#include "app/VelkorError.h"
#include "db/SqlBuilder.h"
#include "forecast/Forecast.h"
#include "market/MarketCommon.h"
#include "net/Scaling.h"
#include "net/TarselFann.h"
#include "ui/VelkorU.h"
#include "ui_VelkorU.h"

namespace forecast {

const std::array<QString, inputCount>& inputColumns() {
    static const std::array<QString, inputCount> c{
        QStringLiteral("WEEK"), QStringLiteral("SIN"),  QStringLiteral("COS"),  QStringLiteral("SLP13"),
        QStringLiteral("SLP23"), QStringLiteral("SLP33"), QStringLiteral("M053"), QStringLiteral("M203"),
        QStringLiteral("M1H3"), QStringLiteral("ATR2"), QStringLiteral("RSI2"), QStringLiteral("B0L3"),
        QStringLiteral("B1L3"), QStringLiteral("B4L3")};
    return c;
}

namespace {
int column(const Query& q, const QString& name) {
    const int i = q.FieldIndex(name);
    if (i < 0) throw VelkorError(QStringLiteral("%1: フィールド '%2' が見つかりません").arg(q.name(), name));
    return i;
}
}  // namespace

TrainingPatterns trainingPatterns(const Query& q, int rows) {
    TrainingPatterns p;
    const int n = std::min(rows, q.RecordCount());
    if (n <= 0) return p;
    std::array<int, inputCount> in{};
    for (int k = 0; k < inputCount; ++k) in[size_t(k)] = column(q, inputColumns()[size_t(k)]);
    const int cv1 = column(q, QStringLiteral("CV1")), cv3 = column(q, QStringLiteral("CV3"));
    const int hv2 = column(q, QStringLiteral("HV2")), hv3 = column(q, QStringLiteral("HV3"));
    const int lv2 = column(q, QStringLiteral("LV2")), lv3 = column(q, QStringLiteral("LV3"));

    p.inputs.reserve(size_t(n) * inputCount);
    p.targetsFirst.reserve(size_t(n) * outputCount);
    std::vector<float> close;     // CV3 of each pattern
    std::vector<char> ownClose;   // CV3 below 1: the pattern has a close target of its own
    close.reserve(size_t(n));
    ownClose.reserve(size_t(n));
    for (int r = 0; r < n; ++r) {
        // A close whose text is empty (NULL or an empty text) leaves the row out.
        const DbValue c1 = q.ValueAt(r, cv1);
        if (c1.isNull() || (c1.type == DbValue::Text && c1.s.isEmpty())) continue;
        for (int k = 0; k < inputCount; ++k) p.inputs.push_back(float(q.ValueAt(r, in[size_t(k)]).asFloat()));
        const double c = q.ValueAt(r, cv3).asFloat();
        close.push_back(float(c));
        ownClose.push_back(c < 1);
        p.targetsFirst.push_back(0);  // filled below
        p.targetsFirst.push_back(q.ValueAt(r, hv2).asFloat() == 0 ? 0.0f : float(q.ValueAt(r, hv3).asFloat()));
        p.targetsFirst.push_back(q.ValueAt(r, lv2).asFloat() == 0 ? 0.0f : float(q.ValueAt(r, lv3).asFloat()));
    }
    p.count = int(close.size());
    p.targetsLater = p.targetsFirst;
    // The close target carries over from the previously presented pattern, across passes.
    auto fill = [&](std::vector<float>& t, float carry) {
        for (int i = 0; i < p.count; ++i) {
            if (ownClose[size_t(i)]) carry = close[size_t(i)];
            t[size_t(i) * outputCount] = carry;
        }
        return carry;
    };
    const float endOfFirst = fill(p.targetsFirst, 0.0f);
    // A later pass ends on the same carried value as the first (the last own target, or 0
    // when there is none), so every later pass is alike.
    fill(p.targetsLater, endOfFirst);
    return p;
}

bool samePatterns(const TrainingPatterns& a, const TrainingPatterns& b) {
    // Bit for bit: the network must see exactly the same numbers.
    auto same = [](const std::vector<float>& x, const std::vector<float>& y) {
        return x.size() == y.size() && (x.empty() || std::memcmp(x.data(), y.data(), x.size() * sizeof(float)) == 0);
    };
    return a.count == b.count && same(a.inputs, b.inputs) && same(a.targetsFirst, b.targetsFirst) &&
           same(a.targetsLater, b.targetsLater);
}

std::optional<std::vector<qint64>> rowids(const Query& q) {
    const int rid = q.FieldIndex(QStringLiteral("ROWID"));
    const int cnt = q.FieldIndex(QStringLiteral("CNT"));
    if (rid < 0 || cnt < 0) return std::nullopt;
    constexpr qint64 none = std::numeric_limits<qint64>::min();  // IntAt of a value that is no integer
    std::vector<qint64> ids(size_t(q.RecordCount()));
    for (int r = 0; r < q.RecordCount(); ++r) {
        if (q.IntAt(r, cnt, none) == none) return std::nullopt;
        if ((ids[size_t(r)] = q.IntAt(r, rid, none)) == none) return std::nullopt;
    }
    return ids;
}

QString rowidList(const std::vector<qint64>& ids, int first, int last) {
    QString s = QStringLiteral(" rowid in (");
    for (int r = first; r <= last; ++r) {
        if (r > first) s += QLatin1Char(',');
        s += QString::number(ids[size_t(r)]);
    }
    return s + QStringLiteral(") and ");
}

int signal(double ddc, double dbb, double dbs) {
    if (ddc > dbb) return 1;
    if (ddc < dbs) return -1;
    return 0;
}

}  // namespace forecast

namespace {

// Shows an image in a label, scaled to fit with its aspect ratio kept, and scales it again
// whenever the label changes size.
class FitImage : public QObject {
public:
    explicit FitImage(QLabel* label) : QObject(label), label_(label) {
        setObjectName(QStringLiteral("fitImage"));
        label->setMinimumSize(1, 1);  // the pixmap must not keep the label from shrinking
        label->installEventFilter(this);
    }
    // `scaled`, when given, is the image already scaled to the room the label has now.
    void set(const QImage& img, const QImage& scaled = QImage()) {
        img_ = img;
        apply(scaled);
    }
    const QImage& image() const { return img_; }

    static QImage fit(const QImage& img, const QSize& room) {
        return img.scaled(room, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    }
    QSize room() const { return label_->contentsRect().size(); }

protected:
    bool eventFilter(QObject* o, QEvent* e) override {
        if (o == label_ && e->type() == QEvent::Resize) apply();
        return false;
    }

private:
    void apply(const QImage& scaled = QImage()) {
        if (img_.isNull()) { label_->clear(); return; }
        const QSize r = room();
        if (r.width() < 1 || r.height() < 1) return;
        const bool ready = !scaled.isNull() && scaled.size() == img_.size().scaled(r, Qt::KeepAspectRatio);
        label_->setPixmap(QPixmap::fromImage(ready ? scaled : fit(img_, r)));
    }
    QLabel* label_;
    QImage img_;
};

FitImage* fitImage(QLabel* label) {
    auto* fit = label->findChild<FitImage*>(QStringLiteral("fitImage"), Qt::FindDirectChildrenOnly);
    return fit ? fit : new FitImage(label);
}

// Work done on a thread of its own while the window's thread goes on; wait() hands back what
// it threw. The owner waits for it before it touches what the work uses.
class Background {
public:
    explicit Background(std::function<void()> work)
        : thread_([this, w = std::move(work)] {
              try {
                  w();
              } catch (...) {
                  error_ = std::current_exception();
              }
              done_.store(true, std::memory_order_release);
          }) {}
    ~Background() { join(); }
    Background(const Background&) = delete;
    Background& operator=(const Background&) = delete;

    bool done() const { return done_.load(std::memory_order_acquire); }
    void wait() {
        join();
        if (error_) std::rethrow_exception(std::exchange(error_, nullptr));
    }

private:
    void join() {
        if (thread_.joinable()) thread_.join();
    }
    std::exception_ptr error_;
    std::atomic<bool> done_{false};
    std::thread thread_;  // last: starts once the members above exist
};

// What the run reads of the training table: the rows in CNT order into `q` (only the columns
// the run uses, and the rowid), the last CNT, the training patterns, and the value ranges of
// the base bar's window as the range query gives them.
struct TableRead {
    bool noImportedRows = false;
    forecast::TrainingPatterns patterns;
    std::optional<market::RangeAggregates> ranges;  // when every CNT is an integer
    qint64 rangesOf = 0;                            // the base bar's CNT

    // `narrow` selects the run's columns; `full` is the select of every catalog column, whose
    // outcome (rows or error) stands when the narrow one cannot be run.
    void read(Query& q, const QString& narrow, const QString& full, int ityk, int itkn) {
        q.Close();
        q.setSql(narrow);
        try {
            q.Open();
        } catch (const VelkorError&) {
            q.Close();
            q.setSql(full);
            q.Open();
        }
        q.Last();
        const int icn = q.FieldByName(QStringLiteral("CNT")).AsInteger() - ityk;
        if (q.IsEmpty() || icn < 1 || q.RecordCount() <= ityk) {
            noImportedRows = true;
            return;
        }
        patterns = forecast::trainingPatterns(q, icn);
        try {
            windowRanges(q, ityk, itkn);
        } catch (...) {
            ranges.reset();  // the range query on the table tells
        }
    }

    // The extremes of the rows with CNT strictly between base - itkn and base, the base bar
    // being the last row but ityk: with integer CNTs in order, the rows just before it.
    void windowRanges(const Query& q, int ityk, int itkn) {
        static const char* const names[market::kRangeColumns] = {"CV1", "HV1", "LV1", "M051", "M201", "M1H1", "ATR1"};
        std::array<int, market::kRangeColumns> col{};
        for (int c = 0; c < market::kRangeColumns; ++c)
            if ((col[size_t(c)] = q.FieldIndex(QLatin1String(names[c]))) < 0) return;
        const int cnt = q.FieldIndex(QStringLiteral("CNT"));
        constexpr qint64 none = std::numeric_limits<qint64>::min();  // IntAt of a value that is no integer
        for (int r = 0; r < q.RecordCount(); ++r)
            if (q.IntAt(r, cnt, none) == none) return;
        const int base = q.RecordCount() - 1 - ityk;
        const qint64 icn = q.IntAt(base, cnt);
        int first = base;
        while (first > 0 && q.IntAt(first - 1, cnt) > icn - itkn) --first;
        market::RangeWindow window;
        for (int r = first; r < base && q.IntAt(r, cnt) < icn; ++r) {
            std::array<DbValue, market::kRangeColumns> v;
            for (int c = 0; c < market::kRangeColumns; ++c) v[size_t(c)] = q.ValueAt(r, col[size_t(c)]);
            window.add(q.IntAt(r, cnt), v);
        }
        ranges = window.window(icn, itkn);
        rangesOf = icn;
    }
};

// The patterns of the browse query when it holds rows as a read of the table would: a guess
// to start training on while the table itself is read.
std::optional<forecast::TrainingPatterns> guessedPatterns(const Query& browse, int ityk) {
    try {
        if (!browse.Active() || browse.IsEmpty()) return std::nullopt;
        const int cnt = browse.FieldIndex(QStringLiteral("CNT"));
        if (cnt < 0) return std::nullopt;
        const int icn = browse.ValueAt(browse.RecordCount() - 1, cnt).asInteger() - ityk;
        if (icn < 1 || browse.RecordCount() <= ityk) return std::nullopt;
        return forecast::trainingPatterns(browse, icn);
    } catch (...) {
        return std::nullopt;
    }
}

// The select of every catalog column of a training table in CNT order, as the browse
// queries show it; built without touching the working state.
void reopenTrainingView(Tdm& dm, const Timeframe& t) {
    const CatalogTable* table = dm.catalog.find(t.trainingTable);
    if (!table) return;
    Query& q = dm.trainingQuery(t.index);
    q.Close();
    q.setConnection(&dm.csm);
    q.setSql(sqlb::select(*table, QStringLiteral(" order by cnt ")));
    q.Open();
    q.Last();
}

// Keeps the browse queries of the training tables current for their grid without reading a
// whole table after every run: a run marks its query out of date, and the grid reopens it
// when it is shown (at once when it is on screen already).
class BrowseRefresh : public QObject {
public:
    BrowseRefresh(QTableView* grid, std::function<void(int)> reopen)
        : QObject(grid), grid_(grid), reopen_(std::move(reopen)) {
        setObjectName(QStringLiteral("browseRefresh"));
        grid->installEventFilter(this);
    }
    static BrowseRefresh* of(QTableView* grid, const std::function<void(int)>& reopen) {
        auto* r = grid->findChild<BrowseRefresh*>(QStringLiteral("browseRefresh"), Qt::FindDirectChildrenOnly);
        return r ? r : new BrowseRefresh(grid, reopen);
    }
    void outdated(int index) {
        stale_[size_t(index)] = true;
        if (grid_->isVisible()) refresh();
    }
    void current(int index) { stale_[size_t(index)] = false; }

protected:
    bool eventFilter(QObject* o, QEvent* e) override {
        if (o == grid_ && e->type() == QEvent::Show) refresh();
        return false;
    }

private:
    void refresh() {
        for (int i = 0; i < int(stale_.size()); ++i) {
            if (!stale_[size_t(i)]) continue;
            stale_[size_t(i)] = false;
            reopen_(i);
        }
    }
    QTableView* grid_;
    std::function<void(int)> reopen_;
    std::array<bool, 3> stale_{};
};

// Removes a file on scope exit unless released.
struct TempFile {
    QString path;
    ~TempFile() { if (!path.isEmpty()) QFile::remove(path); }
};

// A transaction on a connection: rolled back unless committed.
struct Transaction {
    Connection& c;
    bool open = false;
    explicit Transaction(Connection& conn) : c(conn) {
        execOrThrow(c, QStringLiteral("BEGIN"));
        open = true;
    }
    void commit() {
        execOrThrow(c, QStringLiteral("COMMIT"));
        open = false;
    }
    ~Transaction() {
        if (open) execOne(c, QStringLiteral("ROLLBACK"));
    }
};

QString noImportedRows(const QString& table) {
    return QStringLiteral("学習テーブル %1 に読み込まれた相場データがありません。予測できません").arg(table);
}

QString progressLabel(int epoch, int passes, qint64 ms) {
    return QStringLiteral("学習中  %1 / %2 回   経過 %3").arg(epoch).arg(passes).arg(fmt::minSec(ms));
}

// The columns of the training table the run and its storing step read.
const QString& runColumns() {
    static const QString c = QStringLiteral(
        "CNT, LYMD, LHM, WEEK, SIN, COS, HV2, HV3, LV2, LV3, CV1, CV3, SLP13, SLP23, SLP33, M053, M203, M1H3, "
        "ATR2, RSI2, B0L3, B1L3, B4L3, HV1, LV1, M051, M201, M1H1, ATR1, rowid");
    return c;
}

}  // namespace

void TVelkorF::uq02YS() {
    const Timeframe* t = tf(iasi);
    if (!t) return;
    const int code = t->code;
    Page& pg = page(t->index);
    Query& browse = dm.trainingQuery(t->index);
    auto* browseRefresh = BrowseRefresh::of(ui->fDG, [this](int index) {
        guarded([&] { reopenTrainingView(dm, timeframes()[size_t(index)]); });
    });

    // 1-2. The training rows in CNT order; the imported rows are all but the placeholders.
    // The table is read on a thread of its own (the window's thread leaves the memory
    // database alone until it has waited for it), while training starts from the rows the
    // browse query holds; the two must give the same patterns, or training starts over.
    stdb = QStringLiteral("csm");
    swh = QStringLiteral(" order by CNT ");
    stnm = t->trainingTable;
    const int iln = Cvs2i(pg.ln1E->text().trimmed());
    itkn = t->itkn;
    ityk = t->ityk;
    ucSql(1);
    const QString narrow = QStringLiteral("select ") + runColumns() + QStringLiteral(" from ") + stnm + swh;
    TableRead table;
    std::optional<Background> reading;
    reading.emplace([&, full = QString(sqw), ityk = ityk, itkn = itkn] { table.read(dm.qm, narrow, full, ityk, itkn); });
    const forecast::TrainingPatterns* patterns = nullptr;
    std::optional<forecast::TrainingPatterns> guess;
    // Waits for the table; true when training went on other patterns and must start over.
    auto confirm = [&] {
        reading->wait();
        if (table.noImportedRows) throw VelkorError(noImportedRows(stnm));
        const bool again = patterns && !forecast::samePatterns(*patterns, table.patterns);
        patterns = &table.patterns;
        return again;
    };
    if (iln > 0) guess = guessedPatterns(browse, ityk);
    if (guess) patterns = &*guess;
    else confirm();
    bool confirmed = !guess;

    // 3-4. A fresh network for every run.
    const qint64 tmb = clock().elapsedMs();
    static const unsigned layers[] = {14, 14, 14, 3};
    auto createNetwork = [&] {
        TarselFann.reset();
        TarselFann = std::make_unique<TTarselFann>(std::span<const unsigned>(layers), 1.0f, seed());
    };
    createNetwork();
    struct Release {
        std::unique_ptr<TTarselFann>& net;
        ~Release() { net.reset(); }
    } release{TarselFann};

    // 5. Training: every pattern once per pass, from the prepared arrays.
    if (iln > 0) {
        bool started = false;
        struct End {
            Progress& p;
            const bool& started;
            ~End() { if (started) p.end(); }
        } end{progress(), started};
        qint64 shown = tmb;
        for (int epoch = 1; epoch <= iln; ++epoch) {
            const int n = patterns->count;
            const float* in = patterns->inputs.data();
            const float* tg = epoch == 1 ? patterns->targetsFirst.data() : patterns->targetsLater.data();
            TTarselFann& net = *TarselFann;
            for (int i = 0; i < n; ++i)
                net.Train(in + size_t(i) * forecast::inputCount, tg + size_t(i) * forecast::outputCount);
            const qint64 now = clock().elapsedMs();
            const bool due = epoch == iln || now - shown >= 100;
            if (!confirmed && (due || reading->done())) {
                confirmed = true;
                if (confirm()) {
                    createNetwork();
                    epoch = 0;
                    continue;
                }
            }
            // The progress display (which lets the window handle events) only once the
            // table has been read.
            if (!confirmed) continue;
            if (!started) {
                progress().start(progressLabel(0, iln, 0), iln, true);
                started = true;
            }
            if (due) {
                shown = now;
                if (!progress().update(epoch, progressLabel(epoch, iln, now - tmb))) return;  // cancelled
            }
        }
    }
    if (!confirmed) confirm();
    reading.reset();
    TTarselFann& net = *TarselFann;

    // 6. The base bar and the ranges of its window.
    std::array<float, forecast::inputCount> inputs{};
    if (iln > 0 && patterns->count > 0)
        std::copy_n(patterns->lastInputs(), forecast::inputCount, inputs.begin());
    std::array<float, forecast::outputCount> outputs{};
    dm.qm.Last();
    dm.qm.MoveBy(-ityk);
    int icn = dm.qm.FieldByName(QStringLiteral("CNT")).AsInteger();
    if (table.ranges && table.rangesOf == icn) market::storeRanges(*this, *table.ranges);  // what fqHLn finds
    else fqHLn(icn, itkn);
    dm.qm.Next();

    // 7. One forecast per placeholder row: only the calendar inputs change.
    struct Written { QString cnt, high, low, close, scaled; qint64 row; };
    std::vector<Written> written;
    for (int k = 0; k < ityk; ++k) {
        inputs[0] = float(dm.qm.FieldByName(QStringLiteral("WEEK")).AsFloat());
        inputs[1] = float(dm.qm.FieldByName(QStringLiteral("SIN")).AsFloat());
        inputs[2] = float(dm.qm.FieldByName(QStringLiteral("COS")).AsFloat());
        net.Run(inputs, outputs);
        const int idgcl = ClRSc(icvt[1], icvt[2], outputs[0]);
        sa[3] = QString::number(idgcl);
        sa[4] = fmt::frac6(outputs[0]);
        auto checked = [](double v) {
            if (!std::isfinite(v) || v < std::numeric_limits<int>::min() || v > std::numeric_limits<int>::max())
                throw VelkorError(texts::integerOverflow(fmt::shortest(v)));
            return int(v);
        };
        const int igh = checked(double(idgcl) + roundEven32(outputs[1] * (double(ihvt[0]) - icvt[1])));
        sa[1] = QString::number(igh);
        const int igl = checked(double(idgcl) - roundEven32(outputs[2] * (double(icvt[0]) - ilvt[1])));
        sa[2] = QString::number(igl);
        written.push_back({dm.qm.FieldByName(QStringLiteral("CNT")).AsString(), sa[1], sa[2], sa[3], sa[4], dm.qm.RecNo()});
        dm.qm.Next();
    }

    // The network diagram is drawn on a thread of its own while the run is stored; the
    // network is only read from here on.
    QImage diagram, diagramFit;
    std::optional<Background> drawing;
    drawing.emplace([&, room = fitImage(ui->dImg)->room()] {
        diagram = net.CreateNeuronBmp();
        if (room.width() >= 1 && room.height() >= 1) diagramFit = FitImage::fit(diagram, room);
    });

    // 8-9. Training error and time.
    const QString mseText = fmt::frac6(net.GetMSE());
    sa[3] = mseText;
    const qint64 tm = clock().elapsedMs() - tmb;
    sa[4] = fmt::minSec(tm);

    // 10. The network file is written beside its final name first and replaces the file of
    // the previous run only once the run is stored.
    const QString netPath = path(t->networkFile);
    TempFile temp{netPath + QStringLiteral(".new")};
    if (!net.SaveToFile(temp.path)) {
        const QString dir = QFileInfo(netPath).absolutePath();
        throw VelkorError(texts::fileWriteError(
            netPath, QFileInfo(dir).isDir() ? QStringLiteral("書き込めません") : QStringLiteral("フォルダ %1 がありません").arg(dir)));
    }

    {
        Transaction placeholders(dm.csm);
        try {
            // 7.6 The forecasts go into the placeholder rows.
            const int cntCol = dm.qm.FieldIndex(QStringLiteral("CNT"));
            const std::optional<std::vector<qint64>> ids = forecast::rowids(dm.qm);
            for (const Written& w : written) {
                // The rows are found by their rowids when the read gave them (the CNT
                // condition stays, so the statement changes the same rows): with integer
                // CNTs in order, the rows of one CNT lie together.
                QString rows;
                if (ids) {
                    const int r = int(w.row);
                    const qint64 k = dm.qm.IntAt(r, cntCol);
                    int first = r, last = r;
                    while (first > 0 && dm.qm.IntAt(first - 1, cntCol) == k) --first;
                    while (last + 1 < dm.qm.RecordCount() && dm.qm.IntAt(last + 1, cntCol) == k) ++last;
                    rows = forecast::rowidList(*ids, first, last);
                }
                sqw = QStringLiteral(" update ") + t->trainingTable + QStringLiteral(" set HV1 = ") + w.high +
                      QStringLiteral(", LV1 = ") + w.low + QStringLiteral(", CV1 = ") + w.close +
                      QStringLiteral(", M053 = ") + (w.scaled.isEmpty() ? QStringLiteral("NULL") : w.scaled) +
                      QStringLiteral(" where ") + rows + QStringLiteral("CNT = ") + w.cnt;
                if (!uexSql(2))
                    throw VelkorError(texts::sqlError(QStringLiteral("予測値を書き込めません"), sqw));
            }
            // 11-12. The run is stored and the page shows it; the browse view follows the
            // table when its grid is shown.
            sa[3] = mseText;
            sa[4] = fmt::minSec(tm);
            iasi = code;
            uq03K(2);
            placeholders.commit();
        } catch (...) {
            iasi = code;
            if (placeholders.open) {
                execOne(dm.csm, QStringLiteral("ROLLBACK"));
                placeholders.open = false;
            }
            // The browse view shows the table as stored.
            browseRefresh->current(t->index);
            stdb = QStringLiteral("csm");
            stnm = t->trainingTable;
            swh = QStringLiteral(" order by cnt ");
            ucSql(1);
            browse.Close();
            browse.setSql(sqw);
            browse.Open();
            browse.Last();
            throw;
        }
    }
    if (std::rename(QFile::encodeName(temp.path).constData(), QFile::encodeName(netPath).constData()) != 0)
        throw VelkorError(texts::fileWriteError(netPath, QString::fromLocal8Bit(std::strerror(errno))));
    temp.path.clear();

    // 13. The trained network on page "4:学図", then it is released.
    browseRefresh->outdated(t->index);
    browse.Last();
    drawing->wait();
    drawing.reset();
    fitImage(ui->dImg)->set(diagram, diagramFit);
    ui->d12ms2L->setText(mseText);
    TarselFann.reset();

    // 14.
    dialogs().message(texts::trainingTime + fmt::minSecJa(tm));
}
