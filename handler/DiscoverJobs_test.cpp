// Job discovery on the demo datastore, from the tool's output to the dumped
// job lists and the media-to-jobs map.
#include <algorithm>
#include <cctype>
#include <set>
#include <string>
#include <vector>

#include "handler/CForeignHandlerDPA.h"
#include "host/MessageXml.h"
#include "model/MessageAccess.h"
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

TEST_F(DiscoverJobsTest, DemoDatastoreEndToEnd) {
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
  std::vector<std::string> lists;
  for (const std::string& name : ListDir(OutDir())) {
    if (name.find("ZRC.JobList") != std::string::npos) lists.push_back(OutDir() + "/" + name);
  }
  ASSERT_EQ(1u, lists.size());
  std::set<std::string> pairs;  // client/group pairs known from client discovery
  for (DPAClient& c : handler.m_clients) {
    for (const DPAGroup& g : c.Policylist()) pairs.insert(c.ClientName() + "/" + g.PolicyName());
  }
  EXPECT_FALSE(olbtest::DescribeDumpedFile(lists[0]).empty());  // validates against the schema
  CWzMessageBase msg(0, 0);
  ASSERT_TRUE(ReadMessageXmlFile(lists[0], msg, nullptr));
  EXPECT_EQ(16, GetInt(msg, ZRC::JobList::productKind));
  std::set<std::string> ids;
  for (ZRC::JobInfo& job : *List(msg, ZRC::JobList::jobs)) {
    std::string id = GetString(job, ZRC::JobInfo::jobId);
    for (char& c : id) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_TRUE(ids.insert(id).second) << id;
    SubclientEntity& sub = *FindObject(job, ZRC::JobInfo::subclient);
    std::string pair = GetString(sub, SubclientEntity::clientName) + "/" +
                       GetString(sub, SubclientEntity::subclientName);
    EXPECT_EQ(1u, pairs.count(pair)) << pair;
    EXPECT_EQ("DPA_" + CForeignHandlerDPA::GetServerName(),
              GetString(sub, SubclientEntity::hubfieldName));
  }
  // 336 planned jobs and one of a client that is no node; the repeated ids
  // are held once.
  EXPECT_EQ(1u, log.Count("Discovered [337] jobs"));
  EXPECT_EQ(1u, log.Count("Unable to map job id [J200001]"));
  EXPECT_EQ(1u, ids.count("j100010"));
  EXPECT_EQ(1u, ids.count("j100011"));
  EXPECT_EQ(0u, ids.count("j200001"));
  EXPECT_EQ(1u, log.Count("[" + std::to_string(ids.size()) + "] jobs dumped -> clearing the list"));
  std::vector<std::string> onPool, onTape;
  CForeignHandlerDPA::GetJobsForMedia("dd-pool1", onPool);
  CForeignHandlerDPA::GetJobsForMedia("stu-TLD1-hcart", onTape);
  EXPECT_EQ(1, std::count(onPool.begin(), onPool.end(), "J100010"));
  EXPECT_EQ(1, std::count(onTape.begin(), onTape.end(), "J100010"));

  // Each run starts the media map afresh: a second run does not list every
  // job twice, and what an earlier run left is gone.
  const auto first = CForeignHandlerDPA::media_job_map;
  EXPECT_EQ(0u, first.count("stale"));
  ASSERT_TRUE(handler.DiscoverJobs(nullptr));
  EXPECT_EQ(first, CForeignHandlerDPA::media_job_map);

  // A failing final dump makes the operation fail and reports the loss; the
  // map stays as the last good run left it.
  HostEnv::Get().outputDir = m_dir.file("missing");
  log.Clear();
  EXPECT_FALSE(handler.DiscoverJobs(nullptr));
  EXPECT_EQ(1u, log.Count("unable to dump jobs xml file"));
  EXPECT_EQ(1u, log.Count("[" + std::to_string(ids.size()) +
                          "] job records could not be written and are lost"));
  EXPECT_EQ(first, CForeignHandlerDPA::media_job_map);
}

TEST_F(DiscoverJobsTest, FailedCollectionBuildsNothing) {
  const std::string drop = m_dir.file("drop.sql");
  ASSERT_TRUE(olbtest::WriteFile(drop, "DROP TABLE backupjob;"));
  UseDatastore({olbtest::DemoSqlPath(), drop});
  // What an earlier good run recorded stays for media discovery.
  CForeignHandlerDPA::AddJobToMedia("pool", "J1");
  const auto before = CForeignHandlerDPA::media_job_map;
  LogCapture log;
  EXPECT_FALSE(handler.DiscoverJobs(nullptr));
  EXPECT_EQ(1u, log.Count("job collection failed"));
  EXPECT_TRUE(ListDir(OutDir()).empty());
  EXPECT_EQ(before, CForeignHandlerDPA::media_job_map);
}

}  // namespace
