// The tape and disk library collectors: their command lines and the parsers
// of the tool's output.
#include <string>
#include <vector>

#include "collectors/DPADiskLibraryCollector.h"
#include "collectors/DPALibraryCollector.h"
#include "model/DPADiskLibrary.h"
#include "model/DPALibrary.h"
#include "testsupport/TestSupport.h"

namespace {

class LibraryCollectorTest : public olbtest::HostFixture {
 protected:
  std::string Output(const std::string& text) {
    std::string path = m_dir.file("output.txt");
    EXPECT_TRUE(olbtest::WriteFile(path, text));
    return path;
  }
};

// Both library collectors pass -S once.
TEST_F(LibraryCollectorTest, CommandLines) {
  DBContext context;
  context.setPassword("secret");
  CDPALibraryCollectorV58_ORACLE tape;
  CDPADiskLibCollectorV58_ORACLE disk;
  tape.setDBContext(context);
  disk.setDBContext(context);
  const std::string tapeLine = tape._GetCommandLine(), diskLine = disk._GetCommandLine();
  EXPECT_EQ("sqlplus -S dpa/secret as SYSDBA @\"" + tape.scriptFile() + "\"", tapeLine);
  EXPECT_EQ("sqlplus -S dpa/secret as SYSDBA @\"" + disk.scriptFile() + "\"", diskLine);
}

TEST_F(LibraryCollectorTest, TapeParserMergesLibrariesAndDrives) {
  olbtest::LogCapture log;
  DPALibraryInformation info;
  EXPECT_TRUE(CDPALibraryCollectorV58_ORACLE()._ParseData(
      &info, Output("h1,LIB,Drive1,/dev/nst0,t,LTO-4\n"
                    "h2,LIB,DRIVE1,/dev/nst9,t,other\n"  // same library, other host, same drive
                    "\n"
                    "h1,lib,d2,\\\\.\\Tape0,t,LTO-5\n"  // library name differs in case
                    "h1,FIVE,d3,/p,t\n"                 // too few fields
                    "h3,SEVEN,d4,/p,t,c4,extra\n")));   // seventh field ignored
  std::vector<std::string> names;
  for (const auto& [name, library] : info.libraries()) names.push_back(name);
  EXPECT_EQ((std::vector<std::string>{"LIB", "SEVEN", "lib"}), names);
  const DPALibrary& merged = info.libraries().at("LIB");
  EXPECT_EQ("LIB_h1", merged.getHXLibraryName());
  ASSERT_EQ(1u, merged.getDriveList().size());
  EXPECT_EQ("Drive1", merged.getDriveList()[0].getDriveName());
  EXPECT_EQ("LTO-4", merged.getDriveList()[0].getDriveType());
  EXPECT_EQ("c4", info.libraries().at("SEVEN").getDriveList()[0].getDriveType());

  // The tape parser logs under the disk parser's name.
  for (const auto& r : log.records()) EXPECT_EQ("CDPADiskLibCollector::_ParseData", r.context);
  EXPECT_EQ(1u, log.Count("Processing library - [h1,FIVE,d3,/p,t]"));
  EXPECT_FALSE(log.Contains("Processing library - []"));
  EXPECT_EQ(1u, log.Count("Discovered library [LIB] and drive [DRIVE1]"));
  EXPECT_EQ("Discovered [3] libraries and [4] drives", log.records().back().text);
  EXPECT_EQ(1, log.records().back().debugLevel);
}

// Every disk row is kept, duplicates included, in the order printed.
TEST_F(LibraryCollectorTest, DiskParserKeepsEveryRowInOrder) {
  olbtest::LogCapture log;
  std::vector<DPADiskLibrary> libraries;
  EXPECT_TRUE(CDPADiskLibCollectorV58_ORACLE()._ParseData(
      &libraries, Output("pool1,/data/p1,DataDomain,vol1\n"
                         "pool1,/data/p1,DataDomain,vol1\n"
                         "short,/x,y\n"
                         "\n"
                         "pool2,E:\\pools\\p2,type,vol2,more\n")));
  ASSERT_EQ(3u, libraries.size());
  EXPECT_EQ("pool1|/data/p1|vol1",
            libraries[0].Name() + "|" + libraries[0].Mountpath() + "|" + libraries[0].Volumeid());
  EXPECT_TRUE(libraries[0] == libraries[1]);
  EXPECT_EQ("pool2|E:\\pools\\p2|vol2",
            libraries[2].Name() + "|" + libraries[2].Mountpath() + "|" + libraries[2].Volumeid());
  EXPECT_TRUE(log.records().empty()) << log.All();
}

TEST_F(LibraryCollectorTest, EmptyOrMissingOutputGivesNothing) {
  for (const std::string& path : {Output(""), m_dir.file("missing.txt")}) {
    olbtest::LogCapture log;
    DPALibraryInformation tape;
    std::vector<DPADiskLibrary> disks;
    EXPECT_TRUE(CDPALibraryCollector()._ParseData(&tape, path));
    EXPECT_TRUE(CDPADiskLibCollector()._ParseData(&disks, path));
    EXPECT_EQ(0u, tape.getSize() + disks.size());
    EXPECT_EQ(1u, log.Count("Discovered [0] libraries and [0] drives"));
  }
}

}  // namespace
