#include "backtest/QuoteFile.h"

#include <QCryptographicHash>
#include <algorithm>
#include <limits>

#include "app/TextFile.h"
#include "app/VelkorError.h"
#include "market/MarketCommon.h"
#include "market/QuoteLine.h"

namespace backtest {

namespace {
// A price field as the import stores it: its first "." removed, a text sorting before "0"
// taken as 0, and no number read as 0.
int price(QString s) {
    market::priceToThousandths(s);
    bool ok = false;
    const int v = s.trimmed().toInt(&ok);
    return ok ? v : 0;
}
}  // namespace

std::optional<QDateTime> serverDateTime(const QString& date, const QString& time) {
    return market::readDateTime(date, time);
}

QuoteFile::QuoteFile(const QString& path) : path_(path), text_(textfile::readLines(path)) {
    static const QString top = QStringLiteral("999999");
    int lastBar = -1, bars = 0;
    for (const QString& text : std::as_const(text_)) {
        QuoteLine line;
        // The import's bar-line test: a line that is not empty and whose first field does not
        // sort after "999999" (the read-days cutoff left out).
        const QStringList fields = textfile::splitCommas(text);
        line.bar = !text.isEmpty() && fields[0] <= top;
        if (line.bar) line.key = fields[0];
        if (fields.size() >= 2) {
            line.server = serverDateTime(fields[0], fields[1]);
            line.serverText = fields[0].trimmed() + QLatin1Char(' ') + fields[1].trimmed();
        }
        if (line.bar && fields.size() > 4) line.close = price(fields[4]);
        if (fields.size() >= 20) line.local = fields[18].trimmed() + QLatin1Char(' ') + fields[19].trimmed();
        previousBar_.push_back(lastBar);
        if (line.bar) {
            line.barNumber = bars++;
            barByLocal_.insert(line.local, int(lines_.size()));
            lastBar = int(lines_.size());
        }
        lines_.push_back(std::move(line));
    }
    suffixMin_.assign(lines_.size(), std::numeric_limits<qint64>::max());
    qint64 least = std::numeric_limits<qint64>::max();
    for (size_t i = lines_.size(); i-- > 0;) {
        if (lines_[i].server) least = std::min(least, lines_[i].server->toMSecsSinceEpoch());
        suffixMin_[i] = least;
    }
}

qsizetype QuoteFile::cutAfter(const QDateTime& t) const {
    // The first index from which no line is early enough: the lines before it are kept.
    const auto it = std::upper_bound(suffixMin_.begin(), suffixMin_.end(), t.toMSecsSinceEpoch());
    return qsizetype(it - suffixMin_.begin());
}

std::vector<int> QuoteFile::baseBars(const QDate& from, const QDate& to, int every, History history,
                                     std::vector<int>* leftOut) const {
    std::vector<int> inRange;
    for (size_t i = 0; i < lines_.size(); ++i) {
        const QuoteLine& l = lines_[i];
        if (!l.bar) continue;
        if (!l.server)
            throw VelkorError(QStringLiteral("%1, line %2: the server date and time cannot be read").arg(path_).arg(i + 1));
        const QDate d = l.server->date();
        if (d >= from && d <= to) inRange.push_back(int(i));
    }
    std::vector<int> rows;
    if (history.bars > 0) rows = importedRows(inRange, history.readDays);
    std::vector<int> out;
    int kept = 0;
    for (size_t k = 0; k < inRange.size(); ++k) {
        // The bar itself is the last of its step's rows.
        if (history.bars > 0 && rows[k] - 1 < history.bars) {
            if (leftOut) leftOut->push_back(inRange[k]);
            continue;
        }
        if (kept++ % every == 0) out.push_back(inRange[k]);
    }
    return out;
}

std::vector<int> QuoteFile::importedRows(const std::vector<int>& bars, int readDays) const {
    // Counted in one pass over the file for all bars at once: the lines are added in file
    // order to a Fenwick tree over the sorted keys, and a bar is answered once the lines of
    // its cut are in (the number of keys not below its cutoff date).
    std::vector<QString> keys;
    for (const QuoteLine& l : lines_)
        if (l.bar) keys.push_back(l.key);
    std::sort(keys.begin(), keys.end());
    keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
    std::vector<int> tree(keys.size() + 1, 0);
    auto rank = [&](const QString& key) { return size_t(std::lower_bound(keys.begin(), keys.end(), key) - keys.begin()); };
    auto below = [&](size_t r) {  // the keys added that rank below r
        int n = 0;
        for (; r > 0; r &= r - 1) n += tree[r];
        return n;
    };
    struct Ask { qsizetype cut; QString cutoff; size_t bar; };
    std::vector<Ask> asks;
    for (size_t k = 0; k < bars.size(); ++k) {
        const QuoteLine& b = lines_[size_t(bars[k])];
        asks.push_back({cutAfter(*b.server), b.server->date().addDays(-readDays).toString(QStringLiteral("yyyy/MM/dd")), k});
    }
    std::sort(asks.begin(), asks.end(), [](const Ask& a, const Ask& b) { return a.cut < b.cut; });
    std::vector<int> rows(bars.size(), 0);
    qsizetype added = 0;
    int count = 0;
    for (const Ask& a : asks) {
        for (; added < a.cut; ++added) {
            const QuoteLine& l = lines_[size_t(added)];
            if (!l.bar) continue;
            for (size_t r = rank(l.key) + 1; r < tree.size(); r += r & (~r + 1)) ++tree[r];
            ++count;
        }
        rows[a.bar] = count - below(rank(a.cutoff));
    }
    return rows;
}

QString QuoteFile::rangeDigest(const QDate& from, const QDate& to) const {
    QCryptographicHash hash(QCryptographicHash::Sha256);
    for (size_t i = 0; i < lines_.size(); ++i) {
        const std::optional<QDateTime>& t = lines_[i].server;
        if (!t || t->date() < from || t->date() > to) continue;
        hash.addData(text_[qsizetype(i)].toUtf8());
        hash.addData(QByteArrayView("\n"));
    }
    return QString::fromLatin1(hash.result().toHex());
}

std::optional<int> QuoteFile::previousClose(int i) const {
    const int p = previousBar_[size_t(i)];
    if (p < 0) return std::nullopt;
    return lines_[size_t(p)].close;
}

}  // namespace backtest

namespace backtest {
std::optional<int> QuoteFile::barAtLocal(const QString& local) const {
    const auto it = barByLocal_.constFind(local);
    if (it == barByLocal_.constEnd()) return std::nullopt;
    return *it;
}
}  // namespace backtest
