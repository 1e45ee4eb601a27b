#pragma once
// A window with its databases open and its pages reset, a small hand-made training table per
// timeframe, and an independent plain training loop to compare the forecast run with.
#include <QLabel>
#include <QLineEdit>
#include <QTableWidget>
#include <array>
#include <cmath>
#include <functional>
#include <optional>
#include <vector>

#include "app/Timeframe.h"
#include "net/Scaling.h"
#include "net/NeuralNetwork.h"
#include "support/Fixture.h"

// A progress display whose answers and side effects a test scripts.
struct ScriptedProgress : Progress {
    int starts = 0, updates = 0, ends = 0;
    std::function<void()> onStart;
    std::function<bool(qint64)> onUpdate;
    QStringList labels;
    void start(const QString& label, qint64, bool) override {
        ++starts;
        labels << label;
        if (onStart) onStart();
    }
    bool update(qint64 done, const QString& label) override {
        ++updates;
        labels << label;
        return onUpdate ? onUpdate(done) : true;
    }
    void end() override { ++ends; }
};

struct ForecastFixture : WindowFixture {
    ScriptedProgress sprogress;

    explicit ForecastFixture(std::optional<unsigned> seed = 7u) : WindowFixture(seed) {
        // The same window, but with a progress display the test can script.
        w.reset();
        TVelkorF::Options o;
        o.workDir = dir.path();
        o.catalogDir = QStringLiteral(VELKOR_SOURCE_DIR "/data/catalog");
        o.dialogs = &dialogs;
        o.clock = &clock;
        o.progress = &sprogress;
        o.seed = seed;
        w = std::make_unique<TVelkorF>(o);
        clock.setElapsedMs(0);
        openDatabases();
        w->resetWindow();
        dialogs.log.clear();  // the catalog notice of the first start
    }

    const Timeframe& t(int code) const { return *timeframeOf(code); }
    TVelkorF::Page& page(int code) { return w->page(timeframeOf(code)->index); }

    static QString f6(double v) { return QString::number(v, 'f', 6); }

    // `imported` bars and the timeframe's placeholder rows. Bar 3 has no close; bars 1, 2,
    // every 7th and the last have CV3 = 1 (their close target carries over); every 4th has
    // HV2 = 0 and every 5th LV2 = 0 while HV3/LV3 are not 0.
    void fillTraining(int code, int imported) {
        const Timeframe& tt = t(code);
        const int n = imported + tt.periods;
        for (int i = 1; i <= n; ++i) {
            const int minutes = (600 + (i - 1) * tt.periodSeconds / 60) % 1440;
            const QString hm = QStringLiteral("%1:%2").arg(minutes / 60, 2, 10, QChar('0')).arg(minutes % 60, 2, 10, QChar('0'));
            QStringList cols{QStringLiteral("CNT"), QStringLiteral("SYMD"), QStringLiteral("SHM"), QStringLiteral("LYMD"),
                             QStringLiteral("LHM"), QStringLiteral("WEEK"), QStringLiteral("SIN"), QStringLiteral("COS")};
            QStringList vals{QString::number(i), QStringLiteral("'2024/01/05'"), QLatin1Char('\'') + hm + QLatin1Char('\''),
                             QStringLiteral("'2024/01/05'"), QLatin1Char('\'') + hm + QLatin1Char('\''),
                             f6(((i % 7) + 1) / 7.0), f6(0.5 + 0.5 * std::sin(i * 0.3)), f6(0.5 + 0.5 * std::cos(i * 0.3))};
            if (i <= imported) {
                const int cv = 150000 + (i * 37 % 200) - 100;
                const int hv = cv + (i % 4) * 15, lv = cv - (i % 5) * 12;
                const double cv3 = (i <= 2 || i % 7 == 0 || i == imported) ? 1.0 : ((i * 53) % 800) / 1000.0 + 0.1;
                const QStringList more{QStringLiteral("HV1"), QStringLiteral("HV2"), QStringLiteral("HV3"),
                                       QStringLiteral("LV1"), QStringLiteral("LV2"), QStringLiteral("LV3"),
                                       QStringLiteral("CV3"), QStringLiteral("SLP13"), QStringLiteral("SLP23"),
                                       QStringLiteral("SLP33"), QStringLiteral("M053"), QStringLiteral("M203"),
                                       QStringLiteral("M1H3"), QStringLiteral("ATR2"), QStringLiteral("RSI2"),
                                       QStringLiteral("B0L3"), QStringLiteral("B1L3"), QStringLiteral("B4L3")};
                cols << more;
                vals << QString::number(hv) << QString::number(hv - cv)
                     << f6(i % 4 == 0 ? 0.25 : (hv - cv) / 100.0) << QString::number(lv) << QString::number(cv - lv)
                     << f6(i % 5 == 0 ? 0.35 : (cv - lv) / 100.0) << f6(cv3);
                for (int k = 0; k < 11; ++k) vals << f6(((i * (k + 3) * 17) % 1000) / 1000.0);
                if (i != 3) { cols << QStringLiteral("CV1"); vals << QString::number(cv); }
            }
            const bool ok = exec(QStringLiteral("csm"), QStringLiteral("insert into %1 (%2) values (%3)")
                                                             .arg(tt.trainingTable, cols.join(','), vals.join(',')));
            if (!ok) throw std::runtime_error("fixture insert failed");
        }
        // The browse view, as the training table builder leaves it.
        w->openOnTable(w->data.trainingQuery(tt.index), Db::Memory, tt.trainingTable, QStringLiteral(" order by CNT "));
    }

    void setPasses(int code, const QString& text) { page(code).ln1E->setText(text); }

    // Runs the forecast of a timeframe as its button does.
    void run(int code) {
        w->guarded([&] { w->runForecast(*timeframeOf(code)); });
    }

    int count(const QString& sql) { return scalar(QStringLiteral("csq"), sql).toInt(); }
};

// What a plain loop over the training table (field lookups per row and pass, the close
// target kept in the output vector) gives with the same seed.
struct Reference {
    std::vector<std::array<float, 3>> outputs;  // per placeholder row
    float mse = 0;
    QByteArray network;  // the saved network file
    int cvMax = 0, cvMin = 0, hvMax = 0, lvMin = 0;
    int baseCnt = 0;
};

inline Reference referenceRun(WindowFixture& f, const Timeframe& tt, int passes, unsigned seed) {
    Reference ref;
    Query q(QStringLiteral("ref"), &f.w->data.memory, QStringLiteral("select * from ") + tt.trainingTable + QStringLiteral(" order by CNT"));
    q.Open();
    q.Last();
    const int icn = q.FieldByName(QStringLiteral("CNT")).AsInteger() - tt.periods;
    const unsigned layers[] = {14, 14, 14, 3};
    NeuralNetwork net(layers, 1.0f, seed);
    const char* names[] = {"WEEK", "SIN", "COS", "SLP13", "SLP23", "SLP33", "M053",
                           "M203", "M1H3", "ATR2", "RSI2", "B0L3", "B1L3", "B4L3"};
    std::array<float, 14> in{};
    std::array<float, 3> out{};
    auto fld = [&](const char* n) { return q.FieldByName(QString::fromLatin1(n)); };
    for (int e = 1; e <= passes; ++e) {
        q.First();
        for (int r = 0; r < icn; ++r) {
            if (fld("CV1").AsString().isEmpty()) { q.Next(); continue; }
            for (int k = 0; k < 14; ++k) in[size_t(k)] = float(fld(names[k]).AsFloat());
            if (fld("CV3").AsFloat() < 1) out[0] = float(fld("CV3").AsFloat());
            out[1] = fld("HV2").AsFloat() == 0 ? 0.0f : float(fld("HV3").AsFloat());
            out[2] = fld("LV2").AsFloat() == 0 ? 0.0f : float(fld("LV3").AsFloat());
            net.Train(in, out);
            q.Next();
        }
    }
    ref.baseCnt = icn;
    Query r(QStringLiteral("range"), &f.w->data.memory,
            QStringLiteral("select max(CV1), min(CV1), max(HV1), min(LV1) from %1 where CNT > %2 and CNT < %3")
                .arg(tt.trainingTable).arg(icn - tt.windowLength).arg(icn));
    r.Open();
    ref.cvMax = r.ValueAt(0, 0).asInteger();
    ref.cvMin = r.ValueAt(0, 1).asInteger();
    ref.hvMax = r.ValueAt(0, 2).asInteger();
    ref.lvMin = r.ValueAt(0, 3).asInteger();
    q.Last();
    q.MoveBy(-tt.periods);
    for (int k = 0; k < tt.periods; ++k) {
        q.Next();
        in[0] = float(fld("WEEK").AsFloat());
        in[1] = float(fld("SIN").AsFloat());
        in[2] = float(fld("COS").AsFloat());
        std::array<float, 3> o{};
        net.Run(in, o);
        ref.outputs.push_back(o);
    }
    ref.mse = net.GetMSE();
    const QString file = f.file(QStringLiteral("reference.net"));
    net.SaveToFile(file);
    ref.network = f.readBytes(QStringLiteral("reference.net"));
    return ref;
}
