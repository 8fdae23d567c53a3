// All five operations on one crafted datastore (testdata/golden.sql), the
// way the host calls them, each written file compared with the expected file
// of the same name in testdata/golden/: every field number, type code, value
// and order of every message, and the log of the run (run.log).
//
// After a deliberate change of the output, rewrite the expected files with
//   OLB_UPDATE_GOLDEN=1 build/handler/handler_Golden_test
// and read the diff line by line before committing it.
#include <cstdlib>
#include <string>
#include <vector>

#include "handler/CForeignHandlerDPA.h"
#include "testsupport/TestSupport.h"

namespace {

class GoldenTest : public olbtest::HostFixture {
 protected:
  void SetUp() override {
    HostFixture::SetUp();
    const char* tz = std::getenv("TZ");
    m_oldTz = tz ? tz : "";
    setenv("TZ", "Golden/Zone", 1);
    CForeignHandlerDPA::media_job_map.clear();
    CForeignHandlerDPA::SetServerName("");
  }
  void TearDown() override {
    m_oldTz.empty() ? unsetenv("TZ") : setenv("TZ", m_oldTz.c_str(), 1);
    CForeignHandlerDPA::media_job_map.clear();
    CForeignHandlerDPA::SetServerName("");
    CForeignHandlerDPA::m_dbContext = DBContext();
    HostFixture::TearDown();
  }
  std::string m_oldTz;
};

TEST_F(GoldenTest, EveryOperationOnTheCraftedDatastore) {
  const std::string data = olbtest::SourceDir() + "/handler/testdata/";
  UseDatastore({data + "golden.sql"});
  SetRegistry(
      "[kRelayUnit]\nsDPAUSER=dpa\nsDPAPASSWORD=dpa-demo-58\nsDPADBNAME=apollo\n"
      "sDPAINSTALLDIR=C:\\DPA\\bin\nsDPAEXENAME=psql.exe\n[~kRelayUnit]\nnDPADBTYPE=2\n"
      "nDPADBPORT=-9003\n");
  std::string log;
  {
    olbtest::LogCapture capture;
    CForeignHandlerDPA handler;
    CWzMessageBase config(30, 0);
    EXPECT_TRUE(handler.DiscoverConfig(&config));
    EXPECT_TRUE(handler.DumpXmlMsgToFile(&config, 0, false));
    EXPECT_TRUE(handler.DiscoverClients(nullptr));
    EXPECT_TRUE(handler.DiscoverJobs(nullptr));
    EXPECT_TRUE(handler.DiscoverMedia(nullptr));
    EXPECT_TRUE(handler.DiscoverStoragePolicies(nullptr));
    for (const LogRecord& r : capture.records()) {
      const std::string level =
          r.level == "EVENT" ? "EVENT L" + std::to_string(r.debugLevel) : r.level;
      log += level + " " + r.context + ": " + r.text + "\n";
    }
  }
  for (size_t at; (at = log.find(m_dir.path())) != std::string::npos;) {
    log.replace(at, m_dir.path().size(), "$DIR");
  }
  ASSERT_TRUE(olbtest::WriteFile(OutDir() + "/run.log", log));

  const std::string golden = data + "golden";
  const std::vector<std::string> written = olbtest::ListDir(OutDir());
  if (std::getenv("OLB_UPDATE_GOLDEN") != nullptr) {
    olbtest::RunShell("rm -rf '" + golden + "' && mkdir '" + golden + "'", nullptr);
  }
  for (const std::string& name : written) {
    olbtest::ExpectGolden(golden + "/" + name, olbtest::ReadFile(OutDir() + "/" + name));
  }
  EXPECT_EQ(olbtest::ListDir(golden), written);
}

}  // namespace
