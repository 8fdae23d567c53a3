// The library parsers on output the query cannot give: short rows, blank
// lines, an empty or missing file.
#include <string>
#include <vector>

#include "collectors/DPADiskLibraryCollector.h"
#include "collectors/DPALibraryCollector.h"
#include "model/DPADiskLibrary.h"
#include "model/DPALibrary.h"
#include "testsupport/TestSupport.h"

namespace {

class LibraryCollectorTest : public olbtest::HostFixture {};

TEST_F(LibraryCollectorTest, ShortRowsAreSkippedAndAMissingFileReadsEmpty) {
  const std::string path = m_dir.file("output.txt");
  ASSERT_TRUE(olbtest::WriteFile(path, "h,FIVE,d,/p,t\n\nh,SIX,d,/p,t,c\np,/m,t\n\np,/m,t,v\n"));
  DPALibraryInformation tape;
  std::vector<DPADiskLibrary> disks;
  EXPECT_TRUE(CDPALibraryCollector()._ParseData(&tape, path));
  EXPECT_TRUE(CDPADiskLibCollector()._ParseData(&disks, path));
  ZRC::ForeignLibraries built;
  tape.BuildLibraries(built);
  std::string got = std::to_string(tape.getSize()) + " ";
  for (const std::string& line : olbtest::DescribeMessage(built)) {
    if (line.find("SIX") != std::string::npos) got = "SIX ";
  }
  for (const auto& d : disks) got += d.Name() + "|" + d.Mountpath() + "|" + d.Volumeid() + " ";
  EXPECT_EQ("SIX h|FIVE|/p h|SIX|/p p|/m|v ", got);

  olbtest::LogCapture log;
  EXPECT_TRUE(CDPALibraryCollector()._ParseData(&tape, m_dir.file("missing.txt")));
  EXPECT_TRUE(CDPADiskLibCollector()._ParseData(&disks, m_dir.file("missing.txt")));
  EXPECT_EQ(1u, log.Count("Discovered [1] libraries and [0] drives")) << log.All();
}

}  // namespace
