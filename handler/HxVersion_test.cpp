// The built plug-in: its HxVersion build stamp and the symbols it exports.
#include <regex>
#include <sstream>
#include <string>

#include "testsupport/TestSupport.h"

namespace {

const std::string kLibrary = OLB_DPA_LIBRARY;

TEST(HxVersionTest, StampIsOneLineInANonLoadedSection) {
  // One section of that name, and without ALLOC it takes no memory at run time.
  std::string headers;
  ASSERT_EQ(0, olbtest::RunShell("objdump -h '" + kLibrary + "'", &headers)) << headers;
  std::smatch m;
  ASSERT_TRUE(std::regex_search(headers, m, std::regex(" HxVersion .*\n +([A-Z, ]+)\n")))
      << headers;
  EXPECT_EQ(std::string::npos, m[1].str().find("ALLOC")) << m[1];
  EXPECT_EQ(std::string::npos, m.suffix().str().find(" HxVersion "));

  // "<version> MM/DD/YY HH:MM:SS" and a line end, nothing more.
  olbtest::TempDir dir;
  std::string out;
  ASSERT_EQ(0, olbtest::RunShell("objcopy --dump-section HxVersion='" + dir.file("stamp") + "' '" +
                                     kLibrary + "' '" + dir.file("copy") + "'",
                                 &out))
      << out;
  const std::string stamp = olbtest::ReadFile(dir.file("stamp"));
  ASSERT_TRUE(std::regex_match(stamp, m,
                               std::regex("(\\d+\\.\\d+\\.\\d+\\.\\d+) (0[1-9]|1[0-2])/"
                                          "(0[1-9]|[12]\\d|3[01])/\\d\\d "
                                          "([01]\\d|2[0-3]):[0-5]\\d:([0-5]\\d|60)\n")))
      << "[" << stamp << "]";
  EXPECT_EQ(OLB_PRODUCT_VERSION, m[1].str());
}

TEST(HxVersionTest, ExportsOnlyTheHandlerClass) {
  std::string out;
  ASSERT_EQ(0, olbtest::RunShell("nm -D --defined-only '" + kLibrary + "'", &out)) << out;
  // Beside what the linker makes, only standard library instantiations (which
  // keep their default visibility) and the type information of plain function
  // types (from the undefined-behaviour sanitizer) may be exported.
  const std::regex allowed(
      "_init|_fini|_edata|_end|__bss_start|_ZT[IS]F.*|"
      "_Z(N|NK|ZN|ZNK|TI|TS|TV|GVZN)?(St|Sa|Sb|Ss|9__gnu_cxx).*");
  std::string own;
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);) {
    const std::string symbol = line.substr(line.rfind(' ') + 1);
    if (std::regex_match(symbol, allowed)) continue;
    own += symbol + "\n";
    EXPECT_EQ(0u, symbol.rfind("_Z", 0)) << "plain (factory-like) symbol: " << symbol;
    EXPECT_NE(std::string::npos, symbol.find("18CForeignHandlerDPA")) << symbol;
  }
  for (const char* name :
       {"_ZTV18CForeignHandlerDPA", "_ZN18CForeignHandlerDPAC1Ev", "14DiscoverConfig",
        "15DiscoverClients", "12DiscoverJobs", "13DiscoverMedia", "23DiscoverStoragePolicies",
        "11m_dbContextE", "12m_serverName", "13media_job_map", "13AddJobToMedia",
        "15GetJobsForMedia", "19FindClientAndPolicy", "14PopulateOsInfo"}) {
    EXPECT_NE(std::string::npos, own.find(name)) << name;
  }
}

}  // namespace
