#pragma once
#include <QHash>
#include <QString>
#include <QStringList>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

// One value of a result row.
struct DbValue {
    enum Type { Null, Int, Real, Text };
    Type type = Null;
    qint64 i = 0;
    double d = 0;
    QString s;

    static DbValue null() { return {}; }
    static DbValue integer(qint64 v) { DbValue x; x.type = Int; x.i = v; return x; }
    static DbValue real(double v) { DbValue x; x.type = Real; x.d = v; return x; }
    static DbValue text(QString v) { DbValue x; x.type = Text; x.s = std::move(v); return x; }

    bool isNull() const { return type == Null; }
    // NULL is the empty text; a real is written in its shortest round-trip form.
    QString asString() const;
    // NULL is 0; a value outside the 32-bit range or a text that is no integer throws.
    int asInteger() const;
    qint64 asInt64() const;
    // NULL is 0; a text that is no number throws.
    double asFloat() const;
};

// The value of column `i` of the row a statement stands on.
DbValue columnValue(sqlite3_stmt* st, int i);

// Owner of one SQLite connection, file or memory.
class Connection {
public:
    explicit Connection(QString name) : name_(std::move(name)) {}
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    void setDatabase(const QString& path) { path_ = path; }
    const QString& database() const { return path_; }
    // Opens the file named by setDatabase, or a fresh memory database when that is empty
    // or ":memory:". Throws VelkorError when SQLite cannot open it.
    void open();
    void close();
    bool isOpen() const { return db_ != nullptr; }
    sqlite3* handle() const { return db_; }
    const QString& name() const { return name_; }

    // Cached prepared statement for a fixed SQL text (reset before it is handed out).
    sqlite3_stmt* cached(const QString& sql);

    // Milliseconds a statement waits for a lock held by another process.
    static constexpr int busyTimeoutMs = 10000;

private:
    QString name_;
    QString path_;
    sqlite3* db_ = nullptr;
    QHash<QString, sqlite3_stmt*> cache_;
};

// Runs exactly one statement on the connection. A text holding more than one statement is
// refused. Returns false on any error, after rolling back what the statement did.
bool execOne(Connection& c, const QString& sql, QString* error = nullptr);

// Why the last statement on `c` failed: the system's reason when a file operation of SQLite
// failed (a full disk, a write error), else SQLite's message.
QString failureReason(Connection& c);

// Plain statement execution for the program's own fixed texts; throws on error.
void execOrThrow(Connection& c, const QString& sql);

// The first value of a query's first row as an integer, 0 when it gives no row (a count, a
// largest number); a statement that fails throws.
qint64 queryInt(Connection& c, const QString& sql);

class Query;

// Read access to one field of the current row.
class Field {
public:
    Field(const Query* q, int col) : q_(q), col_(col) {}
    DbValue value() const;
    QString AsString() const { return value().asString(); }
    int AsInteger() const { return value().asInteger(); }
    double AsFloat() const { return value().asFloat(); }
    bool IsNull() const { return value().isNull(); }

private:
    const Query* q_;
    int col_;
};

// Told when a query's result is replaced and when its cursor moves.
class QueryObserver {
public:
    virtual ~QueryObserver() = default;
    virtual void queryReset() = 0;
    virtual void cursorMoved(int row) = 0;
    virtual void widthsSet() {}
};

// One SQL text bound to a connection; its result is held in memory with a cursor.
class Query {
public:
    Query(QString name, Connection* c, QString placeholder)
        : name_(std::move(name)), conn_(c), sql_(std::move(placeholder)) {}

    const QString& name() const { return name_; }
    Connection* connection() const { return conn_; }
    void setConnection(Connection* c) { conn_ = c; }
    const QString& sql() const { return sql_; }
    void setSql(const QString& s) { sql_ = s; }

    void Open();
    void Close();
    bool Active() const { return active_; }
    // Fills the query with rows given by the program (no statement is run).
    void OpenRows(QStringList fields, std::vector<std::vector<DbValue>> rows, QString key = {});
    const QString& rowsKey() const { return rowsKey_; }

    void First();
    void Last();
    void Next();
    void Prior();
    void MoveBy(int n);
    bool Eof() const { return eof_; }
    bool Bof() const { return bof_; }
    int RecordCount() const { return nrows_; }
    bool IsEmpty() const { return nrows_ == 0; }
    int RecNo() const { return cur_; }  // 0-based; -1 when empty
    void SetRecNo(int row);
    bool Locate(const QString& field, const QString& value);
    bool LocateInt(const QString& field, qint64 value);

    Field FieldByName(const QString& name) const;
    int FieldIndex(const QString& name) const;  // -1 when absent
    int FieldCount() const { return int(fields_.size()); }
    const QStringList& FieldNames() const { return fields_; }
    DbValue ValueAt(int row, int col) const;  // NULL outside the result
    std::vector<DbValue> Row(int row) const;
    // Integer value of a cell without building a DbValue (NULL and non-integers: `fallback`).
    qint64 IntAt(int row, int col, qint64 fallback = 0) const;

    int DisplayWidth(int col) const;
    void SetDisplayWidth(int col, int chars);

    void setObserver(QueryObserver* o) { observer_ = o; }

private:
    void moved();
    void reset();
    void opened(QString key);

    QString name_;
    Connection* conn_;
    QString sql_;
    bool active_ = false;
    QStringList fields_;
    QHash<QString, int> fieldIndex_;
    // The result, row by row, one 16-byte cell per value; a text cell holds the index of its
    // text in texts_.
    struct Cell {
        union { qint64 i; double d; qint64 text; };
        DbValue::Type type;
    };
    void append(DbValue v);
    const Cell* cell(int row, int col) const;  // nullptr outside the result
    std::vector<Cell> cells_;
    std::vector<QString> texts_;
    int nrows_ = 0;
    std::vector<int> widths_;
    QHash<int, QHash<qint64, int>> intIndex_;
    QString rowsKey_;
    int cur_ = -1;
    bool eof_ = true, bof_ = true;
    QueryObserver* observer_ = nullptr;
};
