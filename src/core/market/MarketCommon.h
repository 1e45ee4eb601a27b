#pragma once
// Helpers shared by the quote import, the training table builder and the range functions.
#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <array>
#include <optional>
#include <vector>

#include "db/Catalog.h"
#include "db/Database.h"
#include "db/Slots.h"
#include "app/Progress.h"
#include "market/QuoteLine.h"
#include "market/TrainingRow.h"


namespace market {

// Reads "yyyy/mm/dd" and "hh:nn" (or "hh:nn:ss") as a date-time on the plain calendar
// (no time zone, no daylight saving). Single-digit month, day, hour and minute are
// accepted; anything else gives nothing.
std::optional<QDateTime> readDateTime(const QString& date, const QString& time);

// Where the rows of the quote table came from: the quote file and, per CNT, the 1-based
// line of that file (0 for the rows of the coming bars). The builder reads it to name the
// line of a bad date.
struct QuoteOrigin {
    QString path;
    QList<int> lineOfCnt;  // index CNT
    int lineOf(qint64 cnt) const {
        return cnt >= 0 && cnt < lineOfCnt.size() ? lineOfCnt[qsizetype(cnt)] : 0;
    }
};

// What one quote import leaves for the training table builder: where the rows came from, the
// extremes of the bars, the close-move scale (largest rise, largest fall, the scale the change
// inputs are measured against) and the number of bars stored (the rows of the coming bars aside).
struct QuoteImport {
    QuoteOrigin origin;
    ImportStats stats;
    std::array<int, 3> closeMoveScale{};
    int stored = 0;
};

// Inserts rows of one table from the value slots with one prepared statement, instead of
// having the SQL builder write and SQLite parse a statement text for every row. Each row
// ends as the builder's insert (statement kind 2) run by the executor would leave it:
// slots 12 and up hold the literals (slot 11 keeps the caller's text), a value that is no
// valid literal makes the row fail without reaching SQLite, and the stored values are the
// same: a quoted text is bound as its cut text, NULL as NULL, an integer literal as that
// integer and any other number as its text, which the column's numeric affinity turns into
// the real the parser makes of the literal. The statement text and slots 1, 7 and 9
// are not written. A table with a non-character column of text or blob affinity (which
// would keep a number text as text) or with columns the table lacks gets no statement:
// usable() is false and the caller goes through the builder and the executor; so does a
// table the catalog does not know (a null `t`).
class SlotInsert {
public:
    SlotInsert(Connection& c, const CatalogTable& t) : SlotInsert(c, &t) {}
    SlotInsert(Connection& c, const CatalogTable* t);
    ~SlotInsert();
    SlotInsert(const SlotInsert&) = delete;
    SlotInsert& operator=(const SlotInsert&) = delete;
    bool usable() const { return st_ != nullptr; }
    // True when the row was stored.
    bool insert(Slots& values);

private:
    struct Column {
        bool character;
        int length;  // cut of a character value
    };
    Connection& c_;
    std::vector<Column> columns_;
    sqlite3_stmt* st_ = nullptr;
};

// The affinity SQLite gives a column of this declared type: 'I'nteger, 'T'ext, 'B'lob,
// 'R'eal or 'N'umeric.
char columnAffinity(const QString& declaredType);

// Shows progress for the lifetime of the object; the dialog is closed on every exit.
class ProgressScope {
public:
    ProgressScope(Progress& p, const QString& label, qint64 total) : p_(p) { p_.start(label, total); }
    ~ProgressScope() { p_.end(); }
    ProgressScope(const ProgressScope&) = delete;
    ProgressScope& operator=(const ProgressScope&) = delete;
    // Reports every 256th row only.
    void step(qint64 done) {
        if ((done & 255) == 0) p_.update(done);
    }

private:
    Progress& p_;
};

// The columns whose window extremes the range function gathers, in the order of its query.
inline constexpr int kRangeColumns = 7;  // CV1, HV1, LV1, M051, M201, M1H1, ATR1

// The fourteen aggregates of a window: maximum and minimum per column, NULL for a column
// without a value in the window.
struct RangeAggregates {
    std::array<DbValue, kRangeColumns> max, min;
};

// The scale of a window from its aggregates: each integer pair then its span, the ATR pair
// last. NULL reads as 0; a value or span outside 32 bits throws.
WindowScale windowScale(const RangeAggregates& a);

// The window extremes of the training table kept in memory: rows are added in
// ascending CNT as they are inserted, and the window of row n holds the rows with CNT
// strictly between n - ik and n. Asking for windows of ascending n costs O(1) per row
// (monotonic queues); NULL values are left out as SQL MAX and MIN leave them out.
class RangeWindow {
public:
    void clear();
    // A row that is now in the table, with its values as stored. CNT must ascend.
    void add(qint64 cnt, const std::array<DbValue, kRangeColumns>& values);
    // The aggregates for row `icn` with window length `ik`. Between calls `icn` must not
    // decrease and `ik` must not change; `icn` must exceed every CNT added so far.
    RangeAggregates window(qint64 icn, qint64 ik);

private:
    struct Entry {
        qint64 cnt;
        DbValue v;
    };
    struct Queue {
        std::vector<Entry> e;  // a deque kept as a vector with a moving head
        size_t head = 0;
        void push(Entry x, bool wantMax);
        void dropUpTo(qint64 cnt);
        const DbValue* front() const { return head < e.size() ? &e[head].v : nullptr; }
    };
    std::array<Queue, kRangeColumns> max_, min_;
};

// Orders two numeric values as SQLite orders them (integers and reals by value).
int compareNumeric(const DbValue& a, const DbValue& b);

}  // namespace market
