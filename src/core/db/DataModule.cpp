#include "db/DataModule.h"

#include "forecast/Forecast.h"

namespace {
std::vector<GridColumn> cols(std::initializer_list<std::pair<const char*, const char*>> l) {
    std::vector<GridColumn> v;
    for (const auto& [f, t] : l) v.push_back({QString::fromUtf8(f), QString::fromUtf8(t), {}});
    return v;
}

std::vector<GridColumn> headerColumns(const char* rdTitle, const char* tbnmTitle) {
    return cols({{"CNT", ""}, {"DT", "日付"}, {"HM", "時刻"}, {"CV", "最終終値"}, {"RD", rdTitle},
                 {"LN", "学習回数"}, {"MSE", ""}, {"LT", "学習分"}, {"TBID", ""}, {"TBNM", tbnmTitle}});
}

std::vector<GridColumn> trainingColumns() {
    return cols({{"CNT", ""},       {"SYMD", "Sv日付"},  {"SHM", "Sv時間"},   {"LYMD", "Lc日付"},
                 {"LHM", "Lc時間"}, {"WEEK", "曜日"},    {"SIN", ""},         {"COS", ""},
                 {"HV1", "高値1"},  {"HV2", "高値2"},    {"HV3", "高値3"},    {"LV1", "安値1"},
                 {"LV2", "安値2"},  {"LV3", "安値3"},    {"CV1", "終値1"},    {"CV2", "終値2"},
                 {"CV3", "終値3"},  {"SLP11", "ｽﾛｰﾌﾟ11"}, {"SLP12", "ｽﾛｰﾌﾟ12"}, {"SLP13", "ｽﾛｰﾌﾟ13"},
                 {"SLP21", ""},     {"SLP22", ""},       {"SLP23", ""},       {"SLP31", ""},
                 {"SLP32", ""},     {"SLP33", ""},       {"M051", "MA051"},   {"M052", "MA052"},
                 {"M053", "MA053"}, {"M201", "MA201"},   {"M202", "MA202"},   {"M203", "MA203"},
                 {"M1H1", "MA1H1"}, {"M1H2", "MA1H2"},   {"M1H3", "MA1H3"},   {"M4H1", "MA4H1"},
                 {"M4H2", "MA4H2"}, {"M4H3", "MA4H3"},   {"M451", "MA451"},   {"M452", "MA452"},
                 {"M453", "MA453"}, {"ATR1", ""},        {"ATR2", ""},        {"RSI1", ""},
                 {"RSI2", ""},      {"B0L1", ""},        {"B0L2", ""},        {"B0L3", ""},
                 {"B1L1", ""},      {"B1L2", ""},        {"B1L3", ""},        {"B4L1", ""},
                 {"B4L2", ""},      {"B4L3", ""}});
}
}  // namespace

DataModule::DataModule() {
    headerSource05 = std::make_unique<DataSource>(headers05, headerColumns("読日数", "ﾃｰﾌﾞﾙ名"));
    headerSource30 = std::make_unique<DataSource>(headers30, headerColumns("読込日数", ""));
    headerSource4h = std::make_unique<DataSource>(headers4h, headerColumns("読込日数", "ﾃｰﾌﾞﾙ名"));
    // "当否" as the result page shows it (○ hit, × miss, blank unverified).
    std::vector<GridColumn> details =
        cols({{"YKNO", "期No"}, {"YGCL", "予測終値"}, {"JGCL", "実終値"}, {"RST", "当否"},
                  {"SG", "差額"}, {"HG", "高値"}, {"LG", "安値"}, {"DCR", "変化率"},
                  {"SGN", "売買ｻｲﾝ"}, {"CNT", ""}, {"TBID", ""}, {"HTNM", ""}, {"HCNT", ""}});
    details[3].shown = [](const DbValue& v) { return v.isNull() ? QString() : forecast::resultText(v.asInteger()); };
    detailSource = std::make_unique<DataSource>(runDetails, std::move(details));
    quoteSource = std::make_unique<DataSource>(
        quoteRows, cols({{"LYMD", "Lc日付"}, {"LHM", "Lc時刻"}, {"HV", "高値"}, {"LV", "安値"}, {"CV", "終値"},
                   {"M05", "MA05"}, {"M20", "MA20"}, {"M1H", "MA1H"}, {"M4H", "MA4H"}, {"M1D", "MA1D"},
                   {"ATR", ""}, {"RSI", ""}, {"B0L", "BB0Lw"}, {"B0U", "BB0Up"}, {"B1L", "BB1Lw"},
                   {"B1U", "BB1Up"}, {"B4L", "BB4Lw"}, {"B4U", "BB4Up"}, {"CNT", ""}, {"SYMD", "Sv日付"},
                   {"SHM", "Sv時刻"}}));
    exportSource = std::make_unique<DataSource>(
        exportCatalog, cols({{"PNO", "ﾍﾟｰｼﾞNo"}, {"PNM", "ﾍﾟｰｼﾞ名"}, {"TBN", "ﾃｰﾌﾞﾙ名"}, {"PAS", "ﾊﾟｽ"},
                  {"CSV", "CSVﾌｧｲﾙ名"}, {"TYO", "摘要"}, {"CNT", ""}}));
    trainingSource05 = std::make_unique<DataSource>(training05, trainingColumns());
    trainingSource30 = std::make_unique<DataSource>(training30, trainingColumns());
    trainingSource4h = std::make_unique<DataSource>(training4h, trainingColumns());
}

DataModule::~DataModule() {
    for (auto* ds : {&headerSource05, &headerSource30, &headerSource4h, &detailSource, &quoteSource, &exportSource,
                     &trainingSource05, &trainingSource30, &trainingSource4h})
        ds->reset();
}
