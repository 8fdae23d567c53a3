// Writing the message files when the output directory is unwritable or the
// disk is full: DumpXmlMsgToFile reports false and leaves no partial or
// temporary file, and every discovery operation that dumps fails with its
// own log line. Each fault runs in a forked child: the disk is "full" there
// through a file size limit (RLIMIT_FSIZE, with SIGXFSZ ignored), and the
// directory is unwritable through its mode, for root by running the child as
// nobody.
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <ostream>
#include <string>
#include <vector>

#include "app/ReliabilityTestUtil.h"
#include "host/HostEnv.h"
#include "host/Messages.h"
#include "model/MessageAccess.h"

namespace {

using olbtest::ListDir;

const uid_t kNobody = 65534;

enum class Fault { kUnwritable, kDiskFull };

// Child exit codes: 0 when the step went as expected.
enum ChildCode {
  kChildOk = 0,
  kChildSucceeded = 1 << 0,   // the step reported success
  kChildNoLogLine = 1 << 1,   // the expected log line is missing
  kChildSetupFailed = 1 << 2,
  kChildRetryFailed = 1 << 3,
};

void ChownTree(const std::string& path, uid_t uid, gid_t gid) {
  if (lchown(path.c_str(), uid, gid) != 0) return;
  for (const std::string& name : ListDir(path)) ChownTree(path + "/" + name, uid, gid);
}

class DumpFaultTest : public olbtest::HostFixture {
 protected:
  void SetUp() override {
    olbtest::HostFixture::SetUp();
    SetRegistry(olbrel::DemoRegistry());
    UseDatastore({olbtest::DemoSqlPath()});
  }

  // Makes OutDir() unwritable for the child that `apply` runs in.
  void PrepareUnwritable() {
    ASSERT_EQ(0, chmod(OutDir().c_str(), 0500));
    if (geteuid() == 0) ChownTree(m_dir.path(), kNobody, kNobody);
  }

  // In the child: the fault itself. For root the unwritable directory needs
  // another user; the disk is full at `limit` bytes per file.
  static bool ApplyInChild(Fault fault, rlim_t limit) {
    if (fault == Fault::kUnwritable) {
      if (geteuid() == 0 && (setgid(kNobody) != 0 || setuid(kNobody) != 0)) return false;
      return true;
    }
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit rl;
    if (getrlimit(RLIMIT_FSIZE, &rl) != 0) return false;
    rl.rlim_cur = limit;
    return setrlimit(RLIMIT_FSIZE, &rl) == 0;
  }

  // Everything in OutDir(), hidden names included.
  std::vector<std::string> OutFiles() const { return ListDir(OutDir()); }
};

ZRC::StoragePolicyList BigList(size_t policies) {
  ZRC::StoragePolicyList list;
  SetField(list, ZRC::StoragePolicyList::hubfieldName, "DPA_big");
  for (size_t i = 0; i < policies; ++i) BuildDefaultSP(list);
  return list;
}

TEST_F(DumpFaultTest, DumpIntoUnwritableDirectoryLeavesNothing) {
  PrepareUnwritable();
  int code = olbrel::RunInChild([] {
    if (!ApplyInChild(Fault::kUnwritable, 0)) return int{kChildSetupFailed};
    olbtest::LogCapture log;
    CForeignHandlerDPA handler;
    ZRC::StoragePolicyList list = BigList(1);
    int result = kChildOk;
    if (handler.DumpXmlMsgToFile(&list, 0, false)) result |= kChildSucceeded;
    if (!log.Contains("Cannot write")) result |= kChildNoLogLine;
    return result;
  });
  EXPECT_EQ(kChildOk, code);
  EXPECT_TRUE(OutFiles().empty()) << ::testing::PrintToString(OutFiles());
}

TEST_F(DumpFaultTest, DumpIntoMissingDirectoryOrFileFails) {
  CForeignHandlerDPA handler;
  ZRC::StoragePolicyList list = BigList(1);
  HostEnv::Get().outputDir = OutDir() + "/missing";
  EXPECT_FALSE(handler.DumpXmlMsgToFile(&list, 0, false));
  ASSERT_TRUE(olbtest::WriteFile(OutDir() + "/plain", "x"));
  HostEnv::Get().outputDir = OutDir() + "/plain";
  EXPECT_FALSE(handler.DumpXmlMsgToFile(&list, 0, false));
  EXPECT_EQ(std::vector<std::string>{"plain"}, OutFiles());
  EXPECT_TRUE(handler.dumpedFiles().empty());
}

TEST_F(DumpFaultTest, DumpOnFullDiskLeavesNothingAndTheNextDumpIsComplete) {
  int code = olbrel::RunInChild([this] {
    // About 40 kB of XML against a limit of 8 kB.
    ZRC::StoragePolicyList list = BigList(12);
    if (!ApplyInChild(Fault::kDiskFull, 8192)) return int{kChildSetupFailed};
    CForeignHandlerDPA handler;
    int result = kChildOk;
    if (handler.DumpXmlMsgToFile(&list, 0, false)) result |= kChildSucceeded;
    if (!ListDir(OutDir()).empty()) return result | kChildSetupFailed;
    // Space again: the same message is written whole.
    struct rlimit rl;
    getrlimit(RLIMIT_FSIZE, &rl);
    rl.rlim_cur = rl.rlim_max;
    setrlimit(RLIMIT_FSIZE, &rl);
    if (!handler.DumpXmlMsgToFile(&list, 0, false)) result |= kChildRetryFailed;
    return result;
  });
  EXPECT_EQ(kChildOk, code);
  std::vector<std::string> files = OutFiles();
  ASSERT_EQ(1u, files.size()) << ::testing::PrintToString(files);
  EXPECT_TRUE(olbrel::EndsWith(files[0], "-ZRC.StoragePolicyList.xml")) << files[0];
  EXPECT_EQ("", olbrel::InvalidXmlFiles(OutDir()));
  CWzMessageBase back(0, 0);
  std::string error;
  ASSERT_TRUE(ReadMessageXmlFile(OutDir() + "/" + files[0], back, &error)) << error;
  EXPECT_TRUE(back == BigList(12));
}

// The disk full before any message: the script file, or the tool's output.
// Either way the collection fails, with the reason in the log, and no
// script is left.
TEST_F(DumpFaultTest, FullDiskForScriptOrToolOutputFailsTheCollection) {
  struct Case {
    rlim_t fullAt;
    const char* reason;
  } cases[] = {
      {64, "Could not write the script file"},           // scripts are about 600 bytes
      {4096, "[sqlplus] was ended by signal [25]"},      // SIGXFSZ; the job output is 30 kB
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reason);
    int code = olbrel::RunInChild([&] {
      if (!ApplyInChild(Fault::kDiskFull, c.fullAt)) return int{kChildSetupFailed};
      HostEnv::Get().logFile = "/dev/null";
      olbtest::LogCapture log;
      CForeignHandlerDPA handler;
      CWzMessageBase config(30, 0);
      CWzMessageBase msg(32, 0);
      handler.DiscoverConfig(&config);
      int result = kChildOk;
      if (handler.DiscoverJobs(&msg)) result |= kChildSucceeded;
      if (!log.Contains(c.reason) || !log.Contains("job collection failed")) {
        result |= kChildNoLogLine;
      }
      return result;
    });
    EXPECT_EQ(kChildOk, code);
    EXPECT_TRUE(OutFiles().empty());
    std::vector<std::string> left;
    olbrel::FindFiles(WorkDir(), &left);
    for (const std::string& path : left) EXPECT_FALSE(olbrel::EndsWith(path, ".sql")) << path;
  }
}

// One discovery operation whose dump fails.
struct OperationCase {
  const char* name;
  const char* logLine;   // what the operation (or the job batching) logs
  rlim_t fullAt;         // above the SQL tool's output, below the message
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
bool RunPolicies(CForeignHandlerDPA& h) {
  CWzMessageBase msg(32, 0);
  return h.DiscoverStoragePolicies(&msg);
}

// On the demo datastore: the client list is about 65 kB, the job list 1.4 MB
// (its tool output 30 kB), the library file 80 kB, the policy file 3.5 kB;
// every other tool output stays below 1 kB.
const OperationCase kOperations[] = {
    {"clients", "client hierarchy was created but dump to xml failed", 16384, RunClients},
    {"jobs", "unable to dump jobs xml file", 65536, RunJobs},
    {"media", "Unable to dump libraries xml", 16384, RunMedia},
    {"policies", "Unable to dump storage policy file", 2048, RunPolicies},
};

// Readable parameters in test listings.
void PrintTo(const OperationCase& c, std::ostream* os) { *os << c.name; }
void PrintTo(Fault f, std::ostream* os) {
  *os << (f == Fault::kUnwritable ? "unwritable" : "disk full");
}

class DumpFaultOperationTest
    : public DumpFaultTest,
      public ::testing::WithParamInterface<std::tuple<OperationCase, Fault>> {};

TEST_P(DumpFaultOperationTest, OperationFailsWithItsLogLineAndWritesNothing) {
  const OperationCase op = std::get<0>(GetParam());
  const Fault fault = std::get<1>(GetParam());
  if (fault == Fault::kUnwritable) PrepareUnwritable();
  std::string scratchOut = m_dir.path() + "/prerequisite-out";

  int code = olbrel::RunInChild([&] {
    if (!ApplyInChild(fault, op.fullAt)) return int{kChildSetupFailed};
    HostEnv& env = HostEnv::Get();
    env.logFile = "/dev/null";  // the log is captured; it must not hit the limit
    CForeignHandlerDPA handler;
    CWzMessageBase config(30, 0);
    handler.DiscoverConfig(&config);
    if (std::string(op.name) == "jobs") {
      // Jobs are written only for known clients: learn them elsewhere first.
      mkdir(scratchOut.c_str(), 0700);
      env.outputDir = scratchOut;
      struct rlimit saved;
      getrlimit(RLIMIT_FSIZE, &saved);
      struct rlimit open = saved;
      open.rlim_cur = open.rlim_max;
      setrlimit(RLIMIT_FSIZE, &open);
      bool known = RunClients(handler);
      setrlimit(RLIMIT_FSIZE, &saved);
      env.outputDir = OutDir();
      if (!known) return int{kChildSetupFailed};
    }
    olbtest::LogCapture log;
    int result = kChildOk;
    if (op.run(handler)) result |= kChildSucceeded;
    if (!log.Contains(op.logLine)) result |= kChildNoLogLine;
    return result;
  });
  EXPECT_EQ(kChildOk, code) << op.name << ": 1 = reported success, 2 = no log line \""
                            << op.logLine << "\", 4 = setup failed";
  EXPECT_TRUE(OutFiles().empty()) << ::testing::PrintToString(OutFiles());
  // The collectors are gone with the operation, and their scripts with them.
  std::vector<std::string> left;
  olbrel::FindFiles(WorkDir(), &left);
  for (const std::string& path : left) EXPECT_FALSE(olbrel::EndsWith(path, ".sql")) << path;
}

std::string CaseName(const ::testing::TestParamInfo<std::tuple<OperationCase, Fault>>& info) {
  return std::string(std::get<0>(info.param).name) +
         (std::get<1>(info.param) == Fault::kUnwritable ? "_Unwritable" : "_DiskFull");
}

INSTANTIATE_TEST_SUITE_P(AllDumpingOperations, DumpFaultOperationTest,
                         ::testing::Combine(::testing::ValuesIn(kOperations),
                                            ::testing::Values(Fault::kUnwritable,
                                                              Fault::kDiskFull)),
                         CaseName);

}  // namespace
