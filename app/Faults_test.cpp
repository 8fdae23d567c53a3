// Faults of a run, each through olb-host on the demo datastore: the SQL tool
// missing, refusing the logon, failing while echoing the password, killed
// or hanging with a child; the disk full (a file size limit) at each point
// that writes; and the host killed while it writes. The operation's summary
// line gives the reason; no password shows anywhere; no tool is left
// running; no script, scratch directory, partial or temporary file is left.
#include <string>
#include <vector>

#include "app/ReliabilityTestUtil.h"

namespace {

using olbrel::Has;

class FaultTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* sub : {"bin", "tmp"}) ASSERT_EQ(0, mkdir(m_dir.file(sub).c_str(), 0700));
    ASSERT_TRUE(olbtest::CreateDatastore(m_dir.file("dpa.db"), {olbtest::DemoSqlPath()}));
  }
  olbtest::TempDir m_dir;
};

TEST_F(FaultTest, EveryFaultGivesItsReasonAndLeavesNothingBehind) {
  const std::string pidFile = m_dir.file("tool.pid"), childFile = m_dir.file("child.pid");
  const std::string hang = "sleep 30 &\necho $! > '" + childFile + "'\necho 'alpha,'\nwait\n";
  const rlim_t kRoom = RLIM_INFINITY;
  struct Case {
    const char* name;
    const char* tool;  // a fake sqlplus; "" none on PATH; nullptr the stand-in
    rlim_t fullAt;
    const char* ops;     // the last one fails
    const char* reason;  // in its summary line
    const char* password = olbrel::kDemoPassword;
  } cases[] = {
      {"missing", "", kRoom, "config jobs", "sqlplus not found on PATH"},
      {"wrong password", nullptr, kRoom, "config clients",
       "sqlplus exited with status 1: ORA-01017: invalid username/password; logon denied",
       "wrong-pw-1"},
      {"echoes the password",
       "for a; do case $a in dpa/*) l=$a;; esac; done\necho \"ERROR:\nORA-DPA01: not a message\n"
       "ORA-01017: invalid logon $l; logon denied\"\necho \"connect $l failed\" >&2\nexit 1\n",
       kRoom, "config media",
       "sqlplus exited with status 1: ORA-01017: invalid logon dpa/********; logon denied | "
       "connect dpa/******** failed"},
      {"killed", "echo 'half,'\nkill -KILL $$\n", kRoom, "config clients",
       "sqlplus was ended by signal 9 (Killed)"},
      {"hangs", hang.c_str(), kRoom, "config jobs", "sqlplus ran longer than 1 s and was killed"},
      {"full at the script", nullptr, 256, "config clients", ".sql: File too large"},
      {"full at the tool's output", nullptr, 4096, "config jobs",
       "sqlplus was ended by signal 25 (File size limit exceeded)"},
      {"full at the client list", nullptr, 16384, "config clients",
       "cannot write App.ClientsList into"},
      {"full at a job list", nullptr, 100000, "config clients jobs",
       "cannot write ZRC.JobList into"},
      {"full at the libraries", nullptr, 70000, "config media",
       "cannot write ZRC.ForeignLibraries into"},
      {"full at the policies", nullptr, 2048, "config policies",
       "cannot write ZRC.StoragePolicyList into"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string run = m_dir.file(std::string("run-") + c.name);
    ASSERT_EQ(0, mkdir(run.c_str(), 0700));
    const std::string password = c.password;
    ASSERT_TRUE(olbtest::WriteFile(run + "/reg.ini", olbrel::Registry(password)));
    unlink(pidFile.c_str());
    unlink(childFile.c_str());
    std::string path = "/usr/bin:/bin";
    std::vector<std::string> args = {"--registry", run + "/reg.ini", "--out",          run + "/out",
                                     "--work-dir", run + "/work",    "--tool-timeout", "1"};
    if (c.tool == nullptr) {
      args.insert(args.end(), {"--datastore", m_dir.file("dpa.db")});
    } else if (*c.tool) {
      olbrel::WriteScript(m_dir.file("bin/sqlplus"), "echo $$ > '" + pidFile + "'\n" + c.tool);
      path = m_dir.file("bin") + ":" + path;
    }
    std::string ops = c.ops, last = ops.substr(ops.rfind(' ') + 1);
    for (size_t at = 0, end; at != std::string::npos; at = end == ops.npos ? end : end + 1) {
      args.push_back(ops.substr(at, (end = ops.find(' ', at)) - at));
    }
    olbrel::Run r = olbrel::Host(args, m_dir.file("tmp"), path, c.fullAt);

    EXPECT_EQ(1, r.status) << r.out;
    size_t line = r.out.find("\n" + last + " ");
    ASSERT_NE(std::string::npos, line) << r.out;
    std::string summary = r.out.substr(line + 1, r.out.find('\n', line + 1) - line - 1);
    EXPECT_TRUE(Has(summary, " FAILED ")) << summary;
    EXPECT_TRUE(Has(summary, c.reason)) << summary;
    EXPECT_FALSE(Has(r.out, password));
    EXPECT_EQ(std::vector<std::string>{}, olbrel::Files(run + "/out", "", password));
    EXPECT_EQ(std::vector<std::string>{}, olbrel::Files(run + "/out", "/.olb-dump-"));
    EXPECT_EQ("", olbrel::InvalidXmlFiles(run + "/out"));
    // The work directory keeps the tool's output only: no script, no
    // scratch directory.
    for (const std::string& name : olbtest::ListDir(run + "/work")) {
      EXPECT_EQ(0u, name.find("olb_dpa_")) << name;
    }
    for (const std::string& file : {pidFile, childFile}) {
      if (olbtest::FileExists(file)) {
        EXPECT_TRUE(olbrel::ProcessGone(std::atoi(olbtest::ReadFile(file).c_str()))) << file;
      }
    }
  }
  EXPECT_EQ(std::vector<std::string>{}, olbtest::ListDir(m_dir.file("tmp")));
}

// Killed (SIGKILL) while it writes job lists: every message file is whole
// and valid; besides them the debug log and at most the one file in the
// making, under its temporary name, which the next run clears.
TEST_F(FaultTest, HostKilledWhileWritingLeavesOnlyCompleteFiles) {
  const std::string out = m_dir.file("out"), db = m_dir.file("big.db");
  std::string output;
  ASSERT_EQ(0, olbtest::RunShell("'" + olbtest::GeneratorPath() + "' --out '" + db +
                                     "' --clients 60 --policies 12 --jobs 20000 --libraries 2"
                                     " --pools 2 --seed 7",
                                 &output))
      << output;
  ASSERT_TRUE(olbtest::WriteFile(m_dir.file("reg.ini"), olbrel::Registry()));
  int fd = -1;
  pid_t host = olbrel::Start(olbtest::OlbHostPath(),
                             {"--registry", m_dir.file("reg.ini"), "--datastore", db, "--out", out},
                             "/usr/bin:/bin", m_dir.file("tmp"), &fd);
  ASSERT_GT(host, 0);
  auto inTheMaking = [&] { return !olbrel::Files(out, "/.olb-dump-").empty(); };
  // Wait for the first job list, then for the next one in the making (two
  // seconds at most).
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  bool sawList = false, caught = false;
  while (!caught && std::chrono::steady_clock::now() < deadline &&
         waitpid(host, nullptr, WNOHANG) == 0) {
    if (!sawList && (sawList = !olbrel::Files(out, "-ZRC.JobList.xml").empty())) {
      deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    }
    caught = sawList && inTheMaking();
  }
  ASSERT_EQ(0, kill(host, SIGKILL)) << "olb-host ended before it could be killed";
  EXPECT_EQ(128 + SIGKILL, olbrel::Finish(host, fd).status);
  ASSERT_TRUE(sawList);

  EXPECT_EQ("", olbrel::InvalidXmlFiles(out));
  EXPECT_LE(olbrel::Files(out, "/.olb-dump-").size(), 1u);
  for (const std::string& name : olbtest::ListDir(out)) {
    EXPECT_TRUE(Has(name, ".xml") || name == "olb-debug.log" || name.find(".olb-dump-") == 0)
        << name;
  }
  std::printf("killed after %zu job lists, caught mid-write: %s\n",
              olbrel::Files(out, "-ZRC.JobList.xml").size(), caught ? "yes" : "no");
  // What the killed run left in its work directory is private and holds no
  // password; the next run into the same output clears the temporary file.
  EXPECT_EQ(std::vector<std::string>{},
            olbrel::Files(m_dir.file("tmp"), "", olbrel::kDemoPassword));
  EXPECT_EQ(0, olbrel::Host({"--out", out, "policies"}, m_dir.file("tmp")).status);
  EXPECT_FALSE(inTheMaking());
}

}  // namespace
