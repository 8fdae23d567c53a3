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
#include "host/MessageXml.h"
#include "host/Messages.h"
#include "model/MessageAccess.h"
#include "testsupport/TestSupport.h"

using olbtest::ListDir;
using olbtest::LogCapture;
using olbtest::ReadFile;
using olbtest::WriteFile;

namespace {

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

using Names = std::vector<std::string>;

class DumpTest : public olbtest::HostFixture {
 protected:
  ZRC::JobList JobList(long long flags) {
    ZRC::JobList list;
    SetField(list, ZRC::JobList::flags, flags);
    SetField(list, ZRC::JobList::productKind, 16);
    return list;
  }
};

TEST_F(DumpTest, NamesFilesBySequenceAndClass) {
  LogCapture capture;
  Handler handler;
  ZRC::JobList first = JobList(1);
  ZRC::JobList second = JobList(2);
  CWzMessageBase unknown(99, 7);
  ASSERT_TRUE(handler.DumpXmlMsgToFile(&first, 0, false));
  ASSERT_TRUE(handler.DumpXmlMsgToFile(&second, 0, false));
  ASSERT_TRUE(handler.DumpXmlMsgToFile(&unknown, 0, false));
  EXPECT_EQ((Names{"0001-ZRC.JobList.xml", "0002-ZRC.JobList.xml", "0003-99.7.xml"}),
            ListDir(OutDir()));
  EXPECT_EQ(4u, HostEnv::Get().nextDumpSequence);
  EXPECT_EQ((Names{OutDir() + "/0001-ZRC.JobList.xml", OutDir() + "/0002-ZRC.JobList.xml",
                   OutDir() + "/0003-99.7.xml"}),
            handler.dumpedFiles());

  struct stat st;
  ASSERT_EQ(0, stat(handler.dumpedFiles()[1].c_str(), &st));
  EXPECT_EQ(0644, static_cast<int>(st.st_mode & 07777));
  std::string size = std::to_string(static_cast<long long>(st.st_size));
  EXPECT_EQ(1u, capture.Count("Wrote [0002-ZRC.JobList.xml] with [" + size + "] bytes"))
      << capture.All();

  CWzMessageBase back(0, 0);
  std::string error;
  ASSERT_TRUE(ReadMessageXmlFile(handler.dumpedFiles()[1], back, &error)) << error;
  EXPECT_TRUE(back == second);
}

TEST_F(DumpTest, SequenceContinuesFromTheHostAndNeverReplacesAFile) {
  Handler handler;
  ZRC::JobList list = JobList(0);
  HostEnv::Get().nextDumpSequence = 41;
  ASSERT_TRUE(WriteFile(OutDir() + "/0041-ZRC.JobList.xml", "not yet imported"));
  ASSERT_TRUE(handler.DumpXmlMsgToFile(&list, 0, false));
  EXPECT_EQ("not yet imported", ReadFile(OutDir() + "/0041-ZRC.JobList.xml"));
  EXPECT_EQ((Names{"0041-ZRC.JobList.xml", "0042-ZRC.JobList.xml"}), ListDir(OutDir()));
  EXPECT_EQ(43u, HostEnv::Get().nextDumpSequence);
}

TEST_F(DumpTest, FailuresLeaveNoFileAndKeepTheSequence) {
  LogCapture capture;
  Handler handler;
  EXPECT_FALSE(handler.DumpXmlMsgToFile(nullptr, 0, false));
  EXPECT_TRUE(capture.Contains("No message")) << capture.All();

  ZRC::JobList list = JobList(0);
  HostEnv::Get().outputDir = m_dir.path() + "/missing";
  EXPECT_FALSE(handler.DumpXmlMsgToFile(&list, 0, false));
  EXPECT_TRUE(capture.Contains("No such file or directory")) << capture.All();
  ASSERT_TRUE(WriteFile(m_dir.file("plainfile"), "x"));
  HostEnv::Get().outputDir = m_dir.file("plainfile");
  EXPECT_FALSE(handler.DumpXmlMsgToFile(&list, 0, false));

  EXPECT_EQ(1u, HostEnv::Get().nextDumpSequence);
  EXPECT_TRUE(handler.dumpedFiles().empty());
  EXPECT_TRUE(ListDir(OutDir()).empty());
  for (const auto& r : capture.records()) {
    EXPECT_EQ("CForeignHandlerBase::DumpXmlMsgToFile", r.context);
    EXPECT_EQ("DEBUG", r.level);
  }
}

TEST_F(DumpTest, FullDiskLeavesNoPartialFile) {
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{512, 512};
    setrlimit(RLIMIT_FSIZE, &limit);
    App::ClientDetail detail;
    SetField(detail, App::ClientDetail::description, std::string(100000, 'd'));
    Handler handler;
    bool written = handler.DumpXmlMsgToFile(&detail, 0, false);
    bool clean = ListDir(OutDir()).empty() && handler.dumpedFiles().empty() &&
                 HostEnv::Get().nextDumpSequence == 1;
    _exit(!written && clean ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(pid, waitpid(pid, &status, 0));
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(0, WEXITSTATUS(status));
  EXPECT_TRUE(ListDir(OutDir()).empty());
}

}  // namespace
