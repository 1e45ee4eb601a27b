#include <gtest/gtest.h>

#include "db/SqlBuilder.h"

namespace {
CatalogColumn col(const char* name, const char* type, const char* len = "") {
    CatalogColumn c;
    c.name = QString::fromLatin1(name);
    c.type = QString::fromLatin1(type);
    c.length = QString::fromLatin1(len);
    return c;
}
CatalogTable table() {
    CatalogTable t;
    t.name = "TX";
    t.tbid = "99";
    t.columns = {col("CNT", "Integer"), col("NM", "nchar", "14"), col("V", "Real"), col("Z", "nchar", "0"),
                 col("W", "Varchar", "8")};
    return t;
}
}  // namespace

TEST(SqlBuilder, StatementTexts) {
    const CatalogTable t = table();
    EXPECT_EQ(sqlb::select(t, ""), " select CNT, NM, V, Z, W from TX");
    EXPECT_EQ(sqlb::select(t, " order by CNT "), " select CNT, NM, V, Z, W from TX order by CNT ");
    Slots sa;
    EXPECT_EQ(sqlb::create(t, "csm", sa),
              " create table if not exists TX( CNT Integer,  NM nchar (14) ,  V Real,  Z nchar (0) ,  W Varchar(8) ) ");
    EXPECT_EQ(sqlb::create(t, "other", sa),
              " create table TX(  CNT Integer,  NM nchar(14) ,  V Real,  Z nchar(0) ,  W Varchar(8) ) ");
    EXPECT_EQ(sa[3], "W ");
    EXPECT_EQ(sqlb::insertParams(t, sa), " insert into TX ( CNT, NM, V, Z, W ) values (  :p0 ,  :p1,  :p2,  :p3,  :p4 ) ");
    EXPECT_EQ(sqlb::updateParams(t, " where CNT = "), " update TX set CNT = :p0 , NM = :p1, V = :p2, Z = :p3, W = :p4 where CNT =  :p5");
}

TEST(SqlBuilder, InsertLiteralsFromSlots) {
    const CatalogTable t = table();
    Slots sa;
    sa[11] = "12";
    sa[12] = "ABCDEFGHIJKLMNOPQ";
    sa[13] = "";
    sa[14] = "abc";
    sa[15] = "-.5";
    bool bad = true;
    EXPECT_EQ(sqlb::insert(t, sa, bad), " insert into TX ( CNT, NM, V, Z, W ) values ( 12, 'ABCDEFGHIJKLMN', NULL, '', -.5 ) ");
    EXPECT_FALSE(bad);
    EXPECT_EQ(sa[11], "12");  // the caller's text stays in slot 11
    EXPECT_EQ(sa[12], "'ABCDEFGHIJKLMN'");
    EXPECT_EQ(sa[13], "NULL");
    EXPECT_EQ(sa[1], "12, 'ABCDEFGHIJKLMN', NULL, '', -.5");
    EXPECT_EQ(sa[7], "Varchar");
}

TEST(SqlBuilder, UnsafeValuesNeverBecomeSql) {
    const CatalogTable t = table();
    Slots sa;
    sa[11] = "1";
    sa[12] = "it's";
    sa[13] = "1";
    sa[14] = "";
    sa[15] = "2";
    bool bad = true;
    EXPECT_EQ(sqlb::insert(t, sa, bad), " insert into TX ( CNT, NM, V, Z, W ) values ( 1, 'it''s', 1, NULL, 2 ) ");
    EXPECT_FALSE(bad);
    for (const char* v : {"147.1x2", "1); delete from F03VDT; --", "x'); delete from F03VDT; --", "0x10", "1 2"}) {
        sa[11] = QString::fromLatin1(v);
        sqlb::insert(t, sa, bad);
        EXPECT_TRUE(bad) << v;
    }
    for (const char* v : {"147123", "-5", ".5", "1.25e3", "+3", "0.0351"}) {
        sa[11] = QString::fromLatin1(v);
        sqlb::insert(t, sa, bad);
        EXPECT_FALSE(bad) << v;
    }
}

TEST(SqlBuilder, Literals) {
    // length < 0: a number column's literal; otherwise a character column's, cut to length.
    struct Case { const char* in; int length; const char* out; } cases[] = {
        {"", -1, "NULL"}, {"12", -1, "12"}, {"", 5, "NULL"}, {"abc", 5, "'abc'"},
        {"abcdef", 3, "'abc'"}, {"abc", 0, "''"},
    };
    for (const Case& c : cases) {
        const QString s = QString::fromLatin1(c.in);
        const QString literal = c.length < 0 ? sqlb::numberLiteral(s) : sqlb::textLiteral(s, c.length);
        EXPECT_EQ(literal, QString::fromLatin1(c.out)) << c.in << " " << c.length;
    }
}

TEST(SqlBuilder, MoreThanSeventyColumnsStopsBeforeAStatement) {
    CatalogTable t;
    t.name = "WIDE";
    for (int i = 0; i < 71; ++i) t.columns.push_back(col("C", "Integer"));
    Slots sa;
    bool bad = false;
    EXPECT_THROW(sqlb::insert(t, sa, bad), VelkorError);
}
