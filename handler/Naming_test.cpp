// Names built from the server name, the level, status and library type
// mappings, the media-to-jobs map, the operating-system record and the stub
// operations.
#include <string>
#include <vector>

#include "handler/CForeignHandlerDPA.h"
#include "testsupport/TestSupport.h"

namespace {

typedef CForeignHandlerDPA H;

class NamingTest : public ::testing::Test {
 protected:
  void SetUp() override { TearDown(); }
  void TearDown() override {
    H::SetServerName("");
    H::media_job_map.clear();
  }
};

TEST_F(NamingTest, NamesFollowTheServerName) {
  for (const std::string server : {"", "dpa01"}) {
    H::SetServerName(server);
    EXPECT_EQ(server, H::GetServerName());
    EXPECT_EQ("DPA_" + server, H::GenerateHubfieldName());
    EXPECT_EQ("DPA_" + server + "_SP", H::GenerateDefaultSPName());
    EXPECT_EQ("DefaultDiskLibrary_" + server, H::GenerateDefaultLibraryName());
  }
}

TEST_F(NamingTest, LevelAndStatusCompareWholeTextIgnoringAsciiCase) {
  // A non-ASCII letter is no variant of u; an embedded NUL does not cut the
  // text short.
  const struct {
    int (*map)(std::string);
    int expected;
    std::vector<std::string> texts;
  } cases[] = {
      {H::GetZRCBackupLevel, 1, {"Full", "FULL", "full"}},
      {H::GetZRCBackupLevel, 4, {"Differential Incr", "differential incr"}},
      {H::GetZRCBackupLevel, 2, {"Cumulative Incr", "CUMULATIVE INCR"}},
      {H::GetZRCBackupLevel,
       0,
       {"Full ", " Full", "Ful", "Differential", "Incr", "", "F\xC3\x9Cll",
        std::string("Full\0x", 6)}},
      {H::GetStatus, 1, {"success", "Success", "SUCCESS"}},
      {H::GetStatus, 2, {"fail", "FAIL"}},
      {H::GetStatus, 7, {"failed", "successful", "succes", "", "running"}},
      {H::_MapDPALibraryTypeToHXLibraryType, 0, {"", "Tape", "Disk", "4"}},
  };
  for (const auto& c : cases) {
    for (const std::string& text : c.texts) EXPECT_EQ(c.expected, c.map(text)) << text;
  }
}

TEST_F(NamingTest, JobsForMediaKeepOrderAndDuplicates) {
  H::AddJobToMedia("pool1", "j1");
  H::AddJobToMedia("pool2", "j2");
  H::AddJobToMedia("pool1", "j3");
  H::AddJobToMedia("pool1", "j1");
  H::AddJobToMedia("POOL1", "j4");  // names compare exactly

  std::vector<std::string> jobs = {"stale"};
  H::GetJobsForMedia("pool1", jobs);
  EXPECT_EQ((std::vector<std::string>{"j1", "j3", "j1"}), jobs);
  // The copy handed out does not change the map.
  jobs.push_back("extra");
  H::GetJobsForMedia("pool1", jobs);
  EXPECT_EQ(3u, jobs.size());
  // A media without jobs yields an empty list and leaves an empty entry.
  H::GetJobsForMedia("unknown", jobs);
  EXPECT_TRUE(jobs.empty());
  EXPECT_EQ(4u, H::media_job_map.size());
  EXPECT_TRUE(H::media_job_map.at("unknown").empty());
}

TEST_F(NamingTest, OperatingSystemRecordIsReplacedInPlace) {
  App::OperatingSystem once, twice;
  H::PopulateOsInfo(&once);
  H::PopulateOsInfo(&twice);
  H::PopulateOsInfo(&twice);
  EXPECT_EQ(6u, olbtest::DescribeMessage(once).size());
  EXPECT_EQ(olbtest::DescribeMessage(once), olbtest::DescribeMessage(twice));
  H::PopulateOsInfo(nullptr);  // nothing to fill, no crash
}

TEST_F(NamingTest, StubOperationsSucceedAndChangeNothing) {
  H::SetServerName("dpa01");
  H handler;
  CWzMessageBase msg(32, 0);
  EXPECT_TRUE(handler.DiscoverSchedule(&msg) && handler.RetrieveMetadata() &&
              handler.DoRestore(&msg));
  EXPECT_TRUE(msg.fields().empty());
  EXPECT_TRUE(handler.m_clients.empty());
  EXPECT_EQ("dpa01", H::GetServerName());
}

}  // namespace
