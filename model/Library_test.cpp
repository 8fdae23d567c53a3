#include <string>
#include <tuple>
#include <vector>

#include "handler/CForeignHandlerDPA.h"
#include "host/MessageXml.h"
#include "model/DPADiskLibrary.h"
#include "model/DPALibrary.h"
#include "model/MessageAccess.h"
#include "testsupport/TestSupport.h"

namespace {

using Prop = std::tuple<long long, long long, std::string>;
using Props = std::vector<Prop>;

std::vector<short> Order(const CWzMessageBase& msg) {
  std::vector<short> numbers;
  for (const auto& f : msg.fields()) numbers.push_back(f.number);
  return numbers;
}

// Every property of `holder`'s property list, each checked to be set in the
// order key, value type, value.
Props PropertiesOf(ZRC::InfoItemList* holder) {
  Props props;
  if (holder == nullptr) return props;
  for (ZRC::InfoItem& item : *List(*holder, ZRC::InfoItemList::items)) {
    EXPECT_EQ(Order(item), (std::vector<short>{1, 3, 2}));
    props.emplace_back(GetInt(item, ZRC::InfoItem::key), GetInt(item, ZRC::InfoItem::valueType),
                       GetString(item, ZRC::InfoItem::value));
  }
  return props;
}

template <class T>
std::vector<T>& Items(CWzMessageBase& holder, const ListFieldId<T>& field) {
  EXPECT_TRUE(IsSet(holder, field));
  return *List(holder, field);
}

class LibraryMessageTest : public olbtest::HostFixture {
 protected:
  void SetUp() override {
    HostFixture::SetUp();
    CForeignHandlerDPA::SetServerName("dpa01");
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
    EXPECT_TRUE(ValidateMessageXmlFile(path, olbtest::SourceDir() + "/host/message.xsd",
                                                &error))
        << error;
    ASSERT_TRUE(ReadMessageXmlFile(path, back, &error)) << error;
  }
};

TEST(DPALibraryTest, DrivesAndLibrariesKeepTheFirstOfAName) {
  DPALibraryInformation info;
  DPALibrary first, second;
  first.setLibName("LIB");
  first.setHostName("h1");
  second.setLibName("LIB");
  second.setHostName("h2");
  DPADrive a, b, c;
  a.setDriveName("Drive\xC4");
  a.setDriveType("first");
  b.setDriveName("dRIVE\xC4");
  c.setDriveName("drive\xE4");  // not an ASCII letter: another drive
  info.addDriveToLibrary(first, a);
  info.addDriveToLibrary(second, b);
  info.addDriveToLibrary(second, c);
  EXPECT_TRUE(first.getDriveList().empty());  // the stored copy gets the drives
  ASSERT_EQ(info.getSize(), 1u);
  DPALibrary stored = info.libraries().at("LIB");
  EXPECT_EQ(stored.getHXLibraryName(), "LIB_h1");
  EXPECT_EQ(stored.getNumberOfDrives(), 2u);
  EXPECT_EQ(stored.getDriveList()[0].getDriveType(), "first");
  EXPECT_EQ(stored.getHXLibraryType(), 0);
}

const Props kDiskDrive = {{158, 1, "3"},         {151, 3, "vol-7"},
                          {152, 3, "Magnetic"},  {153, 3, "Generic disk volume"},
                          {154, 3, "Magnetic"},  {155, 3, "vol-7"},
                          {157, 1, "1"},         {159, 3, "dpa01"}};

void ExpectServerHost(ZRC::ForeignLibraryItem& item) {
  auto& hosts = Items(*FindObject(item, ZRC::ForeignLibraryItem::hosts),
                      ZRC::ForeignLibraryHostList::items);
  ASSERT_EQ(hosts.size(), 1u);
  ZRC::ForeignLibraryHost& host = hosts[0];
  EXPECT_EQ(Order(host), (std::vector<short>{1, 2, 5, 6, 4, 3}));
  EXPECT_EQ(GetString(host, ZRC::ForeignLibraryHost::hostName), "dpa01");
  EXPECT_EQ(GetString(host, ZRC::ForeignLibraryHost::hostLabel), "dpa01");
  EXPECT_EQ(GetInt(host, ZRC::ForeignLibraryHost::firstOption), 0);
  EXPECT_EQ(GetInt(host, ZRC::ForeignLibraryHost::secondOption), 0);
  EXPECT_EQ(GetInt(host, ZRC::ForeignLibraryHost::activeFlag), 1);
  EXPECT_EQ(GetString(host, ZRC::ForeignLibraryHost::detailText), "Not Applicable");
}

std::vector<Props> DriveProperties(ZRC::ForeignLibraryItem& item) {
  std::vector<Props> drives;
  for (auto& drive : Items(*FindObject(item, ZRC::ForeignLibraryItem::drives),
                           ZRC::ForeignDriveList::items)) {
    EXPECT_EQ(Order(drive), (std::vector<short>{1}));
    drives.push_back(PropertiesOf(FindObject(drive, ZRC::ForeignDriveItem::infoItems)));
  }
  return drives;
}

TEST_F(LibraryMessageTest, DefaultDiskAndTapeLibrariesThroughXml) {
  ZRC::ForeignLibraries libraries;
  CForeignHandlerDPA::BuildDefaultLibrary(libraries);
  DPADiskLibrary disk;
  disk.Name("pool-a");
  disk.Mountpath("/data/pool-a");
  disk.Volumeid("vol-7");
  EXPECT_TRUE(disk.BuildDiskLib(*Object(libraries, ZRC::ForeignLibraries::libraryList)));
  DPALibraryInformation tape;
  for (const char* row : {"lib|d1|LTO-4", "lib|D2|LTO-5", "LIB|xx|DLT"}) {
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
  auto& items = Items(*FindObject(back, ZRC::ForeignLibraries::libraryList),
                      ZRC::ForeignLibraryList::items);
  ASSERT_EQ(items.size(), 4u);

  ZRC::ForeignLibraryItem& def = items[0];
  EXPECT_EQ(Order(def), (std::vector<short>{3, 2, 7, 1, 4, 6, 5}));
  EXPECT_EQ(GetString(def, ZRC::ForeignLibraryItem::markerText), "1");
  EXPECT_EQ(GetString(def, ZRC::ForeignLibraryItem::libraryName), "DefaultDiskLibrary_dpa01");
  EXPECT_EQ(GetInt(def, ZRC::ForeignLibraryItem::diskFlag), 1);
  EXPECT_EQ(GetInt(def, ZRC::ForeignLibraryItem::libraryType), 3);
  Props defDrive = kDiskDrive;
  std::get<2>(defDrive[1]) = std::get<2>(defDrive[5]) = "@aaab";
  EXPECT_EQ(DriveProperties(def), std::vector<Props>{defDrive});
  EXPECT_EQ(PropertiesOf(FindObject(def, ZRC::ForeignLibraryItem::infoItems)),
            (Props{{161, 1, "1"}, {8, 1, "3"},
                   {1, 3, "Default Media Library created for EMC Networker"},
                   {11, 3, "(unknown)"}, {14, 3, "(unknown)"}, {15, 2, "0"}, {16, 2, "0"},
                   {2, 3, "Magnetic"}, {3, 3, "Magnetic"}, {4, 3, "Magnetic"},
                   {5, 3, "Magnetic"}, {7, 3, "{0,0,0,0}"}, {17, 1, "4"}}));
  auto& defHosts = Items(*FindObject(def, ZRC::ForeignLibraryItem::hosts),
                         ZRC::ForeignLibraryHostList::items);
  ASSERT_EQ(defHosts.size(), 1u);
  EXPECT_EQ(Order(defHosts[0]), (std::vector<short>{5, 6, 4, 1, 2, 3}));
  EXPECT_EQ(GetString(defHosts[0], ZRC::ForeignLibraryHost::hostName), "dpa01");
  EXPECT_EQ(GetString(defHosts[0], ZRC::ForeignLibraryHost::hostLabel), "dpa01");
  EXPECT_TRUE(IsSet(defHosts[0], ZRC::ForeignLibraryHost::detailText));
  EXPECT_EQ(GetString(defHosts[0], ZRC::ForeignLibraryHost::detailText), "");
  EXPECT_EQ(GetInt(defHosts[0], ZRC::ForeignLibraryHost::activeFlag), 1);

  ZRC::ForeignLibraryItem& diskItem = items[1];
  EXPECT_EQ(Order(diskItem), (std::vector<short>{1, 7, 2, 6, 4, 5}));
  EXPECT_EQ(GetString(diskItem, ZRC::ForeignLibraryItem::libraryName), "pool-a");
  EXPECT_EQ(GetInt(diskItem, ZRC::ForeignLibraryItem::libraryType), 3);
  EXPECT_EQ(GetInt(diskItem, ZRC::ForeignLibraryItem::diskFlag), 1);
  EXPECT_EQ(PropertiesOf(FindObject(diskItem, ZRC::ForeignLibraryItem::infoItems)),
            (Props{{8, 1, "3"}, {1, 3, "Library Migrated From EMC Data Protection Advisor"},
                   {2, 3, "Magnetic"}, {3, 3, "Magnetic"}, {4, 3, "3"}, {5, 3, "Magnetic"},
                   {7, 3, "{0,0,0,0}"}, {17, 1, "4"}, {11, 3, "/data/pool-a"},
                   {14, 3, "/data/pool-a"}}));
  EXPECT_EQ(DriveProperties(diskItem), std::vector<Props>{kDiskDrive});
  ExpectServerHost(diskItem);

  // Tape libraries in byte order: "LIB" before "lib"; drive numbers restart.
  const std::string tapeNames[] = {"LIB_host1", "lib_host1"};
  const std::vector<std::vector<std::string>> drives = {{"xx", "DLT"}, {"d1", "LTO-4", "D2", "LTO-5"}};
  for (size_t i = 0; i < 2; ++i) {
    ZRC::ForeignLibraryItem& item = items[2 + i];
    EXPECT_EQ(Order(item), (std::vector<short>{1, 7, 2, 6, 4, 5}));
    EXPECT_EQ(GetString(item, ZRC::ForeignLibraryItem::libraryName), tapeNames[i]);
    EXPECT_EQ(GetInt(item, ZRC::ForeignLibraryItem::libraryType), 0);
    EXPECT_EQ(GetInt(item, ZRC::ForeignLibraryItem::diskFlag), 0);
    const std::string count = std::to_string(drives[i].size() / 2);
    EXPECT_EQ(PropertiesOf(FindObject(item, ZRC::ForeignLibraryItem::infoItems)),
              (Props{{8, 1, "0"}, {1, 3, "Library Migrated From EMC Data Protection Advisor"},
                     {2, 3, "Unknown"}, {3, 3, "Unknown"}, {4, 3, "0"}, {5, 3, "Unknown"},
                     {21, 1, count}, {17, 1, "0"}}));
    std::vector<Props> expected;
    for (size_t d = 0; d < drives[i].size(); d += 2) {
      const std::string& type = drives[i][d + 1];
      expected.push_back({{158, 1, "0"}, {151, 3, drives[i][d]}, {152, 3, type},
                          {153, 3, type}, {157, 1, std::to_string(d / 2 + 1)},
                          {159, 3, "dpa01"}});
    }
    EXPECT_EQ(DriveProperties(item), expected);
    ExpectServerHost(item);
  }
}

TEST_F(LibraryMessageTest, DiskMediaWithAndWithoutJobsThroughXml) {
  olbtest::LogCapture log;
  ZRC::ForeignMedias medias;
  DPADiskLibrary disk;
  disk.Name("pool-a");
  disk.Mountpath("/data/pool-a");
  disk.Volumeid("vol-7");
  ZRC::ForeignMediaList* list = Object(medias, ZRC::ForeignMedias::mediaList);
  EXPECT_TRUE(disk.BuildDiskMedia(*list, {"1001", "1002"}));
  EXPECT_TRUE(disk.BuildDiskMedia(*list, {}));
  EXPECT_EQ(log.Count("Building disk media info for library [pool-a]"), 2u);
  EXPECT_EQ(log.records().front().context, "NWKLibrary::BuildMedia");
  EXPECT_EQ(log.records().front().debugLevel, 4);

  ZRC::ForeignMedias back;
  RoundTrip(medias, back);
  auto& items = Items(*FindObject(back, ZRC::ForeignMedias::mediaList),
                      ZRC::ForeignMediaList::items);
  ASSERT_EQ(items.size(), 2u);
  const Props fixed = {{208, 2, "0"}, {200, 3, "Media migrated from DPA"}, {209, 2, "0"},
                       {11, 3, "/data/pool-a"}, {201, 1, "2"}, {207, 3, "/data/pool-a"}};
  Props withJobs = fixed;
  withJobs.emplace_back(203, 3, "1001");
  withJobs.emplace_back(203, 3, "1002");
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(Order(items[i]), (std::vector<short>{2, 3, 1, 5}));
    EXPECT_EQ(GetString(items[i], ZRC::ForeignMediaItem::mediaName), "pool-a");
    EXPECT_EQ(GetInt(items[i], ZRC::ForeignMediaItem::mediaKind), 2);
    EXPECT_EQ(GetString(items[i], ZRC::ForeignMediaItem::mountPath), "/data/pool-a");
    EXPECT_EQ(PropertiesOf(FindObject(items[i], ZRC::ForeignMediaItem::infoItems)),
              i == 0 ? withJobs : fixed);
  }
}

}  // namespace
