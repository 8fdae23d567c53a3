#include "model/DPAJob.h"

#include <sys/stat.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "handler/CForeignHandlerDPA.h"
#include "host/MessageXml.h"
#include "model/ClientPolicyIndex.h"
#include "model/MessageAccess.h"
#include "testsupport/TestSupport.h"

namespace {

using olbtest::HostFixture;
using olbtest::ListDir;
using olbtest::LogCapture;

// "module/type{number:type=value ...}" with strings quoted and lists in
// brackets, fields in their order: one line to compare a record against its
// field tables.
std::string Describe(const CWzMessageBase& msg) {
  std::string out = std::to_string(msg.module()) + "/" + std::to_string(msg.messageType()) + "{";
  bool first = true;
  for (const CWzMessageBase::Field& f : msg.fields()) {
    if (!first) out += " ";
    first = false;
    out += std::to_string(f.number) + ":" + std::to_string(f.type) + "=";
    switch (f.kind) {
      case CWzMessageBase::Kind::kInt:
        out += std::to_string(f.intValue);
        break;
      case CWzMessageBase::Kind::kString:
        out += "'" + f.stringValue + "'";
        break;
      case CWzMessageBase::Kind::kObject:
        out += f.object ? Describe(*f.object) : "null";
        break;
      case CWzMessageBase::Kind::kList:
        out += "[";
        for (size_t i = 0; f.list && i < f.list->Size(); ++i) {
          if (i > 0) out += " ";
          out += Describe(f.list->At(i));
        }
        out += "]";
        break;
      case CWzMessageBase::Kind::kIntList:
        out += "ints";
        break;
    }
  }
  return out + "}";
}

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

// The job list as DiscoverJobs starts it.
ZRC::JobList MakeList() {
  ZRC::JobList list;
  SetField(list, ZRC::JobList::productKind, 16);
  SetField(list, ZRC::JobList::flags, 0);
  return list;
}

// The job ids of each dumped job list file, in dump order.
std::vector<std::vector<std::string>> DumpedIds(const std::string& dir) {
  std::vector<std::vector<std::string>> files;
  for (const std::string& name : ListDir(dir)) {
    CWzMessageBase msg(0, 0);
    std::string error;
    EXPECT_TRUE(ReadMessageXmlFile(dir + "/" + name, msg, &error)) << error;
    files.emplace_back();
    for (ZRC::JobInfo& job : *List(msg, ZRC::JobList::jobs)) {
      files.back().push_back(GetString(job, ZRC::JobInfo::jobId));
    }
  }
  return files;
}

std::vector<size_t> DumpedRecordCounts(const std::string& dir) {
  std::vector<size_t> counts;
  for (const auto& ids : DumpedIds(dir)) counts.push_back(ids.size());
  return counts;
}

// The six texts share one buffer: setting one in any order, longer or
// shorter, leaves the others as they were.
TEST(DPAJobTest, TextsKeepTheirValuesWhateverTheOrderOfSetting) {
  DPAJob job;
  EXPECT_EQ("", job.Level());
  job.Level("Full");
  job.PolicyName("a-rather-long-policy-name-beyond-small-strings");
  job.Jobid("J1");
  job.Status("success");
  job.ClientName("c");
  job.Media("stu");
  job.Jobid("a-longer-job-id-0123456789");
  job.PolicyName("");
  EXPECT_EQ("a-longer-job-id-0123456789", job.Jobid());
  EXPECT_STREQ("a-longer-job-id-0123456789", job.JobidView().data());
  EXPECT_EQ("", job.PolicyName());
  EXPECT_EQ("c", job.ClientName());
  EXPECT_EQ("success", job.Status());
  EXPECT_EQ("Full", job.Level());
  job.SizeMB(5);
  EXPECT_EQ(5u << 20, job.Size());
}

TEST(DPAJobInformationTest, FirstJobOfAnIdWinsIgnoringAsciiCase) {
  DPAJobInformation jobs;
  jobs.AddJob(MakeJob("J7", "first", "p"));
  jobs.AddJob(MakeJob("j7", "second", "p"));
  jobs.AddJob(MakeJob("J8", "third", "p"));
  jobs.AddJob(MakeJob("J7", "fourth", "p"));
  jobs.AddJob(MakeJob("\xc9T\xc9", "fifth", "p"));
  jobs.AddJob(MakeJob("\xe9t\xe9", "sixth", "p"));  // other bytes compare exactly
  ASSERT_EQ(4u, jobs.GetJobCount());
  EXPECT_EQ("first", jobs.GetJobs()[0].ClientName());
  EXPECT_EQ("J8", jobs.GetJobs()[1].Jobid());
  EXPECT_EQ("fifth", jobs.GetJobs()[2].ClientName());
  EXPECT_EQ("sixth", jobs.GetJobs()[3].ClientName());
}

TEST(DPAJobInformationTest, MatchesAWalkOverEveryHeldJobOnRandomIds) {
  std::mt19937 rng(7);
  DPAJobInformation jobs;
  std::vector<std::string> reference;  // ids in insertion order, the plain way
  for (int n = 0; n < 20000; ++n) {
    std::string id = "job" + std::to_string(rng() % 6000);
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

class JobRecordTest : public HostFixture {
 protected:
  void SetUp() override {
    HostFixture::SetUp();
    CForeignHandlerDPA::SetServerName("srv");
    handler.m_clients.push_back(MakeClient("srv", {}));
    handler.m_clients.push_back(MakeClient("C1", {"P0", "P1"}));
  }
  void TearDown() override {
    CForeignHandlerDPA::SetServerName("");
    HostFixture::TearDown();
  }
  // `count` jobs that all map to C1/P1.
  DPAJobInformation MappedJobs(int count) {
    DPAJobInformation jobs;
    for (int i = 0; i < count; ++i) jobs.AddJob(MakeJob("J" + std::to_string(i), "c1", "p1"));
    return jobs;
  }

  CForeignHandlerDPA handler;
};

TEST_F(JobRecordTest, OneJobGivesTheRecordOfTheFieldTablesThroughTheXmlFile) {
  DPAJobInformation jobs;
  jobs.AddJob(MakeJob("J1", "c1", "P1"));
  ZRC::JobList list = MakeList();
  ASSERT_TRUE(jobs.BuildJob(list, &handler));

  std::vector<std::string> files = ListDir(OutDir());
  ASSERT_EQ(1u, files.size());
  std::string path = OutDir() + "/" + files[0];
  std::string error;
  EXPECT_TRUE(ValidateMessageXmlFile(path, olbtest::SourceDir() + "/host/message.xsd", &error))
      << error;
  CWzMessageBase read(0, 0);
  ASSERT_TRUE(ReadMessageXmlFile(path, read, &error)) << error;

  const std::string sp = "18/19{2:5=17 1:1='DPA_srv_SP'}";
  const std::string record =
      "32/21{4:4=130 6:6='J1' "
      "1:1=18/3{1:1='DPA_srv' 3:9=1 4:10=1} "
      "2:2=18/10{2:5=7 14:38='c1' 11:29='Other External Agent' 10:28=130 "
      "8:20='defaultInstanceName' 5:11='defaultBackupSet' 19:55='DPA_srv' 1:1='P1' 21:63=1} "
      "8:14=32/39{2:2=1 1:1=4 3:3=1} "
      "9:15=32/2{1:1=32/27{27:30=1 8:8=1 9:9=1700000000 10:10=3600 1:1=4 32:35=5242880 "
      "36:39=5242880 11:11=3600 34:37=42 17:20=" + sp + "}} "
      "10:16=32/1{1:1=[32/29{2:2=1 1:1=4 3:3=5242880 4:4=" + sp + "}]}}";
  EXPECT_EQ("32/11{4:7=16 3:6=0 2:5=[" + record + "]}", Describe(read));
}

// The fast records (a copy of the template's, or a written record filled
// again) against the record built field by field.
TEST_F(JobRecordTest, ReusedRecordsEqualTheRecordBuiltFieldByField) {
  std::mt19937_64 rng(11);
  const char* levels[] = {"Full", "full", "Differential Incr", "Cumulative Incr", "", "x"};
  const char* states[] = {"success", "Fail", "failed", ""};
  DPAJobRecordTemplate tmpl;
  DPAClient& client = handler.m_clients[1];
  DPAGroup& group = client.Policylist()[1];
  std::vector<ZRC::JobInfo> fast;
  size_t reused = 0;
  for (int i = 0; i < 300; ++i) {
    DPAJob job;
    job.Jobid(std::string(rng() % 40, 'j') + std::to_string(i));
    job.ClientName(std::string(rng() % 30, 'c'));
    job.PolicyName(std::string(rng() % 30, 'p'));
    job.Level(levels[rng() % 6]);
    job.Status(states[rng() % 4]);
    job.SizeMB(rng() >> (rng() % 64));
    job.Files(rng());
    job.StartTime(rng());
    job.Duration(rng() >> (rng() % 64));
    std::vector<ZRC::JobInfo> plain;
    job.BuildJob(&plain, &client, &group);
    reused += !tmpl.spare.empty();
    job.BuildJob(&fast, &client, &group, tmpl);
    ASSERT_EQ(Describe(plain.back()), Describe(fast.back())) << i;
    ASSERT_TRUE(plain.back() == fast.back());
    if (rng() % 5 == 0) tmpl.Recycle(&fast);
  }
  EXPECT_GT(reused, 100u);
}

TEST_F(JobRecordTest, DurationKeepsOnlyItsLowThirtyTwoBitsAsASignedValue) {
  struct Case {
    uint64_t duration;
    long long sent;
  } cases[] = {{1ull << 31, -(1ll << 31)},
               {1ull << 32, 0},
               {(1ull << 32) + 5, 5},
               {(1ull << 31) - 1, (1ll << 31) - 1},
               {~0ull, -1}};
  DPAJobRecordTemplate tmpl;
  for (const Case& c : cases) {
    DPAJob job = MakeJob("J", "c1", "p1");
    job.Duration(c.duration);
    std::vector<ZRC::JobInfo> records;
    job.BuildJob(&records, &handler.m_clients[1], &handler.m_clients[1].Policylist()[1], tmpl);
    ZRC::JobDetail* detail =
        FindObject(*FindObject(records.back(), ZRC::JobInfo::detail), ZRC::JobDetailHolder::detail);
    EXPECT_EQ(c.sent, GetInt(*detail, ZRC::JobDetail::duration)) << c.duration;
    EXPECT_EQ(c.sent, GetInt(*detail, ZRC::JobDetail::elapsed)) << c.duration;
  }
}

TEST_F(JobRecordTest, BatchesHoldAtMostOneThousandRecords) {
  struct Case {
    int jobs;
    std::vector<size_t> dumps;
  } cases[] = {
      {0, {}}, {999, {999}}, {1000, {1000}}, {1001, {1000, 1}}, {2500, {1000, 1000, 500}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.jobs);
    olbtest::TempDir out;
    HostEnv::Get().outputDir = out.path();
    DPAJobInformation jobs = MappedJobs(c.jobs);
    ZRC::JobList list = MakeList();
    LogCapture log;
    EXPECT_TRUE(jobs.BuildJob(list, &handler));
    std::vector<std::vector<std::string>> files = DumpedIds(out.path());
    std::vector<size_t> counts;
    std::vector<std::string> ids;
    for (const auto& f : files) {
      counts.push_back(f.size());
      ids.insert(ids.end(), f.begin(), f.end());
    }
    EXPECT_EQ(c.dumps, counts);
    ASSERT_EQ(static_cast<size_t>(c.jobs), ids.size());
    for (int i = 0; i < c.jobs; ++i) ASSERT_EQ("J" + std::to_string(i), ids[i]);
    std::vector<std::string> dumpLines;
    for (const auto& r : log.records()) {
      if (r.text.find("jobs dumped") == std::string::npos) continue;
      EXPECT_EQ("ERROR", r.level);
      EXPECT_EQ("DPAJobInformation::BuildJob", r.context);
      dumpLines.push_back(r.text);
    }
    std::vector<std::string> expected;
    for (size_t n : c.dumps) {
      expected.push_back("[" + std::to_string(n) + "] jobs dumped -> clearing the list");
    }
    EXPECT_EQ(expected, dumpLines);
    EXPECT_FALSE(log.Contains("unable to dump jobs xml file"));
    EXPECT_EQ(c.jobs > 0 ? 1u : 0u, log.Count("Building job [J0]"));
  }
}

TEST_F(JobRecordTest, RecordsAlreadyInTheListAreSentWithTheFirstBatch) {
  ZRC::JobList list = MakeList();
  SetField(Append(list, ZRC::JobList::jobs), ZRC::JobInfo::jobId, "earlier");
  DPAJobInformation jobs = MappedJobs(1999);
  ASSERT_TRUE(jobs.BuildJob(list, &handler));
  EXPECT_EQ((std::vector<size_t>{1000, 1000}), DumpedRecordCounts(OutDir()));
  std::vector<std::string> files = ListDir(OutDir());
  CWzMessageBase first(0, 0), second(0, 0);
  ASSERT_TRUE(ReadMessageXmlFile(OutDir() + "/" + files[0], first, nullptr));
  ASSERT_TRUE(ReadMessageXmlFile(OutDir() + "/" + files[1], second, nullptr));
  EXPECT_EQ("earlier", GetString(List(first, ZRC::JobList::jobs)->at(0), ZRC::JobInfo::jobId));
  // Every record of the second batch is whole, J1998 included.
  std::vector<ZRC::JobInfo>& records = *List(second, ZRC::JobList::jobs);
  std::string shape = Describe(records[0]);
  for (size_t i = 0; i < records.size(); ++i) {
    std::string id = "J" + std::to_string(999 + i);
    ASSERT_EQ(id, GetString(records[i], ZRC::JobInfo::jobId));
    std::string expected = shape;
    expected.replace(expected.find("'J999'"), 6, "'" + id + "'");
    ASSERT_EQ(expected, Describe(records[i]));
  }
}

TEST_F(JobRecordTest, UnknownClientOrGroupIsSkippedAndTheOthersStillBuilt) {
  DPAJobInformation jobs;
  jobs.AddJob(MakeJob("J1", "nobody", "P1"));
  jobs.AddJob(MakeJob("J2", "C1", "P9"));   // client known, group not its own
  jobs.AddJob(MakeJob("J3", "srv", "P1"));  // group of another client
  jobs.AddJob(MakeJob("J4", "C1", "P0"));
  ZRC::JobList list = MakeList();
  LogCapture log;
  EXPECT_TRUE(jobs.BuildJob(list, &handler));
  EXPECT_EQ(1u, log.Count("Unable to map job id [J1]"));
  EXPECT_EQ(1u, log.Count("Unable to map job id [J2]"));
  EXPECT_EQ(1u, log.Count("Unable to map job id [J3]"));
  EXPECT_EQ(0u, log.Count("Unable to map job id [J4]"));
  EXPECT_EQ(std::vector<size_t>{1}, DumpedRecordCounts(OutDir()));
  EXPECT_EQ(1u, log.Count("[1] jobs dumped -> clearing the list"));
}

TEST_F(JobRecordTest, EveryDumpFailingRetriesWithEachJobAndReportsTheLoss) {
  HostEnv::Get().outputDir = m_dir.file("missing");
  DPAJobInformation jobs = MappedJobs(2500);
  ZRC::JobList list = MakeList();
  LogCapture log;
  EXPECT_FALSE(jobs.BuildJob(list, &handler));
  // One attempt for each of jobs 1000 to 2500, and the final one.
  EXPECT_EQ(1502u, log.Count("unable to dump jobs xml file"));
  EXPECT_FALSE(log.Contains("jobs dumped"));
  EXPECT_EQ(1u, log.Count("[2500] job records could not be written and are lost"));
  EXPECT_EQ(2500u, List(list, ZRC::JobList::jobs)->size());
}

// Makes dumps fail by pointing the output directory elsewhere, and switches
// it back (or away) when a given log line passes.
class DumpSwitch {
 public:
  DumpSwitch(const std::string& trigger, const std::string& newDir) {
    HostEnv::Get().logSink = [this, trigger, newDir](const LogRecord& r) {
      lines.push_back(r.text);
      if (r.text == trigger && !fired) {
        fired = true;
        HostEnv::Get().outputDir = newDir;
      }
    };
  }
  ~DumpSwitch() { HostEnv::Get().logSink = nullptr; }
  size_t Count(const std::string& text) const {
    size_t n = 0;
    for (const auto& l : lines) n += l == text;
    return n;
  }
  bool fired = false;
  std::vector<std::string> lines;
};

TEST_F(JobRecordTest, FailedFirstDumpIsRetriedWithTheNextMappedJob) {
  HostEnv::Get().outputDir = m_dir.file("missing");
  DumpSwitch restore("unable to dump jobs xml file", OutDir());
  DPAJobInformation jobs = MappedJobs(2500);
  ZRC::JobList list = MakeList();
  EXPECT_TRUE(jobs.BuildJob(list, &handler));
  EXPECT_EQ(1u, restore.Count("unable to dump jobs xml file"));
  EXPECT_EQ(1u, restore.Count("[1001] jobs dumped -> clearing the list"));
  EXPECT_EQ((std::vector<size_t>{1001, 1000, 499}), DumpedRecordCounts(OutDir()));
}

TEST_F(JobRecordTest, FailedFinalDumpIsReportedWithTheNumberOfLostRecords) {
  DumpSwitch breakAfterFirst("[1000] jobs dumped -> clearing the list", m_dir.file("missing"));
  DPAJobInformation jobs = MappedJobs(1500);
  ZRC::JobList list = MakeList();
  EXPECT_FALSE(jobs.BuildJob(list, &handler));
  EXPECT_EQ(1u, breakAfterFirst.Count("unable to dump jobs xml file"));
  EXPECT_EQ(1u, breakAfterFirst.Count("[500] job records could not be written and are lost"));
  EXPECT_EQ(std::vector<size_t>{1000}, DumpedRecordCounts(OutDir()));
}

}  // namespace
