// The select-list rewrite and value printing, checked by what SQLite then
// returns.
#include "datastore/OracleSql.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>

namespace olbds {
namespace {

class OracleSqlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(SQLITE_OK, sqlite3_open(":memory:", &m_db));
    ASSERT_TRUE(RegisterOracleFunctions(m_db));
    ASSERT_EQ(SQLITE_OK,
              sqlite3_exec(m_db,
                           "CREATE TABLE t (a TEXT, b INTEGER, p TEXT);"
                           "INSERT INTO t VALUES ('x', NULL, 'c:\\d,e');"
                           "CREATE TABLE dual (dummy TEXT); INSERT INTO dual VALUES ('X');",
                           nullptr, nullptr, nullptr));
  }
  void TearDown() override { sqlite3_close(m_db); }

  // The first row of the rewritten `sql`, columns joined by '|', followed by
  // " AS " and the first column's name.
  std::string Eval(const std::string& sql) {
    sqlite3_stmt* stmt = nullptr;
    std::string text = RewriteConcatenation(sql);
    if (sqlite3_prepare_v2(m_db, text.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
      return std::string("error: ") + sqlite3_errmsg(m_db) + " in " + text;
    }
    std::string row;
    if (sqlite3_step(stmt) == SQLITE_ROW) {
      for (int c = 0; c < sqlite3_column_count(stmt); ++c) {
        if (c > 0) row += "|";
        AppendValueText(stmt, c, &row);
      }
      row += std::string(" AS ") + sqlite3_column_name(stmt, 0);
    }
    sqlite3_finalize(stmt);
    return row;
  }

  sqlite3* m_db = nullptr;
};

TEST_F(OracleSqlTest, ConcatenationTreatsNullAsEmptyText) {
  EXPECT_EQ("ab AS 'a' || NULL || 'b'", Eval("select 'a' || NULL || 'b' from dual"));
  EXPECT_EQ("x,,c:\\d-e AS out",
            Eval("select a ||','|| b ||','|| REPLACE(p, ',', '-') out from t"));
  EXPECT_EQ("x2 AS v", Eval("select a || (1 + 1) as v from t"));
  EXPECT_EQ(",-1, AS (b - 1) || ',' || (0 - 1) || ','",
            Eval("select (b - 1) || ',' || (0 - 1) || ',' from t"));
  EXPECT_EQ("x|| AS a", Eval("select a, b || NULL, NULL from t"));
  // Nested select lists, UNION and quoted text are handled; WHERE is not touched.
  EXPECT_EQ("[x] AS s", Eval("select (select '[' || a || b || ']' from t) s from dual"));
  EXPECT_EQ("a || b; --x AS 'a || b; --' || a",
            Eval("select 'a || b; --' || a from t where a || b is null"));
  EXPECT_EQ("x AS v", Eval("select a || NULL v from t"));
  EXPECT_EQ("x AS x", Eval("select 'x' x from dual union select b || NULL from t order by 1 desc"));
  EXPECT_EQ("x AS A||B", Eval("select a || b \"A||B\" from t"));
  EXPECT_EQ("x AS DISTINCT_A", Eval("select DISTINCT a||b as DISTINCT_A from t"));
  EXPECT_EQ("x! AS z", Eval("select a -- the name\n || '!' /* and a mark */ z from t"));
}

TEST_F(OracleSqlTest, NumbersAsOraclePrintsThem) {
  EXPECT_EQ("12", OracleNumberText(12.0));
  EXPECT_EQ("0", OracleNumberText(-0.0));
  EXPECT_EQ(".5", OracleNumberText(0.5));
  EXPECT_EQ("-.25", OracleNumberText(-0.25));
  EXPECT_EQ("12.5", OracleNumberText(12.5));
  EXPECT_EQ("100000000000000000000", OracleNumberText(1e20));
  EXPECT_EQ("-1500000000000000000000000000000", OracleNumberText(-1.5e30));
  EXPECT_EQ("9007199254740991", OracleNumberText(9007199254740991.0));
  EXPECT_EQ(".333333333333333", OracleNumberText(1.0 / 3));
  EXPECT_EQ("9007199254740993 AS 9007199254740993", Eval("select 9007199254740993 from dual"));
  EXPECT_EQ("3|1.5 AS 7 - 4", Eval("select 7 - 4, 3 / 2.0 from dual"));
}

}  // namespace
}  // namespace olbds
