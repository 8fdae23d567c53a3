// The sqlplus stand-in as the plug-in and a user see it: rows, pages,
// feedback, NULLs and numbers, errors and exit statuses, logons and command
// lines. (The plug-in's own queries run through it in the golden test.)
#include <gtest/gtest.h>

#include <string>

#include "datastore/ToolTestUtil.h"
#include "testsupport/TestSupport.h"

namespace {

using olbdstest::PluginScript;
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

const char kNoTable[] = "ERROR at line 1:\nORA-00942: table or view does not exist\n\n";
const char kDenied[] = "ERROR:\nORA-01017: invalid username/password; logon denied\n";
const char kNoDb[] = "ERROR:\nORA-12154: TNS:could not resolve the connect identifier specified\n";

class SqlPlusTest : public ::testing::Test {
 protected:
  void SetUp() override {
    olbtest::WriteFile(m_dir.file("test.sql"), kTestData);
    ASSERT_TRUE(olbtest::CreateDatastore(m_db, {olbtest::DemoSqlPath(), m_dir.file("test.sql")}));
  }
  // Runs the stand-in on `db` with `args`; checks standard output and status.
  olbdstest::Result Expect(const std::string& db, const std::string& args, const std::string& out,
                           int status, const std::string& note = "") {
    olbdstest::Result r = olbdstest::RunSqlPlus(m_dir, db, args);
    EXPECT_EQ(out, r.out) << args << note;
    EXPECT_EQ(status, r.status) << args << note << "\n" << r.err;
    return r;
  }
  // Runs `script` the way the plug-in does, from a path with blanks.
  void Script(const std::string& script, const std::string& out, int status = 0) {
    olbtest::WriteFile(m_script, script);
    Expect(m_db, "-S" + m_logon + Sh(m_script), out, status, "\n" + script);
  }

  olbtest::TempDir m_dir;
  std::string m_db = m_dir.file("dpa.db");
  std::string m_script = m_dir.file("olb dpa script.sql");
  std::string m_logon = " dpa/dpa-demo-58 as SYSDBA @";
};

TEST_F(SqlPlusTest, ScriptsAsSqlPlusRunsThem) {
  std::string fifteen;
  for (int n = 1; n <= 15; ++n) fifteen += (n % 14 == 1 ? "\n" : "") + std::to_string(n) + "\n";
  const struct {
    std::string settings, query, out;
    int status;
  } cases[] = {
      // Fewer than six rows go unreported; FEEDBACK ON counts from one.
      {"", "select n from many where n <= 5", "\n1\n2\n3\n4\n5\n", 0},
      {"", "select n from many where n <= 6", "\n1\n2\n3\n4\n5\n6\n\n6 rows selected.\n", 0},
      {"set feedback on\n", "select n from many where n = 1", "\n1\n\n1 row selected.\n", 0},
      {"", "select a from t where b > 99", "\nno rows selected\n", 0},
      {"set feedback off\n", "select a from t where b > 99", "", 0},
      // A blank line opens every page, of 14 rows by default; none with 0.
      {"set pagesize 3\nset feedback off\n", "select n from many where n <= 7 order by n",
       "\n1\n2\n3\n\n4\n5\n6\n\n7\n", 0},
      {"set pages 0\n", "select n from many where n <= 2 order by n", "1\n2\n", 0},
      {"", "select n from many where n <= 15 order by n", fifteen + "\n15 rows selected.\n", 0},
      {"set hea on\nset colsep '|'\n", "select a || NULL v, b from t where b = 1",
       "\nV|B\n-|-\nx|1\n", 0},
      // NULL is empty text, alone and in ||; numbers print as Oracle's.
      {"", "select 'a' || NULL || 'b' ||','|| a ||','|| c from t order by b",
       "\nab,x,12.5\nab,y,\nab,,.5\nab,pad   ,3\n", 0},
      {"", "select b, c * 2, b || c, 1.0 / 4, -0.5 from t where b = 1", "\n1,25,112.5,.25,-.5\n",
       0},
      // TRIMSPOOL trims trailing blanks only; long values are never cut.
      {"", "select a from t where b = 4", "\npad\n", 0},
      {"set trimspool off\n", "select a from t where b = 4", "\npad   \n", 0},
      {"", "select v || ',' from big", "\n" + std::string(30000, 'v') + ",\n", 0},
      // Statements span lines and keep quoted semicolons.
      {"", "select a || ';'\n  from t\n where b = 1", "\nx;\n", 0},
      // The plug-in's WHENEVER ends the run at the first failure.
      {"whenever sqlerror exit failure\n", "select * from nosuch", kNoTable, 1},
      {"WHENEVER SQLERROR EXIT SQL.SQLCODE\n", "select * from nosuch", kNoTable, 942 & 0xff},
      {"whenever sqlerror exit failure\nwhenever sqlerror continue\n", "select * from nosuch",
       kNoTable, 0},
  };
  for (const auto& c : cases) Script(PluginScript(c.query, c.settings), c.out, c.status);
  // Without WHENEVER a failed statement shows its line and the script goes
  // on; "/" runs the buffer; EXIT and QUIT set the status.
  Script(
      "set heading off\nselect b\n  from t, nosuch;\nselect nocolumn from t;\nselect a from t\n"
      " where b = 2\n/\n",
      "ERROR at line 2:\nORA-00942: table or view does not exist\n\n"
      "ERROR at line 1:\nORA-00904: \"NOCOLUMN\": invalid identifier\n\n\ny\n");
  Script("prompt one\nexit failure\nprompt two\n", "one\n", 1);
  Script("QUIT 3;\n", "", 3);
}

TEST_F(SqlPlusTest, LogonsDatastoresAndCommandLines) {
  std::string dir = m_dir.file("dir with blanks"), path = dir + "/my script.sql";
  ASSERT_EQ(0, olbdstest::Shell(m_dir, "mkdir " + Sh(dir)).status);
  olbtest::WriteFile(path, PluginScript("select 1 from dual"));
  for (const char* logon : {"dpa/wrong", "nobody/dpa-demo-58", "dpa", "dpa/DPA-DEMO-58", "/"}) {
    Expect(m_db, std::string("-S ") + logon + " as SYSDBA @" + Sh(path), kDenied, 1);
  }
  olbtest::WriteFile(m_dir.file("text.db"), "not a database\n");
  for (const std::string& db : {std::string(), m_dir.file("missing.db"), m_dir.file("text.db")}) {
    olbdstest::Result r = Expect(db, "-S" + m_logon + Sh(path), kNoDb, 1);
    EXPECT_NE(std::string::npos, r.err.find(db.empty() ? "OLB_DPA_DATASTORE" : db)) << r.err;
  }
  for (const std::string& args :
       {"-S -S DPA/dpa-demo-58 as SYSDBA @" + Sh(path), "-s dpa/dpa-demo-58 AS sysdba @" + Sh(path),
        "-S dpa/dpa-demo-58@DPA @" + Sh(path),
        // A host that splits at the blanks; and the name without ".sql".
        "-S dpa/dpa-demo-58 as SYSDBA @" + Sh(m_dir.file("dir")) + " with blanks/my script.sql",
        "-S dpa/dpa-demo-58 as SYSDBA @" + Sh(dir + "/my script")}) {
    Expect(m_db, args, "\n1\n", 0);
  }
  std::string none = m_dir.file("none.sql");
  Expect(m_db, "-S dpa/dpa-demo-58 @" + Sh(none),
         "SP2-0310: unable to open file \"" + none + "\"\n", 0);
  EXPECT_EQ(1, olbdstest::RunSqlPlus(m_dir, m_db, "-Q dpa/dpa-demo-58").status);
}

}  // namespace
