#include "host/HXFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "host/HostEnv.h"

// Open modes: 1 reads, 2 appends (creating the file), 3 writes from the
// start (creating or truncating the file). New files get mode 0600; a
// symbolic link at the path is refused.
namespace {
const OpenMode_t kRead = 1;
const OpenMode_t kAppend = 2;
const OpenMode_t kWrite = 3;
}  // namespace

// Keeps why, for the host's report of the operation.
bool HXFile::Failed(const char* what) {
  HostEnv::Get().lastFailure =
      std::string("cannot ") + what + " " + m_path + ": " + std::strerror(errno);
  return false;
}

HXFile::~HXFile() {
  if (m_file != nullptr) close();
}

bool HXFile::open(const std::string& path, OpenMode_t mode, int, int) {
  if (m_file != nullptr || path.empty()) return false;
  int flags = O_CLOEXEC | O_NOFOLLOW | O_NOCTTY;
  const char* stdioMode = nullptr;
  if (mode == kRead) {
    flags |= O_RDONLY;
    stdioMode = "r";
  } else if (mode == kAppend) {
    flags |= O_WRONLY | O_CREAT | O_APPEND;
    stdioMode = "a";
  } else if (mode == kWrite) {
    flags |= O_WRONLY | O_CREAT | O_TRUNC;
    stdioMode = "w";
  } else {
    return false;
  }
  m_path = path;
  int fd = ::open(path.c_str(), flags, 0600);
  if (fd < 0) return Failed("open");
  m_file = fdopen(fd, stdioMode);
  if (m_file == nullptr) {
    int saved = errno;
    ::close(fd);
    errno = saved;
    return Failed("open");
  }
  m_failed = false;
  return true;
}

bool HXFile::putLine(const std::string& text, bool newline) {
  if (m_file == nullptr) return false;
  if (!text.empty() && std::fwrite(text.data(), 1, text.size(), m_file) != text.size()) {
    m_failed = true;
    m_errno = errno;
    return false;
  }
  if (newline && (text.empty() || text.back() != '\n') && std::fputc('\n', m_file) == EOF) {
    m_failed = true;
    m_errno = errno;
    return false;
  }
  return true;
}

bool HXFile::close() {
  if (m_file == nullptr) return false;
  bool ok = !m_failed;
  int saved = m_failed ? m_errno : 0;
  if ((std::fflush(m_file) != 0 || std::ferror(m_file)) && saved == 0) saved = errno;
  if (std::fclose(m_file) != 0 && saved == 0) saved = errno;
  ok = ok && saved == 0;
  m_file = nullptr;
  m_failed = false;
  if (!ok) {
    errno = saved != 0 ? saved : EIO;
    return Failed("write");
  }
  return true;
}
