// Media discovery: one library message (default, disk and tape libraries)
// and one media message (a disk media per disk library with the jobs that
// job discovery recorded for its pool).
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "handler/CForeignHandlerDPA.h"
#include "testsupport/TestSupport.h"

namespace {

using Lines = std::vector<std::string>;

const char kLibraryFile[] = "0001-ZRC.ForeignLibraries.xml";
const char kMediaFile[] = "0002-ZRC.ForeignMedias.xml";
// The demo's disk libraries (one per volume) in the order the tool prints them.
const Lines kPools = {"dd-pool1", "dd-pool1", "dd-pool1", "advdisk-pool2", "advdisk-pool2"};

// The value of a described line, without quotes.
std::string Value(const std::string& line) {
  std::string value = line.substr(line.find(" = ") + 3);
  return value.front() == '"' ? value.substr(1, value.size() - 2) : value;
}

class DiscoverMediaTest : public olbtest::HostFixture {
 protected:
  void SetUp() override {
    HostFixture::SetUp();
    CForeignHandlerDPA::media_job_map.clear();
    SetRegistry("[kRelayUnit]\nsDPAUSER=dpa\nsDPAPASSWORD=dpa-demo-58\n");
    CWzMessageBase config(30, 0);
    ASSERT_TRUE(m_handler.DiscoverConfig(&config));
  }
  void TearDown() override {
    CForeignHandlerDPA::media_job_map.clear();
    CForeignHandlerDPA::m_dbContext = DBContext();
    CForeignHandlerDPA::SetServerName("");
    HostFixture::TearDown();
  }

  // The dumped file (checked against the schema) with its header checked.
  Lines Dumped(const std::string& name) {
    Lines lines = olbtest::DescribeDumpedFile(OutDir() + "/" + name);
    EXPECT_EQ((Lines{"flags(5:11) = 0",
                     "hubfieldName(1:1) = \"" + CForeignHandlerDPA::GenerateHubfieldName() + "\"",
                     "productKind(6:12) = 16", "sourceName(2:5) = \"unknown\"",
                     "sourceKind(3:9) = 16"}),
              Lines(lines.begin(), lines.begin() + std::min<size_t>(5, lines.size())));
    return lines;
  }
  Lines LibraryNames() {
    Lines names;
    for (const auto& line : Dumped(kLibraryFile)) {
      if (line.find("].libraryName(2:2) = ") != std::string::npos) names.push_back(Value(line));
    }
    return names;
  }
  // Each media as its name followed by its job ids (items of key 203).
  Lines MediaJobs() {
    const Lines lines = Dumped(kMediaFile);
    Lines media;
    for (size_t i = 0; i < lines.size(); ++i) {
      const std::string& line = lines[i];
      if (line.find("].mediaName(1:1) = ") != std::string::npos) {
        media.push_back(Value(line));
      } else if (line.size() > 15 && line.compare(line.size() - 15, 15, ".key(1:1) = 203") == 0) {
        media.back() += " " + Value(lines[i + 2]);
      }
    }
    return media;
  }
  CForeignHandlerDPA m_handler;
};

TEST_F(DiscoverMediaTest, DemoDatastoreWithoutJobDiscovery) {
  UseDatastore({olbtest::DemoSqlPath()});
  olbtest::LogCapture log;
  ASSERT_TRUE(m_handler.DiscoverMedia(nullptr));
  EXPECT_EQ((Lines{kLibraryFile, kMediaFile}), olbtest::ListDir(OutDir()));
  Lines expected = {"DefaultDiskLibrary_"};
  expected.insert(expected.end(), kPools.begin(), kPools.end());
  for (const char* tape : {"TLD0_media01", "TLD1_media02", "tld1_media01"}) {
    expected.push_back(tape);
  }
  EXPECT_EQ(expected, LibraryNames());
  EXPECT_EQ(kPools, MediaJobs());
  EXPECT_EQ(1u, log.Count("Found [5] disk libraries"));
  EXPECT_EQ(3u, log.Count("Successfully built disk library [dd-pool1]"));
  EXPECT_EQ(2u, log.Count("Successfully built disk media for library [advdisk-pool2]"));
  EXPECT_EQ(1u, log.Count("Discovered [3] libraries and [6] drives"));
}

// Disk media list the jobs recorded for their pool by name, case and all.
TEST_F(DiscoverMediaTest, AfterClientAndJobDiscovery) {
  UseDatastore({olbtest::DemoSqlPath()});
  ASSERT_TRUE(m_handler.DiscoverClients(nullptr));
  ASSERT_TRUE(m_handler.DiscoverJobs(nullptr));
  ASSERT_FALSE(CForeignHandlerDPA::media_job_map["dd-pool1"].empty());
  CForeignHandlerDPA::AddJobToMedia("DD-POOL1", "J-other-name");
  for (const auto& name : olbtest::ListDir(OutDir())) unlink((OutDir() + "/" + name).c_str());
  HostEnv::Get().nextDumpSequence = 1;

  ASSERT_TRUE(m_handler.DiscoverMedia(nullptr));
  const std::string server = CForeignHandlerDPA::GetServerName();
  ASSERT_FALSE(server.empty());
  EXPECT_EQ("DefaultDiskLibrary_" + server, LibraryNames().front());
  Lines expected = kPools;
  for (auto& media : expected) {
    for (const auto& job : CForeignHandlerDPA::media_job_map[media]) media += " " + job;
  }
  EXPECT_EQ(expected, MediaJobs());
  EXPECT_NE(std::string::npos, expected.front().find(" J100010"));
}

TEST_F(DiscoverMediaTest, EmptyDatastoreGivesTheDefaultLibraryOnly) {
  UseDatastore({});
  ASSERT_TRUE(m_handler.DiscoverMedia(nullptr));
  EXPECT_EQ(Lines{"DefaultDiskLibrary_"}, LibraryNames());
  EXPECT_EQ(5u, Dumped(kMediaFile).size());  // the header alone
}

TEST_F(DiscoverMediaTest, FailingCollectorWritesNothing) {
  const std::pair<std::string, std::string> cases[] = {
      {"DROP TABLE disk_volume_config;", "Failed to collect disk libraries"},
      {"DROP TABLE device_config;", "Unable to collect library information"}};
  for (const auto& [sql, message] : cases) {
    SCOPED_TRACE(sql);
    ASSERT_TRUE(olbtest::WriteFile(m_dir.file("drop.sql"), sql));
    UseDatastore({olbtest::DemoSqlPath(), m_dir.file("drop.sql")});
    olbtest::LogCapture log;
    EXPECT_FALSE(m_handler.DiscoverMedia(nullptr));
    EXPECT_EQ(1u, log.Count(message)) << log.All();
    EXPECT_TRUE(olbtest::ListDir(OutDir()).empty());
    // Both collectors are gone with their script files.
    std::string scripts;
    olbtest::RunShell("find '" + WorkDir() + "' -type f ! -name 'olb_dpa_*.txt'", &scripts);
    EXPECT_EQ("", scripts);
  }
}

TEST_F(DiscoverMediaTest, FailingDumps) {
  UseDatastore({olbtest::DemoSqlPath()});
  const std::string out = OutDir();
  HostEnv::Get().outputDir = m_dir.file("missing");
  {
    olbtest::LogCapture log;
    EXPECT_FALSE(m_handler.DiscoverMedia(nullptr));
    EXPECT_EQ(1u, log.Count("Unable to dump libraries xml"));
  }
  // The output directory goes away as soon as the library file is written.
  HostEnv::Get().outputDir = out;
  std::vector<LogRecord> records;
  HostEnv::Get().logSink = [&](const LogRecord& r) {
    records.push_back(r);
    if (r.debugLevel == 1 && r.text.find("ForeignLibraries") != std::string::npos) {
      HostEnv::Get().outputDir = m_dir.file("missing");
    }
  };
  EXPECT_FALSE(m_handler.DiscoverMedia(nullptr));
  HostEnv::Get().logSink = nullptr;
  EXPECT_EQ(Lines{kLibraryFile}, olbtest::ListDir(out));
  EXPECT_EQ("CForeignHandlerDPA::DiscoverMedia: Unable to dump media xml",
            records.back().context + ": " + records.back().text);
}

}  // namespace
