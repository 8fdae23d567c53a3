// olb-dpa-gen: the counts asked for, jobs that all map, unique ids, the same
// content for the same seed, and clear refusals of bad command lines.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>

#include "datastore/ToolTestUtil.h"
#include "testsupport/TestSupport.h"

namespace {

using olbdstest::Result;
using olbdstest::Sh;

// The first column of the first row of `sql`, as text.
std::string Scalar(const std::string& db, const std::string& sql) {
  sqlite3* h = nullptr;
  std::string value = "<error>";
  if (sqlite3_open_v2(db.c_str(), &h, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(h, sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK &&
        sqlite3_step(stmt) == SQLITE_ROW) {
      const unsigned char* text = sqlite3_column_text(stmt, 0);
      value = text != nullptr ? reinterpret_cast<const char*>(text) : "";
    }
    sqlite3_finalize(stmt);
  }
  sqlite3_close(h);
  return value;
}

class GeneratorTest : public ::testing::Test {
 protected:
  Result Generate(const std::string& out, const std::string& options) {
    return olbdstest::Shell(m_dir,
                            Sh(olbtest::GeneratorPath()) + " --out " + Sh(out) + " " + options);
  }
  olbtest::TempDir m_dir;
};

TEST_F(GeneratorTest, WritesTheCountsAskedFor) {
  std::string db = m_dir.file("gen.db");
  Result r = Generate(db,
                      "--clients 7 --policies 3 --jobs 500 --libraries 2 --pools 2 "
                      "--drives-per-library 3 --volumes-per-pool=2 --seed 42");
  ASSERT_EQ(0, r.status) << r.out << r.err;
  EXPECT_EQ("1", Scalar(db, "SELECT count(*) FROM nodes WHERE f_type = 212"));
  EXPECT_EQ("7", Scalar(db, "SELECT count(*) FROM nodes WHERE f_type = 515"));
  EXPECT_EQ("3", Scalar(db, "SELECT count(*) FROM nodes WHERE f_type = 516"));
  EXPECT_EQ("3", Scalar(db, "SELECT count(*) FROM group_config"));
  EXPECT_EQ("500", Scalar(db, "SELECT count(DISTINCT f_jobid) FROM backupjob"));
  EXPECT_EQ("500", Scalar(db, "SELECT count(*) FROM backupjob"));
  EXPECT_EQ("6", Scalar(db, "SELECT count(*) FROM device_config"));
  EXPECT_EQ("2", Scalar(db, "SELECT count(DISTINCT f_jukebox_name) FROM device_config"));
  EXPECT_EQ("4", Scalar(db, "SELECT count(*) FROM disk_volume_config"));
  EXPECT_EQ("2", Scalar(db, "SELECT count(DISTINCT f_pool_name) FROM disk_volume_config"));
  // Every job's client and group exist, and it ran on a library or a pool.
  EXPECT_EQ("500",
            Scalar(db,
                   "SELECT count(*) FROM backupjob b "
                   "JOIN nodes c ON c.f_name = b.f_client_name AND c.f_type = 515 "
                   "JOIN nodes g ON g.f_name = b.f_group_name AND g.f_type = 516 "
                   "JOIN group_config gc ON gc.f_group_name = b.f_group_name "
                   "WHERE b.f_storage_unit IN (SELECT f_pool_name FROM disk_volume_config) "
                   "OR b.f_storage_unit IN (SELECT 'stu-' || f_jukebox_name FROM device_config)"));
  EXPECT_EQ("0", Scalar(db, "SELECT count(*) FROM backupjob WHERE f_endtime < f_starttime"));
  // The datastore logs in like the demo one.
  EXPECT_EQ("dpa-demo-58", Scalar(db, "SELECT f_password FROM login WHERE f_user = 'dpa'"));
}

TEST_F(GeneratorTest, SameSeedSameContent) {
  const char* dump =
      "SELECT group_concat(f_jobid || f_group_name || f_client_name || f_storage_unit || "
      "f_status || f_starttime || f_endtime || f_nfiles, ';') FROM backupjob";
  const std::string options = "--clients 5 --policies 4 --jobs 200 --libraries 1 --pools 1";
  ASSERT_EQ(0, Generate(m_dir.file("a.db"), options + " --seed 7").status);
  ASSERT_EQ(0, Generate(m_dir.file("b.db"), options + " --seed 7").status);
  ASSERT_EQ(0, Generate(m_dir.file("c.db"), options + " --seed 8").status);
  std::string a = Scalar(m_dir.file("a.db"), dump);
  EXPECT_GT(a.size(), 1000u);
  EXPECT_EQ(a, Scalar(m_dir.file("b.db"), dump));
  EXPECT_NE(a, Scalar(m_dir.file("c.db"), dump));
  // Defaults: four drives per library, three volumes per pool.
  EXPECT_EQ("4", Scalar(m_dir.file("a.db"), "SELECT count(*) FROM device_config"));
  EXPECT_EQ("3", Scalar(m_dir.file("a.db"), "SELECT count(*) FROM disk_volume_config"));
}

TEST_F(GeneratorTest, RefusesBadCommandLines) {
  std::string db = m_dir.file("bad.db");
  const std::string rest = "--policies 1 --jobs 1 --libraries 0 --pools 0";
  struct Case {
    std::string options;
    int status;
    const char* message;
  } cases[] = {
      {"--clients 1 --policies 1 --jobs 1 --libraries 0", 2, "--pools is missing"},
      {"--clients x " + rest, 2, "--clients needs a count, not 'x'"},
      {"--clients -1 " + rest, 2, "--clients needs a count"},
      {"--clients 1 --color 2 " + rest, 2, "unknown option --color"},
      {"--clients 1 " + rest + " --seed", 2, "--seed needs a value"},
      {"--clients 0 " + rest, 1, "jobs need at least one client and one policy"},
  };
  for (const Case& c : cases) {
    Result r = Generate(db, c.options);
    EXPECT_EQ(c.status, r.status) << c.options;
    EXPECT_NE(std::string::npos, r.err.find(c.message)) << c.options << ": " << r.err;
    EXPECT_FALSE(olbtest::FileExists(db)) << c.options;
  }
  Result r = olbdstest::Shell(m_dir, Sh(olbtest::GeneratorPath()) + " --clients 1");
  EXPECT_EQ(2, r.status);
  EXPECT_NE(std::string::npos, r.err.find("--out is missing"));
}

TEST_F(GeneratorTest, JobQueryReadsEveryJob) {
  std::string db = m_dir.file("gen.db");
  ASSERT_EQ(0, Generate(db, "--clients 3 --policies 2 --jobs 40 --libraries 1 --pools 1").status);
  std::string query =
      "select distinct f_group_name ||','|| bj.f_client_name ||','|| bj.f_nfiles ||','|| "
      "bj.f_jobid "
      "||','|| bj.f_sizetransferred ||','|| bj.f_storage_unit ||','|| bj.f_status ||','|| "
      "bj.f_starttime ||','|| (bj.f_endtime - bj.f_starttime) ||','|| bj.f_level from "
      "datamine.backupjob bj, config.nodes node where bj.f_group_name = node.f_name and "
      "node.f_type = 516 and bj.f_jobid is not null ";
  Result r =
      olbdstest::RunScript(m_dir, db, m_dir.file("jobs.sql"), olbdstest::PluginScript(query));
  ASSERT_EQ(0, r.status) << r.out << r.err;
  EXPECT_NE(std::string::npos, r.out.find("\n40 rows selected.\n")) << r.out;
}

}  // namespace
