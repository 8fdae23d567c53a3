// Helpers of the reliability and security tests: the demo registry, running
// the five discovery operations, walking and validating the files a run
// left, fake SQL tools, watching processes and running a step in a forked
// child.
#ifndef OLB_APP_RELIABILITY_TEST_UTIL_H_
#define OLB_APP_RELIABILITY_TEST_UTIL_H_

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "handler/CForeignHandlerDPA.h"
#include "host/MessageXml.h"
#include "testsupport/TestSupport.h"

namespace olbrel {

// The demo datastore's login (datastore/schema.sql).
constexpr const char kDemoPassword[] = "dpa-demo-58";

inline std::string DemoRegistry(const std::string& password = kDemoPassword) {
  return "[kRelayUnit]\nsDPAUSER=dpa\nsDPAPASSWORD=" + password +
         "\nsDPADBNAME=apollo\nsDPAINSTALLDIR=/opt/emc/dpa/bin\nsDPAEXENAME=psql\n"
         "[~kRelayUnit]\nnDPADBTYPE=1\nnDPADBPORT=9003\n";
}

using Operation = bool (CForeignHandlerDPA::*)(CWzMessageBase*);
inline bool Run(CForeignHandlerDPA& h, Operation op) {
  CWzMessageBase msg(32, 0);
  return (h.*op)(&msg);
}

// DiscoverConfig, then the four discovery operations in the host's order;
// the names of those that failed ("" when all succeeded).
inline std::string RunAllOperations(CForeignHandlerDPA& h) {
  using H = CForeignHandlerDPA;
  std::string failed;
  for (auto op : {std::make_pair("config ", &H::DiscoverConfig),
                  {"clients ", &H::DiscoverClients}, {"jobs ", &H::DiscoverJobs},
                  {"media ", &H::DiscoverMedia}, {"policies ", &H::DiscoverStoragePolicies}}) {
    if (!Run(h, op.second)) failed += op.first;
  }
  return failed;
}

inline bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// Every file under `dir`, recursively, whose path ends with `suffix` and
// whose content holds `text`, as full paths.
inline std::vector<std::string> Files(const std::string& dir, const std::string& suffix,
                                           const std::string& text = "") {
  std::vector<std::string> found;
  for (const std::string& name : olbtest::ListDir(dir)) {
    std::string path = dir + "/" + name;
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) continue;
    if (S_ISDIR(st.st_mode)) {
      for (const std::string& f : Files(path, suffix, text)) found.push_back(f);
    } else if (EndsWith(path, suffix) &&
               (text.empty() || olbtest::ReadFile(path).find(text) != std::string::npos)) {
      found.push_back(path);
    }
  }
  return found;
}

// Validates every *.xml under `dir` against the message schema; the
// problems found, one per line ("" when all are valid).
inline std::string InvalidXmlFiles(const std::string& dir) {
  std::string problems, error;
  for (const std::string& path : Files(dir, ".xml")) {
    if (!ValidateMessageXmlFile(path, "", &error)) problems += path + ": " + error + "\n";
  }
  return problems;
}

// Writes an executable script.
inline void WriteScript(const std::string& path, const std::string& text) {
  ASSERT_TRUE(olbtest::WriteFile(path, text)) << path;
  ASSERT_EQ(0, chmod(path.c_str(), 0755)) << path;
}

// Puts `dir` first on PATH until destroyed.
class PathPrefix {
 public:
  explicit PathPrefix(const std::string& dir) : m_old(std::getenv("PATH")) {
    setenv("PATH", (dir + ":" + m_old).c_str(), 1);
  }
  ~PathPrefix() { setenv("PATH", m_old.c_str(), 1); }
  const std::string m_old;
};

// True when `pid` no longer runs: gone, or (for a process that is not our
// child, reaped by whoever adopted it) a zombie. Waits up to two seconds.
inline bool ProcessGone(pid_t pid, bool allowZombie) {
  for (int i = 0; i < 200; ++i) {
    if (kill(pid, 0) != 0 && errno == ESRCH) return true;
    std::string stat = olbtest::ReadFile("/proc/" + std::to_string(pid) + "/stat");
    if (allowZombie && stat.find(") Z ") != std::string::npos) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

// Runs `step` in a forked child, which leaves with _exit so that nothing of
// this process's clean-up runs twice; its exit status, or -1.
inline int RunInChild(const std::function<int()>& step) {
  std::fflush(nullptr);
  pid_t pid = fork();
  if (pid == 0) _exit(step());
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Mode bits (0777) of `path`, -1 when it does not exist.
inline int ModeOf(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) != 0 ? -1 : static_cast<int>(st.st_mode & 0777);
}

}  // namespace olbrel

#endif  // OLB_APP_RELIABILITY_TEST_UTIL_H_
