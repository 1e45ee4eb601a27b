// The value ranges over a sliding window of a training table, kept in memory as rows are added.
#include <limits>

#include "app/Texts.h"
#include "app/VelkorError.h"
#include "market/MarketCommon.h"

namespace market {

int compareNumeric(const DbValue& a, const DbValue& b) {
    auto rank = [](const DbValue& v) { return v.type == DbValue::Null ? 0 : v.type == DbValue::Text ? 2 : 1; };
    const int ra = rank(a), rb = rank(b);
    if (ra != rb) return ra < rb ? -1 : 1;
    if (ra == 0) return 0;
    if (ra == 2) return a.s < b.s ? -1 : b.s < a.s ? 1 : 0;
    if (a.type == DbValue::Int && b.type == DbValue::Int) return a.i < b.i ? -1 : a.i > b.i ? 1 : 0;
    const long double x = a.type == DbValue::Int ? (long double)a.i : (long double)a.d;
    const long double y = b.type == DbValue::Int ? (long double)b.i : (long double)b.d;
    return x < y ? -1 : x > y ? 1 : 0;
}

void RangeWindow::Queue::push(Entry x, bool wantMax) {
    // Drops the values the new one makes useless; on a tie the older value stays in
    // front, as SQL MAX and MIN keep the first of equal values.
    while (e.size() > head) {
        const int c = compareNumeric(e.back().v, x.v);
        if (wantMax ? c < 0 : c > 0) e.pop_back();
        else break;
    }
    e.push_back(std::move(x));
}

void RangeWindow::Queue::dropUpTo(qint64 cnt) {
    while (head < e.size() && e[head].cnt <= cnt) ++head;
    if (head > 4096 && head * 2 > e.size()) {
        e.erase(e.begin(), e.begin() + qsizetype(head));
        head = 0;
    }
}

void RangeWindow::clear() {
    for (Queue& q : max_) q = Queue{};
    for (Queue& q : min_) q = Queue{};
}

void RangeWindow::add(qint64 cnt, const std::array<DbValue, kRangeColumns>& values) {
    for (int c = 0; c < kRangeColumns; ++c) {
        if (values[size_t(c)].isNull()) continue;
        max_[size_t(c)].push({cnt, values[size_t(c)]}, true);
        min_[size_t(c)].push({cnt, values[size_t(c)]}, false);
    }
}

RangeAggregates RangeWindow::window(qint64 icn, qint64 ik) {
    RangeAggregates a;
    for (int c = 0; c < kRangeColumns; ++c) {
        for (Queue* q : {&max_[size_t(c)], &min_[size_t(c)]}) q->dropUpTo(icn - ik);
        if (ik <= 1) continue;  // no CNT lies strictly between icn - ik and icn
        if (const DbValue* v = max_[size_t(c)].front()) a.max[size_t(c)] = *v;
        if (const DbValue* v = min_[size_t(c)].front()) a.min[size_t(c)] = *v;
    }
    return a;
}

WindowScale windowScale(const RangeAggregates& a) {
    WindowScale w;
    auto pair = [&](std::array<int, 3>& t, int c) {
        t[0] = a.max[size_t(c)].asInteger();
        t[1] = a.min[size_t(c)].asInteger();
        const qint64 span = qint64(t[0]) - t[1];
        if (span > std::numeric_limits<int>::max() || span < std::numeric_limits<int>::min())
            throw VelkorError(texts::integerOverflow(QString::number(span)));
        t[2] = int(span);
    };
    pair(w.close, 0);
    pair(w.high, 1);
    pair(w.low, 2);
    pair(w.m05, 3);
    pair(w.m20, 4);
    pair(w.m1h, 5);
    w.atr[0] = a.max[6].asFloat();
    w.atr[1] = a.min[6].asFloat();
    w.atr[2] = w.atr[0] - w.atr[1];
    return w;
}

}  // namespace market
