#include <string>
#include <utility>
#include <vector>

#include "handler/CForeignHandlerDPA.h"
#include "host/HxUtil.h"
#include "host/MessageXml.h"
#include "model/MessageAccess.h"
#include "testsupport/TestSupport.h"

namespace {

using Fields = std::vector<std::pair<short, std::string>>;

// Every field of `msg` in the order set: number and value as text ("[n]"
// for a list of n items).
Fields FieldsOf(const CWzMessageBase& msg) {
  Fields fields;
  for (const auto& f : msg.fields()) {
    std::string value = f.kind == CWzMessageBase::Kind::kInt      ? std::to_string(f.intValue)
                        : f.kind == CWzMessageBase::Kind::kString ? f.stringValue
                        : f.kind == CWzMessageBase::Kind::kList
                            ? "[" + std::to_string(f.list->Size()) + "]"
                            : "?";
    fields.emplace_back(f.number, value);
  }
  return fields;
}

class StoragePolicyTest : public olbtest::HostFixture {
 protected:
  void TearDown() override {
    CForeignHandlerDPA::SetServerName("");
    HostFixture::TearDown();
  }
  // Runs the operation, checks the one file it wrote against the schema and
  // reads it back.
  ZRC::StoragePolicyList Discover(std::string* path = nullptr) {
    CForeignHandlerDPA handler;
    ZRC::StoragePolicyList back;
    EXPECT_TRUE(handler.DiscoverStoragePolicies(nullptr));
    if (handler.dumpedFiles().size() != 1u) {
      ADD_FAILURE() << "expected one file";
      return back;
    }
    const std::string& file = handler.dumpedFiles()[0];
    if (path != nullptr) *path = file;
    std::string error;
    EXPECT_TRUE(ValidateMessageXmlFile(file, olbtest::SourceDir() + "/host/message.xsd", &error))
        << error;
    EXPECT_TRUE(ReadMessageXmlFile(file, back, &error)) << error;
    return back;
  }
  // The policy, its copy and its data path.
  static ZRC::StoragePolicy& Policy(ZRC::StoragePolicyList& list) {
    return List(list, ZRC::StoragePolicyList::policies)->at(0);
  }
  static ZRC::StoragePolicyCopy& Copy(ZRC::StoragePolicyList& list) {
    return List(Policy(list), ZRC::StoragePolicy::copies)->at(0);
  }
  static ZRC::StoragePolicyDataPath& Path(ZRC::StoragePolicyList& list) {
    return List(Copy(list), ZRC::StoragePolicyCopy::dataPaths)->at(0);
  }
};

TEST_F(StoragePolicyTest, DefaultPolicyWithKnownServer) {
  CForeignHandlerDPA::SetServerName("dpa01");
  ZRC::StoragePolicyList list = Discover();
  EXPECT_EQ(FieldsOf(list), (Fields{{1, "DPA_dpa01"}, {5, "0"}, {4, "[1]"}}));
  EXPECT_EQ(FieldsOf(Policy(list)),
            (Fields{{1, "DPA_dpa01_SP"}, {3, "PrimaryCopy"}, {6, "SnapCopy"}, {5, "5"},
                    {8, "0"}, {9, GetTimeZoneDisplayNameA()}, {4, "1"}, {7, "0"}, {10, "[1]"},
                    {2, "Default policy created by Outland Bridge agent"}}));
  EXPECT_EQ(FieldsOf(Copy(list)),
            (Fields{{1, "DPA_dpa01_SP"}, {2, "1"}, {3, "PrimaryCopy"}, {4, "0"}, {6, "1"},
                    {7, "1"}, {8, "0"}, {10, "0"}, {11, "0"},
                    {12, "Default primary copy created by Outland Bridge agent"}, {14, "-1"},
                    {5, "0"}, {9, "1"}, {15, "[1]"}}));
  EXPECT_EQ(FieldsOf(Path(list)),
            (Fields{{1, "DPA_dpa01_SP"}, {2, "PrimaryCopy"}, {5, "DefaultDiskLibrary_dpa01"},
                    {6, "0"}, {7, "1"}, {8, "1"}, {9, "0"}, {12, "0"}, {3, "None"},
                    {4, "dpa01"}, {10, "0"}, {11, "0"}}));
}

TEST_F(StoragePolicyTest, BarePrefixesWithoutServerAndSameListTwice) {
  std::string firstPath, secondPath;
  ZRC::StoragePolicyList first = Discover(&firstPath);
  ZRC::StoragePolicyList second = Discover(&secondPath);
  EXPECT_NE(firstPath, secondPath);
  EXPECT_TRUE(first == second);
  EXPECT_EQ(olbtest::ReadFile(firstPath), olbtest::ReadFile(secondPath));

  EXPECT_EQ(GetString(first, ZRC::StoragePolicyList::hubfieldName), "DPA_");
  EXPECT_EQ(GetString(Policy(first), ZRC::StoragePolicy::name), "DPA__SP");
  EXPECT_EQ(GetString(Path(first), ZRC::StoragePolicyDataPath::libraryName),
            "DefaultDiskLibrary_");
  EXPECT_EQ(GetString(Path(first), ZRC::StoragePolicyDataPath::serverName), "");
}

TEST_F(StoragePolicyTest, FailedDumpIsReported) {
  olbtest::LogCapture log;
  HostEnv::Get().outputDir = m_dir.file("missing");
  CForeignHandlerDPA handler;
  EXPECT_FALSE(handler.DiscoverStoragePolicies(nullptr));
  EXPECT_EQ(log.Count("Unable to dump storage policy file"), 1u);
  EXPECT_TRUE(handler.dumpedFiles().empty());
}

}  // namespace
