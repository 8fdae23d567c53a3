// The datastore tools. olb-dpa-db builds a datastore afresh from SQL files in
// order; olb-dpa-gen writes the counts asked for, unique ids, clients in a
// few policies each (or the uniform spread), jobs of retired clients, and the
// same content for the same seed. Both refuse clearly and leave
// nothing behind.
#include <gtest/gtest.h>

#include <string>

#include "datastore/ToolTestUtil.h"
#include "testsupport/TestSupport.h"

namespace {

using olbdstest::Result;
using olbdstest::Sh;

class DatastoreToolTest : public ::testing::Test {
 protected:
  Result Run(const std::string& command) { return olbdstest::Shell(m_dir, command); }
  // The output of `query` on `db`, read through the sqlplus stand-in (so the
  // datastore logs in like the demo one), without the opening blank line and
  // the line end.
  std::string Select(const std::string& db, const std::string& query) {
    olbtest::WriteFile(m_dir.file("q.sql"), olbdstest::PluginScript(query));
    std::string out =
        olbdstest::RunSqlPlus(m_dir, db, "-S dpa/dpa-demo-58 @" + Sh(m_dir.file("q.sql"))).out;
    return out.size() > 1 ? out.substr(1, out.size() - 2) : out;
  }

  olbtest::TempDir m_dir;
  std::string m_db = m_dir.file("dpa.db");
  std::string m_dbTool = Sh(olbtest::DatastoreToolPath()) + " " + Sh(m_db);
  std::string m_build = m_dbTool + " " + Sh(olbtest::SchemaSqlPath()) + " ";
  std::string m_gen = Sh(olbtest::GeneratorPath()) + " --out " + Sh(m_db) + " ";
};

TEST_F(DatastoreToolTest, BuildReplacesAnOldFileAndRunsFilesInOrder) {
  olbtest::WriteFile(m_db, "an old file that is no database");
  olbtest::WriteFile(m_dir.file("1.sql"), "CREATE TABLE t (v TEXT);\nINSERT INTO t VALUES ('1');");
  olbtest::WriteFile(m_dir.file("2.sql"), "-- uses what 1.sql made\nUPDATE t SET v = v || '+2';");
  Result r = Run(m_build + Sh(m_dir.file("1.sql")) + " " + Sh(m_dir.file("2.sql")));
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_EQ("1+2", Select(m_db, "select v from datamine.t"));
}

// The counts asked for; the same content for the same seed only.
TEST_F(DatastoreToolTest, GeneratorWritesTheCountsAskedFor) {
  const std::string options =
      " --clients 7 --policies 3 --jobs 500 --libraries 2 --pools 2 --drives-per-library 3 "
      "--volumes-per-pool=2 --unmapped-percent 0 --seed ";
  for (const char* run : {"a7", "b7", "c8"}) {
    std::string db = m_dir.file(std::string(1, run[0]) + ".db");
    ASSERT_EQ(0, Run(Sh(olbtest::GeneratorPath()) + " --out " + Sh(db) + options + (run + 1)).status);
  }
  const char* const cases[][2] = {
      {"select f_type || ':' || count(*) from nodes group by f_type", "212:1\n515:7\n516:3"},
      {"select count(*) from group_config", "3"},
      {"select count(*) || ',' || count(DISTINCT f_jobid) from backupjob", "500,500"},
      {"select count(*) || ',' || count(DISTINCT f_jukebox_name) from device_config", "6,2"},
      {"select count(*) || ',' || count(DISTINCT f_pool_name) from disk_volume_config", "4,2"},
      // Every job's client and group exist, and it ran on a library or a pool.
      {"select count(*) from backupjob b "
       "JOIN nodes c ON c.f_name = b.f_client_name AND c.f_type = 515 "
       "JOIN nodes g ON g.f_name = b.f_group_name AND g.f_type = 516 "
       "JOIN group_config gc ON gc.f_group_name = b.f_group_name "
       "WHERE b.f_storage_unit IN (SELECT f_pool_name FROM disk_volume_config) "
       "OR b.f_storage_unit IN (SELECT 'stu-' || f_jukebox_name FROM device_config)",
       "500"},
      {"select count(*) from backupjob where f_endtime < f_starttime", "0"},
  };
  for (const auto& c : cases) EXPECT_EQ(c[1], Select(m_dir.file("a.db"), c[0])) << c[0];
  const char* dump =
      "select group_concat(f_jobid || f_group_name || f_client_name || f_storage_unit || "
      "f_status || f_starttime || f_endtime || f_nfiles, ';') from backupjob";
  std::string a = Select(m_dir.file("a.db"), dump);
  EXPECT_GT(a.size(), 1000u);
  EXPECT_EQ(a, Select(m_dir.file("b.db"), dump));
  EXPECT_NE(a, Select(m_dir.file("c.db"), dump));
}

// Clients in a few policies each, through one media server; jobs of retired
// clients; the uniform spread; four drives and three volumes by default.
TEST_F(DatastoreToolTest, GeneratorMembershipsAndRetiredClients) {
  auto perClient = [](int least, int most) {
    return "select min(p) >= " + std::to_string(least) + " and max(p) <= " +
           std::to_string(most) +
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
  const struct {
    std::string options, query, expected;
  } cases[] = {
      {"--policies-per-client 2-2 --unmapped-percent 0", perClient(2, 2), "1"},
      {"--policies-per-client 3", perClient(3, 3), "1"},
      {"", perClient(1, 3), "1"},
      {"--policies-per-client 30-40 --unmapped-percent 0", perClient(15, 20), "1"},  // of 20
      {"--unmapped-percent 10", retired, "4,1"},
      {"--unmapped-percent 0", retired, "0,0"},
      {"", pairs("between 41 and 123"), "1"},
      {"--uniform --unmapped-percent 0", pairs("> 600"), "1"},
      {"", "select (select count(*) from device_config) || ',' || "
           "(select count(*) from disk_volume_config) from dual", "4,3"},
  };
  for (const auto& c : cases) {
    Result r = Run(m_gen + "--clients 40 --policies 20 --jobs 2000 --libraries 1 --pools 1 " +
                   c.options);
    ASSERT_EQ(0, r.status) << c.options << r.err;
    EXPECT_EQ(c.expected, Select(m_db, c.query)) << c.options << ": " << c.query;
  }
}

// Failures say where or why, with status 1 (2 for a wrong command line),
// and leave no file behind.
TEST_F(DatastoreToolTest, RefusalsSayWhyAndLeaveNoFile) {
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
      {gen + "-1 --pools 0" + rest, 2, "--clients needs a count"},
      {gen + "1 --color 2 --pools 0" + rest, 2, "unknown option --color"},
      {gen + "1 --pools 0" + rest + " --seed", 2, "--seed needs a value"},
      {gen + "0 --pools 0" + rest, 1, "jobs need at least one client and one policy"},
      {gen + "1 --pools 0 --policies-per-client 3-2" + rest, 1, "a range from 1 to at most 99"},
      {gen + "1 --pools 0 --policies-per-client 0-2" + rest, 1, "a range from 1 to at most 99"},
      {gen + "1 --pools 0 --policies-per-client 2-x" + rest, 2, "needs MIN-MAX or N"},
      {gen + "1 --pools 0 --unmapped-percent 101" + rest, 1, "is a percentage"},
  };
  for (const auto& c : cases) {
    Result r = Run(c.command);
    EXPECT_EQ(c.status, r.status) << c.command;
    EXPECT_NE(std::string::npos, r.err.find(c.message)) << c.command << ": " << r.err;
    EXPECT_FALSE(olbtest::FileExists(m_db)) << c.command;
  }
}

}  // namespace
