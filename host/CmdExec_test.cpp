// The collectors' base: SplitLine, and FetchData, which runs a tool without
// a shell, never logs its arguments (they hold the password), and hands its
// output to the parser only when the tool ended well.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "host/ForeignCmdExecBase.h"
#include "host/HostEnv.h"
#include "testsupport/TestSupport.h"

using olbtest::FileExists;
using olbtest::LogCapture;
using olbtest::ReadFile;
using olbtest::WriteFile;

namespace {

using Fields = std::vector<std::string>;

int FileMode(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0 ? static_cast<int>(st.st_mode & 07777) : -1;
}

std::string DirOf(const std::string& path) { return path.substr(0, path.rfind('/')); }

TEST(SplitLineTest, SplitsAtSeparatorsTakesEscapedCharactersAndReusesTheVector) {
  const std::string big(40, 'L');  // past the small-string buffer
  struct Case {
    std::string line;
    Fields want;
    char sep = ',', esc = '\\';
  } cases[] = {
      {"1,2,3,4,5", {"1", "2", "3", "4", "5"}}, {"", {}}, {"a", {"a"}}, {"a,", {"a", ""}},
      {",", {"", ""}}, {",a", {"", "a"}}, {"a,,,b", {"a", "", "", "b"}}, {" a , ", {" a ", " "}},
      {"a;b|c", {"a;b", "c"}, '|'}, {big + ",z", {big, "z"}}, {"a\\,b,c", {"a,b", "c"}},
      {"a\\\\,b", {"a\\", "b"}}, {"x\\nz", {"xnz"}}, {"a,b\\", {"a", "b\\"}}, {"\\", {"\\"}},
      {"\\,", {","}}, {",\\,", {"", ","}},
      {"a,b", {"a", "b"}, ',', ','},  // an escape that equals the separator escapes nothing
  };
  Fields fields{"stale", "values", "from", "before"};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    CForeignCmdExecBase::SplitLine(c.line, fields, c.sep, c.esc, '\0', '\0');
    EXPECT_EQ(c.want, fields);
  }
}

// A collector that runs a given command line and records what its parser was handed.
class ProbeCollector : public CForeignCmdExecBase {
 public:
  explicit ProbeCollector(std::string commandLine, CommunicationMethod method = 1)
      : CForeignCmdExecBase(method), m_commandLine(std::move(commandLine)) {}
  std::string _GetCommandLine() override { return m_commandLine; }
  bool _ParseData(void* out, const std::string& path) override {
    ++parseCalls;
    parsedOut = out;
    parsedPath = path;
    parsedText = ReadFile(path);
    return parseResult;
  }
  const char* _GetFileNameForData() const override { return "olb_probe.txt"; }

  std::string m_commandLine;
  int parseCalls = 0;
  void* parsedOut = nullptr;
  std::string parsedPath, parsedText;
  bool parseResult = true;
};

class FetchDataTest : public olbtest::HostFixture {
 protected:
  void SetUp() override {
    HostFixture::SetUp();
    m_bin = m_dir.path() + "/bin";
    mkdir(m_bin.c_str(), 0700);
    setenv("PATH", (m_bin + ":" + std::string(std::getenv("PATH"))).c_str(), 1);
    Script("args.sh", "for a in \"$@\"; do printf '[%s]\\n' \"$a\"; done\n");
  }
  // An executable /bin/sh script in the test's bin/, which is first on PATH.
  std::string Script(const std::string& name, const std::string& body) {
    std::string path = m_bin + "/" + name;
    EXPECT_TRUE(WriteFile(path, "#!/bin/sh\n" + body));
    chmod(path.c_str(), 0700);
    return path;
  }
  std::string m_bin;
};

TEST_F(FetchDataTest, SplitsArgumentsItselfRunsNoShellAndLogsNoArgument) {
  LogCapture capture;
  std::string marker = m_dir.file("x");
  ProbeCollector c("args.sh plain  \"two words\"\t@\"/a b/c.sql\" x\"\"y \"\" \"; touch " + marker +
                   "; \" $(touch " + marker + ") `id` | dpa/s3cretPw");
  int container = 0;
  ASSERT_TRUE(c.FetchData(&container));
  EXPECT_EQ(1, c.parseCalls);
  EXPECT_EQ(&container, c.parsedOut);
  EXPECT_EQ(WorkDir() + "/olb_probe.txt", c.parsedPath);
  EXPECT_EQ("[plain]\n[two words]\n[@/a b/c.sql]\n[xy]\n[]\n[; touch " + marker + "; ]\n" +
                "[$(touch]\n[" + marker + ")]\n[`id`]\n[|]\n[dpa/s3cretPw]\n",
            c.parsedText);
  EXPECT_FALSE(FileExists(marker));
  EXPECT_TRUE(capture.Contains("Running [args.sh] with [11] arguments")) << capture.All();
  EXPECT_EQ(std::string::npos, capture.All().find("s3cretPw")) << capture.All();
  EXPECT_EQ(std::string::npos, ReadFile(m_dir.file("debug.log")).find("s3cretPw"));
  // A program named by its path, blanks in it.
  ProbeCollector byPath("\"" + Script("my tool.sh", "echo \"$#\"\n") + "\" a b");
  ASSERT_TRUE(byPath.FetchData(nullptr));
  EXPECT_EQ("2\n", byPath.parsedText);
}

TEST_F(FetchDataTest, FailuresNeverReachTheParser) {
  LogCapture capture;
  WriteFile(m_bin + "/plain.sh", "#!/bin/sh\necho hi\n");  // not executable
  chmod((m_bin + "/plain.sh").c_str(), 0600);
  Script("exit3.sh", "echo partial\nexit 3\n");
  Script("killed.sh", "kill -TERM $$\nsleep 5\n");
  for (const char* line : {"", "   \t ", "args.sh \"unterminated", "no-such-program-olb arg",
                           "/no/such/dir/args.sh", "./args.sh", "plain.sh", "exit3.sh",
                           "killed.sh"}) {
    ProbeCollector c(line);
    EXPECT_FALSE(c.FetchData(nullptr)) << line;
    EXPECT_EQ(0, c.parseCalls) << line;
  }
  for (const char* text : {"no command line", "unterminated quote",
                           "no-such-program-olb not found on PATH",
                           "exit3.sh exited with status 3",
                           "killed.sh was ended by signal 15"}) {
    EXPECT_TRUE(capture.Contains(text)) << text << "\n" << capture.All();
  }
  for (const auto& r : capture.records()) EXPECT_EQ("CForeignCmdExecBase::FetchData", r.context);
  ProbeCollector otherMethod("args.sh", 2);
  EXPECT_FALSE(otherMethod.FetchData(nullptr));
  ProbeCollector rejected("args.sh x");  // the parser's result is the result
  rejected.parseResult = false;
  EXPECT_FALSE(rejected.FetchData(nullptr));
  EXPECT_EQ(1, rejected.parseCalls);
}

bool GoneOrZombie(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text;
  if (!std::getline(stat, text)) return true;
  size_t paren = text.rfind(')');
  return paren != std::string::npos && paren + 2 < text.size() && text[paren + 2] == 'Z';
}

TEST_F(FetchDataTest, KillsTheWholeToolPastTheTimeLimit) {
  LogCapture capture;
  HostEnv::Get().toolTimeoutSeconds = 1;
  std::string pidFile = m_dir.file("child.pid");
  Script("slow.sh", "sleep 60 &\necho $! > " + pidFile + "\necho started\nwait\n");
  ProbeCollector c("slow.sh");
  EXPECT_FALSE(c.FetchData(nullptr));
  EXPECT_EQ(0, c.parseCalls);
  EXPECT_TRUE(capture.Contains("slow.sh ran longer than 1 s and was killed"))
      << capture.All();
  EXPECT_EQ(-1, waitpid(-1, nullptr, WNOHANG)) << "the tool was reaped";
  EXPECT_EQ(ECHILD, errno);
  // Its own child, in the same process group, was killed too.
  pid_t grandchild = static_cast<pid_t>(std::atoi(ReadFile(pidFile).c_str()));
  ASSERT_GT(grandchild, 0);
  bool gone = false;
  for (int i = 0; i < 500 && !(gone = GoneOrZombie(grandchild)); ++i) usleep(10000);
  EXPECT_TRUE(gone);
}

TEST_F(FetchDataTest, StandardErrorGoesToTheLogCappedAndWithoutDeadlock) {
  LogCapture capture;
  Script("noisy.sh", "echo row1\necho 'ORA-00001: problem' >&2\necho row2\nprintf 'last' >&2\n");
  ProbeCollector noisy("noisy.sh");
  ASSERT_TRUE(noisy.FetchData(nullptr));
  EXPECT_EQ("row1\nrow2\n", noisy.parsedText);
  EXPECT_TRUE(capture.Contains("[noisy.sh] stderr: ORA-00001: problem")) << capture.All();
  EXPECT_TRUE(capture.Contains("[noisy.sh] stderr: last")) << capture.All();

  capture.Clear();
  Script("flood.sh", "i=0\nwhile [ $i -lt 3000 ]; do\n  i=$((i+1))\n"
                     "  echo \"error line $i with some padding to fill the pipe quickly\" >&2\n"
                     "  echo \"data line $i\"\ndone\n");
  ProbeCollector flood("flood.sh");
  ASSERT_TRUE(flood.FetchData(nullptr));
  EXPECT_NE(std::string::npos, flood.parsedText.find("data line 3000\n"));
  EXPECT_TRUE(capture.Contains("more lines to standard error")) << "stderr lines are capped";
  EXPECT_LT(capture.records().size(), 400u);
}

TEST_F(FetchDataTest, ToolGetsEmptyInputAFreshPrivateOutputFileAndNoHostDescriptor) {
  std::string nested = m_dir.path() + "/deep/er/work", out = nested + "/olb_probe.txt";
  HostEnv::Get().workDir = nested;
  ASSERT_TRUE(WriteFile(m_dir.file("victim"), "keep"));
  Script("fds.sh", "cat\nfor f in /proc/$$/fd/*; do readlink \"$f\"; done\nexit 0\n");
  LogCapture capture;
  ProbeCollector first("fds.sh");  // makes the work directory, opens the log
  ASSERT_TRUE(first.FetchData(nullptr));
  EXPECT_EQ(0700, FileMode(nested));
  // A planted link is replaced, not followed; a descriptor left inheritable stays behind.
  ASSERT_EQ(0, unlink(out.c_str()));
  ASSERT_EQ(0, symlink(m_dir.file("victim").c_str(), out.c_str()));
  int leaky = open(m_dir.file("leaky").c_str(), O_WRONLY | O_CREAT, 0600);
  ASSERT_GE(leaky, 0);
  ProbeCollector c("fds.sh");
  ASSERT_TRUE(c.FetchData(nullptr));
  close(leaky);
  EXPECT_EQ("keep", ReadFile(m_dir.file("victim")));
  EXPECT_EQ(0600, FileMode(out));
  EXPECT_EQ(0u, c.parsedText.find("/dev/null\n" + out + "\n")) << c.parsedText;  // fds 0 and 1
  EXPECT_NE(std::string::npos, c.parsedText.find("\npipe:[")) << c.parsedText;     // 2: the log
  EXPECT_EQ(std::string::npos, c.parsedText.find("debug.log")) << c.parsedText;
  EXPECT_EQ(std::string::npos, c.parsedText.find("leaky")) << c.parsedText;
}

TEST_F(FetchDataTest, ScratchPathsAreUniqueInAPrivateDirectory) {
  std::string a = CForeignCmdExecBase::GetFileNameForOutput(0);
  std::string b = CForeignCmdExecBase::GetFileNameForOutput(0);
  EXPECT_NE(a, b);
  EXPECT_EQ(DirOf(a), DirOf(b));
  EXPECT_EQ(0u, a.find(WorkDir() + "/"));
  EXPECT_EQ(0700, FileMode(DirOf(a)));
  EXPECT_FALSE(FileExists(a) || FileExists(b));
  // Made again when it was removed, and anew for a new work directory.
  ASSERT_EQ(0, rmdir(DirOf(a).c_str()));
  EXPECT_EQ(0700, FileMode(DirOf(CForeignCmdExecBase::GetFileNameForOutput(0))));
  HostEnv::Get().workDir = m_dir.path() + "/other-work";
  std::string c = CForeignCmdExecBase::GetFileNameForOutput(0);
  EXPECT_EQ(0u, c.find(m_dir.path() + "/other-work/"));
  EXPECT_EQ(0700, FileMode(DirOf(c)));
}

}  // namespace
