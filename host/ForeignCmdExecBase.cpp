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

  void Finish() {
    if (!m_line.empty()) Emit();
    if (m_dropped > 0) {
      m_log.Debug(kFetchContext, "[%s] wrote [%zu] more lines to standard error",
                  m_program.c_str(), m_dropped);
    }
  }

 private:
  void Emit() {
    if (!m_line.empty() && m_line.back() == '\r') m_line.pop_back();
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
  for (int sig : {SIGPIPE, SIGXFSZ, SIGINT, SIGQUIT, SIGTERM, SIGHUP, SIGCHLD, SIGALRM,
                  SIGUSR1, SIGUSR2}) {
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
    rc = posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK |
                                             POSIX_SPAWN_SETSIGDEF);
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
                 bool* timedOut) {
  *timedOut = false;
  long long deadline =
      timeoutSeconds > 0 ? MonotonicMillis() + static_cast<long long>(timeoutSeconds) * 1000 : -1;
  bool pipeOpen = true;
  while (true) {
    pid_t r = waitpid(pid, status, WNOHANG);
    if (r == pid) break;
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

}  // namespace

CForeignCmdExecBase::CForeignCmdExecBase(CommunicationMethod method) : m_method(method) {}

CForeignCmdExecBase::~CForeignCmdExecBase() = default;

bool CForeignCmdExecBase::_ParseData(void*, const std::vector<std::string>&) { return false; }

bool CForeignCmdExecBase::FetchData(void* out) {
  EvDebug log;
  if (m_method != 1) {
    log.Debug(kFetchContext, "Communication method [%d] is not supported", m_method);
    return false;
  }
  std::string commandLine = _GetCommandLine();
  if (commandLine.empty()) {
    log.Debug(kFetchContext, "No command line to run");
    return false;
  }
  // The command line holds the datastore password: only the program's name
  // and the number of arguments ever reach the log.
  std::vector<std::string> args;
  if (!SplitCommandLine(commandLine, &args)) {
    log.Debug(kFetchContext, "Command line has an unterminated quote");
    return false;
  }
  if (args.empty()) {
    log.Debug(kFetchContext, "Command line holds only blanks");
    return false;
  }
  std::string program = BaseName(args[0]);
  std::string programPath;
  if (!FindProgram(args[0], &programPath)) {
    log.Debug(kFetchContext, "Program [%s] not found", program.c_str());
    return false;
  }

  HostEnv& env = HostEnv::Get();
  std::string workDir = env.workDir.empty() ? "." : env.workDir;
  if (!MakeDirectories(workDir)) {
    log.Debug(kFetchContext, "Cannot create work directory [%s]: %s", workDir.c_str(),
              strerror(errno));
    return false;
  }
  const char* fileName = _GetFileNameForData();
  if (fileName == nullptr || *fileName == '\0') {
    log.Debug(kFetchContext, "No output file name");
    return false;
  }
  std::string outputPath = workDir + "/" + fileName;
  m_outputPath = outputPath;
  // A fresh file: whatever lay there (a file of another mode, a link) goes.
  if (unlink(outputPath.c_str()) != 0 && errno != ENOENT) {
    log.Debug(kFetchContext, "Cannot remove old output file [%s]: %s", outputPath.c_str(),
              strerror(errno));
    return false;
  }
  int outFd = open(outputPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_TRUNC | O_NOFOLLOW |
                                           O_CLOEXEC | O_NOCTTY,
                   0600);
  if (outFd < 0) {
    log.Debug(kFetchContext, "Cannot create output file [%s]: %s", outputPath.c_str(),
              strerror(errno));
    return false;
  }
  int errPipe[2];
  if (pipe2(errPipe, O_CLOEXEC) != 0) {
    log.Debug(kFetchContext, "Cannot create a pipe: %s", strerror(errno));
    close(outFd);
    return false;
  }

  log.DebugLvl(kFetchContext, 1, "Running [%s] with [%zu] arguments", program.c_str(),
               args.size() - 1);
  pid_t pid = -1;
  int rc = Spawn(programPath, args, outFd, errPipe[1], &pid);
  close(outFd);
  close(errPipe[1]);
  if (rc != 0) {
    close(errPipe[0]);
    log.Debug(kFetchContext, "Cannot start [%s]: %s", program.c_str(), strerror(rc));
    return false;
  }
  fcntl(errPipe[0], F_SETFL, fcntl(errPipe[0], F_GETFL) | O_NONBLOCK);

  StderrLogger logger(log, program);
  int status = 0;
  bool timedOut = false;
  bool ended = WaitForTool(pid, errPipe[0], env.toolTimeoutSeconds, logger, &status, &timedOut);
  close(errPipe[0]);
  logger.Finish();
  if (timedOut) {
    log.Debug(kFetchContext, "[%s] ran longer than [%d] seconds and was killed",
              program.c_str(), env.toolTimeoutSeconds);
    return false;
  }
  if (!ended) {
    log.Debug(kFetchContext, "Lost track of [%s]: %s", program.c_str(), strerror(errno));
    return false;
  }
  if (WIFSIGNALED(status)) {
    log.Debug(kFetchContext, "[%s] was ended by signal [%d]", program.c_str(), WTERMSIG(status));
    return false;
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    log.Debug(kFetchContext, "[%s] exited with status [%d]", program.c_str(),
              WIFEXITED(status) ? WEXITSTATUS(status) : -1);
    return false;
  }
  bool parsed = _ParseData(out, outputPath);
  if (!parsed) log.Debug(kFetchContext, "Parsing the output of [%s] failed", program.c_str());
  return parsed;
}

std::string CForeignCmdExecBase::GetFileNameForOutput(int) {
  // The private directory lies under the current work directory; it is made
  // again when the work directory changes, the process is a fork's child,
  // or the directory went away.
  static unsigned long counter = 0;
  HostEnv& env = HostEnv::Get();
  std::string workDir = env.workDir.empty() ? "." : env.workDir;
  std::string dir = workDir + "/olb-scratch-" + std::to_string(static_cast<long>(getpid()));
  struct stat st;
  if (lstat(dir.c_str(), &st) != 0) {
    if (!MakeDirectories(workDir) || (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST)) {
      EvDebug log;
      log.Debug(kScratchContext, "Cannot create scratch directory [%s]: %s", dir.c_str(),
                strerror(errno));
    }
  } else if (!S_ISDIR(st.st_mode) || st.st_uid != geteuid() || (st.st_mode & 077) != 0) {
    // Someone else's or an open directory: not private, so not used.
    EvDebug log;
    log.Debug(kScratchContext, "Scratch directory [%s] is not private", dir.c_str());
    dir = workDir + "/olb-scratch-" + std::to_string(static_cast<long>(getpid())) + "-" +
          std::to_string(static_cast<long>(time(nullptr)));
    mkdir(dir.c_str(), 0700);
  }
  return dir + "/script-" + std::to_string(++counter) + ".sql";
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
