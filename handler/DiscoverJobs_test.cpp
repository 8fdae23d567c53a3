// Job discovery from the tool's output to the dumped job lists, and the
// walk that finds a job's client and group.
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
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

DPAClient MakeClient(const std::string& name, const std::vector<std::string>& policies) {
  DPAClient client;
  client.ClientName(name);
  for (const auto& p : policies) {
    DPAGroup group;
    group.PolicyName(p);
    client.addPolicy(group);
  }
  return client;
}

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

  // Puts a `sqlplus` first on PATH that prints `output` and exits with
  // `status`.
  void FakeTool(const std::string& output, int status = 0) {
    std::string bin = m_dir.file("fakebin");
    mkdir(bin.c_str(), 0700);
    ASSERT_TRUE(olbtest::WriteFile(m_dir.file("jobs.txt"), output));
    std::string script =
        "#!/bin/sh\ncat '" + m_dir.file("jobs.txt") + "'\nexit " + std::to_string(status) + "\n";
    ASSERT_TRUE(olbtest::WriteFile(bin + "/sqlplus", script));
    chmod((bin + "/sqlplus").c_str(), 0700);
    setenv("PATH", (bin + ":" + getenv("PATH")).c_str(), 1);
  }

  // `count` job lines, all for client/policy.
  static std::string JobLines(int count, const std::string& client, const std::string& policy) {
    std::string text;
    for (int i = 0; i < count; ++i) {
      text += policy + "," + client + ",1,J" + std::to_string(i) + ",1,stu" +
              std::to_string(i % 3) + ",success,1700000000,60,Full\n";
    }
    return text;
  }

  // Number of job records in each dumped job list, in dump order.
  std::vector<size_t> JobListSizes() {
    std::vector<size_t> sizes;
    for (const std::string& name : ListDir(OutDir())) {
      if (name.find("ZRC.JobList") == std::string::npos) continue;
      CWzMessageBase msg(0, 0);
      std::string error;
      EXPECT_TRUE(ReadMessageXmlFile(OutDir() + "/" + name, msg, &error)) << error;
      sizes.push_back(List(msg, ZRC::JobList::jobs)->size());
    }
    return sizes;
  }

  CForeignHandlerDPA handler;
};

TEST_F(DiscoverJobsTest, MappedJobsAreDumpedInBatches) {
  FakeTool(JobLines(1500, "host1", "daily") + JobLines(1, "host1", "weekly"));
  handler.m_clients.push_back(MakeClient("HOST1", {"Daily"}));
  LogCapture log;
  EXPECT_TRUE(handler.DiscoverJobs(nullptr));
  EXPECT_EQ((std::vector<size_t>{1000, 500}), JobListSizes());
  EXPECT_EQ(1u, log.Count("Discovered [1500] jobs"));  // J0 of "weekly" repeats an id
  // The second J0 is not held twice but is listed again under its unit.
  EXPECT_EQ(501u, CForeignHandlerDPA::media_job_map["stu0"].size());
}

TEST_F(DiscoverJobsTest, WithoutClientListEveryJobIsUnmappedAndNothingDumped) {
  FakeTool(JobLines(3, "host1", "daily"));
  LogCapture log;
  EXPECT_TRUE(handler.DiscoverJobs(nullptr));
  EXPECT_TRUE(ListDir(OutDir()).empty());
  EXPECT_EQ(1u, log.Count("Unable to map job id [J0]"));
  EXPECT_EQ(1u, log.Count("Unable to map job id [J2]"));
  EXPECT_FALSE(log.Contains("jobs dumped"));
}

TEST_F(DiscoverJobsTest, FailedCollectionBuildsNothing) {
  FakeTool(JobLines(3, "host1", "daily"), 1);
  handler.m_clients.push_back(MakeClient("host1", {"daily"}));
  LogCapture log;
  EXPECT_FALSE(handler.DiscoverJobs(nullptr));
  EXPECT_EQ(1u, log.Count("job collection failed"));
  EXPECT_TRUE(ListDir(OutDir()).empty());
}

TEST_F(DiscoverJobsTest, FailedFinalDumpMakesTheOperationFail) {
  FakeTool(JobLines(5, "host1", "daily"));
  handler.m_clients.push_back(MakeClient("host1", {"daily"}));
  HostEnv::Get().outputDir = m_dir.file("missing");
  LogCapture log;
  EXPECT_FALSE(handler.DiscoverJobs(nullptr));
  EXPECT_EQ(1u, log.Count("unable to dump jobs xml file"));
  EXPECT_EQ(1u, log.Count("[5] job records could not be written and are lost"));
}

TEST_F(DiscoverJobsTest, EachRunStartsTheMediaMapAfresh) {
  FakeTool(
      "p,c,1,J7,1,stuA,ok,1,1,Full\n"
      "p,c,1,J8,1,stuA,ok,1,1,Full\n"
      "p,c,1,J7,1,stuB,ok,1,1,Full\n");
  CForeignHandlerDPA::AddJobToMedia("stale", "J0");
  ASSERT_TRUE(handler.DiscoverJobs(nullptr));
  const auto first = CForeignHandlerDPA::media_job_map;
  EXPECT_EQ((std::vector<std::string>{"J7", "J8"}), first.at("stuA"));
  EXPECT_EQ((std::vector<std::string>{"J7"}), first.at("stuB"));
  EXPECT_EQ(0u, first.count("stale"));
  ASSERT_TRUE(handler.DiscoverJobs(nullptr));
  EXPECT_EQ(first, CForeignHandlerDPA::media_job_map);
}

TEST_F(DiscoverJobsTest, DemoDatastoreEndToEnd) {
  UseDatastore({olbtest::DemoSqlPath()});
  {
    // Before client discovery no job maps.
    CForeignHandlerDPA fresh;
    LogCapture log;
    EXPECT_TRUE(fresh.DiscoverJobs(nullptr));
    EXPECT_TRUE(ListDir(OutDir()).empty());
    EXPECT_TRUE(log.Contains("Unable to map job id ["));
    EXPECT_FALSE(log.Contains("jobs dumped"));
  }
  ASSERT_TRUE(handler.DiscoverClients(nullptr));
  LogCapture log;
  ASSERT_TRUE(handler.DiscoverJobs(nullptr));
  std::vector<std::string> lists;
  for (const std::string& name : ListDir(OutDir())) {
    if (name.find("ZRC.JobList") != std::string::npos) lists.push_back(name);
  }
  ASSERT_EQ(1u, lists.size());
  std::set<std::string> pairs;  // client/group pairs known from client discovery
  for (DPAClient& c : handler.m_clients) {
    for (const DPAGroup& g : c.Policylist()) pairs.insert(c.ClientName() + "/" + g.PolicyName());
  }
  std::string path = OutDir() + "/" + lists[0];
  std::string error;
  EXPECT_TRUE(ValidateMessageXmlFile(path, olbtest::SourceDir() + "/host/message.xsd", &error))
      << error;
  CWzMessageBase msg(0, 0);
  ASSERT_TRUE(ReadMessageXmlFile(path, msg, &error)) << error;
  EXPECT_EQ(16, GetInt(msg, ZRC::JobList::productKind));
  std::set<std::string> ids;
  for (ZRC::JobInfo& job : *List(msg, ZRC::JobList::jobs)) {
    std::string id = GetString(job, ZRC::JobInfo::jobId);
    for (char& c : id) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_TRUE(ids.insert(id).second) << id;
    SubclientEntity* sub = FindObject(job, ZRC::JobInfo::subclient);
    ASSERT_NE(nullptr, sub);
    std::string pair = GetString(*sub, SubclientEntity::clientName) + "/" +
                       GetString(*sub, SubclientEntity::subclientName);
    EXPECT_EQ(1u, pairs.count(pair)) << pair;
    EXPECT_EQ("DPA_" + CForeignHandlerDPA::GetServerName(),
              GetString(*sub, SubclientEntity::hubfieldName));
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
}

TEST(FindClientAndPolicyTest, LastMatchingClientWinsAndUnmatchedLeavesResults) {
  CForeignHandlerDPA handler;
  handler.m_clients = {MakeClient("Host", {"p", "P"}), MakeClient("host", {"x"}),
                       MakeClient("HOST", {"a", "P", "p"}), MakeClient("other", {"p"})};
  DPAClient* client = nullptr;
  DPAGroup* group = nullptr;
  handler.FindClientAndPolicy("host", "p", client, group);
  EXPECT_EQ(&handler.m_clients[2], client);
  EXPECT_EQ(&handler.m_clients[2].Policylist()[1], group);

  DPAClient* before = client;
  handler.FindClientAndPolicy("host", "x2", client, group);
  handler.FindClientAndPolicy("nobody", "p", client, group);
  EXPECT_EQ(before, client);
  EXPECT_EQ(&handler.m_clients[2].Policylist()[1], group);
  handler.FindClientAndPolicy("host ", "p", client, group);  // whole names only
  EXPECT_EQ(before, client);
}

}  // namespace
