#pragma once
// Pieces of the training and forecast run and of the result pages that need no window.
#include <QString>
#include <array>
#include <atomic>
#include <exception>
#include <functional>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

class Connection;
class Query;
class QueryObserver;

namespace forecast {

constexpr int inputCount = 14;
constexpr int outputCount = 3;

// The training table's columns that feed the network, in input order.
const std::array<QString, inputCount>& inputColumns();

// What one training pass presents to the network, in order, as contiguous arrays.
// Rows without a close (CV1 empty) are left out. Targets: CV3 when it is below 1, otherwise
// the close target of the row presented before (0 before the first row of the run, the last
// row of the previous pass at the start of a later pass); HV3 unless HV2 is 0; LV3 unless
// LV2 is 0. Every pass after the first starts from the same carried close target, so two
// target arrays describe every pass.
struct TrainingPatterns {
    int count = 0;                   // patterns per pass
    std::vector<float> inputs;       // count x inputCount
    std::vector<float> targetsFirst; // count x outputCount, first pass
    std::vector<float> targetsLater; // count x outputCount, second and later passes
    const float* lastInputs() const { return count ? inputs.data() + size_t(count - 1) * inputCount : nullptr; }
};

// The patterns of the first `rows` rows of q (fewer when q has fewer rows).
TrainingPatterns trainingPatterns(const Query& q, int rows);

// The same patterns, bit for bit.
bool samePatterns(const TrainingPatterns& a, const TrainingPatterns& b);

// The rowid of each row of q, a read of a table in CNT order with its rowid column, when
// every CNT and rowid there is an integer (so the rows of a CNT range lie together).
std::optional<std::vector<qint64>> rowids(const Query& q);
// " rowid in (...) and " with the rowids of rows first..last, to put before a condition on
// CNT that selects the same rows: SQLite then looks them up instead of reading the table.
QString rowidList(const std::vector<qint64>& ids, int first, int last);

// Runs `set`, which sets display widths of q column by column, and tells `observer` (the
// query's grid) once at the end instead of after every column.
void widthsAtOnce(Query& q, QueryObserver* observer, const std::function<void()>& set);

// Work done on a thread of its own while the window's thread goes on; wait() hands back what
// it threw. The owner waits for it (or lets it go out of scope) before it touches what the
// work uses.
class Background {
public:
    explicit Background(std::function<void()> work)
        : thread_([this, w = std::move(work)] {
              try {
                  w();
              } catch (...) {
                  error_ = std::current_exception();
              }
              done_.store(true, std::memory_order_release);
          }) {}
    ~Background() { join(); }
    Background(const Background&) = delete;
    Background& operator=(const Background&) = delete;

    bool done() const { return done_.load(std::memory_order_acquire); }
    void wait() {
        join();
        if (error_) std::rethrow_exception(std::exchange(error_, nullptr));
    }

private:
    void join() {
        if (thread_.joinable()) thread_.join();
    }
    std::exception_ptr error_;
    std::atomic<bool> done_{false};
    std::thread thread_;  // last: starts once the members above exist
};

// Trade signal of a network-scale close: 1 above the buy threshold, -1 below the sell
// threshold, otherwise 0 (both comparisons strict).
int signal(double ddc, double dbb, double dbs);

// "買" for 1, "売" for -1, empty otherwise.
QString signalText(int sgn);
// "○" for 1, "×" for -1, empty otherwise.
QString resultText(int rst);

// The time of forecast period p after base time hm ("hh:nn"), `stepSeconds` per period,
// as "HH:NN" (wrapping at midnight); empty when hm is no time.
QString periodTime(const QString& hm, int p, int stepSeconds);

// Starts a write transaction on the file database ("begin immediate"): while another copy of
// the program writes, it waits for the connection's busy timeout instead of failing halfway
// through. A database it cannot write (opened read-only, locked past the wait) throws
// VelkorError naming the file, before anything is written.
void beginWrite(Connection& c);

}  // namespace forecast
