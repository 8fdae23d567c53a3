// Hostile inputs and long use, in-process through the sqlplus stand-in:
// datastore content with markup, separators, control characters, invalid
// UTF-8 and 30,000 characters gives valid XML with names intact; no file
// holds the password after a run at debug level 30, and scratch files are
// private; and 20 runs write the same files while the resident size stays
// flat. (Credentials reach the tool as data, never through a shell:
// host/CmdExec_test.cpp.)
#include <set>
#include <string>
#include <vector>

#include "app/ReliabilityTestUtil.h"
#include "handler/CForeignHandlerDPA.h"
#include "host/HostEnv.h"
#include "model/MessageAccess.h"

namespace {

using H = CForeignHandlerDPA;
using olbrel::Files;
using olbtest::ReadFile;

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

// SQL expressions of hostile texts; SQLite casts X'..' blobs to any bytes.
const char* const kClients[] = {
    "'we<i>rd & \"co\" ''ltd'' ]]> &amp;'",
    "'com,ma'",
    "'DOMAIN\\host\\'",
    "CAST(X'ff41c328e282eda080efbfbf' AS TEXT)",
    "'ctl' || char(1) || char(7) || char(27) || '[0m' || char(9) || 'tab'",
    "'cr' || char(13) || 'x'",
    "'new' || char(10) || 'line'",
    "replace(hex(zeroblob(15000)), '0', 'n')",
    "'alpha'"};
const char kHostile[] = "replace(hex(zeroblob(7500)), '00', '<&\"\\,')";

std::string HostileSql() {
  std::string sql = "INSERT INTO nodes (f_name, f_globalname, f_display_name, f_type) VALUES (" +
                    std::string(kHostile) + " || char(1), 'g<l>', 'd', 212);\n";
  int n = 0;
  for (const char* group : {"'<grp>&\"x\"'", kHostile, "'plain'"}) {
    sql += "INSERT INTO nodes (f_name, f_globalname, f_display_name, f_type) VALUES (" +
           std::string(group) +
           ", 'g', 'd', 516);\nINSERT INTO group_config (f_group_name, "
           "f_policy_type, f_storage_unit, f_active) VALUES (" +
           group + ", " + kClients[4] + ", " + kClients[0] + ", 1);\n";
    for (const char* client : kClients) {
      if (n < 9) {  // the clients, once
        sql += "INSERT INTO nodes (f_name, f_globalname, f_display_name, f_type) VALUES (" +
               std::string(client) + ", 'g', 'd', 515);\n";
      }
      ++n;
      sql +=
          "INSERT INTO backupjob (f_jobid, f_group_name, f_client_name, f_media_server, "
          "f_storage_unit, f_status, f_level, f_nfiles, f_sizetransferred, f_starttime, "
          "f_endtime) VALUES ('J<" +
          std::to_string(n) + ">&', " + group + ", " + client + ", " + kClients[4] + ", " +
          (n % 2 ? kHostile : kClients[0]) + ", " + kClients[5] + ", " + kClients[3] +
          ", '12abc', " + (n % 4 ? "99999999999999999999" : "'-7'") + ", '(null)', " +
          (n % 5 ? "4294967296" : "NULL") + ");\n";
    }
  }
  sql +=
      "INSERT INTO device_config (f_device_host, f_jukebox_name, f_device_name, f_device_path,"
      " f_device_type, f_device_class, f_firmware) VALUES (" +
      std::string(kClients[0]) + ", 'lib,1', " + kClients[3] + ", 'C:\\tape\\0,x', " + kClients[4] +
      ", " + kClients[7] + ", 'LTO'), (" + kHostile + ", " + kClients[6] + ", 'd\\', " +
      kClients[5] +
      ", 't', 'c', 'x');\nINSERT INTO disk_volume_config (f_pool_name, f_path, f_disk_type, "
      "f_volume_id, f_capacity, f_used) VALUES (" +
      kClients[0] + ", 'D:\\vol\\1', " + kClients[4] + ", " + kClients[7] + ", 1, 2), (" +
      kClients[3] + ", " + kHostile + ", 'AdvancedDisk', 'v,2', 3, 4);\n";
  return sql;
}

class HostileTest : public olbtest::HostFixture {
 protected:
  void SetUp() override {
    HostFixture::SetUp();
    SetRegistry(olbrel::Registry());
  }
};

// At debug level 30, through a wrapper around the stand-in that notes the
// modes of the script, the tool's output and their directories.
TEST_F(HostileTest, HostileContentGivesValidXmlNamesIntactAndNoPasswordAnywhere) {
  ASSERT_TRUE(olbtest::WriteFile(m_dir.file("hostile.sql"), HostileSql()));
  UseDatastore({m_dir.file("hostile.sql")});
  std::string work = m_dir.file("fresh/work"), modes = m_dir.file("modes");
  HostEnv::Get().workDir = work;  // made by the host
  ASSERT_EQ(0, mkdir(m_dir.file("bin").c_str(), 0700));
  olbrel::WriteScript(m_dir.file("bin/sqlplus"),
                      "for a; do case $a in @*) s=${a#@};; esac; done\no=$(readlink /proc/$$/fd/1)"
                      "\nstat -c %a \"$s\" \"${s%/*}\" \"$o\" \"${o%/*}\" | tr '\\n' ' ' >> '" +
                          modes + "'\nexec '" + olbtest::StandInBinDir() + "/sqlplus' \"$@\"\n");
  setenv("PATH", (m_dir.file("bin") + ":" + std::getenv("PATH")).c_str(), 1);
  H handler;
  EXPECT_EQ("", RunAll(handler)) << ReadFile(HostEnv::Get().logFile).substr(0, 5000);
  EXPECT_EQ(5u, Files(OutDir(), ".xml").size());
  EXPECT_EQ("", olbrel::InvalidXmlFiles(OutDir()));
  std::string jobs = ReadFile(Files(OutDir(), "-ZRC.JobList.xml").at(0));
  EXPECT_TRUE(olbrel::Has(jobs, "J&lt;1&gt;&amp;<")) << "jobs of the markup group are written";
  std::string six;
  for (int i = 0; i < 6; ++i) six += "600 700 600 700 ";  // six tool runs
  EXPECT_EQ(six, ReadFile(modes));
  EXPECT_EQ(std::vector<std::string>{}, Files(work, ".sql"));
  EXPECT_EQ(std::vector<std::string>{}, Files(OutDir(), "", olbrel::kDemoPassword));
  EXPECT_EQ(std::vector<std::string>{}, Files(work, "", olbrel::kDemoPassword));
  std::string log = ReadFile(m_dir.file("debug.log"));
  EXPECT_TRUE(olbrel::Has(log, "L30 ") && !olbrel::Has(log, olbrel::kDemoPassword));

  // Every client name without a line end comes back byte for byte.
  App::ClientsList list;
  std::string error;
  ASSERT_TRUE(ReadMessageXmlFile(Files(OutDir(), "-App.ClientsList.xml").at(0), list, &error))
      << error;
  std::set<std::string> names;
  for (App::ClientInfo& info : *List(list, App::ClientsList::clients)) {
    App::ClientDetail* detail = FindObject(info, App::ClientInfo::detail);
    ClientEntity* entity = detail ? FindObject(*detail, App::ClientDetail::entity) : nullptr;
    if (entity != nullptr) names.insert(GetString(*entity, ClientEntity::clientName));
  }
  for (const std::string& name :
       {std::string("we<i>rd & \"co\" 'ltd' ]]> &amp;"), std::string("com,ma"),
        std::string("DOMAIN\\host\\"),
        std::string("\xff"
                    "A\xc3"
                    "(\xe2\x82\xed\xa0\x80\xef\xbf\xbf"),
        std::string("ctl\x01\x07\x1b[0m\ttab"), std::string("cr\rx"), std::string(30000, 'n')}) {
    EXPECT_EQ(1u, names.count(name)) << name.size() << " bytes: " << name.substr(0, 40);
  }
}

long ResidentKb() {
  std::string status = ReadFile("/proc/self/status");
  return std::strtol(status.c_str() + status.find("VmRSS:") + 6, nullptr, 10);
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
  for (int run = 0; run < 20; ++run) {
    ASSERT_EQ("", RunAll(handler)) << "run " << run;
    std::vector<std::string> files;
    for (const std::string& path : Files(OutDir(), ".xml")) {
      std::string name = path.substr(path.rfind('/') + 1);
      files.push_back(name.substr(name.find('-')) + ReadFile(path));
      unlink(path.c_str());
    }
    if (run == 0) first = files;
    ASSERT_TRUE(files == first) << "run " << run << " wrote other files";
    ASSERT_EQ(std::vector<std::string>{}, Files(WorkDir(), ".sql"));
    long kb = ResidentKb();
    if (run == 4) baseKb = kb;
    if (run > 4 && kb > peakKb) peakKb = kb;
  }
  std::printf("20 runs: resident %ld kB after 5, at most %ld kB after that\n", baseKb, peakKb);
  if (!kAsan) {
    EXPECT_LE(peakKb - baseKb, 4096);
  }
}

}  // namespace
