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
#include "host/JyString.h"
#include "testsupport/TestSupport.h"

using olbtest::LogCapture;
using olbtest::ReadFile;
using olbtest::TempDir;
using olbtest::WriteFile;

namespace {

int FileMode(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return -1;
  return static_cast<int>(st.st_mode & 07777);
}

class PlatformTest : public ::testing::Test {
 protected:
  void SetUp() override {
    HostEnv::Get().Reset();
    HostEnv::Get().registryFile = m_dir.file("registry.ini");
    HostEnv::Get().logFile = m_dir.file("debug.log");
  }
  void TearDown() override { HostEnv::Get().Reset(); }
  void Registry(const std::string& text) { ASSERT_TRUE(WriteFile(m_dir.file("registry.ini"), text)); }

  std::string String(const char* section, const char* key) {
    std::string value = "<untouched>";
    int found = HXPlatformInfo().getString(section, key, &value);
    EXPECT_EQ(found == 0, value == "<untouched>") << key;
    return found ? value : "<missing>";
  }
  std::string Int(const char* section, const char* key) {
    int value = 12345;
    bool found = HXPlatformInfo().getRegInt(section, key, &value);
    if (!found) {
      EXPECT_EQ(12345, value) << key;
      return "<missing>";
    }
    return std::to_string(value);
  }

  TempDir m_dir;
};

// ---- registry ----

TEST_F(PlatformTest, RegistryMissingFileOrPathReadsAsNotFound) {
  EXPECT_EQ("<missing>", String("kRelayUnit", "sDPAUSER"));
  EXPECT_EQ("<missing>", Int("~kRelayUnit", "nDPADBPORT"));
  HostEnv::Get().registryFile = "";
  EXPECT_EQ("<missing>", String("kRelayUnit", "sDPAUSER"));
  HostEnv::Get().registryFile = m_dir.path();  // a directory
  EXPECT_EQ("<missing>", String("kRelayUnit", "sDPAUSER"));
}

TEST_F(PlatformTest, RegistryReadsKeysOfTheirOwnSectionOnly) {
  Registry(
      "# agent settings\n"
      "; another comment\n"
      "orphan=before any section\n"
      "[kRelayUnit]\n"
      "  sDPAUSER =  dpa admin  \n"
      "sDPAPASSWORD= p=ss word\t\n"
      "sEMPTY=\n"
      "\n"
      "  [ ~kRelayUnit ]  \r\n"
      "nDPADBPORT = 1521\r\n"
      "sDPAUSER=other\n");
  EXPECT_EQ("dpa admin", String("kRelayUnit", "sDPAUSER"));
  EXPECT_EQ("p=ss word", String("kRelayUnit", "sDPAPASSWORD"));
  EXPECT_EQ("", String("kRelayUnit", "sEMPTY"));
  EXPECT_EQ("other", String("~kRelayUnit", "sDPAUSER"));
  EXPECT_EQ("1521", Int("~kRelayUnit", "nDPADBPORT"));
  EXPECT_EQ("<missing>", Int("kRelayUnit", "nDPADBPORT"));
  EXPECT_EQ("<missing>", String("kRelayUnit", "orphan"));
  EXPECT_EQ("<missing>", String("Other", "sDPAUSER"));
  EXPECT_EQ("<missing>", String("kRelayUnit", "# agent settings"));
  // Registry names are not case sensitive; the first occurrence wins.
  Registry("[KRELAYUNIT]\nsdpauser=first\nsDPAUSER=second\n");
  EXPECT_EQ("first", String("kRelayUnit", "sDPAUSER"));
  // Null arguments are no crash.
  EXPECT_EQ(0, HXPlatformInfo().getString(nullptr, "k", nullptr));
  EXPECT_FALSE(HXPlatformInfo().getRegInt("kRelayUnit", nullptr, nullptr));
}

TEST_F(PlatformTest, RegistrySkipsMalformedLinesWithoutShowingThem) {
  LogCapture capture;
  std::string text =
      "[kRelayUnit]\n"
      "sDPAPASSWORD topsecret\n"  // no '='
      "= valueWithoutKey\n"
      "sDPAUSER=dpa\n"
      "[broken\n"
      "sDPADBNAME=lost\n"
      "[~kRelayUnit]\n";
  text += std::string("nul\0key=1\n", 10);
  text += "nDPADBPORT=1521";  // no final line end
  Registry(text);
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

TEST_F(PlatformTest, RegistryIntegersMustBeDecimalAndFit32Bits) {
  Registry(
      "[~kRelayUnit]\n"
      "a=7\nb=-15\nc=+3\nd= 2147483647 \ne=-2147483648\nf=007\n"
      "g=2147483648\nh=-2147483649\ni=99999999999999999999999\n"
      "j=12abc\nk=\nl=-\nm=0x10\nn=1 2\no=1.5\n");
  EXPECT_EQ("7", Int("~kRelayUnit", "a"));
  EXPECT_EQ("-15", Int("~kRelayUnit", "b"));
  EXPECT_EQ("3", Int("~kRelayUnit", "c"));
  EXPECT_EQ("2147483647", Int("~kRelayUnit", "d"));
  EXPECT_EQ("-2147483648", Int("~kRelayUnit", "e"));
  EXPECT_EQ("7", Int("~kRelayUnit", "f"));
  for (const char* bad : {"g", "h", "i", "j", "k", "l", "m", "n", "o", "absent"}) {
    EXPECT_EQ("<missing>", Int("~kRelayUnit", bad)) << bad;
  }
}

// ---- debug log ----

TEST_F(PlatformTest, LogFiltersByLevelAndPassesEveryLineToTheSink) {
  HostEnv::Get().debugLevel = 3;
  LogCapture capture;
  EvDebug log;
  log.DebugLvl("Ctx::Lvl", 3, "kept [%d]", 3);
  log.DebugLvl("Ctx::Lvl", 4, "dropped [%d]", 4);
  log.Debug("Ctx::Debug", "always [%s]", "debug");
  log.Error("Ctx::Error", "always [%s]", "error");
  EvEvent event;
  event.DebugLvl("Ctx::Event", 1, "event [%u]", 1u);
  event.DebugLvl("Ctx::Event", 9, "dropped event");

  ASSERT_EQ(4u, capture.records().size()) << capture.All();
  const auto& r = capture.records();
  EXPECT_EQ("L3", r[0].level);
  EXPECT_EQ(3, r[0].debugLevel);
  EXPECT_EQ("Ctx::Lvl", r[0].context);
  EXPECT_EQ("kept [3]", r[0].text);
  EXPECT_EQ("DEBUG", r[1].level);
  EXPECT_EQ(-1, r[1].debugLevel);
  EXPECT_EQ("ERROR", r[2].level);
  EXPECT_EQ("EVENT", r[3].level);
  EXPECT_EQ("event [1]", r[3].text);

  std::string file = ReadFile(m_dir.file("debug.log"));
  EXPECT_EQ(std::string::npos, file.find("dropped"));
  EXPECT_NE(std::string::npos, file.find("ERROR Ctx::Error: always [error]\n"));
}

TEST_F(PlatformTest, LogFileLinesHaveTimePidLevelAndContext) {
  std::string path = m_dir.file("debug.log");
  ASSERT_TRUE(WriteFile(path, "earlier line\n"));
  chmod(path.c_str(), 0600);
  EvDebug log;
  log.DebugLvl("CForeignHandlerDPA::DiscoverClients", 1, "Found [%d] clients", 12);
  log.Debug("Ctx", "two\nlines\r");
  std::string text = ReadFile(path);
  ASSERT_EQ(0u, text.find("earlier line\n")) << "appends";
  std::string pid = std::to_string(getpid());
  std::regex first("\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} \\[" + pid +
                   "\\] L1 CForeignHandlerDPA::DiscoverClients: Found \\[12\\] clients\n");
  std::regex second("[^\n]* DEBUG Ctx: two\\\\nlines\\\\r\n");
  std::string rest = text.substr(13);
  size_t nl = rest.find('\n');
  ASSERT_NE(std::string::npos, nl);
  EXPECT_TRUE(std::regex_match(rest.substr(0, nl + 1), first)) << rest;
  EXPECT_TRUE(std::regex_match(rest.substr(nl + 1), second)) << rest;
}

TEST_F(PlatformTest, LogFileIsPrivateAndFollowsPathChanges) {
  EvDebug log;
  log.Debug("Ctx", "one");
  EXPECT_EQ(0600, FileMode(m_dir.file("debug.log")));
  HostEnv::Get().logFile = m_dir.file("second.log");
  log.Debug("Ctx", "two");
  EXPECT_EQ(std::string::npos, ReadFile(m_dir.file("debug.log")).find("two"));
  EXPECT_NE(std::string::npos, ReadFile(m_dir.file("second.log")).find("Ctx: two\n"));
  // A log that cannot be opened falls back to standard error; the sink still
  // sees the line.
  HostEnv::Get().logFile = m_dir.file("missing/dir/x.log");
  LogCapture capture;
  testing::internal::CaptureStderr();
  log.Debug("Ctx", "three");
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(std::string::npos, err.find("Ctx: three")) << err;
  EXPECT_EQ(1u, capture.Count("three"));
}

TEST_F(PlatformTest, LogSurvivesNullAndHugeTexts) {
  LogCapture capture;
  EvDebug log;
  std::string big(200000, 'x');
  log.Debug("Ctx", "[%s]", big.c_str());
  ASSERT_EQ(1u, capture.records().size());
  EXPECT_EQ(big.size() + 2, capture.records()[0].text.size());
  const char* volatile nullFormat = nullptr;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-security"
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
  log.Debug(nullptr, nullFormat);
  log.DebugLvl(nullptr, 0, nullFormat);
#pragma GCC diagnostic pop
  ASSERT_EQ(3u, capture.records().size());
  EXPECT_EQ("", capture.records()[1].text);
  EXPECT_EQ("", capture.records()[1].context);
  std::string file = ReadFile(m_dir.file("debug.log"));
  EXPECT_NE(std::string::npos, file.find("[" + big + "]\n"));

  errno = ENOSPC;
  log.Debug("Ctx", "keeps errno");
  EXPECT_EQ(ENOSPC, errno);
}

// ---- HXFile ----

TEST_F(PlatformTest, HXFileWritesLinesWithOneLineEnd) {
  std::string path = m_dir.file("script.sql");
  ASSERT_TRUE(WriteFile(path, "old content that is longer than the new one\n"));
  HXFile file;
  ASSERT_TRUE(file.open(path, 3, 0, 0));
  EXPECT_TRUE(file.putLine("set colsep , \nexit\n", true));
  EXPECT_TRUE(file.putLine("no end", true));
  EXPECT_TRUE(file.putLine("", true));
  EXPECT_TRUE(file.putLine("raw", false));
  EXPECT_TRUE(file.close());
  EXPECT_EQ("set colsep , \nexit\nno end\n\nraw", ReadFile(path));
  EXPECT_FALSE(file.close());
  EXPECT_FALSE(file.putLine("closed", true));

  std::string fresh = m_dir.file("fresh.sql");
  HXFile other;
  ASSERT_TRUE(other.open(fresh, 3, 0, 0));
  EXPECT_FALSE(other.open(fresh, 3, 0, 0)) << "already open";
  EXPECT_TRUE(other.close());
  EXPECT_EQ(0600, FileMode(fresh));
}

TEST_F(PlatformTest, HXFileFailuresReportFalse) {
  HXFile file;
  EXPECT_FALSE(file.open(m_dir.file("no/such/dir/f.sql"), 3, 0, 0));
  EXPECT_FALSE(file.open("", 3, 0, 0));
  EXPECT_FALSE(file.open(m_dir.file("f.sql"), 77, 0, 0));
  ASSERT_TRUE(WriteFile(m_dir.file("plain"), "x"));
  EXPECT_FALSE(file.open(m_dir.file("plain/f.sql"), 3, 0, 0));
  // A link planted at the path is not followed.
  ASSERT_EQ(0, symlink(m_dir.file("target").c_str(), m_dir.file("link.sql").c_str()));
  EXPECT_FALSE(file.open(m_dir.file("link.sql"), 3, 0, 0));
  EXPECT_FALSE(olbtest::FileExists(m_dir.file("target")));
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
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(0, WEXITSTATUS(status)) << "close() must report the short write";
}

// ---- helpers ----

TEST(HxUtilTest, TrimInlineRemovesTheGivenCharactersAtBothEnds) {
  struct Case {
    const char* in;
    const char* chars;
    const char* out;
  } cases[] = {
      {"  a b  ", " ", "a b"}, {"", " ", ""},          {"    ", " ", ""},
      {"\t x \t", " ", "\t x \t"}, {"\t x \t", " \t", "x"}, {"xxaxx", "x", "a"},
      {"abc", "", "abc"},     {"a", " ", "a"},          {" a", " ", "a"},
  };
  for (const Case& c : cases) {
    std::string text = c.in;
    TrimInline(text, c.chars);
    EXPECT_EQ(c.out, text) << "[" << c.in << "] trimming [" << c.chars << "]";
  }
}

TEST(HxUtilTest, TimeZoneNameComesFromTzFirst) {
  const char* old = std::getenv("TZ");
  std::string saved = old ? old : "";
  setenv("TZ", "Europe/Berlin", 1);
  EXPECT_EQ("Europe/Berlin", GetTimeZoneDisplayNameA());
  setenv("TZ", ":Asia/Tokyo", 1);
  EXPECT_EQ("Asia/Tokyo", GetTimeZoneDisplayNameA());
  setenv("TZ", ":/usr/share/zoneinfo/posix/America/New_York", 1);
  EXPECT_EQ("America/New_York", GetTimeZoneDisplayNameW());
  setenv("TZ", "", 1);
  EXPECT_FALSE(GetTimeZoneDisplayNameA().empty());
  unsetenv("TZ");
  EXPECT_FALSE(GetTimeZoneDisplayNameA().empty());
  EXPECT_EQ(GetTimeZoneDisplayNameA(), GetTimeZoneDisplayNameW());
  if (old) {
    setenv("TZ", saved.c_str(), 1);
  }
  tzset();
}

TEST(HxUtilTest, JyStringHoldsDecimalText) {
  EXPECT_STREQ("42", CJyString(42).c_str());
  EXPECT_STREQ("-7", CJyString(-7).c_str());
  EXPECT_STREQ("", CJyString().c_str());
}

}  // namespace
