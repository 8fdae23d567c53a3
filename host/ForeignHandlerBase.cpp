#include "host/ForeignHandlerBase.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "host/EvDebug.h"
#include "host/HostEnv.h"
#include "host/MessageXml.h"
#include "host/Messages.h"

namespace {

const char kDumpContext[] = "CForeignHandlerBase::DumpXmlMsgToFile";

// "ZRC.JobList" for ZRC::JobList; "<module>.<type>" when the class has no
// published name.
std::string DumpClassName(const CWzMessageBase& msg) {
  const char* known = MessageClassName(msg.module(), msg.messageType());
  if (known == nullptr || *known == '\0') {
    return std::to_string(msg.module()) + "." + std::to_string(msg.messageType());
  }
  std::string name = known;
  for (size_t at = name.find("::"); at != std::string::npos; at = name.find("::", at + 1)) {
    name.replace(at, 2, ".");
  }
  return name;
}

std::string DumpFileName(unsigned sequence, const std::string& className) {
  char seq[16];
  snprintf(seq, sizeof seq, "%04u", sequence);
  return std::string(seq) + "-" + className + ".xml";
}

// Moves `from` to `to` unless `to` exists: false with errno EEXIST then.
bool RenameNoReplace(const std::string& from, const std::string& to) {
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
    return true;
  }
  if (errno != EINVAL && errno != ENOSYS) return false;
  // A file system without the flag: a hard link never replaces either.
  if (link(from.c_str(), to.c_str()) != 0) return false;
  unlink(from.c_str());
  return true;
}

// Writes the message into a fresh temporary file in `dir` and makes it
// durable. On success the file is closed and *size holds its length; on
// failure errno tells why and the temporary file is gone.
long long MonotonicMs() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

bool WriteTemp(const CWzMessageBase& msg, const std::string& dir, std::string* tempPath,
               long long* size, const char** step) {
  std::string pattern = dir + "/.olb-dump-XXXXXX";
  int fd = mkostemp(&pattern[0], O_CLOEXEC);
  if (fd < 0) {
    *step = "creating a temporary file";
    return false;
  }
  *tempPath = pattern;
  FILE* file = fdopen(fd, "w");
  if (file == nullptr) {
    int saved = errno;
    close(fd);
    unlink(pattern.c_str());
    errno = saved;
    *step = "opening the temporary file";
    return false;
  }
  errno = 0;
  bool ok = WriteMessageXmlFile(msg, file);
  *step = "writing";
  if (ok && fflush(file) != 0) ok = false;
  if (ok && ferror(file)) ok = false;
  struct stat st;
  if (ok) {
    *step = "syncing";
    ok = fsync(fileno(file)) == 0 && fstat(fileno(file), &st) == 0;
  }
  if (ok) {
    *step = "setting the mode";
    ok = fchmod(fileno(file), 0644) == 0;
  }
  int saved = errno;
  if (fclose(file) != 0 && ok) {
    ok = false;
    saved = errno;
    *step = "closing";
  }
  if (!ok) {
    unlink(pattern.c_str());
    errno = saved != 0 ? saved : EIO;
    return false;
  }
  *size = static_cast<long long>(st.st_size);
  return true;
}

}  // namespace

CForeignHandlerBase::CForeignHandlerBase() = default;
CForeignHandlerBase::~CForeignHandlerBase() { SyncDumpDirectory(); }

void CForeignHandlerBase::SyncDirectory(const std::string& dir) {
  int dirFd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    fsync(dirFd);
    close(dirFd);
  }
  m_lastDirSyncMs = MonotonicMs();
  m_unsyncedDir.clear();
}

void CForeignHandlerBase::SyncDumpDirectory() {
  if (!m_unsyncedDir.empty()) SyncDirectory(m_unsyncedDir);
}

int CForeignHandlerBase::GetProductType() const { return 0; }
std::string CForeignHandlerBase::GetPostProcessingContent() { return std::string(); }
std::vector<HXArchiveFileRecord> CForeignHandlerBase::GetResourcesForBackup() { return {}; }
bool CForeignHandlerBase::PrepareContentForPostProcessing() { return true; }
bool CForeignHandlerBase::PostProcessingCleanup() { return true; }
bool CForeignHandlerBase::DiscoverDriveHistory(CWzMessageBase*) { return true; }
long long CForeignHandlerBase::dumpedRecords(int module, int messageType) const {
  for (const RecordCount& c : m_recordCounts) {
    if (c.module == module && c.messageType == messageType) return c.count;
  }
  return 0;
}

// Counts `msg` and every message below it. The classes are few, so a short
// list serves; `hint` remembers the last class found, which the items of a
// list share.
void CForeignHandlerBase::CountRecords(const CWzMessageBase& msg, size_t* hint) {
  if (*hint >= m_recordCounts.size() || m_recordCounts[*hint].module != msg.module() ||
      m_recordCounts[*hint].messageType != msg.messageType()) {
    *hint = 0;
    while (*hint < m_recordCounts.size() &&
           (m_recordCounts[*hint].module != msg.module() ||
            m_recordCounts[*hint].messageType != msg.messageType())) {
      ++*hint;
    }
    if (*hint == m_recordCounts.size())
      m_recordCounts.push_back({msg.module(), msg.messageType(), 0});
  }
  ++m_recordCounts[*hint].count;
  for (const CWzMessageBase::Field& f : msg.fields()) {
    if (f.kind == CWzMessageBase::Kind::kObject && f.object) {
      size_t inner = *hint;
      CountRecords(*f.object, &inner);
    } else if (f.kind == CWzMessageBase::Kind::kList && f.list) {
      size_t inner = *hint;
      for (size_t i = 0, n = f.list->Size(); i < n; ++i) CountRecords(f.list->At(i), &inner);
    }
  }
}

void CForeignHandlerBase::setRestartString(std::string restart) {
  m_restartString = std::move(restart);
}

// `flags` and `append` are accepted for the host's signature; every dump is
// a file of its own. An existing file of the same name is never replaced:
// the sequence moves on to the next free number.
bool CForeignHandlerBase::DumpXmlMsgToFile(CWzMessageBase* msg, unsigned flags, bool append) {
  EvDebug log;
  HostEnv& env = HostEnv::Get();
  if (msg == nullptr) {
    env.lastFailure = "no message to write";
    log.Debug(kDumpContext, "No message to write");
    return false;
  }
  std::string dir = env.outputDir.empty() ? "." : env.outputDir;
  std::string className = DumpClassName(*msg);
  // This host writes every message alike; what was asked is noted.
  log.DebugLvl(kDumpContext, 30, "Writing [%s], flags [%u], append [%s]", className.c_str(), flags,
               append ? "yes" : "no");

  std::string temp;
  long long size = 0;
  const char* step = "";
  if (!WriteTemp(*msg, dir, &temp, &size, &step)) {
    int saved = errno;
    env.lastFailure =
        "cannot write " + className + " into " + dir + " (" + step + "): " + strerror(saved);
    log.Debug(kDumpContext, "Cannot write [%s] into [%s] (%s): %s", className.c_str(), dir.c_str(),
              step, strerror(saved));
    return false;
  }

  const unsigned kMaxTries = 100000;
  for (unsigned tries = 0; tries < kMaxTries; ++tries) {
    unsigned sequence = env.nextDumpSequence;
    std::string name = DumpFileName(sequence, className);
    std::string path = dir + "/" + name;
    if (RenameNoReplace(temp, path)) {
      env.nextDumpSequence = sequence + 1;
      // One directory sync a second is enough for a stream of job lists:
      // each sync is a journal commit, and a thousand of them would take
      // longer than writing the files.
      if (!m_unsyncedDir.empty() && m_unsyncedDir != dir) SyncDumpDirectory();
      m_unsyncedDir = dir;
      if (MonotonicMs() - m_lastDirSyncMs >= 1000) SyncDumpDirectory();
      m_dumpedFiles.push_back(path);
      size_t hint = 0;
      CountRecords(*msg, &hint);
      log.DebugLvl(kDumpContext, 1, "Wrote [%s] with [%lld] bytes", name.c_str(), size);
      if (env.progress) env.progress();
      return true;
    }
    if (errno != EEXIST) break;
    env.nextDumpSequence = sequence + 1;  // taken by an earlier run: next number
  }
  int saved = errno;
  unlink(temp.c_str());
  env.lastFailure = "cannot put " + className + " in place in " + dir + ": " + strerror(saved);
  log.Debug(kDumpContext, "Cannot put [%s] in place in [%s]: %s", className.c_str(), dir.c_str(),
            strerror(saved));
  return false;
}
