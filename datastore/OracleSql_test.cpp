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
    ASSERT_EQ(SQLITE_OK, sqlite3_exec(m_db,
                                      "CREATE TABLE t (a TEXT, b INTEGER, p TEXT);"
                                      "INSERT INTO t VALUES ('x', NULL, 'c:\\d,e');"
                                      "CREATE TABLE dual (d TEXT); INSERT INTO dual VALUES ('X');",
                                      nullptr, nullptr, nullptr));
  }
  void TearDown() override { sqlite3_close(m_db); }

  // The first row of the rewritten `sql`, columns joined by '|', then " AS "
  // and the first column's name.
  std::string Eval(const std::string& sql) {
    std::string text = RewriteConcatenation(sql), row;
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(m_db, text.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
      return std::string("error: ") + sqlite3_errmsg(m_db) + " in " + text;
    }
    bool row1 = sqlite3_step(stmt) == SQLITE_ROW;
    for (int c = 0; row1 && c < sqlite3_column_count(stmt); ++c) {
      if (c > 0) row += "|";
      AppendValueText(stmt, c, &row);
    }
    row += std::string(" AS ") + sqlite3_column_name(stmt, 0);
    sqlite3_finalize(stmt);
    return row;
  }

  sqlite3* m_db = nullptr;
};

TEST_F(OracleSqlTest, ConcatenationTreatsNullAsEmptyText) {
  // Commas inside calls and quotes, aliases with and without AS, nested and
  // UNIONed select lists, comments; WHERE is left alone.
  const char* const cases[][2] = {
      {"select 'a' || NULL || 'b' from dual", "ab AS 'a' || NULL || 'b'"},
      {"select a ||','|| b ||','|| REPLACE(p, ',', '-') out from t", "x,,c:\\d-e AS out"},
      {"select a || (1 + 1) as v from t", "x2 AS v"},
      {"select (b - 1) || ',' || (0 - 1) || ',' from t",
       ",-1, AS (b - 1) || ',' || (0 - 1) || ','"},
      {"select a, b || NULL, NULL from t", "x|| AS a"},
      {"select (select '[' || a || b || ']' from t) s from dual", "[x] AS s"},
      {"select (select a || NULL from t) || '-' || (select NULL from dual) s from dual", "x- AS s"},
      {"select 'a || b; --' || a from t where a || b is null", "a || b; --x AS 'a || b; --' || a"},
      {"select 'x' x from dual union select b || NULL from t order by 1 desc", "x AS x"},
      {"select a || b \"A||B\" from t", "x AS A||B"},
      {"select DISTINCT a||b as DISTINCT_A from t", "x AS DISTINCT_A"},
      {"select a -- the name\n || '!' /* and a mark */ z from t", "x! AS z"},
  };
  for (const auto& c : cases) EXPECT_EQ(c[1], Eval(c[0])) << c[0];
}

TEST_F(OracleSqlTest, NumbersAsOraclePrintsThem) {
  std::string text;
  for (double v : {12.0, -0.0, 0.5, -0.25, 12.5, 1e20, -1.5e30, 9007199254740991.0, 1.0 / 3}) {
    text += OracleNumberText(v) + " ";
  }
  EXPECT_EQ(
      "12 0 .5 -.25 12.5 100000000000000000000 -1500000000000000000000000000000 "
      "9007199254740991 .333333333333333 ",
      text);
  EXPECT_EQ("9007199254740993 AS 9007199254740993", Eval("select 9007199254740993 from dual"));
  EXPECT_EQ("3|1.5 AS 7 - 4", Eval("select 7 - 4, 3 / 2.0 from dual"));
}

}  // namespace
}  // namespace olbds
