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
#include <string>
#include <thread>
#include <vector>

#include "handler/CForeignHandlerDPA.h"
#include "host/HostEnv.h"
#include "host/MessageXml.h"
#include "testsupport/TestSupport.h"

namespace {

using H = CForeignHandlerDPA;
using olbtest::ReadFile;

constexpr const char kDemoPassword[] = "dpa-demo-58";  // datastore/schema.sql

std::string Registry(const std::string& password = kDemoPassword) {
  return "[kRelayUnit]\nsDPAUSER=dpa\nsDPAPASSWORD=" + password + "\n";
}
bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}
std::string Sh(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

struct Ran {
  int status = -1;
  std::string out;  // standard output and error
};

// olb-host with `args`, PATH and TMPDIR as given, files limited to `fsize`
// bytes (0: no limit) with SIGXFSZ ignored, as a full disk; `tail` ends the
// shell command (e.g. "&" with a redirection).
Ran RunHost(const std::vector<std::string>& args, const std::string& tmpdir,
            const std::string& path = "/usr/bin:/bin", long fsize = 0,
            const std::string& tail = "") {
  std::string cmd = "export PATH=" + Sh(path) + " TMPDIR=" + Sh(tmpdir) + "; trap '' XFSZ; exec " +
                    (fsize ? "prlimit --fsize=" + std::to_string(fsize) + " " : "") +
                    Sh(olbtest::OlbHostPath());
  for (const std::string& a : args) cmd += " " + Sh(a);
  Ran run;
  run.status = olbtest::RunShell(cmd + tail, &run.out);
  return run;
}

// The files under `dir` whose path holds `part` and, when given, whose
// content holds `text`, one a line ("" for none).
std::string Files(const std::string& dir, const std::string& part, const std::string& text = "") {
  std::string out;
  olbtest::RunShell("find " + Sh(dir) + " -type f -path " + Sh("*" + part + "*") +
                        (text.empty() ? "" : " -exec grep -lF -e " + Sh(text) + " {} +") +
                        " 2>/dev/null | sort",
                    &out);
  return out;
}

// The *.xml files under `dir` that do not validate, with why.
std::string InvalidXmlFiles(const std::string& dir) {
  std::string problems, error, list = Files(dir, ".xml");
  for (size_t at = 0, end; (end = list.find('\n', at)) != std::string::npos; at = end + 1) {
    std::string path = list.substr(at, end - at);
    if (!ValidateMessageXmlFile(path, "", &error)) problems += path + ": " + error + "\n";
  }
  return problems;
}

void WriteScript(const std::string& path, const std::string& text) {
  ASSERT_TRUE(olbtest::WriteFile(path, "#!/bin/sh\n" + text)) << path;
  ASSERT_EQ(0, chmod(path.c_str(), 0755)) << path;
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
    ASSERT_TRUE(olbtest::CreateDatastore(m_db, {olbtest::DemoSqlPath()}));
    ASSERT_TRUE(olbtest::WriteFile(m_reg, Registry()));
  }
  Ran Host(const std::vector<std::string>& args) { return RunHost(args, m_dir.file("tmp")); }
  olbtest::TempDir m_dir;
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
    ASSERT_TRUE(olbtest::WriteFile(run + "/reg.ini", Registry(password)));
    unlink(pidFile.c_str());
    unlink(childFile.c_str());
    std::string path = "/usr/bin:/bin";
    std::vector<std::string> args = {"--registry", run + "/reg.ini", "--out",          run + "/out",
                                     "--work-dir", run + "/work",    "--tool-timeout", "1"};
    if (c.tool == nullptr) {
      args.insert(args.end(), {"--datastore", m_db});
    } else if (*c.tool) {
      WriteScript(m_dir.file("bin/sqlplus"), "echo $$ > '" + pidFile + "'\n" + c.tool);
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
    // The work directory keeps the tool's output only: no script, no
    // scratch directory.
    for (const std::string& name : olbtest::ListDir(run + "/work")) {
      EXPECT_EQ(0u, name.find("olb_dpa_")) << name;
    }
    for (const std::string& file : {pidFile, childFile}) {
      EXPECT_TRUE(!olbtest::FileExists(file) || ProcessGone(ReadFile(file))) << file;
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
  ASSERT_EQ(0, olbtest::RunShell(Sh(olbtest::GeneratorPath()) + " --out " + Sh(db) +
                                     " --clients 60 --policies 12 --jobs 20000"
                                     " --libraries 2 --pools 2 --seed 7",
                                 &output))
      << output;
  const std::string pid =
      RunHost({"--registry", m_reg, "--datastore", db, "--out", out}, m_dir.file("tmp"),
              "/usr/bin:/bin", 0, " >/dev/null 2>&1 & echo $!")
          .out;
  // Wait for the first job list, then for the next one in the making (two
  // seconds at most).
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  bool sawList = false, caught = false;
  auto running = [&] { return !ProcessGone(pid, 1); };
  while (!caught && std::chrono::steady_clock::now() < deadline && running()) {
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
  for (const std::string& name : olbtest::ListDir(out)) {
    EXPECT_TRUE(Has(name, ".xml") || name == "olb-debug.log" || name.find(".olb-dump-") == 0)
        << name;
  }
  // What the killed run left in its work directory holds no password; the
  // next run into the same output clears the temporary file.
  EXPECT_EQ("", Files(m_dir.file("tmp"), "", kDemoPassword));
  EXPECT_EQ(0, Host({"--out", out, "policies"}).status);
  EXPECT_EQ("", Files(out, "/.olb-dump-"));
}

TEST_F(FaultTest, CommandLinesCountsAndTheLog) {
  const std::string kTry = "\nTry 'olb-host --help' for more information.\n";
  const struct {
    std::vector<std::string> args;
    const char* problem;
  } cases[] = {
      {{"--verbose=yes"}, "unknown option '--verbose'"},
      {{"-x"}, "unknown option '-x'"},
      {{"config", "restore"}, "unknown operation 'restore'"},
      {{"--", "--out"}, "unknown operation '--out'"},
      {{"config", "--out"}, "option '--out' needs a value"},
      {{"--debug-level", "high"}, "--debug-level needs a whole number from 0 to 1000, not 'high'"},
      {{"--tool-timeout=0"}, "--tool-timeout needs a positive number of seconds, not '0'"},
      {{"--registry="}, "option '--registry' needs a non-empty value"},
  };
  for (const auto& c : cases) {
    Ran r = Host(c.args);
    EXPECT_EQ(2, r.status) << c.problem;
    EXPECT_EQ(std::string("olb-host: ") + c.problem + kTry, r.out);
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
  EXPECT_TRUE(olbtest::FileExists(out + "/0001-ZRC.StoragePolicyList.xml"));
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
  for (const std::string& name : olbtest::ListDir(work)) EXPECT_EQ(0u, name.find("olb_dpa_"));
  EXPECT_EQ(std::vector<std::string>{}, olbtest::ListDir(m_dir.file("tmp")));
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
  ASSERT_EQ(0, olbtest::RunShell("cmake --install '" + olbtest::BinaryDir() + "' --prefix '" +
                                     prefix + "' >/dev/null && cd '" + m_dir.path() +
                                     "' && PATH=/usr/bin:/bin OLB_DEMO_OUT=demo '" + prefix +
                                     "/share/olb/demo.sh' && ldd '" + host +
                                     "' && nm --defined-only '" + host + "'",
                                 &out))
      << out;
  EXPECT_TRUE(olbtest::FileExists(prefix + "/libexec/olb/bin/sqlplus"));
  EXPECT_FALSE(olbtest::FileExists(prefix + "/bin/sqlplus"));
  EXPECT_TRUE(Has(out, "All 5 operations succeeded.")) << out;
  EXPECT_EQ(6u, olbtest::ListDir(m_dir.file("demo")).size());
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

// Hostile texts (k: the clients, then the groups; s: names for some) in
// every column the operations read. SQLite casts X'..' blobs to any bytes.
const char kHostileSql[] = R"sql(
CREATE TABLE k (n INTEGER PRIMARY KEY, v TEXT);
INSERT INTO k (v) VALUES ('we<i>rd & "co" ''ltd'' ]]> &amp;'), ('com,ma'), ('DOMAIN\host\'),
  (CAST(X'ff41c328e282eda080efbfbf' AS TEXT)),
  ('ctl' || char(1) || char(7) || char(27) || '[0m' || char(9) || 'tab'), ('cr' || char(13) || 'x'),
  (replace(hex(zeroblob(15000)), '0', 'n')), ('new' || char(10) || 'line'), ('alpha'),
  (replace(hex(zeroblob(7500)), '00', '<&"\,')), ('<grp>&"x"'), ('plain');
CREATE VIEW s AS SELECT (SELECT v FROM k WHERE n = 1) m, (SELECT v FROM k WHERE n = 4) u,
  (SELECT v FROM k WHERE n = 5) c, (SELECT v FROM k WHERE n = 6) r,
  (SELECT v FROM k WHERE n = 7) l, (SELECT v FROM k WHERE n = 8) nl, (SELECT v FROM k WHERE n = 10) x;
INSERT INTO nodes (f_name, f_globalname, f_display_name, f_type)
  SELECT v, 'g', 'd', CASE WHEN n < 10 THEN 515 ELSE 516 END FROM k
  UNION ALL SELECT x || char(1), 'g<l>', 'd', 212 FROM s;
INSERT INTO group_config (f_group_name, f_policy_type, f_storage_unit, f_active)
  SELECT v, c, m, 1 FROM k, s WHERE n >= 10;
INSERT INTO backupjob (f_jobid, f_group_name, f_client_name, f_media_server, f_storage_unit,
  f_status, f_level, f_nfiles, f_sizetransferred, f_starttime, f_endtime)
  SELECT 'J<' || g.n || '.' || j.n || '>&', g.v, j.v, c, CASE j.n % 2 WHEN 1 THEN x ELSE m END,
  r, u, '12abc', CASE WHEN (g.n + j.n) % 4 THEN 99999999999999999999 ELSE '-7' END, '(null)',
  CASE WHEN (g.n + j.n) % 5 THEN 4294967296 END FROM k g, k j, s WHERE g.n >= 10 AND j.n < 10;
INSERT INTO device_config (f_device_host, f_jukebox_name, f_device_name, f_device_path,
  f_device_type, f_device_class, f_firmware) SELECT m, 'lib,1', u, 'C:\tape\0,x', c, l, 'LTO'
  FROM s UNION ALL SELECT x, nl, 'd\', r, 't', 'c', 'x' FROM s;
INSERT INTO disk_volume_config (f_pool_name, f_path, f_disk_type, f_volume_id, f_capacity, f_used)
  SELECT m, 'D:\vol\1', c, l, 1, 2 FROM s UNION ALL SELECT u, x, 'AdvancedDisk', 'v,2', 3, 4 FROM s;
)sql";

class HostileTest : public olbtest::HostFixture {
 protected:
  void SetUp() override {
    HostFixture::SetUp();
    SetRegistry(Registry());
  }
};

// At debug level 30, through a wrapper around the stand-in that notes the
// modes of the script, the tool's output and their directories.
TEST_F(HostileTest, HostileContentGivesValidXmlNamesIntactAndNoPasswordAnywhere) {
  ASSERT_TRUE(olbtest::WriteFile(m_dir.file("hostile.sql"), kHostileSql));
  UseDatastore({m_dir.file("hostile.sql")});
  std::string work = m_dir.file("fresh/work"), modes = m_dir.file("modes");
  HostEnv::Get().workDir = work;  // made by the host
  ASSERT_EQ(0, mkdir(m_dir.file("bin").c_str(), 0700));
  WriteScript(m_dir.file("bin/sqlplus"),
              "for a; do case $a in @*) s=${a#@};; esac; done\no=$(readlink /proc/$$/fd/1)"
              "\nstat -c %a \"$s\" \"${s%/*}\" \"$o\" \"${o%/*}\" | tr '\\n' ' ' >> '" +
                  modes + "'\nexec '" + olbtest::StandInBinDir() + "/sqlplus' \"$@\"\n");
  setenv("PATH", (m_dir.file("bin") + ":" + std::getenv("PATH")).c_str(), 1);
  H handler;
  EXPECT_EQ("", RunAll(handler)) << ReadFile(HostEnv::Get().logFile).substr(0, 5000);
  EXPECT_EQ("", InvalidXmlFiles(OutDir()));
  std::string jobs = Files(OutDir(), "-ZRC.JobList.xml");
  EXPECT_TRUE(Has(ReadFile(jobs.substr(0, jobs.find('\n'))), "J&lt;11.1&gt;&amp;<")) << jobs;
  std::string six;
  for (int i = 0; i < 6; ++i) six += "600 700 600 700 ";  // six tool runs
  EXPECT_EQ(six, ReadFile(modes));
  EXPECT_EQ("", Files(work, ".sql") + Files(OutDir(), "", kDemoPassword) +
                    Files(work, "", kDemoPassword));
  std::string log = ReadFile(m_dir.file("debug.log"));
  EXPECT_TRUE(Has(log, "L30 ") && !Has(log, kDemoPassword));

  // Every client name without a line end comes back byte for byte.
  std::string described, clients = Files(OutDir(), "-App.ClientsList.xml");
  for (const std::string& line :
       olbtest::DescribeDumpedFile(clients.substr(0, clients.find('\n')))) {
    described += line + "\n";
  }
  for (const std::string& name :
       {std::string("we<i>rd & \"co\" 'ltd' ]]> &amp;"), std::string("com,ma"),
        std::string("DOMAIN\\host\\"),
        std::string("\xff"
                    "A\xc3"
                    "(\xe2\x82\xed\xa0\x80\xef\xbf\xbf"),
        std::string("ctl\x01\x07\x1b[0m\ttab"), std::string("cr\rx"), std::string(30000, 'n')}) {
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
  UseDatastore({olbtest::DemoSqlPath()});
  HostEnv::Get().debugLevel = 1;
  H handler;
  std::vector<std::string> first;
  long baseKb = 0, peakKb = 0;
  for (int run = 0; run < 12; ++run) {
    ASSERT_EQ("", RunAll(handler)) << "run " << run;
    std::vector<std::string> files;
    for (const std::string& name : olbtest::ListDir(OutDir())) {
      if (!Has(name, ".xml")) continue;
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
  if (!kAsan) {
    EXPECT_LE(peakKb - baseKb, 4096);
  }
}

}  // namespace
