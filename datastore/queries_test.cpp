// The plug-in's DPA 5.8 queries, run through the sqlplus stand-in on the
// demo datastore the way the plug-in runs them, give the line shapes its
// parsers read.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "datastore/ToolTestUtil.h"
#include "testsupport/TestSupport.h"

namespace {

const char kServerQuery[] =
    "select DISTINCT f_name ||',' || f_globalname from CONFIG.nodes where F_TYPE = 212";
const char kClientQuery[] = "select DISTINCT f_name || ',' from config.nodes where f_type = 515";
const char kGroupQuery[] =
    "select distinct bj.f_group_name ||','|| bj.f_client_name ||','|| bj.f_media_server ||','|| "
    "gc.f_policy_type from datamine.backupjob bj, datamine.group_config gc  where gc.f_group_name "
    "= bj.f_group_name";
const char kJobQuery[] =
    "select distinct f_group_name ||','|| bj.f_client_name ||','|| bj.f_nfiles ||','|| bj.f_jobid "
    "||','|| bj.f_sizetransferred ||','|| bj.f_storage_unit ||','|| bj.f_status ||','|| "
    "bj.f_starttime ||','|| (bj.f_endtime - bj.f_starttime) ||','|| bj.f_level from "
    "datamine.backupjob bj, config.nodes node where bj.f_group_name = node.f_name and "
    "node.f_type = 516 and bj.f_jobid is not null ";
const char kLibraryQuery[] =
    "select distinct f_device_host || ',' || f_jukebox_name || ',' || f_device_name || ',' || "
    "REPLACE(f_device_path, ',', '-') || ',' || f_device_type || ',' || f_device_class  from "
    "datamine.device_config where f_firmware <> 'Magnetic'";
const char kDiskQuery[] =
    "select DISTINCT f_pool_name ||','||  f_path ||','|| f_disk_type ||','|| f_volume_id from "
    "datamine.disk_volume_config";

std::vector<std::string> Split(const std::string& text, char sep) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t i = 0; i <= text.size(); ++i) {
    if (i == text.size() || text[i] == sep) {
      parts.push_back(text.substr(start, i - start));
      start = i + 1;
    }
  }
  return parts;
}

class DemoQueriesTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    s_dir = new olbtest::TempDir;
    ASSERT_TRUE(olbtest::CreateDatastore(s_dir->file("demo.db"), {olbtest::DemoSqlPath()}));
  }
  static void TearDownTestSuite() {
    delete s_dir;
    s_dir = nullptr;
  }

  // The lines holding a comma (the data lines), after checking that the
  // rest are blank lines and the row count.
  static std::vector<std::string> DataLines(const std::string& query, const char* options = "-S") {
    std::string script = s_dir->file("olb dpa script.sql");
    olbtest::WriteFile(script, olbdstest::PluginScript(query));
    olbdstest::Result r = olbdstest::RunSqlPlus(
        *s_dir, s_dir->file("demo.db"),
        std::string(options) + " dpa/dpa-demo-58 as SYSDBA @" + olbdstest::Sh(script));
    EXPECT_EQ(0, r.status) << r.out << r.err;
    std::vector<std::string> data;
    for (const std::string& line : Split(r.out, '\n')) {
      if (line.find(',') != std::string::npos) {
        data.push_back(line);
      } else {
        EXPECT_TRUE(line.empty() || line == std::to_string(data.size()) + " rows selected.")
            << line;
      }
      EXPECT_EQ(std::string::npos, line.find("(null)"));
      EXPECT_EQ(std::string::npos, line.find("ORA-")) << line;
    }
    return data;
  }

  static olbtest::TempDir* s_dir;
};

olbtest::TempDir* DemoQueriesTest::s_dir = nullptr;

TEST_F(DemoQueriesTest, ServerClientsAndGroups) {
  EXPECT_EQ(std::vector<std::string>{"dpa-ds01,dpa-ds01.demo.local"}, DataLines(kServerQuery));

  std::vector<std::string> clients = DataLines(kClientQuery);
  EXPECT_EQ(12u, clients.size());  // 'golf' is two nodes but one client
  EXPECT_EQ(clients.size(), std::set<std::string>(clients.begin(), clients.end()).size());
  for (const std::string& c : clients) EXPECT_EQ(',', c.back()) << c;
  EXPECT_EQ(1, std::count(clients.begin(), clients.end(), "lima,"));

  std::vector<std::string> groups = DataLines(kGroupQuery);
  std::set<std::string> set(groups.begin(), groups.end());
  for (const std::string& g : groups) EXPECT_EQ(4u, Split(g, ',').size()) << g;
  // alpha has three groups, one of them on two media servers; fs-nightly
  // protects five clients; zulu is no client; adhoc-restore has no configuration.
  for (const char* line :
       {"gold-daily,alpha,media01,Standard", "oracle-rman,alpha,media02,Oracle",
        "fs-nightly,alpha,media01,MS-Windows", "fs-nightly,alpha,media02,MS-Windows",
        "fs-nightly,echo,media02,MS-Windows", "gold-daily,zulu,media01,Standard"}) {
    EXPECT_EQ(1u, set.count(line)) << line;
  }
  EXPECT_EQ(6, std::count_if(groups.begin(), groups.end(), [](const std::string& g) {
              return g.compare(0, 11, "fs-nightly,") == 0;
            }));
  for (const std::string& g : groups) {
    EXPECT_EQ(std::string::npos, g.find("adhoc-restore")) << g;
    EXPECT_EQ(std::string::npos, g.find(",lima,")) << g;
  }
}

TEST_F(DemoQueriesTest, Jobs) {
  std::vector<std::string> jobs = DataLines(kJobQuery, "-S -S");
  EXPECT_EQ(339u, jobs.size());
  std::set<std::string> levels, statuses, units, ids;
  size_t emptyFiles = 0, emptySize = 0, emptyDuration = 0, fractional = 0;
  for (const std::string& job : jobs) {
    std::vector<std::string> f = Split(job, ',');
    ASSERT_EQ(10u, f.size()) << job;
    EXPECT_FALSE(f[3].empty()) << job;
    EXPECT_NE("legacy-nightly", f[0]);  // a group that is no node
    emptyFiles += f[2].empty();
    emptySize += f[4].empty();
    emptyDuration += f[8].empty();
    fractional += f[4].find('.') != std::string::npos;
    EXPECT_EQ(std::string::npos, f[7].find('.')) << job;
    levels.insert(f[9]);
    statuses.insert(f[6]);
    units.insert(f[5]);
    ids.insert(f[3]);
  }
  EXPECT_EQ(11u, emptyFiles);
  EXPECT_EQ(10u, emptySize);
  EXPECT_EQ(7u, emptyDuration);
  EXPECT_EQ(25u, fractional);
  EXPECT_EQ((std::set<std::string>{"Full", "Differential Incr", "Cumulative Incr", "User Backup"}),
            levels);
  EXPECT_EQ((std::set<std::string>{"success", "Success", "fail", "failed", "partial"}), statuses);
  EXPECT_EQ(
      (std::set<std::string>{"dd-pool1", "advdisk-pool2", "stu-TLD0-hcart", "stu-TLD1-hcart"}),
      units);
  // J100010 twice, J100011 also as j100011; 336 + 2 + zulu's job, 339 lines.
  EXPECT_EQ(338u, ids.size());
  EXPECT_EQ(1u, ids.count("j100011"));
  EXPECT_EQ(1u, ids.count("J200001"));
}

TEST_F(DemoQueriesTest, TapeAndDiskLibraries) {
  std::vector<std::string> drives = DataLines(kLibraryQuery);
  EXPECT_EQ(6u, drives.size());
  std::set<std::string> set(drives.begin(), drives.end());
  for (const std::string& d : drives) EXPECT_EQ(6u, Split(d, ',').size()) << d;
  EXPECT_EQ(1u, set.count("media01,TLD0,Drive1,/dev/nst0,hcart,LTO-6"));
  EXPECT_EQ(1u, set.count("media02,TLD0,DRIVE1,/dev/nst4,hcart,LTO-6"));
  EXPECT_EQ(1u, set.count("media02,TLD1,IBM.ULT3580.0,{4d36e967}-Tape0-SCSI1-0,hcart2,LTO-7"));
  EXPECT_EQ(1u, set.count("media01,tld1,QUANTUM.0,/dev/nst2,hcart3,LTO-5"));

  std::vector<std::string> volumes = DataLines(kDiskQuery);
  EXPECT_EQ(5u, volumes.size());
  std::set<std::string> pools;
  for (const std::string& v : volumes) {
    std::vector<std::string> f = Split(v, ',');
    ASSERT_EQ(4u, f.size()) << v;
    pools.insert(f[0]);
  }
  EXPECT_EQ((std::set<std::string>{"dd-pool1", "advdisk-pool2"}), pools);
  EXPECT_EQ(1, std::count(volumes.begin(), volumes.end(),
                          "dd-pool1,/dd/pool1/vol2,DataDomain,dd-pool1-vol2"));
}

}  // namespace
