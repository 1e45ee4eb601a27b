// The fuzz checks on the inputs kept in tests/fuzz: the seeds and every input that once
// found a fault (tests/fuzz/regressions/<target>/, named after the fault).
#include <QDirIterator>
#include <QFile>
#include <gtest/gtest.h>

#include "fuzz/QuoteLineCheck.h"
#include "fuzz/SqlLiteralCheck.h"

namespace {
template <typename Check>
void replay(const char* target, Check check) {
    int inputs = 0;
    for (const char* kind : {"corpus", "regressions"}) {
        QDirIterator it(QStringLiteral(VELKOR_SOURCE_DIR "/tests/fuzz/%1/%2").arg(kind, target), QDir::Files);
        while (it.hasNext()) {
            const QString path = it.next();
            QFile f(path);
            ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << path.toStdString();
            const QByteArray bytes = f.readAll();
            ++inputs;
            try {
                check(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()));
            } catch (const fuzz::CheckFailed& e) {
                ADD_FAILURE() << path.toStdString() << ": " << e.what();
            }
        }
    }
    EXPECT_GT(inputs, 0) << target;
}
}  // namespace

TEST(FuzzRegressions, QuoteLine) { replay("fuzz_quote_line", fuzz::checkQuoteLine); }

TEST(FuzzRegressions, SqlLiteral) { replay("fuzz_sql_literal", fuzz::checkSqlLiteral); }
