// The SQL tool failing: missing, exiting non-zero, killed by a signal, or
// hanging past the time limit (with a child of its own). FetchData is false
// with the reason in the log, the tool and its children are killed and
// reaped, every script file is removed, and each discovery operation that
// reads the datastore fails with its own log line. The tool is a fake
// `sqlplus` first on PATH that writes its pid (and its child's) into files.
#include <sys/wait.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "app/ReliabilityTestUtil.h"
#include "collectors/DPAClientCollector.h"
#include "host/HostEnv.h"

namespace {

enum ToolFault { kMissing, kExitsNonZero, kKilledBySignal, kHangs };

class ToolFaultTest : public olbtest::HostFixture {
 protected:
  std::string PidFile() const { return m_dir.file("tool.pid"); }
  std::string ChildPidFile() const { return m_dir.file("child.pid"); }

  // Installs the fake tool for `fault`; for kMissing, PATH holds only an
  // empty directory and the system's.
  void InstallTool(ToolFault fault, const std::string& bin) {
    unlink(PidFile().c_str());
    unlink(ChildPidFile().c_str());
    const char* const kBodies[] = {
        nullptr, "echo 'ORA-01017: invalid username/password; logon denied'\nexit 3\n",
        "echo 'half a row,'\nkill -KILL $$\nsleep 5\n",
        "sleep 30 &\necho $! > '%CHILD%'\necho 'alpha,'\nwait\n"};
    if (fault == kMissing) {
      unlink((bin + "/sqlplus").c_str());
      setenv("PATH", (bin + ":/usr/bin:/bin").c_str(), 1);
      return;
    }
    std::string body = kBodies[fault];
    if (fault == kHangs) body.replace(body.find("%CHILD%"), 7, ChildPidFile());
    olbrel::WriteScript(bin + "/sqlplus", "#!/bin/sh\necho $$ > '" + PidFile() + "'\n" + body);
  }

  // The tool (and its child) must be gone, the tool reaped by the host.
  void ExpectNoToolLeft(ToolFault fault) {
    if (fault == kMissing) {
      EXPECT_FALSE(olbtest::FileExists(PidFile()));
      return;
    }
    pid_t tool = std::atoi(olbtest::ReadFile(PidFile()).c_str());
    ASSERT_GT(tool, 0) << "the fake tool did not run";
    EXPECT_EQ(-1, waitpid(tool, nullptr, WNOHANG));  // no child of ours any more
    EXPECT_TRUE(olbrel::ProcessGone(tool, false));
    if (fault == kHangs) {
      pid_t child = std::atoi(olbtest::ReadFile(ChildPidFile()).c_str());
      ASSERT_GT(child, 0);
      // Not our child: whoever adopted it reaps it.
      EXPECT_TRUE(olbrel::ProcessGone(child, true)) << "the tool's child still runs";
    }
  }
};

// Each fault through the collector on its own, then through every operation
// that reads the datastore (the hang, a second each, through the job
// collection only).
TEST_F(ToolFaultTest, EveryFaultFailsTheStepKillsTheToolAndRemovesTheScript) {
  SetRegistry(olbrel::DemoRegistry());
  HostEnv::Get().toolTimeoutSeconds = 1;
  CForeignHandlerDPA handler;
  ASSERT_TRUE(olbrel::Run(handler, &CForeignHandlerDPA::DiscoverConfig));
  std::string bin = m_dir.file("fake-bin");
  ASSERT_EQ(0, mkdir(bin.c_str(), 0700));
  olbrel::PathPrefix path(bin);

  const struct {
    ToolFault fault;
    const char* reason;
  } faults[] = {
      {kMissing, "Program [sqlplus] not found"},
      {kExitsNonZero, "[sqlplus] exited with status [3]"},
      {kKilledBySignal, "[sqlplus] was ended by signal [9]"},
      {kHangs, "[sqlplus] ran longer than [1] seconds and was killed"},
  };
  const struct {
    const char* name;
    olbrel::Operation op;
    const char* logLine;
  } operations[] = {
      {"jobs", &CForeignHandlerDPA::DiscoverJobs, "job collection failed"},
      {"clients", &CForeignHandlerDPA::DiscoverClients, "failed to collect server data"},
      {"media", &CForeignHandlerDPA::DiscoverMedia, "Failed to collect disk libraries"},
  };
  for (const auto& f : faults) {
    SCOPED_TRACE(f.reason);
    InstallTool(f.fault, bin);
    olbtest::LogCapture log;
    std::vector<DPAClient> clients;
    std::string script;
    {
      CDPAClientCollectorV58_ORACLE collector;
      collector.setDBContext(CForeignHandlerDPA::m_dbContext);
      script = collector.scriptFile();
      EXPECT_FALSE(collector.FetchData(&clients));
      EXPECT_TRUE(clients.empty());
    }
    EXPECT_TRUE(log.Contains(f.reason)) << log.All();
    EXPECT_FALSE(olbtest::FileExists(script)) << script;
    ExpectNoToolLeft(f.fault);
    // The tool's output reaches the log, the password never.
    EXPECT_FALSE(log.Contains(olbrel::kDemoPassword)) << log.All();

    for (const auto& op : operations) {
      if (f.fault == kHangs && op.op != &CForeignHandlerDPA::DiscoverJobs) continue;
      SCOPED_TRACE(op.name);
      InstallTool(f.fault, bin);
      log.Clear();
      CForeignHandlerDPA fresh;
      EXPECT_FALSE(olbrel::Run(fresh, op.op));
      EXPECT_TRUE(log.Contains(op.logLine)) << log.All();
      EXPECT_EQ(std::vector<std::string>{}, olbtest::ListDir(OutDir()));
      EXPECT_EQ(std::vector<std::string>{}, olbrel::Files(WorkDir(), ".sql"));
      ExpectNoToolLeft(f.fault);
    }
  }
}

}  // namespace
