// olb-host: a stand-in for the Outland Bridge host. It constructs the DPA
// handler of libOlbDpa.so, points the host's settings (registry, output and
// work directories, debug log) where the command line says, calls the
// discovery operations that are named, in that order, and reports for each
// whether it succeeded, how long it took, what it wrote and, when it failed,
// why.
#include <dirent.h>
#include <fcntl.h>
#include <getopt.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "handler/CForeignHandlerDPA.h"
#include "host/EvDebug.h"
#include "host/HostEnv.h"
#include "host/HxUtil.h"
#include "host/Messages.h"

namespace {

const char kUsage[] =
    "Usage: olb-host [OPTION]... [OPERATION]...\n"
    "\n"
    "Runs the DPA plug-in's discovery operations the way the Outland Bridge host\n"
    "does, one after another, in the order given.\n"
    "\n"
    "Operations (default: all five in this order):\n"
    "  config    read the datastore settings from the registry\n"
    "  clients   discover the DPA server, clients and policies\n"
    "  jobs      discover the backup jobs\n"
    "  media     discover tape libraries, disk libraries and media\n"
    "  policies  write the default storage policy\n"
    "\n"
    "Options:\n"
    "  --registry FILE       registry file ([kRelayUnit] sDPAUSER=..., see the README);\n"
    "                        without it every setting reads as missing\n"
    "  --out DIR             where the XML message files go (created if missing;\n"
    "                        default: olb-out)\n"
    "  --work-dir DIR        where the SQL tool's output and the script files go\n"
    "                        (created if missing, kept); default: a fresh private\n"
    "                        directory that is removed at exit\n"
    "  --log FILE            debug log, appended to (default: <out>/olb-debug.log)\n"
    "  --debug-level N       write DebugLvl lines up to level N (default 1:\n"
    "                        results, counts and failures; 5 adds a line per\n"
    "                        record, 30 every raw line read)\n"
    "  --tool-timeout SECONDS\n"
    "                        stop the SQL tool after this long (default 3600)\n"
    "  --datastore FILE      use the embedded datastore FILE: runs the sqlplus\n"
    "                        stand-in built beside olb-host instead of the\n"
    "                        sqlplus found on PATH\n"
    "  -h, --help            show this text\n"
    "\n"
    "Every operation named is run, also after one has failed. Exit status: 0 when\n"
    "all succeeded, 1 when any failed (the summary names them), 2 for a bad\n"
    "command line or a setup error (nothing is run). On a terminal a progress\n"
    "line on standard error shows the running operation.\n";

// Each operation is called with a message of its own, as the host does;
// only DiscoverConfig looks at it.
// What the report counts of an operation's messages: records of one class.
struct Counted {
  const char* label;
  int module;
  int messageType;
};
template <class T>
constexpr Counted Count(const char* label) {
  return {label, T::kModule, T::kType};
}

struct Operation {
  const char* name;
  bool (CForeignHandlerDPA::*run)(CWzMessageBase*);
  int module;
  std::vector<Counted> counted;
  bool countsUnmapped;  // rows the tool gave that were not written
};

const Operation kOperations[] = {
    {"config", &CForeignHandlerDPA::DiscoverConfig, 30, {}, false},
    {"clients",
     &CForeignHandlerDPA::DiscoverClients,
     30,
     {Count<App::ClientInfo>("clients"), Count<App::SubClientInfo>("policies")},
     false},
    {"jobs", &CForeignHandlerDPA::DiscoverJobs, 32, {Count<ZRC::JobInfo>("jobs")}, true},
    {"media",
     &CForeignHandlerDPA::DiscoverMedia,
     32,
     {Count<ZRC::ForeignLibraryItem>("libraries"), Count<ZRC::ForeignDriveItem>("drives"),
      Count<ZRC::ForeignMediaItem>("media")},
     false},
    {"policies",
     &CForeignHandlerDPA::DiscoverStoragePolicies,
     32,
     {Count<ZRC::StoragePolicy>("storage policies")},
     false},
};

struct Options {
  std::string registry;
  std::string out = "olb-out";
  std::string workDir;
  std::string log;
  int debugLevel = 1;
  int toolTimeout = 3600;
  std::string datastore;
  std::vector<const Operation*> operations;
  bool help = false;
};

// One line naming what is wrong, and where to learn more; status 2.
int UsageError(const std::string& message) {
  std::fprintf(stderr, "olb-host: %s\nTry 'olb-host --help' for more information.\n",
               message.c_str());
  return 2;
}

int SetupError(const std::string& message) {
  std::fprintf(stderr, "olb-host: %s\n", message.c_str());
  return 2;
}

bool ParseInt(const std::string& text, int min, int max, int* value) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  long v = std::strtol(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || v < min || v > max) return false;
  *value = static_cast<int>(v);
  return true;
}

// 0 when parsed; otherwise the exit status (the problem printed).
int ParseArgs(int argc, char** argv, Options* opts) {
  enum { kRegistry = 256, kOut, kWorkDir, kLog, kDebugLevel, kToolTimeout, kDatastore };
  static const option kLong[] = {
      {"registry", required_argument, nullptr, kRegistry},
      {"out", required_argument, nullptr, kOut},
      {"work-dir", required_argument, nullptr, kWorkDir},
      {"log", required_argument, nullptr, kLog},
      {"debug-level", required_argument, nullptr, kDebugLevel},
      {"tool-timeout", required_argument, nullptr, kToolTimeout},
      {"datastore", required_argument, nullptr, kDatastore},
      {"help", no_argument, nullptr, 'h'},
      {nullptr, 0, nullptr, 0},
  };
  opterr = 0;  // the messages are ours
  optind = 1;
  for (int c; (c = getopt_long(argc, argv, ":h", kLong, nullptr)) != -1;) {
    std::string arg = argv[optind - 1];
    std::string name = arg.substr(0, arg.find('='));
    if (c == '?') {
      if (optopt != 0) name = std::string("-") + static_cast<char>(optopt);
      return UsageError("unknown option '" + name + "'");
    }
    if (c == ':') return UsageError("option '" + name + "' needs a value");
    if (c == 'h') {
      opts->help = true;
      continue;
    }
    std::string value = optarg;
    if (value.empty()) return UsageError("option '" + name + "' needs a non-empty value");
    switch (c) {
      case kRegistry:
        opts->registry = value;
        break;
      case kOut:
        opts->out = value;
        break;
      case kWorkDir:
        opts->workDir = value;
        break;
      case kLog:
        opts->log = value;
        break;
      case kDatastore:
        opts->datastore = value;
        break;
      case kDebugLevel:
        if (!ParseInt(value, 0, 1000, &opts->debugLevel)) {
          return UsageError("--debug-level needs a whole number from 0 to 1000, not '" + value +
                            "'");
        }
        break;
      case kToolTimeout:
        if (!ParseInt(value, 1, 30 * 24 * 3600, &opts->toolTimeout)) {
          return UsageError("--tool-timeout needs a positive number of seconds, not '" + value +
                            "'");
        }
        break;
    }
  }
  for (int i = optind; i < argc; ++i) {
    const Operation* found = nullptr;
    for (const Operation& op : kOperations) {
      if (std::strcmp(argv[i], op.name) == 0) found = &op;
    }
    if (found == nullptr) return UsageError(std::string("unknown operation '") + argv[i] + "'");
    opts->operations.push_back(found);
  }
  if (opts->operations.empty()) {
    for (const Operation& op : kOperations) opts->operations.push_back(&op);
  }
  return 0;
}

// Creates `dir` and its missing parents; true when it is a directory then.
bool MakeDirs(const std::string& dir, mode_t mode) {
  struct stat st;
  if (stat(dir.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  size_t slash = dir.find_last_of('/');
  if (slash != std::string::npos && slash > 0 && !MakeDirs(dir.substr(0, slash), mode)) {
    return false;
  }
  return mkdir(dir.c_str(), mode) == 0 || errno == EEXIST;
}

std::string Absolute(const std::string& path) {
  char resolved[PATH_MAX];
  if (realpath(path.c_str(), resolved) != nullptr) return resolved;
  return path;
}

std::string Basename(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The directory of this program, from /proc/self/exe.
std::string ProgramDir() {
  char buf[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return ".";
  std::string self(buf, static_cast<size_t>(n));
  return self.substr(0, self.find_last_of('/'));
}

// "a.xml, b.xml" for a few files; the first and last ones for many.
std::string DescribeFiles(const std::vector<std::string>& files) {
  if (files.empty()) return "";
  std::string text = files.size() == 1 ? "1 file: " : std::to_string(files.size()) + " files: ";
  const size_t kListed = 6;
  for (size_t i = 0; i < files.size(); ++i) {
    if (files.size() > kListed && i == 3) {
      text += ", ...";
      i = files.size() - 2;
      continue;
    }
    if (i > 0) text += ", ";
    text += Basename(files[i]);
  }
  return text;
}

// Points the host's settings and the environment at what the options name.
// 0 on success, otherwise the exit status (message printed).
// A host killed while it wrote a message leaves that file under its
// temporary name; nobody else writes into this output directory, so such
// leftovers are removed before the first dump.
void RemoveStaleDumps(const std::string& outDir) {
  DIR* dir = opendir(outDir.c_str());
  if (dir == nullptr) return;
  while (dirent* entry = readdir(dir)) {
    if (std::strncmp(entry->d_name, ".olb-dump-", 10) == 0) {
      unlinkat(dirfd(dir), entry->d_name, 0);
    }
  }
  closedir(dir);
}

int Setup(const Options& opts, std::string* tempWorkDir) {
  HostEnv& env = HostEnv::Get();

  if (!opts.registry.empty()) {
    if (access(opts.registry.c_str(), R_OK) != 0) {
      return SetupError("cannot read the registry file '" + opts.registry +
                        "': " + std::strerror(errno));
    }
    env.registryFile = Absolute(opts.registry);
  }

  if (!MakeDirs(opts.out, 0755)) {
    return SetupError("cannot create the output directory '" + opts.out +
                      "': " + std::strerror(errno));
  }
  env.outputDir = Absolute(opts.out);
  RemoveStaleDumps(env.outputDir);

  if (opts.workDir.empty()) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern =
        std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/olb-host-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (mkdtemp(buf.data()) == nullptr) {
      return SetupError("cannot create a work directory under '" + pattern +
                        "': " + std::strerror(errno));
    }
    *tempWorkDir = buf.data();
    env.workDir = *tempWorkDir;
  } else {
    if (!MakeDirs(opts.workDir, 0700)) {
      return SetupError("cannot create the work directory '" + opts.workDir +
                        "': " + std::strerror(errno));
    }
    env.workDir = Absolute(opts.workDir);
  }

  std::string log = opts.log.empty() ? env.outputDir + "/olb-debug.log" : opts.log;
  int fd = ::open(log.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) {
    return SetupError("cannot write the debug log '" + log + "': " + std::strerror(errno));
  }
  ::close(fd);
  env.logFile = Absolute(log);
  env.debugLevel = opts.debugLevel;
  env.toolTimeoutSeconds = opts.toolTimeout;

  if (!opts.datastore.empty()) {
    if (access(opts.datastore.c_str(), R_OK) != 0) {
      return SetupError("cannot read the datastore '" + opts.datastore +
                        "': " + std::strerror(errno));
    }
    // Installed under libexec, so that it shadows no real sqlplus on PATH;
    // in the build tree beside the program's directory.
    std::string standIn;
    for (const char* dir : {"/../libexec/olb/bin", "/../standin/bin"}) {
      std::string candidate = Absolute(ProgramDir() + dir);
      if (standIn.empty() && access((candidate + "/sqlplus").c_str(), X_OK) == 0) {
        standIn = candidate;
      }
    }
    if (standIn.empty()) {
      return SetupError("the sqlplus stand-in is missing (looked in '" + ProgramDir() +
                        "/../libexec/olb/bin' and '" + ProgramDir() + "/../standin/bin')");
    }
    setenv("OLB_DPA_DATASTORE", Absolute(opts.datastore).c_str(), 1);
    const char* path = std::getenv("PATH");
    std::string newPath = standIn;
    if (path != nullptr && *path != '\0') newPath += std::string(":") + path;
    setenv("PATH", newPath.c_str(), 1);
  }
  return 0;
}

// The single updating line on a terminal: the operation, its time, and
// the files and records written so far; redrawn at most four times a
// second, whenever the host's libraries report progress.
class Progress {
 public:
  Progress(const CForeignHandlerDPA& handler) : m_handler(handler), m_tty(isatty(2) == 1) {}
  ~Progress() { HostEnv::Get().progress = nullptr; }

  void Start(const Operation& op) {
    m_op = &op;
    m_start = std::chrono::steady_clock::now();
    m_drawn = m_start;
    m_files = m_handler.dumpedFiles().size();
    m_records = op.counted.empty() ? 0 : Records(op.counted[0]);
    if (m_tty) HostEnv::Get().progress = [this] { Tick(); };
  }
  void Stop() {
    HostEnv::Get().progress = nullptr;
    if (m_shown) std::fputs("\r\033[K", stderr);
    m_shown = false;
  }

 private:
  long long Records(const Counted& c) const {
    return m_handler.dumpedRecords(c.module, c.messageType);
  }
  void Tick() {
    auto now = std::chrono::steady_clock::now();
    if (now - m_drawn < std::chrono::milliseconds(250)) return;
    m_drawn = now;
    std::chrono::duration<double> took = now - m_start;
    std::fprintf(stderr, "\r\033[K%s %.1f s, %zu files", m_op->name, took.count(),
                 m_handler.dumpedFiles().size() - m_files);
    if (!m_op->counted.empty()) {
      std::fprintf(stderr, ", %lld %s", Records(m_op->counted[0]) - m_records,
                   m_op->counted[0].label);
    }
    std::fflush(stderr);
    m_shown = true;
  }

  const CForeignHandlerDPA& m_handler;
  const bool m_tty;
  const Operation* m_op = nullptr;
  std::chrono::steady_clock::time_point m_start, m_drawn;
  size_t m_files = 0;
  long long m_records = 0;
  bool m_shown = false;
};

int RunOperations(const Options& opts) {
  CForeignHandlerDPA handler;
  HostEnv& env = HostEnv::Get();
  Progress progress(handler);
  EvDebug log;
  std::vector<std::string> failed;
  for (const Operation* op : opts.operations) {
    size_t filesBefore = handler.dumpedFiles().size();
    std::vector<long long> before;
    for (const Counted& c : op->counted)
      before.push_back(handler.dumpedRecords(c.module, c.messageType));
    long long rowsBefore = env.toolRowsRead;
    env.lastFailure.clear();
    progress.Start(*op);
    auto start = std::chrono::steady_clock::now();
    CWzMessageBase msg(op->module, 0);
    bool ok = (handler.*(op->run))(&msg);
    handler.SyncDumpDirectory();  // every file the operation wrote is on disk
    std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    progress.Stop();
    std::vector<std::string> written(handler.dumpedFiles().begin() + filesBefore,
                                     handler.dumpedFiles().end());
    if (!ok) failed.push_back(op->name);

    char head[64];
    std::snprintf(head, sizeof head, "%-9s %-7s %8.3f s", op->name, ok ? "ok" : "FAILED",
                  took.count());
    std::string line = head;
    if (!ok) {
      line += ": " + (env.lastFailure.empty() ? std::string("see the debug log") : env.lastFailure);
    }
    std::string counts;
    for (size_t i = 0; i < op->counted.size(); ++i) {
      const Counted& c = op->counted[i];
      long long n = handler.dumpedRecords(c.module, c.messageType) - before[i];
      counts += (i > 0 ? ", " : "") + std::to_string(n) + " " + c.label;
      if (op->countsUnmapped && ok) {
        long long unmapped = env.toolRowsRead - rowsBefore - n;
        counts += ", " + std::to_string(unmapped > 0 ? unmapped : 0) + " rows not written";
      }
    }
    if (!counts.empty() && (ok || !written.empty())) line += "  " + counts;
    if (!written.empty()) line += "  " + DescribeFiles(written);
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
    log.DebugLvl("olb-host", 1, "%s", line.c_str());
  }

  size_t total = opts.operations.size();
  if (failed.empty()) {
    std::printf("All %zu operations succeeded.\n", total);
  } else {
    std::string names;
    for (const std::string& name : failed) names += (names.empty() ? "" : ", ") + name;
    std::printf("%zu of %zu operations FAILED: %s (see the debug log)\n", failed.size(), total,
                names.c_str());
  }
  std::printf("Files written: %zu, in %s\n", handler.dumpedFiles().size(), env.outputDir.c_str());
  std::printf("Debug log: %s\n", env.logFile.c_str());
  return failed.empty() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  Options opts;
  if (int status = ParseArgs(argc, argv, &opts)) return status;
  if (opts.help) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  std::string tempWorkDir;
  int status = Setup(opts, &tempWorkDir);
  if (status == 0) status = RunOperations(opts);
  HostEnv::Get().Reset();  // closes the debug log
  if (!tempWorkDir.empty()) RemoveTree(tempWorkDir);
  return status;
}
