#include <string>
#include <vector>

#include "collectors/DPADiskLibraryCollector.h"
#include "collectors/DPALibraryCollector.h"
#include "model/DPADiskLibrary.h"
#include "model/DPALibrary.h"
#include "testsupport/TestSupport.h"

namespace {

const char kTapeQuery[] =
    "select distinct f_device_host || ',' || f_jukebox_name || ',' || f_device_name || ',' || "
    "REPLACE(f_device_path, ',', '-') || ',' || f_device_type || ',' || f_device_class  from "
    "datamine.device_config where f_firmware <> 'Magnetic'";
const char kDiskQuery[] =
    "select DISTINCT f_pool_name ||','||  f_path ||','|| f_disk_type ||','|| f_volume_id from "
    "datamine.disk_volume_config";
const char kParseContext[] = "CDPADiskLibCollector::_ParseData";

class LibraryCollectorTest : public olbtest::HostFixture {
 protected:
  std::string Output(const std::string& text) {
    std::string path = m_dir.file("output.txt");
    EXPECT_TRUE(olbtest::WriteFile(path, text));
    return path;
  }
};

TEST_F(LibraryCollectorTest, QueriesFileNamesAndCommandLines) {
  CDPALibraryCollector tape;
  CDPALibraryCollectorV58_ORACLE oracleTape;
  EXPECT_EQ(tape.GetQuery(), kTapeQuery);
  EXPECT_EQ(oracleTape.GetQuery(), kTapeQuery);
  EXPECT_EQ(tape._GetCommandLine(), "");
  EXPECT_STREQ(oracleTape._GetFileNameForData(), "olb_dpa_libraries.txt");

  CDPADiskLibCollector disk;
  CDPADiskLibCollector_PG pg;
  EXPECT_EQ(disk.GetQuery(), kDiskQuery);
  EXPECT_EQ(pg.GetQuery(), kDiskQuery);
  EXPECT_EQ(disk._GetCommandLine(), kDiskQuery);
  EXPECT_STREQ(pg._GetFileNameForData(), "olb_dpa_disklibs.txt");
  EXPECT_EQ(pg._GetCommandLine(),
            std::string("\"C:\\Program Files\\EMC\\DPA\\services\\datastore\\engine\\bin"
                        "\\psql.exe\" -U dpa -d apollo -p 9003 -t -A -F , -c \"") +
                kDiskQuery + "\"");

  std::string script;
  {
    DBContext context;
    context.setPassword("secret");
    CDPADiskLibCollectorV58_ORACLE oracleDisk;
    oracleDisk.setDBContext(context);
    EXPECT_EQ(oracleDisk.GetQuery(), kDiskQuery);
    std::string line = oracleDisk._GetCommandLine();
    script = oracleDisk.scriptFile();
    EXPECT_EQ(line, "sqlplus -S dpa/secret as SYSDBA @\"" + script + "\"");
    EXPECT_NE(olbtest::ReadFile(script).find(std::string(kDiskQuery) + ";\n"), std::string::npos);
  }
  EXPECT_FALSE(olbtest::FileExists(script));
}

TEST_F(LibraryCollectorTest, TapeParserMergesLibrariesAndDrives) {
  olbtest::LogCapture log;
  DPALibraryInformation info;
  CDPALibraryCollectorV58_ORACLE collector;
  std::string path = Output(
      "h1,LIB,Drive1,/dev/nst0,t,LTO-4\n"
      "h2,LIB,DRIVE1,/dev/nst9,t,other\n"  // same library, other host, same drive
      "\n"
      "h1,lib,d2,\\\\.\\Tape0,t,LTO-5\n"   // library name differs in case
      "h1,FIVE,d3,/p,t\n"                  // too few fields
      "h3,SEVEN,d4,/p,t,c4,extra\n");      // seventh field ignored
  EXPECT_TRUE(collector._ParseData(&info, path));

  ASSERT_EQ(info.getSize(), 3u);
  std::vector<std::string> names;
  for (const auto& [name, library] : info.libraries()) names.push_back(name);
  EXPECT_EQ(names, (std::vector<std::string>{"LIB", "SEVEN", "lib"}));
  const DPALibrary& merged = info.libraries().at("LIB");
  EXPECT_EQ(merged.getHXLibraryName(), "LIB_h1");
  ASSERT_EQ(merged.getDriveList().size(), 1u);
  EXPECT_EQ(merged.getDriveList()[0].getDriveName(), "Drive1");
  EXPECT_EQ(merged.getDriveList()[0].getDriveType(), "LTO-4");
  EXPECT_EQ(info.libraries().at("SEVEN").getDriveList()[0].getDriveType(), "c4");

  for (const auto& r : log.records()) EXPECT_EQ(r.context, kParseContext) << r.text;
  EXPECT_EQ(log.records().front().text, "Processing library information");
  EXPECT_EQ(log.records().front().debugLevel, 5);
  EXPECT_EQ(log.Count("Processing library - [h1,FIVE,d3,/p,t]"), 1u);
  EXPECT_EQ(log.Count("Discovered library [LIB] and drive [DRIVE1]"), 1u);
  EXPECT_EQ(log.records().back().text, "Discovered [3] libraries and [4] drives");
  EXPECT_EQ(log.records().back().debugLevel, 1);
  EXPECT_FALSE(log.Contains("Processing library - []"));
}

TEST_F(LibraryCollectorTest, TapeParserOnEmptyOrMissingFile) {
  for (const std::string& path : {Output(""), m_dir.file("missing.txt")}) {
    olbtest::LogCapture log;
    DPALibraryInformation info;
    EXPECT_TRUE(CDPALibraryCollector()._ParseData(&info, path));
    EXPECT_EQ(info.getSize(), 0u);
    EXPECT_EQ(log.Count("Discovered [0] libraries and [0] drives"), 1u);
  }
}

TEST_F(LibraryCollectorTest, DiskParserKeepsEveryRowInOrder) {
  olbtest::LogCapture log;
  std::vector<DPADiskLibrary> libraries;
  std::string path = Output(
      "pool1,/data/p1,DataDomain,vol1\n"
      "pool1,/data/p1,DataDomain,vol1\n"
      "short,/x,y\n"
      "\n"
      "pool2,E:\\pools\\p2,type,vol2,more\n");
  EXPECT_TRUE(CDPADiskLibCollectorV58_ORACLE()._ParseData(&libraries, path));
  ASSERT_EQ(libraries.size(), 3u);
  EXPECT_EQ(libraries[0].Name(), "pool1");
  EXPECT_EQ(libraries[0].Mountpath(), "/data/p1");
  EXPECT_EQ(libraries[0].Volumeid(), "vol1");
  EXPECT_TRUE(libraries[0] == libraries[1]);
  EXPECT_EQ(libraries[2].Mountpath(), "E:\\pools\\p2");  // backslashes kept
  EXPECT_EQ(libraries[2].Volumeid(), "vol2");
  EXPECT_TRUE(log.records().empty()) << log.All();

  std::vector<DPADiskLibrary> none;
  EXPECT_TRUE(CDPADiskLibCollector()._ParseData(&none, Output("")));
  EXPECT_TRUE(CDPADiskLibCollector()._ParseData(&none, m_dir.file("missing.txt")));
  EXPECT_TRUE(none.empty());
}

}  // namespace
