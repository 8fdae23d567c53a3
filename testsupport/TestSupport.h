// Helpers shared by the test programs: scratch directories, captured log
// lines, file reading, where the built programs lie, and a fixture that
// points the host's settings at a fresh scratch directory.
#ifndef OLB_TESTSUPPORT_TEST_SUPPORT_H_
#define OLB_TESTSUPPORT_TEST_SUPPORT_H_

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/HostEnv.h"
#include "host/Message.h"

namespace olbtest {

std::string SourceDir();
std::string BinaryDir();
// Directory holding the sqlplus stand-in.
std::string StandInBinDir();
// The host program and the datastore tools.
std::string OlbHostPath();
std::string DatastoreToolPath();  // olb-dpa-db FILE SQLFILE...
std::string GeneratorPath();      // olb-dpa-gen --out FILE ...
// The datastore schema and demo environment.
std::string SchemaSqlPath();
std::string DemoSqlPath();

// Creates `dbPath` from the schema followed by `sqlFiles`; false on failure.
bool CreateDatastore(const std::string& dbPath, const std::vector<std::string>& sqlFiles);

// A fresh directory under TMPDIR, removed with everything in it.
class TempDir {
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

// Captures every log line written while it lives.
class LogCapture {
 public:
  LogCapture();
  ~LogCapture();
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;
  const std::vector<LogRecord>& records() const { return m_records; }
  // Lines whose text equals / contains `text`.
  size_t Count(const std::string& text) const;
  bool Contains(const std::string& text) const;
  // Every line as "context: text", one per line.
  std::string All() const;
  void Clear() { m_records.clear(); }

 private:
  std::vector<LogRecord> m_records;
};

// A message tree as one line per leaf field, in field order, so that a test
// can state a whole tree (or a part of it) as text:
//   detail(1:1).entity(1:1).clientName(1:1) = "alpha"
//   detail(1:1).components(19:28)[0].entity(1:1).entityType(0:0) = 3
//   flags(2:2) = 8194
// Each step names the field (its number if the name is not known) with its
// (field number:type code); list items carry their index, int lists give
// "[1, 2]", and an empty object or list gives "{}" / "[]".
std::vector<std::string> DescribeMessage(const CWzMessageBase& msg);
// Reads a dumped file back and describes it; empty (with a test failure)
// when the file does not read or does not validate against message.xsd.
std::vector<std::string> DescribeDumpedFile(const std::string& path);

std::string ReadFile(const std::string& path);
bool WriteFile(const std::string& path, const std::string& text);
bool FileExists(const std::string& path);
// Names in `dir`, sorted; empty when it cannot be read.
std::vector<std::string> ListDir(const std::string& dir);
// Runs `command` through /bin/sh, stdout and stderr into *output; the exit
// status, or -1.
int RunShell(const std::string& command, std::string* output);

// Points HostEnv at a fresh scratch directory (out/, work/, registry file),
// with the debug level at 30, and the sqlplus stand-in first on PATH; resets
// everything afterwards.
class HostFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Writes the registry file from INI text.
  void SetRegistry(const std::string& iniText);
  // Creates a datastore from the schema and `sqlFiles`, and names it for the
  // sqlplus stand-in.
  void UseDatastore(const std::vector<std::string>& sqlFiles);
  std::string OutDir() const { return m_dir.path() + "/out"; }
  std::string WorkDir() const { return m_dir.path() + "/work"; }

  TempDir m_dir;
  std::string m_oldPath;
};

}  // namespace olbtest

#endif  // OLB_TESTSUPPORT_TEST_SUPPORT_H_
