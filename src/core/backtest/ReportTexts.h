#pragma once
// The words of the evaluation in the reports (table, sentences, verdict, chart): every text
// goes through Qt's translation system (context "ReportTexts"; English in the source, Japanese
// in translations/velkor_ja.ts).
#include <QCoreApplication>
#include <QString>
#include <optional>

namespace evaluation {

enum class Rule;

class ReportTexts {
    Q_DECLARE_TR_FUNCTIONS(ReportTexts)

public:
    // Numbers as the sentences write them.
    static QString percent(double fraction);                // "53.5 %"
    static QString pValue(double p);                        // "p = 0.0412", "p < 0.0001"
    static QString yen(double thousandths);                 // "225.4"

    static QString ruleName(Rule rule);                     // "always buying", ...
    static QString noForecast(int period);
    static QString chance(int period, int hits, int n, double rate, double low, double high, double effectiveN,
                          double pHolm, std::optional<long long> needed);
    static QString againstRule(Rule rule, double forecastRate, double ruleRate, std::optional<double> pHolm);
    static QString againstNoChange(double mae, double maeNoChange, std::optional<double> pHolm);
    static QString sentence(const QString& head, const QStringList& clauses);
    static QString verdict(const QString& timeframeName, int periods, int chance, int allRules, int randomWalk,
                           const QString& skilled);
    static QString noVerdict(const QString& timeframeName);
    static QString noVerifiedForecast(const QString& timeframeName, const QString& dbFile);

    // The printed table's sections.
    static QString overlapSection();
    static QString overlapColumns();
    static QString randomWalkSection();
    static QString randomWalkColumns();
    static QString rulesSection();
    static QString rulesColumns();
    static QString verdictSection();
    static QString notPositive();                           // "not positive" in place of a DM statistic
    static QString liveHeader(const QString& timeframeName, int runs, const QString& from, const QString& to, int pending,
                              const QString& workDir);

    // The chart.
    static QString backtestTitle(const QString& timeframeName, const QString& from, const QString& to, int every, int steps,
                                 unsigned seed, int passes, int readDays);
    static QString liveTitle(const QString& timeframeName, int runs, const QString& from, const QString& to);
    static QString panelTitle(int period, int n, const QString& rate, const QString& effectiveN);
    static QString hitRateLine();
    static QString bandArea();
    static QString alwaysUpLine();
    static QString persistenceLine();
    static QString halfLine();
    static QString rateAxis();
    static QString timeAxis();
};

// Installs the translation of the program's new texts by language: "ja" or "en"; an empty
// `lang` chooses by the locale: Japanese where LC_ALL, LC_MESSAGES or LANG (the first that is
// set) names Japanese or none of them is set, English otherwise (the C locale too). Returns
// the language chosen.
QString installTranslation(const QString& lang);

// The language the locale asks for, as above: "ja" or "en".
QString localeLanguage(const QString& lcAll, const QString& lcMessages, const QString& lang);

}  // namespace evaluation
