#pragma once
#include <QFileInfo>
#include <QCoreApplication>
#include <QString>

// Every fixed text the program shows or writes that is not per timeframe (those live in
// the timeframe table), and the wording of its error messages.
namespace texts {

inline const QString tableNotFound = QStringLiteral(" ﾃｰﾌﾞﾙ名が見つかりません");
inline const QString catalogLoad =
    QStringLiteral("AAATBN, AAATSTﾃｰﾌﾞﾙを作成し、ﾃｰﾌﾞﾙﾃﾞｰﾀを読み込みます");
inline const QString rowsRead = QStringLiteral(" 件読込");
inline const QString twoLayers = QStringLiteral("２レイヤー以上が必要です");
inline const QString trainingTime = QStringLiteral("学習時間:  ");
inline const QString nothingToDelete = QStringLiteral("削除するﾃﾞｰﾀがありません");
// Under the delete confirmation: the run it deletes (number, date and time of its base bar).
inline QString runToDelete(const QString& cnt, const QString& dt, const QString& hm) {
    return QStringLiteral("ﾚｺｰﾄﾞ No.%1  %2 %3").arg(cnt, dt, hm);
}
inline const QString exportStart = QStringLiteral(" ﾃｰﾌﾞﾙをCSVﾌｧｲﾙに書き出します");
inline const QString exportEnd = QStringLiteral("書出終了");
// Under the export's closing box: the file written and its row count.
inline QString exportWritten(const QString& file, qsizetype rows) {
    return QCoreApplication::translate("texts", "%1: %n row(s) written", nullptr, int(rows)).arg(file);
}
inline const QString reimportStart = QStringLiteral(" ﾌｧｲﾙから読込みます ");
inline const QString reimportAsk = QStringLiteral("ﾃｰﾌﾞﾙﾃﾞｰﾀは削除されますが実行しますか?");
inline const QString reimportEnd = QStringLiteral(" CSVﾌｧｲﾙからの読込終了 ");

// Page "4:学図": the learning curve and the network drawing.
inline const QString learningCurve = QStringLiteral("学習曲線");
inline const QString learningPasses = QStringLiteral("学習回数");
inline const QString learningError = QStringLiteral("MSE");
inline const QString inputLayer = QStringLiteral("入力層");
inline const QString hiddenLayer = QStringLiteral("中間層");
inline const QString outputLayer = QStringLiteral("出力層");
inline const QString networkOutputs[] = {QStringLiteral("終値"), QStringLiteral("高値"), QStringLiteral("安値")};
inline const QString positiveWeight = QStringLiteral("正の重み");
inline const QString negativeWeight = QStringLiteral("負の重み");
inline const QString biasNeuron = QStringLiteral("バイアス");
inline QString weightStrength(double largest) {
    return QStringLiteral("太く濃い線ほど重みが大きい (最大 |w| = %1)").arg(largest, 0, 'f', 2);
}

inline const QString closeButton = QStringLiteral("閉じる(&C)");
inline const QString startupMarker = QStringLiteral("z0P");

// Error messages (the program's own wording).
inline QString fileOpenError(const QString& path, const QString& why) {
    return QStringLiteral("ファイルを開けません: %1 (%2)").arg(path, why);
}
inline QString fileWriteError(const QString& path, const QString& why) {
    return QStringLiteral("ファイルに書き込めません: %1 (%2)").arg(path, why);
}
inline QString lockFileError(const QString& path, const QString& why) {
    return QStringLiteral("ロックファイルを使えません: %1 (%2)").arg(path, why);
}
inline QString ownFileTarget(const QString& path) {
    return QStringLiteral("%1 はこのプログラム自身のファイルです。書き出しません").arg(path);
}
inline QString emptyReimportFile(const QString& path) {
    return QStringLiteral("%1 は 0 バイトの空ファイルで、書出ファイルではありません。ﾃｰﾌﾞﾙはそのままです").arg(path);
}
inline QString foreignObject(const QString& db, const QString& object) {
    return QStringLiteral("%1 にプログラムのものではないオブジェクトがあるので開きません: %2").arg(db, object);
}
inline QString lineError(const QString& path, qsizetype line, const QString& what) {
    return QStringLiteral("%1 の %2 行目: %3").arg(path).arg(line).arg(what);
}
inline QString notInteger(const QString& text) {
    return QStringLiteral("'%1' は整数ではありません").arg(text);
}
inline QString notNumber(const QString& text) {
    return QStringLiteral("'%1' は数値ではありません").arg(text);
}
inline QString tooFewFields(qsizetype got, qsizetype need) {
    return QStringLiteral("項目が %1 個しかありません (%2 個必要です)").arg(got).arg(need);
}
inline QString fieldCount(qsizetype got, qsizetype need) {
    return QStringLiteral("項目が %1 個あります (%2 個必要です)").arg(got).arg(need);
}
inline QString missingKey(const QString& column) {
    return QStringLiteral("%1 が空です").arg(column);
}
inline QString duplicateKey(const QString& column, const QString& value) {
    return QStringLiteral("%1 = %2 の行がすでにあります").arg(column, value);
}
inline QString missingHeader(const QString& table, const QString& cnt) {
    return QStringLiteral("%1 に CNT = %2 の行がありません").arg(table, cnt);
}
inline QString noNewNumber(const QString& table) {
    return QStringLiteral("%1 の番号が範囲 (2147483647 まで) を超えます。新しい番号を作れません").arg(table);
}
inline QString slotOutOfRange(int i) {
    return QStringLiteral("値スロットの番号 %1 は範囲 1..80 の外です").arg(i);
}
inline QString integerOverflow(const QString& what) {
    return QStringLiteral("整数の桁あふれ: %1").arg(what);
}
inline QString sqlError(const QString& why, const QString& sql) {
    return QStringLiteral("SQL エラー: %1\n%2").arg(why, sql.trimmed());
}
inline QString noRunToChart(const QString& chartTitle) {
    return QStringLiteral("%1: 描く予測がありません").arg(chartTitle);
}
inline QString tooFewLines(const QString& path, qsizetype got, qsizetype need) {
    return QStringLiteral("%1: 行が %2 行しかありません (%3 行以上必要です)").arg(path).arg(got).arg(need);
}
inline QString notDateTime(const QString& date, const QString& time) {
    return QStringLiteral("'%1 %2' は日付と時刻として読めません").arg(date, time);
}
// A forecast refused for too few bars: `bars` imported bars from `first` to `last` (server
// dates) where `window` plus `periods` are needed; the table follows in brackets.
inline QString tooFewBars(const QString& quoteFile, const QString& table, int bars, const QString& first,
                          const QString& last, int window, int periods) {
    const QString read = bars == 0 ? QCoreApplication::translate("texts", "No bar of %1 was read.").arg(quoteFile)
                                   : QCoreApplication::translate("texts", "Only %1 bars of %2 were read (%3 to %4).")
                                         .arg(bars).arg(quoteFile, first, last);
    return read + QLatin1Char(' ') +
           QCoreApplication::translate("texts",
                                       "A forecast needs at least %1 (its scaling window of %2 bars and %3 periods). "
                                       "Raise the read days, put a quote file with more recent bars into the data "
                                       "folder, or count the read days back from the file's last day (--today). [%4]")
               .arg(window + periods).arg(window).arg(periods).arg(table);
}
// An import that found much less than its read days ask for: the file ends long before today.
inline QString thinImport(const QString& quoteFile, const QString& lastBar, const QString& today, int readDays,
                          int bars, const QString& lastBarIso) {
    return QCoreApplication::translate("texts",
                                       "%1 ends with a bar of %2, but today is %3: its %4 read days brought in only %5 "
                                       "bars. Put a quote file with recent bars into the data folder, or count the "
                                       "read days back from its last day (--today %6).")
        .arg(quoteFile, lastBar, today).arg(readDays).arg(bars).arg(lastBarIso);
}
inline QString notImportedWhole(const QString& quoteFile) {
    return QStringLiteral("%1 の読み込みがエラーで終わったので予測できません。ファイルを直して起動し直してください").arg(quoteFile);
}
// The suspect lines of an import: stored as they are, but told to the user.
inline QString suspectDateTime(const QString& date, const QString& time) {
    return QStringLiteral("日付と時刻 '%1 %2' が yyyy/mm/dd hh:nn ではありません").arg(date, time);
}
inline QString suspectPrice(const QString& price) {
    return QStringLiteral("価格 '%1' が小数 3 桁の 0 以上の数ではありません").arg(price);
}
inline QString suspectOrder(const QString& stamp, const QString& previous) {
    return QStringLiteral("%1 が前の足 %2 より後ではありません").arg(stamp, previous);
}
inline QString suspectFuture(const QString& date) { return QStringLiteral("%1 は今日より後の日付です").arg(date); }
inline const QString suspectNotStored = QStringLiteral("行を記録できません (この足は欠けます)");
inline QString suspectLines(const QString& path, const QStringList& first, int total) {
    QString text = QStringLiteral("%1: 疑わしい行が %2 行あります").arg(path).arg(total);
    for (const QString& l : first) text += QStringLiteral("\n") + l;
    if (total > first.size()) text += QStringLiteral("\nほか %1 行").arg(total - first.size());
    return text;
}
inline QString training(int pass, int passes, const QString& elapsed) {
    return QStringLiteral("学習中  %1 / %2 回   経過 %3").arg(pass).arg(passes).arg(elapsed);
}
inline QString noDataFolder() {
    return QStringLiteral("ﾃﾞｰﾀﾌｫﾙﾀﾞが選ばれなかったので終了します");
}
inline QString noQuoteFileInFolder(const QString& file) {
    return QStringLiteral("ﾃﾞｰﾀﾌｫﾙﾀﾞ %1 に %2 がありません。").arg(QFileInfo(file).path(), QFileInfo(file).fileName()) +
           noDataFolder();
}

}  // namespace texts
