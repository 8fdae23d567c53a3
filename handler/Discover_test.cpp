// The discovery operations where the golden run does not go: what a run
// leaves in the handler (clients, server name, the media-to-jobs map), an
// empty datastore, and failures: each ends its run with its log line and
// false, leaves no script behind, never logs a password, and leaves the
// handler as the last good run left it.
#include <sys/stat.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "handler/CForeignHandlerDPA.h"
#include "testsupport/TestSupport.h"

namespace {

using H = CForeignHandlerDPA;
using Lines = std::vector<std::string>;
using olbtest::ListDir;
using olbtest::LogCapture;

// A server, three clients and two policies; alpha has P1 through two media
// servers (so twice) and P2, beta has P2, gamma none, and P1 also names a
// client that is not in the datastore.
const char kServerSql[] =
    "INSERT INTO nodes (f_name, f_globalname, f_type) VALUES ('dpasrv', 'dpasrv.example', 212);\n";
const char kClientsSql[] = R"(
INSERT INTO nodes (f_name, f_globalname, f_type) VALUES
  ('alpha', 'alpha.example', 515), ('beta', 'beta.example', 515), ('gamma', 'gamma.example', 515);
INSERT INTO group_config (f_group_name, f_policy_type) VALUES ('P1', 'Standard'), ('P2', 'Win');
INSERT INTO backupjob (f_group_name, f_client_name, f_media_server) VALUES ('P1', 'alpha', 'm1'),
  ('P1', 'alpha', 'm2'), ('P1', 'alpha', 'm2'), ('P2', 'alpha', 'm1'), ('P2', 'beta', 'm1'),
  ('P1', 'ghost', 'm1');
)";
const std::string kCraftedSql = std::string(kServerSql) + kClientsSql;

// Each client of the handler's list with its policies, and the server name.
Lines Held(const CForeignHandlerDPA& handler) {
  Lines out{"server " + CForeignHandlerDPA::GetServerName()};
  for (const DPAClient& client : handler.m_clients) {
    out.push_back(client.ClientName());
    for (const DPAGroup& g : client.Policylist()) out.back() += " " + g.PolicyName();
  }
  return out;
}

class DiscoverTest : public olbtest::HostFixture {
 protected:
  void SetUp() override {
    HostFixture::SetUp();
    H::media_job_map.clear();
    Logon("dpa-demo-58");
  }
  void TearDown() override {
    H::media_job_map.clear();
    H::m_dbContext = DBContext();
    H::SetServerName("");
    HostFixture::TearDown();
  }
  void Logon(const std::string& password) {
    SetRegistry("[kRelayUnit]\nsDPAUSER=dpa\nsDPAPASSWORD=" + password + "\n");
    ASSERT_TRUE(H().DiscoverConfig(nullptr));
  }
  // A fresh datastore from the schema, the demo's content if asked, and `sql`.
  void Datastore(const std::string& sql, bool demo = false) {
    const std::string name = m_dir.file("extra" + std::to_string(m_count++) + ".sql");
    ASSERT_TRUE(olbtest::WriteFile(name, sql));
    UseDatastore(demo ? Lines{olbtest::DemoSqlPath(), name} : Lines{name});
  }
  // Files left in the work directory that are not the tool's captured
  // output: script files the collectors failed to remove.
  std::string LeftoverScripts() const {
    std::string out;
    olbtest::RunShell("find '" + WorkDir() + "' -type f ! -name 'olb_dpa_*'", &out);
    return out;
  }
  int m_count = 0;
};

TEST_F(DiscoverTest, ClientsEachRunStartsAfresh) {
  const struct {
    std::string sql;
    Lines held;
  } cases[] = {
      {kCraftedSql, {"server dpasrv", "dpasrv", "alpha P1 P1 P2", "beta P2", "gamma"}},
      // Without a server row there is no server name, not even a stale one.
      {kClientsSql, {"server ", "alpha P1 P1 P2", "beta P2", "gamma"}},
      {"", {"server "}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.held.size());
    Datastore(c.sql);
    H::SetServerName("stale");
    H handler;
    // A second run lists nothing twice.
    ASSERT_TRUE(handler.DiscoverClients(nullptr));
    ASSERT_TRUE(handler.DiscoverClients(nullptr));
    EXPECT_EQ(Held(handler), c.held);
    EXPECT_EQ(LeftoverScripts(), "");
  }
}

TEST_F(DiscoverTest, ClientsFailedRunLeavesWhatTheLastGoodRunLeft) {
  // A sqlplus ahead of the stand-in refuses scripts that hold $REFUSE.
  const std::string bin = m_dir.file("bin");
  ASSERT_EQ(mkdir(bin.c_str(), 0700), 0);
  ASSERT_TRUE(olbtest::WriteFile(
      bin + "/sqlplus",
      "#!/bin/sh\nfor a in \"$@\"; do case \"$a\" in @*) script=\"${a#@}\";; esac; done\n"
      "if [ -n \"$REFUSE\" ] && grep -qF \"$REFUSE\" \"$script\"; then\n"
      "  echo 'ORA-03113: end-of-file on communication channel'; exit 1\nfi\n"
      "exec '" +
          olbtest::StandInBinDir() + "/sqlplus' \"$@\"\n"));
  ASSERT_EQ(chmod((bin + "/sqlplus").c_str(), 0700), 0);
  setenv("PATH", (bin + ":" + std::getenv("PATH")).c_str(), 1);
  // The good run sees another server and one more client than the failing one.
  const std::string goodSql = std::string(kClientsSql) +
                              "INSERT INTO nodes (f_name, f_globalname, f_type) VALUES "
                              "('oldsrv', 'o', 212), ('delta', 'd', 515);\n";

  // Each failure ends the run with its log line, no file and no script left,
  // never a password in the log, and the handler as the good run left it.
  const struct {
    std::string sql, refuse, password, failure;
  } cases[] = {
      {"DROP TABLE nodes;", "", "dpa-demo-58", "failed to collect server data"},
      // The client query reads the same table as the server query.
      {"", "f_type = 515", "dpa-demo-58", "failed to collect client data"},
      {"DROP TABLE group_config;", "", "dpa-demo-58", "failed to collect group data"},
      {"", "", "not-the-password", "failed to collect server data"},
      {"", "", "dpa-demo-58", "client hierarchy was created but dump to xml failed"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.failure + " " + c.password);
    HostEnv::Get().outputDir = OutDir();
    H handler;
    Datastore(goodSql);
    ASSERT_TRUE(handler.DiscoverClients(nullptr));
    const Lines good = Held(handler);
    ASSERT_EQ(good.size(), 6u);
    ASSERT_EQ(good[0], "server oldsrv");

    Datastore(kCraftedSql + c.sql);
    Logon(c.password);
    setenv("REFUSE", c.refuse.c_str(), 1);
    if (c.failure.find("dump") != std::string::npos) {
      ASSERT_TRUE(olbtest::WriteFile(m_dir.file("plain-file"), ""));
      HostEnv::Get().outputDir = m_dir.file("plain-file/out");
    }
    LogCapture log;
    EXPECT_FALSE(handler.DiscoverClients(nullptr));
    EXPECT_EQ(log.Count(c.failure), 1u) << log.All();
    for (const auto& r : log.records()) {
      if (r.text != c.failure) continue;
      EXPECT_EQ(r.context, "CForeignHandlerDPA::DiscoverClients");
      EXPECT_EQ(r.level, "DEBUG");
    }
    EXPECT_FALSE(log.Contains("dpa-demo-58") || log.Contains(c.password)) << log.All();
    EXPECT_EQ(Held(handler), good);
    EXPECT_EQ(handler.dumpedFiles().size(), 1u);
    EXPECT_EQ(LeftoverScripts(), "");
    Logon("dpa-demo-58");
    unsetenv("REFUSE");
  }
}

TEST_F(DiscoverTest, JobsEachRunStartsTheMapAfreshAndAFailedRunKeepsIt) {
  H handler;
  Datastore("", true);
  {
    // Before client discovery no job maps and nothing is dumped.
    LogCapture log;
    EXPECT_TRUE(handler.DiscoverJobs(nullptr));
    EXPECT_TRUE(ListDir(OutDir()).empty());
    EXPECT_TRUE(log.Contains("Unable to map job id ["));
  }
  ASSERT_TRUE(handler.DiscoverClients(nullptr));
  H::AddJobToMedia("stale", "J0");
  LogCapture log;
  ASSERT_TRUE(handler.DiscoverJobs(nullptr));
  ASSERT_EQ(2u, ListDir(OutDir()).size());
  // 336 planned jobs and one of a client that is no node.
  EXPECT_EQ(1u, log.Count("Discovered [337] jobs"));
  EXPECT_EQ(1u, log.Count("Unable to map job id [J200001]"));
  std::vector<std::string> onPool;
  H::GetJobsForMedia("dd-pool1", onPool);
  EXPECT_FALSE(onPool.empty());

  // What an earlier run left is gone, and a second run does not list every
  // job twice.
  const auto first = H::media_job_map;
  EXPECT_EQ(0u, first.count("stale"));
  ASSERT_TRUE(handler.DiscoverJobs(nullptr));
  EXPECT_EQ(first, H::media_job_map);

  // A failing final dump fails the run and reports the loss; the map stays
  // as the last good run left it.
  HostEnv::Get().outputDir = m_dir.file("missing");
  log.Clear();
  EXPECT_FALSE(handler.DiscoverJobs(nullptr));
  EXPECT_EQ(1u, log.Count("unable to dump jobs xml file"));
  EXPECT_EQ(1u, log.Count("job list not completely written"));
  EXPECT_EQ(first, H::media_job_map);

  // So does a failed collection, which builds nothing.
  HostEnv::Get().outputDir = OutDir();
  Datastore("DROP TABLE backupjob;", true);
  log.Clear();
  EXPECT_FALSE(handler.DiscoverJobs(nullptr));
  EXPECT_EQ(1u, log.Count("job collection failed"));
  EXPECT_EQ(3u, ListDir(OutDir()).size());
  EXPECT_EQ(first, H::media_job_map);
}

TEST_F(DiscoverTest, MediaOfAnEmptyDatastoreIsTheDefaultLibraryAlone) {
  H handler;
  Datastore("DELETE FROM disk_volume_config; DELETE FROM device_config;", true);
  ASSERT_TRUE(handler.DiscoverMedia(nullptr));
  ASSERT_EQ(2u, handler.dumpedFiles().size());
  Lines names;
  for (const auto& line : olbtest::DescribeDumpedFile(handler.dumpedFiles()[0])) {
    if (line.find(".libraryName(") != std::string::npos) names.push_back(line);
  }
  EXPECT_EQ(Lines{"libraryList(4:10).items(1:1)[0].libraryName(2:2) = \"DefaultDiskLibrary_\""},
            names);
  EXPECT_EQ(5u, olbtest::DescribeDumpedFile(handler.dumpedFiles()[1]).size());  // header only
}

// Each failure ends the run with its line, false, no file and no script left.
TEST_F(DiscoverTest, MediaFailuresWriteNothing) {
  H handler;
  const std::string missing = m_dir.file("missing");
  const struct {
    std::string sql, outDir, message;
  } cases[] = {
      {"DROP TABLE disk_volume_config;", "", "Failed to collect disk libraries"},
      {"DROP TABLE device_config;", "", "Unable to collect library information"},
      {"", missing, "Unable to dump libraries xml"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    Datastore(c.sql, true);
    HostEnv::Get().outputDir = c.outDir.empty() ? OutDir() : c.outDir;
    LogCapture log;
    EXPECT_FALSE(handler.DiscoverMedia(nullptr));
    EXPECT_EQ(1u, log.Count(c.message)) << log.All();
    EXPECT_TRUE(ListDir(OutDir()).empty());
    EXPECT_EQ("", LeftoverScripts());
  }
  HostEnv::Get().outputDir = missing;
  LogCapture log;
  EXPECT_FALSE(handler.DiscoverStoragePolicies(nullptr));
  EXPECT_EQ(1u, log.Count("Unable to dump storage policy file"));
}

TEST_F(DiscoverTest, MediaDumpFailingAfterTheLibraries) {
  H handler;
  Datastore("", true);
  // The output directory goes away as soon as the library file is written.
  std::vector<LogRecord> records;
  HostEnv::Get().logSink = [&](const LogRecord& r) {
    records.push_back(r);
    if (r.text.find("ForeignLibraries.xml") != std::string::npos) {
      HostEnv::Get().outputDir = m_dir.file("missing");
    }
  };
  EXPECT_FALSE(handler.DiscoverMedia(nullptr));
  HostEnv::Get().logSink = nullptr;
  EXPECT_EQ(Lines{"0001-ZRC.ForeignLibraries.xml"}, ListDir(OutDir()));
  EXPECT_EQ("CForeignHandlerDPA::DiscoverMedia: Unable to dump media xml",
            records.back().context + ": " + records.back().text);
}

}  // namespace
