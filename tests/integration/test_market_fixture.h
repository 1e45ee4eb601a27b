#pragma once
// A window over a temporary working directory with both databases open, a data folder
// named in "config.txt" and helpers to write quote files and read the results.
#include <QLabel>
#include <QLineEdit>
#include <QStringList>

#include "support/Fixture.h"

namespace markettest {

// Readable comparisons: texts and lists of texts as std::string.
inline std::string str(const QString& s) { return s.toStdString(); }
inline std::string str(const QStringList& l) { return l.join(QStringLiteral("\n")).toStdString(); }
inline std::string str(const QByteArray& b) { return b.toStdString(); }
inline std::string str(const char* s) { return s; }
#define EXPECT_TEXT(a, b) EXPECT_EQ(str(a), str(b))
#define ASSERT_TEXT(a, b) ASSERT_EQ(str(a), str(b))

// One quote file line: the 20 fields of a bar, prices as the file writes them.
struct Bar {
    QString date, time;
    QString hv = "147.050", lv = "146.950", cv = "147.000";
    QString m05 = "147.010", m20 = "147.020", m1h = "147.030", m4h = "147.040", m1d = "147.060";
    QString atr = "0.0351", rsi = "55.2";
    QString b0l = "146.900", b0u = "147.100", b1l = "146.800", b1u = "147.200", b4l = "146.700", b4u = "147.300";
    QString lymd, lhm;

    QString line() const {
        return QStringList{date, time, hv, lv, cv, m05, m20, m1h, m4h, m1d, atr, rsi,
                           b0l, b0u, b1l, b1u, b4l, b4u, lymd.isEmpty() ? date : lymd, lhm.isEmpty() ? time : lhm}
            .join(QLatin1Char(','));
    }
};

struct MarketFixture : WindowFixture {
    MarketFixture() {
        openDatabases();
        dialogs.log.clear();  // the catalog load of a new file database
        QDir(wd()).mkpath(QStringLiteral("data"));
        textfile::writeLines(file("config.txt"), {file("data") + QLatin1Char('/')});
        setReadDays(40);
    }

    void setReadDays(int days) {
        for (int i = 0; i < 3; ++i) w->page(i).rd1E->setText(QString::number(days));
    }
    // Writes a quote file of the data folder, CR LF after every line.
    void writeQuotes(const QString& name, const QStringList& lines) {
        writeBytes(QStringLiteral("data/") + name, (lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toUtf8());
    }
    // Imports the timeframe's quote file; `imported` keeps what the builder needs of it.
    void import(int code) {
        imported = {};
        imported = w->importQuotes(*timeframeOf(code));
    }
    void build(int code) { w->buildTrainingTable(*timeframeOf(code), imported); }
    market::QuoteImport imported;
    // The rows of a query, each row's fields as text joined by "|".
    QStringList rows(const QString& sql) {
        return queryRows(&w->data.memory, sql);
    }
    // What the program writes for these lines: a byte-order mark and CR LF after each line.
    static QByteArray fileBytes(const QStringList& lines) {
        QByteArray b("\xEF\xBB\xBF");
        for (const QString& l : lines) b += l.toUtf8() + "\r\n";
        return b;
    }
    QString label(int index) const { return w->page(index).cntL->text(); }
};

}  // namespace markettest

using markettest::Bar;
using markettest::MarketFixture;
using markettest::str;
