// Names built from the server name, the level, status and library type
// mappings, the media-to-jobs map, the operating-system record and the stub
// operations.
#include <string>
#include <utility>
#include <vector>

#include "handler/CForeignHandlerDPA.h"
#include "model/MessageAccess.h"
#include "testsupport/TestSupport.h"

namespace {

class NamingTest : public ::testing::Test {
 protected:
  void SetUp() override { Clear(); }
  void TearDown() override { Clear(); }
  static void Clear() {
    CForeignHandlerDPA::SetServerName("");
    CForeignHandlerDPA::media_job_map.clear();
  }
};

TEST_F(NamingTest, NamesFollowTheServerName) {
  EXPECT_EQ("", CForeignHandlerDPA::GetServerName());
  EXPECT_EQ("DPA_", CForeignHandlerDPA::GenerateHubfieldName());
  EXPECT_EQ("DPA__SP", CForeignHandlerDPA::GenerateDefaultSPName());
  EXPECT_EQ("DefaultDiskLibrary_", CForeignHandlerDPA::GenerateDefaultLibraryName());

  CForeignHandlerDPA::SetServerName("dpa01");
  EXPECT_EQ("dpa01", CForeignHandlerDPA::GetServerName());
  EXPECT_EQ("DPA_dpa01", CForeignHandlerDPA::GenerateHubfieldName());
  EXPECT_EQ("DPA_dpa01_SP", CForeignHandlerDPA::GenerateDefaultSPName());
  EXPECT_EQ("DefaultDiskLibrary_dpa01", CForeignHandlerDPA::GenerateDefaultLibraryName());
}

TEST_F(NamingTest, BackupLevelComparesWholeTextIgnoringAsciiCase) {
  struct Case {
    const char* text;
    int level;
  } cases[] = {
      {"Full", 1},
      {"FULL", 1},
      {"full", 1},
      {"Differential Incr", 4},
      {"differential incr", 4},
      {"Cumulative Incr", 2},
      {"CUMULATIVE INCR", 2},
      {"Full ", 0},
      {" Full", 0},
      {"Ful", 0},
      {"Differential", 0},
      {"Incr", 0},
      {"", 0},
      {"F\xC3\x9Cll", 0},  // a non-ASCII letter is no variant of u
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.level, CForeignHandlerDPA::GetZRCBackupLevel(c.text)) << "[" << c.text << "]";
  }
  // An embedded NUL does not cut the text short.
  EXPECT_EQ(0, CForeignHandlerDPA::GetZRCBackupLevel(std::string("Full\0x", 6)));
}

TEST_F(NamingTest, StatusComparesWholeTextIgnoringAsciiCase) {
  struct Case {
    const char* text;
    int status;
  } cases[] = {
      {"success", 1}, {"Success", 1}, {"SUCCESS", 1}, {"fail", 2},    {"FAIL", 2},
      {"failed", 7},  {"successful", 7}, {"succes", 7}, {"", 7},     {"running", 7},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.status, CForeignHandlerDPA::GetStatus(c.text)) << "[" << c.text << "]";
  }
}

TEST_F(NamingTest, LibraryTypeIsAlwaysZero) {
  for (const char* type : {"", "Tape", "Disk", "Magnetic", "4"}) {
    EXPECT_EQ(0, CForeignHandlerDPA::_MapDPALibraryTypeToHXLibraryType(type)) << type;
  }
}

TEST_F(NamingTest, JobsForMediaKeepOrderAndDuplicates) {
  CForeignHandlerDPA::AddJobToMedia("pool1", "j1");
  CForeignHandlerDPA::AddJobToMedia("pool2", "j2");
  CForeignHandlerDPA::AddJobToMedia("pool1", "j3");
  CForeignHandlerDPA::AddJobToMedia("pool1", "j1");
  CForeignHandlerDPA::AddJobToMedia("POOL1", "j4");  // names compare exactly

  std::vector<std::string> jobs = {"stale"};
  CForeignHandlerDPA::GetJobsForMedia("pool1", jobs);
  EXPECT_EQ((std::vector<std::string>{"j1", "j3", "j1"}), jobs);
  CForeignHandlerDPA::GetJobsForMedia("pool2", jobs);
  EXPECT_EQ((std::vector<std::string>{"j2"}), jobs);

  // A media without jobs yields an empty list and leaves an empty entry.
  CForeignHandlerDPA::GetJobsForMedia("unknown", jobs);
  EXPECT_TRUE(jobs.empty());
  ASSERT_EQ(1u, CForeignHandlerDPA::media_job_map.count("unknown"));
  EXPECT_TRUE(CForeignHandlerDPA::media_job_map["unknown"].empty());
  EXPECT_EQ(4u, CForeignHandlerDPA::media_job_map.size());

  // The copy handed out does not change the map.
  CForeignHandlerDPA::GetJobsForMedia("pool2", jobs);
  jobs.push_back("extra");
  CForeignHandlerDPA::GetJobsForMedia("pool2", jobs);
  EXPECT_EQ(1u, jobs.size());
}

TEST_F(NamingTest, OperatingSystemRecord) {
  App::OperatingSystem os;
  CForeignHandlerDPA::PopulateOsInfo(&os);
  CForeignHandlerDPA::PopulateOsInfo(&os);  // a second call replaces in place

  std::vector<std::pair<short, short>> order;  // (number, type code)
  for (const auto& f : os.fields()) order.emplace_back(f.number, f.type);
  EXPECT_EQ((std::vector<std::pair<short, short>>{{1, 1}, {2, 2}, {3, 6}, {5, 14}, {6, 18}}),
            order);
  EXPECT_EQ(0, GetInt(os, App::OperatingSystem::code));
  EXPECT_TRUE(IsSet(os, App::OperatingSystem::code));
  EXPECT_EQ("Any", GetString(os, App::OperatingSystem::text2));
  EXPECT_EQ("Any", GetString(os, App::OperatingSystem::text3));
  EXPECT_EQ("Any", GetString(os, App::OperatingSystem::text5));

  App::OperatingSystemDetail* detail = FindObject(os, App::OperatingSystem::nested6);
  ASSERT_NE(nullptr, detail);
  EXPECT_EQ(30, detail->module());
  EXPECT_EQ(17, detail->messageType());
  ASSERT_EQ(2u, detail->fields().size());
  EXPECT_EQ("Any", GetString(*detail, App::OperatingSystemDetail::text1));
  EXPECT_EQ("Any", GetString(*detail, App::OperatingSystemDetail::text3));
  EXPECT_EQ(9, detail->findField(3)->type);

  CForeignHandlerDPA::PopulateOsInfo(nullptr);  // nothing to fill, no crash
}

TEST_F(NamingTest, StubOperationsSucceedAndChangeNothing) {
  CForeignHandlerDPA::SetServerName("dpa01");
  CForeignHandlerDPA::AddJobToMedia("pool1", "j1");
  CForeignHandlerDPA handler;
  EXPECT_TRUE(handler.m_clients.empty());
  CWzMessageBase msg(32, 0);
  EXPECT_TRUE(handler.DiscoverSchedule(&msg));
  EXPECT_TRUE(handler.RetrieveMetadata());
  EXPECT_TRUE(handler.DoRestore(&msg));
  EXPECT_TRUE(msg.fields().empty());
  EXPECT_TRUE(handler.m_clients.empty());
  EXPECT_EQ("dpa01", CForeignHandlerDPA::GetServerName());
  EXPECT_EQ(1u, CForeignHandlerDPA::media_job_map.size());
}

}  // namespace
