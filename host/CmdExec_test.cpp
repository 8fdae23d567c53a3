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

int FileMode(const std::string& path) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) return -1;
  return static_cast<int>(st.st_mode & 07777);
}

// ---- SplitLine ----

std::vector<std::string> Split(const std::string& line, char sep = ',', char esc = '\\') {
  std::vector<std::string> fields{"stale", "values", "from", "before"};
  CForeignCmdExecBase::SplitLine(line, fields, sep, esc, '\0', '\0');
  return fields;
}

using Fields = std::vector<std::string>;

TEST(SplitLineTest, SeparatorsMakeFieldsAndEmptyLinesNone) {
  EXPECT_EQ(Fields{}, Split(""));
  EXPECT_EQ((Fields{"a"}), Split("a"));
  EXPECT_EQ((Fields{"a", "b", "c"}), Split("a,b,c"));
  EXPECT_EQ((Fields{"a", ""}), Split("a,"));
  EXPECT_EQ((Fields{"", ""}), Split(","));
  EXPECT_EQ((Fields{"", "a"}), Split(",a"));
  EXPECT_EQ((Fields{"a", "", "", "b"}), Split("a,,,b"));
  EXPECT_EQ((Fields{" a ", " "}), Split(" a , "));
  EXPECT_EQ((Fields{"a;b", "c"}), Split("a;b|c", '|'));
}

TEST(SplitLineTest, EscapeTakesTheNextCharacterLiterally) {
  EXPECT_EQ((Fields{"a,b", "c"}), Split("a\\,b,c"));
  EXPECT_EQ((Fields{"a\\", "b"}), Split("a\\\\,b"));
  EXPECT_EQ((Fields{"xnz"}), Split("x\\nz"));
  EXPECT_EQ((Fields{"a", "b\\"}), Split("a,b\\"));
  EXPECT_EQ((Fields{"\\"}), Split("\\"));
  EXPECT_EQ((Fields{","}), Split("\\,"));
  EXPECT_EQ((Fields{"", ","}), Split(",\\,"));
  // An escape that equals the separator escapes nothing.
  EXPECT_EQ((Fields{"a", "b"}), Split("a,b", ',', ','));
}

TEST(SplitLineTest, KeepsWorkingWhenTheVectorIsReused) {
  std::vector<std::string> fields;
  CForeignCmdExecBase::SplitLine("1,2,3,4,5", fields, ',', '\\', 0, 0);
  ASSERT_EQ(5u, fields.size());
  CForeignCmdExecBase::SplitLine("x,y", fields, ',', '\\', 0, 0);
  EXPECT_EQ((Fields{"x", "y"}), fields);
  CForeignCmdExecBase::SplitLine("a long field that needs its own buffer,z,w", fields, ',',
                                 '\\', 0, 0);
  EXPECT_EQ((Fields{"a long field that needs its own buffer", "z", "w"}), fields);
  CForeignCmdExecBase::SplitLine("", fields, ',', '\\', 0, 0);
  EXPECT_TRUE(fields.empty());
}

// ---- FetchData ----

// A collector that runs a given command line and records what its parser
// was handed.
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
  std::string parsedPath;
  std::string parsedText;
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

  // Writes an executable /bin/sh script named `name` into the test's bin/.
  std::string Script(const std::string& name, const std::string& body) {
    std::string path = m_bin + "/" + name;
    EXPECT_TRUE(WriteFile(path, "#!/bin/sh\n" + body));
    chmod(path.c_str(), 0700);
    return path;
  }

  std::string OutputPath() const { return WorkDir() + "/olb_probe.txt"; }

  std::string m_bin;
};

TEST_F(FetchDataTest, SplitsArgumentsItselfWithQuotesGrouping) {
  ProbeCollector c("args.sh plain  \"two words\"\t@\"/a b/c.sql\" x\"\"y \"\" end");
  int container = 0;
  ASSERT_TRUE(c.FetchData(&container));
  EXPECT_EQ(1, c.parseCalls);
  EXPECT_EQ(&container, c.parsedOut);
  EXPECT_EQ(OutputPath(), c.parsedPath);
  EXPECT_EQ(OutputPath(), c.lastOutputPath());
  EXPECT_EQ("[plain]\n[two words]\n[@/a b/c.sql]\n[xy]\n[]\n[end]\n", c.parsedText);
}

TEST_F(FetchDataTest, RunsNoShell) {
  std::string marker = m_dir.file("x");
  ProbeCollector c("args.sh \"; touch " + marker + "; \" $(touch " + marker + ") `id` | cat");
  ASSERT_TRUE(c.FetchData(nullptr));
  EXPECT_FALSE(FileExists(marker));
  EXPECT_EQ("[; touch " + marker + "; ]\n[$(touch]\n[" + marker + ")]\n[`id`]\n[|]\n[cat]\n",
            c.parsedText);
}

TEST_F(FetchDataTest, NeverLogsTheCommandLine) {
  LogCapture capture;
  ProbeCollector c("args.sh -S dpa/s3cretPw as SYSDBA @\"script.sql\"");
  ASSERT_TRUE(c.FetchData(nullptr));
  EXPECT_TRUE(capture.Contains("Running [args.sh] with [5] arguments")) << capture.All();
  EXPECT_EQ(std::string::npos, capture.All().find("s3cretPw")) << capture.All();
  EXPECT_EQ(std::string::npos, ReadFile(m_dir.file("debug.log")).find("s3cretPw"));
}

TEST_F(FetchDataTest, BadCommandLinesFailWithoutParsing) {
  LogCapture capture;
  for (const char* line : {"", "   \t ", "args.sh \"unterminated", "no-such-program-olb arg",
                           "/no/such/dir/args.sh", "./args.sh"}) {
    ProbeCollector c(line);
    EXPECT_FALSE(c.FetchData(nullptr)) << line;
    EXPECT_EQ(0, c.parseCalls) << line;
  }
  EXPECT_TRUE(capture.Contains("No command line")) << capture.All();
  EXPECT_TRUE(capture.Contains("unterminated quote")) << capture.All();
  EXPECT_TRUE(capture.Contains("Program [no-such-program-olb] not found")) << capture.All();
  for (const auto& r : capture.records()) {
    EXPECT_EQ("CForeignCmdExecBase::FetchData", r.context);
  }
  ProbeCollector other("args.sh", 2);
  EXPECT_FALSE(other.FetchData(nullptr));
  // A file that is not executable is not a program either.
  WriteFile(m_bin + "/plain.sh", "#!/bin/sh\necho hi\n");
  chmod((m_bin + "/plain.sh").c_str(), 0600);
  ProbeCollector plain("plain.sh");
  EXPECT_FALSE(plain.FetchData(nullptr));
}

TEST_F(FetchDataTest, RunsAProgramNamedByPath) {
  std::string path = Script("my tool.sh", "echo \"$#\"\n");
  ProbeCollector c("\"" + path + "\" a b");
  ASSERT_TRUE(c.FetchData(nullptr));
  EXPECT_EQ("2\n", c.parsedText);
}

TEST_F(FetchDataTest, FailsOnNonZeroExitOrSignal) {
  LogCapture capture;
  Script("exit3.sh", "echo partial\nexit 3\n");
  Script("killed.sh", "kill -TERM $$\nsleep 5\n");
  ProbeCollector exited("exit3.sh");
  EXPECT_FALSE(exited.FetchData(nullptr));
  EXPECT_EQ(0, exited.parseCalls);
  EXPECT_TRUE(capture.Contains("[exit3.sh] exited with status [3]")) << capture.All();
  ProbeCollector signalled("killed.sh");
  EXPECT_FALSE(signalled.FetchData(nullptr));
  EXPECT_EQ(0, signalled.parseCalls);
  EXPECT_TRUE(capture.Contains("[killed.sh] was ended by signal [15]")) << capture.All();
}

TEST_F(FetchDataTest, ParserResultIsTheResult) {
  ProbeCollector c("args.sh x");
  c.parseResult = false;
  EXPECT_FALSE(c.FetchData(nullptr));
  EXPECT_EQ(1, c.parseCalls);
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
  EXPECT_TRUE(capture.Contains("[slow.sh] ran longer than [1] seconds and was killed"))
      << capture.All();
  // The tool itself was reaped: this process has no child left.
  EXPECT_EQ(-1, waitpid(-1, nullptr, WNOHANG));
  EXPECT_EQ(ECHILD, errno);
  // Its own child, in the same process group, was killed too.
  pid_t grandchild = static_cast<pid_t>(std::atoi(ReadFile(pidFile).c_str()));
  ASSERT_GT(grandchild, 0);
  bool gone = false;
  for (int i = 0; i < 500 && !gone; ++i) {
    gone = GoneOrZombie(grandchild);
    if (!gone) usleep(10000);
  }
  EXPECT_TRUE(gone);
}

TEST_F(FetchDataTest, StandardErrorGoesToTheLogWhileOutputGoesToTheFile) {
  LogCapture capture;
  Script("noisy.sh",
         "echo row1\necho 'ORA-00001: problem one' >&2\necho row2\nprintf 'last words' >&2\n");
  ProbeCollector c("noisy.sh");
  ASSERT_TRUE(c.FetchData(nullptr));
  EXPECT_EQ("row1\nrow2\n", c.parsedText);
  EXPECT_TRUE(capture.Contains("[noisy.sh] stderr: ORA-00001: problem one")) << capture.All();
  EXPECT_TRUE(capture.Contains("[noisy.sh] stderr: last words")) << capture.All();
}

TEST_F(FetchDataTest, LargeOutputOnBothStreamsDoesNotDeadlock) {
  LogCapture capture;
  HostEnv::Get().toolTimeoutSeconds = 120;
  Script("flood.sh",
         "i=0\nwhile [ $i -lt 3000 ]; do\n"
         "  echo \"error line $i with some padding to fill the pipe quickly\" >&2\n"
         "  echo \"data line $i\"\n  i=$((i+1))\ndone\n");
  ProbeCollector c("flood.sh");
  ASSERT_TRUE(c.FetchData(nullptr));
  EXPECT_NE(std::string::npos, c.parsedText.find("data line 2999\n"));
  EXPECT_TRUE(capture.Contains("more lines to standard error")) << "stderr lines are capped";
  EXPECT_LT(capture.records().size(), 400u);
}

TEST_F(FetchDataTest, OutputFileIsFreshAndPrivateAndWorkDirIsMade) {
  std::string nested = m_dir.path() + "/deep/er/work";
  HostEnv::Get().workDir = nested;
  std::string out = nested + "/olb_probe.txt";
  Script("cat.sh", "cat\necho done\n");  // standard input is empty
  ProbeCollector c("cat.sh");
  ASSERT_TRUE(c.FetchData(nullptr));
  EXPECT_EQ(0700, FileMode(nested));
  EXPECT_EQ(0600, FileMode(out));
  EXPECT_EQ("done\n", c.parsedText);

  // An earlier file, open to others, and a planted link are both replaced.
  ASSERT_EQ(0, unlink(out.c_str()));
  ASSERT_TRUE(WriteFile(m_dir.file("victim"), "keep"));
  ASSERT_EQ(0, symlink(m_dir.file("victim").c_str(), out.c_str()));
  ASSERT_TRUE(c.FetchData(nullptr));
  EXPECT_EQ("keep", ReadFile(m_dir.file("victim")));
  EXPECT_EQ(0600, FileMode(out));
  EXPECT_EQ("done\n", ReadFile(out));
}

TEST_F(FetchDataTest, HostDescriptorsAreNotInherited) {
  Script("fds.sh", "for f in /proc/$$/fd/*; do readlink \"$f\"; done\nexit 0\n");
  LogCapture capture;
  ProbeCollector first("args.sh warm-up");  // opens the log file
  ASSERT_TRUE(first.FetchData(nullptr));
  // Someone else in the process left a descriptor inheritable.
  int leaky = open(m_dir.file("leaky").c_str(), O_WRONLY | O_CREAT, 0600);
  ASSERT_GE(leaky, 0);
  ProbeCollector c("fds.sh");
  ASSERT_TRUE(c.FetchData(nullptr));
  close(leaky);
  EXPECT_EQ(std::string::npos, c.parsedText.find("debug.log")) << c.parsedText;
  EXPECT_EQ(std::string::npos, c.parsedText.find("leaky")) << c.parsedText;
  EXPECT_NE(std::string::npos, c.parsedText.find("/dev/null")) << c.parsedText;
}

// ---- GetFileNameForOutput ----

TEST_F(FetchDataTest, ScratchPathsAreUniqueInAPrivateDirectory) {
  std::string a = CForeignCmdExecBase::GetFileNameForOutput(0);
  std::string b = CForeignCmdExecBase::GetFileNameForOutput(0);
  EXPECT_NE(a, b);
  std::string dir = a.substr(0, a.rfind('/'));
  EXPECT_EQ(dir, b.substr(0, b.rfind('/')));
  EXPECT_EQ(0u, dir.find(WorkDir() + "/"));
  EXPECT_EQ(0700, FileMode(dir));
  EXPECT_FALSE(FileExists(a));
  EXPECT_FALSE(FileExists(b));

  // A new work directory gets its own scratch directory.
  std::string other = m_dir.path() + "/other-work";
  HostEnv::Get().workDir = other;
  std::string c = CForeignCmdExecBase::GetFileNameForOutput(0);
  EXPECT_EQ(0u, c.find(other + "/"));
  EXPECT_EQ(0700, FileMode(c.substr(0, c.rfind('/'))));
  EXPECT_NE(a.substr(a.rfind('/')), c.substr(c.rfind('/')));
}

TEST_F(FetchDataTest, ScratchDirectoryIsRemadeWhenItWasRemoved) {
  std::string a = CForeignCmdExecBase::GetFileNameForOutput(0);
  std::string dir = a.substr(0, a.rfind('/'));
  ASSERT_EQ(0, rmdir(dir.c_str()));
  std::string b = CForeignCmdExecBase::GetFileNameForOutput(0);
  EXPECT_EQ(0700, FileMode(b.substr(0, b.rfind('/'))));
}

}  // namespace
