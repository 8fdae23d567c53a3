// The job collector: its command lines and the parser of the tool's output
// (fields, numbers, repeated job ids and the media-to-jobs map).
#include <string>
#include <vector>

#include "collectors/DPAJobCollector.h"
#include "handler/CForeignHandlerDPA.h"
#include "model/DPAJob.h"
#include "testsupport/TestSupport.h"

namespace {

using olbtest::LogCapture;

class JobCollectorTest : public olbtest::HostFixture {
 protected:
  void SetUp() override {
    HostFixture::SetUp();
    CForeignHandlerDPA::media_job_map.clear();
  }
  void TearDown() override {
    CForeignHandlerDPA::media_job_map.clear();
    HostFixture::TearDown();
  }
  DPAJobInformation Parse(const std::string& text) {
    std::string path = m_dir.file("olb_dpa_jobs.txt");
    EXPECT_TRUE(olbtest::WriteFile(path, text));
    DPAJobInformation jobs;
    EXPECT_TRUE(CDPAJobCollectorV58_ORACLE()._ParseData(&jobs, path));
    return jobs;
  }
  static std::vector<std::string> JobsOn(const std::string& media) {
    std::vector<std::string> ids;
    CForeignHandlerDPA::GetJobsForMedia(media, ids);
    return ids;
  }
};

// Ten fields make a job (more are ignored), shorter lines are skipped and
// backslashes are data; missing or empty output gives no jobs.
TEST_F(JobCollectorTest, TenFieldsMakeAJobAndShorterLinesAreSkipped) {
  LogCapture log;
  DPAJobInformation jobs = Parse(
      "P0,C0,1,J0,1,stu,success,10,20\n"  // nine fields
      "\n"
      "no rows selected\n"
      "P1,C1,3,J1,5,stu1,success,1700000000,3600,Full\n"
      "P2,C2,4,J2,6,stu2,failed,1,2,Cumulative Incr,extra\n"
      "P\\3,C3,5,J3,7,E:\\stu3,success,1,2,Full\n");
  ASSERT_EQ(3u, jobs.GetJobCount());
  const DPAJob& j1 = jobs.GetJobs()[0];
  EXPECT_EQ("J1|P1|C1|success|Full", j1.Jobid() + "|" + j1.PolicyName() + "|" + j1.ClientName() +
                                         "|" + j1.Status() + "|" + j1.Level());
  EXPECT_EQ((std::vector<uint64_t>{3, 5ull << 20, 1700000000, 3600}),
            (std::vector<uint64_t>{j1.Files(), j1.Size(), j1.StartTime(), j1.Duration()}));
  EXPECT_EQ("Cumulative Incr", jobs.GetJobs()[1].Level());
  EXPECT_EQ("P\\3", jobs.GetJobs()[2].PolicyName());
  EXPECT_EQ(std::vector<std::string>{"J3"}, JobsOn("E:\\stu3"));
  EXPECT_TRUE(JobsOn("stu").empty());
  EXPECT_EQ(1u, log.Count("Processing line - [P0,C0,1,J0,1,stu,success,10,20]"));
  EXPECT_EQ(1u, log.Count("Found job [J1], level [Full], policy [P1], client [C1], size "
                          "[5242880], #of files [3], status [success]"));
  EXPECT_FALSE(log.Contains("Found job [J0]"));
  EXPECT_EQ(1u, log.Count("Discovered [3] jobs"));

  CForeignHandlerDPA::media_job_map.clear();
  DPAJobInformation none;
  EXPECT_TRUE(CDPAJobCollector()._ParseData(&none, m_dir.file("does-not-exist")));
  EXPECT_EQ(0u, none.GetJobCount() + Parse("").GetJobCount());
  EXPECT_EQ(2u, log.Count("Discovered [0] jobs"));
  EXPECT_TRUE(CForeignHandlerDPA::media_job_map.empty());
  // No container: nothing is read and the parse fails.
  EXPECT_FALSE(CDPAJobCollector()._ParseData(nullptr, m_dir.file("does-not-exist")));
  EXPECT_EQ(1u, log.Count("No job container given"));
}

// Numbers read as leading decimals; a negative size reads as 0 rather than
// as an enormous count, other numbers wrap as an unsigned reading does.
TEST_F(JobCollectorTest, NumbersReadAsLeadingDecimalsAndNegativeSizeAsZero) {
  struct Case {
    std::string files, size, start, duration;
    std::vector<uint64_t> read;  // files, size in bytes, start, duration
  } cases[] = {
      {"(null)", "(null)", "(null)", "(null)", {0, 0, 0, 0}},
      {"", "", "", "", {0, 0, 0, 0}},
      {"7x", "12.5", "12.9", "1e5", {7, 12ull << 20, 12, 1}},
      {"abc", "-5", "abc", "-1", {0, 0, 0, ~0ull}},
      {" 8", " 9", " 10", "4294967296", {8, 9ull << 20, 10, 1ull << 32}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.files + "," + c.size + "," + c.start + "," + c.duration);
    DPAJobInformation jobs = Parse("P,C," + c.files + ",J," + c.size + ",s,ok," + c.start + "," +
                                   c.duration + ",Full\n");
    ASSERT_EQ(1u, jobs.GetJobCount());
    const DPAJob& j = jobs.GetJobs()[0];
    EXPECT_EQ(c.read, (std::vector<uint64_t>{j.Files(), j.Size(), j.StartTime(), j.Duration()}));
  }
}

// A job id repeating the line before (case ignored) is dropped outright; one
// held from earlier is listed again under its storage unit but kept once.
TEST_F(JobCollectorTest, RepeatedJobIdsAndTheMediaMap) {
  LogCapture log;
  DPAJobInformation jobs = Parse(
      "P,first,1,J7,1,stuA,ok,1,1,Full\n"
      "P,second,1,j7,1,stuB,ok,1,1,Full\n"
      "P,third,1,J8,1,stuA,ok,1,1,Full\n"
      "short,line\n"  // does not reset the remembered id
      "P,fourth,1,J8,1,stuC,ok,1,1,Full\n"
      "P,fifth,1,J7,1,stuC,ok,1,1,Full\n");
  ASSERT_EQ(2u, jobs.GetJobCount());
  EXPECT_EQ("first", jobs.GetJobs()[0].ClientName());
  EXPECT_EQ("third", jobs.GetJobs()[1].ClientName());
  EXPECT_EQ((std::vector<std::string>{"J7", "J8"}), JobsOn("stuA"));
  EXPECT_TRUE(JobsOn("stuB").empty());
  EXPECT_EQ((std::vector<std::string>{"J7"}), JobsOn("stuC"));
  EXPECT_EQ(1u, log.Count("Found job [J7], level [Full], policy [P], client [fifth], size "
                          "[1048576], #of files [1], status [ok]"));
  EXPECT_FALSE(log.Contains("client [second]"));
  EXPECT_FALSE(log.Contains("client [fourth]"));
  EXPECT_EQ(1u, log.Count("Discovered [2] jobs"));
}

}  // namespace
