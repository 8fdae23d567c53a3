// olb-host and the plug-in as an operator meets them: every fault of a run
// (tool missing, failing, killed, hanging; disk full; host killed) with its
// reason and nothing left behind, no password anywhere; command lines, counts
// and the log; the installed tree; hostile datastore content; repeated runs.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <sstream>
#include <thread>

#include "handler/CForeignHandlerDPA.h"
#include "host/MessageXml.h"
#include "testsupport/TestSupport.h"

namespace {

using namespace olbtest;  // NOLINT(build/namespaces)
using H = CForeignHandlerDPA;

constexpr const char kDemoPassword[] = "dpa-demo-58";  // datastore/schema.sql

std::string Registry(const std::string& password = kDemoPassword) {
  return "[kRelayUnit]\nsDPAUSER=dpa\nsDPAPASSWORD=" + password + "\n";
}

struct Ran {
  int status = -1;
  std::string out;  // standard output and error
};

// olb-host with `args`, PATH and TMPDIR as given, files limited to `fsize` bytes (0: no
// limit; SIGXFSZ ignored, as on a full disk); `tail` ends the shell command (e.g. "&").
Ran RunHost(const std::vector<std::string>& args, const std::string& tmpdir,
            const std::string& path = "/usr/bin:/bin", long fsize = 0,
            const std::string& tail = "") {
  std::string cmd = "export PATH=" + ShellQuote(path) + " TMPDIR=" + ShellQuote(tmpdir) +
                    "; trap '' XFSZ; exec " +
                    (fsize ? "prlimit --fsize=" + std::to_string(fsize) + " " : "") +
                    ShellQuote(OlbHostPath());
  for (const std::string& a : args) cmd += " " + ShellQuote(a);
  Ran run;
  run.status = RunShell(cmd + tail, &run.out);
  return run;
}

// The files under `dir` whose path holds `part` and, when given, whose
// content holds `text`, one a line ("" for none).
std::string Files(const std::string& dir, const std::string& part, const std::string& text = "") {
  std::string out;
  RunShell("find " + ShellQuote(dir) + " -type f -path " + ShellQuote("*" + part + "*") +
               (text.empty() ? "" : " -exec grep -lF -e " + ShellQuote(text) + " {} +") +
               " 2>/dev/null | sort",
           &out);
  return out;
}

// The *.xml files under `dir` that do not validate, with why.
std::string InvalidXmlFiles(const std::string& dir) {
  std::string problems, error;
  std::istringstream list(Files(dir, ".xml"));
  for (std::string path; std::getline(list, path);) {
    if (!ValidateMessageXmlFile(path, "", &error)) problems += path + ": " + error + "\n";
  }
  return problems;
}

// True when `pid` is gone or a zombie; waits up to `tries` * 10 ms.
bool ProcessGone(const std::string& pid, int tries = 200) {
  for (int i = 0; i < tries; ++i) {
    std::string stat = ReadFile("/proc/" + std::to_string(std::atoi(pid.c_str())) + "/stat");
    if (stat.empty() || Has(stat, ") Z ")) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

class FaultTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* sub : {"bin", "tmp"}) ASSERT_EQ(0, mkdir(m_dir.file(sub).c_str(), 0700));
    ASSERT_TRUE(CreateDatastore(m_db, {DemoSqlPath()}));
    ASSERT_TRUE(WriteFile(m_reg, Registry()));
  }
  Ran Host(const std::vector<std::string>& args) { return RunHost(args, m_dir.file("tmp")); }
  TempDir m_dir;
  std::string m_db = m_dir.file("dpa.db"), m_reg = m_dir.file("reg.ini");
};

TEST_F(FaultTest, EveryFaultGivesItsReasonAndLeavesNothingBehind) {
  const std::string pidFile = m_dir.file("tool.pid"), childFile = m_dir.file("child.pid");
  const std::string hang = "sleep 30 &\necho $! > '" + childFile + "'\necho 'alpha,'\nwait\n";
  struct Case {
    const char* tool;    // a fake sqlplus; "" none on PATH; nullptr the stand-in
    long fullAt;         // bytes a file may hold, 0 any
    std::string ops;     // the last one fails
    const char* reason;  // in its summary line
    const char* password = kDemoPassword;
  } cases[] = {
      {"", 0, "config jobs", "sqlplus not found on PATH"},
      {nullptr, 0, "config clients",
       "sqlplus exited with status 1: ORA-01017: invalid username/password; logon denied",
       "wrong-pw-1"},
      {"for a; do case $a in dpa/*) l=$a;; esac; done\necho \"ERROR:\nORA-DPA01: not a message\n"
       "ORA-01017: invalid logon $l; logon denied\"\necho \"connect $l failed\" >&2\nexit 1\n",
       0, "config media",
       "sqlplus exited with status 1: ORA-01017: invalid logon dpa/********; logon denied | "
       "connect dpa/******** failed"},
      {"echo 'half,'\nkill -KILL $$\n", 0, "config clients",
       "sqlplus was ended by signal 9 (Killed)"},
      {hang.c_str(), 0, "config jobs", "sqlplus ran longer than 1 s and was killed"},
      // The disk full at the script, the tool's output and each message.
      {nullptr, 256, "config clients", ".sql: File too large"},
      {nullptr, 4096, "config jobs", "sqlplus was ended by signal 25 (File size limit exceeded)"},
      {nullptr, 16384, "config clients", "cannot write App.ClientsList into"},
      {nullptr, 100000, "config clients jobs", "cannot write ZRC.JobList into"},
      {nullptr, 70000, "config media", "cannot write ZRC.ForeignLibraries into"},
      {nullptr, 2048, "config policies", "cannot write ZRC.StoragePolicyList into"},
  };
  int n = 0;
  for (const Case& c : cases) {
    const std::string run = m_dir.file("run" + std::to_string(++n)), password = c.password;
    SCOPED_TRACE(run);
    ASSERT_EQ(0, mkdir(run.c_str(), 0700));
    ASSERT_TRUE(WriteFile(run + "/reg.ini", Registry(password)));
    for (const std::string& file : {pidFile, childFile}) unlink(file.c_str());
    std::string path = "/usr/bin:/bin";
    std::vector<std::string> args = {"--registry", run + "/reg.ini", "--out",          run + "/out",
                                     "--work-dir", run + "/work",    "--tool-timeout", "1"};
    if (c.tool == nullptr) {
      args.insert(args.end(), {"--datastore", m_db});
    } else if (*c.tool) {
      ASSERT_TRUE(WriteScript(m_dir.file("bin/sqlplus"), "echo $$ > '" + pidFile + "'\n" + c.tool));
      path = m_dir.file("bin") + ":" + path;
    }
    std::istringstream ops(c.ops);
    for (std::string op; ops >> op;) args.push_back(op);
    Ran r = RunHost(args, m_dir.file("tmp"), path, c.fullAt);

    EXPECT_EQ(1, r.status) << r.out;
    size_t line = r.out.find("\n" + c.ops.substr(c.ops.rfind(' ') + 1) + " ");
    ASSERT_NE(std::string::npos, line) << r.out;
    std::string summary = r.out.substr(line + 1, r.out.find('\n', line + 1) - line - 1);
    EXPECT_TRUE(Has(summary, " FAILED ") && Has(summary, c.reason)) << summary;
    EXPECT_FALSE(Has(r.out, password));
    EXPECT_EQ("", Files(run + "/out", "", password) + Files(run + "/out", "/.olb-dump-"));
    EXPECT_EQ("", InvalidXmlFiles(run + "/out"));
    // The work directory keeps the tool's output only: no script, no scratch directory.
    for (auto& name : ListDir(run + "/work")) EXPECT_EQ(0u, name.find("olb_dpa_")) << name;
    for (const std::string& file : {pidFile, childFile}) {
      EXPECT_TRUE(!FileExists(file) || ProcessGone(ReadFile(file))) << file;
    }
  }
  EXPECT_EQ(std::vector<std::string>{}, ListDir(m_dir.file("tmp")));
}

// Killed (SIGKILL) while it writes job lists: every message file is whole
// and valid; besides them the debug log and at most the one file in the
// making, under its temporary name, which the next run clears.
TEST_F(FaultTest, HostKilledWhileWritingLeavesOnlyCompleteFiles) {
  const std::string out = m_dir.file("out"), db = m_dir.file("big.db");
  std::string output;
  ASSERT_EQ(0, RunShell(ShellQuote(GeneratorPath()) + " --out " + ShellQuote(db) +
                            " --clients 60 --policies 12 --jobs 20000"
                            " --libraries 2 --pools 2 --seed 7",
                        &output))
      << output;
  const std::string pid =
      RunHost({"--registry", m_reg, "--datastore", db, "--out", out}, m_dir.file("tmp"),
              "/usr/bin:/bin", 0, " >/dev/null 2>&1 & echo $!")
          .out;
  // Wait for the first job list, then for the next one in the making (2 s at most).
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  bool sawList = false, caught = false;
  while (!caught && std::chrono::steady_clock::now() < deadline && !ProcessGone(pid, 1)) {
    if (!sawList && (sawList = Files(out, "-ZRC.JobList.xml") != "")) {
      deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    }
    caught = sawList && Files(out, "/.olb-dump-") != "";
  }
  ASSERT_EQ(0, kill(std::atoi(pid.c_str()), SIGKILL)) << "olb-host ended before it was killed";
  EXPECT_TRUE(ProcessGone(pid));
  ASSERT_TRUE(sawList);
  std::printf("killed mid-write: %s\n", caught ? "yes" : "no");

  EXPECT_EQ("", InvalidXmlFiles(out));
  std::string temp = Files(out, "/.olb-dump-");
  EXPECT_LE(std::count(temp.begin(), temp.end(), '\n'), 1);
  for (const std::string& name : ListDir(out)) {
    EXPECT_TRUE(Has(name, ".xml") || name == "olb-debug.log" || name.find(".olb-dump-") == 0)
        << name;
  }
  // The killed run's work files hold no password; the next run clears the temporary file.
  EXPECT_EQ("", Files(m_dir.file("tmp"), "", kDemoPassword));
  EXPECT_EQ(0, Host({"--out", out, "policies"}).status);
  EXPECT_EQ("", Files(out, "/.olb-dump-"));
}

TEST_F(FaultTest, CommandLinesCountsAndTheLog) {
  const std::string kTry = "\nTry 'olb-host --help' for more information.\n";
  const std::pair<std::vector<std::string>, const char*> cases[] = {
      {{"--verbose=yes"}, "unknown option '--verbose'"},
      {{"-x"}, "unknown option '-x'"},
      {{"config", "restore"}, "unknown operation 'restore'"},
      {{"--", "--out"}, "unknown operation '--out'"},
      {{"config", "--out"}, "option '--out' needs a value"},
      {{"--debug-level", "high"}, "--debug-level needs a whole number from 0 to 1000, not 'high'"},
      {{"--tool-timeout=0"}, "--tool-timeout needs a positive number of seconds, not '0'"},
      {{"--registry="}, "option '--registry' needs a non-empty value"},
  };
  for (const auto& [args, problem] : cases) {
    Ran r = Host(args);
    EXPECT_EQ(2, r.status) << problem;
    EXPECT_EQ(std::string("olb-host: ") + problem + kTry, r.out);
  }
  Ran help = Host({"config", "--help"});
  EXPECT_EQ(0, help.status);
  EXPECT_TRUE(Has(help.out, "--datastore FILE") && Has(help.out, "Exit status")) << help.out;
  // --out=DIR, options after operations, and the order given; what each
  // operation wrote, and a log of a few lines per operation and file.
  const std::string out = m_dir.file("o"), work = m_dir.file("work");
  Ran r = Host({"policies", "--registry", m_reg, "--datastore=" + m_db, "--out=" + out,
                "--work-dir", work, "--", "config", "clients", "jobs", "media"});
  EXPECT_EQ(0, r.status) << r.out;
  EXPECT_EQ(0u, r.out.find("policies  ok ")) << r.out;
  EXPECT_TRUE(FileExists(out + "/0001-ZRC.StoragePolicyList.xml"));
  // The demo: 12 clients and the server, 336 of its 339 job rows mapped.
  for (const char* counts :
       {"\nconfig    ok ", "13 clients, 26 policies  1 file",
        "336 jobs, 3 rows not written  1 file", "9 libraries, 11 drives, 5 media  2 files",
        "1 storage policies  1 file"}) {
    EXPECT_TRUE(Has(r.out, counts)) << counts << "\n" << r.out;
  }
  std::string log = ReadFile(out + "/olb-debug.log");
  EXPECT_TRUE(Has(log, "L1 olb-host: jobs      ok ")) << log;
  EXPECT_LT(std::count(log.begin(), log.end(), '\n'), 60);
  for (const std::string& name : ListDir(work)) EXPECT_EQ(0u, name.find("olb_dpa_"));
  EXPECT_EQ(std::vector<std::string>{}, ListDir(m_dir.file("tmp")));
  // A line per record at level 5.
  ASSERT_EQ(
      0, Host({"--registry", m_reg, "--datastore", m_db, "--out", out + "5", "--debug-level", "5"})
             .status);
  log = ReadFile(out + "5/olb-debug.log");
  EXPECT_GT(std::count(log.begin(), log.end(), '\n'), 500);
}

// Installed into a fresh prefix, the demo runs from there alone, the
// stand-in off PATH, the handler from libOlbDpa.so as the host loads it.
TEST_F(FaultTest, InstalledTreeRunsTheDemo) {
  const std::string prefix = m_dir.file("prefix"), host = prefix + "/bin/olb-host";
  std::string out;
  ASSERT_EQ(
      0, RunShell(
             "cmake --install '" + BinaryDir() + "' --prefix '" + prefix + "' >/dev/null && cd '" +
                 m_dir.path() + "' && PATH=/usr/bin:/bin OLB_DEMO_OUT=demo '" + prefix +
                 "/share/olb/demo.sh' && ldd '" + host + "' && nm --defined-only '" + host + "'",
             &out))
      << out;
  EXPECT_TRUE(FileExists(prefix + "/libexec/olb/bin/sqlplus"));
  EXPECT_FALSE(FileExists(prefix + "/bin/sqlplus"));
  EXPECT_TRUE(Has(out, "All 5 operations succeeded.")) << out;
  EXPECT_EQ(6u, ListDir(m_dir.file("demo")).size());
  EXPECT_TRUE(Has(out, prefix + "/bin/../lib/olb/libOlbDpa.so")) << out;
  EXPECT_FALSE(Has(out, " _ZN18CForeignHandlerDPA") || Has(out, " _ZTV18CForeignHandlerDPA"));
}

// The names of the operations that failed, "" when all succeeded.
std::string RunAll(H& h) {
  std::string failed;
  for (auto op : {&H::DiscoverConfig, &H::DiscoverClients, &H::DiscoverJobs, &H::DiscoverMedia,
                  &H::DiscoverStoragePolicies}) {
    CWzMessageBase msg(32, 0);
    if (!(h.*op)(&msg)) failed += "x";
  }
  return failed;
}

using HostileTest = HostFixture;

// At debug level 30. (The modes of the script, the tool's output and their
// directories are pinned in host/Platform_test.cpp and host/CmdExec_test.cpp.)
TEST_F(HostileTest, HostileContentGivesValidXmlNamesIntactAndNoPasswordAnywhere) {
  SetRegistry(Registry());
  UseDatastore({SourceDir() + "/app/testdata/hostile.sql"});
  const std::string work = m_dir.file("fresh/work");
  HostEnv::Get().workDir = work;  // made by the host
  H handler;
  EXPECT_EQ("", RunAll(handler)) << ReadFile(HostEnv::Get().logFile).substr(0, 5000);
  EXPECT_EQ("", InvalidXmlFiles(OutDir()));
  std::string jobs = Files(OutDir(), "-ZRC.JobList.xml");
  EXPECT_TRUE(Has(ReadFile(jobs.substr(0, jobs.find('\n'))), "J&lt;11.1&gt;&amp;<")) << jobs;
  EXPECT_EQ("", Files(work, ".sql") + Files(OutDir(), "", kDemoPassword) +
                    Files(work, "", kDemoPassword));
  std::string log = ReadFile(m_dir.file("debug.log"));
  EXPECT_TRUE(Has(log, "L30 ") && !Has(log, kDemoPassword));

  // Every client name without a line end comes back byte for byte.
  std::string described, clients = Files(OutDir(), "-App.ClientsList.xml");
  for (auto& line : DescribeDumpedFile(clients.substr(0, clients.find('\n'))))
    described += line + "\n";
  for (const std::string& name :
       std::vector<std::string>{"we<i>rd & \"co\" 'ltd' ]]> &amp;", "com,ma", "DOMAIN\\host\\",
                                "\377A\303(\342\202\355\240\200\357\277\277", "ctl\1\7\33[0m\ttab",
                                "cr\rx", std::string(30000, 'n')}) {
    EXPECT_TRUE(Has(described, ") = \"" + name + "\"\n"))
        << name.size() << " bytes: " << name.substr(0, 40);
  }
}

#ifndef __has_feature
#define __has_feature(x) 0
#endif
#if defined(__SANITIZE_ADDRESS__) || __has_feature(address_sanitizer)
constexpr bool kAsan = true;  // its quarantine grows; leaks are LeakSanitizer's
#else
constexpr bool kAsan = false;
#endif

TEST_F(HostileTest, RepeatedRunsWriteTheSameFilesAndMemoryStaysFlat) {
  SetRegistry(Registry());
  UseDatastore({DemoSqlPath()});
  HostEnv::Get().debugLevel = 1;
  H handler;
  std::vector<std::string> first;
  long baseKb = 0, peakKb = 0;
  for (int run = 0; run < 12; ++run) {
    ASSERT_EQ("", RunAll(handler)) << "run " << run;
    std::vector<std::string> files;
    for (const std::string& name : ListDir(OutDir())) {  // the message files
      files.push_back(name.substr(name.find('-')) + ReadFile(OutDir() + "/" + name));
      unlink((OutDir() + "/" + name).c_str());
    }
    if (run == 0) first = files;
    ASSERT_TRUE(files == first) << "run " << run << " wrote other files";
    ASSERT_EQ("", Files(WorkDir(), ".sql"));
    std::string status = ReadFile("/proc/self/status");
    long kb = std::strtol(status.c_str() + status.find("VmRSS:") + 6, nullptr, 10);
    if (run == 3) baseKb = kb;
    if (run > 3 && kb > peakKb) peakKb = kb;
  }
  std::printf("12 runs: resident %ld kB after 4, at most %ld kB after that\n", baseKb, peakKb);
  EXPECT_TRUE(kAsan || peakKb - baseKb <= 4096);  // the values are printed above
}

}  // namespace
