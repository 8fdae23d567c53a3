// DumpXmlMsgToFile: one valid file per message, named by the host's sequence
// and the class, put in place by rename so that it never replaces a file and
// a failed write (no directory, full disk) leaves nothing behind.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <string>
#include <vector>

#include "host/ForeignHandlerBase.h"
#include "host/HostEnv.h"
#include "host/Messages.h"
#include "model/MessageAccess.h"
#include "testsupport/TestSupport.h"

using olbtest::ListDir;
using olbtest::LogCapture;

namespace {

using Names = std::vector<std::string>;

// The base with the discovery operations stubbed out.
class Handler : public CForeignHandlerBase {
 public:
  bool DiscoverConfig(CWzMessageBase*) override { return true; }
  bool DiscoverStoragePolicies(CWzMessageBase*) override { return true; }
  bool DiscoverClients(CWzMessageBase*) override { return true; }
  bool DiscoverJobs(CWzMessageBase*) override { return true; }
  bool DiscoverMedia(CWzMessageBase*) override { return true; }
  bool DiscoverSchedule(CWzMessageBase*) override { return true; }
  bool RetrieveMetadata() override { return true; }
  bool DoRestore(CWzMessageBase*) override { return true; }
};

using DumpTest = olbtest::HostFixture;

TEST_F(DumpTest, NamesFilesBySequenceAndClassAndNeverReplacesOne) {
  LogCapture capture;
  Handler handler;
  HostEnv::Get().nextDumpSequence = 41;
  ASSERT_TRUE(olbtest::WriteFile(OutDir() + "/0042-ZRC.JobList.xml", "not yet imported"));
  ZRC::JobList first, second;
  SetField(second, ZRC::JobList::flags, 2);
  SetField(second, ZRC::JobList::productKind, 16);
  CWzMessageBase unknown(99, 7);
  for (CWzMessageBase* msg : std::vector<CWzMessageBase*>{&first, &second, &unknown}) {
    ASSERT_TRUE(handler.DumpXmlMsgToFile(msg, 0, false));
  }
  EXPECT_EQ(ListDir(OutDir()), (Names{"0041-ZRC.JobList.xml", "0042-ZRC.JobList.xml",
                                      "0043-ZRC.JobList.xml", "0044-99.7.xml"}));
  EXPECT_EQ(45u, HostEnv::Get().nextDumpSequence);
  EXPECT_EQ(handler.dumpedFiles(),
            (Names{OutDir() + "/0041-ZRC.JobList.xml", OutDir() + "/0043-ZRC.JobList.xml",
                   OutDir() + "/0044-99.7.xml"}));
  EXPECT_EQ("not yet imported", olbtest::ReadFile(OutDir() + "/0042-ZRC.JobList.xml"));
  EXPECT_EQ(olbtest::DescribeDumpedFile(handler.dumpedFiles()[1]),
            (Names{"flags(3:6) = 2", "productKind(4:7) = 16"}));
  EXPECT_EQ(olbtest::DescribeDumpedFile(handler.dumpedFiles()[2]), (Names{"{}"}));

  struct stat st;
  ASSERT_EQ(0, stat(handler.dumpedFiles()[1].c_str(), &st));
  EXPECT_EQ(0644, static_cast<int>(st.st_mode & 07777));
  std::string size = std::to_string(static_cast<long long>(st.st_size));
  EXPECT_EQ(1u, capture.Count("Wrote [0043-ZRC.JobList.xml] with [" + size + "] bytes"))
      << capture.All();
}

TEST_F(DumpTest, FailuresLeaveNoFileAndKeepTheSequence) {
  LogCapture capture;
  Handler handler;
  EXPECT_FALSE(handler.DumpXmlMsgToFile(nullptr, 0, false));
  EXPECT_TRUE(capture.Contains("No message")) << capture.All();
  ZRC::JobList list;
  ASSERT_TRUE(olbtest::WriteFile(m_dir.file("plainfile"), "x"));
  for (const std::string& dir : {m_dir.path() + "/missing", m_dir.file("plainfile")}) {
    HostEnv::Get().outputDir = dir;
    EXPECT_FALSE(handler.DumpXmlMsgToFile(&list, 0, false)) << dir;
  }
  EXPECT_TRUE(capture.Contains("No such file or directory")) << capture.All();
  EXPECT_EQ(1u, HostEnv::Get().nextDumpSequence);
  EXPECT_TRUE(handler.dumpedFiles().empty());
  for (const auto& r : capture.records()) {
    EXPECT_EQ("CForeignHandlerBase::DumpXmlMsgToFile", r.context);
    EXPECT_EQ("DEBUG", r.level);
  }

  // A disk that fills up while writing: no file, not even the temporary one.
  HostEnv::Get().outputDir = OutDir();
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{512, RLIM_INFINITY};
    setrlimit(RLIMIT_FSIZE, &limit);
    App::ClientDetail detail;
    SetField(detail, App::ClientDetail::description, std::string(100000, 'd'));
    bool failed = !handler.DumpXmlMsgToFile(&detail, 0, false);
    bool clean = failed && handler.dumpedFiles().empty() && HostEnv::Get().nextDumpSequence == 1;
    // Once there is room again the same message is written whole.
    rlimit unlimited{RLIM_INFINITY, RLIM_INFINITY};
    setrlimit(RLIMIT_FSIZE, &unlimited);
    bool written = handler.DumpXmlMsgToFile(&detail, 0, false) &&
                   olbtest::DescribeDumpedFile(OutDir() + "/0001-App.ClientDetail.xml").size() == 1;
    unlink((OutDir() + "/0001-App.ClientDetail.xml").c_str());
    _exit(clean && written ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(pid, waitpid(pid, &status, 0));
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(ListDir(OutDir()), Names{});
}

}  // namespace
