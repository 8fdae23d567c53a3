// olb-host as a user runs it: options, operations, output and exit status.
#include <string>
#include <vector>

#include "testsupport/TestSupport.h"

namespace {

struct HostRun {
  int status = -1;
  std::string out;
  std::string err;
};

class OlbHostTest : public ::testing::Test {
 protected:
  // Runs olb-host with `args` (shell words) and `env` assignments before it;
  // TMPDIR points into the scratch directory.
  HostRun Host(const std::string& args, const std::string& env = "") {
    HostRun run;
    std::string outFile = m_dir.file("stdout.txt");
    std::string errFile = m_dir.file("stderr.txt");
    // Braced, so that the 2>&1 that RunShell appends leaves ours alone.
    std::string command = "{ TMPDIR='" + m_dir.file("tmp") + "' " + env + " '" +
                          olbtest::OlbHostPath() + "' " + args + " >'" + outFile + "' 2>'" +
                          errFile + "'; }";
    run.status = olbtest::RunShell(command, nullptr);
    run.out = olbtest::ReadFile(outFile);
    run.err = olbtest::ReadFile(errFile);
    return run;
  }
  void SetUp() override { olbtest::RunShell("mkdir -p '" + m_dir.file("tmp") + "'", nullptr); }
  std::string Out() const { return "--out '" + m_dir.file("out") + "' "; }

  olbtest::TempDir m_dir;
};

TEST_F(OlbHostTest, HelpNamesEveryOptionAndOperation) {
  HostRun run = Host("--help");
  EXPECT_EQ(0, run.status);
  EXPECT_EQ("", run.err);
  for (const char* word : {"--registry FILE", "--out DIR", "--work-dir DIR", "--log FILE",
                           "--debug-level N", "--tool-timeout SECONDS", "--datastore FILE",
                           "config", "clients", "jobs", "media", "policies", "Exit status"}) {
    EXPECT_NE(std::string::npos, run.out.find(word)) << word;
  }
}

// The handler comes from libOlbDpa.so, as the host loads it, not from a copy
// of the plug-in's code linked into the program.
TEST_F(OlbHostTest, UsesThePluginLibrary) {
  std::string out;
  ASSERT_EQ(0, olbtest::RunShell("nm --defined-only '" + olbtest::OlbHostPath() + "'", &out));
  EXPECT_EQ(std::string::npos, out.find(" _ZN18CForeignHandlerDPA"));  // members
  EXPECT_EQ(std::string::npos, out.find(" _ZTV18CForeignHandlerDPA"));  // its vtable
  out.clear();
  ASSERT_EQ(0, olbtest::RunShell("ldd '" + olbtest::OlbHostPath() + "'", &out));
  EXPECT_NE(std::string::npos, out.find("libOlbDpa.so")) << out;
}

TEST_F(OlbHostTest, BadCommandLinesGiveUsageAndStatusTwo) {
  struct Case {
    const char* args;
    const char* message;
  } cases[] = {
      {"--verbose", "unknown option '--verbose'"},
      {"config restore", "unknown operation 'restore'"},
      {"--out", "option '--out' needs a value"},
      {"--debug-level high", "--debug-level needs a whole number"},
      {"--debug-level=-1", "--debug-level needs a whole number"},
      {"--tool-timeout 0", "--tool-timeout needs a positive number"},
      {"--registry=", "needs a non-empty value"},
  };
  for (const Case& c : cases) {
    HostRun run = Host(Out() + c.args);
    EXPECT_EQ(2, run.status) << c.args;
    EXPECT_EQ("", run.out) << c.args;
    EXPECT_NE(std::string::npos, run.err.find(c.message)) << c.args << ": " << run.err;
    EXPECT_NE(std::string::npos, run.err.find("Usage: olb-host")) << c.args;
  }
  EXPECT_FALSE(olbtest::FileExists(m_dir.file("out")));  // nothing was run
}

TEST_F(OlbHostTest, SetupErrorsRunNothing) {
  HostRun run = Host(Out() + "--registry '" + m_dir.file("missing.ini") + "' config");
  EXPECT_EQ(2, run.status);
  EXPECT_NE(std::string::npos, run.err.find("cannot read the registry file")) << run.err;
  run = Host(Out() + "--datastore '" + m_dir.file("missing.db") + "' config");
  EXPECT_EQ(2, run.status);
  EXPECT_NE(std::string::npos, run.err.find("cannot read the datastore")) << run.err;
  EXPECT_EQ("", run.out);
}

TEST_F(OlbHostTest, ConfigAloneRunsAndReports) {
  ASSERT_TRUE(olbtest::WriteFile(m_dir.file("reg.ini"),
                                 "[kRelayUnit]\nsDPAUSER=dpa\nsDPAPASSWORD=topsecret\n"));
  HostRun run = Host(Out() + "--registry '" + m_dir.file("reg.ini") + "' config");
  EXPECT_EQ(0, run.status) << run.out << run.err;
  EXPECT_EQ(0u, run.out.find("config    ok ")) << run.out;
  EXPECT_NE(std::string::npos, run.out.find("All 1 operations succeeded.")) << run.out;
  EXPECT_EQ(std::string::npos, run.out.find("clients"));

  std::string log = olbtest::ReadFile(m_dir.file("out/olb-debug.log"));
  EXPECT_NE(std::string::npos, log.find("User name = [dpa]")) << log;
  EXPECT_EQ(std::string::npos, log.find("topsecret"));
  // The private work directory is gone.
  EXPECT_TRUE(olbtest::ListDir(m_dir.file("tmp")).empty());
}

TEST_F(OlbHostTest, OperationsRunInTheOrderGiven) {
  HostRun run = Host(Out() + "--log '" + m_dir.file("my.log") + "' --work-dir '" +
                 m_dir.file("work/sub") + "' policies config config");
  size_t policies = run.out.find("policies ");
  size_t config = run.out.find("config ");
  ASSERT_NE(std::string::npos, policies) << run.out;
  ASSERT_NE(std::string::npos, config) << run.out;
  EXPECT_LT(policies, config);
  EXPECT_NE(std::string::npos, run.out.find("config ", config + 1));
  EXPECT_EQ(run.out.find("FAILED") == std::string::npos ? 0 : 1, run.status) << run.out;
  EXPECT_TRUE(olbtest::FileExists(m_dir.file("my.log")));
  EXPECT_TRUE(olbtest::FileExists(m_dir.file("work/sub")));  // a given work dir is kept
}

TEST_F(OlbHostTest, MissingSqlplusFailsClientsButTheRestStillRuns) {
  HostRun run = Host(Out() + "clients config", "PATH=");
  EXPECT_EQ(1, run.status) << run.out << run.err;
  EXPECT_EQ(0u, run.out.find("clients   FAILED ")) << run.out;
  EXPECT_NE(std::string::npos, run.out.find("\nconfig    ok ")) << run.out;
  EXPECT_NE(std::string::npos, run.out.find("1 of 2 operations FAILED: clients")) << run.out;
}

TEST_F(OlbHostTest, EveryOperationOnTheDemoDatastore) {
  const std::string db = m_dir.file("dpa.db");
  ASSERT_TRUE(olbtest::CreateDatastore(db, {olbtest::DemoSqlPath()}));
  ASSERT_TRUE(olbtest::WriteFile(m_dir.file("reg.ini"),
                                 "[kRelayUnit]\nsDPAUSER=dpa\nsDPAPASSWORD=dpa-demo-58\n"));
  HostRun run = Host(Out() + "--registry '" + m_dir.file("reg.ini") + "' --datastore '" + db + "'",
                     "PATH=/usr/bin:/bin");
  EXPECT_EQ(0, run.status) << run.out << run.err;
  EXPECT_NE(std::string::npos, run.out.find("All 5 operations succeeded.")) << run.out;
  for (const char* file : {"App.ClientsList.xml", "ZRC.JobList.xml", "ZRC.ForeignLibraries.xml",
                           "ZRC.ForeignMedias.xml", "ZRC.StoragePolicyList.xml"}) {
    EXPECT_NE(std::string::npos, run.out.find(file)) << file;
  }
  EXPECT_EQ(6u, olbtest::ListDir(m_dir.file("out")).size());  // five messages and the log

  // A wrong password makes the tool, and so the operation, fail.
  ASSERT_TRUE(olbtest::WriteFile(m_dir.file("reg.ini"),
                                 "[kRelayUnit]\nsDPAUSER=dpa\nsDPAPASSWORD=wrong\n"));
  run = Host(Out() + "--registry '" + m_dir.file("reg.ini") + "' --datastore '" + db +
             "' config clients");
  EXPECT_EQ(1, run.status) << run.out;
  EXPECT_NE(std::string::npos, run.out.find("1 of 2 operations FAILED: clients")) << run.out;
}

}  // namespace
