// The datastore password and the scratch files: after a full run at debug
// level 30 no file the system wrote (messages, tool output, scripts, debug
// log) holds the password; scripts and tool output live in private
// directories (0700) as private files (0600) and no script outlives its
// operation; and user names or passwords holding blanks, quotes, ';', '$()',
// back quotes, redirections or line ends start nothing but the tool.
#include <unistd.h>

#include <string>
#include <vector>

#include "app/ReliabilityTestUtil.h"
#include "collectors/DPAClientCollector.h"
#include "host/HostEnv.h"

namespace {

using olbtest::ReadFile;

// `text` cut at each `sep`.
std::vector<std::string> Split(const std::string& text, char sep) {
  std::vector<std::string> parts;
  for (size_t at = 0, end; (end = text.find(sep, at)) != std::string::npos; at = end + 1) {
    parts.push_back(text.substr(at, end - at));
  }
  return parts;
}

class SecretsTest : public olbtest::HostFixture {
 protected:
  void SetUp() override {
    olbtest::HostFixture::SetUp();
    ASSERT_EQ(0, mkdir(m_dir.file("bin").c_str(), 0700));
  }
};

TEST_F(SecretsTest, FullRunKeepsThePasswordOutOfEveryFileAndScratchFilesPrivate) {
  SetRegistry(olbrel::DemoRegistry());
  UseDatastore({olbtest::DemoSqlPath()});
  // A work directory that does not exist yet: the host makes it.
  std::string work = m_dir.file("fresh/work");
  HostEnv::Get().workDir = work;
  // A wrapper around the stand-in notes the modes of the script, its
  // directory, the output file and its directory while the tool runs.
  std::string modes = m_dir.file("modes.txt");
  olbrel::WriteScript(
      m_dir.file("bin/sqlplus"),
      "#!/bin/sh\n"
      "for a in \"$@\"; do case \"$a\" in @*) script=\"${a#@}\";; esac; done\n"
      "out=$(readlink /proc/$$/fd/1)\n"
      "echo \"$(stat -c %a \"$script\") $(stat -c %a \"$(dirname \"$script\")\")"
      " $(stat -c %a \"$out\") $(stat -c %a \"$(dirname \"$out\")\")\" >> '" + modes + "'\n"
      "exec '" + olbtest::StandInBinDir() + "/sqlplus' \"$@\"\n");
  olbrel::PathPrefix path(m_dir.file("bin"));

  using H = CForeignHandlerDPA;
  H handler;
  for (olbrel::Operation op : {&H::DiscoverConfig, &H::DiscoverClients, &H::DiscoverJobs,
                               &H::DiscoverMedia, &H::DiscoverStoragePolicies}) {
    ASSERT_TRUE(olbrel::Run(handler, op)) << ReadFile(HostEnv::Get().logFile);
    EXPECT_EQ(std::vector<std::string>{}, olbrel::Files(work, ".sql"));
  }
  // Six tool runs (server, clients, groups, jobs, disk and tape libraries).
  EXPECT_EQ(std::vector<std::string>(6, "600 700 600 700"), Split(ReadFile(modes), '\n'));
  EXPECT_EQ(0700, olbrel::ModeOf(work));

  EXPECT_EQ(5u, olbrel::Files(OutDir(), ".xml").size());
  EXPECT_EQ(std::vector<std::string>{}, olbrel::Files(OutDir(), "", olbrel::kDemoPassword));
  EXPECT_EQ(std::vector<std::string>{}, olbrel::Files(work, "", olbrel::kDemoPassword));
  std::string log = ReadFile(HostEnv::Get().logFile);
  EXPECT_NE(std::string::npos, log.find("Read line [alpha,]")) << "the log is not at level 30";
  EXPECT_NE(std::string::npos, log.find("Password = ["));
  EXPECT_EQ(std::string::npos, log.find(olbrel::kDemoPassword));
}

TEST_F(SecretsTest, HostileCredentialsStartNothingButTheTool) {
  const std::string pwned = m_dir.file("pwned"), argvFile = m_dir.file("argv"),
                    runs = m_dir.file("runs");
  // The fake tool notes each run and its arguments, NUL after each.
  olbrel::WriteScript(m_dir.file("bin/sqlplus"),
                      "#!/bin/sh\necho run >> '" + runs + "'\n: > '" + argvFile +
                          "'\nfor a in \"$0\" \"$@\"; do printf '%s\\0' \"$a\" >> '" + argvFile +
                          "'; done\n");
  olbrel::PathPrefix path(m_dir.file("bin"));
  char cwd[4096];
  ASSERT_NE(nullptr, getcwd(cwd, sizeof cwd));
  ASSERT_EQ(0, chdir(m_dir.path().c_str()));  // where a relative 'touch pwned' would land

  const struct {
    std::string user, password;
    bool refused = false;  // an unbalanced quote: the line is refused, nothing runs
  } cases[] = {
      {"dpa", "pa ss word"},
      {"dpa", "\"quoted\" pass"},
      {"dpa", "half\"quote", true},
      {"dpa", "it's"},
      {"dpa", "a;touch " + pwned + ";b"},
      {"dpa", "$(touch " + pwned + ")"},
      {"dpa", "`touch " + pwned + "`"},
      {"dpa", "x\ntouch " + pwned + "\n"},
      {"dpa", "x|touch " + pwned},
      {"dpa", "x&&touch " + pwned},
      {"dpa", "x>pwned"},
      {"dpa", "$(touch pwned)"},
      {"$(touch pwned)", "secret"},
      {"us er;touch pwned;", "secret"},
      {"dpa", "tab\there"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("user [" + c.user + "] password [" + c.password + "]");
    unlink(argvFile.c_str());
    unlink(runs.c_str());
    DBContext context;
    context.setUserName(c.user);
    context.setPassword(c.password);
    olbtest::LogCapture log;
    std::vector<DPAClient> clients;
    bool fetched;
    {
      CDPAServerCollectorV58_ORACLE collector;
      collector.setDBContext(context);
      fetched = collector.FetchData(&clients);
    }
    EXPECT_FALSE(olbtest::FileExists(pwned));
    EXPECT_EQ(!c.refused, fetched) << log.All();
    EXPECT_EQ(c.refused ? "" : "run\n", ReadFile(runs));
    if (c.refused) continue;
    // The arguments are the command line's words, quotes removed: the
    // credentials reach the tool as data.
    std::vector<std::string> argv = Split(ReadFile(argvFile), '\0');
    ASSERT_GE(argv.size(), 5u);
    EXPECT_TRUE(olbrel::EndsWith(argv[0], "/sqlplus"));
    std::string joined;
    for (size_t i = 1; i < argv.size(); ++i) joined += (i > 1 ? " " : "") + argv[i];
    std::string logon = c.user + "/" + c.password;
    for (size_t at; (at = logon.find('"')) != std::string::npos;) logon.erase(at, 1);
    for (size_t at; (at = logon.find('\t')) != std::string::npos;) logon[at] = ' ';
    EXPECT_EQ(0u, joined.find("-S " + logon + " as SYSDBA @")) << joined;
    EXPECT_TRUE(olbrel::EndsWith(joined, ".sql")) << joined;
    for (const LogRecord& r : log.records()) {
      EXPECT_EQ(std::string::npos, r.text.find(c.password)) << r.text;
    }
  }
  ASSERT_EQ(0, chdir(cwd));
}

}  // namespace
