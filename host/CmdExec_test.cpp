// The collectors' base: SplitLine; FetchData, which runs a tool without a shell, never logs its
// arguments, counts the rows it hands to the parser and names why a run failed with the tool's own
// message lines; and the private scratch directories. (Tools failing, killed and hanging are run
// through olb-host in app/Faults_test.cpp.)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <utility>

#include "host/ForeignCmdExecBase.h"
#include "testsupport/TestSupport.h"

namespace {

using namespace olbtest;  // NOLINT(build/namespaces)

std::string DirOf(const std::string& p) { return p.substr(0, p.rfind('/')); }

TEST(SplitLineTest, SplitsAtSeparatorsTakesEscapedCharactersAndReusesTheVector) {
  const std::string big(40, 'L');  // past the small-string buffer
  struct Case {
    std::string line;
    std::vector<std::string> want;
    char sep = ',', esc = '\\';
  } cases[] = {
      // clang-format off
      {"1,2,3", {"1", "2", "3"}}, {"", {}}, {"a,", {"a", ""}}, {",", {"", ""}},
      {"a,,,b", {"a", "", "", "b"}}, {" a , ", {" a ", " "}}, {"a;b|c", {"a;b", "c"}, '|'},
      {big + ",z", {big, "z"}}, {"a\\,b,c", {"a,b", "c"}}, {"a\\\\,b", {"a\\", "b"}},
      {"x\\nz", {"xnz"}}, {"a,b\\", {"a", "b\\"}}, {"\\,", {","}},
      // clang-format on
      {"a,b", {"a", "b"}, ',', ','}};  // an escape that equals the separator escapes nothing
  std::vector<std::string> fields{"stale", "values", "from", "before"};
  for (const Case& c : cases) {
    CForeignCmdExecBase::SplitLine(c.line, fields, c.sep, c.esc, '\0', '\0');
    EXPECT_EQ(c.want, fields) << c.line;
  }
}

// Runs a given command line and records what its parser was handed.
class Probe : public CForeignCmdExecBase {
 public:
  explicit Probe(std::string line, int method = 1)
      : CForeignCmdExecBase(method), m_line(std::move(line)) {}
  std::string _GetCommandLine() override { return m_line; }
  bool _ParseData(void* out, const std::string& path) override {
    ++calls;
    parsed = path + "\n" + ReadFile(path);
    return out == nullptr;
  }
  const char* _GetFileNameForData() const override { return "olb_probe.txt"; }
  std::string m_line, parsed;
  int calls = 0;
};

class FetchDataTest : public HostFixture {
 protected:
  void SetUp() override {
    HostFixture::SetUp();
    mkdir(m_dir.file("bin").c_str(), 0700);
    setenv("PATH", (m_dir.file("bin") + ":" + std::getenv("PATH")).c_str(), 1);
    Script("args.sh", "for a; do printf '[%s]\\n' \"$a\"; done\necho '  '\n");
  }
  std::string Script(const std::string& name, const std::string& body) {
    std::string path = m_dir.file("bin/" + name);
    EXPECT_TRUE(WriteScript(path, body));
    return path;
  }
};

TEST_F(FetchDataTest, SplitsArgumentsItselfRunsNoShellLogsNoArgumentAndCountsRows) {
  LogCapture log;
  std::string marker = m_dir.file("x");
  Probe c("args.sh plain  \"two words\"\t@\"/a b/c.sql\" x\"\"y \"\" \"; touch " + marker +
          "; \" $(touch " + marker + ") `id` | dpa/s3cretPw");
  ASSERT_TRUE(c.FetchData(nullptr));
  EXPECT_EQ(WorkDir() + "/olb_probe.txt\n[plain]\n[two words]\n[@/a b/c.sql]\n[xy]\n[]\n[; touch " +
                marker + "; ]\n[$(touch]\n[" + marker + ")]\n[`id`]\n[|]\n[dpa/s3cretPw]\n  \n",
            c.parsed);
  EXPECT_EQ(11, HostEnv::Get().toolRowsRead);  // the blank line is no row
  EXPECT_FALSE(FileExists(marker));
  EXPECT_TRUE(log.Contains("Running [args.sh] with [11] arguments")) << log.All();
  EXPECT_FALSE(log.Contains("s3cretPw") || Has(ReadFile(m_dir.file("debug.log")), "s3cretPw"));
  Probe byPath("\"" + Script("my tool.sh", "echo \"$#\"\n") + "\" a b");
  ASSERT_TRUE(byPath.FetchData(nullptr));
  EXPECT_EQ("2\n", byPath.parsed.substr(byPath.parsed.find('\n') + 1));
}

TEST_F(FetchDataTest, FailuresNeverReachTheParserAndSayWhy) {
  HostEnv::Get().AddSecret("s3cret");
  WriteFile(m_dir.file("bin/plain.sh"), "#!/bin/sh\n");  // not executable
  Script("exit3.sh",
         "printf 'ORA-DPA01: a server\\nORA-1: short\\nrows1: s3cret\\nSP2-0310: no "
         "file\\nORA-01017: bad s3cret; logon denied\\nERROR at line 1:\\n'\n"
         "echo 'stderr s3cret' >&2\necho more >&2\nexit 3\n");
  const std::pair<const char*, const char*> cases[] = {
      {"", "no command line to run"},
      {"  \t ", "the command line holds only blanks"},
      {"args.sh \"open", "the command line has an unterminated quote"},
      {"no-such-program-olb x", "no-such-program-olb not found on PATH"},
      {"/no/such/args.sh", "args.sh not found"},
      {"plain.sh", "plain.sh not found on PATH"},
      {"exit3.sh",
       "exit3.sh exited with status 3: SP2-0310: no file | ORA-01017: bad ********; "
       "logon denied | stderr ********"},
  };
  for (const auto& c : cases) {
    LogCapture log;
    Probe probe(c.first);
    EXPECT_FALSE(probe.FetchData(nullptr) || probe.calls) << c.first;
    EXPECT_EQ(c.second, HostEnv::Get().lastFailure);
    EXPECT_TRUE(log.Count(c.second) == 1u && !log.Contains("s3cret")) << log.All();
  }
  EXPECT_FALSE(Probe("args.sh", 2).FetchData(nullptr));
  int container = 0;
  Probe rejected("args.sh");  // the parser's result is the result
  EXPECT_FALSE(rejected.FetchData(&container));
  EXPECT_EQ("parsing the output of args.sh failed", HostEnv::Get().lastFailure);
}

TEST_F(FetchDataTest, StandardErrorIsCappedWithoutDeadlock) {
  LogCapture log;
  Script("flood.sh",
         "for i in $(seq 3000); do\n  echo \"error line $i padded to fill the pipe quickly\" >&2\n"
         "  echo \"data line $i\"\ndone\n");
  Probe flood("flood.sh");
  ASSERT_TRUE(flood.FetchData(nullptr));
  EXPECT_TRUE(Has(flood.parsed, "data line 3000\n"));
  EXPECT_TRUE(log.Contains("[flood.sh] stderr: error line 200 ")) << log.All();
  EXPECT_TRUE(log.Contains("[flood.sh] wrote [2800] more lines to standard error"));
  EXPECT_LT(log.records().size(), 210u);
}

TEST_F(FetchDataTest, ToolGetsEmptyInputAFreshPrivateOutputFileAndNoHostDescriptor) {
  std::string work = m_dir.file("deep/er/work"), out = work + "/olb_probe.txt";
  HostEnv::Get().workDir = work;
  ASSERT_TRUE(WriteFile(m_dir.file("victim"), "keep"));
  Script("fds.sh", "cat\nfor f in /proc/$$/fd/*; do readlink \"$f\"; done\nexit 0\n");
  LogCapture log;  // the log file is open
  ASSERT_TRUE(Probe("fds.sh").FetchData(nullptr)) << HostEnv::Get().lastFailure;
  EXPECT_EQ(0700, FileMode(work));
  // A planted link is replaced, not followed; a descriptor left inheritable stays behind, and
  // the host's own input is not the tool's.
  ASSERT_EQ(0, unlink(out.c_str()));
  ASSERT_EQ(0, symlink(m_dir.file("victim").c_str(), out.c_str()));
  int leaky = open(m_dir.file("leaky").c_str(), O_WRONLY | O_CREAT, 0600), in = dup(0);
  dup2(open(m_dir.file("victim").c_str(), O_RDONLY), 0);
  Probe c("fds.sh");
  const bool fetched = c.FetchData(nullptr);
  dup2(in, 0);
  close(leaky);
  ASSERT_TRUE(fetched);
  EXPECT_EQ("keep", ReadFile(m_dir.file("victim")));
  EXPECT_EQ(0600, FileMode(out));
  EXPECT_EQ(0u, c.parsed.find(out + "\n/dev/null\n" + out + "\n")) << c.parsed;  // fds 0, 1
  EXPECT_TRUE(Has(c.parsed, "\npipe:[")) << c.parsed;                            // 2: the log
  EXPECT_FALSE(Has(c.parsed, "debug.log") || Has(c.parsed, "leaky"));
}

TEST_F(FetchDataTest, ScratchPathsLieInAPrivateDirectoryOfOurOwn) {
  auto scratch = [] { return CForeignCmdExecBase::GetFileNameForOutput(0); };
  std::string a = scratch(), b = scratch();
  EXPECT_TRUE(a != b && DirOf(a) == DirOf(b));
  EXPECT_EQ(0u, a.find(WorkDir() + "/olb-scratch-"));
  EXPECT_EQ(0700, FileMode(DirOf(a)));
  // A directory that is no longer private, or gone, is left for a new one.
  ASSERT_EQ(0, chmod(DirOf(a).c_str(), 0777));
  std::string c = scratch();
  EXPECT_TRUE(DirOf(a) != DirOf(c) && FileMode(DirOf(c)) == 0700);
  // No private directory to be had: no path.
  ASSERT_TRUE(WriteFile(m_dir.file("afile"), ""));
  HostEnv::Get().workDir = m_dir.file("afile/sub");
  EXPECT_EQ("", scratch());
  // A missing work directory named relative to the current one is made.
  char* cwd = getcwd(nullptr, 0);
  ASSERT_EQ(0, chdir(m_dir.path().c_str()));
  HostEnv::Get().workDir = "";  // the current one
  EXPECT_EQ(0u, scratch().find("./olb-scratch-"));
  HostEnv::Get().workDir = "relwork";
  std::string e = scratch();
  EXPECT_EQ(0, chdir(cwd));
  free(cwd);
  EXPECT_EQ(0u, e.find("relwork/olb-scratch-")) << e;
  // The host's reset removes the last one when it is empty.
  HostEnv::Get().workDir = WorkDir();
  std::string d = scratch();
  ASSERT_EQ(0700, FileMode(DirOf(d)));
  HostEnv::Get().Reset();
  EXPECT_EQ(-1, FileMode(DirOf(d)));
}

}  // namespace
