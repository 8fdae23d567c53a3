// The host process killed (SIGKILL) while it writes job lists: every *.xml
// file in the output directory is complete and valid, nothing else is left
// there but the debug log and at most the one file being written, under its
// hidden temporary name, which the next run into the same directory clears.
// What the killed run leaves in its work directory is private and holds no
// password.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "app/ReliabilityTestUtil.h"

namespace {

TEST(HostKillTest, KilledWhileWritingJobListsLeavesOnlyCompleteFiles) {
  olbtest::TempDir dir;
  const std::string out = dir.file("out"), tmp = dir.file("tmp"), db = dir.file("dpa.db");
  auto tempFileInOut = [&] {
    for (const std::string& name : olbtest::ListDir(out)) {
      if (name.compare(0, 10, ".olb-dump-") == 0) return true;
    }
    return false;
  };
  // 20000 jobs: twenty job list files of about 4 MB each.
  std::string output;
  ASSERT_EQ(0, olbtest::RunShell("'" + olbtest::GeneratorPath() + "' --out '" + db +
                                     "' --clients 60 --policies 12 --jobs 20000 --libraries 2"
                                     " --pools 2 --seed 7",
                                 &output))
      << output;
  ASSERT_TRUE(olbtest::WriteFile(dir.file("registry.ini"), olbrel::DemoRegistry()));
  ASSERT_EQ(0, mkdir(tmp.c_str(), 0700));

  // olb-host in the background, its default work directory under tmp/.
  std::vector<std::string> args = {olbtest::OlbHostPath(), "--registry", dir.file("registry.ini"),
                                   "--datastore", db, "--out", out, "--debug-level", "30"};
  std::string tmpdir = "TMPDIR=" + tmp, log = dir.file("host.out");
  std::fflush(nullptr);
  pid_t host = fork();
  ASSERT_GE(host, 0);
  if (host == 0) {
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    putenv(&tmpdir[0]);
    if (!freopen(log.c_str(), "w", stdout) || !freopen(log.c_str(), "a", stderr)) _exit(126);
    execv(argv[0], argv.data());
    _exit(127);
  }

  // Wait for the first job list, then for the next one to be in the making
  // (or two seconds at most), and kill the host right then.
  bool sawJobList = false, sawTemp = false, exited = false;
  int status = 0;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!sawTemp && std::chrono::steady_clock::now() < deadline) {
    if (waitpid(host, &status, WNOHANG) == host) {
      exited = true;
      break;
    }
    if (!sawJobList && !olbrel::Files(out, "-ZRC.JobList.xml").empty()) {
      sawJobList = true;
      deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    }
    sawTemp = sawJobList && tempFileInOut();
    if (!sawTemp) std::this_thread::sleep_for(std::chrono::milliseconds(sawJobList ? 1 : 5));
  }
  if (!exited) {
    ASSERT_EQ(0, kill(host, SIGKILL));
    ASSERT_EQ(host, waitpid(host, &status, 0));
  }
  ASSERT_FALSE(exited) << "olb-host finished before it could be killed:\n"
                       << olbtest::ReadFile(log);
  ASSERT_TRUE(sawJobList) << "no job list appeared";
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);

  // Every message file is whole and valid; besides them only the debug log
  // and at most one temporary file.
  std::vector<std::string> lists = olbrel::Files(out, "-ZRC.JobList.xml");
  EXPECT_FALSE(lists.empty());
  EXPECT_EQ("", olbrel::InvalidXmlFiles(out));
  int temps = 0;
  for (const std::string& name : olbtest::ListDir(out)) {
    if (olbrel::EndsWith(name, ".xml") || name == "olb-debug.log") continue;
    EXPECT_EQ(0u, name.find(".olb-dump-")) << "unexpected file " << name;
    ++temps;
  }
  EXPECT_LE(temps, 1);
  std::printf("killed after %zu job list files; temporary files left: %d; caught mid-write: %s\n",
              lists.size(), temps, sawTemp ? "yes" : "no");

  // The leftover work directory (nobody removes it) is private; neither it
  // nor the debug log holds the password.
  EXPECT_EQ(std::vector<std::string>{}, olbrel::Files(tmp, "", olbrel::kDemoPassword));
  EXPECT_EQ(std::vector<std::string>{}, olbrel::Files(out, "", olbrel::kDemoPassword));
  for (const std::string& name : olbtest::ListDir(tmp)) {
    EXPECT_EQ(0700, olbrel::ModeOf(tmp + "/" + name)) << name;
  }

  // The next run into the same directory clears the leftover.
  EXPECT_EQ(0, olbtest::RunShell("'" + olbtest::OlbHostPath() + "' --out '" + out + "' policies",
                                 &output))
      << output;
  EXPECT_FALSE(tempFileInOut());
}

}  // namespace
