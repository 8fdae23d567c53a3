// The SQL tool failing: missing, exiting non-zero, killed by a signal, or
// hanging past the time limit (with a child of its own). FetchData is false,
// the tool and its children are killed and reaped, every script file is
// removed, and each discovery operation that reads the datastore fails with
// its own log line. The tool is a fake `sqlplus` first on PATH that writes
// its pid (and its child's) into files.
#include <sys/wait.h>
#include <unistd.h>

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "app/ReliabilityTestUtil.h"
#include "collectors/DPAClientCollector.h"
#include "host/HostEnv.h"

namespace {

enum class ToolFault { kMissing, kExitsNonZero, kKilledBySignal, kHangs };

struct OperationCase {
  const char* name;
  const char* logLine;
  bool (*run)(CForeignHandlerDPA&);
};

bool RunClients(CForeignHandlerDPA& h) {
  CWzMessageBase msg(30, 0);
  return h.DiscoverClients(&msg);
}
bool RunJobs(CForeignHandlerDPA& h) {
  CWzMessageBase msg(32, 0);
  return h.DiscoverJobs(&msg);
}
bool RunMedia(CForeignHandlerDPA& h) {
  CWzMessageBase msg(32, 0);
  return h.DiscoverMedia(&msg);
}

const OperationCase kOperations[] = {
    {"clients", "failed to collect server data", RunClients},
    {"jobs", "job collection failed", RunJobs},
    {"media", "Failed to collect disk libraries", RunMedia},
};

class ToolFaultTest : public olbtest::HostFixture {
 protected:
  void SetUp() override {
    olbtest::HostFixture::SetUp();
    SetRegistry(olbrel::DemoRegistry());
    m_bin = m_dir.path() + "/fake-bin";
    ASSERT_EQ(0, mkdir(m_bin.c_str(), 0700));
    HostEnv::Get().toolTimeoutSeconds = 1;
    CWzMessageBase config(30, 0);
    CForeignHandlerDPA().DiscoverConfig(&config);
  }

  void TearDown() override {
    m_path.reset();
    olbtest::HostFixture::TearDown();
  }

  std::string PidFile() const { return m_dir.path() + "/tool.pid"; }
  std::string ChildPidFile() const { return m_dir.path() + "/child.pid"; }

  // Installs the fake tool for `fault`; for kMissing, PATH holds only an
  // empty directory and the system's.
  void InstallTool(ToolFault fault) {
    std::string body;
    switch (fault) {
      case ToolFault::kMissing:
        m_path.reset();
        setenv("PATH", (m_bin + ":/usr/bin:/bin").c_str(), 1);
        return;
      case ToolFault::kExitsNonZero:
        body = "echo 'ORA-01017: invalid username/password; logon denied'\nexit 3\n";
        break;
      case ToolFault::kKilledBySignal:
        body = "echo 'half a row,'\nkill -KILL $$\nsleep 5\n";
        break;
      case ToolFault::kHangs:
        body = "sleep 30 &\necho $! > '" + ChildPidFile() + "'\necho 'alpha,'\nwait\n";
        break;
    }
    olbrel::WriteScript(m_bin + "/sqlplus", "#!/bin/sh\necho $$ > '" + PidFile() + "'\n" + body);
    m_path = std::make_unique<olbrel::PathPrefix>(m_bin);
  }

  // The tool (and its child) must be gone, the tool reaped by the host.
  void ExpectNoToolLeft(ToolFault fault) {
    if (fault == ToolFault::kMissing) {
      EXPECT_FALSE(olbtest::FileExists(PidFile()));
      return;
    }
    pid_t tool = olbrel::ReadPid(PidFile());
    ASSERT_GT(tool, 0) << "the fake tool did not run";
    // Reaped: it is no child of ours any more, and no zombie either.
    EXPECT_EQ(-1, waitpid(tool, nullptr, WNOHANG));
    EXPECT_TRUE(olbrel::ProcessGone(tool, false)) << "tool " << tool << " still there, state "
                                                  << olbrel::ProcessState(tool);
    if (fault == ToolFault::kHangs) {
      pid_t child = olbrel::ReadPid(ChildPidFile());
      ASSERT_GT(child, 0);
      // Not our child: whoever adopted it reaps it.
      EXPECT_TRUE(olbrel::ProcessGone(child, true)) << "the tool's child " << child
                                                    << " still runs";
    }
  }

  void ExpectNoScripts() {
    std::vector<std::string> files;
    olbrel::FindFiles(WorkDir(), &files);
    for (const std::string& path : files) EXPECT_FALSE(olbrel::EndsWith(path, ".sql")) << path;
  }

  std::string m_bin;
  std::unique_ptr<olbrel::PathPrefix> m_path;
};

// Readable parameters in test listings.
void PrintTo(const OperationCase& c, std::ostream* os) { *os << c.name; }
void PrintTo(ToolFault f, std::ostream* os) {
  static const char* const kNames[] = {"missing", "exits non-zero", "killed by a signal", "hangs"};
  *os << kNames[static_cast<int>(f)];
}

class ToolFaultOperationTest
    : public ToolFaultTest,
      public ::testing::WithParamInterface<std::tuple<OperationCase, ToolFault>> {};

TEST_P(ToolFaultOperationTest, OperationFailsKillsTheToolAndRemovesItsScript) {
  const OperationCase op = std::get<0>(GetParam());
  const ToolFault fault = std::get<1>(GetParam());
  InstallTool(fault);
  CForeignHandlerDPA handler;
  olbtest::LogCapture log;
  EXPECT_FALSE(op.run(handler));
  EXPECT_TRUE(log.Contains(op.logLine)) << log.All();
  EXPECT_TRUE(olbtest::ListDir(OutDir()).empty());
  ExpectNoToolLeft(fault);
  ExpectNoScripts();
}

std::string CaseName(const ::testing::TestParamInfo<std::tuple<OperationCase, ToolFault>>& info) {
  static const char* const kFaults[] = {"Missing", "ExitsNonZero", "KilledBySignal", "Hangs"};
  return std::string(std::get<0>(info.param).name) + "_" +
         kFaults[static_cast<int>(std::get<1>(info.param))];
}

INSTANTIATE_TEST_SUITE_P(
    AllCollectingOperations, ToolFaultOperationTest,
    ::testing::Combine(::testing::ValuesIn(kOperations),
                       ::testing::Values(ToolFault::kMissing, ToolFault::kExitsNonZero,
                                         ToolFault::kKilledBySignal, ToolFault::kHangs)),
    CaseName);

// The collector on its own: FetchData false for every fault, with the
// reason in the log, and the script gone with the collector.
TEST_F(ToolFaultTest, FetchDataReportsEachFault) {
  struct Case {
    ToolFault fault;
    const char* reason;
  } cases[] = {
      {ToolFault::kMissing, "Program [sqlplus] not found"},
      {ToolFault::kExitsNonZero, "[sqlplus] exited with status [3]"},
      {ToolFault::kKilledBySignal, "[sqlplus] was ended by signal [9]"},
      {ToolFault::kHangs, "[sqlplus] ran longer than [1] seconds and was killed"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reason);
    unlink(PidFile().c_str());
    unlink(ChildPidFile().c_str());
    InstallTool(c.fault);
    olbtest::LogCapture log;
    std::vector<DPAClient> clients;
    std::string script;
    {
      auto collector = std::make_unique<CDPAClientCollectorV58_ORACLE>();
      collector->setDBContext(CForeignHandlerDPA::m_dbContext);
      script = collector->scriptFile();
      EXPECT_FALSE(collector->FetchData(&clients));
      EXPECT_TRUE(clients.empty());
    }
    EXPECT_TRUE(log.Contains(c.reason)) << log.All();
    EXPECT_FALSE(olbtest::FileExists(script)) << script;
    ExpectNoToolLeft(c.fault);
    // The tool's output reached the log through standard error only, and
    // the password never.
    EXPECT_FALSE(log.Contains(olbrel::kDemoPassword)) << log.All();
  }
}

}  // namespace
