// DumpXmlMsgToFile: one valid file per message, named by the host's sequence and the class, never
// replacing a file; its records counted by class; a failed write leaves nothing and says why. (The
// log line and the files of a whole run are pinned by the golden run; a full disk at each dump is
// in app/Faults_test.cpp.)
#include "host/ForeignHandlerBase.h"
#include "host/Messages.h"
#include "model/MessageAccess.h"
#include "testsupport/TestSupport.h"

namespace {

using Names = std::vector<std::string>;

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

TEST_F(DumpTest, NamesFilesBySequenceNeverReplacesOneAndCountsRecords) {
  Handler handler;
  HostEnv::Get().nextDumpSequence = 41;
  ASSERT_TRUE(olbtest::WriteFile(OutDir() + "/0042-ZRC.JobList.xml", "not yet imported"));
  ZRC::JobList first, second;
  for (int i = 0; i < 3; ++i) {
    ZRC::JobInfo& job = Append(second, ZRC::JobList::jobs);
    if (i > 0) Object(job, ZRC::JobInfo::detail);
  }
  CWzMessageBase unknown(99, 7);
  for (CWzMessageBase* msg : std::vector<CWzMessageBase*>{&first, &second, &unknown}) {
    ASSERT_TRUE(handler.DumpXmlMsgToFile(msg, 0, false));
  }
  EXPECT_EQ(olbtest::ListDir(OutDir()), (Names{"0041-ZRC.JobList.xml", "0042-ZRC.JobList.xml",
                                               "0043-ZRC.JobList.xml", "0044-99.7.xml"}));
  EXPECT_EQ(45u, HostEnv::Get().nextDumpSequence);
  EXPECT_EQ(handler.dumpedFiles(),
            (Names{OutDir() + "/0041-ZRC.JobList.xml", OutDir() + "/0043-ZRC.JobList.xml",
                   OutDir() + "/0044-99.7.xml"}));
  EXPECT_EQ("not yet imported", olbtest::ReadFile(OutDir() + "/0042-ZRC.JobList.xml"));
  EXPECT_EQ(olbtest::DescribeDumpedFile(handler.dumpedFiles()[2]), (Names{"{}"}));
  EXPECT_EQ(2, handler.dumpedRecords(ZRC::JobList::kModule, ZRC::JobList::kType));
  EXPECT_EQ(3, handler.dumpedRecords(ZRC::JobInfo::kModule, ZRC::JobInfo::kType));
  EXPECT_EQ(2, handler.dumpedRecords(ZRC::JobDetailHolder::kModule, ZRC::JobDetailHolder::kType));
  EXPECT_EQ(1, handler.dumpedRecords(99, 7));
  EXPECT_EQ(0644, olbtest::FileMode(handler.dumpedFiles()[1]));
}

TEST_F(DumpTest, FailuresLeaveNoFileKeepTheSequenceAndSayWhy) {
  Handler handler;
  EXPECT_FALSE(handler.DumpXmlMsgToFile(nullptr, 0, false));
  EXPECT_EQ("no message to write", HostEnv::Get().lastFailure);
  ZRC::JobList list;
  ASSERT_TRUE(olbtest::WriteFile(m_dir.file("plainfile"), "x"));
  for (const std::string& dir : {m_dir.file("missing"), m_dir.file("plainfile")}) {
    HostEnv::Get().outputDir = dir;
    EXPECT_FALSE(handler.DumpXmlMsgToFile(&list, 0, false)) << dir;
    EXPECT_EQ(0u, HostEnv::Get().lastFailure.find("cannot write ZRC.JobList into " + dir +
                                                  " (creating a temporary file): "));
  }
  EXPECT_EQ(1u, HostEnv::Get().nextDumpSequence);
  EXPECT_TRUE(handler.dumpedFiles().empty() && olbtest::ListDir(OutDir()).empty());
  EXPECT_EQ(0, handler.dumpedRecords(ZRC::JobList::kModule, ZRC::JobList::kType));
}

}  // namespace
