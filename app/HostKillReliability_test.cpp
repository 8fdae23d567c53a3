// The host process killed (SIGKILL) while it writes job lists: every *.xml
// file in the output directory is complete and valid, and nothing else is
// left there but the debug log and, at most, the one file that was being
// written, under its hidden temporary name. What the killed run leaves in
// its work directory holds no password.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "app/ReliabilityTestUtil.h"

namespace {

using olbtest::ListDir;

class HostKillTest : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) const { return m_dir.file(name); }

  // olb-host on `db` into out/, in the background; TMPDIR points into the
  // scratch directory so that its default work directory can be looked at.
  pid_t StartHost(const std::string& db) {
    std::string registry = Path("registry.ini");
    EXPECT_TRUE(olbtest::WriteFile(registry, olbrel::DemoRegistry()));
    mkdir(Path("tmp").c_str(), 0700);
    std::vector<std::string> args = {olbtest::OlbHostPath(), "--registry", registry,
                                     "--datastore", db, "--out", Path("out"),
                                     "--debug-level", "30"};
    std::string tmpdir = "TMPDIR=" + Path("tmp");
    std::string stdoutPath = Path("host.out");
    std::fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
      std::vector<char*> argv;
      for (std::string& a : args) argv.push_back(&a[0]);
      argv.push_back(nullptr);
      putenv(&tmpdir[0]);
      if (freopen(stdoutPath.c_str(), "w", stdout) == nullptr) _exit(126);
      if (freopen(stdoutPath.c_str(), "a", stderr) == nullptr) _exit(126);
      execv(argv[0], argv.data());
      _exit(127);
    }
    return pid;
  }

  std::vector<std::string> JobLists() const {
    return olbrel::FilesEndingWith(Path("out"), "-ZRC.JobList.xml");
  }

  bool TempFileInOut() const {
    for (const std::string& name : ListDir(Path("out"))) {
      if (name.compare(0, 10, ".olb-dump-") == 0) return true;
    }
    return false;
  }

  olbtest::TempDir m_dir;
};

TEST_F(HostKillTest, KilledWhileWritingJobListsLeavesOnlyCompleteFiles) {
  // 20000 jobs: twenty job list files of about 4 MB each.
  std::string db = Path("dpa.db");
  std::string output;
  ASSERT_EQ(0, olbtest::RunShell("'" + olbtest::GeneratorPath() + "' --out '" + db +
                                     "' --clients 60 --policies 12 --jobs 20000 --libraries 2"
                                     " --pools 2 --seed 7",
                                 &output))
      << output;

  pid_t host = StartHost(db);
  ASSERT_GT(host, 0);
  // Wait for the first job list, then for the next one to be in the
  // making, and kill the host right then.
  bool sawJobList = false;
  bool sawTemp = false;
  int status = 0;
  bool exited = false;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  auto tempDeadline = deadline;
  while (!sawTemp && std::chrono::steady_clock::now() < tempDeadline) {
    if (waitpid(host, &status, WNOHANG) == host) {
      exited = true;
      break;
    }
    if (!sawJobList && !JobLists().empty()) {
      sawJobList = true;
      // Should no temporary file be seen, kill it anyway a little later.
      tempDeadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    }
    sawTemp = sawJobList && TempFileInOut();
    if (!sawTemp) std::this_thread::sleep_for(std::chrono::milliseconds(sawJobList ? 1 : 5));
  }
  if (!exited) {
    ASSERT_EQ(0, kill(host, SIGKILL));
    ASSERT_EQ(host, waitpid(host, &status, 0));
  }
  ASSERT_FALSE(exited) << "olb-host finished before it could be killed:\n"
                       << olbtest::ReadFile(Path("host.out"));
  ASSERT_TRUE(sawJobList) << "no job list appeared";
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);

  // Every message file is whole and valid.
  std::vector<std::string> lists = JobLists();
  EXPECT_FALSE(lists.empty());
  EXPECT_EQ("", olbrel::InvalidXmlFiles(Path("out")));
  for (const std::string& name : lists) {
    CWzMessageBase msg(0, 0);
    std::string error;
    EXPECT_TRUE(ReadMessageXmlFile(Path("out") + "/" + name, msg, &error)) << name << ": " << error;
  }

  // Besides them: the debug log, and at most the file that was being
  // written, under its temporary name.
  std::vector<std::string> temps;
  for (const std::string& name : ListDir(Path("out"))) {
    if (olbrel::EndsWith(name, ".xml") || name == "olb-debug.log") continue;
    EXPECT_EQ(0u, name.find(".olb-dump-")) << "unexpected file " << name;
    temps.push_back(name);
  }
  EXPECT_LE(temps.size(), 1u) << ::testing::PrintToString(temps);
  std::printf("killed after %zu job list files; temporary files left: %zu; caught mid-write: %s\n",
              lists.size(), temps.size(), sawTemp ? "yes" : "no");
  RecordProperty("job_lists_written", static_cast<int>(lists.size()));
  RecordProperty("temporary_files_left", static_cast<int>(temps.size()));

  // The killed run's work directory stays behind (nobody removes it); it is
  // private and holds no password.
  std::vector<std::string> left;
  olbrel::FindFiles(Path("tmp"), &left);
  for (const std::string& path : left) {
    EXPECT_EQ(std::string::npos, olbtest::ReadFile(path).find(olbrel::kDemoPassword)) << path;
  }
  for (const std::string& name : ListDir(Path("tmp"))) {
    EXPECT_EQ(0700, olbrel::ModeOf(Path("tmp") + "/" + name)) << name;
  }
  EXPECT_EQ(std::string::npos,
            olbtest::ReadFile(Path("out") + "/olb-debug.log").find(olbrel::kDemoPassword));

  // The next run into the same directory clears the leftover.
  std::string out;
  EXPECT_EQ(0, olbtest::RunShell("'" + olbtest::OlbHostPath() + "' --out '" + Path("out") +
                                     "' policies",
                                 &out))
      << out;
  EXPECT_FALSE(TempFileInOut());
}

}  // namespace
