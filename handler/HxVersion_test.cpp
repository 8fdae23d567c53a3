// The built plug-in: its HxVersion build stamp and the symbols it exports.
#include <algorithm>
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
  ASSERT_EQ(0, olbtest::RunShell("nm -D -C --defined-only '" + kLibrary + "'", &out)) << out;
  // The class's members, type information and virtual table, and nothing
  // else: no factory function, no standard library instantiation.
  const std::regex allowed(
      "CForeignHandlerDPA::.*|(typeinfo|typeinfo name|vtable) for CForeignHandlerDPA");
  std::string own;
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);) {
    const std::string symbol = line.substr(std::min(line.size(), size_t{19}));
    EXPECT_TRUE(std::regex_match(symbol, allowed)) << line;
    own += symbol + "\n";
  }
  for (const char* name : {"vtable for CForeignHandlerDPA\n", "::CForeignHandlerDPA()",
                           "::DiscoverConfig(", "::DiscoverJobs(", "::media_job_map"}) {
    EXPECT_NE(std::string::npos, own.find(name)) << name;
  }
}

}  // namespace
