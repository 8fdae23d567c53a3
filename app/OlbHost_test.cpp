// olb-host as a user runs it: command lines, the counts of each operation,
// the debug log's size by level, its scratch directories, and the
// installed tree.
#include <algorithm>
#include <string>
#include <vector>

#include "app/ReliabilityTestUtil.h"

namespace {

using olbrel::Has;

class OlbHostTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(0, mkdir(m_dir.file("tmp").c_str(), 0700)); }
  olbrel::Run Host(const std::vector<std::string>& args) {
    return olbrel::Host(args, m_dir.file("tmp"));
  }
  olbtest::TempDir m_dir;
};

TEST_F(OlbHostTest, BadCommandLinesNameTheProblemInOneLine) {
  const std::string kTry = "\nTry 'olb-host --help' for more information.\n";
  const struct {
    std::vector<std::string> args;
    const char* problem;
  } cases[] = {
      {{"--verbose"}, "unknown option '--verbose'"},
      {{"--verbose=yes"}, "unknown option '--verbose'"},
      {{"-x"}, "unknown option '-x'"},
      {{"config", "restore"}, "unknown operation 'restore'"},
      {{"--", "--out"}, "unknown operation '--out'"},
      {{"config", "--out"}, "option '--out' needs a value"},
      {{"--debug-level", "high"}, "--debug-level needs a whole number from 0 to 1000, not 'high'"},
      {{"--tool-timeout=0"}, "--tool-timeout needs a positive number of seconds, not '0'"},
      {{"--registry="}, "option '--registry' needs a non-empty value"},
  };
  for (const auto& c : cases) {
    olbrel::Run r = Host(c.args);
    EXPECT_EQ(2, r.status) << c.problem;
    EXPECT_EQ(std::string("olb-host: ") + c.problem + kTry, r.out);
  }
  olbrel::Run help = Host({"config", "--help"});
  EXPECT_EQ(0, help.status);
  EXPECT_TRUE(Has(help.out, "--datastore FILE") && Has(help.out, "Exit status")) << help.out;
  // --out=DIR, options after operations, and the order given.
  olbrel::Run r = Host({"policies", "--out=" + m_dir.file("o"), "--", "config"});
  EXPECT_EQ(0, r.status) << r.out;
  EXPECT_EQ(0u, r.out.find("policies  ok ")) << r.out;
  EXPECT_TRUE(Has(r.out, "\nconfig    ok ")) << r.out;
  EXPECT_TRUE(olbtest::FileExists(m_dir.file("o/0001-ZRC.StoragePolicyList.xml")));
}

// The handler comes from libOlbDpa.so, as the host loads it.
TEST_F(OlbHostTest, UsesThePluginLibrary) {
  std::string out;
  ASSERT_EQ(0, olbtest::RunShell("nm --defined-only '" + olbtest::OlbHostPath() + "'", &out));
  EXPECT_FALSE(Has(out, " _ZN18CForeignHandlerDPA") || Has(out, " _ZTV18CForeignHandlerDPA"));
}

TEST_F(OlbHostTest, EachOperationCountsWhatItWroteAndTheLogStaysSmall) {
  const std::string db = m_dir.file("dpa.db"), work = m_dir.file("work");
  ASSERT_TRUE(olbtest::CreateDatastore(db, {olbtest::DemoSqlPath()}));
  ASSERT_TRUE(olbtest::WriteFile(m_dir.file("reg.ini"), olbrel::Registry()));
  size_t logLines[2];
  for (int level : {1, 5}) {
    std::string out = m_dir.file("out" + std::to_string(level));
    olbrel::Run r = Host({"--registry", m_dir.file("reg.ini"), "--datastore", db, "--out", out,
                          "--work-dir", work, "--debug-level", std::to_string(level)});
    ASSERT_EQ(0, r.status) << r.out;
    // The demo: 12 clients and the server, 336 of its 339 job rows mapped.
    for (const char* counts :
         {"13 clients, 26 policies  1 file", "336 jobs, 3 rows not written  1 file",
          "9 libraries, 11 drives, 5 media  2 files", "1 storage policies  1 file"}) {
      EXPECT_TRUE(Has(r.out, counts)) << counts << "\n" << r.out;
    }
    std::string log = olbtest::ReadFile(out + "/olb-debug.log");
    logLines[level == 5] = static_cast<size_t>(std::count(log.begin(), log.end(), '\n'));
    EXPECT_TRUE(Has(log, "L1 olb-host: jobs      ok ")) << log;
    // The scratch directory goes with the run; the tool's output stays.
    for (const std::string& name : olbtest::ListDir(work)) EXPECT_EQ(0u, name.find("olb_dpa_"));
  }
  EXPECT_LT(logLines[0], 60u);   // a few lines per operation and file
  EXPECT_GT(logLines[1], 500u);  // a line per record
  EXPECT_EQ(std::vector<std::string>{}, olbtest::ListDir(m_dir.file("tmp")));
}

// Installed into a fresh prefix, the demo runs from there alone, the
// stand-in off PATH.
TEST_F(OlbHostTest, InstalledTreeRunsTheDemo) {
  const std::string prefix = m_dir.file("prefix");
  std::string out;
  ASSERT_EQ(0,
            olbtest::RunShell(
                "cmake --install '" + olbtest::BinaryDir() + "' --prefix '" + prefix + "'", &out))
      << out;
  EXPECT_TRUE(olbtest::FileExists(prefix + "/libexec/olb/bin/sqlplus"));
  EXPECT_FALSE(olbtest::FileExists(prefix + "/bin/sqlplus"));
  int fd = -1;
  pid_t demo = olbrel::Start(
      "/bin/sh",
      {"-c", "cd '" + m_dir.path() + "' && OLB_DEMO_OUT=demo '" + prefix + "/share/olb/demo.sh'"},
      "/usr/bin:/bin", m_dir.file("tmp"), &fd);
  olbrel::Run r = olbrel::Finish(demo, fd);
  EXPECT_EQ(0, r.status) << r.out;
  EXPECT_TRUE(Has(r.out, "All 5 operations succeeded.")) << r.out;
  EXPECT_EQ(6u, olbtest::ListDir(m_dir.file("demo")).size());
  out.clear();
  ASSERT_EQ(0, olbtest::RunShell("ldd '" + prefix + "/bin/olb-host'", &out));
  EXPECT_TRUE(Has(out, prefix + "/bin/../lib/olb/libOlbDpa.so")) << out;
}

}  // namespace
