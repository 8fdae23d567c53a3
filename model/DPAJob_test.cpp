// Jobs: the one-job-per-id store, finding a job's client and group, the
// job records, and the job list in batches of at most 1000 records.
#include "model/DPAJob.h"

#include <random>
#include <string>
#include <vector>

#include "handler/CForeignHandlerDPA.h"
#include "host/MessageXml.h"
#include "model/AsciiText.h"
#include "model/ClientPolicyIndex.h"
#include "model/MessageAccess.h"
#include "testsupport/TestSupport.h"

namespace {

using olbtest::DescribeMessage;
using olbtest::ListDir;

DPAJob MakeJob(const std::string& id, const std::string& client, const std::string& policy) {
  DPAJob job;
  job.Jobid(id);
  job.ClientName(client);
  job.PolicyName(policy);
  job.Status("success");
  job.Level("Full");
  job.Media("stu1");
  job.SizeMB(5);
  job.Files(42);
  job.StartTime(1700000000);
  job.Duration(3600);
  return job;
}

using ClientList = std::vector<std::pair<std::string, std::vector<std::string>>>;

std::vector<DPAClient> MakeClients(const ClientList& list) {
  std::vector<DPAClient> clients(list.size());
  for (size_t c = 0; c < list.size(); ++c) {
    clients[c].ClientName(list[c].first);
    for (const auto& p : list[c].second) {
      DPAGroup group;
      group.PolicyName(p);
      clients[c].addPolicy(group);
    }
  }
  return clients;
}

// The job ids of each dumped job list file, in dump order.
std::vector<std::vector<std::string>> DumpedIds(const std::string& dir) {
  std::vector<std::vector<std::string>> files;
  for (const std::string& name : ListDir(dir)) {
    CWzMessageBase msg(0, 0);
    EXPECT_TRUE(ReadMessageXmlFile(dir + "/" + name, msg, nullptr)) << name;
    files.emplace_back();
    for (ZRC::JobInfo& job : *List(msg, ZRC::JobList::jobs)) {
      files.back().push_back(GetString(job, ZRC::JobInfo::jobId));
    }
  }
  return files;
}

// The texts share one buffer: setting one, longer or shorter, in any order
// leaves the others as they were. Copies are independent, and a job moved
// from is an empty job that can be set and read again.
TEST(DPAJobTest, TextsCopiesAndMoves) {
  DPAJob job = MakeJob("J1", "c", "a-rather-long-policy-name-beyond-small-strings");
  auto texts = [](const DPAJob& j) {
    return j.Jobid() + "|" + j.PolicyName() + "|" + j.ClientName() + "|" + j.Status() + "|" +
           j.Level();
  };
  job.Jobid("a-longer-job-id-0123456789");
  job.PolicyName("");
  EXPECT_EQ("a-longer-job-id-0123456789||c|success|Full", texts(job));
  EXPECT_STREQ("a-longer-job-id-0123456789", job.JobidView().data());  // NUL-terminated
  job.Level("Differential Incr");
  job.Jobid("");
  EXPECT_EQ("||c|success|Differential Incr", texts(job));
  DPAJob copy = job;
  copy.Jobid("J-copy");
  DPAJob moved = std::move(job);
  EXPECT_EQ("||c|success|Differential Incr J-copy||c|success|Differential Incr ||||",
            texts(moved) + " " + texts(copy) + " " + texts(job));
  job.Level("Incr");
  moved = std::move(copy);
  copy.ClientName("again");
  EXPECT_EQ("||||Incr|J-copy|||again||", texts(job) + "|" + moved.Jobid() + "|" + texts(copy));
  EXPECT_EQ(0u, copy.Files() + copy.Size());
}

// Whatever a caller changes through GetJobs(), adding compares with the jobs
// as they are then.
TEST(DPAJobInformationTest, AddingSeesChangesMadeThroughGetJobs) {
  DPAJobInformation jobs;
  for (const char* id : {"a", "b", "c"}) jobs.AddJob(MakeJob(id, "c", "p"));
  auto ids = [&jobs] {
    std::string out;
    for (const DPAJob& job : jobs.GetJobs()) out += job.Jobid() + " ";
    return out;
  };
  jobs.GetJobs()[0].Jobid("X");
  jobs.AddJob(MakeJob("x", "c", "p"));  // held, as "X"
  jobs.AddJob(MakeJob("A", "c", "p"));  // "a" is no longer held
  EXPECT_EQ("X b c A ", ids());
  jobs.GetJobs().clear();
  jobs.AddJob(MakeJob("b", "c", "p"));
  jobs.AddJob(MakeJob("B", "c", "p"));
  EXPECT_EQ("b ", ids());
}

// The hashed store against the plain walk over every held job, on ids that
// often differ only in case (or by a NUL and what follows it).
TEST(DPAJobInformationTest, MatchesAWalkOverEveryHeldJobOnRandomIds) {
  std::mt19937 rng(7);
  DPAJobInformation jobs;
  std::vector<std::string> reference;
  for (int n = 0; n < 6000; ++n) {
    std::string id = "job" + std::to_string(rng() % 2000);
    for (char& c : id) {
      if (rng() % 2) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    if (rng() % 50 == 0) id += std::string(1, '\0') + "x";
    bool held = false;
    for (const auto& r : reference) held = held || EqualsIgnoreAsciiCase(r, id);
    if (!held) reference.push_back(id);
    jobs.AddJob(MakeJob(id, "c", "p"));
  }
  ASSERT_EQ(reference.size(), jobs.GetJobCount());
  for (size_t i = 0; i < reference.size(); ++i) EXPECT_EQ(reference[i], jobs.GetJobs()[i].Jobid());
}

// Names match with the case of ASCII letters ignored; other bytes, NUL
// included, must match exactly.
TEST(AsciiCaseTest, OnlyAsciiLettersFoldAndWholeTextsCompare) {
  EXPECT_TRUE(EqualsIgnoreAsciiCase("Client-01", "cLIENT-01"));
  EXPECT_FALSE(EqualsIgnoreAsciiCase("client", "client "));
  EXPECT_FALSE(EqualsIgnoreAsciiCase("\xc9", "\xe9"));  // Latin-1 E acute, both cases
  EXPECT_FALSE(EqualsIgnoreAsciiCase(std::string("a\0b", 3), std::string("a\0c", 3)));
  EXPECT_TRUE(EqualsIgnoreAsciiCase(std::string("A\0b", 3), std::string("a\0B", 3)));
  EXPECT_EQ(HashIgnoreAsciiCase("Policy_7"), HashIgnoreAsciiCase("pOLICY_7"));
  EXPECT_NE(HashIgnoreAsciiCase("@"), HashIgnoreAsciiCase("`"));  // neighbours of A and a
}

// Finding a job's client and group by name: the hashed index must give what
// the walk over every client and group gives (the last client of that name
// that has the group, and in it the first such group; no match leaves both
// results as they were), on random lists full of names that differ only in
// case or after a NUL, and of repeated clients and groups.
TEST(FindClientAndPolicyTest, IndexAgreesWithTheWalkOnRandomLists) {
  std::mt19937 rng(2024);
  const std::vector<std::string> clientPool = {"alpha",
                                               "beta",
                                               "gamma.example.com",
                                               "d",
                                               "",
                                               std::string("d\0a", 3),
                                               std::string("d\0b", 3)};
  const std::vector<std::string> policyPool = {
      "daily", "weekly", "p1", "a-long-policy-name", "", std::string("p\0", 2)};
  auto pick = [&rng](const std::vector<std::string>& pool) {
    std::string name = pool[rng() % pool.size()];
    for (char& c : name) {
      if (rng() % 2) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return name;
  };
  for (int round = 0; round < 200; ++round) {
    ClientList list(rng() % 12);
    for (auto& [name, policies] : list) {
      name = pick(clientPool);
      policies.resize(rng() % 5);
      for (auto& p : policies) p = pick(policyPool);
    }
    CForeignHandlerDPA handler;
    handler.m_clients = MakeClients(list);
    ClientPolicyIndex index(handler.m_clients);
    for (int q = 0; q < 50; ++q) {
      const std::string clientName = pick(clientPool), policyName = pick(policyPool);
      DPAClient *walkClient = nullptr, *fastClient = nullptr;
      DPAGroup *walkGroup = nullptr, *fastGroup = nullptr;
      handler.FindClientAndPolicy(clientName, policyName, walkClient, walkGroup);
      index.Find(clientName, policyName, fastClient, fastGroup);
      ASSERT_EQ(walkClient, fastClient) << round << " " << clientName << "/" << policyName;
      ASSERT_EQ(walkGroup, fastGroup) << round << " " << clientName << "/" << policyName;
    }
  }
}

class JobRecordTest : public olbtest::HostFixture {
 protected:
  void SetUp() override {
    HostFixture::SetUp();
    CForeignHandlerDPA::SetServerName("srv");
    handler.m_clients = MakeClients({{"srv", {}}, {"C1", {"P0", "P1"}}});
  }
  void TearDown() override {
    CForeignHandlerDPA::SetServerName("");
    HostFixture::TearDown();
  }
  // `count` jobs J0, J1, ... that all map to C1/P1.
  static DPAJobInformation MappedJobs(int count) {
    DPAJobInformation jobs;
    for (int i = 0; i < count; ++i) jobs.AddJob(MakeJob("J" + std::to_string(i), "c1", "p1"));
    return jobs;
  }
  // Builds the job list as job discovery starts it.
  bool Build(DPAJobInformation& jobs, ZRC::JobList list = ZRC::JobList()) {
    SetField(list, ZRC::JobList::productKind, 16);
    SetField(list, ZRC::JobList::flags, 0);
    return jobs.BuildJob(list, &handler);
  }

  CForeignHandlerDPA handler;
};

// Records the caller left in the list go out with the first batch and are
// not filled again as spares: every later record is whole.
TEST_F(JobRecordTest, RecordsAlreadyInTheListAreSentWithTheFirstBatch) {
  ZRC::JobList list;
  SetField(Append(list, ZRC::JobList::jobs), ZRC::JobInfo::jobId, "earlier");
  DPAJobInformation jobs = MappedJobs(1999);
  ASSERT_TRUE(Build(jobs, list));
  std::vector<std::vector<std::string>> ids = DumpedIds(OutDir());
  ASSERT_EQ(2u, ids.size());
  EXPECT_EQ(1000u, ids[0].size());
  EXPECT_EQ("earlier", ids[0][0]);
  EXPECT_EQ("J1998", ids[1].back());
  CWzMessageBase second(0, 0);
  ASSERT_TRUE(ReadMessageXmlFile(OutDir() + "/" + ListDir(OutDir())[1], second, nullptr));
  for (ZRC::JobInfo& record : *List(second, ZRC::JobList::jobs)) {
    ASSERT_EQ(33u, DescribeMessage(record).size()) << GetString(record, ZRC::JobInfo::jobId);
  }
}

// Each batch of 1000 records is dumped, and the rest at the end. A failed
// dump keeps the records and is tried again with each further mapped job;
// records still unwritten at the end are reported as lost.
TEST_F(JobRecordTest, BatchesOfAtMostOneThousandRecordsAndFailedDumps) {
  struct Case {
    int jobs;
    std::vector<size_t> dumps;
    long failures = 0;         // dumps that failed
    bool startBroken = false;  // the output directory is missing from the start
    const char* trigger = "";  // log line after which it is missing / back
  } cases[] = {
      {0, {}},
      {999, {999}},
      {1000, {1000}},
      {1001, {1000, 1}},
      {2500, {1000, 1000, 500}},
      {2500, {1001, 1000, 499}, 1, true, "unable to dump jobs xml file"},
      {1500, {1000}, 1, false, "[1000] jobs dumped -> clearing the list"},
      {2500, {}, 1502, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.jobs) + " jobs, trigger " + c.trigger);
    olbtest::TempDir out;
    const std::string missing = out.file("missing");
    HostEnv::Get().outputDir = c.startBroken ? missing : out.path();
    std::vector<std::string> lines;
    long failures = 0;
    bool fired = false;
    HostEnv::Get().logSink = [&](const LogRecord& r) {
      if (r.text == "unable to dump jobs xml file") {
        ++failures;
      } else if (r.text.find("] j") != std::string::npos) {  // "[n] jobs dumped", "[n] job records"
        lines.push_back(r.level + " " + r.context + ": " + r.text);
      }
      if (r.text == c.trigger && !fired) {
        fired = true;
        HostEnv::Get().outputDir = c.startBroken ? out.path() : missing;
      }
    };
    DPAJobInformation jobs = MappedJobs(c.jobs);
    const bool ok = Build(jobs);
    HostEnv::Get().logSink = nullptr;

    std::vector<std::string> expected;
    size_t written = 0;
    for (size_t n : c.dumps) {
      written += n;
      expected.push_back("ERROR DPAJobInformation::BuildJob: [" + std::to_string(n) +
                         "] jobs dumped -> clearing the list");
    }
    if (written < static_cast<size_t>(c.jobs)) {
      expected.push_back("ERROR DPAJobInformation::BuildJob: [" + std::to_string(c.jobs - written) +
                         "] job records could not be written and are lost");
    }
    EXPECT_EQ(written == static_cast<size_t>(c.jobs), ok);
    EXPECT_EQ(expected, lines);
    EXPECT_EQ(c.failures, failures);
    std::vector<size_t> counts;
    std::vector<std::string> ids;
    for (const auto& file : DumpedIds(out.path())) {
      counts.push_back(file.size());
      ids.insert(ids.end(), file.begin(), file.end());
    }
    EXPECT_EQ(c.dumps, counts);
    for (size_t i = 0; i < ids.size(); ++i) ASSERT_EQ("J" + std::to_string(i), ids[i]);
  }
}

}  // namespace
