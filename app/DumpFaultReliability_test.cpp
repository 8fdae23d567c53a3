// Writing message files into an unwritable output directory or onto a full
// disk: DumpXmlMsgToFile reports false, no partial or temporary file is left,
// and every discovery operation that dumps fails with its own log line and
// leaves no script. Each fault runs in a forked child: the disk is "full"
// through a file size limit (RLIMIT_FSIZE, SIGXFSZ ignored); the directory
// is unwritable through its mode, for root by running the child as nobody.
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <string>

#include "app/ReliabilityTestUtil.h"
#include "host/HostEnv.h"
#include "host/Messages.h"
#include "model/MessageAccess.h"

namespace {

const uid_t kNobody = 65534;
enum Fault { kUnwritable, kDiskFull };
// Child exit codes: 0 when the step went as expected.
enum { kChildSucceeded = 1, kChildNoLogLine = 2, kChildSetupFailed = 4 };

void ChownTree(const std::string& path, uid_t id) {
  if (lchown(path.c_str(), id, id) != 0) return;
  for (const std::string& name : olbtest::ListDir(path)) ChownTree(path + "/" + name, id);
}

using H = CForeignHandlerDPA;

// The direct dump (no operation): a message of about 40 kB.
bool Dump(H& h) {
  ZRC::StoragePolicyList list;
  SetField(list, ZRC::StoragePolicyList::hubfieldName, "DPA_big");
  for (int i = 0; i < 12; ++i) BuildDefaultSP(list);
  return h.DumpXmlMsgToFile(&list, 0, false);
}

class DumpFaultTest : public olbtest::HostFixture {};

TEST_F(DumpFaultTest, EveryDumpingStepFailsWithItsLogLineAndLeavesNothing) {
  SetRegistry(olbrel::DemoRegistry());
  UseDatastore({olbtest::DemoSqlPath()});
  // On the demo datastore the client list is about 65 kB, the job list
  // 1.4 MB (its tool output 30 kB), the library file 80 kB, the policy file
  // 3.5 kB; scripts are about 600 bytes, other tool outputs below 1 kB. The
  // limits lie above the tool outputs and below the message, except in the
  // last two rows (the script, the tool's output).
  struct Case {
    const char* name;
    olbrel::Operation op;  // nullptr: the direct dump
    rlim_t fullAt;
    const char* logLine;
    const char* reason;  // a second line that must be logged, or ""
  } cases[] = {
      {"dump", nullptr, 8192, "Cannot write", ""},
      {"clients", &H::DiscoverClients, 16384,
       "client hierarchy was created but dump to xml failed", ""},
      {"jobs", &H::DiscoverJobs, 65536, "unable to dump jobs xml file", ""},
      {"media", &H::DiscoverMedia, 16384, "Unable to dump libraries xml", ""},
      {"policies", &H::DiscoverStoragePolicies, 2048, "Unable to dump storage policy file", ""},
      {"jobs", &H::DiscoverJobs, 64, "job collection failed", "Could not write the script file"},
      {"jobs", &H::DiscoverJobs, 4096, "job collection failed",
       "[sqlplus] was ended by signal [25]"},  // SIGXFSZ
  };
  const std::string known = m_dir.path() + "/known-clients";
  for (Fault fault : {kUnwritable, kDiskFull}) {
    for (const Case& c : cases) {
      if (fault == kUnwritable && *c.reason) continue;  // they fill the disk before any dump
      SCOPED_TRACE(std::string(c.name) + (fault == kUnwritable ? " unwritable" : " disk full at ") +
                   std::to_string(c.fullAt));
      ASSERT_EQ(0, chmod(OutDir().c_str(), fault == kUnwritable ? 0500 : 0700));
      if (geteuid() == 0) ChownTree(m_dir.path(), fault == kUnwritable ? kNobody : 0);
      int code = olbrel::RunInChild([&] {
        HostEnv& env = HostEnv::Get();
        env.logFile = "/dev/null";  // the log is captured; it must not hit the limit
        if (fault == kUnwritable && geteuid() == 0 &&
            (setgid(kNobody) != 0 || setuid(kNobody) != 0)) {
          return int{kChildSetupFailed};
        }
        H handler;
        olbrel::Run(handler, &H::DiscoverConfig);
        if (c.op == &H::DiscoverJobs) {
          // Jobs are written only for known clients: learn them elsewhere first.
          mkdir(known.c_str(), 0700);
          env.outputDir = known;
          if (!olbrel::Run(handler, &H::DiscoverClients)) return int{kChildSetupFailed};
          env.outputDir = OutDir();
        }
        if (fault == kDiskFull) {
          signal(SIGXFSZ, SIG_IGN);
          struct rlimit rl;
          getrlimit(RLIMIT_FSIZE, &rl);
          rl.rlim_cur = c.fullAt;
          setrlimit(RLIMIT_FSIZE, &rl);
        }
        olbtest::LogCapture log;
        bool ok = c.op ? olbrel::Run(handler, c.op) : Dump(handler);
        bool logged = log.Contains(c.logLine) && (!*c.reason || log.Contains(c.reason));
        return (ok ? kChildSucceeded : 0) | (logged ? 0 : kChildNoLogLine);
      });
      EXPECT_EQ(0, code) << "1 = reported success, 2 = no log line, 4 = setup failed";
      EXPECT_EQ(std::vector<std::string>{}, olbtest::ListDir(OutDir()));
      EXPECT_EQ(std::vector<std::string>{}, olbrel::Files(WorkDir(), ".sql"));
    }
  }
}

}  // namespace
