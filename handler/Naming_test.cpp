// Naming and mapping where the golden run does not go: names without a
// server, texts that only nearly match, and media without jobs.
#include <string>
#include <vector>

#include "handler/CForeignHandlerDPA.h"
#include "testsupport/TestSupport.h"

namespace {

typedef CForeignHandlerDPA H;

TEST(NamingTest, NamesWithoutAServerAreTheBarePrefixes) {
  H::SetServerName("");
  EXPECT_EQ("DPA_|DPA__SP|DefaultDiskLibrary_", H::GenerateHubfieldName() + "|" +
                                                    H::GenerateDefaultSPName() + "|" +
                                                    H::GenerateDefaultLibraryName());
}

TEST(NamingTest, LevelAndStatusTakeOnlyTheWholeText) {
  // A non-ASCII letter is no variant of u; an embedded NUL does not cut short.
  const std::vector<std::string> levels = {
      "Full ", " Full", "Ful", "Differential", "", "F\xC3\x9Cll", std::string("Full\0x", 6)};
  for (const std::string& text : levels) EXPECT_EQ(0, H::GetZRCBackupLevel(text)) << text;
  const std::vector<std::string> states = {"successful", "succes", "", "fail ",
                                           std::string("fail\0", 5)};
  for (const std::string& text : states) EXPECT_EQ(7, H::GetStatus(text)) << text;
}

TEST(NamingTest, MediaWithoutJobsGiveAnEmptyListAndAnEntry) {
  H::media_job_map.clear();
  std::vector<std::string> jobs = {"stale"};
  H::GetJobsForMedia("unknown", jobs);
  EXPECT_TRUE(jobs.empty());
  EXPECT_EQ(1u, H::media_job_map.count("unknown"));
}

}  // namespace
