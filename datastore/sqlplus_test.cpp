// The sqlplus stand-in as the plug-in and a user see it: its output for rows,
// pages, feedback, NULLs and numbers, its errors, logon and command lines.
#include <gtest/gtest.h>

#include <string>

#include "datastore/ToolTestUtil.h"
#include "testsupport/TestSupport.h"

namespace {

using olbdstest::PluginScript;
using olbdstest::Result;
using olbdstest::Sh;

const char kTestData[] = R"sql(
CREATE TABLE t (a TEXT, b INTEGER, c NUMERIC);
INSERT INTO t VALUES ('x', 1, 12.5), ('y', 2, NULL), (NULL, 3, 0.5), ('pad   ', 4, 3.0);
CREATE TABLE many (n INTEGER);
WITH RECURSIVE s(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM s WHERE n < 20)
INSERT INTO many SELECT n FROM s;
CREATE TABLE big (v TEXT);
INSERT INTO big VALUES (replace(hex(zeroblob(15000)), '0', 'v'));
)sql";

const char kBadLogon[] = "ERROR:\nORA-01017: invalid username/password; logon denied\n";
const char kNoDatastore[] =
    "ERROR:\nORA-12154: TNS:could not resolve the connect identifier specified\n";

class SqlPlusTest : public ::testing::Test {
 protected:
  void SetUp() override {
    olbtest::WriteFile(m_dir.file("test.sql"), kTestData);
    ASSERT_TRUE(olbtest::CreateDatastore(m_db, {m_dir.file("test.sql")}));
  }
  Result Run(const std::string& script) {
    return olbdstest::RunScript(m_dir, m_db, m_dir.file("script.sql"), script);
  }
  // The output of `query` run with the plug-in's settings plus `settings`.
  std::string Query(const std::string& query, const std::string& settings = "") {
    Result r = Run(PluginScript(query, settings));
    EXPECT_EQ(0, r.status) << r.out << r.err;
    return r.out;
  }

  olbtest::TempDir m_dir;
  std::string m_db = m_dir.file("dpa.db");
};

TEST_F(SqlPlusTest, RowsFeedbackAndPages) {
  EXPECT_EQ("\nx,1\ny,2\n", Query("select a, b from t where b <= 2 order by b"));
  EXPECT_EQ("\nno rows selected\n", Query("select a from t where b > 99"));
  EXPECT_EQ("", Query("select a from t where b > 99", "set feedback off\n"));
  // Five rows go unreported, six are counted; FEEDBACK ON counts from one.
  EXPECT_EQ("\n1\n2\n3\n4\n5\n", Query("select n from many where n <= 5"));
  EXPECT_EQ("\n1\n2\n3\n4\n5\n6\n\n6 rows selected.\n", Query("select n from many where n <= 6"));
  EXPECT_EQ("\n1\n\n1 row selected.\n",
            Query("select n from many where n = 1", "set feedback on\n"));
  // A blank line opens every page; PAGESIZE 0 has no pages.
  EXPECT_EQ("\n1\n2\n3\n\n4\n5\n6\n\n7\n", Query("select n from many where n <= 7 order by n",
                                                 "set pagesize 3\nset feedback off\n"));
  EXPECT_EQ("1\n2\n", Query("select n from many where n <= 2 order by n", "set pages 0\n"));
  std::string twenty = Query("select n from many order by n");
  EXPECT_EQ(0u, twenty.find("\n1\n2\n"));
  EXPECT_NE(std::string::npos, twenty.find("\n14\n\n15\n"));
  EXPECT_NE(std::string::npos, twenty.find("\n20\n\n20 rows selected.\n"));
}

TEST_F(SqlPlusTest, HeadingsAndColumnSeparator) {
  EXPECT_EQ("\nA|B\n-|-\nx|1\n",
            Query("select a, b from t where b = 1", "set heading on\nset colsep '|'\n"));
  EXPECT_EQ("\nV\n-\nx\n", Query("select a || NULL v from t where b = 1", "set hea on\n"));
}

TEST_F(SqlPlusTest, NullsConcatenateAsEmptyText) {
  EXPECT_EQ("\nab,x,12.5\nab,y,\nab,,.5\nab,pad   ,3\n",
            Query("select 'a' || NULL || 'b' ||','|| a ||','|| c from t order by b"));
  EXPECT_EQ("\n\n", Query("select a from t where b = 3"));
  EXPECT_EQ("\nx-\n", Query("select (select a || NULL from t where b = 1) || '-' || "
                            "(select NULL from dual) from dual"));
  EXPECT_EQ("\n-,ab\n",
            Query("select REPLACE(NULL, ',', '-') || '-' , 'a' || NULL || 'b' from dual"));
}

TEST_F(SqlPlusTest, NumbersPrintAsOracleDoes) {
  EXPECT_EQ("\n1,12.5,2,25,0,112.5\n",
            Query("select b, c, b * 2, c * 2, b - 1, b || c from t where b = 1"));
  EXPECT_EQ("\n.25,1,-.5,3\n", Query("select 1.0 / 4, 2.0 / 2, -0.5, c from t where b = 4"));
}

TEST_F(SqlPlusTest, TrailingBlanksAndLongValues) {
  EXPECT_EQ("\npad\n", Query("select a from t where b = 4"));
  EXPECT_EQ("\npad   \n", Query("select a from t where b = 4", "set trimspool off\n"));
  std::string line = Query("select v || ',' from big");
  EXPECT_EQ("\n" + std::string(30000, 'v') + ",\n", line);
}

TEST_F(SqlPlusTest, StatementsSpanLinesAndKeepQuotedSemicolons) {
  EXPECT_EQ("\nx;\n", Query("select a || ';'\n  from t\n where b = 1"));
  Result r = Run("set heading off\nselect a from t\n where b = 2\n/\nexit\n");
  EXPECT_EQ("\ny\n", r.out);
}

TEST_F(SqlPlusTest, FailedQueryReportsOracleErrorAndGoesOn) {
  Result r = Run("set heading off\nselect * from nosuch;\nselect b from t where b = 1;\nexit\n");
  EXPECT_EQ(0, r.status);
  EXPECT_EQ("ERROR at line 1:\nORA-00942: table or view does not exist\n\n\n1\n", r.out);

  r = Run("select b\n  from t, nosuch;\nselect nocolumn from t;\n");
  EXPECT_EQ(0, r.status);
  EXPECT_EQ(
      "ERROR at line 2:\nORA-00942: table or view does not exist\n\n"
      "ERROR at line 1:\nORA-00904: \"NOCOLUMN\": invalid identifier\n\n",
      r.out);
}

TEST_F(SqlPlusTest, WheneverSqlErrorExits) {
  Result r = Run("whenever sqlerror exit failure\nselect * from nosuch;\nprompt not reached\n");
  EXPECT_EQ(1, r.status);
  EXPECT_EQ("ERROR at line 1:\nORA-00942: table or view does not exist\n\n", r.out);
  EXPECT_EQ(174, Run("WHENEVER SQLERROR EXIT SQL.SQLCODE\nselect * from nosuch;\n").status);
  EXPECT_EQ(0, Run("whenever sqlerror exit failure\nwhenever sqlerror continue\n"
                   "whenever oserror exit failure\nselect * from nosuch;\n")
                   .status);
}

TEST_F(SqlPlusTest, ExitStatuses) {
  EXPECT_EQ(0, Run("select 1 from dual;\n").status);  // end of script, /dev/null as input
  EXPECT_EQ(1, Run("exit failure\n").status);
  EXPECT_EQ(3, Run("QUIT 3;\n").status);
  Result r = Run("prompt one\nexit\nprompt two\n");
  EXPECT_EQ(0, r.status);
  EXPECT_EQ("one\n", r.out);
}

TEST_F(SqlPlusTest, BadCredentialsAreRefused) {
  olbtest::WriteFile(m_dir.file("q.sql"), PluginScript("select 1 from dual"));
  std::string script = " as SYSDBA @" + Sh(m_dir.file("q.sql"));
  for (const char* logon : {"dpa/wrong", "nobody/dpa-demo-58", "dpa", "dpa/DPA-DEMO-58", "/"}) {
    Result r = olbdstest::RunSqlPlus(m_dir, m_db, std::string("-S ") + logon + script);
    EXPECT_EQ(1, r.status) << logon;
    EXPECT_EQ(kBadLogon, r.out) << logon;
  }
  EXPECT_EQ("\n1\n", olbdstest::RunSqlPlus(m_dir, m_db, "-S DPA/dpa-demo-58" + script).out);
}

TEST_F(SqlPlusTest, CommandLineVariants) {
  std::string dir = m_dir.file("dir with blanks");
  ASSERT_EQ(0, olbdstest::Shell(m_dir, "mkdir " + Sh(dir)).status);
  std::string path = dir + "/my script.sql";
  olbtest::WriteFile(path, PluginScript("select 1 from dual"));
  for (const std::string& args :
       {"-S dpa/dpa-demo-58 as SYSDBA @" + Sh(path), "-S -S dpa/dpa-demo-58 as SYSDBA @" + Sh(path),
        "-s dpa/dpa-demo-58 AS sysdba @" + Sh(path), "-S dpa/dpa-demo-58@DPA @" + Sh(path),
        // A host that splits at the blanks; and the name without ".sql".
        "-S dpa/dpa-demo-58 as SYSDBA @" + Sh(m_dir.file("dir")) + " with blanks/my script.sql",
        "-S dpa/dpa-demo-58 as SYSDBA @" + Sh(dir + "/my script")}) {
    Result r = olbdstest::RunSqlPlus(m_dir, m_db, args);
    EXPECT_EQ(0, r.status) << args << "\n" << r.out << r.err;
    EXPECT_EQ("\n1\n", r.out) << args;
  }
  Result r =
      olbdstest::RunSqlPlus(m_dir, m_db, "-S dpa/dpa-demo-58 @" + Sh(m_dir.file("none.sql")));
  EXPECT_NE(std::string::npos, r.out.find("SP2-0310: unable to open file")) << r.out;
  EXPECT_EQ(1, olbdstest::RunSqlPlus(m_dir, m_db, "-Q dpa/dpa-demo-58").status);
}

TEST_F(SqlPlusTest, MissingDatastoreCannotConnect) {
  olbtest::WriteFile(m_dir.file("q.sql"), PluginScript("select 1 from dual"));
  olbtest::WriteFile(m_dir.file("text.db"), "not a database\n");
  std::string args = "-S dpa/dpa-demo-58 as SYSDBA @" + Sh(m_dir.file("q.sql"));
  for (const std::string& db : {std::string(), m_dir.file("missing.db"), m_dir.file("text.db")}) {
    Result r = olbdstest::RunSqlPlus(m_dir, db, args);
    EXPECT_EQ(1, r.status) << db;
    EXPECT_EQ(kNoDatastore, r.out) << db;
    EXPECT_NE(std::string::npos, r.err.find(db.empty() ? "OLB_DPA_DATASTORE" : db)) << r.err;
  }
}

}  // namespace
