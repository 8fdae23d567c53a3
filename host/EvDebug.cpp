#include "host/EvDebug.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <string>
#include <typeinfo>
#include <utility>

#include "host/HostEnv.h"

namespace {

// The open log file. fd -1: not open (standard error is used when the path
// is empty or cannot be opened).
struct LogFileState {
  std::string path;
  int fd = -1;
};

LogFileState& State() {
  static LogFileState* state = new LogFileState();  // outlives static destructors
  return *state;
}

// The descriptor to write to for the current HostEnv::logFile.
int LogDescriptor() {
  const std::string& wanted = HostEnv::Get().logFile;
  LogFileState& state = State();
  if (wanted.empty()) {
    CloseDebugLog();
    return STDERR_FILENO;
  }
  if (state.fd >= 0 && state.path == wanted) return state.fd;
  CloseDebugLog();
  int fd = ::open(wanted.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY, 0600);
  if (fd < 0) return STDERR_FILENO;  // tried again with the next line
  state.fd = fd;
  state.path = wanted;
  return fd;
}

void WriteAll(int fd, const std::string& text) {
  const char* p = text.data();
  size_t left = text.size();
  while (left > 0) {
    ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return;  // the log has nowhere else to report to
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
}

// "YYYY-MM-DD HH:MM:SS.mmm" in local time.
std::string Timestamp() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  tm local{};
  localtime_r(&now.tv_sec, &local);
  char buf[48];
  size_t n = strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &local);
  snprintf(buf + n, sizeof buf - n, ".%03ld", static_cast<long>(now.tv_nsec / 1000000));
  return buf;
}

// printf into a string that grows to whatever the text needs.
std::string Format(const char* format, va_list args) {
  if (format == nullptr) return std::string();
  char small[512];
  va_list copy;
  va_copy(copy, args);
  int needed = vsnprintf(small, sizeof small, format, copy);
  va_end(copy);
  if (needed < 0) return "(unformattable log text)";
  if (static_cast<size_t>(needed) < sizeof small) return std::string(small, needed);
  std::string text(static_cast<size_t>(needed) + 1, '\0');
  va_copy(copy, args);
  int written = vsnprintf(&text[0], text.size(), format, copy);
  va_end(copy);
  if (written < 0) return "(unformattable log text)";
  text.resize(static_cast<size_t>(written) < text.size() ? static_cast<size_t>(written)
                                                         : text.size() - 1);
  return text;
}

// Line ends inside a text would let one call forge further log lines; in
// the file they appear as \n and \r.
void AppendEscaped(std::string& out, const std::string& text) {
  for (char c : text) {
    if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else {
      out += c;
    }
  }
}

}  // namespace

void CloseDebugLog() {
  LogFileState& state = State();
  if (state.fd >= 0) ::close(state.fd);
  state.fd = -1;
  state.path.clear();
}

EvDebug::EvDebug(EvDebugFileInstance*) {}

EvDebug::~EvDebug() = default;

void EvDebug::Debug(const char* context, const char* format, ...) {
  va_list args;
  va_start(args, format);
  Write("DEBUG", -1, context, format, args);
  va_end(args);
}

void EvDebug::Error(const char* context, const char* format, ...) {
  va_list args;
  va_start(args, format);
  Write("ERROR", -1, context, format, args);
  va_end(args);
}

void EvDebug::DebugLvl(const char* context, int level, const char* format, ...) {
  if (level > HostEnv::Get().debugLevel) return;
  va_list args;
  va_start(args, format);
  if (dynamic_cast<EvEvent*>(this) != nullptr) {
    Write("EVENT", level, context, format, args);
  } else {
    std::string name = "L" + std::to_string(level);
    Write(name.c_str(), level, context, format, args);
  }
  va_end(args);
}

void EvDebug::Write(const char* levelName, int level, const char* context, const char* format,
                    va_list args) {
  HostEnv& env = HostEnv::Get();
  if (level >= 0 && level > env.debugLevel) return;
  int saved = errno;  // logging leaves errno as the caller had it
  LogRecord record;
  record.level = levelName != nullptr ? levelName : "";
  record.debugLevel = level;
  record.context = context != nullptr ? context : "";
  record.text = Format(format, args);
  if (!env.secrets.empty()) record.text = env.Masked(std::move(record.text));

  std::string line = Timestamp();
  line += " [";
  line += std::to_string(static_cast<long>(getpid()));
  line += "] ";
  line += record.level;
  line += ' ';
  line += record.context;
  line += ": ";
  AppendEscaped(line, record.text);
  line += '\n';
  WriteAll(LogDescriptor(), line);
  if (env.logSink) env.logSink(record);
  errno = saved;
}
