// The host's platform pieces: the registry reader (which never shows a line
// it skips: it may hold a password), the debug log, HXFile and the helpers.
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <regex>

#include "host/EvDebug.h"
#include "host/HXFile.h"
#include "host/HXPlatformInfo.h"
#include "host/HxUtil.h"
#include "testsupport/TestSupport.h"

namespace {

using namespace olbtest;  // NOLINT(build/namespaces)

class PlatformTest : public ::testing::Test {
 protected:
  void SetUp() override {
    HostEnv::Get().Reset();
    HostEnv::Get().registryFile = m_dir.file("registry.ini");
    HostEnv::Get().logFile = m_dir.file("debug.log");
  }
  void TearDown() override { HostEnv::Get().Reset(); }
  // The values of `keys` as "key=value ", "key=<missing>" when not found (the
  // output then untouched).
  std::string Values(const char* section, const std::string& keys, bool asInt) {
    std::string got;
    for (char k : keys) {
      const std::string key(1, k);
      std::string s = "<untouched>";
      int i = 12345;
      bool found = asInt ? HXPlatformInfo().getRegInt(section, key.c_str(), &i)
                         : HXPlatformInfo().getString(section, key.c_str(), &s);
      EXPECT_TRUE(found || (s == "<untouched>" && i == 12345)) << key;
      got += key + "=" + (!found ? "<missing>" : asInt ? std::to_string(i) : s) + " ";
    }
    return got;
  }
  TempDir m_dir;
};

TEST_F(PlatformTest, RegistrySkipsMalformedLinesWithoutShowingThemAndReadsDecimalInts) {
  LogCapture capture;
  ASSERT_TRUE(WriteFile(m_dir.file("registry.ini"),
                        std::string("[kRelayUnit]\nP topsecret\n= valueWithoutKey\nU=dpa\n"
                                    "[broken\nD=lost\n[~kRelayUnit]\n") +
                            std::string("nul\0key=1\n", 10) + "N=1521"));  // no final line end
  // Keys under a broken section header belong to no section.
  EXPECT_EQ(Values("kRelayUnit", "UD", false) + Values("broken", "D", false) +
                Values("~kRelayUnit", "N", true),
            "U=dpa D=<missing> D=<missing> N=1521 ");
  capture.Clear();
  Values("kRelayUnit", "U", false);
  EXPECT_EQ(4u, capture.records().size()) << capture.All();
  for (const auto& r : capture.records()) {
    EXPECT_EQ("HXPlatformInfo", r.context);
    EXPECT_FALSE(Has(r.text, "topsecret")) << r.text;
  }
  EXPECT_TRUE(capture.Contains("line [2]") && capture.Contains("line [5]")) << capture.All();
  HostEnv::Get().registryFile = SourceDir() + "/host/testdata/registry-ints.ini";
  EXPECT_EQ(Values("~kRelayUnit", "abcdefghijklmnop", true),
            "a=7 b=-15 c=3 d=2147483647 e=-2147483648 f=7 g=<missing> h=<missing> "
            "i=<missing> j=<missing> k=<missing> l=<missing> m=<missing> n=<missing> "
            "o=<missing> p=<missing> ");
}

TEST_F(PlatformTest, LogFiltersByLevelWritesOneLinePerCallToAPrivateFile) {
  ASSERT_TRUE(WriteFile(m_dir.file("debug.log"), "earlier line\n"));
  HostEnv::Get().debugLevel = 3;
  LogCapture capture;
  EvDebug log;
  log.DebugLvl("Ctx::Lvl", 3, "kept [%d]", 3);
  log.DebugLvl("Ctx::Lvl", 4, "dropped [%d]", 4);
  log.Debug("Ctx::Debug", "two\nlines\r");  // cannot forge a second line
  log.Error("Ctx::Error", "always [%s]", "error");
  EvEvent event;
  event.DebugLvl("Ctx::Event", 1, "event [%u]", 1u);
  event.DebugLvl("Ctx::Event", 9, "dropped event");
  std::string lines;
  for (const auto& r : capture.records()) {
    lines += r.level + " " + std::to_string(r.debugLevel) + " " + r.context + ": " + r.text + "|";
  }
  EXPECT_EQ(lines,
            "L3 3 Ctx::Lvl: kept [3]|DEBUG -1 Ctx::Debug: two\nlines\r|"
            "ERROR -1 Ctx::Error: always [error]|EVENT 1 Ctx::Event: event [1]|");
  const std::string file = ReadFile(m_dir.file("debug.log"));
  const std::regex head("\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} \\[" +
                        std::to_string(getpid()) + "\\] ");
  EXPECT_EQ(std::regex_replace(file, head, "T "),  // a line each, time and process first
            "earlier line\nT L3 Ctx::Lvl: kept [3]\nT DEBUG Ctx::Debug: two\\nlines\\r\n"
            "T ERROR Ctx::Error: always [error]\nT EVENT Ctx::Event: event [1]\n");
  // The file is private and follows path changes; one that cannot be opened
  // falls back to standard error, and the sink still sees the line.
  HostEnv::Get().logFile = m_dir.file("new.log");
  log.Debug("Ctx", "two");
  EXPECT_EQ(0600, FileMode(m_dir.file("new.log")));
  EXPECT_EQ(ReadFile(m_dir.file("debug.log")), file);
  EXPECT_TRUE(Has(ReadFile(m_dir.file("new.log")), "Ctx: two\n"));
  HostEnv::Get().logFile = m_dir.file("missing/dir/x.log");
  testing::internal::CaptureStderr();
  errno = ENOSPC;
  log.Debug("Ctx", "three");
  EXPECT_EQ(ENOSPC, errno) << "logging leaves errno as it was";
  EXPECT_TRUE(Has(testing::internal::GetCapturedStderr(), "Ctx: three"));
  EXPECT_EQ(1u, capture.Count("three"));
}

TEST_F(PlatformTest, HXFileWritesLinesPrivatelyAndRefusesBadPaths) {
  std::string path = m_dir.file("script.sql");
  ASSERT_TRUE(WriteFile(path, "old content that is longer than the new one\n"));
  HXFile file;
  ASSERT_TRUE(file.open(path, 3, 0, 0));
  EXPECT_FALSE(file.open(path, 3, 0, 0)) << "already open";
  EXPECT_TRUE(file.putLine("set colsep , \nexit\n", true) && file.putLine("no end", true) &&
              file.putLine("", true) && file.putLine("raw", false));
  EXPECT_TRUE(file.close());
  EXPECT_EQ("set colsep , \nexit\nno end\n\nraw", ReadFile(path));
  EXPECT_FALSE(file.close() || file.putLine("closed", true));
  ASSERT_TRUE(file.open(m_dir.file("fresh.sql"), 3, 0, 0) && file.close());
  EXPECT_EQ(0600, FileMode(m_dir.file("fresh.sql")));
  ASSERT_EQ(0, symlink(m_dir.file("target").c_str(), m_dir.file("link.sql").c_str()));
  for (const std::string& bad :
       {m_dir.file("no/such/dir/f.sql"), std::string(), path + "/f.sql", m_dir.file("link.sql")}) {
    EXPECT_FALSE(file.open(bad, 3, 0, 0)) << bad;
  }
  EXPECT_FALSE(file.open(m_dir.file("f.sql"), 77, 0, 0));  // no such mode
  EXPECT_FALSE(FileExists(m_dir.file("target"))) << "a planted link is not followed";
  EXPECT_FALSE(file.isOpen());
  // A full disk at close() is run through olb-host in app/Faults_test.cpp.
}

TEST(HxUtilTest, TimeZoneNameComesFromTzFirst) {
  const std::string saved = std::getenv("TZ") ? std::getenv("TZ") : "";
  for (const char* tz : {":Asia/Tokyo", ":/usr/share/zoneinfo/posix/Asia/Tokyo"}) {
    setenv("TZ", tz, 1);
    EXPECT_EQ(GetTimeZoneDisplayNameA() + GetTimeZoneDisplayNameW(), "Asia/TokyoAsia/Tokyo") << tz;
  }
  setenv("TZ", "", 1);
  EXPECT_FALSE(GetTimeZoneDisplayNameA().empty());
  saved.empty() ? unsetenv("TZ") : setenv("TZ", saved.c_str(), 1);
  tzset();
}

}  // namespace
