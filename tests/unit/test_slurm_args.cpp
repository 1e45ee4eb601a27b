// The user's sbatch options of a backtest on Slurm: split at spaces, double quotes holding a
// word with spaces together; those the engine sets itself refused, whatever their spelling.
#include <gtest/gtest.h>

#include "backtest/Slurm.h"

TEST(SlurmArguments, SplitAndTheEngineOwnRefused) {
    struct Case { const char* text; QStringList words; const char* refused; };
    const Case cases[] = {
        {"", {}, nullptr},
        {"--partition=long --time=30", {"--partition=long", "--time=30"}, nullptr},
        {"-p long -N1 --mem 2G", {"-p", "long", "-N1", "--mem", "2G"}, nullptr},
        {"--comment \"two words\" --exclude=n1,n2", {"--comment", "two words", "--exclude=n1,n2"}, nullptr},
        {"--dependency=afterok:12 --output-format=x", {"--dependency=afterok:12", "--output-format=x"}, nullptr},
        {"--array=0-9", {}, "--array=0-9"},
        {"-a 1-3", {}, "-a"},
        {"-p long -o out.txt", {}, "-o"},
        {"-eerr.txt", {}, "-eerr.txt"},
        {"--error err", {}, "--error"},
        {"--chdir=/tmp", {}, "--chdir=/tmp"},
        {"-D /tmp", {}, "-D"},
        {"--wrap \"sleep 1\"", {}, "--wrap"},
        {"-W", {}, "-W"},
        {"--parsable", {}, "--parsable"},
        {"--test-only", {}, "--test-only"},
    };
    for (const Case& c : cases) {
        QStringList words;
        QString error;
        const bool ok = backtest::parseSbatchArguments(c.text, words, error);
        EXPECT_EQ(ok, c.refused == nullptr) << c.text;
        if (c.refused)
            EXPECT_TRUE(error.startsWith(QString("--slurm-args: %1 is set by the Slurm engine").arg(c.refused))) << error.toStdString();
        else
            EXPECT_EQ(words, c.words) << c.text;
    }
}
