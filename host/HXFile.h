// HXFile: the platform's plain file. open(path, 3, 0, 0) creates or truncates
// the file for writing (mode 0600); putLine writes text; close flushes and
// reports whether everything reached the file. Each reports failure with
// false.
#ifndef OLB_HOST_HX_FILE_H_
#define OLB_HOST_HX_FILE_H_

#include <cstdio>
#include <string>

typedef int OpenMode_t;

class HXFile {
 public:
  HXFile() = default;
  ~HXFile();
  HXFile(const HXFile&) = delete;
  HXFile& operator=(const HXFile&) = delete;

  bool open(const std::string& path, OpenMode_t mode, int share, int flags);
  // Writes `text`; with `newline` true a line end follows unless the text
  // already ends with one.
  bool putLine(const std::string& text, bool newline);
  bool close();
  bool isOpen() const { return m_file != nullptr; }

 private:
  // Sets HostEnv::lastFailure from errno; false.
  bool Failed(const char* what);

  std::FILE* m_file = nullptr;
  std::string m_path;  // for the failure reason
  bool m_failed = false;
  int m_errno = 0;  // of the failed write
};

#endif  // OLB_HOST_HX_FILE_H_
