// Helpers shared by the test programs: where things lie, scratch directories,
// captured log lines, files, and a fixture with the host pointed at scratch.
#ifndef OLB_TESTSUPPORT_TEST_SUPPORT_H_
#define OLB_TESTSUPPORT_TEST_SUPPORT_H_

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/HostEnv.h"
#include "host/Message.h"

namespace olbtest {

std::string SourceDir(), BinaryDir();
std::string StandInBinDir();      // the sqlplus stand-in
std::string OlbHostPath();
std::string DatastoreToolPath();  // olb-dpa-db FILE SQLFILE...
std::string GeneratorPath();      // olb-dpa-gen --out FILE ...
std::string SchemaSqlPath(), DemoSqlPath();

// Creates `dbPath` from the schema followed by `sqlFiles`; false on failure.
bool CreateDatastore(const std::string& dbPath, const std::vector<std::string>& sqlFiles);

class TempDir {  // a fresh directory under TMPDIR, removed with all in it
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return m_path; }
  std::string file(const std::string& name) const { return m_path + "/" + name; }

 private:
  std::string m_path;
};

class LogCapture {  // captures every log line written while it lives
 public:
  LogCapture();
  ~LogCapture();
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;
  const std::vector<LogRecord>& records() const { return m_records; }
  size_t Count(const std::string& text) const;    // lines equal to `text`
  bool Contains(const std::string& text) const;   // a line holds `text`
  std::string All() const;                        // "context: text" lines
  void Clear() { m_records.clear(); }

 private:
  std::vector<LogRecord> m_records;
};

// One line per leaf field, in field order, each step as name(number:type):
//   detail(1:1).components(19:28)[0].entityType(0:0) = 3
// an unknown name as its number; int lists "[1, 2]"; empty object/list "{}"/"[]".
std::vector<std::string> DescribeMessage(const CWzMessageBase& msg);
// A dumped file, validated against message.xsd, read back and described;
// empty (with a test failure) when it does not validate or read.
std::vector<std::string> DescribeDumpedFile(const std::string& path);

std::string ReadFile(const std::string& path);
bool WriteFile(const std::string& path, const std::string& text);
bool FileExists(const std::string& path);
std::vector<std::string> ListDir(const std::string& dir);  // sorted; empty if unreadable
// Runs `command` through /bin/sh, stdout and stderr into *output; the exit status, or -1.
int RunShell(const std::string& command, std::string* output);
std::string ShellQuote(const std::string& s);  // 's' as one word for /bin/sh
bool Has(const std::string& text, const std::string& part);
int FileMode(const std::string& path);  // permission bits, not following a link; -1 if none
bool WriteScript(const std::string& path, const std::string& body);  // "#!/bin/sh\n" body, 0700

// Compares `actual` with the expected file `expectedPath` and fails the test
// with the first differing line ("file:line: expected ... got ...") when they
// differ. With OLB_UPDATE_GOLDEN set it rewrites the file instead; read the
// diff line by line before committing it.
void ExpectGolden(const std::string& expectedPath, const std::string& actual);

// The host's settings at a fresh scratch directory (out/, work/, registry,
// debug level 30), the sqlplus stand-in first on PATH; all reset afterwards.
class HostFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  void SetRegistry(const std::string& iniText);  // the registry file, as INI text
  // A datastore from the schema and `sqlFiles`, named for the sqlplus stand-in.
  void UseDatastore(const std::vector<std::string>& sqlFiles);
  std::string OutDir() const { return m_dir.path() + "/out"; }
  std::string WorkDir() const { return m_dir.path() + "/work"; }

  TempDir m_dir;
  std::string m_oldPath;
};

}  // namespace olbtest

#endif  // OLB_TESTSUPPORT_TEST_SUPPORT_H_
