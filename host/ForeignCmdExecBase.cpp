#include "host/ForeignCmdExecBase.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <functional>
#include <utility>

#include "host/EvDebug.h"
#include "host/HostEnv.h"

extern char** environ;

namespace {

const char kFetchContext[] = "CForeignCmdExecBase::FetchData";
const char kScratchContext[] = "CForeignCmdExecBase::GetFileNameForOutput";

// At most this many lines of a tool's standard error reach the log, each cut
// to kMaxStderrLine characters; the rest is counted.
const size_t kMaxStderrLines = 200;
const size_t kMaxStderrLine = 2000;
// A failure reason quotes at most this many of the tool's lines, each cut
// to kReasonLineLength characters.
const size_t kReasonLines = 3;
const size_t kReasonLineLength = 240;

// Splits a command line the way the host does, without a shell: blanks
// (space, tab) separate arguments, double quotes group blanks into an
// argument and are removed, also in the middle of a word (@"a b" is @a b).
// False when a quote is not closed.
bool SplitCommandLine(const std::string& line, std::vector<std::string>* args) {
  args->clear();
  std::string current;
  bool inWord = false;
  bool quoted = false;
  for (char c : line) {
    if (quoted) {
      if (c == '"') {
        quoted = false;
      } else {
        current += c;
      }
    } else if (c == '"') {
      quoted = true;
      inWord = true;
    } else if (c == ' ' || c == '\t') {
      if (inWord) args->push_back(current);
      current.clear();
      inWord = false;
    } else {
      current += c;
      inWord = true;
    }
  }
  if (quoted) return false;
  if (inWord) args->push_back(current);
  return true;
}

bool IsExecutableFile(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

// The program's path: as given when it names a directory, else the first
// match on PATH (an empty PATH entry is the current directory).
bool FindProgram(const std::string& name, std::string* path) {
  if (name.find('/') != std::string::npos) {
    *path = name;
    return IsExecutableFile(name);
  }
  const char* env = std::getenv("PATH");
  std::string dirs = env != nullptr ? env : "/usr/local/bin:/usr/bin:/bin";
  size_t pos = 0;
  while (true) {
    size_t end = dirs.find(':', pos);
    std::string dir = dirs.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
    std::string candidate = (dir.empty() ? "." : dir) + "/" + name;
    if (IsExecutableFile(candidate)) {
      *path = candidate;
      return true;
    }
    if (end == std::string::npos) return false;
    pos = end + 1;
  }
}

// Creates `dir` and any missing parents with mode 0700; true when it is a
// directory afterwards.
bool MakeDirectories(const std::string& dir) {
  struct stat st;
  if (stat(dir.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  size_t slash = dir.find_last_of('/');
  if (slash != std::string::npos && slash > 0) {
    if (!MakeDirectories(dir.substr(0, slash))) return false;
  }
  if (mkdir(dir.c_str(), 0700) == 0) return true;
  return errno == EEXIST && stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string BaseName(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

long long MonotonicMillis() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// Passes a tool's standard error into the log line by line.
class StderrLogger {
 public:
  StderrLogger(EvDebug& log, std::string program) : m_log(log), m_program(std::move(program)) {}

  void Feed(const char* data, size_t size) {
    for (size_t i = 0; i < size; ++i) {
      if (data[i] == '\n') {
        Emit();
      } else if (m_line.size() < kMaxStderrLine) {
        m_line += data[i];
      }
    }
  }

  // The first few lines, for a failure reason.
  const std::vector<std::string>& first() const { return m_first; }

  void Finish() {
    if (!m_line.empty()) Emit();
    if (m_dropped > 0) {
      m_log.Debug(kFetchContext, "[%s] wrote [%zu] more lines to standard error", m_program.c_str(),
                  m_dropped);
    }
  }

 private:
  void Emit() {
    if (!m_line.empty() && m_line.back() == '\r') m_line.pop_back();
    if (m_first.size() < kReasonLines && m_line.find_first_not_of(" \t") != std::string::npos) {
      m_first.push_back(m_line);
    }
    if (m_lines < kMaxStderrLines) {
      m_log.Debug(kFetchContext, "[%s] stderr: %s", m_program.c_str(), m_line.c_str());
      ++m_lines;
    } else {
      ++m_dropped;
    }
    m_line.clear();
  }

  EvDebug& m_log;
  std::string m_program;
  std::string m_line;
  std::vector<std::string> m_first;
  size_t m_lines = 0;
  size_t m_dropped = 0;
};

// Reads what is there on the non-blocking `fd`; false at its end.
bool DrainPipe(int fd, StderrLogger& logger) {
  char buf[4096];
  while (true) {
    ssize_t n = read(fd, buf, sizeof buf);
    if (n > 0) {
      logger.Feed(buf, static_cast<size_t>(n));
      continue;
    }
    if (n == 0) return false;
    if (errno == EINTR) continue;
    return errno == EAGAIN || errno == EWOULDBLOCK;
  }
}

// Starts `path` with `args` in a process group of its own, standard input
// from /dev/null, standard output into `outFd`, standard error into
// `errFd`, and no other descriptor. Signals the host ignores or blocks are
// reset for the tool.
int Spawn(const std::string& path, const std::vector<std::string>& args, int outFd, int errFd,
          pid_t* pid) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attr;
  int rc = posix_spawn_file_actions_init(&actions);
  if (rc != 0) return rc;
  rc = posix_spawnattr_init(&attr);
  if (rc != 0) {
    posix_spawn_file_actions_destroy(&actions);
    return rc;
  }
  sigset_t none;
  sigemptyset(&none);
  sigset_t defaults;
  sigemptyset(&defaults);
  for (int sig :
       {SIGPIPE, SIGXFSZ, SIGINT, SIGQUIT, SIGTERM, SIGHUP, SIGCHLD, SIGALRM, SIGUSR1, SIGUSR2}) {
    sigaddset(&defaults, sig);
  }
  if (rc == 0) rc = posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  if (rc == 0) rc = posix_spawn_file_actions_adddup2(&actions, outFd, 1);
  if (rc == 0) rc = posix_spawn_file_actions_adddup2(&actions, errFd, 2);
#if defined(__GLIBC__) && __GLIBC_PREREQ(2, 34)
  // Descriptors that others in the host process left inheritable stay behind.
  if (rc == 0) rc = posix_spawn_file_actions_addclosefrom_np(&actions, 3);
#endif
  if (rc == 0) {
    rc = posix_spawnattr_setflags(
        &attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  }
  if (rc == 0) rc = posix_spawnattr_setpgroup(&attr, 0);
  if (rc == 0) rc = posix_spawnattr_setsigmask(&attr, &none);
  if (rc == 0) rc = posix_spawnattr_setsigdefault(&attr, &defaults);
  if (rc == 0) rc = posix_spawn(pid, path.c_str(), &actions, &attr, argv.data(), environ);
  posix_spawnattr_destroy(&attr);
  posix_spawn_file_actions_destroy(&actions);
  return rc;
}

// Waits for `pid` while logging its standard error from `errFd`; kills its
// process group once `timeoutSeconds` (when positive) have passed. Returns
// true with *status when the tool ended by itself.
bool WaitForTool(pid_t pid, int errFd, int timeoutSeconds, StderrLogger& logger, int* status,
                 bool* timedOut, const std::function<void()>& progress) {
  *timedOut = false;
  long long deadline =
      timeoutSeconds > 0 ? MonotonicMillis() + static_cast<long long>(timeoutSeconds) * 1000 : -1;
  bool pipeOpen = true;
  while (true) {
    pid_t r = waitpid(pid, status, WNOHANG);
    if (r == pid) break;
    if (progress) progress();
    if (r < 0 && errno != EINTR) return false;  // nothing left to reap (ECHILD)
    int waitMs = 50;
    if (deadline >= 0) {
      long long left = deadline - MonotonicMillis();
      if (left <= 0) {
        *timedOut = true;
        kill(-pid, SIGKILL);
        kill(pid, SIGKILL);
        while (waitpid(pid, status, 0) < 0 && errno == EINTR) {
        }
        if (pipeOpen) DrainPipe(errFd, logger);
        return false;
      }
      if (left < waitMs) waitMs = static_cast<int>(left);
    }
    if (pipeOpen) {
      pollfd p{errFd, POLLIN, 0};
      if (poll(&p, 1, waitMs) > 0) pipeOpen = DrainPipe(errFd, logger);
    } else {
      timespec pause{0, waitMs * 1000000L};
      nanosleep(&pause, nullptr);
    }
  }
  if (pipeOpen) DrainPipe(errFd, logger);  // what is left; a lingering child keeps the rest
  return true;
}

// SQL*Plus's own message lines: "ORA-" and five digits, or "SP2-" and four,
// then a colon ("ORA-01017: invalid username/password; logon denied").
bool IsToolMessage(const std::string& line) {
  size_t digits = line.compare(0, 4, "ORA-") == 0 ? 5 : line.compare(0, 4, "SP2-") == 0 ? 4 : 0;
  if (digits == 0 || line.size() < 4 + digits + 1 || line[4 + digits] != ':') return false;
  for (size_t i = 4; i < 4 + digits; ++i) {
    if (line[i] < '0' || line[i] > '9') return false;
  }
  return true;
}

// The tool's message lines in its output file, then its first lines of
// standard error, at most kReasonLines.
std::vector<std::string> ToolLines(const std::string& outputPath,
                                   const std::vector<std::string>& stderrLines) {
  std::vector<std::string> lines;
  std::ifstream in(outputPath, std::ios::binary);
  for (std::string line; lines.size() < kReasonLines && std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (IsToolMessage(line)) lines.push_back(line);
  }
  for (const std::string& line : stderrLines) {
    if (lines.size() < kReasonLines) lines.push_back(line);
  }
  for (std::string& line : lines) {
    if (line.size() > kReasonLineLength) line = line.substr(0, kReasonLineLength) + "...";
  }
  return lines;
}

// Logs why a run failed and keeps it as the host's last failure: `what`
// happened, then the tool's own lines joined by " | ".
bool Fail(EvDebug& log, const std::string& what, const std::vector<std::string>& toolLines = {}) {
  std::string reason = what;
  for (size_t i = 0; i < toolLines.size(); ++i) reason += (i == 0 ? ": " : " | ") + toolLines[i];
  HostEnv& env = HostEnv::Get();
  env.lastFailure = env.Masked(reason);
  log.Debug(kFetchContext, "%s", reason.c_str());
  return false;
}

// Non-blank lines in the file at `path`: the rows the parser gets.
long long CountRows(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  long long rows = 0;
  bool blank = true;
  char buf[1 << 16];
  for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR);) {
    for (const char *p = buf, *end = buf + (n > 0 ? n : 0); p < end;) {
      const char* nl = static_cast<const char*>(memchr(p, '\n', static_cast<size_t>(end - p)));
      const char* stop = nl != nullptr ? nl : end;
      for (; blank && p < stop; ++p) blank = *p == ' ' || *p == '\t' || *p == '\r';
      if (nl == nullptr) break;
      if (!blank) ++rows;
      blank = true;
      p = nl + 1;
    }
  }
  if (!blank) ++rows;
  close(fd);
  return rows;
}

}  // namespace

CForeignCmdExecBase::CForeignCmdExecBase(CommunicationMethod method) : m_method(method) {}

CForeignCmdExecBase::~CForeignCmdExecBase() = default;

bool CForeignCmdExecBase::_ParseData(void*, const std::vector<std::string>&) { return false; }

bool CForeignCmdExecBase::FetchData(void* out) {
  EvDebug log;
  if (m_method != 1) {
    return Fail(log, "communication method " + std::to_string(m_method) + " is not supported");
  }
  HostEnv& env = HostEnv::Get();
  env.lastFailure.clear();
  std::string commandLine = _GetCommandLine();
  if (commandLine.empty()) {
    // Making it may have failed (the script file could not be written).
    std::string why = env.lastFailure;
    return Fail(log, "no command line to run" + (why.empty() ? "" : ": " + why));
  }
  // The command line holds the datastore password: only the program's name
  // and the number of arguments ever reach the log.
  std::vector<std::string> args;
  if (!SplitCommandLine(commandLine, &args)) {
    return Fail(log, "the command line has an unterminated quote");
  }
  if (args.empty()) return Fail(log, "the command line holds only blanks");
  std::string program = BaseName(args[0]);
  std::string programPath;
  if (!FindProgram(args[0], &programPath)) {
    return Fail(
        log, program + " not found" + (args[0].find('/') == std::string::npos ? " on PATH" : ""));
  }

  std::string workDir = env.workDir.empty() ? "." : env.workDir;
  if (!MakeDirectories(workDir)) {
    return Fail(log, "cannot create the work directory " + workDir + ": " + strerror(errno));
  }
  const char* fileName = _GetFileNameForData();
  if (fileName == nullptr || *fileName == '\0') return Fail(log, "no output file name");
  std::string outputPath = workDir + "/" + fileName;
  // A fresh file: whatever lay there (a file of another mode, a link) goes.
  if (unlink(outputPath.c_str()) != 0 && errno != ENOENT) {
    return Fail(log, "cannot remove the old output file " + outputPath + ": " + strerror(errno));
  }
  int outFd = open(outputPath.c_str(),
                   O_WRONLY | O_CREAT | O_EXCL | O_TRUNC | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0600);
  if (outFd < 0) {
    return Fail(log, "cannot create the output file " + outputPath + ": " + strerror(errno));
  }
  int errPipe[2];
  if (pipe2(errPipe, O_CLOEXEC) != 0) {
    int saved = errno;
    close(outFd);
    return Fail(log, std::string("cannot create a pipe: ") + strerror(saved));
  }

  log.DebugLvl(kFetchContext, 1, "Running [%s] with [%zu] arguments", program.c_str(),
               args.size() - 1);
  pid_t pid = -1;
  int rc = Spawn(programPath, args, outFd, errPipe[1], &pid);
  close(outFd);
  close(errPipe[1]);
  if (rc != 0) {
    close(errPipe[0]);
    return Fail(log, "cannot start " + program + ": " + strerror(rc));
  }
  fcntl(errPipe[0], F_SETFL, fcntl(errPipe[0], F_GETFL) | O_NONBLOCK);

  StderrLogger logger(log, program);
  int status = 0;
  bool timedOut = false;
  bool ended = WaitForTool(pid, errPipe[0], env.toolTimeoutSeconds, logger, &status, &timedOut,
                           env.progress);
  int waitErrno = errno;
  close(errPipe[0]);
  logger.Finish();
  std::string what;
  if (timedOut) {
    what = program + " ran longer than " + std::to_string(env.toolTimeoutSeconds) +
           " s and was killed";
  } else if (!ended) {
    what = "lost track of " + program + ": " + strerror(waitErrno);
  } else if (WIFSIGNALED(status)) {
    what = program + " was ended by signal " + std::to_string(WTERMSIG(status)) + " (" +
           strsignal(WTERMSIG(status)) + ")";
  } else if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    what = program + " exited with status " +
           std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1);
  }
  if (!what.empty()) return Fail(log, what, ToolLines(outputPath, logger.first()));
  env.toolRowsRead += CountRows(outputPath);
  if (!_ParseData(out, outputPath))
    return Fail(log, "parsing the output of " + program + " failed");
  return true;
}

std::string CForeignCmdExecBase::GetFileNameForOutput(int) {
  // One private directory per process and work directory, made by mkdtemp
  // (0700, a fresh name); made anew when the work directory changes, the
  // process is a fork's child, or the directory is no longer ours alone.
  // Nothing is ever written into a directory this process did not make.
  static unsigned long counter = 0;
  HostEnv& env = HostEnv::Get();
  std::string workDir = env.workDir.empty() ? "." : env.workDir;
  std::string prefix = workDir + "/olb-scratch-";
  long self = static_cast<long>(getpid());
  struct stat st;
  bool usable = !env.scratchDir.empty() && env.scratchOwner == self &&
                env.scratchDir.compare(0, prefix.size(), prefix) == 0 &&
                lstat(env.scratchDir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
                st.st_uid == geteuid() && (st.st_mode & 0777) == 0700;
  if (!usable) {
    std::string pattern = prefix + "XXXXXX";
    if (!MakeDirectories(workDir) || mkdtemp(&pattern[0]) == nullptr) {
      EvDebug log;
      log.Debug(kScratchContext, "Cannot create a scratch directory in [%s]: %s", workDir.c_str(),
                strerror(errno));
      return std::string();
    }
    if (env.scratchOwner == self && !env.scratchDir.empty()) rmdir(env.scratchDir.c_str());
    env.scratchDir = pattern;
    env.scratchOwner = self;
  }
  return env.scratchDir + "/script-" + std::to_string(++counter) + ".sql";
}

void CForeignCmdExecBase::SplitLine(const std::string& line, std::vector<std::string>& fields,
                                    char separator, char escape, char, char) {
  // The strings already in `fields` are reused so that their buffers are
  // kept from line to line; the vector is cut to the fields found.
  size_t used = 0;
  auto next = [&fields, &used]() -> std::string& {
    if (used < fields.size()) {
      fields[used].clear();
    } else {
      fields.emplace_back();
    }
    return fields[used++];
  };
  if (line.empty()) {
    fields.clear();
    return;
  }
  const bool escapes = escape != separator;
  const char* p = line.data();
  const char* end = p + line.size();
  std::string* field = &next();
  while (p < end) {
    const char* q = p;
    while (q < end && *q != separator && !(escapes && *q == escape)) ++q;
    field->append(p, static_cast<size_t>(q - p));
    if (q == end) break;
    if (*q == separator) {
      field = &next();
      p = q + 1;
    } else if (q + 1 < end) {
      field->push_back(q[1]);
      p = q + 2;
    } else {
      field->push_back(*q);  // an escape as the last character stays
      p = q + 1;
    }
  }
  fields.resize(used);
}
