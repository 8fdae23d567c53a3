#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include "handler/CForeignHandlerDPA.h"
#include "host/MessageXml.h"
#include "model/MessageAccess.h"
#include "testsupport/TestSupport.h"

namespace {

const char kContext[] = "CForeignHandlerDPA::DiscoverMedia";
const char kLibraryFile[] = "0001-ZRC.ForeignLibraries.xml";
const char kMediaFile[] = "0002-ZRC.ForeignMedias.xml";

struct Media {
  std::string name;
  std::vector<std::string> jobs;  // key 203, in order
  bool operator==(const Media& o) const { return name == o.name && jobs == o.jobs; }
};

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

  std::string SqlFile(const std::string& text) {
    std::string path = m_dir.file("extra.sql");
    EXPECT_TRUE(olbtest::WriteFile(path, text));
    return path;
  }

  // Checks the dumped file against the schema and reads it back.
  void ReadBack(const std::string& name, CWzMessageBase& msg) {
    std::string path = OutDir() + "/" + name, error;
    EXPECT_TRUE(ValidateMessageXmlFile(path, olbtest::SourceDir() + "/host/message.xsd", &error))
        << error;
    ASSERT_TRUE(ReadMessageXmlFile(path, msg, &error)) << error;
  }

  std::vector<std::string> LibraryNames() {
    ZRC::ForeignLibraries libraries;
    ReadBack(kLibraryFile, libraries);
    ExpectHeader(libraries);
    std::vector<std::string> names;
    for (auto& item : *List(*FindObject(libraries, ZRC::ForeignLibraries::libraryList),
                            ZRC::ForeignLibraryList::items)) {
      names.push_back(GetString(item, ZRC::ForeignLibraryItem::libraryName));
    }
    return names;
  }

  std::vector<Media> MediaItems() {
    ZRC::ForeignMedias medias;
    ReadBack(kMediaFile, medias);
    ExpectHeader(medias);
    std::vector<Media> items;
    ZRC::ForeignMediaList* list = FindObject(medias, ZRC::ForeignMedias::mediaList);
    if (list == nullptr) return items;
    for (auto& item : *List(*list, ZRC::ForeignMediaList::items)) {
      Media media{GetString(item, ZRC::ForeignMediaItem::mediaName), {}};
      for (auto& p : *List(*FindObject(item, ZRC::ForeignMediaItem::infoItems),
                           ZRC::InfoItemList::items)) {
        if (GetInt(p, ZRC::InfoItem::key) == 203) {
          media.jobs.push_back(GetString(p, ZRC::InfoItem::value));
        }
      }
      items.push_back(media);
    }
    return items;
  }

  template <class Root>
  void ExpectHeader(Root& root) {
    std::vector<short> order;
    for (const auto& f : root.fields()) order.push_back(f.number);
    EXPECT_EQ(order.size() >= 5 ? std::vector<short>(order.begin(), order.begin() + 5) : order,
              (std::vector<short>{5, 1, 6, 2, 3}));
    EXPECT_EQ(GetInt(root, Root::flags), 0);
    EXPECT_EQ(GetString(root, Root::hubfieldName), CForeignHandlerDPA::GenerateHubfieldName());
    EXPECT_EQ(GetInt(root, Root::productKind), 16);
    EXPECT_EQ(GetString(root, Root::sourceName), "unknown");
    EXPECT_EQ(GetInt(root, Root::sourceKind), 16);
  }

  // Pool names in the order the disk library tool printed them.
  std::vector<std::string> PoolsAsPrinted() {
    std::ifstream in(WorkDir() + "/olb_dpa_disklibs.txt");
    std::vector<std::string> pools;
    for (std::string line; std::getline(in, line);) {
      if (line.find(',') != std::string::npos) pools.push_back(line.substr(0, line.find(',')));
    }
    return pools;
  }

  // The media expected for the printed pools with the jobs now recorded.
  std::vector<Media> ExpectedMedia() {
    std::vector<Media> media;
    for (const auto& pool : PoolsAsPrinted()) {
      media.push_back({pool, CForeignHandlerDPA::media_job_map[pool]});
    }
    return media;
  }

  CForeignHandlerDPA m_handler;
};

const std::vector<std::string> kTapeLibraries = {"TLD0_media01", "TLD1_media02", "tld1_media01"};

TEST_F(DiscoverMediaTest, DemoDatastoreWithoutJobDiscovery) {
  UseDatastore({olbtest::DemoSqlPath()});
  olbtest::LogCapture log;
  ASSERT_TRUE(m_handler.DiscoverMedia(nullptr));
  EXPECT_EQ(olbtest::ListDir(OutDir()), (std::vector<std::string>{kLibraryFile, kMediaFile}));

  const std::vector<std::string> pools = PoolsAsPrinted();
  ASSERT_EQ(pools.size(), 5u);
  std::vector<std::string> expected = {"DefaultDiskLibrary_"};
  expected.insert(expected.end(), pools.begin(), pools.end());
  expected.insert(expected.end(), kTapeLibraries.begin(), kTapeLibraries.end());
  EXPECT_EQ(LibraryNames(), expected);
  EXPECT_EQ(MediaItems(), ExpectedMedia());
  for (const auto& media : MediaItems()) EXPECT_TRUE(media.jobs.empty());

  EXPECT_EQ(log.Count("Found [5] disk libraries"), 1u);
  EXPECT_EQ(log.Count("Successfully built disk library [dd-pool1]"), 3u);
  EXPECT_EQ(log.Count("Successfully built disk media for library [advdisk-pool2]"), 2u);
  EXPECT_EQ(log.Count("Discovered [3] libraries and [6] drives"), 1u);
  for (const auto& r : log.records()) {
    if (r.context == kContext) {
      EXPECT_EQ(r.debugLevel, -1) << r.text;
    }
  }
}

TEST_F(DiscoverMediaTest, DiskMediaListTheJobsRecordedForTheirPool) {
  UseDatastore({olbtest::DemoSqlPath()});
  CForeignHandlerDPA::AddJobToMedia("dd-pool1", "J1");
  CForeignHandlerDPA::AddJobToMedia("dd-pool1", "J2");
  CForeignHandlerDPA::AddJobToMedia("DD-POOL1", "J3");  // another name
  ASSERT_TRUE(m_handler.DiscoverMedia(nullptr));
  const std::vector<std::string> recorded = {"J1", "J2"}, none;
  for (const auto& media : MediaItems()) {
    EXPECT_EQ(media.jobs, media.name == "dd-pool1" ? recorded : none) << media.name;
  }
  EXPECT_EQ(MediaItems(), ExpectedMedia());
}

TEST_F(DiscoverMediaTest, AfterClientAndJobDiscovery) {
  UseDatastore({olbtest::DemoSqlPath()});
  ASSERT_TRUE(m_handler.DiscoverClients(nullptr));
  ASSERT_TRUE(m_handler.DiscoverJobs(nullptr));
  ASSERT_FALSE(CForeignHandlerDPA::media_job_map["dd-pool1"].empty());
  for (const auto& name : olbtest::ListDir(OutDir())) unlink((OutDir() + "/" + name).c_str());
  HostEnv::Get().nextDumpSequence = 1;

  ASSERT_TRUE(m_handler.DiscoverMedia(nullptr));
  const std::string server = CForeignHandlerDPA::GetServerName();
  ASSERT_FALSE(server.empty());
  EXPECT_EQ(LibraryNames().front(), "DefaultDiskLibrary_" + server);
  EXPECT_EQ(MediaItems(), ExpectedMedia());
}

TEST_F(DiscoverMediaTest, EmptyDatastoreGivesTheDefaultLibraryOnly) {
  UseDatastore({});
  ASSERT_TRUE(m_handler.DiscoverMedia(nullptr));
  EXPECT_EQ(LibraryNames(), std::vector<std::string>{"DefaultDiskLibrary_"});
  EXPECT_TRUE(MediaItems().empty());
}

TEST_F(DiscoverMediaTest, FailingCollectorWritesNothing) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"DROP TABLE disk_volume_config;", "Failed to collect disk libraries"},
      {"DROP TABLE device_config;", "Unable to collect library information"}};
  for (const auto& [sql, message] : cases) {
    UseDatastore({olbtest::DemoSqlPath(), SqlFile(sql)});
    olbtest::LogCapture log;
    EXPECT_FALSE(m_handler.DiscoverMedia(nullptr));
    EXPECT_EQ(log.Count(message), 1u) << log.All();
    EXPECT_TRUE(olbtest::ListDir(OutDir()).empty());
    // Both collectors are gone with their script files.
    std::string scripts;
    olbtest::RunShell("find '" + WorkDir() + "' -type f ! -name 'olb_dpa_*.txt'", &scripts);
    EXPECT_EQ(scripts, "");
  }
}

TEST_F(DiscoverMediaTest, FailingDumps) {
  UseDatastore({olbtest::DemoSqlPath()});
  const std::string out = OutDir();
  HostEnv::Get().outputDir = m_dir.file("missing");
  {
    olbtest::LogCapture log;
    EXPECT_FALSE(m_handler.DiscoverMedia(nullptr));
    EXPECT_EQ(log.Count("Unable to dump libraries xml"), 1u);
  }

  // The output directory goes away as soon as the library file is in place.
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
  EXPECT_EQ(olbtest::ListDir(out), std::vector<std::string>{kLibraryFile});
  EXPECT_EQ(records.back().context, kContext);
  EXPECT_EQ(records.back().text, "Unable to dump media xml");
}

}  // namespace
