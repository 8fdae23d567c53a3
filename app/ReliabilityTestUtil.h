// Helpers of the reliability and security tests: the demo registry, running
// the five discovery operations, walking and validating the files a run
// left, fake SQL tools, watching processes, running a step in a forked child
// (resource limits, another user) and the resident size of this process.
#ifndef OLB_APP_RELIABILITY_TEST_UTIL_H_
#define OLB_APP_RELIABILITY_TEST_UTIL_H_

#include <dirent.h>
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

struct OperationResult {
  const char* name;
  bool ok;
};

// DiscoverConfig, then the four discovery operations in the host's order.
inline std::vector<OperationResult> RunAllOperations(CForeignHandlerDPA& handler) {
  CWzMessageBase config(30, 0);
  CWzMessageBase msg(32, 0);
  std::vector<OperationResult> results;
  results.push_back({"config", handler.DiscoverConfig(&config)});
  results.push_back({"clients", handler.DiscoverClients(&msg)});
  results.push_back({"jobs", handler.DiscoverJobs(&msg)});
  results.push_back({"media", handler.DiscoverMedia(&msg)});
  results.push_back({"policies", handler.DiscoverStoragePolicies(&msg)});
  return results;
}

inline std::string Describe(const std::vector<OperationResult>& results) {
  std::string text;
  for (const OperationResult& r : results) {
    text += std::string(r.name) + (r.ok ? "=ok " : "=FAILED ");
  }
  return text;
}

// Every regular file under `dir`, recursively, as full paths.
inline void FindFiles(const std::string& dir, std::vector<std::string>* files) {
  for (const std::string& name : olbtest::ListDir(dir)) {
    std::string path = dir + "/" + name;
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) continue;
    if (S_ISDIR(st.st_mode)) {
      FindFiles(path, files);
    } else {
      files->push_back(path);
    }
  }
}

inline bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// Names in `dir` that end with `suffix`.
inline std::vector<std::string> FilesEndingWith(const std::string& dir, const std::string& suffix) {
  std::vector<std::string> found;
  for (const std::string& name : olbtest::ListDir(dir)) {
    if (EndsWith(name, suffix)) found.push_back(name);
  }
  return found;
}

// Validates every *.xml in `dir` against the message schema; the problems
// found, one per line ("" when all are valid).
inline std::string InvalidXmlFiles(const std::string& dir) {
  std::string problems;
  for (const std::string& name : FilesEndingWith(dir, ".xml")) {
    std::string error;
    if (!ValidateMessageXmlFile(dir + "/" + name, "", &error)) {
      problems += name + ": " + error + "\n";
    }
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
  explicit PathPrefix(const std::string& dir) {
    const char* path = std::getenv("PATH");
    m_old = path != nullptr ? path : "";
    setenv("PATH", (dir + ":" + m_old).c_str(), 1);
  }
  ~PathPrefix() { setenv("PATH", m_old.c_str(), 1); }
  PathPrefix(const PathPrefix&) = delete;
  PathPrefix& operator=(const PathPrefix&) = delete;

 private:
  std::string m_old;
};

// The pid a fake tool wrote into `pidFile`, or -1.
inline pid_t ReadPid(const std::string& pidFile) {
  std::string text = olbtest::ReadFile(pidFile);
  if (text.empty()) return -1;
  return static_cast<pid_t>(std::strtol(text.c_str(), nullptr, 10));
}

// 'Z' for a zombie, 0 when there is no such process.
inline char ProcessState(pid_t pid) {
  std::string stat = olbtest::ReadFile("/proc/" + std::to_string(pid) + "/stat");
  size_t paren = stat.rfind(')');
  if (paren == std::string::npos || paren + 2 >= stat.size()) return 0;
  return stat[paren + 2];
}

// True when `pid` no longer runs: gone, or (for a process that is not our
// child, reaped by whoever adopted it) a zombie. Waits up to two seconds for
// an orphan's end to be noticed.
inline bool ProcessGone(pid_t pid, bool allowZombie) {
  for (int i = 0; i < 200; ++i) {
    if (kill(pid, 0) != 0 && errno == ESRCH) return true;
    if (allowZombie && ProcessState(pid) == 'Z') return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

// Runs `step` in a forked child and returns its exit status (128 + signal
// when killed, -1 when it could not be run). The child leaves with _exit, so
// nothing of this process's clean-up runs twice.
inline int RunInChild(const std::function<int()>& step) {
  std::fflush(nullptr);
  pid_t pid = fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    int code = step();
    std::fflush(nullptr);
    _exit(code);
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Resident size of this process in kB (VmRSS), -1 when unknown.
inline long ResidentKb() {
  std::string status = olbtest::ReadFile("/proc/self/status");
  size_t at = status.find("VmRSS:");
  if (at == std::string::npos) return -1;
  return std::strtol(status.c_str() + at + 6, nullptr, 10);
}

// Mode bits (0777) of `path`, -1 when it does not exist.
inline int ModeOf(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return -1;
  return static_cast<int>(st.st_mode & 0777);
}

}  // namespace olbrel

#endif  // OLB_APP_RELIABILITY_TEST_UTIL_H_
