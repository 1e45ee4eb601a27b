#pragma once
#include <QString>
#include <array>


// Every constant that differs between the three timeframes, in one table. Operations
// look a timeframe up by its code (5, 30, 80) and never repeat a switch of their own.
struct Timeframe {
    int code;              // 5, 30, 80 (80 is the 4-hour timeframe)
    QString name;          // the timeframe as reports name it: 5分足, 30分足, 4時間足
    int index;             // 0, 1, 2: position in the table and of the page's controls
    int defaultReadDays;
    int defaultPasses;
    QString ciniLabel;     // line label in "cini.txt"
    QString quoteFile;     // quote file in the data folder
    QString importNotice;  // message before the import
    QString sideFile;      // side file of the import (relative to the working directory)
    int periods;           // forecast periods: the placeholder rows after the base bar
    int windowLength;      // rows of the sliding window a row is scaled against
    double slopeMultiplier;  // widens the close-move scale of the change inputs
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
    double buyThreshold;   // scaled forecast close above which a period signals buy
    double sellThreshold;  // and below which it signals sell
    bool sellAtLow;        // the chart marks a sell signal at the period's low (else at its high)
    bool verifyKeepsRun;   // after verification the page keeps the run selected in its list

    QString tbidText() const { return QString::number(tbid); }
};

inline const std::array<Timeframe, 3>& timeframes() {
    static const std::array<Timeframe, 3> t{{
        {.code = 5, .name = QStringLiteral("5分足"), .index = 0, .defaultReadDays = 40, .defaultPasses = 1000,
         .ciniLabel = QStringLiteral("05分足読込日数学習回数"), .quoteFile = QStringLiteral("USDJPYM05.CSV"),
         .importNotice = QStringLiteral("05分足ﾃﾞｰﾀを読込ます "), .sideFile = QStringLiteral("DATA/CSV/USDJPY05M10.CSV"),
         .periods = 4, .windowLength = 200, .slopeMultiplier = 0.8, .trainingTable = QStringLiteral("F02R05M"),
         .trainingCsv = QStringLiteral("DATA/CSV/TS05M.CSV"), .statsLabel = QStringLiteral("終値最大変化率: "),
         .atrMinLabel = QStringLiteral("  最小: "), .networkFile = QStringLiteral("DATA/USDJPY05.net"),
         .headerTable = QStringLiteral("F03V05H"), .tbid = 16, .trainingTbid = 13,
         .browserCaption = QStringLiteral("05分足変動率"), .periodSeconds = 300,
         .deleteConfirm = QStringLiteral("05分足のﾚｺｰﾄﾞと明細を削除します"),
         .chartTitle = QStringLiteral("FX予測検証 ﾁｬｰﾄ(05分足)"), .buyThreshold = 0.518, .sellThreshold = 0.482, .sellAtLow = true, .verifyKeepsRun = false},
        {.code = 30, .name = QStringLiteral("30分足"), .index = 1, .defaultReadDays = 200, .defaultPasses = 1000,
         .ciniLabel = QStringLiteral("30分足読込日数学習回数"), .quoteFile = QStringLiteral("USDJPYM30.CSV"),
         .importNotice = QStringLiteral("30分足ﾃﾞｰﾀを読込ます"), .sideFile = QStringLiteral("DATA/CSV/USDJPY30M10.CSV"),
         .periods = 3, .windowLength = 200, .slopeMultiplier = 1.2, .trainingTable = QStringLiteral("F02R30M"),
         .trainingCsv = QStringLiteral("DATA/CSV/TS30M.CSV"), .statsLabel = QStringLiteral("30M 最大変化率: "),
         .atrMinLabel = QStringLiteral("  最小: "), .networkFile = QStringLiteral("DATA/USDJPY30.net"),
         .headerTable = QStringLiteral("F03V30H"), .tbid = 17, .trainingTbid = 14,
         .browserCaption = QStringLiteral("30分足変動率"), .periodSeconds = 1800,
         .deleteConfirm = QStringLiteral("30分足のﾚｺｰﾄﾞと明細を削除します"),
         .chartTitle = QStringLiteral("FX予測検証 ﾁｬｰﾄ(30分足)"), .buyThreshold = 0.53, .sellThreshold = 0.47, .sellAtLow = false, .verifyKeepsRun = false},
        {.code = 80, .name = QStringLiteral("4時間足"), .index = 2, .defaultReadDays = 200, .defaultPasses = 600,
         .ciniLabel = QStringLiteral("4時間足読込日数学習回数"), .quoteFile = QStringLiteral("USDJPYH04.CSV"),
         .importNotice = QStringLiteral("4時間足ﾃﾞｰﾀを読込ます"), .sideFile = QStringLiteral("DATA/CSV/USDJPY4H10.CSV"),
         .periods = 2, .windowLength = 150, .slopeMultiplier = 3.2, .trainingTable = QStringLiteral("F02R4H"),
         .trainingCsv = QStringLiteral("DATA/CSV/TS4H.CSV"), .statsLabel = QStringLiteral("04H 最大変化率: "),
         .atrMinLabel = QStringLiteral(" 最小: "), .networkFile = QStringLiteral("DATA/USDJPY4H.net"),
         .headerTable = QStringLiteral("F03V4HH"), .tbid = 18, .trainingTbid = 15,
         .browserCaption = QStringLiteral("4時間足変動率"), .periodSeconds = 14400,
         .deleteConfirm = QStringLiteral("4時間足のﾚｺｰﾄﾞと明細を削除します"),
         .chartTitle = QStringLiteral("FX予測検証 ﾁｬｰﾄ(4時間足)"), .buyThreshold = 0.55, .sellThreshold = 0.45, .sellAtLow = false, .verifyKeepsRun = true},
    }};
    return t;
}

// The timeframe of a code, or nullptr for an unknown code.
inline const Timeframe* timeframeOf(int code) {
    for (const Timeframe& t : timeframes())
        if (t.code == code) return &t;
    return nullptr;
}

// The timeframe whose forecast records carry this id (16, 17, 18), or nullptr.
inline const Timeframe* timeframeOfTbid(int tbid) {
    for (const Timeframe& t : timeframes())
        if (t.tbid == tbid) return &t;
    return nullptr;
}
