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

class SecretsTest : public olbtest::HostFixture {
 protected:
  void SetUp() override {
    olbtest::HostFixture::SetUp();
    m_bin = m_dir.path() + "/fake-bin";
    ASSERT_EQ(0, mkdir(m_bin.c_str(), 0700));
  }

  std::string m_bin;
};

// Every file under `dir` that holds `secret`.
std::vector<std::string> FilesHolding(const std::string& dir, const std::string& secret) {
  std::vector<std::string> files, holding;
  olbrel::FindFiles(dir, &files);
  for (const std::string& path : files) {
    if (ReadFile(path).find(secret) != std::string::npos) holding.push_back(path);
  }
  return holding;
}

TEST_F(SecretsTest, FullRunKeepsThePasswordOutOfEveryFileAndScratchFilesPrivate) {
  SetRegistry(olbrel::DemoRegistry());
  UseDatastore({olbtest::DemoSqlPath()});
  // A work directory that does not exist yet: the host makes it.
  std::string work = m_dir.path() + "/fresh/work";
  HostEnv::Get().workDir = work;

  // A wrapper around the stand-in notes the modes of the script, its
  // directory, the output file and its directory while the tool runs.
  std::string modes = m_dir.path() + "/modes.txt";
  olbrel::WriteScript(
      m_bin + "/sqlplus",
      "#!/bin/sh\n"
      "for a in \"$@\"; do case \"$a\" in @*) script=\"${a#@}\";; esac; done\n"
      "out=$(readlink /proc/$$/fd/1)\n"
      "echo \"$(stat -c %a \"$script\") $(stat -c %a \"$(dirname \"$script\")\")"
      " $(stat -c %a \"$out\") $(stat -c %a \"$(dirname \"$out\")\")\" >> '" + modes + "'\n"
      "exec '" + olbtest::StandInBinDir() + "/sqlplus' \"$@\"\n");
  olbrel::PathPrefix path(m_bin);

  CForeignHandlerDPA handler;
  CWzMessageBase config(30, 0);
  CWzMessageBase msg(32, 0);
  ASSERT_TRUE(handler.DiscoverConfig(&config));
  bool (CForeignHandlerDPA::*operations[])(CWzMessageBase*) = {
      &CForeignHandlerDPA::DiscoverClients, &CForeignHandlerDPA::DiscoverJobs,
      &CForeignHandlerDPA::DiscoverMedia, &CForeignHandlerDPA::DiscoverStoragePolicies};
  for (auto op : operations) {
    ASSERT_TRUE((handler.*op)(&msg)) << ReadFile(HostEnv::Get().logFile);
    std::vector<std::string> files;
    olbrel::FindFiles(work, &files);
    for (const std::string& f : files) EXPECT_FALSE(olbrel::EndsWith(f, ".sql")) << f;
  }

  // Six tool runs (server, clients, groups, jobs, disk and tape libraries),
  // each with a private script in a private directory and private output.
  std::vector<std::string> lines;
  std::string text = ReadFile(modes);
  for (size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
    lines.push_back(text.substr(at, end - at));
  }
  EXPECT_EQ(6u, lines.size()) << text;
  for (const std::string& line : lines) EXPECT_EQ("600 700 600 700", line);
  EXPECT_EQ(0700, olbrel::ModeOf(work));

  EXPECT_EQ(5u, olbrel::FilesEndingWith(OutDir(), ".xml").size());
  EXPECT_EQ(std::vector<std::string>{}, FilesHolding(OutDir(), olbrel::kDemoPassword));
  EXPECT_EQ(std::vector<std::string>{}, FilesHolding(work, olbrel::kDemoPassword));
  std::string log = ReadFile(HostEnv::Get().logFile);
  EXPECT_NE(std::string::npos, log.find("Read line [alpha,]")) << "the log is not at level 30";
  EXPECT_EQ(std::string::npos, log.find(olbrel::kDemoPassword));
  EXPECT_NE(std::string::npos, log.find("Password = ["));
}

TEST_F(SecretsTest, HostileCredentialsStartNothingButTheTool) {
  std::string pwned = m_dir.path() + "/pwned";
  std::string argvFile = m_dir.path() + "/argv";
  std::string runs = m_dir.path() + "/runs";
  // The fake tool notes each run and its arguments, NUL after each.
  olbrel::WriteScript(m_bin + "/sqlplus",
                      "#!/bin/sh\necho run >> '" + runs + "'\n: > '" + argvFile +
                          "'\nfor a in \"$0\" \"$@\"; do printf '%s\\0' \"$a\" >> '" + argvFile +
                          "'; done\n");
  olbrel::PathPrefix path(m_bin);
  char cwd[4096];
  ASSERT_NE(nullptr, getcwd(cwd, sizeof cwd));
  ASSERT_EQ(0, chdir(m_dir.path().c_str()));  // where a relative 'touch pwned' would land

  struct Credentials {
    std::string user;
    std::string password;
  } cases[] = {
      {"dpa", "pa ss word"},
      {"dpa", "\"quoted\" pass"},
      {"dpa", "half\"quote"},
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
  for (const Credentials& c : cases) {
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
    EXPECT_FALSE(olbtest::FileExists(m_dir.path() + "/pwned"));
    if (c.password.find('"') != std::string::npos && c.password != "\"quoted\" pass") {
      // An unbalanced quote: the line is refused, nothing runs.
      EXPECT_FALSE(fetched);
      EXPECT_FALSE(olbtest::FileExists(runs));
      continue;
    }
    EXPECT_TRUE(fetched) << log.All();
    EXPECT_EQ("run\n", ReadFile(runs));
    // The arguments are the command line's words, quotes removed: the
    // credentials reach the tool as data.
    std::string args = ReadFile(argvFile);
    std::vector<std::string> argv;
    for (size_t at = 0, end; (end = args.find('\0', at)) != std::string::npos; at = end + 1) {
      argv.push_back(args.substr(at, end - at));
    }
    ASSERT_GE(argv.size(), 5u);
    EXPECT_TRUE(olbrel::EndsWith(argv[0], "/sqlplus"));
    std::string joined;
    for (size_t i = 1; i < argv.size(); ++i) joined += (i > 1 ? " " : "") + argv[i];
    std::string logon = c.user + "/" + c.password;
    for (size_t at; (at = logon.find('"')) != std::string::npos;) logon.erase(at, 1);
    for (size_t at; (at = logon.find('\t')) != std::string::npos;) logon[at] = ' ';
    EXPECT_EQ(0u, joined.find("-S " + logon + " as SYSDBA @")) << joined;
    EXPECT_TRUE(olbrel::EndsWith(joined, ".sql")) << joined;
    // Nothing of the password reaches the log.
    for (const LogRecord& r : log.records()) {
      EXPECT_EQ(std::string::npos, r.text.find(c.password)) << r.text;
    }
  }
  ASSERT_EQ(0, chdir(cwd));
}

}  // namespace
