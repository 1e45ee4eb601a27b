#pragma once
// Reading bar exports: MetaTrader 4 and 5 history exports, HistData ASCII files and generic
// date-time-OHLC files. The form of a file (its field separator, and whether date and time
// share one field) is told from its first bar line; every later line is read in that form.

#include "Bars.h"

#include <QStringView>

#include <optional>
#include <vector>

namespace velkor::quotes {

struct LineForm {
    QChar separator = u',';
    bool dateTimeInOneField = false;  // "2024-10-29 13:55:00" in one field
};

// What one line gave: a bar, or the reason it could not be read.
struct LineResult {
    std::optional<Bar> bar;
    bool repaired = false;  // high or low widened to enclose open and close
    QString problem;
};

// A date "yyyy.mm.dd", "yyyy-mm-dd", "yyyy/mm/dd" or "yyyymmdd".
std::optional<QDate> readDate(QStringView text);
// A time of day "hh:mm", "hh:mm:ss" or "hhmmss" on a whole minute, as minutes since midnight.
std::optional<int> readTime(QStringView text);
// A positive price in thousandths of a yen; further decimals are rounded half up.
std::optional<int> readPrice(QStringView text);

// The form a bar line is written in, guessed from its separators.
LineForm guessForm(QStringView line);
// Reads one bar line (timestamp, open, high, low, close, then anything) written in `form`.
LineResult readLine(QStringView line, const LineForm& form);
// The export's name for a line in `form`, e.g. "MetaTrader 4" or "generic (comma, one date-time field)".
QString formName(QStringView line, const LineForm& form);

struct LineProblem {
    qsizetype line = 0;  // from 1
    QString reason;
};

struct SourceFile {
    QString name;
    QString form;         // empty when no line could be read
    qsizetype lines = 0;  // lines in the file, headers and empty lines included
    qsizetype headers = 0;
    int repaired = 0;
    std::vector<Bar> bars;  // in file order
    std::vector<LineProblem> problems;
};

// Reads the text of one export. A byte-order mark selects the encoding (UTF-8 otherwise);
// CR LF, LF and CR each end a line. Before the first bar, a line whose first character
// (blanks aside) is not a digit is a header; every other line that is not a bar, a header
// after the first bar included, is recorded in `problems` and skipped. Empty and blank
// lines are skipped.
SourceFile readSource(const QString& name, const QByteArray& bytes);

}  // namespace velkor::quotes
