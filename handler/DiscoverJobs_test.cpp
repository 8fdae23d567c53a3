// Job discovery runs on the demo datastore: what an operation leaves in the
// media-to-jobs map, and what a failed run leaves. The records themselves
// are compared field by field by the golden run.
#include <string>
#include <vector>

#include "handler/CForeignHandlerDPA.h"
#include "testsupport/TestSupport.h"

namespace {

using olbtest::ListDir;
using olbtest::LogCapture;

class DiscoverJobsTest : public olbtest::HostFixture {
 protected:
  void SetUp() override {
    HostFixture::SetUp();
    CForeignHandlerDPA::media_job_map.clear();
    CForeignHandlerDPA::m_dbContext = DBContext();
    CForeignHandlerDPA::m_dbContext.setUserName("dpa");
    CForeignHandlerDPA::m_dbContext.setPassword("dpa-demo-58");
  }
  void TearDown() override {
    CForeignHandlerDPA::media_job_map.clear();
    CForeignHandlerDPA::m_dbContext = DBContext();
    CForeignHandlerDPA::SetServerName("");
    HostFixture::TearDown();
  }
  CForeignHandlerDPA handler;
};

TEST_F(DiscoverJobsTest, EachRunStartsTheMapAfreshAndAFailedRunKeepsIt) {
  UseDatastore({olbtest::DemoSqlPath()});
  {
    // Before client discovery no job maps and nothing is dumped.
    LogCapture log;
    EXPECT_TRUE(handler.DiscoverJobs(nullptr));
    EXPECT_TRUE(ListDir(OutDir()).empty());
    EXPECT_TRUE(log.Contains("Unable to map job id ["));
  }
  ASSERT_TRUE(handler.DiscoverClients(nullptr));
  CForeignHandlerDPA::AddJobToMedia("stale", "J0");
  LogCapture log;
  ASSERT_TRUE(handler.DiscoverJobs(nullptr));
  ASSERT_EQ(2u, ListDir(OutDir()).size());
  // 336 planned jobs and one of a client that is no node.
  EXPECT_EQ(1u, log.Count("Discovered [337] jobs"));
  EXPECT_EQ(1u, log.Count("Unable to map job id [J200001]"));
  std::vector<std::string> onPool;
  CForeignHandlerDPA::GetJobsForMedia("dd-pool1", onPool);
  EXPECT_FALSE(onPool.empty());

  // What an earlier run left is gone, and a second run does not list every
  // job twice.
  const auto first = CForeignHandlerDPA::media_job_map;
  EXPECT_EQ(0u, first.count("stale"));
  ASSERT_TRUE(handler.DiscoverJobs(nullptr));
  EXPECT_EQ(first, CForeignHandlerDPA::media_job_map);

  // A failing final dump fails the run and reports the loss; the map stays
  // as the last good run left it.
  HostEnv::Get().outputDir = m_dir.file("missing");
  log.Clear();
  EXPECT_FALSE(handler.DiscoverJobs(nullptr));
  EXPECT_EQ(1u, log.Count("unable to dump jobs xml file"));
  EXPECT_EQ(1u, log.Count("job list not completely written"));
  EXPECT_EQ(first, CForeignHandlerDPA::media_job_map);

  // So does a failed collection, which builds nothing.
  HostEnv::Get().outputDir = OutDir();
  const std::string drop = m_dir.file("drop.sql");
  ASSERT_TRUE(olbtest::WriteFile(drop, "DROP TABLE backupjob;"));
  UseDatastore({olbtest::DemoSqlPath(), drop});
  log.Clear();
  EXPECT_FALSE(handler.DiscoverJobs(nullptr));
  EXPECT_EQ(1u, log.Count("job collection failed"));
  EXPECT_EQ(3u, ListDir(OutDir()).size());
  EXPECT_EQ(first, CForeignHandlerDPA::media_job_map);
}

}  // namespace
