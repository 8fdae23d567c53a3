#include "host/HXFile.h"

#include <fcntl.h>
#include <unistd.h>

// Open modes: 1 reads, 2 appends (creating the file), 3 writes from the
// start (creating or truncating the file). New files get mode 0600; a
// symbolic link at the path is refused.
namespace {
const OpenMode_t kRead = 1;
const OpenMode_t kAppend = 2;
const OpenMode_t kWrite = 3;
}  // namespace

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
  int fd = ::open(path.c_str(), flags, 0600);
  if (fd < 0) return false;
  m_file = fdopen(fd, stdioMode);
  if (m_file == nullptr) {
    ::close(fd);
    return false;
  }
  m_failed = false;
  return true;
}

bool HXFile::putLine(const std::string& text, bool newline) {
  if (m_file == nullptr) return false;
  if (!text.empty() && std::fwrite(text.data(), 1, text.size(), m_file) != text.size()) {
    m_failed = true;
    return false;
  }
  if (newline && (text.empty() || text.back() != '\n') && std::fputc('\n', m_file) == EOF) {
    m_failed = true;
    return false;
  }
  return true;
}

bool HXFile::close() {
  if (m_file == nullptr) return false;
  bool ok = !m_failed;
  if (std::fflush(m_file) != 0 || std::ferror(m_file)) ok = false;
  if (std::fclose(m_file) != 0) ok = false;
  m_file = nullptr;
  m_failed = false;
  return ok;
}
