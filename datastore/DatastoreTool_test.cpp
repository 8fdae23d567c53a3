// olb-dpa-db: builds the datastore afresh from SQL files in order, and on any
// error says where and leaves nothing behind.
#include <gtest/gtest.h>

#include <string>

#include "datastore/ToolTestUtil.h"
#include "testsupport/TestSupport.h"

namespace {

using olbdstest::Result;
using olbdstest::Sh;

class DatastoreToolTest : public ::testing::Test {
 protected:
  Result Build(const std::string& files) {
    return olbdstest::Shell(m_dir, Sh(olbtest::DatastoreToolPath()) + " " + Sh(m_db) + " " + files);
  }
  std::string Select(const std::string& query) {
    olbtest::WriteFile(m_dir.file("q.sql"), olbdstest::PluginScript(query));
    return olbdstest::RunScript(m_dir, m_db, m_dir.file("q.sql"), olbdstest::PluginScript(query))
        .out;
  }
  olbtest::TempDir m_dir;
  std::string m_db = m_dir.file("dpa.db");
};

TEST_F(DatastoreToolTest, ReplacesAnOldFileAndRunsFilesInOrder) {
  olbtest::WriteFile(m_db, "an old file that is no database");
  olbtest::WriteFile(m_dir.file("one.sql"),
                     "CREATE TABLE t (v TEXT);\nINSERT INTO t VALUES ('one');\n");
  olbtest::WriteFile(m_dir.file("two.sql"),
                     "-- uses what one.sql made\nUPDATE t SET v = v || '+two';");
  Result r = Build(Sh(olbtest::SchemaSqlPath()) + " " + Sh(m_dir.file("one.sql")) + " " +
                   Sh(m_dir.file("two.sql")));
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_EQ("\none+two\n", Select("select v from datamine.t"));
}

TEST_F(DatastoreToolTest, ErrorsNameFileAndLineAndLeaveNoFile) {
  olbtest::WriteFile(m_dir.file("bad.sql"),
                     "INSERT INTO nodes (f_name, f_type) VALUES ('a', 515);\n\n"
                     "INSERT INTO nowhere\n  VALUES (1);\n");
  Result r = Build(Sh(olbtest::SchemaSqlPath()) + " " + Sh(m_dir.file("bad.sql")));
  EXPECT_EQ(1, r.status);
  EXPECT_NE(std::string::npos, r.err.find(m_dir.file("bad.sql") + ":3: no such table: nowhere"))
      << r.err;
  EXPECT_FALSE(olbtest::FileExists(m_db));

  r = Build(Sh(olbtest::SchemaSqlPath()) + " " + Sh(m_dir.file("missing.sql")));
  EXPECT_EQ(1, r.status);
  EXPECT_NE(std::string::npos, r.err.find("cannot read " + m_dir.file("missing.sql"))) << r.err;
  EXPECT_FALSE(olbtest::FileExists(m_db));

  r = Build("");
  EXPECT_EQ(2, r.status);
  EXPECT_NE(std::string::npos, r.err.find("usage: olb-dpa-db FILE SQLFILE..."));
}

}  // namespace
