// Media and storage policy discovery where the golden run does not go: an
// empty datastore, failing collectors and failing dumps.
#include <string>
#include <vector>

#include "handler/CForeignHandlerDPA.h"
#include "testsupport/TestSupport.h"

namespace {

using Lines = std::vector<std::string>;

class DiscoverMediaTest : public olbtest::HostFixture {
 protected:
  void SetUp() override {
    HostFixture::SetUp();
    SetRegistry("[kRelayUnit]\nsDPAUSER=dpa\nsDPAPASSWORD=dpa-demo-58\n");
    ASSERT_TRUE(m_handler.DiscoverConfig(nullptr));
  }
  void TearDown() override {
    CForeignHandlerDPA::m_dbContext = DBContext();
    HostFixture::TearDown();
  }
  // Writes `sql` to a file and makes a datastore of it.
  void Datastore(const std::string& sql) {
    ASSERT_TRUE(olbtest::WriteFile(m_dir.file("extra.sql"), sql));
    UseDatastore({olbtest::DemoSqlPath(), m_dir.file("extra.sql")});
  }
  CForeignHandlerDPA m_handler;
};

TEST_F(DiscoverMediaTest, EmptyDatastoreGivesTheDefaultLibraryAndNoMedia) {
  Datastore("DELETE FROM disk_volume_config; DELETE FROM device_config;");
  ASSERT_TRUE(m_handler.DiscoverMedia(nullptr));
  ASSERT_EQ(2u, m_handler.dumpedFiles().size());
  Lines names;
  for (const auto& line : olbtest::DescribeDumpedFile(m_handler.dumpedFiles()[0])) {
    if (line.find(".libraryName(") != std::string::npos) names.push_back(line);
  }
  EXPECT_EQ(Lines{"libraryList(4:10).items(1:1)[0].libraryName(2:2) = \"DefaultDiskLibrary_\""},
            names);
  EXPECT_EQ(5u, olbtest::DescribeDumpedFile(m_handler.dumpedFiles()[1]).size());  // header only
}

// Each failure ends the run with its line, false, no file and no script left.
TEST_F(DiscoverMediaTest, FailuresWriteNothing) {
  const std::string missing = m_dir.file("missing");
  const struct {
    std::string sql, outDir, message;
  } cases[] = {
      {"DROP TABLE disk_volume_config;", "", "Failed to collect disk libraries"},
      {"DROP TABLE device_config;", "", "Unable to collect library information"},
      {"", missing, "Unable to dump libraries xml"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    Datastore(c.sql);
    HostEnv::Get().outputDir = c.outDir.empty() ? OutDir() : c.outDir;
    olbtest::LogCapture log;
    EXPECT_FALSE(m_handler.DiscoverMedia(nullptr));
    EXPECT_EQ(1u, log.Count(c.message)) << log.All();
    EXPECT_TRUE(olbtest::ListDir(OutDir()).empty());
    std::string scripts;
    olbtest::RunShell("find '" + WorkDir() + "' -type f ! -name 'olb_dpa_*.txt'", &scripts);
    EXPECT_EQ("", scripts);
  }
  HostEnv::Get().outputDir = missing;
  olbtest::LogCapture log;
  EXPECT_FALSE(m_handler.DiscoverStoragePolicies(nullptr));
  EXPECT_EQ(1u, log.Count("Unable to dump storage policy file"));
}

TEST_F(DiscoverMediaTest, MediaDumpFailingAfterTheLibraries) {
  Datastore("");
  // The output directory goes away as soon as the library file is written.
  std::vector<LogRecord> records;
  HostEnv::Get().logSink = [&](const LogRecord& r) {
    records.push_back(r);
    if (r.text.find("ForeignLibraries.xml") != std::string::npos) {
      HostEnv::Get().outputDir = m_dir.file("missing");
    }
  };
  EXPECT_FALSE(m_handler.DiscoverMedia(nullptr));
  HostEnv::Get().logSink = nullptr;
  EXPECT_EQ(Lines{"0001-ZRC.ForeignLibraries.xml"}, olbtest::ListDir(OutDir()));
  EXPECT_EQ("CForeignHandlerDPA::DiscoverMedia: Unable to dump media xml",
            records.back().context + ": " + records.back().text);
}

}  // namespace
