// The datastore tools as the plug-in and a user see them: the sqlplus stand-in
// runs testdata/sqlplus/ as SQL*Plus would and takes the plug-in's logons and
// command lines; olb-dpa-db builds a datastore afresh from SQL files in order;
// olb-dpa-gen writes what testdata/generator/ asks for, the same content for the
// same seed. Both refuse clearly and leave nothing behind.
#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <tuple>

#include "testsupport/TestSupport.h"

namespace {

const auto Sh = olbtest::ShellQuote;

// The script the plug-in writes for `query`.
std::string PluginScript(const std::string& query) {
  static const std::string head =
      "set colsep , \nset trimspool on \nset heading off \nset echo off \nset linesize 32767 \n";
  return head + query + ";\nexit\n";
}

struct Result {
  int status = -1;
  std::string out, err;
};

class ToolTest : public ::testing::Test {
 protected:
  // m_data: the demo datastore with the tables of testdata/sqlplus/data.sql.
  ToolTest() {
    EXPECT_TRUE(olbtest::CreateDatastore(
        m_data, {olbtest::DemoSqlPath(), m_testdata + "sqlplus/data.sql"}));
  }
  // Runs `command` through /bin/sh, standard input from /dev/null.
  Result Run(const std::string& command) {
    Result r;
    r.status = olbtest::RunShell("{ " + command + " </dev/null 2>" + Sh(m_err) + "; }", &r.out);
    r.err = olbtest::ReadFile(m_err);
    return r;
  }
  // Runs the stand-in on `db` (empty: OLB_DPA_DATASTORE unset) with `args`, as shell words.
  Result SqlPlus(const std::string& db, const std::string& args) {
    return Run((db.empty() ? "env -u OLB_DPA_DATASTORE " : "OLB_DPA_DATASTORE=" + Sh(db) + " ") +
               Sh(olbtest::StandInBinDir() + "/sqlplus") + " " + args);
  }
  Result Expect(const std::string& db, const std::string& args, const std::string& out, int st) {
    Result r = SqlPlus(db, args);
    EXPECT_EQ(out, r.out) << args;
    EXPECT_EQ(st, r.status) << args << "\n" << r.err;
    return r;
  }
  // Runs each NN-topic.sql in testdata/`dir` as the plug-in runs its scripts,
  // from a path with blanks: on the test data, or on what olb-dpa-gen writes
  // for the options on a first line "-- olb-dpa-gen OPTIONS". NN-topic.out
  // holds what it prints and then "[exit STATUS]". Returns how many ran.
  int Goldens(const std::string& dir) {
    int count = 0;
    for (const std::string& name : olbtest::ListDir(m_testdata + dir)) {
      const std::string path = m_testdata + dir + name, text = olbtest::ReadFile(path);
      if (!isdigit(name[0]) || path.compare(path.size() - 4, 4, ".sql") != 0) continue;
      ++count;
      const std::string gen = "-- olb-dpa-gen ", first = text.substr(0, text.find('\n'));
      const bool generated = first.compare(0, gen.size(), gen) == 0;
      Result r = generated ? Run(m_gen + first.substr(gen.size())) : Result{0, "", ""};
      EXPECT_EQ(0, r.status) << name << ": " << r.err;
      olbtest::WriteFile(m_script, text);
      r = SqlPlus(generated ? m_db : m_data, "-S" + m_logon + Sh(m_script));
      olbtest::ExpectGolden(path.substr(0, path.size() - 4) + ".out",
                            r.out + "[exit " + std::to_string(r.status) + "]\n");
    }
    return count;
  }
  olbtest::TempDir m_dir;
  std::string m_testdata = olbtest::SourceDir() + "/datastore/testdata/";
  std::string m_data = m_dir.file("data.db"), m_db = m_dir.file("dpa.db"), m_err = m_dir.file("e");
  std::string m_script = m_dir.file("olb dpa script.sql"), m_logon = " dpa/dpa-demo-58 as SYSDBA @";
  std::string m_dbTool = Sh(olbtest::DatastoreToolPath()) + " " + Sh(m_db);
  std::string m_build = m_dbTool + " " + Sh(olbtest::SchemaSqlPath()) + " ";
  std::string m_gen = Sh(olbtest::GeneratorPath()) + " --out " + Sh(m_db) + " ";
};

TEST_F(ToolTest, ScriptsAsSqlPlusRunsThem) {
  EXPECT_EQ(8, Goldens("sqlplus/"));
  // Long values are never cut (kept here for their size).
  olbtest::WriteFile(m_script, PluginScript("select v || ',' from big"));
  Expect(m_data, "-S" + m_logon + Sh(m_script), "\n" + std::string(30000, 'v') + ",\n", 0);
}

TEST_F(ToolTest, LogonsDatastoresAndCommandLines) {
  const std::string dir = m_dir.file("dir with blanks"), path = dir + "/my script.sql";
  const std::string at = " as SYSDBA @" + Sh(path), none = m_dir.file("none.sql");
  ASSERT_EQ(0, Run("mkdir " + Sh(dir)).status);
  olbtest::WriteFile(path, PluginScript("select 1 from dual"));
  olbtest::WriteFile(m_dir.file("text.db"), "not a database\n");
  for (const char* logon : {"dpa/wrong", "nobody/dpa-demo-58", "dpa", "dpa/DPA-DEMO-58", "/"})
    Expect(m_data, std::string("-S ") + logon + at,
           "ERROR:\nORA-01017: invalid username/password; logon denied\n", 1);
  const char* noDb = "ERROR:\nORA-12154: TNS:could not resolve the connect identifier specified\n";
  for (const std::string& db : {std::string(), m_dir.file("missing.db"), m_dir.file("text.db")}) {
    Result r = Expect(db, "-S dpa/dpa-demo-58" + at, noDb, 1);
    EXPECT_NE(std::string::npos, r.err.find(db.empty() ? "OLB_DPA_DATASTORE" : db)) << r.err;
  }
  // A host that splits at the blanks; and the name without ".sql".
  for (const std::string& args :
       {"-S -S DPA/dpa-demo-58" + at, "-s dpa/dpa-demo-58 AS sysdba @" + Sh(path),
        "-S dpa/dpa-demo-58@DPA @" + Sh(path),
        "-S" + m_logon + Sh(m_dir.file("dir")) + " with blanks/my script.sql",
        "-S" + m_logon + Sh(dir + "/my script")})
    Expect(m_data, args, "\n1\n", 0);
  Expect(m_data, "-S dpa/dpa-demo-58 @" + Sh(none),
         "SP2-0310: unable to open file \"" + none + "\"\n", 0);
  EXPECT_EQ(1, SqlPlus(m_data, "-Q dpa/dpa-demo-58").status);
}

TEST_F(ToolTest, GeneratorCountsMembershipsAndRetiredClients) {
  EXPECT_EQ(8, Goldens("generator/"));
  // The same content for the same seed only.
  const std::string seed =
      m_gen + "--clients 7 --policies 3 --jobs 500 --libraries 1 --pools 1 --seed ";
  olbtest::WriteFile(m_script, PluginScript("select * from backupjob"));
  std::string seeded[3];
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(0, Run(seed + "778"[i]).status);
    seeded[i] = SqlPlus(m_db, "-S" + m_logon + Sh(m_script)).out;
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
  const std::tuple<std::string, int, std::string> cases[] = {
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
  for (const auto& [command, status, message] : cases) {
    Result r = Run(command);
    EXPECT_EQ(status, r.status) << command;
    EXPECT_NE(std::string::npos, r.err.find(message + "\n")) << command << ": " << r.err;
    EXPECT_FALSE(olbtest::FileExists(m_db)) << command;
  }
}

}  // namespace
