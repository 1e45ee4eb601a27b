#pragma once
#include <QString>

#include "db/Catalog.h"
#include "db/Slots.h"

// Statements generated from the catalog, and the literal rules of the value slots.
namespace sqlb {

// A number column's literal: the empty text becomes NULL, any other text stays as it is.
QString numberLiteral(const QString& value);
// A character column's literal: the empty text becomes NULL, any other is cut to `length`
// characters and put in single quotes, a quote inside doubled.
QString textLiteral(const QString& value, int length);
// The value as a statement takes it: NULL for the empty text, otherwise the text itself.
inline QString orNull(const QString& v) { return v.isEmpty() ? QStringLiteral("NULL") : v; }

// `text` as an SQL string literal: in single quotes, a quote inside doubled.
QString quoted(const QString& text);
// A key read back from a database as a statement takes it: a plain integer as itself, the
// empty text as NULL, anything else as a quoted text, which can only match itself.
QString keyLiteral(const QString& v);

// A number SQLite reads as a numeric literal: 12, -5, .5, 1.25e3.
bool isNumericLiteral(const QString& s);

// The literal of `value` for column `c` (kind 7). `bad` is set when a non-character
// column is given a text that is not a number, or a character column a text that holds a
// NUL character within its length: such a statement must not run.
QString literal(const CatalogColumn& c, QString value, bool& bad);

// Kind 1: " select A, B from T" + tail.
QString select(const CatalogTable& t, const QString& tail);
// Kind 2: insert of one row from slots 11 on; slots 12 and up are left holding the
// literals, slot 1 the value list, slots 7 and 9 the last type and literal.
QString insert(const CatalogTable& t, Slots& values, bool& bad);
// Kind 3: update from slots 11 on, followed by tail.
QString update(const CatalogTable& t, Slots& values, const QString& tail, bool& bad);
// Kind 4: insert with numbered parameters (list built in slot 2).
QString insertParams(const CatalogTable& t, Slots& values);
// Kind 5: update with numbered parameters, followed by tail and the count parameter.
QString updateParams(const CatalogTable& t, const QString& tail);
// Kind 6: create statement; slots 3 to 5 hold the last column's name, type and length.
QString create(const CatalogTable& t, const QString& database, Slots& values);

}  // namespace sqlb
