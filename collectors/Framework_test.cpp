// The collector framework (the lines and scripts of every collector are
// pinned in Collectors_test.cpp): the sqlplus command line, the script file
// (mode, removal) and the failure path when it cannot be written.
#include <memory>
#include <string>
#include <vector>

#include "collectors/CDPACollector.h"
#include "collectors/CDPAOracleCollector.h"
#include "testsupport/TestSupport.h"

namespace {

const char kQuery[] = "select f_name || ',' || f_type from config.nodes";

// A collector in miniature, with a sqlplus command line.
class TestCollector : public CDPACollector, public CDPAOracleCollector {
 public:
  explicit TestCollector(bool silentTwice = false) : m_silentTwice(silentTwice) {}
  std::string _GetCommandLine() override {
    return BuildOracleCommandLine(m_dbContext, GetQuery(), m_silentTwice);
  }
  using CForeignCmdExecBase::_ParseData;
  bool _ParseData(void*, const std::string&) override { return true; }
  const char* _GetFileNameForData() const override { return "olb_dpa_test.txt"; }
  std::string GetQuery() override { return kQuery; }
  const std::string& Script() const { return m_scriptFile; }
  void ScriptFile(const std::string& path) { m_scriptFile = path; }

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

class FrameworkTest : public olbtest::HostFixture {};

TEST_F(FrameworkTest, OracleCommandLineAndScriptFile) {
  TestCollector collector;
  const std::string script = collector.Script();
  ASSERT_FALSE(script.empty());
  DBContext context = SetContext();
  collector.setDBContext(context);
  context.setPassword("changed later");  // the collector keeps its own copy
  EXPECT_EQ("sqlplus -S scott/pw as SYSDBA @\"" + script + "\"", collector._GetCommandLine());

  EXPECT_EQ(0600, olbtest::FileMode(script));
  EXPECT_EQ(0700, olbtest::FileMode(script.substr(0, script.rfind('/'))));

  // A long password is not cut short.
  const std::string password(5000, 'p');
  context = SetContext(password);
  collector.setDBContext(context);
  EXPECT_EQ("sqlplus -S scott/" + password + " as SYSDBA @\"" + script + "\"",
            collector._GetCommandLine());
}

TEST_F(FrameworkTest, ScriptFilesAreRemovedWithTheirCollectors) {
  auto first = std::make_unique<TestCollector>(), second = std::make_unique<TestCollector>();
  const std::string a = first->Script(), b = second->Script();
  ASSERT_NE(a, b);
  first->_GetCommandLine();
  second->_GetCommandLine();
  ASSERT_TRUE(olbtest::FileExists(a) && olbtest::FileExists(b));
  first.reset();
  EXPECT_FALSE(olbtest::FileExists(a));
  EXPECT_TRUE(olbtest::FileExists(b));
  second.reset();
  EXPECT_FALSE(olbtest::FileExists(b));

  // Destroyed through a base pointer, the whole object goes, script included.
  std::unique_ptr<CForeignCmdExecBase> base = std::make_unique<TestCollector>();
  const std::string c = static_cast<TestCollector*>(base.get())->Script();
  base->_GetCommandLine();
  ASSERT_TRUE(olbtest::FileExists(c));
  base.reset();
  EXPECT_FALSE(olbtest::FileExists(c));
}

TEST_F(FrameworkTest, UnwritableScriptFailsWithoutRunningTheTool) {
  olbtest::LogCapture logs;
  TestCollector collector;
  collector.ScriptFile(m_dir.file("no-such-dir/script.sql"));
  DBContext context = SetContext("hidden-pw-123");
  collector.setDBContext(context);
  // No command line, so nothing is run (asked twice, logged twice).
  EXPECT_EQ("", collector._GetCommandLine());
  std::vector<std::string> lines;
  EXPECT_FALSE(collector.FetchData(&lines));
  EXPECT_EQ(2u, logs.Count("Could not write the script file [" +
                           m_dir.file("no-such-dir/script.sql") + "]; the query is not run"))
      << logs.All();
  EXPECT_FALSE(logs.Contains("hidden-pw-123")) << logs.All();
}

}  // namespace
