#pragma once
#include <QString>

class Connection;

// A transaction on one connection, rolled back unless committed. A write transaction on the
// file database ("begin immediate") waits for the connection's busy timeout while another
// copy of the program writes, instead of failing halfway through; a database it cannot
// write (opened read-only, locked past the wait) throws VelkorError naming the file before
// anything is written.
class Transaction {
public:
    enum Kind { Deferred, Immediate };
    explicit Transaction(Connection& c, Kind kind = Deferred);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    void commit();
    // Undoes what the transaction did so far (nothing when it is over already).
    void rollback();
    bool open() const { return open_; }

private:
    Connection& c_;
    bool open_ = false;
};
