// Hostile datastore content, end to end through the sqlplus stand-in: names
// and values with commas, backslashes, quotes, markup, control characters,
// line ends, invalid UTF-8 and 30,000 characters, in every table the five
// operations read. Every operation succeeds, every file is valid XML, and
// client names that the output format can carry come back byte for byte.
#include <set>
#include <string>

#include "app/ReliabilityTestUtil.h"
#include "host/HostEnv.h"
#include "model/MessageAccess.h"

namespace {

// SQL expressions of the hostile texts. SQLite turns X'..' blobs cast to
// text into arbitrary bytes.
const char kMarkup[] = "'we<i>rd & \"co\" ''ltd'' ]]> &amp;'";
const char kComma[] = "'com,ma'";
const char kBackslash[] = "'DOMAIN\\host\\'";
const char kInvalidUtf8[] = "CAST(X'ff41c328e282eda080efbfbf' AS TEXT)";
const char kControl[] = "'ctl' || char(1) || char(7) || char(27) || '[0m' || char(9) || 'tab'";
const char kCarriageReturn[] = "'cr' || char(13) || 'x'";
const char kLineEnd[] = "'new' || char(10) || 'line'";
const char kLong[] = "replace(hex(zeroblob(15000)), '0', 'n')";  // 30,000 characters
const char kLongHostile[] = "replace(hex(zeroblob(7500)), '00', '<&\"\\')";
const char kGroup[] = "'<grp>&\"x\"'";
const char kLongGroup[] = "replace(hex(zeroblob(7500)), '00', 'g&<,')";

std::string HostileSql() {
  std::string sql;
  sql += "INSERT INTO nodes (f_name, f_globalname, f_display_name, f_type) VALUES (" +
         std::string(kLongHostile) +
         " || char(1) || CAST(X'fe' AS TEXT), 'glob<al>', 'd', 212);\n";
  for (const char* client : {kMarkup, kComma, kBackslash, kInvalidUtf8, kControl, kCarriageReturn,
                             kLineEnd, kLong, "'alpha'"}) {
    sql += "INSERT INTO nodes (f_name, f_globalname, f_display_name, f_type) VALUES (" +
           std::string(client) + ", 'g', 'd', 515);\n";
  }
  for (const char* group : {kGroup, kLongGroup, "'plain'", kComma}) {
    sql += "INSERT INTO nodes (f_name, f_globalname, f_display_name, f_type) VALUES (" +
           std::string(group) + ", 'g', 'd', 516);\n";
    sql += "INSERT INTO group_config (f_group_name, f_policy_type, f_storage_unit, f_active) "
           "VALUES (" + std::string(group) + ", " + kControl + ", " + kMarkup + ", 1);\n";
  }
  // Jobs: every group with several clients, hostile ids, texts and numbers.
  int n = 0;
  for (const char* group : {kGroup, kLongGroup, "'plain'", kComma}) {
    for (const char* client : {kMarkup, kInvalidUtf8, kLong, kBackslash, "'alpha'", kLineEnd}) {
      ++n;
      std::string id = n % 3 == 0 ? std::string(kInvalidUtf8) + " || '" + std::to_string(n) + "'"
                                  : "'J<" + std::to_string(n) + ">&'";
      sql += "INSERT INTO backupjob (f_jobid, f_group_name, f_client_name, f_media_server, "
             "f_storage_unit, f_status, f_level, f_nfiles, f_sizetransferred, f_starttime, "
             "f_endtime) VALUES (" + id + ", " + group + ", " + client + ", " + kControl + ", " +
             (n % 2 == 0 ? std::string(kMarkup) : std::string(kLongHostile)) + ", " +
             (n % 2 == 0 ? "'success'" : kCarriageReturn) + ", " + kInvalidUtf8 + ", '12abc', " +
             (n % 4 == 0 ? "'-7'" : "99999999999999999999") + ", '(null)', " +
             (n % 5 == 0 ? "NULL" : "4294967296") + ");\n";
    }
  }
  // Tape drives and disk volumes.
  sql += "INSERT INTO device_config (f_device_host, f_jukebox_name, f_device_name, f_device_path, "
         "f_device_type, f_device_class, f_firmware) VALUES "
         "(" + std::string(kMarkup) + ", 'lib,1', " + kInvalidUtf8 + ", 'C:\\tape\\0,x', " +
         kControl + ", " + kLong + ", 'LTO'), "
         "(" + kLongHostile + ", " + kLongGroup + ", 'd\\', " + kCarriageReturn +
         ", 't', 'c', 'x'), "
         "('h', " + kLineEnd + ", 'd', 'p', 't', 'c', 'x');\n";
  sql += "INSERT INTO disk_volume_config (f_pool_name, f_path, f_disk_type, f_volume_id, "
         "f_capacity, f_used) VALUES "
         "(" + std::string(kMarkup) + ", 'D:\\vol\\1', " + kControl + ", " + kLong + ", 1, 2), "
         "(" + kInvalidUtf8 + ", " + kLongHostile + ", 'AdvancedDisk', 'v,2', 3, 4), "
         "(" + kLineEnd + ", " + kCarriageReturn + ", 't', " + kBackslash + ", 5, 6);\n";
  return sql;
}

class HostileContentTest : public olbtest::HostFixture {};

TEST_F(HostileContentTest, EveryOperationWritesValidXmlAndKeepsNamesIntact) {
  SetRegistry(olbrel::DemoRegistry());
  std::string sql = m_dir.file("hostile.sql");
  ASSERT_TRUE(olbtest::WriteFile(sql, HostileSql()));
  UseDatastore({sql});
  CForeignHandlerDPA handler;
  EXPECT_EQ("", olbrel::RunAllOperations(handler))
      << olbtest::ReadFile(HostEnv::Get().logFile).substr(0, 20000);
  EXPECT_EQ(5u, olbrel::Files(OutDir(), ".xml").size());
  EXPECT_EQ("", olbrel::InvalidXmlFiles(OutDir()));

  // Jobs of the markup group were mapped to the markup, backslash and plain
  // clients and written. (Rows whose values hold the separator or a line
  // end, or that outgrow the tool's line, cannot be told apart from others:
  // they are skipped or read shifted, never a failure.)
  std::vector<std::string> jobLists = olbrel::Files(OutDir(), "-ZRC.JobList.xml");
  ASSERT_EQ(1u, jobLists.size());
  std::string jobXml = olbtest::ReadFile(jobLists[0]);
  for (const char* id : {"J&lt;1&gt;&amp;<", "J&lt;4&gt;&amp;<", "J&lt;5&gt;&amp;<"}) {
    EXPECT_NE(std::string::npos, jobXml.find(id)) << id;
  }

  // Names that hold no line end come back exactly: markup, quotes, commas
  // inside, backslashes, control characters, a carriage return, invalid
  // UTF-8 and 30,000 characters.
  std::vector<std::string> lists = olbrel::Files(OutDir(), "-App.ClientsList.xml");
  ASSERT_EQ(1u, lists.size());
  App::ClientsList list;
  std::string error;
  ASSERT_TRUE(ReadMessageXmlFile(lists[0], list, &error)) << error;
  std::set<std::string> names;
  for (App::ClientInfo& info : *List(list, App::ClientsList::clients)) {
    App::ClientDetail* detail = FindObject(info, App::ClientInfo::detail);
    ClientEntity* entity = detail ? FindObject(*detail, App::ClientDetail::entity) : nullptr;
    if (entity != nullptr) names.insert(GetString(*entity, ClientEntity::clientName));
  }
  for (const std::string& name : {std::string("we<i>rd & \"co\" 'ltd' ]]> &amp;"),
                                  std::string("com,ma"), std::string("DOMAIN\\host\\"),
                                  std::string("\xff" "A\xc3" "(\xe2\x82\xed\xa0\x80\xef\xbf\xbf"),
                                  std::string("ctl\x01\x07\x1b[0m\ttab"), std::string("cr\rx"),
                                  std::string(30000, 'n'), std::string("alpha")}) {
    EXPECT_EQ(1u, names.count(name)) << "client name of " << name.size() << " bytes lost: "
                                     << name.substr(0, 60);
  }
}

}  // namespace
