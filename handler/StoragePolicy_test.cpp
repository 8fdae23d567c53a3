// The default storage policy, its primary copy and its data path to the
// default disk library, written through the host and read back.
#include <string>
#include <vector>

#include "handler/CForeignHandlerDPA.h"
#include "host/HxUtil.h"
#include "testsupport/TestSupport.h"

namespace {

using Lines = std::vector<std::string>;

// The policy list for the server name `server` ("" when not known).
Lines Expected(const std::string& server) {
  Lines lines = {"hubfieldName(1:1) = \"DPA_#\"", "flags(5:11) = 0"};
  auto add = [&lines](const std::string& prefix, const Lines& fields) {
    for (const auto& field : fields) lines.push_back("policies(4:10)[0]." + prefix + field);
  };
  add("", {"name(1:1) = \"DPA_#_SP\"", "primaryCopyName(3:9) = \"PrimaryCopy\"",
           "snapCopyName(6:15) = \"SnapCopy\"", "value5(5:14) = 5", "value8(8:20) = 0",
           "timeZone(9:21) = \"" + GetTimeZoneDisplayNameA() + "\"", "value4(4:13) = 1",
           "value7(7:19) = 0"});
  add("copies(10:25)[0].",
      {"storagePolicyName(1:1) = \"DPA_#_SP\"", "value2(2:5) = 1",
       "copyName(3:6) = \"PrimaryCopy\"", "value4(4:10) = 0", "value6(6:12) = 1",
       "value7(7:13) = 1", "value8(8:14) = 0", "value10(10:16) = 0", "value11(11:17) = 0",
       "description(12:18) = \"Default primary copy created by Outland Bridge agent\"",
       "value14(14:23) = -1", "value5(5:11) = 0", "value9(9:15) = 1"});
  add("copies(10:25)[0].dataPaths(15:24)[0].",
      {"storagePolicyName(1:1) = \"DPA_#_SP\"", "copyName(2:5) = \"PrimaryCopy\"",
       "libraryName(5:17) = \"DefaultDiskLibrary_#\"", "value6(6:21) = 0", "value7(7:22) = 1",
       "value8(8:23) = 1", "value9(9:24) = 0", "value12(12:27) = 0", "value3(3:9) = \"None\"",
       "serverName(4:13) = \"#\"", "value10(10:25) = 0", "value11(11:26) = 0"});
  add("", {"description(2:5) = \"Default policy created by Outland Bridge agent\""});
  for (auto& line : lines) {
    if (line.find('#') != std::string::npos) line.replace(line.find('#'), 1, server);
  }
  return lines;
}

class StoragePolicyTest : public olbtest::HostFixture {
 protected:
  void TearDown() override {
    CForeignHandlerDPA::SetServerName("");
    HostFixture::TearDown();
  }
  // Runs the operation and describes the one file it wrote.
  static Lines Discover() {
    CForeignHandlerDPA handler;
    EXPECT_TRUE(handler.DiscoverStoragePolicies(nullptr));
    EXPECT_EQ(1u, handler.dumpedFiles().size());
    return handler.dumpedFiles().empty()
               ? Lines()
               : olbtest::DescribeDumpedFile(handler.dumpedFiles().back());
  }
};

TEST_F(StoragePolicyTest, DefaultPolicyWithAndWithoutServerNameAndTwice) {
  EXPECT_EQ(Expected(""), Discover());
  EXPECT_EQ(Expected(""), Discover());
  CForeignHandlerDPA::SetServerName("dpa01");
  EXPECT_EQ(Expected("dpa01"), Discover());
  EXPECT_EQ(3u, olbtest::ListDir(OutDir()).size());  // each run writes a file of its own
}

TEST_F(StoragePolicyTest, FailedDumpIsReported) {
  olbtest::LogCapture log;
  HostEnv::Get().outputDir = m_dir.file("missing");
  CForeignHandlerDPA handler;
  EXPECT_FALSE(handler.DiscoverStoragePolicies(nullptr));
  EXPECT_EQ(1u, log.Count("Unable to dump storage policy file"));
  EXPECT_TRUE(handler.dumpedFiles().empty());
}

}  // namespace
