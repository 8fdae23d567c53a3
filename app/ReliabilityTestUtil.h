// Helpers of the app tests: the demo registry, programs run with their
// output merged and an optional file size limit, the files a run left, fake
// SQL tools and watching processes.
#ifndef OLB_APP_RELIABILITY_TEST_UTIL_H_
#define OLB_APP_RELIABILITY_TEST_UTIL_H_

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "host/MessageXml.h"
#include "testsupport/TestSupport.h"

namespace olbrel {

constexpr const char kDemoPassword[] = "dpa-demo-58";  // datastore/schema.sql

inline std::string Registry(const std::string& password = kDemoPassword) {
  return "[kRelayUnit]\nsDPAUSER=dpa\nsDPAPASSWORD=" + password + "\n";
}

inline bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}
struct Run {
  int status = -1;  // exit status, or 128 + signal
  std::string out;
};

// Starts `program` with `args`, PATH and TMPDIR as given, files limited to
// `fsize` bytes (SIGXFSZ ignored, as a full disk), standard output and error
// into one pipe; *fd reads it.
inline pid_t Start(const std::string& program, const std::vector<std::string>& args,
                   const std::string& path, const std::string& tmpdir, int* fd,
                   rlim_t fsize = RLIM_INFINITY) {
  int p[2];
  if (pipe2(p, O_CLOEXEC) != 0) return -1;
  pid_t pid = fork();
  if (pid == 0) {
    dup2(p[1], 1);
    dup2(p[1], 2);
    setenv("PATH", path.c_str(), 1);
    setenv("TMPDIR", tmpdir.c_str(), 1);
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{fsize, fsize};
    setrlimit(RLIMIT_FSIZE, &limit);
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(p[1]);
  *fd = p[0];
  return pid;
}

inline Run Finish(pid_t pid, int fd) {
  Run run;
  char buf[4096];
  for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR);) {
    run.out.append(buf, static_cast<size_t>(n > 0 ? n : 0));
  }
  close(fd);
  int status = 0;
  if (waitpid(pid, &status, 0) == pid) {
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  return run;
}

inline Run Host(const std::vector<std::string>& args, const std::string& tmpdir,
                const std::string& path = "/usr/bin:/bin", rlim_t fsize = RLIM_INFINITY) {
  int fd = -1;
  pid_t pid = Start(olbtest::OlbHostPath(), args, path, tmpdir, &fd, fsize);
  return Finish(pid, fd);
}

// Every file under `dir`, recursively, whose path holds `part` and whose
// content holds `text`.
inline std::vector<std::string> Files(const std::string& dir, const std::string& part,
                                      const std::string& text = "") {
  std::vector<std::string> found;
  for (const std::string& name : olbtest::ListDir(dir)) {
    std::string path = dir + "/" + name;
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) continue;
    if (S_ISDIR(st.st_mode)) {
      for (const std::string& f : Files(path, part, text)) found.push_back(f);
    } else if (Has(path, part) && (text.empty() || Has(olbtest::ReadFile(path), text))) {
      found.push_back(path);
    }
  }
  return found;
}

// The *.xml files under `dir` that do not validate, with why.
inline std::string InvalidXmlFiles(const std::string& dir) {
  std::string problems, error;
  for (const std::string& path : Files(dir, ".xml")) {
    if (!ValidateMessageXmlFile(path, "", &error)) problems += path + ": " + error + "\n";
  }
  return problems;
}

inline void WriteScript(const std::string& path, const std::string& text) {
  ASSERT_TRUE(olbtest::WriteFile(path, "#!/bin/sh\n" + text)) << path;
  ASSERT_EQ(0, chmod(path.c_str(), 0755)) << path;
}

// True when `pid` is gone or a zombie left to whoever adopted it; waits up
// to two seconds.
inline bool ProcessGone(pid_t pid) {
  for (int i = 0; i < 200; ++i) {
    std::string stat = olbtest::ReadFile("/proc/" + std::to_string(pid) + "/stat");
    if (stat.empty() || Has(stat, ") Z ")) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

}  // namespace olbrel

#endif  // OLB_APP_RELIABILITY_TEST_UTIL_H_
