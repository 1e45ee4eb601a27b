#pragma once
#include <QString>
#include <array>

// Every constant that differs between the three timeframes, in one table. Operations
// look a timeframe up by its code (5, 30, 80) and never repeat a switch of their own.
struct Timeframe {
    int code;              // iasi: 5, 30, 80 (80 is the 4-hour timeframe)
    int index;             // 0, 1, 2: position in the table and of the page's controls
    int pageIndex;         // tab of the forecast page
    int editCodeLn;        // ucLnRd code of the training-pass edit (11, 21, 31)
    int editCodeRd;        // ucLnRd code of the read-days edit (12, 22, 32)
    int defaultReadDays;
    int defaultPasses;
    QString ciniLabel;     // line label in "cini.txt"
    QString quoteFile;     // quote file in the data folder
    QString importNotice;  // message before the import
    QString sideFile;      // side file of the import (relative to the working directory)
    int ityk;              // forecast periods (placeholder rows)
    int itkn;              // range window length
    double dslmx;          // slope multiplier
    QString trainingTable;
    QString trainingCsv;   // training CSV file (relative to the working directory)
    QString statsLabel;    // label of statistics line 1 of the training CSV
    QString atrMinLabel;   // label before the lowest ATR in that line
    QString networkFile;   // relative to the working directory
    QString headerTable;
    int tbid;              // id of the forecast records: 16, 17, 18
    int trainingTbid;      // catalog id of the training table: 13, 14, 15
    QString browserCaption;
    int periodSeconds;     // one bar
    QString deleteConfirm;
    QString chartTitle;
    double dbb;            // buy threshold
    double dbs;            // sell threshold
    QChar prefix;          // page control prefix: a, b, c
    QString statsTitle;    // title on the statistics page

    QString tbidText() const { return QString::number(tbid); }
};

inline const std::array<Timeframe, 3>& timeframes() {
    static const std::array<Timeframe, 3> t{{
        {5, 0, 0, 11, 12, 40, 1000, QStringLiteral("05分足読込日数学習回数"), QStringLiteral("USDJPYM05.CSV"),
         QStringLiteral("05分足ﾃﾞｰﾀを読込ます "), QStringLiteral("DATA/CSV/USDJPY05M10.CSV"), 4, 200, 0.8,
         QStringLiteral("F02R05M"), QStringLiteral("DATA/CSV/TS05M.CSV"), QStringLiteral("終値最大変化率: "),
         QStringLiteral("  最小: "), QStringLiteral("DATA/USDJPY05.net"), QStringLiteral("F03V05H"), 16, 13,
         QStringLiteral("05分足変動率"), 300, QStringLiteral("05分足のﾚｺｰﾄﾞと明細を削除します"),
         QStringLiteral("FX予測検証 ﾁｬｰﾄ(05分足)"), 0.518, 0.482, QChar('a'), QStringLiteral("5.4: 05分足 検証集計")},
        {30, 1, 1, 21, 22, 200, 1000, QStringLiteral("30分足読込日数学習回数"), QStringLiteral("USDJPYM30.CSV"),
         QStringLiteral("30分足ﾃﾞｰﾀを読込ます"), QStringLiteral("DATA/CSV/USDJPY30M10.CSV"), 3, 200, 1.2,
         QStringLiteral("F02R30M"), QStringLiteral("DATA/CSV/TS30M.CSV"), QStringLiteral("30M 最大変化率: "),
         QStringLiteral("  最小: "), QStringLiteral("DATA/USDJPY30.net"), QStringLiteral("F03V30H"), 17, 14,
         QStringLiteral("30分足変動率"), 1800, QStringLiteral("30分足のﾚｺｰﾄﾞと明細を削除します"),
         QStringLiteral("FX予測検証 ﾁｬｰﾄ(30分足)"), 0.53, 0.47, QChar('b'), QStringLiteral("5.5: 30分足 検証集計")},
        {80, 2, 2, 31, 32, 200, 600, QStringLiteral("4時間足読込日数学習回数"), QStringLiteral("USDJPYH04.CSV"),
         QStringLiteral("4時間足ﾃﾞｰﾀを読込ます"), QStringLiteral("DATA/CSV/USDJPY4H10.CSV"), 2, 150, 3.2,
         QStringLiteral("F02R4H"), QStringLiteral("DATA/CSV/TS4H.CSV"), QStringLiteral("04H 最大変化率: "),
         QStringLiteral(" 最小: "), QStringLiteral("DATA/USDJPY4H.net"), QStringLiteral("F03V4HH"), 18, 15,
         QStringLiteral("4時間足変動率"), 14400, QStringLiteral("4時間足のﾚｺｰﾄﾞと明細を削除します"),
         QStringLiteral("FX予測検証 ﾁｬｰﾄ(4時間足)"), 0.55, 0.45, QChar('c'), QStringLiteral("5.6: 4H足 検証集計")},
    }};
    return t;
}

// The timeframe of a code, or nullptr for an unknown code.
inline const Timeframe* tf(int code) {
    for (const Timeframe& t : timeframes())
        if (t.code == code) return &t;
    return nullptr;
}

// The timeframe whose forecast records carry this id (16, 17, 18), or nullptr.
inline const Timeframe* tfByTbid(int tbid) {
    for (const Timeframe& t : timeframes())
        if (t.tbid == tbid) return &t;
    return nullptr;
}
