#include "db/SqlBuilder.h"

#include <QRegularExpression>

namespace sqlb {

QString quoted(const QString& text) {
    QString inner = text;
    if (inner.contains(QLatin1Char('\''))) inner.replace(QLatin1Char('\''), QLatin1String("''"));
    return QLatin1Char('\'') + inner + QLatin1Char('\'');
}

QString keyLiteral(const QString& v) {
    if (v.isEmpty()) return QStringLiteral("NULL");
    static const QRegularExpression plain(QStringLiteral("^-?[0-9]{1,18}$"));
    return plain.match(v).hasMatch() ? v : quoted(v);
}

QString numberLiteral(const QString& value) { return orNull(value); }

QString textLiteral(const QString& value, int length) {
    if (value.isEmpty()) return orNull(value);
    return quoted(value.left(std::max(0, length)));
}

bool isNumericLiteral(const QString& s) {
    // [+-]? (digits [. digits?] | . digits) ([eE] [+-]? digits)?  (ASCII digits only)
    const qsizetype n = s.size();
    qsizetype i = 0;
    auto digits = [&] {
        const qsizetype from = i;
        while (i < n && s[i] >= u'0' && s[i] <= u'9') ++i;
        return i - from;
    };
    if (i < n && (s[i] == u'+' || s[i] == u'-')) ++i;
    const qsizetype whole = digits();
    qsizetype fraction = 0;
    if (i < n && s[i] == u'.') {
        ++i;
        fraction = digits();
    }
    if (whole == 0 && fraction == 0) return false;
    if (i < n && (s[i] == u'e' || s[i] == u'E')) {
        ++i;
        if (i < n && (s[i] == u'+' || s[i] == u'-')) ++i;
        if (digits() == 0) return false;
    }
    return i == n;
}

QString literal(const CatalogColumn& c, QString value, bool& bad) {
    if (c.isCharacter()) {
        value = textLiteral(value, c.lengthLimit());
        // SQLite ends a statement text at a NUL character, inside a quoted text too.
        if (value.contains(QChar(0))) bad = true;
    } else {
        value = numberLiteral(value);
        if (value != QLatin1String("NULL") && !isNumericLiteral(value)) bad = true;
    }
    return value;
}

QString select(const CatalogTable& t, const QString& tail) {
    QString s = QStringLiteral(" select ");
    for (size_t k = 0; k < t.columns.size(); ++k) {
        if (k) s += QStringLiteral(", ");
        s += t.columns[k].name;
    }
    return s + QStringLiteral(" from ") + t.name + tail;
}

QString insert(const CatalogTable& t, Slots& values, bool& bad) {
    bad = false;
    if (t.columns.empty()) return {};
    QString s = QStringLiteral(" insert into ") + t.name + QStringLiteral(" ( ") + t.columns[0].name;
    values[9] = values[11];
    values[7] = t.columns[0].type;
    values[9] = literal(t.columns[0], values[9], bad);
    values[1] = values[9];
    for (size_t k = 1; k < t.columns.size(); ++k) {
        const int i = 11 + int(k);
        values[9] = values[i];  // throws past the 70th column, before anything runs
        values[7] = t.columns[k].type;
        values[9] = literal(t.columns[k], values[9], bad);
        values[i] = values[9];
        s += QStringLiteral(", ") + t.columns[k].name;
        values[1] += QStringLiteral(", ") + values[i];
    }
    return s + QStringLiteral(" ) values ( ") + values[1] + QStringLiteral(" ) ");
}

QString update(const CatalogTable& t, Slots& values, const QString& tail, bool& bad) {
    bad = false;
    QString s = QStringLiteral(" update ") + t.name + QStringLiteral(" set ");
    for (size_t k = 0; k < t.columns.size(); ++k) {
        const int i = 11 + int(k);
        values[9] = values[i];
        values[7] = t.columns[k].type;
        values[9] = literal(t.columns[k], values[9], bad);
        if (k) values[i] = values[9];
        if (k) s += QStringLiteral(", ");
        s += t.columns[k].name + QStringLiteral(" = ") + values[9];
    }
    return s + tail;
}

QString insertParams(const CatalogTable& t, Slots& values) {
    QString s = QStringLiteral(" insert into ") + t.name + QStringLiteral(" ( ");
    values[2] = QStringLiteral(" :p0 ");
    for (size_t k = 0; k < t.columns.size(); ++k) {
        if (k) {
            s += QStringLiteral(", ");
            values[2] += QStringLiteral(", ") + QStringLiteral(" :p") + QString::number(k);
        }
        s += t.columns[k].name;
    }
    return s + QStringLiteral(" ) values ( ") + values[2] + QStringLiteral(" ) ");
}

QString updateParams(const CatalogTable& t, const QString& tail) {
    QString s = QStringLiteral(" update ") + t.name + QStringLiteral(" set ");
    for (size_t k = 0; k < t.columns.size(); ++k) {
        if (k) s += QStringLiteral(", ") + t.columns[k].name + QStringLiteral(" = :p") + QString::number(k);
        else s += t.columns[k].name + QStringLiteral(" = :p0 ");
    }
    return s + tail + QStringLiteral(" :p") + QString::number(t.columns.size());
}

QString create(const CatalogTable& t, const QString& database, Slots& values) {
    const bool known = database == QLatin1String("csq") || database == QLatin1String("csm");
    QString s = known ? QStringLiteral(" create table if not exists ") + t.name + QStringLiteral("(")
                      : QStringLiteral(" create table ") + t.name + QStringLiteral("( ");
    for (size_t k = 0; k < t.columns.size(); ++k) {
        const CatalogColumn& c = t.columns[k];
        if (k) s += QStringLiteral(", ");
        values[3] = c.name + QLatin1Char(' ');
        values[4] = c.type;
        if (c.isCharacter() && known) values[4] = QStringLiteral("nchar ");
        values[5] = c.length;
        s += QLatin1Char(' ') + values[3] + values[4];
        if (!values[5].isEmpty()) s += QLatin1Char('(') + values[5] + QStringLiteral(") ");
    }
    return s + QStringLiteral(") ");
}

}  // namespace sqlb
