// The library and media messages: the default library, a disk library with
// its media (with and without job ids) and tape libraries, each written
// through the host and read back.
#include <string>
#include <vector>

#include "handler/CForeignHandlerDPA.h"
#include "model/DPADiskLibrary.h"
#include "model/DPALibrary.h"
#include "model/MessageAccess.h"
#include "testsupport/TestSupport.h"

namespace {

using Lines = std::vector<std::string>;

// The described lines with the three lines of each info item (key, value
// type, value) joined, and the items of one list on one line:
//   infoItems(6:12).items(1:1) = 8:1=3; 1:3=Library Migrated From ...
Lines Compact(const Lines& lines) {
  Lines out;
  std::string list;  // the info item list that the last line of `out` holds
  for (size_t i = 0; i < lines.size(); ++i) {
    const size_t key = lines[i].find(".key(1:1) = ");
    if (key != std::string::npos && i + 2 < lines.size()) {
      const std::string item = lines[i].substr(0, key);
      const std::string type = item + ".valueType(3:6) = ", value = item + ".value(2:2) = \"";
      if (lines[i + 1].rfind(type, 0) == 0 && lines[i + 2].rfind(value, 0) == 0) {
        const std::string entry =
            lines[i].substr(key + 12) + ":" + lines[i + 1].substr(type.size()) + "=" +
            lines[i + 2].substr(value.size(), lines[i + 2].size() - value.size() - 1);
        const std::string owner = item.substr(0, item.rfind('['));
        if (owner == list) {
          out.back() += "; " + entry;
        } else {
          out.push_back((list = owner) + " = " + entry);
        }
        i += 2;
        continue;
      }
    }
    out.push_back(lines[i]);
    list.clear();
  }
  return out;
}

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
  // Writes `msg` through the host and describes the file read back.
  static Lines Dumped(CWzMessageBase& msg) {
    CForeignHandlerDPA handler;
    EXPECT_TRUE(handler.DumpXmlMsgToFile(&msg, 0, false));
    return handler.dumpedFiles().empty() ? Lines()
                                         : Compact(olbtest::DescribeDumpedFile(
                                               handler.dumpedFiles().back()));
  }
  // `fields` each under `prefix`, appended to `lines`.
  static void Add(Lines& lines, const std::string& prefix, const Lines& fields) {
    for (const auto& f : fields) lines.push_back(prefix + f);
  }

  DPADiskLibrary m_disk;
};

const Lines kServerHost = {
    "hosts(5:11).items(1:1)[0].hostName(1:1) = \"dpa01\"",
    "hosts(5:11).items(1:1)[0].hostLabel(2:5) = \"dpa01\"",
    "hosts(5:11).items(1:1)[0].firstOption(5:14) = 0",
    "hosts(5:11).items(1:1)[0].secondOption(6:15) = 0",
    "hosts(5:11).items(1:1)[0].activeFlag(4:13) = 1",
    "hosts(5:11).items(1:1)[0].detailText(3:9) = \"Not Applicable\""};
const char kDriveItems[] = "drives(4:10).items(1:1)[0].infoItems(1:1).items(1:1) = ";

TEST_F(LibraryMessageTest, DefaultDiskAndTapeLibraries) {
  ZRC::ForeignLibraries libraries;
  CForeignHandlerDPA::BuildDefaultLibrary(libraries);
  EXPECT_TRUE(m_disk.BuildDiskLib(*Object(libraries, ZRC::ForeignLibraries::libraryList)));
  // Libraries in byte order ("LIB" before "lib"); drive numbers restart with
  // each library; "D1" is the drive "d1" again.
  DPALibraryInformation tape;
  for (const char* row : {"lib|d1|LTO-4", "lib|D2|LTO-5", "LIB|xx|DLT", "lib|D1|other"}) {
    const std::string text = row;
    DPALibrary library;
    library.setLibName(text.substr(0, 3));
    library.setHostName("host1");
    DPADrive drive;
    drive.setDriveName(text.substr(4, 2));
    drive.setDriveType(text.substr(7));
    tape.addDriveToLibrary(library, drive);
  }
  tape.BuildLibraries(libraries);

  const std::string item = "libraryList(4:10).items(1:1)[";
  const std::string migrated = "1:3=Library Migrated From EMC Data Protection Advisor; ";
  Lines expected;
  Add(expected, item + "0].",
      {"markerText(3:6) = \"1\"", "libraryName(2:2) = \"DefaultDiskLibrary_dpa01\"",
       "diskFlag(7:13) = 1", "libraryType(1:1) = 3",
       kDriveItems + std::string("158:1=3; 151:3=@aaab; 152:3=Magnetic; 153:3=Generic disk "
                                 "volume; 154:3=Magnetic; 155:3=@aaab; 157:1=1; 159:3=dpa01"),
       "infoItems(6:12).items(1:1) = 161:1=1; 8:1=3; 1:3=Default Media Library created for EMC "
       "Networker; 11:3=(unknown); 14:3=(unknown); 15:2=0; 16:2=0; 2:3=Magnetic; 3:3=Magnetic; "
       "4:3=Magnetic; 5:3=Magnetic; 7:3={0,0,0,0}; 17:1=4",
       "hosts(5:11).items(1:1)[0].firstOption(5:14) = 0",
       "hosts(5:11).items(1:1)[0].secondOption(6:15) = 0",
       "hosts(5:11).items(1:1)[0].activeFlag(4:13) = 1",
       "hosts(5:11).items(1:1)[0].hostName(1:1) = \"dpa01\"",
       "hosts(5:11).items(1:1)[0].hostLabel(2:5) = \"dpa01\"",
       "hosts(5:11).items(1:1)[0].detailText(3:9) = \"\""});
  Add(expected, item + "1].",
      {"libraryType(1:1) = 3", "diskFlag(7:13) = 1", "libraryName(2:2) = \"pool-a\"",
       "infoItems(6:12).items(1:1) = 8:1=3; " + migrated +
           "2:3=Magnetic; 3:3=Magnetic; 4:3=3; 5:3=Magnetic; 7:3={0,0,0,0}; 17:1=4; "
           "11:3=/data/pool-a; 14:3=/data/pool-a",
       kDriveItems + std::string("158:1=3; 151:3=vol-7; 152:3=Magnetic; 153:3=Generic disk "
                                 "volume; 154:3=Magnetic; 155:3=vol-7; 157:1=1; 159:3=dpa01")});
  Add(expected, item + "1].", kServerHost);
  Add(expected, item + "2].",
      {"libraryType(1:1) = 0", "diskFlag(7:13) = 0", "libraryName(2:2) = \"LIB_host1\"",
       "infoItems(6:12).items(1:1) = 8:1=0; " + migrated +
           "2:3=Unknown; 3:3=Unknown; 4:3=0; 5:3=Unknown; 21:1=1; 17:1=0",
       kDriveItems + std::string("158:1=0; 151:3=xx; 152:3=DLT; 153:3=DLT; 157:1=1; 159:3=dpa01")});
  Add(expected, item + "2].", kServerHost);
  Add(expected, item + "3].",
      {"libraryType(1:1) = 0", "diskFlag(7:13) = 0", "libraryName(2:2) = \"lib_host1\"",
       "infoItems(6:12).items(1:1) = 8:1=0; " + migrated +
           "2:3=Unknown; 3:3=Unknown; 4:3=0; 5:3=Unknown; 21:1=2; 17:1=0",
       kDriveItems + std::string("158:1=0; 151:3=d1; 152:3=LTO-4; 153:3=LTO-4; 157:1=1; "
                                 "159:3=dpa01"),
       "drives(4:10).items(1:1)[1].infoItems(1:1).items(1:1) = 158:1=0; 151:3=D2; "
       "152:3=LTO-5; 153:3=LTO-5; 157:1=2; 159:3=dpa01"});
  Add(expected, item + "3].", kServerHost);
  EXPECT_EQ(expected, Dumped(libraries));
}

TEST_F(LibraryMessageTest, DiskMediaWithAndWithoutJobs) {
  olbtest::LogCapture log;
  ZRC::ForeignMedias medias;
  ZRC::ForeignMediaList* list = Object(medias, ZRC::ForeignMedias::mediaList);
  EXPECT_TRUE(m_disk.BuildDiskMedia(*list, {"1001", "1002"}));
  EXPECT_TRUE(m_disk.BuildDiskMedia(*list, {}));
  EXPECT_EQ(2u, log.Count("Building disk media info for library [pool-a]"));
  EXPECT_EQ("NWKLibrary::BuildMedia", log.records().front().context);
  EXPECT_EQ(4, log.records().front().debugLevel);

  const std::string fixed =
      "infoItems(5:11).items(1:1) = 208:2=0; 200:3=Media migrated from DPA; 209:2=0; "
      "11:3=/data/pool-a; 201:1=2; 207:3=/data/pool-a";
  Lines expected;
  for (const char* jobs : {"; 203:3=1001; 203:3=1002", ""}) {
    Add(expected, "mediaList(4:10).items(1:1)[" + std::to_string(expected.size() / 4) + "].",
        {"mediaKind(2:5) = 2", "mountPath(3:6) = \"/data/pool-a\"", "mediaName(1:1) = \"pool-a\"",
         fixed + jobs});
  }
  EXPECT_EQ(expected, Dumped(medias));
}

}  // namespace
