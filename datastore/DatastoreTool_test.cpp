// The datastore tools as the plug-in and a user see them. The sqlplus
// stand-in: rows, pages, feedback, NULLs and numbers as Oracle prints them,
// || as Oracle reads it, errors and exit statuses, logons and command lines
// (the plug-in's own queries run through it in the golden test).
// olb-dpa-db builds a datastore afresh from SQL files in order; olb-dpa-gen
// writes the counts asked for, clients in a few policies each (or the
// uniform spread), jobs of retired clients, the same content for the same
// seed. Both refuse clearly and leave nothing behind.
#include <gtest/gtest.h>

#include <string>

#include "testsupport/TestSupport.h"

namespace {

std::string Sh(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// The script the plug-in writes for `query`; `settings` (SET lines) may
// follow the plug-in's own.
std::string PluginScript(const std::string& query, const std::string& settings = "") {
  return "set colsep , \nset trimspool on \nset heading off \nset echo off \nset linesize 32767 "
         "\n" +
         settings + query + ";\nexit\n";
}

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

struct Result {
  int status = -1;
  std::string out, err;
};

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

class ToolTest : public ::testing::Test {
 protected:
  // Runs `command` through /bin/sh, standard input from /dev/null.
  Result Run(const std::string& command) {
    Result r;
    std::string errFile = m_dir.file("stderr.txt");
    r.status = olbtest::RunShell("{ " + command + " </dev/null 2>" + Sh(errFile) + "; }", &r.out);
    r.err = olbtest::ReadFile(errFile);
    return r;
  }
  // Runs the stand-in on `db` (empty: OLB_DPA_DATASTORE unset) with `args`,
  // given as shell words.
  Result SqlPlus(const std::string& db, const std::string& args) {
    return Run((db.empty() ? "env -u OLB_DPA_DATASTORE " : "OLB_DPA_DATASTORE=" + Sh(db) + " ") +
               Sh(olbtest::StandInBinDir() + "/sqlplus") + " " + args);
  }
  // Runs the stand-in on `db` with `args`; checks standard output and status.
  Result Expect(const std::string& db, const std::string& args, const std::string& out, int status,
                const std::string& note = "") {
    Result r = SqlPlus(db, args);
    EXPECT_EQ(out, r.out) << args << note;
    EXPECT_EQ(status, r.status) << args << note << "\n" << r.err;
    return r;
  }
  // Runs `script` on the test data the way the plug-in does, from a path
  // with blanks.
  void Script(const std::string& script, const std::string& out, int status = 0) {
    olbtest::WriteFile(m_script, script);
    Expect(Data(), "-S" + m_logon + Sh(m_script), out, status, "\n" + script);
  }
  // The demo datastore with the test data.
  std::string Data() {
    if (!olbtest::FileExists(m_data)) {
      olbtest::WriteFile(m_dir.file("test.sql"), kTestData);
      EXPECT_TRUE(
          olbtest::CreateDatastore(m_data, {olbtest::DemoSqlPath(), m_dir.file("test.sql")}));
    }
    return m_data;
  }
  // The output of `query` on m_db, without the opening blank line and the
  // line end.
  std::string Select(const std::string& query) {
    olbtest::WriteFile(m_dir.file("q.sql"), PluginScript(query));
    std::string out = SqlPlus(m_db, "-S dpa/dpa-demo-58 @" + Sh(m_dir.file("q.sql"))).out;
    return out.size() > 1 ? out.substr(1, out.size() - 2) : out;
  }

  olbtest::TempDir m_dir;
  std::string m_data = m_dir.file("data.db"), m_db = m_dir.file("dpa.db");
  std::string m_script = m_dir.file("olb dpa script.sql");
  std::string m_logon = " dpa/dpa-demo-58 as SYSDBA @";
  std::string m_dbTool = Sh(olbtest::DatastoreToolPath()) + " " + Sh(m_db);
  std::string m_build = m_dbTool + " " + Sh(olbtest::SchemaSqlPath()) + " ";
  std::string m_gen = Sh(olbtest::GeneratorPath()) + " --out " + Sh(m_db) + " ";
};

TEST_F(ToolTest, ScriptsAsSqlPlusRunsThem) {
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
      // || in select lists, nested and UNIONed, around comments and in
      // aliases and quotes; WHERE keeps SQLite's ||.
      {"", "select a ||','|| REPLACE(a || ',y', ',', '-') o, b || NULL, NULL from t where b = 1",
       "\nx,x-y,1,\n", 0},
      {"", "select (c - 1) || ',' || (0 - 1) || ',' from t where b = 2", "\n,-1,\n", 0},
      {"", "select (select '[' || a || b || ']' from t where b = 1) s from dual", "\n[x1]\n", 0},
      {"",
       "select (select a || NULL from t where b = 1) || '-' || (select NULL from dual) s "
       "from dual",
       "\nx-\n", 0},
      {"", "select 'a || b; --' || a from t where a || b is null", "\na || b; --\n", 0},
      {"", "select 'x' x from dual union select b || NULL from t order by 1 desc",
       "\nx\n4\n3\n2\n1\n", 0},
      {"set hea on\n",
       "select DISTINCT a -- the name\n || '!' /* a mark */ \"A||B\" from t "
       "where b = 1",
       "\nA||B\n----\nx!\n", 0},
      {"", "select 12.0, -0.0, -0.25, 1e20, -1.5e30, 9007199254740993, 1.0 / 3, 7 - 4 from dual",
       "\n12,0,-.25,100000000000000000000,-1500000000000000000000000000000,9007199254740993,"
       ".333333333333333,3\n",
       0},
      // TRIMSPOOL trims trailing blanks only; long values are never cut.
      {"", "select a from t where b = 4", "\npad\n", 0},
      {"set trims off\n", "select a from t where b = 4", "\npad   \n", 0},
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

TEST_F(ToolTest, LogonsDatastoresAndCommandLines) {
  std::string dir = m_dir.file("dir with blanks"), path = dir + "/my script.sql";
  ASSERT_EQ(0, Run("mkdir " + Sh(dir)).status);
  olbtest::WriteFile(path, PluginScript("select 1 from dual"));
  for (const char* logon : {"dpa/wrong", "nobody/dpa-demo-58", "dpa", "dpa/DPA-DEMO-58", "/"}) {
    Expect(Data(), std::string("-S ") + logon + " as SYSDBA @" + Sh(path), kDenied, 1);
  }
  olbtest::WriteFile(m_dir.file("text.db"), "not a database\n");
  for (const std::string& db : {std::string(), m_dir.file("missing.db"), m_dir.file("text.db")}) {
    Result r = Expect(db, "-S" + m_logon + Sh(path), kNoDb, 1);
    EXPECT_NE(std::string::npos, r.err.find(db.empty() ? "OLB_DPA_DATASTORE" : db)) << r.err;
  }
  for (const std::string& args :
       {"-S -S DPA/dpa-demo-58 as SYSDBA @" + Sh(path), "-s dpa/dpa-demo-58 AS sysdba @" + Sh(path),
        "-S dpa/dpa-demo-58@DPA @" + Sh(path),
        // A host that splits at the blanks; and the name without ".sql".
        "-S dpa/dpa-demo-58 as SYSDBA @" + Sh(m_dir.file("dir")) + " with blanks/my script.sql",
        "-S dpa/dpa-demo-58 as SYSDBA @" + Sh(dir + "/my script")}) {
    Expect(Data(), args, "\n1\n", 0);
  }
  std::string none = m_dir.file("none.sql");
  Expect(Data(), "-S dpa/dpa-demo-58 @" + Sh(none),
         "SP2-0310: unable to open file \"" + none + "\"\n", 0);
  EXPECT_EQ(1, SqlPlus(Data(), "-Q dpa/dpa-demo-58").status);
}

TEST_F(ToolTest, BuildReplacesAnOldFileAndRunsFilesInOrder) {
  olbtest::WriteFile(m_db, "an old file that is no database");
  olbtest::WriteFile(m_dir.file("1.sql"), "CREATE TABLE t (v TEXT);\nINSERT INTO t VALUES ('1');");
  olbtest::WriteFile(m_dir.file("2.sql"), "-- uses what 1.sql made\nUPDATE t SET v = v || '+2';");
  Result r = Run(m_build + Sh(m_dir.file("1.sql")) + " " + Sh(m_dir.file("2.sql")));
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_EQ("1+2", Select("select v from datamine.t"));
}

// 40 clients, 20 policies, 2000 jobs: the counts asked for; clients in a
// few policies each, through one media server; jobs of retired clients; the
// uniform spread; four drives and three volumes by default.
TEST_F(ToolTest, GeneratorCountsMembershipsAndRetiredClients) {
  auto perClient = [](int least, int most) {
    return "select min(p) >= " + std::to_string(least) + " and max(p) <= " + std::to_string(most) +
           " and max(m) = 1 from (select count(DISTINCT f_group_name) p, count(DISTINCT "
           "f_media_server) m from backupjob group by f_client_name)";
  };
  auto pairs = [](const char* test) {
    return std::string("select count(*) ") + test +
           " from (select DISTINCT f_group_name, f_client_name from backupjob)";
  };
  const std::string retired =
      "select count(DISTINCT f_client_name) || ',' || (count(*) between 100 and 300) from "
      "backupjob where f_client_name NOT IN (select f_name from nodes where f_type = 515)";
  const std::string sizes =
      "select (select group_concat(f_type || ':' || n) from (select f_type, count(*) n from nodes"
      " group by f_type)) ||','|| (select count(*) from group_config) ||','|| (select count(*) "
      "|| ',' || count(DISTINCT f_jobid) from backupjob) ||','|| (select count(*) || ',' || "
      "count(DISTINCT f_jukebox_name) from device_config) ||','|| (select count(*) || ',' || "
      "count(DISTINCT f_pool_name) from disk_volume_config) ||','|| (select count(*) from "
      "backupjob where f_endtime < f_starttime) from dual";
  // Every job's client and group exist, and it ran on a library or a pool.
  const std::string whole =
      "select count(*) from backupjob b "
      "JOIN nodes c ON c.f_name = b.f_client_name AND c.f_type = 515 "
      "JOIN nodes g ON g.f_name = b.f_group_name AND g.f_type = 516 "
      "JOIN group_config gc ON gc.f_group_name = b.f_group_name "
      "WHERE b.f_storage_unit IN (SELECT f_pool_name FROM disk_volume_config) "
      "OR b.f_storage_unit IN (SELECT 'stu-' || f_jukebox_name FROM device_config)";
  const std::string kMore = "--libraries 2 --pools 2 --drives-per-library 3 --volumes-per-pool=2 ";
  const struct {
    std::string options, query, expected;
  } cases[] = {
      {kMore + "--unmapped-percent 0", sizes, "212:1,515:40,516:20,20,2000,2000,6,2,4,2,0"},
      {kMore + "--unmapped-percent 0", whole, "2000"},
      {"--libraries 1 --pools 1", sizes, "212:1,515:40,516:20,20,2000,2000,4,1,3,1,0"},
      {"--policies-per-client 2-2 --unmapped-percent 0", perClient(2, 2), "1"},
      {"--policies-per-client 3", perClient(3, 3), "1"},
      {"", perClient(1, 3), "1"},
      {"--policies-per-client 30-40 --unmapped-percent 0", perClient(15, 20), "1"},  // of 20
      {"--unmapped-percent 10", retired, "4,1"},
      {"--unmapped-percent 0", retired, "0,0"},
      {"", pairs("between 41 and 123"), "1"},
      {"--uniform --unmapped-percent 0", pairs("> 600"), "1"},
  };
  for (const auto& c : cases) {
    Result r = Run(m_gen + "--clients 40 --policies 20 --jobs 2000 " +
                   (Has(c.options, "--pools") ? "" : "--libraries 1 --pools 1 ") + c.options);
    ASSERT_EQ(0, r.status) << c.options << r.err;
    EXPECT_EQ(c.expected, Select(c.query)) << c.options << ": " << c.query;
  }
  // The same content for the same seed only.
  const char* dump =
      "select group_concat(f_jobid || f_group_name || f_client_name || f_storage_unit || "
      "f_status || f_starttime || f_endtime || f_nfiles, ';') from backupjob";
  std::string seeded[3];
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(0, Run(m_gen + "--clients 7 --policies 3 --jobs 500 --libraries 1 --pools 1 --seed " +
                     (i < 2 ? "7" : "8"))
                     .status);
    seeded[i] = Select(dump);
  }
  EXPECT_GT(seeded[0].size(), 1000u);
  EXPECT_EQ(seeded[0], seeded[1]);
  EXPECT_NE(seeded[0], seeded[2]);
}

// Failures say where or why, with status 1 (2 for a wrong command line),
// and leave no file behind.
TEST_F(ToolTest, RefusalsSayWhyAndLeaveNoFile) {
  const std::string bad = m_dir.file("bad.sql"), missing = m_dir.file("missing.sql");
  olbtest::WriteFile(bad, "CREATE TABLE t (v);\n\nINSERT INTO nowhere\n  VALUES (1);\n");
  const std::string gen = m_gen + "--clients ", rest = " --policies 1 --jobs 1 --libraries 0";
  const struct {
    std::string command;
    int status;
    std::string message;
  } cases[] = {
      {m_build + Sh(bad), 1, bad + ":3: no such table: nowhere"},
      {m_build + Sh(missing), 1, "cannot read " + missing},
      {m_dbTool, 2, "usage: olb-dpa-db FILE SQLFILE..."},
      {gen + "1" + rest, 2, "--pools is missing"},
      {Sh(olbtest::GeneratorPath()) + " --clients 1 --pools 0" + rest, 2, "--out is missing"},
      {gen + "x --pools 0" + rest, 2, "--clients needs a count, not 'x'"},
      {gen + "-1 --pools 0" + rest, 2, "--clients needs a count, not '-1'"},
      {gen + "1 --color 2 --pools 0" + rest, 2, "unknown option --color"},
      {gen + "1 --pools 0" + rest + " --seed", 2, "--seed needs a value"},
      {gen + "0 --pools 0" + rest, 1, "jobs need at least one client and one policy"},
      {gen + "1 --pools 0 --policies-per-client 3-2" + rest, 1, "a range from 1 to at most 99"},
      {gen + "1 --pools 0 --policies-per-client 0-2" + rest, 1, "a range from 1 to at most 99"},
      {gen + "1 --pools 0 --policies-per-client 2-x" + rest, 2, "needs MIN-MAX or N, not '2-x'"},
      {gen + "1 --pools 0 --unmapped-percent 101" + rest, 1, "is a percentage"},
  };
  for (const auto& c : cases) {
    Result r = Run(c.command);
    EXPECT_EQ(c.status, r.status) << c.command;
    EXPECT_NE(std::string::npos, r.err.find(c.message + "\n")) << c.command << ": " << r.err;
    EXPECT_FALSE(olbtest::FileExists(m_db)) << c.command;
  }
}

}  // namespace
