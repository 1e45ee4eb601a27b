#include "db/Database.h"

#include <sqlite3.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>

#include "app/Format.h"
#include "app/Texts.h"
#include "app/VelkorError.h"

// ---- DbValue ---------------------------------------------------------------------------

QString DbValue::asString() const {
    switch (type) {
    case Null: return {};
    case Int: return QString::number(i);
    case Real: return fmt::shortest(d);
    case Text: return s;
    }
    return {};
}

qint64 DbValue::asInt64() const {
    switch (type) {
    case Null: return 0;
    case Int: return i;
    case Real:
        if (!std::isfinite(d) || std::fabs(d) > 9.2e18) throw VelkorError(texts::integerOverflow(fmt::shortest(d)));
        return std::llround(d);
    case Text: {
        bool ok = false;
        const qint64 v = s.trimmed().toLongLong(&ok);
        if (!ok) throw VelkorError(texts::notInteger(s));
        return v;
    }
    }
    return 0;
}

int DbValue::asInteger() const {
    const qint64 v = asInt64();
    if (v < std::numeric_limits<int>::min() || v > std::numeric_limits<int>::max())
        throw VelkorError(texts::integerOverflow(QString::number(v)));
    return int(v);
}

double DbValue::asFloat() const {
    switch (type) {
    case Null: return 0;
    case Int: return double(i);
    case Real: return d;
    case Text: {
        bool ok = false;
        const double v = s.trimmed().toDouble(&ok);
        if (!ok) throw VelkorError(texts::notNumber(s));
        return v;
    }
    }
    return 0;
}

DbValue columnValue(sqlite3_stmt* st, int i) {
    switch (sqlite3_column_type(st, i)) {
    case SQLITE_INTEGER: return DbValue::integer(sqlite3_column_int64(st, i));
    case SQLITE_FLOAT: return DbValue::real(sqlite3_column_double(st, i));
    case SQLITE_NULL: return DbValue::null();
    default:
        return DbValue::text(QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, i)),
                                               sqlite3_column_bytes(st, i)));
    }
}

// ---- Connection ------------------------------------------------------------------------

Connection::~Connection() { close(); }

void Connection::open() {
    close();
    const bool memory = path_.isEmpty() || path_ == QLatin1String(":memory:");
    const QByteArray name = memory ? QByteArray(":memory:") : path_.toUtf8();
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(name.constData(), &db,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        const QString why = db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString::fromUtf8(sqlite3_errstr(rc));
        sqlite3_close(db);
        throw VelkorError(texts::fileOpenError(memory ? QStringLiteral(":memory:") : path_, why));
    }
    sqlite3_busy_timeout(db, busyTimeoutMs);
    db_ = db;
}

void Connection::close() {
    for (sqlite3_stmt* st : std::as_const(cache_)) sqlite3_finalize(st);
    cache_.clear();
    if (db_) {
        sqlite3_close_v2(db_);
        db_ = nullptr;
    }
}

sqlite3_stmt* Connection::cached(const QString& sql) {
    if (!db_) throw VelkorError(texts::sqlError(QStringLiteral("database is not open"), sql));
    auto it = cache_.find(sql);
    if (it != cache_.end()) {
        sqlite3_reset(*it);
        sqlite3_clear_bindings(*it);
        return *it;
    }
    sqlite3_stmt* st = nullptr;
    const QByteArray utf8 = sql.toUtf8();
    if (sqlite3_prepare_v2(db_, utf8.constData(), int(utf8.size()), &st, nullptr) != SQLITE_OK)
        throw VelkorError(texts::sqlError(QString::fromUtf8(sqlite3_errmsg(db_)), sql));
    cache_.insert(sql, st);
    return st;
}

// ---- statements ----------------------------------------------------------------------

namespace {
struct StmtDeleter {
    void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
using Stmt = std::unique_ptr<sqlite3_stmt, StmtDeleter>;

bool onlyBlanks(const char* p) {
    for (; *p; ++p) {
        if (*p == ';' || *p == ' ' || *p == '\t' || *p == '\r' || *p == '\n') continue;
        return false;
    }
    return true;
}

Stmt prepareOne(Connection& c, const QString& sql, QString* error) {
    if (!c.isOpen()) {
        if (error) *error = QStringLiteral("database is not open");
        return nullptr;
    }
    const QByteArray utf8 = sql.toUtf8();
    sqlite3_stmt* raw = nullptr;
    const char* tail = nullptr;
    if (sqlite3_prepare_v2(c.handle(), utf8.constData(), int(utf8.size()) + 1, &raw, &tail) != SQLITE_OK) {
        if (error) *error = QString::fromUtf8(sqlite3_errmsg(c.handle()));
        return nullptr;
    }
    Stmt st(raw);
    if (!st) {
        if (error) *error = QStringLiteral("empty statement");
        return nullptr;
    }
    if (tail && !onlyBlanks(tail)) {
        if (error) *error = QStringLiteral("more than one statement");
        return nullptr;
    }
    return st;
}
}  // namespace

bool execOne(Connection& c, const QString& sql, QString* error) {
    Stmt st = prepareOne(c, sql, error);
    if (!st) return false;
    int rc;
    while ((rc = sqlite3_step(st.get())) == SQLITE_ROW) {}
    if (rc != SQLITE_DONE) {
        if (error) *error = QString::fromUtf8(sqlite3_errmsg(c.handle()));
        return false;  // SQLite undoes what a failing statement did
    }
    return true;
}

QString failureReason(Connection& c) {
    if (!c.isOpen()) return QStringLiteral("database is not open");
    // SQLite keeps the system's error number of a failed read, write or open only; a full
    // disk it tells by its own code.
    const int code = sqlite3_extended_errcode(c.handle());
    int err = 0;
    if ((code & 0xff) == SQLITE_FULL) err = ENOSPC;
    else if ((code & 0xff) == SQLITE_IOERR || (code & 0xff) == SQLITE_CANTOPEN) err = sqlite3_system_errno(c.handle());
    if (err != 0) return QString::fromLocal8Bit(std::strerror(err));
    return QString::fromUtf8(sqlite3_errmsg(c.handle()));
}

void execOrThrow(Connection& c, const QString& sql) {
    QString why;
    if (!execOne(c, sql, &why)) throw VelkorError(texts::sqlError(why, sql));
}

// ---- Field / Query -----------------------------------------------------------------------

DbValue Field::value() const {
    if (q_->IsEmpty() || q_->RecNo() < 0) return {};
    return q_->ValueAt(q_->RecNo(), col_);
}

void Query::reset() {
    intIndex_.clear();
    if (observer_) observer_->queryReset();
}

void Query::Open() {
    Close();
    if (!conn_ || !conn_->isOpen()) throw VelkorError(texts::sqlError(QStringLiteral("database is not open"), sql_));
    QString why;
    Stmt st = prepareOne(*conn_, sql_, &why);
    if (!st) throw VelkorError(texts::sqlError(why, sql_));
    const int n = sqlite3_column_count(st.get());
    for (int i = 0; i < n; ++i) fields_.append(QString::fromUtf8(sqlite3_column_name(st.get(), i)));
    int rc;
    while ((rc = sqlite3_step(st.get())) == SQLITE_ROW) {
        for (int i = 0; i < n; ++i) append(columnValue(st.get(), i));
        ++nrows_;
    }
    if (rc != SQLITE_DONE) {
        const QString err = QString::fromUtf8(sqlite3_errmsg(conn_->handle()));
        Close();
        throw VelkorError(texts::sqlError(err, sql_));
    }
    opened(QString());
}

void Query::append(DbValue v) {
    Cell c;
    c.i = 0;
    c.type = v.type;
    if (v.type == DbValue::Int) c.i = v.i;
    else if (v.type == DbValue::Real) c.d = v.d;
    else if (v.type == DbValue::Text) {
        c.text = qint64(texts_.size());
        texts_.push_back(std::move(v.s));
    }
    cells_.push_back(c);
}

void Query::OpenRows(QStringList fields, std::vector<std::vector<DbValue>> rows, QString key) {
    fields_ = std::move(fields);
    cells_ = {};
    texts_ = {};
    cells_.reserve(rows.size() * size_t(fields_.size()));
    for (const auto& row : rows)
        for (qsizetype c = 0; c < fields_.size(); ++c) append(size_t(c) < row.size() ? row[size_t(c)] : DbValue());
    nrows_ = int(rows.size());
    opened(std::move(key));
}

void Query::opened(QString key) {
    fieldIndex_.clear();
    for (int i = 0; i < fields_.size(); ++i) fieldIndex_.insert(fields_[i].toUpper(), i);
    widths_.assign(size_t(fields_.size()), 0);
    rowsKey_ = std::move(key);
    active_ = true;
    cur_ = nrows_ == 0 ? -1 : 0;
    bof_ = true;
    eof_ = nrows_ == 0;
    reset();
}

void Query::Close() {
    if (!active_ && nrows_ == 0) return;
    active_ = false;
    cells_ = {};  // the memory goes with the result
    texts_ = {};
    nrows_ = 0;
    fields_.clear();
    fieldIndex_.clear();
    widths_.clear();
    rowsKey_.clear();
    cur_ = -1;
    eof_ = bof_ = true;
    reset();
}

void Query::moved() {
    if (observer_) observer_->cursorMoved(cur_);
}

void Query::First() {
    cur_ = (nrows_ == 0) ? -1 : 0;
    bof_ = true;
    eof_ = (nrows_ == 0);
    moved();
}

void Query::Last() {
    cur_ = nrows_ - 1;
    eof_ = true;
    bof_ = (nrows_ == 0);
    moved();
}

void Query::Next() { MoveBy(1); }
void Query::Prior() { MoveBy(-1); }

void Query::MoveBy(int n) {
    if (nrows_ == 0) { eof_ = bof_ = true; return; }
    bof_ = eof_ = false;
    qint64 t = qint64(cur_) + n;
    if (t >= qint64(nrows_)) { t = qint64(nrows_) - 1; eof_ = true; }
    if (t < 0) { t = 0; bof_ = true; }
    cur_ = int(t);
    moved();
}

void Query::SetRecNo(int row) {
    if ((nrows_ == 0) || row < 0 || row >= nrows_ || row == cur_) return;
    cur_ = row;
    bof_ = eof_ = false;
    moved();
}

int Query::FieldIndex(const QString& name) const { return fieldIndex_.value(name.toUpper(), -1); }

Field Query::FieldByName(const QString& name) const {
    const int i = FieldIndex(name);
    if (i < 0) throw VelkorError(QStringLiteral("%1: フィールド '%2' が見つかりません").arg(name_, name));
    return Field(this, i);
}

const Query::Cell* Query::cell(int row, int col) const {
    if (row < 0 || row >= nrows_ || col < 0 || col >= fields_.size()) return nullptr;
    return &cells_[size_t(row) * size_t(fields_.size()) + size_t(col)];
}

DbValue Query::ValueAt(int row, int col) const {
    const Cell* c = cell(row, col);
    if (!c) return {};
    switch (c->type) {
    case DbValue::Int: return DbValue::integer(c->i);
    case DbValue::Real: return DbValue::real(c->d);
    case DbValue::Text: return DbValue::text(texts_[size_t(c->text)]);
    default: return {};
    }
}

qint64 Query::IntAt(int row, int col, qint64 fallback) const {
    const Cell* c = cell(row, col);
    return c && c->type == DbValue::Int ? c->i : fallback;
}

std::vector<DbValue> Query::Row(int row) const {
    std::vector<DbValue> out;
    out.reserve(size_t(fields_.size()));
    for (int c = 0; c < fields_.size(); ++c) out.push_back(ValueAt(row, c));
    return out;
}

bool Query::Locate(const QString& field, const QString& value) {
    const int col = FieldIndex(field);
    if (col < 0) throw VelkorError(QStringLiteral("%1: フィールド '%2' が見つかりません").arg(name_, field));
    for (int r = 0; r < nrows_; ++r) {
        if (ValueAt(r, col).asString() == value) {
            cur_ = r;
            bof_ = eof_ = false;
            moved();
            return true;
        }
    }
    return false;
}

bool Query::LocateInt(const QString& field, qint64 value) {
    const int col = FieldIndex(field);
    if (col < 0) throw VelkorError(QStringLiteral("%1: フィールド '%2' が見つかりません").arg(name_, field));
    auto it = intIndex_.find(col);
    if (it == intIndex_.end()) {
        QHash<qint64, int> idx;
        idx.reserve(nrows_);
        for (int r = nrows_ - 1; r >= 0; --r) {
            const Cell* c = cell(r, col);
            if (c->type == DbValue::Int) idx.insert(c->i, r);  // first match wins
        }
        it = intIndex_.insert(col, std::move(idx));
    }
    auto hit = it->find(value);
    if (hit == it->end()) return false;
    cur_ = *hit;
    bof_ = eof_ = false;
    moved();
    return true;
}

int Query::DisplayWidth(int col) const {
    return col >= 0 && col < int(widths_.size()) ? widths_[size_t(col)] : 0;
}

void Query::SetDisplayWidth(int col, int chars) {
    if (col >= 0 && col < int(widths_.size())) widths_[size_t(col)] = chars;
    if (observer_) observer_->widthsSet();
}

qint64 queryInt(Connection& c, const QString& sql) {
    Query q(QStringLiteral("value"), &c, sql);
    q.Open();
    return q.IsEmpty() ? 0 : q.ValueAt(0, 0).asInt64();
}
