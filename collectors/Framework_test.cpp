// The collector framework: psql and sqlplus command lines, the script file
// (content, mode, removal), the failure path when it cannot be written, and
// the line reader; run end to end through FetchData with a fake sqlplus.
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "collectors/CDPACollector.h"
#include "collectors/CDPAOracleCollector.h"
#include "collectors/FileUtils.h"
#include "testsupport/TestSupport.h"

namespace {

const char kQuery[] = "select f_name || ',' || f_type from config.nodes";

const char kScriptHead[] =
    "set colsep , \nset trimspool on \nset heading off \nset echo off \nset linesize 32767 \n"
    "SET FEEDBACK OFF\nWHENEVER SQLERROR EXIT FAILURE\nWHENEVER OSERROR EXIT FAILURE\n";

// A collector family in miniature: its SQL*Plus variant parses the tool's
// output into a vector of lines.
class TestCollector : public CDPACollector, public CDPAOracleCollector {
 public:
  explicit TestCollector(bool silentTwice = false) : m_silentTwice(silentTwice) {}

  std::string _GetCommandLine() override {
    return BuildOracleCommandLine(m_dbContext, GetQuery(), m_silentTwice);
  }
  using CForeignCmdExecBase::_ParseData;
  bool _ParseData(void* out, const std::string& path) override {
    ++parseCalls;
    auto* lines = static_cast<std::vector<std::string>*>(out);
    std::ifstream in(path);
    std::string line;
    while (ReadLineFromFile(in, line)) lines->push_back(line);
    return true;
  }
  const char* _GetFileNameForData() const override { return "olb_dpa_test.txt"; }
  std::string GetQuery() override { return kQuery; }

  void ScriptFile(const std::string& path) { m_scriptFile = path; }
  int parseCalls = 0;

 private:
  bool m_silentTwice;
};

DBContext SetContext(const std::string& password = "pw") {
  DBContext context;
  context.setUserName("scott");
  context.setPassword(password);
  context.setInstallDir("D:\\dpa\\bin");
  context.setExecName("psql.exe");
  context.setPort(5432);
  return context;
}

int Mode(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return -1;
  return static_cast<int>(st.st_mode & 07777);
}

std::string Dir(const std::string& path) { return path.substr(0, path.rfind('/')); }

class FrameworkTest : public olbtest::HostFixture {};

TEST(PsqlCommandLineTest, ServerClientGroupForm) {
  EXPECT_EQ(std::string("\"C:\\Program Files\\EMC\\DPA\\services\\datastore\\engine\\bin\\\"") +
                " -U dpa -p 0 -t -A -F , -c \"" + kQuery + "\"",
            BuildPsqlCommandLine(DBContext(), kQuery));
  EXPECT_EQ(std::string("\"D:\\dpa\\bin\\psql.exe\" -U scott -p 5432 -t -A -F , -c \"") + kQuery +
                "\"",
            BuildPsqlCommandLine(SetContext(), kQuery));
}

TEST(PsqlCommandLineTest, DiskLibraryAndJobFormTakesOnlyTheInstallDir) {
  EXPECT_EQ(std::string("\"C:\\Program Files\\EMC\\DPA\\services\\datastore\\engine\\bin"
                        "\\psql.exe\" -U dpa -d apollo -p 9003 -t -A -F , -c \"") +
                kQuery + "\"",
            BuildFixedPsqlCommandLine(DBContext(), kQuery));
  EXPECT_EQ(std::string("\"D:\\dpa\\bin\\psql.exe\" -U dpa -d apollo -p 9003 -t -A -F , -c \"") +
                kQuery + "\"",
            BuildFixedPsqlCommandLine(SetContext(), kQuery));
}

TEST_F(FrameworkTest, OracleCommandLineAndScriptFile) {
  TestCollector collector;
  const std::string script = collector.scriptFile();
  ASSERT_FALSE(script.empty());
  EXPECT_EQ("sqlplus -S dpa/ as SYSDBA @\"" + script + "\"", collector._GetCommandLine());

  DBContext context = SetContext();
  collector.setDBContext(context);
  context.setPassword("changed later");  // the collector keeps its own copy
  EXPECT_EQ("sqlplus -S scott/pw as SYSDBA @\"" + script + "\"", collector._GetCommandLine());

  EXPECT_EQ(std::string(kScriptHead) + kQuery + ";\nexit\n", olbtest::ReadFile(script));
  EXPECT_EQ(0600, Mode(script));
  EXPECT_EQ(0700, Mode(Dir(script)));

  TestCollector twice(true);
  twice.setDBContext(context);
  EXPECT_EQ("sqlplus -S -S scott/changed later as SYSDBA @\"" + twice.scriptFile() + "\"",
            twice._GetCommandLine());
}

TEST_F(FrameworkTest, ScriptFilesAreRemovedWithTheirCollectors) {
  auto first = std::make_unique<TestCollector>();
  auto second = std::make_unique<TestCollector>();
  const std::string a = first->scriptFile();
  const std::string b = second->scriptFile();
  ASSERT_NE(a, b);
  first->_GetCommandLine();
  second->_GetCommandLine();
  ASSERT_TRUE(olbtest::FileExists(a));
  ASSERT_TRUE(olbtest::FileExists(b));
  first.reset();
  EXPECT_FALSE(olbtest::FileExists(a));
  EXPECT_TRUE(olbtest::FileExists(b));
  second.reset();
  EXPECT_FALSE(olbtest::FileExists(b));

  // A base pointer destroys the whole object, script included.
  std::unique_ptr<CForeignCmdExecBase> base = std::make_unique<TestCollector>();
  const std::string c = static_cast<TestCollector*>(base.get())->scriptFile();
  base->_GetCommandLine();
  ASSERT_TRUE(olbtest::FileExists(c));
  base.reset();
  EXPECT_FALSE(olbtest::FileExists(c));
}

TEST_F(FrameworkTest, LongPasswordIsNotTruncated) {
  const std::string password(5000, 'p');
  TestCollector collector;
  DBContext context = SetContext(password);
  collector.setDBContext(context);
  const std::string line = collector._GetCommandLine();
  EXPECT_EQ("sqlplus -S scott/" + password + " as SYSDBA @\"" + collector.scriptFile() + "\"",
            line);
}

// A sqlplus that prints the script it is given, or leaves a mark that it ran.
class FakeSqlplusTest : public FrameworkTest {
 protected:
  void SetUp() override {
    FrameworkTest::SetUp();
    std::string bin = m_dir.file("bin");
    mkdir(bin.c_str(), 0700);
    m_marker = m_dir.file("sqlplus-ran");
    ASSERT_TRUE(olbtest::WriteFile(bin + "/sqlplus",
                                   "#!/bin/sh\n"
                                   "touch '" + m_marker + "'\n"
                                   "for a in \"$@\"; do last=$a; done\n"
                                   "cat \"${last#@}\"\n"));
    chmod((bin + "/sqlplus").c_str(), 0700);
    setenv("PATH", (bin + ":" + m_oldPath).c_str(), 1);
  }
  std::string m_marker;
};

TEST_F(FakeSqlplusTest, FetchDataRunsTheScript) {
  TestCollector collector;
  DBContext context = SetContext();
  collector.setDBContext(context);
  std::vector<std::string> lines;
  ASSERT_TRUE(collector.FetchData(&lines));
  EXPECT_EQ(1, collector.parseCalls);
  // The tool saw the script; the reader trimmed the blank before each end.
  ASSERT_EQ(10u, lines.size());
  EXPECT_EQ("set colsep ,", lines[0]);
  EXPECT_EQ("set linesize 32767", lines[4]);
  EXPECT_EQ(std::string(kQuery) + ";", lines[8]);
  EXPECT_EQ("exit", lines[9]);
}

TEST_F(FakeSqlplusTest, UnwritableScriptFailsWithoutRunningTheTool) {
  const std::string password = "hidden-pw-123";
  olbtest::LogCapture logs;
  TestCollector collector;
  collector.ScriptFile(m_dir.file("no-such-dir/script.sql"));
  DBContext context = SetContext(password);
  collector.setDBContext(context);
  EXPECT_EQ("", collector._GetCommandLine());

  std::vector<std::string> lines;
  EXPECT_FALSE(collector.FetchData(&lines));
  EXPECT_EQ(0, collector.parseCalls);
  EXPECT_FALSE(olbtest::FileExists(m_marker));
  EXPECT_TRUE(logs.Contains("no-such-dir/script.sql")) << logs.All();
  EXPECT_FALSE(logs.Contains(password)) << logs.All();
}

TEST_F(FrameworkTest, ReadLineFromFile) {
  const std::string path = m_dir.file("lines.txt");
  std::string line = "old";

  ASSERT_TRUE(olbtest::WriteFile(path, ""));
  {
    std::ifstream in(path);
    EXPECT_FALSE(ReadLineFromFile(in, line));
    EXPECT_EQ("", line);
  }

  ASSERT_TRUE(olbtest::WriteFile(path, "  a, b  \n    \n\tx \nlast"));
  {
    std::ifstream in(path);
    std::vector<std::string> lines;
    while (ReadLineFromFile(in, line)) lines.push_back(line);
    EXPECT_EQ((std::vector<std::string>{"a, b", "", "\tx", "last"}), lines);
    EXPECT_EQ("", line);
  }

  std::ifstream closed;
  line = "old";
  EXPECT_FALSE(ReadLineFromFile(closed, line));
  EXPECT_EQ("", line);
  std::ifstream missing(m_dir.file("missing.txt"));
  EXPECT_FALSE(ReadLineFromFile(missing, line));
}

}  // namespace
