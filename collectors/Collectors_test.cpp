// Every collector against expected files in testdata/: its output file name,
// query and command lines (commands.out), and its parser on crafted tool
// output (<kind>.txt: documents headed "=== title", each parsed on its own,
// then a missing file and no container), described with the log lines it
// wrote (<kind>.out). The variants of a family share their parser and must
// describe the same.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "collectors/DPAClientCollector.h"
#include "collectors/DPADiskLibraryCollector.h"
#include "collectors/DPAJobCollector.h"
#include "collectors/DPALibraryCollector.h"
#include "handler/CForeignHandlerDPA.h"
#include "model/DPADiskLibrary.h"
#include "model/DPAJob.h"
#include "model/DPALibrary.h"
#include "testsupport/TestSupport.h"

namespace {

using H = CForeignHandlerDPA;
using Make = std::function<std::unique_ptr<CDPACollector>()>;
// clang-format off
#define VARIANT(T) {#T, [] { return std::unique_ptr<CDPACollector>(new T()); }}
// clang-format on

std::vector<DPAClient> Clients(const std::vector<std::string>& names) {
  std::vector<DPAClient> clients(names.size());
  for (size_t i = 0; i < names.size(); ++i) {
    clients[i].ClientName(names[i].substr(0, names[i].find('*')));
    clients[i].MasterServer(names[i].back() == '*');
  }
  return clients;
}

// Parses `path` into the kind's container (none with `container` false) and
// describes the result, the container and the log.
std::string Parse(const std::string& kind, CDPACollector& c, const std::string& path,
                  bool container) {
  H::SetServerName("");
  H::media_job_map.clear();
  olbtest::LogCapture log;
  std::string out;
  bool ok = false;
  if (kind == "jobs") {
    DPAJobInformation jobs;
    ok = c._ParseData(container ? &jobs : nullptr, path);
    for (const DPAJob& j : jobs.GetJobs()) {
      out += "job [" + j.Jobid() + "] [" + j.PolicyName() + "] [" + j.ClientName() + "] [" +
             j.Status() + "] [" + j.Level() + "] files " + std::to_string(j.Files()) + " bytes " +
             std::to_string(j.Size()) + " start " + std::to_string(j.StartTime()) + " duration " +
             std::to_string(j.Duration()) + "\n";
    }
    for (const auto& [media, ids] : H::media_job_map) {
      out += "media [" + media + "]";
      for (const std::string& id : ids) out += " " + id;
      out += "\n";
    }
  } else if (kind == "tape") {
    DPALibraryInformation info;
    ok = c._ParseData(container ? &info : nullptr, path);
    ZRC::ForeignLibraries built;
    info.BuildLibraries(built);
    for (const std::string& line : olbtest::DescribeMessage(built)) out += line + "\n";
  } else if (kind == "disk") {
    std::vector<DPADiskLibrary> disks;
    ok = c._ParseData(container ? &disks : nullptr, path);
    for (const auto& d : disks) {
      out += "disk [" + d.Name() + "] [" + d.Mountpath() + "] [" + d.Volumeid() + "]\n";
    }
  } else {
    std::vector<DPAClient> clients = Clients(
        kind == "groups"   ? std::vector<std::string>{"dpasrv*", "alpha", "beta", "alpha", "dpasrv"}
        : kind == "server" ? std::vector<std::string>{}
        : kind == "oracle-server" ? std::vector<std::string>{"earlier"}
                                  : std::vector<std::string>{"dpasrv*"});
    ok = c._ParseData(container ? &clients : nullptr, path);
    for (const DPAClient& client : clients) {
      out += "client [" + client.ClientName() + "]" + (client.MasterServer() ? " master" : "");
      for (const DPAGroup& g : client.Policylist()) out += " [" + g.PolicyName() + "]";
      out += "\n";
    }
    out += "server name [" + H::GetServerName() + "]\n";
  }
  for (const LogRecord& r : log.records()) out += "log " + r.context + ": " + r.text + "\n";
  return (ok ? "true\n" : "false\n") + out;
}

// Every collector by the kind of container its parser fills.
const struct {
  const char* kind;
  std::vector<std::pair<const char*, Make>> family;
} kKinds[] = {
    {"server", {VARIANT(CDPAServerCollector), VARIANT(CDPAServerCollector_PG)}},
    {"oracle-server", {VARIANT(CDPAServerCollectorV58_ORACLE)}},
    {"clients",
     {VARIANT(CDPAClientCollector), VARIANT(CDPAClientCollector_PG),
      VARIANT(CDPAClientCollectorV58_ORACLE)}},
    {"groups",
     {VARIANT(CDPAGroupCollector), VARIANT(CDPAGroupCollector_PG),
      VARIANT(CDPAGroupCollectorV58_ORACLE)}},
    {"jobs",
     {VARIANT(CDPAJobCollector), VARIANT(CDPAJobCollector_PG),
      VARIANT(CDPAJobCollectorV58_ORACLE)}},
    {"tape", {VARIANT(CDPALibraryCollector), VARIANT(CDPALibraryCollectorV58_ORACLE)}},
    {"disk",
     {VARIANT(CDPADiskLibCollector), VARIANT(CDPADiskLibCollector_PG),
      VARIANT(CDPADiskLibCollectorV58_ORACLE)}},
};

class CollectorsTest : public olbtest::HostFixture {
 protected:
  void TearDown() override {
    H::SetServerName("");
    H::media_job_map.clear();
    HostFixture::TearDown();
  }
  std::string Data() const { return olbtest::SourceDir() + "/collectors/testdata/"; }
};

TEST_F(CollectorsTest, ParsersOnCraftedOutput) {
  for (const auto& k : kKinds) {
    // The documents of the input, each as a file of its own.
    std::vector<std::pair<std::string, std::string>> docs;
    const std::string in = olbtest::ReadFile(Data() + k.kind + ".txt");
    for (size_t at = 0, end; at < in.size(); at = end + 1) {
      end = std::min(in.find('\n', at), in.size());
      const std::string line = in.substr(at, end - at);
      if (line.rfind("=== ", 0) == 0) {
        docs.emplace_back(line, "");
      } else if (!docs.empty()) {
        docs.back().second += line + "\n";
      }
    }
    for (const auto& [name, make] : k.family) {
      SCOPED_TRACE(name);
      std::string out;
      for (size_t i = 0; i < docs.size(); ++i) {
        const std::string path = m_dir.file("doc" + std::to_string(i) + ".txt");
        ASSERT_TRUE(olbtest::WriteFile(path, docs[i].second));
        out += docs[i].first + "\n" + Parse(k.kind, *make(), path, true);
      }
      out += "=== a missing file\n" + Parse(k.kind, *make(), m_dir.file("absent.txt"), true);
      out += "=== no container\n" + Parse(k.kind, *make(), m_dir.file("doc0.txt"), false);
      olbtest::ExpectGolden(Data() + k.kind + ".out", out);
    }
  }
}

// The file, query and command lines of every variant, with the settings
// unset and set; the script a SQL*Plus variant writes, at $SCRIPT.
TEST_F(CollectorsTest, QueriesAndCommandLines) {
  DBContext set;
  set.setUserName("scott");
  set.setPassword("tiger");
  set.setInstallDir("/opt/dpa/bin");
  set.setExecName("psql");
  set.setPort(9003);
  std::string out;
  for (const auto& k : kKinds) {
    for (const auto& [name, make] : k.family) {
      std::unique_ptr<CDPACollector> c = make();
      std::string script;
      auto shown = [&script](std::string line) {
        const size_t at = line.find("@\"");
        if (at != std::string::npos) {
          script = line.substr(at + 2, line.size() - at - 3);
          line.replace(at + 2, script.size(), "$SCRIPT");
        }
        return line + "\n";
      };
      out += std::string("=== ") + name + "\nfile " + c->_GetFileNameForData() + "\nquery " +
             c->GetQuery() + "\nunset " + shown(c->_GetCommandLine());
      c->setDBContext(set);
      out += "set " + shown(c->_GetCommandLine());
      if (!script.empty()) out += "script\n" + olbtest::ReadFile(script);
    }
  }
  olbtest::ExpectGolden(Data() + "commands.out", out);
}

}  // namespace
