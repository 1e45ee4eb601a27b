#include "SourceFile.h"

#include <QStringConverter>

#include <algorithm>
#include <climits>

namespace velkor::quotes {

namespace {

bool isDigit(QChar c) { return c >= u'0' && c <= u'9'; }

// The value of `n` digits of `t` starting at `from`, or -1 when one of them is no digit.
int digitsAt(QStringView t, qsizetype from, qsizetype n) {
    int v = 0;
    for (qsizetype i = from; i < from + n; ++i) {
        if (!isDigit(t[i])) return -1;
        v = v * 10 + (t[i].unicode() - u'0');
    }
    return v;
}

bool allDigits(QStringView t) { return std::all_of(t.begin(), t.end(), isDigit); }

// A field as shown in a message: at most 40 characters of it, control characters (a NUL
// among them, which would end the message) as \xNN.
QString shown(QStringView t) {
    QString out;
    for (const QChar c : t.first(std::min<qsizetype>(t.size(), 40))) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            out += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return t.size() > 40 ? out + QStringLiteral("...") : out;
}

bool isBlank(QChar c) { return c == u' ' || c == u'\t'; }

// Calls `take(line)` for every line of `text`, its line end left out: CR LF, LF and CR each
// end a line. Returns the number of lines (a last line without a line end counts). Lines are
// found by their LF first, the common case, and then split at the CRs inside them.
template <typename Take>
qsizetype forEachLine(QStringView text, Take take) {
    qsizetype count = 0;
    for (qsizetype from = 0; from < text.size();) {
        qsizetype end = text.indexOf(u'\n', from);
        if (end < 0) end = text.size();
        QStringView rest = text.sliced(from, end - from);
        if (rest.endsWith(u'\r')) rest.chop(1);
        for (qsizetype cr; (cr = rest.indexOf(u'\r')) >= 0; rest = rest.sliced(cr + 1), ++count) take(rest.first(cr));
        take(rest);
        ++count;
        from = end + 1;
    }
    return count;
}

struct Stamp {
    QStringView date, time;
    bool found = false;
};

// Date and time texts of a line split into fields, in the line's form.
Stamp stampOf(const QList<QStringView>& fields, const LineForm& form) {
    if (!form.dateTimeInOneField)
        return fields.size() < 2 ? Stamp{} : Stamp{fields[0].trimmed(), fields[1].trimmed(), true};
    const QStringView both = fields[0].trimmed();
    const qsizetype blank = both.indexOf(u' ');
    if (blank < 0) return {};
    return {both.first(blank), both.sliced(blank + 1).trimmed(), true};
}

}  // namespace

std::optional<QDate> readDate(QStringView t) {
    int y = -1, m = -1, d = -1;
    if (t.size() == 10) {
        const QChar sep = t[4];
        if ((sep != u'.' && sep != u'-' && sep != u'/') || t[7] != sep) return std::nullopt;
        y = digitsAt(t, 0, 4), m = digitsAt(t, 5, 2), d = digitsAt(t, 8, 2);
    } else if (t.size() == 8) {
        y = digitsAt(t, 0, 4), m = digitsAt(t, 4, 2), d = digitsAt(t, 6, 2);
    }
    if (y < 1000 || m < 0 || d < 0) return std::nullopt;
    const QDate date(y, m, d);
    if (!date.isValid()) return std::nullopt;
    return date;
}

std::optional<int> readTime(QStringView t) {
    int h = -1, m = -1, s = 0;
    if ((t.size() == 5 || t.size() == 8) && t[2] == u':') {
        h = digitsAt(t, 0, 2), m = digitsAt(t, 3, 2);
        if (t.size() == 8) s = t[5] == u':' ? digitsAt(t, 6, 2) : -1;
    } else if (t.size() == 6) {
        h = digitsAt(t, 0, 2), m = digitsAt(t, 2, 2), s = digitsAt(t, 4, 2);
    }
    if (h < 0 || h > 23 || m < 0 || m > 59 || s != 0) return std::nullopt;
    return h * 60 + m;
}

std::optional<int> readPrice(QStringView t) {
    t = t.trimmed();
    const qsizetype dot = t.indexOf(u'.');
    const QStringView whole = dot < 0 ? t : t.first(dot);
    const QStringView frac = dot < 0 ? QStringView() : t.sliced(dot + 1);
    if ((whole.isEmpty() && frac.isEmpty()) || whole.size() > 7 || !allDigits(whole) || !allDigits(frac))
        return std::nullopt;
    qint64 v = whole.isEmpty() ? 0 : digitsAt(whole, 0, whole.size());
    for (qsizetype i = 0; i < 3; ++i) v = v * 10 + (i < frac.size() ? frac[i].unicode() - u'0' : 0);
    if (frac.size() > 3 && frac[3] >= u'5') ++v;  // half up
    if (v <= 0 || v > INT_MAX) return std::nullopt;
    return int(v);
}

LineForm guessForm(QStringView line) {
    LineForm form;
    form.separator = line.contains(u'\t') ? u'\t' : line.contains(u';') ? u';' : u',';
    const qsizetype end = line.indexOf(form.separator);
    form.dateTimeInOneField = (end < 0 ? line : line.first(end)).trimmed().contains(u' ');
    return form;
}

LineResult readLine(QStringView line, const LineForm& form) {
    auto unreadable = [](const QString& why) { return LineResult{{}, false, why}; };
    const QList<QStringView> f = line.split(form.separator);
    const qsizetype firstPrice = form.dateTimeInOneField ? 1 : 2;
    if (f.size() < firstPrice + 4)
        return unreadable(QStringLiteral("%1 fields where at least %2 are needed").arg(f.size()).arg(firstPrice + 4));
    const Stamp stamp = stampOf(f, form);
    if (!stamp.found) return unreadable(QStringLiteral("\"%1\" is not a date and a time").arg(shown(f[0])));
    const std::optional<QDate> date = readDate(stamp.date);
    if (!date)
        return unreadable(QStringLiteral("\"%1\" is not a date (yyyy.mm.dd, yyyy-mm-dd, yyyy/mm/dd or yyyymmdd)")
                              .arg(shown(stamp.date)));
    const std::optional<int> time = readTime(stamp.time);
    if (!time)
        return unreadable(QStringLiteral("\"%1\" is not a time on a whole minute (hh:mm, hh:mm:ss or hhmmss)")
                              .arg(shown(stamp.time)));
    static const char* const kNames[4] = {"open", "high", "low", "close"};
    int price[4];
    for (int k = 0; k < 4; ++k) {
        const std::optional<int> p = readPrice(f[firstPrice + k]);
        if (!p)
            return unreadable(
                QStringLiteral("%1 \"%2\" is not a price").arg(QLatin1String(kNames[k]), shown(f[firstPrice + k])));
        price[k] = *p;
    }
    Bar bar{wallMinute(*date, *time), 0, price[0], price[1], price[2], price[3]};
    const int high = std::max({bar.open, bar.high, bar.low, bar.close});
    const int low = std::min({bar.open, bar.high, bar.low, bar.close});
    const bool repaired = high != bar.high || low != bar.low;
    bar.high = high;
    bar.low = low;
    return {bar, repaired, {}};
}

QString formName(QStringView line, const LineForm& form) {
    const Stamp s = stampOf(line.split(form.separator), form);
    const bool dotted = s.date.size() == 10 && s.date[4] == u'.';
    const bool two = !form.dateTimeInOneField;
    if (form.separator == u',' && two && dotted && s.time.size() == 5) return QStringLiteral("MetaTrader 4");
    if (form.separator == u'\t' && two && dotted && s.time.size() == 8) return QStringLiteral("MetaTrader 5");
    if (form.separator == u';' && !two && s.date.size() == 8 && s.time.size() == 6)
        return QStringLiteral("HistData ASCII");
    const QString sep = form.separator == u'\t'  ? QStringLiteral("tab")
                        : form.separator == u';' ? QStringLiteral("semicolon")
                                                 : QStringLiteral("comma");
    return QStringLiteral("generic (%1, date and time in %2)")
        .arg(sep, two ? QStringLiteral("two fields") : QStringLiteral("one field"));
}

SourceFile readSource(const QString& name, const QByteArray& bytes) {
    SourceFile out;
    out.name = name;
    QStringDecoder decode(QStringConverter::encodingForData(bytes).value_or(QStringConverter::Utf8));
    const QString text = decode(bytes);
    std::optional<LineForm> form;
    qsizetype lineNo = 0;
    out.lines = forEachLine(text, [&](QStringView line) {
        ++lineNo;
        if (std::all_of(line.begin(), line.end(), isBlank)) return;
        // Only the lines before the first bar may be a header; after it every line is a bar.
        if (out.bars.empty() && !isDigit(line.trimmed().front())) {
            ++out.headers;
            return;
        }
        const LineForm f = form.value_or(guessForm(line));
        const LineResult r = readLine(line, f);
        if (!r.bar) {
            out.problems.push_back({lineNo, r.problem});
            return;
        }
        if (!form) {
            form = f;
            out.form = formName(line, f);
        }
        out.repaired += r.repaired;
        out.bars.push_back(*r.bar);
    });
    return out;
}

}  // namespace velkor::quotes
