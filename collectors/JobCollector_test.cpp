#include <string>
#include <vector>

#include "collectors/DPAJobCollector.h"
#include "handler/CForeignHandlerDPA.h"
#include "model/DPAJob.h"
#include "testsupport/TestSupport.h"

namespace {

using olbtest::LogCapture;

const char kV58Query[] =
    "select distinct f_group_name ||','|| bj.f_client_name ||','|| bj.f_nfiles ||','|| "
    "bj.f_jobid ||','|| bj.f_sizetransferred ||','|| bj.f_storage_unit ||','|| bj.f_status "
    "||','|| bj.f_starttime ||','|| (bj.f_endtime - bj.f_starttime) ||','|| bj.f_level from "
    "datamine.backupjob bj, config.nodes node where bj.f_group_name = node.f_name and "
    "node.f_type = 516 and bj.f_jobid is not null ";

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
  // Parses `text` as the tool's output.
  DPAJobInformation Parse(const std::string& text) {
    std::string path = m_dir.file("olb_dpa_jobs.txt");
    EXPECT_TRUE(olbtest::WriteFile(path, text));
    DPAJobInformation jobs;
    CDPAJobCollector collector;
    EXPECT_TRUE(collector._ParseData(&jobs, path));
    return jobs;
  }
  std::vector<std::string> JobsOn(const std::string& media) {
    std::vector<std::string> ids;
    CForeignHandlerDPA::GetJobsForMedia(media, ids);
    return ids;
  }
};

TEST_F(JobCollectorTest, QueriesOutputFileAndCommandLines) {
  CDPAJobCollector base;
  CDPAJobCollector_PG pg;
  CDPAJobCollectorV58_ORACLE oracle;
  EXPECT_STREQ("olb_dpa_jobs.txt", oracle._GetFileNameForData());
  EXPECT_EQ(kV58Query, oracle.GetQuery());
  const std::string generic = base.GetQuery();
  EXPECT_EQ(generic, pg.GetQuery());
  EXPECT_EQ(0u, generic.find("select f_name, f_display_name, f_global_name, f_agent_name, "));
  EXPECT_NE(std::string::npos, generic.find("b.f_level, f_job_name  from apollo.node n,"));
  EXPECT_NE(std::string::npos, generic.find("where n.f_id = b.f_group_id \torder by bj.f_jobid"));
  EXPECT_EQ(generic.size() - 20, generic.find("\torder by bj.f_jobid"));
  EXPECT_EQ(generic, base._GetCommandLine());

  DBContext context;
  context.setUserName("dpa");
  context.setPassword("dpa-demo-58");
  context.setInstallDir("C:\\DPA");
  oracle.setDBContext(context);
  pg.setDBContext(context);
  const std::string line = oracle._GetCommandLine();
  EXPECT_EQ("sqlplus -S -S dpa/dpa-demo-58 as SYSDBA @\"" + oracle.scriptFile() + "\"", line);
  const std::string script = olbtest::ReadFile(oracle.scriptFile());
  EXPECT_NE(std::string::npos, script.find(std::string(kV58Query) + ";\nexit\n"));
  EXPECT_EQ("\"C:\\DPA\\psql.exe\" -U dpa -d apollo -p 9003 -t -A -F , -c \"" + generic + "\"",
            pg._GetCommandLine());
}

TEST_F(JobCollectorTest, TenFieldsMakeAJobAndShorterLinesAreSkipped) {
  LogCapture log;
  DPAJobInformation jobs = Parse(
      "P0,C0,1,J0,1,stu,success,10,20\n"  // nine fields
      "\n"
      "   \n"
      "no rows selected\n"
      "P1,C1,3,J1,5,stu1,success,1700000000,3600,Full\n"
      "P2,C2,4,J2,6,stu2,failed,1,2,Cumulative Incr,extra,more\n"
      "P\\3,C3,5,J3,7,E:\\stu3,success,1,2,Full\n");  // backslashes are data
  ASSERT_EQ(3u, jobs.GetJobCount());
  const DPAJob& j1 = jobs.GetJobs()[0];
  EXPECT_EQ("J1", j1.Jobid());
  EXPECT_EQ("P1", j1.PolicyName());
  EXPECT_EQ("C1", j1.ClientName());
  EXPECT_EQ(3u, j1.Files());
  EXPECT_EQ(5ull << 20, j1.Size());
  EXPECT_EQ("success", j1.Status());
  EXPECT_EQ(1700000000u, j1.StartTime());
  EXPECT_EQ(3600u, j1.Duration());
  EXPECT_EQ("Full", j1.Level());
  EXPECT_EQ("Cumulative Incr", jobs.GetJobs()[1].Level());
  EXPECT_EQ("P\\3", jobs.GetJobs()[2].PolicyName());
  EXPECT_EQ(std::vector<std::string>{"J3"}, JobsOn("E:\\stu3"));
  EXPECT_EQ(std::vector<std::string>{"J1"}, JobsOn("stu1"));
  EXPECT_TRUE(JobsOn("stu").empty());

  EXPECT_EQ(1u, log.Count("Processing line - [P0,C0,1,J0,1,stu,success,10,20]"));
  EXPECT_EQ(2u, log.Count("Processing line - []"));
  EXPECT_EQ(1u, log.Count("Found job [J1], level [Full], policy [P1], client [C1], size "
                          "[5242880], #of files [3], status [success]"));
  EXPECT_EQ(1u, log.Count("Discovered [3] jobs"));
  EXPECT_FALSE(log.Contains("Found job [J0]"));
}

TEST_F(JobCollectorTest, NumbersReadAsLeadingDecimalsAndNegativeSizeAsZero) {
  DPAJobInformation jobs = Parse(
      "P,C,(null),A,(null),s,ok,(null),(null),Full\n"
      "P,C,,B,,s,ok,,,Full\n"
      "P,C,7x,C,12.5,s,ok,12.9,1e5,Full\n"
      "P,C,abc,D,-5,s,ok,abc,-1,Full\n"
      "P,C, 8,E, 9,s,ok, 10,4294967296,Full\n");
  ASSERT_EQ(5u, jobs.GetJobCount());
  const std::vector<DPAJob>& j = jobs.GetJobs();
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(0u, j[i].Files());
    EXPECT_EQ(0u, j[i].Size());
    EXPECT_EQ(0u, j[i].StartTime());
    EXPECT_EQ(0u, j[i].Duration());
  }
  EXPECT_EQ(7u, j[2].Files());
  EXPECT_EQ(12ull << 20, j[2].Size());
  EXPECT_EQ(12u, j[2].StartTime());
  EXPECT_EQ(1u, j[2].Duration());
  EXPECT_EQ(0u, j[3].Files());
  EXPECT_EQ(0u, j[3].Size());         // not 2^64 - 5 megabytes
  EXPECT_EQ(~0ull, j[3].Duration());  // an unsigned reading wraps, as before
  EXPECT_EQ(8u, j[4].Files());
  EXPECT_EQ(9ull << 20, j[4].Size());
  EXPECT_EQ(10u, j[4].StartTime());
  EXPECT_EQ(1ull << 32, j[4].Duration());
}

TEST_F(JobCollectorTest, RepeatedJobIdsAndTheMediaMap) {
  LogCapture log;
  DPAJobInformation jobs = Parse(
      "P,first,1,J7,1,stuA,ok,1,1,Full\n"
      "P,second,1,j7,1,stuB,ok,1,1,Full\n"  // next line, same id: dropped outright
      "P,third,1,J8,1,stuA,ok,1,1,Full\n"
      "short,line\n"  // does not reset the remembered id
      "P,fourth,1,J8,1,stuC,ok,1,1,Full\n"
      "P,fifth,1,J7,1,stuC,ok,1,1,Full\n");  // held already, but listed again
  ASSERT_EQ(2u, jobs.GetJobCount());
  EXPECT_EQ("first", jobs.GetJobs()[0].ClientName());
  EXPECT_EQ("third", jobs.GetJobs()[1].ClientName());
  EXPECT_EQ((std::vector<std::string>{"J7", "J8"}), JobsOn("stuA"));
  EXPECT_TRUE(JobsOn("stuB").empty());
  EXPECT_EQ((std::vector<std::string>{"J7"}), JobsOn("stuC"));
  EXPECT_EQ(3u, CForeignHandlerDPA::media_job_map.size());  // stuB left empty by the look-up
  EXPECT_EQ(1u, log.Count("Found job [J7], level [Full], policy [P], client [fifth], size "
                          "[1048576], #of files [1], status [ok]"));
  EXPECT_FALSE(log.Contains("client [second]"));
  EXPECT_FALSE(log.Contains("client [fourth]"));
  EXPECT_EQ(1u, log.Count("Discovered [2] jobs"));
}

TEST_F(JobCollectorTest, MissingOrEmptyOutputGivesNoJobs) {
  LogCapture log;
  DPAJobInformation jobs;
  CDPAJobCollector collector;
  EXPECT_TRUE(collector._ParseData(&jobs, m_dir.file("does-not-exist")));
  EXPECT_EQ(0u, jobs.GetJobCount());
  EXPECT_EQ(0u, Parse("").GetJobCount());
  EXPECT_EQ(2u, log.Count("Discovered [0] jobs"));
  EXPECT_TRUE(CForeignHandlerDPA::media_job_map.empty());
}

}  // namespace
