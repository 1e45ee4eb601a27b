// The training and forecast run of one timeframe.
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "app/Format.h"
#include "app/Texts.h"
#include "app/Timeframe.h"
#include "app/VelkorError.h"
#include "db/SqlBuilder.h"
#include "forecast/Forecast.h"
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
    for (int r = 0; r < n; ++r) {
        const std::vector<DbValue>& row = q.Row(r);
        if (row[size_t(cv1)].asString().isEmpty()) continue;
        for (int k = 0; k < inputCount; ++k) p.inputs.push_back(float(row[size_t(in[size_t(k)])].asFloat()));
        const double c = row[size_t(cv3)].asFloat();
        close.push_back(float(c));
        ownClose.push_back(c < 1);
        p.targetsFirst.push_back(0);  // filled below
        p.targetsFirst.push_back(row[size_t(hv2)].asFloat() == 0 ? 0.0f : float(row[size_t(hv3)].asFloat()));
        p.targetsFirst.push_back(row[size_t(lv2)].asFloat() == 0 ? 0.0f : float(row[size_t(lv3)].asFloat()));
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
    void set(const QImage& img) {
        img_ = img;
        apply();
    }
    const QImage& image() const { return img_; }

protected:
    bool eventFilter(QObject* o, QEvent* e) override {
        if (o == label_ && e->type() == QEvent::Resize) apply();
        return false;
    }

private:
    void apply() {
        if (img_.isNull()) { label_->clear(); return; }
        const QSize room = label_->contentsRect().size();
        if (room.width() < 1 || room.height() < 1) return;
        label_->setPixmap(QPixmap::fromImage(img_.scaled(room, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
    }
    QLabel* label_;
    QImage img_;
};

void showDiagram(QLabel* label, const QImage& img) {
    auto* fit = label->findChild<FitImage*>(QStringLiteral("fitImage"), Qt::FindDirectChildrenOnly);
    if (!fit) fit = new FitImage(label);
    fit->set(img);
}

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

}  // namespace

void TVelkorF::uq02YS() {
    const Timeframe* t = tf(iasi);
    if (!t) return;
    const int code = t->code;
    Page& pg = page(t->index);

    // 1-2. The training rows in CNT order; the imported rows are all but the placeholders.
    stdb = QStringLiteral("csm");
    swh = QStringLiteral(" order by CNT ");
    stnm = t->trainingTable;
    const int iln = Cvs2i(pg.ln1E->text().trimmed());
    itkn = t->itkn;
    ityk = t->ityk;
    ucSql(1);
    dm.qm.Close();
    dm.qm.setSql(sqw);
    dm.qm.Open();
    dm.qm.Last();
    const int lastCnt = dm.qm.FieldByName(QStringLiteral("CNT")).AsInteger();
    int icn = lastCnt - ityk;
    if (dm.qm.IsEmpty() || icn < 1 || dm.qm.RecordCount() <= ityk) throw VelkorError(noImportedRows(stnm));
    const forecast::TrainingPatterns patterns = forecast::trainingPatterns(dm.qm, icn);

    // 3-4. A fresh network for every run.
    const qint64 tmb = clock().elapsedMs();
    TarselFann.reset();
    static const unsigned layers[] = {14, 14, 14, 3};
    TarselFann = std::make_unique<TTarselFann>(std::span<const unsigned>(layers), 1.0f, seed());
    struct Release {
        std::unique_ptr<TTarselFann>& net;
        ~Release() { net.reset(); }
    } release{TarselFann};
    TTarselFann& net = *TarselFann;

    // 5. Training: every pattern once per pass, from the prepared arrays.
    if (iln > 0) {
        progress().start(progressLabel(0, iln, 0), iln, true);
        struct End { Progress& p; ~End() { p.end(); } } end{progress()};
        const float* in = patterns.inputs.data();
        const int n = patterns.count;
        qint64 shown = tmb;
        for (int epoch = 1; epoch <= iln; ++epoch) {
            const float* tg = epoch == 1 ? patterns.targetsFirst.data() : patterns.targetsLater.data();
            for (int i = 0; i < n; ++i)
                net.Train(in + size_t(i) * forecast::inputCount, tg + size_t(i) * forecast::outputCount);
            const qint64 now = clock().elapsedMs();
            if (epoch == iln || now - shown >= 100) {
                shown = now;
                if (!progress().update(epoch, progressLabel(epoch, iln, now - tmb))) return;  // cancelled
            }
        }
    }

    // 6. The base bar and the ranges of its window.
    std::array<float, forecast::inputCount> inputs{};
    if (iln > 0 && patterns.count > 0)
        std::copy_n(patterns.lastInputs(), forecast::inputCount, inputs.begin());
    std::array<float, forecast::outputCount> outputs{};
    dm.qm.Last();
    dm.qm.MoveBy(-ityk);
    icn = dm.qm.FieldByName(QStringLiteral("CNT")).AsInteger();
    fqHLn(icn, itkn);
    dm.qm.Next();

    // 7. One forecast per placeholder row: only the calendar inputs change.
    struct Written { QString cnt, high, low, close, scaled; };
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
        written.push_back({dm.qm.FieldByName(QStringLiteral("CNT")).AsString(), sa[1], sa[2], sa[3], sa[4]});
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

    Query& browse = dm.trainingQuery(t->index);
    auto reopenBrowse = [&] {
        stdb = QStringLiteral("csm");
        stnm = t->trainingTable;
        swh = QStringLiteral(" order by cnt ");
        ucSql(1);
        browse.Close();
        browse.setSql(sqw);
        browse.Open();
        browse.Last();
    };
    {
        Transaction placeholders(dm.csm);
        try {
            // 7.6 The forecasts go into the placeholder rows.
            for (const Written& w : written) {
                sqw = QStringLiteral(" update ") + t->trainingTable + QStringLiteral(" set HV1 = ") + w.high +
                      QStringLiteral(", LV1 = ") + w.low + QStringLiteral(", CV1 = ") + w.close +
                      QStringLiteral(", M053 = ") + (w.scaled.isEmpty() ? QStringLiteral("NULL") : w.scaled) +
                      QStringLiteral(" where CNT = ") + w.cnt;
                if (!uexSql(2))
                    throw VelkorError(texts::sqlError(QStringLiteral("予測値を書き込めません"), sqw));
            }
            // 11-12. The browse view, then the run is stored and the page shows it.
            reopenBrowse();
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
            reopenBrowse();
            throw;
        }
    }
    if (std::rename(QFile::encodeName(temp.path).constData(), QFile::encodeName(netPath).constData()) != 0)
        throw VelkorError(texts::fileWriteError(netPath, QString::fromLocal8Bit(std::strerror(errno))));
    temp.path.clear();

    // 13. The trained network on page "4:学図", then it is released.
    browse.Last();
    showDiagram(ui->dImg, net.CreateNeuronBmp());
    ui->d12ms2L->setText(mseText);
    TarselFann.reset();

    // 14.
    dialogs().message(texts::trainingTime + fmt::minSecJa(tm));
}
