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

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

// "" when equal, else the first differing line as "file:line: ...".
std::string FirstDifference(const std::string& expectedFile, const std::string& actual) {
  const std::vector<std::string> want = SplitLines(olbtest::ReadFile(expectedFile));
  const std::vector<std::string> got = SplitLines(actual);
  for (size_t i = 0; i < want.size() || i < got.size(); ++i) {
    const std::string w = i < want.size() ? want[i] : "<end of file>";
    const std::string g = i < got.size() ? got[i] : "<end of file>";
    if (w != g) {
      return expectedFile + ":" + std::to_string(i + 1) + ": expected\n  " + w + "\ngot\n  " + g;
    }
  }
  return "";
}

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
      const std::string level = r.level == "EVENT" ? "EVENT L" + std::to_string(r.debugLevel)
                                                   : r.level;
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
    olbtest::RunShell("rm -rf '" + golden + "' && cp -r '" + OutDir() + "' '" + golden + "'",
                      nullptr);
  }
  ASSERT_EQ(olbtest::ListDir(golden), written);
  for (const std::string& name : written) {
    const std::string diff = FirstDifference(golden + "/" + name, olbtest::ReadFile(OutDir() + "/" + name));
    if (!diff.empty()) ADD_FAILURE() << diff;
  }
}

}  // namespace
