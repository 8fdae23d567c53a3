#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "handler/CForeignHandlerDPA.h"
#include "host/MessageXml.h"
#include "model/DPADiskLibrary.h"
#include "model/DPALibrary.h"
#include "model/MessageAccess.h"
#include "testsupport/TestSupport.h"

namespace {

using Fields = std::vector<std::pair<short, std::string>>;
using Props = std::vector<std::tuple<long long, long long, std::string>>;

// Every field of `msg` in the order set: number and value as text ("{}" for
// a nested object, "[n]" for a list of n items).
Fields FieldsOf(const CWzMessageBase& msg) {
  Fields fields;
  for (const auto& f : msg.fields()) {
    std::string value = f.kind == CWzMessageBase::Kind::kInt      ? std::to_string(f.intValue)
                        : f.kind == CWzMessageBase::Kind::kString ? f.stringValue
                        : f.kind == CWzMessageBase::Kind::kObject
                            ? "{}"
                            : "[" + std::to_string(f.list->Size()) + "]";
    fields.emplace_back(f.number, value);
  }
  return fields;
}

// The properties in `holder`, each checked to be set as key, value type,
// value.
Props PropertiesOf(ZRC::InfoItemList* holder) {
  Props props;
  for (ZRC::InfoItem& item : *List(*holder, ZRC::InfoItemList::items)) {
    EXPECT_EQ(FieldsOf(item).size(), 3u);
    EXPECT_EQ(FieldsOf(item)[1].first, ZRC::InfoItem::valueType.number);
    props.emplace_back(GetInt(item, ZRC::InfoItem::key), GetInt(item, ZRC::InfoItem::valueType),
                       GetString(item, ZRC::InfoItem::value));
  }
  return props;
}

std::vector<Props> DrivesOf(ZRC::ForeignLibraryItem& item) {
  std::vector<Props> drives;
  for (auto& drive : *List(*FindObject(item, ZRC::ForeignLibraryItem::drives),
                           ZRC::ForeignDriveList::items)) {
    drives.push_back(PropertiesOf(FindObject(drive, ZRC::ForeignDriveItem::infoItems)));
  }
  return drives;
}

std::vector<Fields> HostsOf(ZRC::ForeignLibraryItem& item) {
  std::vector<Fields> hosts;
  for (auto& host : *List(*FindObject(item, ZRC::ForeignLibraryItem::hosts),
                          ZRC::ForeignLibraryHostList::items)) {
    hosts.push_back(FieldsOf(host));
  }
  return hosts;
}

const Fields kServerHost = {{1, "dpa01"}, {2, "dpa01"}, {5, "0"},
                            {6, "0"},     {4, "1"},     {3, "Not Applicable"}};

class LibraryMessageTest : public olbtest::HostFixture {
 protected:
  void SetUp() override {
    HostFixture::SetUp();
    CForeignHandlerDPA::SetServerName("dpa01");
    m_disk.Name("pool-a");
    m_disk.Mountpath("/data/pool-a");
    m_disk.Volumeid("vol-7");
  }
  void TearDown() override {
    CForeignHandlerDPA::SetServerName("");
    HostFixture::TearDown();
  }
  // Writes `msg` through the host, checks the file against the schema and
  // reads it back into `back`.
  void RoundTrip(CWzMessageBase& msg, CWzMessageBase& back) {
    CForeignHandlerDPA handler;
    ASSERT_TRUE(handler.DumpXmlMsgToFile(&msg, 0, false));
    const std::string path = handler.dumpedFiles().back();
    std::string error;
    EXPECT_TRUE(ValidateMessageXmlFile(path, olbtest::SourceDir() + "/host/message.xsd", &error))
        << error;
    ASSERT_TRUE(ReadMessageXmlFile(path, back, &error)) << error;
  }

  DPADiskLibrary m_disk;
};

TEST_F(LibraryMessageTest, DefaultDiskAndTapeLibrariesThroughXml) {
  ZRC::ForeignLibraries libraries;
  CForeignHandlerDPA::BuildDefaultLibrary(libraries);
  EXPECT_TRUE(m_disk.BuildDiskLib(*Object(libraries, ZRC::ForeignLibraries::libraryList)));
  DPALibraryInformation tape;
  for (const char* row : {"lib|d1|LTO-4", "lib|D2|LTO-5", "LIB|xx|DLT", "lib|D1|other"}) {
    std::string text = row;
    DPALibrary library;
    library.setLibName(text.substr(0, 3));
    library.setHostName("host1");
    DPADrive drive;
    drive.setDriveName(text.substr(4, 2));
    drive.setDrivePath("/dev/" + drive.getDriveName());
    drive.setDriveType(text.substr(7));
    tape.addDriveToLibrary(library, drive);
  }
  tape.BuildLibraries(libraries);

  ZRC::ForeignLibraries back;
  RoundTrip(libraries, back);
  auto& items = *List(*FindObject(back, ZRC::ForeignLibraries::libraryList),
                      ZRC::ForeignLibraryList::items);
  ASSERT_EQ(items.size(), 4u);

  ZRC::ForeignLibraryItem& def = items[0];
  EXPECT_EQ(FieldsOf(def), (Fields{{3, "1"}, {2, "DefaultDiskLibrary_dpa01"}, {7, "1"},
                                   {1, "3"}, {4, "{}"}, {6, "{}"}, {5, "{}"}}));
  EXPECT_EQ(DrivesOf(def), (std::vector<Props>{{{158, 1, "3"}, {151, 3, "@aaab"},
                                               {152, 3, "Magnetic"},
                                               {153, 3, "Generic disk volume"},
                                               {154, 3, "Magnetic"}, {155, 3, "@aaab"},
                                               {157, 1, "1"}, {159, 3, "dpa01"}}}));
  EXPECT_EQ(PropertiesOf(FindObject(def, ZRC::ForeignLibraryItem::infoItems)),
            (Props{{161, 1, "1"}, {8, 1, "3"},
                   {1, 3, "Default Media Library created for EMC Networker"},
                   {11, 3, "(unknown)"}, {14, 3, "(unknown)"}, {15, 2, "0"}, {16, 2, "0"},
                   {2, 3, "Magnetic"}, {3, 3, "Magnetic"}, {4, 3, "Magnetic"},
                   {5, 3, "Magnetic"}, {7, 3, "{0,0,0,0}"}, {17, 1, "4"}}));
  EXPECT_EQ(HostsOf(def), (std::vector<Fields>{{{5, "0"}, {6, "0"}, {4, "1"}, {1, "dpa01"},
                                                {2, "dpa01"}, {3, ""}}}));

  ZRC::ForeignLibraryItem& disk = items[1];
  EXPECT_EQ(FieldsOf(disk), (Fields{{1, "3"}, {7, "1"}, {2, "pool-a"}, {6, "{}"}, {4, "{}"},
                                    {5, "{}"}}));
  EXPECT_EQ(PropertiesOf(FindObject(disk, ZRC::ForeignLibraryItem::infoItems)),
            (Props{{8, 1, "3"}, {1, 3, "Library Migrated From EMC Data Protection Advisor"},
                   {2, 3, "Magnetic"}, {3, 3, "Magnetic"}, {4, 3, "3"}, {5, 3, "Magnetic"},
                   {7, 3, "{0,0,0,0}"}, {17, 1, "4"}, {11, 3, "/data/pool-a"},
                   {14, 3, "/data/pool-a"}}));
  EXPECT_EQ(DrivesOf(disk), (std::vector<Props>{{{158, 1, "3"}, {151, 3, "vol-7"},
                                                {152, 3, "Magnetic"},
                                                {153, 3, "Generic disk volume"},
                                                {154, 3, "Magnetic"}, {155, 3, "vol-7"},
                                                {157, 1, "1"}, {159, 3, "dpa01"}}}));
  EXPECT_EQ(HostsOf(disk), std::vector<Fields>{kServerHost});

  // Tape libraries in byte order ("LIB" before "lib"); drive numbers restart
  // with each library; "D1" is the drive "d1" again.
  const std::vector<std::pair<std::string, std::vector<std::string>>> tapes = {
      {"LIB_host1", {"xx", "DLT"}}, {"lib_host1", {"d1", "LTO-4", "D2", "LTO-5"}}};
  for (size_t i = 0; i < tapes.size(); ++i) {
    ZRC::ForeignLibraryItem& item = items[2 + i];
    const auto& [name, drives] = tapes[i];
    EXPECT_EQ(FieldsOf(item), (Fields{{1, "0"}, {7, "0"}, {2, name}, {6, "{}"}, {4, "{}"},
                                      {5, "{}"}}));
    EXPECT_EQ(PropertiesOf(FindObject(item, ZRC::ForeignLibraryItem::infoItems)),
              (Props{{8, 1, "0"}, {1, 3, "Library Migrated From EMC Data Protection Advisor"},
                     {2, 3, "Unknown"}, {3, 3, "Unknown"}, {4, 3, "0"}, {5, 3, "Unknown"},
                     {21, 1, std::to_string(drives.size() / 2)}, {17, 1, "0"}}));
    std::vector<Props> expected;
    for (size_t d = 0; d < drives.size(); d += 2) {
      expected.push_back({{158, 1, "0"}, {151, 3, drives[d]}, {152, 3, drives[d + 1]},
                          {153, 3, drives[d + 1]}, {157, 1, std::to_string(d / 2 + 1)},
                          {159, 3, "dpa01"}});
    }
    EXPECT_EQ(DrivesOf(item), expected);
    EXPECT_EQ(HostsOf(item), std::vector<Fields>{kServerHost});
  }
}

TEST_F(LibraryMessageTest, DiskMediaWithAndWithoutJobsThroughXml) {
  olbtest::LogCapture log;
  ZRC::ForeignMedias medias;
  ZRC::ForeignMediaList* list = Object(medias, ZRC::ForeignMedias::mediaList);
  EXPECT_TRUE(m_disk.BuildDiskMedia(*list, {"1001", "1002"}));
  EXPECT_TRUE(m_disk.BuildDiskMedia(*list, {}));
  EXPECT_EQ(log.Count("Building disk media info for library [pool-a]"), 2u);
  EXPECT_EQ(log.records().front().context, "NWKLibrary::BuildMedia");
  EXPECT_EQ(log.records().front().debugLevel, 4);

  ZRC::ForeignMedias back;
  RoundTrip(medias, back);
  auto& items = *List(*FindObject(back, ZRC::ForeignMedias::mediaList),
                      ZRC::ForeignMediaList::items);
  ASSERT_EQ(items.size(), 2u);
  const Props fixed = {{208, 2, "0"}, {200, 3, "Media migrated from DPA"}, {209, 2, "0"},
                       {11, 3, "/data/pool-a"}, {201, 1, "2"}, {207, 3, "/data/pool-a"}};
  Props withJobs = fixed;
  withJobs.emplace_back(203, 3, "1001");
  withJobs.emplace_back(203, 3, "1002");
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(FieldsOf(items[i]), (Fields{{2, "2"}, {3, "/data/pool-a"}, {1, "pool-a"},
                                          {5, "{}"}}));
    EXPECT_EQ(PropertiesOf(FindObject(items[i], ZRC::ForeignMediaItem::infoItems)),
              i == 0 ? withJobs : fixed);
  }
}

}  // namespace
