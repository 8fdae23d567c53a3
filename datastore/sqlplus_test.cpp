// The sqlplus stand-in as the plug-in and a user see it: its output for rows,
// pages, feedback, NULLs and numbers, its errors, logon and command lines,
// and the line shapes the plug-in's six queries give on the demo datastore.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <sstream>
#include <string>

#include "datastore/ToolTestUtil.h"
#include "testsupport/TestSupport.h"

namespace {

using olbdstest::PluginScript;
using olbdstest::Result;
using olbdstest::Sh;

// The plug-in's queries, as it writes them.
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

// Tables beside the demo datastore's.
const char kTestData[] = R"sql(
CREATE TABLE t (a TEXT, b INTEGER, c NUMERIC);
INSERT INTO t VALUES ('x', 1, 12.5), ('y', 2, NULL), (NULL, 3, 0.5), ('pad   ', 4, 3.0);
CREATE TABLE many (n INTEGER);
WITH RECURSIVE s(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM s WHERE n < 20)
INSERT INTO many SELECT n FROM s;
CREATE TABLE big (v TEXT);
INSERT INTO big VALUES (replace(hex(zeroblob(15000)), '0', 'v'));
)sql";

const char kNoTable[] = "ERROR at line 1:\nORA-00942: table or view does not exist\n\n";

class SqlPlusTest : public ::testing::Test {
 protected:
  void SetUp() override {
    olbtest::WriteFile(m_dir.file("test.sql"), kTestData);
    ASSERT_TRUE(olbtest::CreateDatastore(m_db, {olbtest::DemoSqlPath(), m_dir.file("test.sql")}));
  }
  // Runs the stand-in on `db` with `args`; checks standard output and status.
  Result Expect(const std::string& db, const std::string& args, const std::string& out, int status,
                const std::string& note = "") {
    Result r = olbdstest::RunSqlPlus(m_dir, db, args);
    EXPECT_EQ(out, r.out) << args << note;
    EXPECT_EQ(status, r.status) << args << note << "\n" << r.err;
    return r;
  }
  // Runs `script` the way the plug-in does, from a path with blanks.
  void Script(const std::string& script, const std::string& out, int status = 0) {
    olbtest::WriteFile(m_script, script);
    Expect(m_db, "-S" + m_logon + Sh(m_script), out, status, "\n" + script);
  }
  // Runs `query` with the plug-in's settings followed by `settings`.
  void Query(const std::string& query, const std::string& out, const std::string& settings = "") {
    Script(PluginScript(query, settings), out);
  }
  // The data lines (with a comma) of `query`, sorted, after checking that
  // the others are blank or the row count.
  std::string DataLines(const std::string& query, const std::string& options = "-S") {
    olbtest::WriteFile(m_script, PluginScript(query));
    Result r = olbdstest::RunSqlPlus(m_dir, m_db, options + m_logon + Sh(m_script));
    EXPECT_EQ(0, r.status) << r.out << r.err;
    std::multiset<std::string> data;
    std::istringstream in(r.out);
    for (std::string line; std::getline(in, line);) {
      if (line.find(',') != std::string::npos) {
        data.insert(line + "\n");
      } else {
        EXPECT_TRUE(line.empty() || line == std::to_string(data.size()) + " rows selected.")
            << line;
      }
    }
    std::string text;
    for (const std::string& line : data) text += line;
    return text;
  }

  olbtest::TempDir m_dir;
  std::string m_db = m_dir.file("dpa.db");
  std::string m_script = m_dir.file("olb dpa script.sql");
  std::string m_logon = " dpa/dpa-demo-58 as SYSDBA @";
};

TEST_F(SqlPlusTest, RowsFeedbackAndPages) {
  // Fewer than six rows go unreported; FEEDBACK ON counts from one.
  Query("select n from many where n <= 5", "\n1\n2\n3\n4\n5\n");
  Query("select n from many where n <= 6", "\n1\n2\n3\n4\n5\n6\n\n6 rows selected.\n");
  Query("select n from many where n = 1", "\n1\n\n1 row selected.\n", "set feedback on\n");
  Query("select a from t where b > 99", "\nno rows selected\n");
  Query("select a from t where b > 99", "", "set feedback off\n");
  // A blank line opens every page, of 14 rows by default; PAGESIZE 0 has none.
  Query("select n from many where n <= 7 order by n", "\n1\n2\n3\n\n4\n5\n6\n\n7\n",
        "set pagesize 3\nset feedback off\n");
  Query("select n from many where n <= 2 order by n", "1\n2\n", "set pages 0\n");
  std::string fifteen;
  for (int n = 1; n <= 15; ++n) fifteen += (n % 14 == 1 ? "\n" : "") + std::to_string(n) + "\n";
  Query("select n from many where n <= 15 order by n", fifteen + "\n15 rows selected.\n");
}

TEST_F(SqlPlusTest, ValuesHeadingsAndStatements) {
  Query("select a || NULL v, b from t where b = 1", "\nV|B\n-|-\nx|1\n",
        "set hea on\nset colsep '|'\n");
  // NULL is empty text, alone and in ||; numbers print as Oracle prints them.
  Query("select 'a' || NULL || 'b' ||','|| a ||','|| c from t order by b",
        "\nab,x,12.5\nab,y,\nab,,.5\nab,pad   ,3\n");
  Query("select a from t where b = 3", "\n\n");
  Query("select b, c * 2, b || c, 1.0 / 4, -0.5 from t where b = 1", "\n1,25,112.5,.25,-.5\n");
  // TRIMSPOOL trims trailing blanks only; long values are never cut.
  Query("select a from t where b = 4", "\npad\n");
  Query("select a from t where b = 4", "\npad   \n", "set trimspool off\n");
  Query("select v || ',' from big", "\n" + std::string(30000, 'v') + ",\n");
  // Statements span lines, keep quoted semicolons, and "/" runs the buffer.
  Query("select a || ';'\n  from t\n where b = 1", "\nx;\n");
  Script("set heading off\nselect a from t\n where b = 2\n/\nexit\n", "\ny\n");
}

TEST_F(SqlPlusTest, ErrorsAndExitStatuses) {
  // A failed statement shows its line and ORA- error, and the script goes on.
  Script(
      "set heading off\nselect b\n  from t, nosuch;\nselect nocolumn from t;\nselect b from t;\n",
      "ERROR at line 2:\nORA-00942: table or view does not exist\n\n"
      "ERROR at line 1:\nORA-00904: \"NOCOLUMN\": invalid identifier\n\n\n1\n2\n3\n4\n");
  Script("whenever sqlerror exit failure\nselect * from nosuch;\nprompt not reached\n", kNoTable,
         1);
  Script("WHENEVER SQLERROR EXIT SQL.SQLCODE\nselect * from nosuch;\n", kNoTable, 942 & 0xff);
  Script(
      "whenever sqlerror exit failure\nwhenever sqlerror continue\n"
      "whenever oserror exit failure\nselect * from nosuch;\n",
      kNoTable);
  Script("prompt one\nexit failure\nprompt two\n", "one\n", 1);
  Script("QUIT 3;\n", "", 3);
}

TEST_F(SqlPlusTest, BadLogonsAndDatastoresAreRefused) {
  olbtest::WriteFile(m_script, PluginScript("select 1 from dual"));
  const std::string script = " as SYSDBA @" + Sh(m_script);
  for (const char* logon : {"dpa/wrong", "nobody/dpa-demo-58", "dpa", "dpa/DPA-DEMO-58", "/"}) {
    Expect(m_db, std::string("-S ") + logon + script,
           "ERROR:\nORA-01017: invalid username/password; logon denied\n", 1);
  }
  Expect(m_db, "-S DPA/dpa-demo-58" + script, "\n1\n", 0);
  olbtest::WriteFile(m_dir.file("text.db"), "not a database\n");
  for (const std::string& db : {std::string(), m_dir.file("missing.db"), m_dir.file("text.db")}) {
    Result r =
        Expect(db, "-S" + m_logon + Sh(m_script),
               "ERROR:\nORA-12154: TNS:could not resolve the connect identifier specified\n", 1);
    EXPECT_NE(std::string::npos, r.err.find(db.empty() ? "OLB_DPA_DATASTORE" : db)) << r.err;
  }
}

TEST_F(SqlPlusTest, CommandLineVariants) {
  std::string dir = m_dir.file("dir with blanks"), path = dir + "/my script.sql";
  ASSERT_EQ(0, olbdstest::Shell(m_dir, "mkdir " + Sh(dir)).status);
  olbtest::WriteFile(path, PluginScript("select 1 from dual"));
  for (const std::string& args :
       {"-S -S dpa/dpa-demo-58 as SYSDBA @" + Sh(path), "-s dpa/dpa-demo-58 AS sysdba @" + Sh(path),
        "-S dpa/dpa-demo-58@DPA @" + Sh(path),
        // A host that splits at the blanks; and the name without ".sql".
        "-S dpa/dpa-demo-58 as SYSDBA @" + Sh(m_dir.file("dir")) + " with blanks/my script.sql",
        "-S dpa/dpa-demo-58 as SYSDBA @" + Sh(dir + "/my script")}) {
    Expect(m_db, args, "\n1\n", 0);
  }
  std::string none = m_dir.file("none.sql");
  Expect(m_db, "-S dpa/dpa-demo-58 @" + Sh(none),
         "SP2-0310: unable to open file \"" + none + "\"\n", 0);
  EXPECT_EQ(1, olbdstest::RunSqlPlus(m_dir, m_db, "-Q dpa/dpa-demo-58").status);
}

TEST_F(SqlPlusTest, DemoServerClientsGroupsLibrariesAndDisks) {
  const char* const cases[][2] = {
      {kServerQuery, "dpa-ds01,dpa-ds01.demo.local\n"},
      // 'golf' is two nodes but one client.
      {kClientQuery,
       "alpha,\nbravo,\ncharlie,\ndelta,\necho,\nfoxtrot,\ngolf,\nhotel,\nindia,\njuliet,\nkilo,\n"
       "lima,\n"},
      // Groups that have a configuration: alpha's three, one on two media
      // servers; zulu is no client; lima has no group.
      {kGroupQuery,
       "exchange-mbx,foxtrot,media01,MS-Exchange-Server\nfs-nightly,alpha,media01,MS-Windows\n"
       "fs-nightly,alpha,media02,MS-Windows\nfs-nightly,bravo,media01,MS-Windows\n"
       "fs-nightly,charlie,media01,MS-Windows\nfs-nightly,delta,media02,MS-Windows\n"
       "fs-nightly,echo,media02,MS-Windows\ngold-daily,alpha,media01,Standard\n"
       "gold-daily,golf,media01,Standard\ngold-daily,kilo,media01,Standard\n"
       "gold-daily,zulu,media01,Standard\nlegacy-nightly,alpha,media01,Standard\n"
       "ndmp-filer,india,media02,NDMP\noracle-rman,alpha,media02,Oracle\n"
       "silver-weekly,hotel,media02,Standard\nsilver-weekly,juliet,media01,Standard\n"},
      // Tape drives only; names differing in case and a path with commas stay.
      {kLibraryQuery,
       "media01,TLD0,Drive1,/dev/nst0,hcart,LTO-6\nmedia01,TLD0,Drive2,/dev/nst1,hcart,LTO-6\n"
       "media01,tld1,QUANTUM.0,/dev/nst2,hcart3,LTO-5\nmedia02,TLD0,DRIVE1,/dev/nst4,hcart,LTO-6\n"
       "media02,TLD1,IBM.ULT3580.0,{4d36e967}-Tape0-SCSI1-0,hcart2,LTO-7\n"
       "media02,TLD1,IBM.ULT3580.1,{4d36e967}-Tape1-SCSI1-1,hcart2,LTO-7\n"},
      {kDiskQuery,
       "advdisk-pool2,/advdisk/pool2/vol1,AdvancedDisk,adv2-vol1\n"
       "advdisk-pool2,/advdisk/pool2/vol2,AdvancedDisk,adv2-vol2\n"
       "dd-pool1,/dd/pool1/vol1,DataDomain,dd-pool1-vol1\n"
       "dd-pool1,/dd/pool1/vol2,DataDomain,dd-pool1-vol2\n"
       "dd-pool1,/dd/pool1/vol3,DataDomain,dd-pool1-vol3\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(c[1], DataLines(c[0])) << c[0];
}

TEST_F(SqlPlusTest, DemoJobs) {
  // 336 jobs, J100010 again and j100011 on other units, and zulu's; none of
  // legacy-nightly (no node) nor the one without id. Ten fields each.
  std::string jobs = "\n" + DataLines(kJobQuery, "-S -S");
  EXPECT_EQ(339 + 1, std::count(jobs.begin(), jobs.end(), '\n'));
  EXPECT_EQ(339 * 9, std::count(jobs.begin(), jobs.end(), ','));
  // Missing numbers print as nothing, fractions without trailing zeros.
  for (const char* line :
       {"fs-nightly,alpha,2947,J100013,1477.5,advdisk-pool2,fail,1709580600,601,Differential Incr",
        "fs-nightly,alpha,,J100029,17141,advdisk-pool2,partial,1709667000,1193,User Backup",
        "fs-nightly,bravo,45489,J100031,,advdisk-pool2,success,1709677800,1267,Differential Incr",
        "fs-nightly,alpha,40517,J100043,3347,advdisk-pool2,fail,1709742600,,Differential Incr",
        "fs-nightly,charlie,10,J100010,20,dd-pool1,success,1709564400,300,Full",
        "fs-nightly,delta,11,j100011,21,dd-pool1,success,1709569800,300,Full",
        "gold-daily,zulu,5,J200001,50,dd-pool1,success,1709700000,600,Full"}) {
    EXPECT_NE(std::string::npos, jobs.find("\n" + std::string(line) + "\n")) << line;
  }
}

}  // namespace
