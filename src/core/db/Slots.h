#pragma once
#include <QString>
#include <array>

#include "app/Texts.h"
#include "app/VelkorError.h"

// The value slots [1..80]: column values for the SQL builder (the k-th column of the
// current table in slot 10 + k) and scratch texts. An index outside 1..80 throws.
class Slots {
public:
    static constexpr int count = 80;
    QString& operator[](int i) {
        if (i < 1 || i > count) throw VelkorError(texts::slotOutOfRange(i));
        return v_[size_t(i - 1)];
    }
    const QString& operator[](int i) const {
        if (i < 1 || i > count) throw VelkorError(texts::slotOutOfRange(i));
        return v_[size_t(i - 1)];
    }
    void clear(int from, int to) {
        for (int i = from; i <= to; ++i) (*this)[i].clear();
    }

private:
    std::array<QString, count> v_;
};
