// The host's platform pieces: the registry reader (which never shows a line
// it skips: it may hold a password), the debug log, HXFile and the helpers.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <regex>
#include <string>

#include "host/EvDebug.h"
#include "host/HXFile.h"
#include "host/HXPlatformInfo.h"
#include "host/HostEnv.h"
#include "host/HxUtil.h"
#include "testsupport/TestSupport.h"

using olbtest::LogCapture;
using olbtest::ReadFile;
using olbtest::WriteFile;

namespace {

using Lines = std::vector<std::string>;

int FileMode(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? static_cast<int>(st.st_mode & 07777) : -1;
}

class PlatformTest : public ::testing::Test {
 protected:
  void SetUp() override {
    HostEnv::Get().Reset();
    HostEnv::Get().registryFile = m_dir.file("registry.ini");
    HostEnv::Get().logFile = m_dir.file("debug.log");
  }
  void TearDown() override { HostEnv::Get().Reset(); }
  void Registry(const std::string& ini) { ASSERT_TRUE(WriteFile(m_dir.file("registry.ini"), ini)); }

  // The value, or "<missing>" when not found (the output is then untouched).
  std::string String(const char* section, const char* key) {
    std::string value = "<untouched>";
    int found = HXPlatformInfo().getString(section, key, &value);
    EXPECT_EQ(found == 0, value == "<untouched>") << key;
    return found ? value : "<missing>";
  }
  std::string Int(const char* section, const char* key) {
    int value = 12345;
    if (HXPlatformInfo().getRegInt(section, key, &value)) return std::to_string(value);
    EXPECT_EQ(12345, value) << key;
    return "<missing>";
  }

  olbtest::TempDir m_dir;
};

// ---- registry ----

TEST_F(PlatformTest, RegistrySkipsMalformedLinesWithoutShowingThem) {
  LogCapture capture;
  Registry(std::string("[kRelayUnit]\n"
                       "sDPAPASSWORD topsecret\n"  // no '='
                       "= valueWithoutKey\n"
                       "sDPAUSER=dpa\n"
                       "[broken\n"
                       "sDPADBNAME=lost\n"
                       "[~kRelayUnit]\n") +
           std::string("nul\0key=1\n", 10) + "nDPADBPORT=1521");  // no final line end
  EXPECT_EQ("dpa", String("kRelayUnit", "sDPAUSER"));
  // Keys under a broken section header belong to no section.
  EXPECT_EQ("<missing>", String("kRelayUnit", "sDPADBNAME"));
  EXPECT_EQ("<missing>", String("broken", "sDPADBNAME"));
  EXPECT_EQ("1521", Int("~kRelayUnit", "nDPADBPORT"));

  capture.Clear();
  String("kRelayUnit", "sDPAUSER");
  EXPECT_EQ(4u, capture.records().size()) << capture.All();
  for (const auto& r : capture.records()) {
    EXPECT_EQ("HXPlatformInfo", r.context);
    EXPECT_EQ(std::string::npos, r.text.find("topsecret")) << r.text;
  }
  EXPECT_TRUE(capture.Contains("line [2]")) << capture.All();
  EXPECT_TRUE(capture.Contains("line [5]")) << capture.All();
}

TEST_F(PlatformTest, RegistryIntegersAreDecimalWithin32Bits) {
  // Comments, blanks around names and values, section names in any case;
  // the first occurrence of a key wins.
  Registry("; comment\n[ ~KRELAYUNIT ]\n a =7\na=8\nb=-15\nc=+3\nd= 2147483647 \n"
           "e=-2147483648\nf=007\ng=2147483648\nh=-2147483649\ni=99999999999999999999999\nj=12abc\nk=\nl=-\nm=0x10\n"
           "n=1 2\no=1.5\n");
  std::string got;
  for (char key = 'a'; key <= 'p'; ++key) {
    got += std::string(1, key) + "=" + Int("~kRelayUnit", std::string(1, key).c_str()) + " ";
  }
  EXPECT_EQ(got, "a=7 b=-15 c=3 d=2147483647 e=-2147483648 f=7 g=<missing> h=<missing> "
                 "i=<missing> j=<missing> k=<missing> l=<missing> m=<missing> n=<missing> "
                 "o=<missing> p=<missing> ");
}

// ---- debug log ----

TEST_F(PlatformTest, LogFiltersByLevelAndWritesOneLineWithTimePidLevelAndContextPerCall) {
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
  Lines lines;
  for (const auto& r : capture.records()) {
    lines.push_back(r.level + " " + std::to_string(r.debugLevel) + " " + r.context + ": " + r.text);
  }
  EXPECT_EQ(lines, (Lines{"L3 3 Ctx::Lvl: kept [3]", "DEBUG -1 Ctx::Debug: two\nlines\r",
                          "ERROR -1 Ctx::Error: always [error]", "EVENT 1 Ctx::Event: event [1]"}));
  std::string head = "\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} \\[" +
                     std::to_string(getpid()) + "\\] ";
  std::regex expected("earlier line\n" + head + "L3 Ctx::Lvl: kept \\[3\\]\n" + head +
                      "DEBUG Ctx::Debug: two\\\\nlines\\\\r\n" + head +
                      "ERROR Ctx::Error: always \\[error\\]\n" + head +
                      "EVENT Ctx::Event: event \\[1\\]\n");
  std::string file = ReadFile(m_dir.file("debug.log"));
  EXPECT_TRUE(std::regex_match(file, expected)) << file;
}

TEST_F(PlatformTest, LogFileIsPrivateAndFollowsPathChanges) {
  LogCapture capture;
  EvDebug log;
  log.Debug("Ctx", "one");
  HostEnv::Get().logFile = m_dir.file("second.log");
  log.Debug("Ctx", "two");
  EXPECT_EQ(0600, FileMode(m_dir.file("debug.log")));
  EXPECT_EQ(std::string::npos, ReadFile(m_dir.file("debug.log")).find("two"));
  EXPECT_NE(std::string::npos, ReadFile(m_dir.file("second.log")).find("Ctx: two\n"));
  // A log that cannot be opened falls back to standard error; the sink still sees the line.
  HostEnv::Get().logFile = m_dir.file("missing/dir/x.log");
  testing::internal::CaptureStderr();
  errno = ENOSPC;
  log.Debug("Ctx", "three");
  EXPECT_EQ(ENOSPC, errno) << "logging leaves errno as it was";
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(std::string::npos, err.find("Ctx: three")) << err;
  EXPECT_EQ(1u, capture.Count("three"));
}

// ---- HXFile ----

TEST_F(PlatformTest, HXFileWritesLinesPrivatelyAndRefusesBadPaths) {
  std::string path = m_dir.file("script.sql");
  ASSERT_TRUE(WriteFile(path, "old content that is longer than the new one\n"));
  HXFile file;
  ASSERT_TRUE(file.open(path, 3, 0, 0));
  EXPECT_FALSE(file.open(path, 3, 0, 0)) << "already open";
  for (const char* line : {"set colsep , \nexit\n", "no end", ""}) {
    EXPECT_TRUE(file.putLine(line, true));
  }
  EXPECT_TRUE(file.putLine("raw", false));
  EXPECT_TRUE(file.close());
  EXPECT_EQ("set colsep , \nexit\nno end\n\nraw", ReadFile(path));
  EXPECT_FALSE(file.close());
  EXPECT_FALSE(file.putLine("closed", true));
  ASSERT_TRUE(file.open(m_dir.file("fresh.sql"), 3, 0, 0));
  EXPECT_TRUE(file.close());
  EXPECT_EQ(0600, FileMode(m_dir.file("fresh.sql")));

  ASSERT_EQ(0, symlink(m_dir.file("target").c_str(), m_dir.file("link.sql").c_str()));
  for (const std::string& bad : {m_dir.file("no/such/dir/f.sql"), std::string(),
                                 path + "/f.sql", m_dir.file("link.sql")}) {
    EXPECT_FALSE(file.open(bad, 3, 0, 0)) << bad;
  }
  EXPECT_FALSE(file.open(m_dir.file("f.sql"), 77, 0, 0));  // no such mode
  EXPECT_FALSE(olbtest::FileExists(m_dir.file("target"))) << "a planted link is not followed";
  EXPECT_FALSE(file.isOpen());
}

TEST_F(PlatformTest, HXFileCloseReportsAFullDisk) {
  std::string path = m_dir.file("big.sql");
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{100, 100};
    setrlimit(RLIMIT_FSIZE, &limit);
    HXFile file;
    if (!file.open(path, 3, 0, 0)) _exit(2);
    file.putLine(std::string(1000, 'q'), true);  // may stay in the buffer
    _exit(file.close() ? 1 : 0);
  }
  int status = 0;
  ASSERT_EQ(pid, waitpid(pid, &status, 0));
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "close() must report it";
}

// ---- helpers ----

TEST(HxUtilTest, TimeZoneNameComesFromTzFirst) {
  const char* old = std::getenv("TZ");
  std::string saved = old ? old : "";
  const char* cases[][2] = {{"Europe/Berlin", "Europe/Berlin"}, {":Asia/Tokyo", "Asia/Tokyo"},
                            {":/usr/share/zoneinfo/posix/America/New_York", "America/New_York"}};
  for (const auto& c : cases) {
    setenv("TZ", c[0], 1);
    EXPECT_EQ(c[1], GetTimeZoneDisplayNameA());
    EXPECT_EQ(c[1], GetTimeZoneDisplayNameW());
  }
  setenv("TZ", "", 1);
  EXPECT_FALSE(GetTimeZoneDisplayNameA().empty());
  unsetenv("TZ");
  EXPECT_FALSE(GetTimeZoneDisplayNameA().empty());
  if (old) setenv("TZ", saved.c_str(), 1);
  tzset();
}

}  // namespace
