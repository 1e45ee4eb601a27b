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

// Builds the patterns of the first `rows` rows of q row by row. The arrays of the first pass
// have room for every row from the start, so what is built stays where it is.
class PatternBuilder {
public:
    PatternBuilder(const Query& q, int rows);
    int rows() const { return rows_; }
    // Adds the pattern of row r (rows in order); false when the row has no close.
    bool add(int r);
    // The patterns built so far (inputs and first-pass targets).
    const TrainingPatterns& built() const { return p_; }
    // The patterns with the targets of the later passes.
    TrainingPatterns finish();

private:
    const Query& q_;
    int rows_;
    std::array<int, inputCount> in_{};
    int cv1_ = -1, cv3_ = -1, hv2_ = -1, hv3_ = -1, lv2_ = -1, lv3_ = -1;
    TrainingPatterns p_;
    std::vector<char> ownClose_;  // CV3 below 1: the pattern has a close target of its own
    float carry_ = 0;             // the close target of the last pattern
};

PatternBuilder::PatternBuilder(const Query& q, int rows) : q_(q), rows_(std::max(0, std::min(rows, q.RecordCount()))) {
    if (rows_ == 0) return;
    for (int k = 0; k < inputCount; ++k) in_[size_t(k)] = column(q, inputColumns()[size_t(k)]);
    cv1_ = column(q, QStringLiteral("CV1"));
    cv3_ = column(q, QStringLiteral("CV3"));
    hv2_ = column(q, QStringLiteral("HV2"));
    hv3_ = column(q, QStringLiteral("HV3"));
    lv2_ = column(q, QStringLiteral("LV2"));
    lv3_ = column(q, QStringLiteral("LV3"));
    p_.inputs.reserve(size_t(rows_) * inputCount);
    p_.targetsFirst.reserve(size_t(rows_) * outputCount);
    ownClose_.reserve(size_t(rows_));
}

bool PatternBuilder::add(int r) {
    // A close whose text is empty (NULL or an empty text) leaves the row out.
    const DbValue c1 = q_.ValueAt(r, cv1_);
    if (c1.isNull() || (c1.type == DbValue::Text && c1.s.isEmpty())) return false;
    std::array<float, inputCount> in;
    for (int k = 0; k < inputCount; ++k) in[size_t(k)] = float(q_.ValueAt(r, in_[size_t(k)]).asFloat());
    // The close target carries over from the previously presented pattern.
    const double c = q_.ValueAt(r, cv3_).asFloat();
    if (c < 1) carry_ = float(c);
    const float high = q_.ValueAt(r, hv2_).asFloat() == 0 ? 0.0f : float(q_.ValueAt(r, hv3_).asFloat());
    const float low = q_.ValueAt(r, lv2_).asFloat() == 0 ? 0.0f : float(q_.ValueAt(r, lv3_).asFloat());
    p_.inputs.insert(p_.inputs.end(), in.begin(), in.end());
    p_.targetsFirst.insert(p_.targetsFirst.end(), {carry_, high, low});
    ownClose_.push_back(c < 1);
    ++p_.count;
    return true;
}

TrainingPatterns PatternBuilder::finish() {
    p_.targetsLater = p_.targetsFirst;
    // A later pass starts from the close target the first pass ended on (the last own
    // target, or 0 when there is none), so every later pass is alike.
    float carry = carry_;
    for (int i = 0; i < p_.count; ++i) {
        if (!ownClose_[size_t(i)]) p_.targetsLater[size_t(i) * outputCount] = carry;
        else carry = p_.targetsFirst[size_t(i) * outputCount];
    }
    return std::move(p_);
}

TrainingPatterns trainingPatterns(const Query& q, int rows) {
    PatternBuilder b(q, rows);
    for (int r = 0; r < b.rows(); ++r) b.add(r);
    return b.finish();
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
// whenever the label changes size. The image may be handed over as the means to draw it: it
// is drawn once the label is on screen (the diagram page may never be looked at).
class FitImage : public QObject {
public:
    explicit FitImage(QLabel* label) : QObject(label), label_(label) {
        setObjectName(QStringLiteral("fitImage"));
        label->setMinimumSize(1, 1);  // the pixmap must not keep the label from shrinking
        label->installEventFilter(this);
    }
    void setLater(std::function<QImage()> draw) {
        img_ = QImage();
        draw_ = std::move(draw);
        apply();
    }

protected:
    bool eventFilter(QObject* o, QEvent* e) override {
        if (o == label_ && (e->type() == QEvent::Resize || e->type() == QEvent::Show)) apply();
        return false;
    }

private:
    void apply() {
        if (draw_ && label_->isVisible()) {
            try {
                img_ = std::exchange(draw_, nullptr)();
            } catch (...) {
                img_ = QImage();  // nothing to show rather than an error out of an event
            }
        }
        if (img_.isNull()) { label_->clear(); return; }
        const QSize r = label_->contentsRect().size();
        if (r.width() < 1 || r.height() < 1) return;
        label_->setPixmap(QPixmap::fromImage(img_.scaled(r, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
    }
    QLabel* label_;
    QImage img_;
    std::function<QImage()> draw_;
};

FitImage* fitImage(QLabel* label) {
    auto* fit = label->findChild<FitImage*>(QStringLiteral("fitImage"), Qt::FindDirectChildrenOnly);
    return fit ? fit : new FitImage(label);
}

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

// The patterns of the browse query, when it holds rows as a read of the table would: a guess
// to start training on while the table itself is read. build() runs on the reading thread
// before it reads the table (two threads for two processors: the guess is built at full
// speed while the first pass takes the patterns as they come); the browse query must stay
// as it is until ready() has said there are no more.
class GuessedPatterns {
public:
    static std::unique_ptr<GuessedPatterns> of(const Query& browse, int ityk) {
        try {
            if (!browse.Active() || browse.IsEmpty()) return nullptr;
            const int cnt = browse.FieldIndex(QStringLiteral("CNT"));
            if (cnt < 0) return nullptr;
            const int icn = browse.ValueAt(browse.RecordCount() - 1, cnt).asInteger() - ityk;
            if (icn < 1 || browse.RecordCount() <= ityk) return nullptr;
            return std::unique_ptr<GuessedPatterns>(new GuessedPatterns(browse, icn));
        } catch (...) {
            return nullptr;
        }
    }

    // Builds the patterns in row order, handing each over as it is built.
    void build() noexcept {
        try {
            for (int r = 0; r < builder_.rows(); ++r)
                if (builder_.add(r)) published_.store(builder_.built().count, std::memory_order_release);
        } catch (...) {
            failed_ = true;
        }
        done_.store(true, std::memory_order_release);  // the last use of this object by build()
    }

    // Waits for pattern i; false when there is none (all are built, or a row could not be read).
    bool ready(int i) const {
        for (;;) {
            const bool done = done_.load(std::memory_order_acquire);
            if (i < published_.load(std::memory_order_acquire)) return true;
            if (done) return false;
            std::this_thread::yield();
        }
    }
    const float* input(int i) const { return inputs_ + size_t(i) * forecast::inputCount; }
    const float* target(int i) const { return targets_ + size_t(i) * forecast::outputCount; }
    // All the patterns, once ready() has said there are no more; none when a row could not
    // be read.
    std::optional<forecast::TrainingPatterns> finish() {
        if (failed_) return std::nullopt;
        return builder_.finish();
    }

private:
    GuessedPatterns(const Query& browse, int rows)
        : builder_(browse, rows),
          inputs_(builder_.built().inputs.data()),
          targets_(builder_.built().targetsFirst.data()) {}

    forecast::PatternBuilder builder_;
    const float* inputs_;
    const float* targets_;
    std::atomic<int> published_{0};
    std::atomic<bool> done_{false};
    bool failed_ = false;
};

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
    // One thread builds the guess (when there is one) and then reads the table.
    std::unique_ptr<GuessedPatterns> guessing;
    if (iln > 0) guessing = GuessedPatterns::of(browse, ityk);
    TableRead table;
    std::optional<forecast::Background> reading;
    reading.emplace([&, g = guessing.get(), full = QString(sqw), ityk = ityk, itkn = itkn] {
        if (g) g->build();
        table.read(dm.qm, narrow, full, ityk, itkn);
    });
    const forecast::TrainingPatterns* patterns = nullptr;
    std::optional<forecast::TrainingPatterns> guess;
    // Waits for the table; true when the network has trained on other patterns than the
    // table's and must start over.
    auto confirm = [&](bool trained) {
        reading->wait();
        if (table.noImportedRows) throw VelkorError(noImportedRows(stnm));
        const bool again = trained && (!patterns || !forecast::samePatterns(*patterns, table.patterns));
        patterns = &table.patterns;
        return again;
    };
    if (!guessing) confirm(false);
    bool confirmed = !guessing;

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

    // 5. Training: every pattern once per pass, from the prepared arrays (the first pass on a
    // guess from the patterns as they are built).
    if (iln > 0) {
        bool started = false;
        struct End {
            Progress& p;
            const bool& started;
            ~End() { if (started) p.end(); }
        } end{progress(), started};
        qint64 shown = tmb;
        for (int epoch = 1; epoch <= iln; ++epoch) {
            TTarselFann& net = *TarselFann;
            if (guessing) {
                for (int i = 0; guessing->ready(i); ++i) net.Train(guessing->input(i), guessing->target(i));
                guess = guessing->finish();
                guessing.reset();
                patterns = guess ? &*guess : nullptr;  // none: training starts over on the table's
            } else {
                const int n = patterns->count;
                const float* in = patterns->inputs.data();
                const float* tg = epoch == 1 ? patterns->targetsFirst.data() : patterns->targetsLater.data();
                for (int i = 0; i < n; ++i)
                    net.Train(in + size_t(i) * forecast::inputCount, tg + size_t(i) * forecast::outputCount);
            }
            const qint64 now = clock().elapsedMs();
            const bool due = epoch == iln || now - shown >= 100;
            if (!confirmed && (due || !patterns || reading->done())) {
                confirmed = true;
                if (confirm(true)) {
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
            browseRefresh->outdated(t->index);
        } catch (...) {
            iasi = code;
            if (placeholders.open) {
                execOne(dm.csm, QStringLiteral("ROLLBACK"));
                placeholders.open = false;
            }
            // The browse view shows the table as stored.
            browseRefresh->current(t->index);
            reopenTrainingView(dm, *t);
            throw;
        }
    }
    if (std::rename(QFile::encodeName(temp.path).constData(), QFile::encodeName(netPath).constData()) != 0)
        throw VelkorError(texts::fileWriteError(netPath, QString::fromLocal8Bit(std::strerror(errno))));
    temp.path.clear();

    // 13. The trained network on page "4:学図", then it is released.
    browse.Last();
    fitImage(ui->dImg)->setLater([shape = net.NeuronShape()] {
        QImage img;
        TTarselFann::DrawNeuronBmp(shape, img);
        return img;
    });
    ui->d12ms2L->setText(mseText);
    TarselFann.reset();

    // 14.
    dialogs().message(texts::trainingTime + fmt::minSecJa(tm));
}
