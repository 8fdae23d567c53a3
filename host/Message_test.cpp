// The message library: field order and replacement in place, kind changes,
// deep copies, retyping of what the reader builds, and equality.
#include "host/Message.h"

#include <climits>

#include "host/Messages.h"
#include "model/MessageAccess.h"
#include "testsupport/TestSupport.h"

#define IDS kWzMsgId1, kWzMsgId2

namespace {

using olbtest::DescribeMessage;
using Lines = std::vector<std::string>;

ZRC::JobInfo MakeJob(const std::string& id) {
  ZRC::JobInfo job;
  SetField(job, ZRC::JobInfo::jobId, id);
  auto* detail = Object(*Object(job, ZRC::JobInfo::detail), ZRC::JobDetailHolder::detail);
  SetField(*detail, ZRC::JobDetail::status, 1);
  SetField(*Object(*detail, ZRC::JobDetail::storagePolicy), StoragePolicyEntity::storagePolicyName,
           "SP");
  return job;
}

TEST(MessageTest, FieldsKeepTheirFirstPlaceWhateverReplacesThem) {
  ZRC::JobInfo job = MakeJob("7");  // jobId, detail
  SetField(job, ZRC::JobInfo::appType, 4);
  SetField(*Object(job, ZRC::JobInfo::jobFlags), ZRC::JobFlags::kind, 1);
  job.setint64(40, 40, 100, IDS);
  job.setint64(40, 41, LLONG_MIN, IDS);                     // a new value and type code
  job.setint64(9, 15, 99, IDS);                             // object -> int
  job.setstring(4, 4, "", IDS);                             // int -> string
  job.setstring(6, 7, job.findField(6)->stringValue, IDS);  // from the string it replaces
  FindObject(job, ZRC::JobInfo::jobFlags)->setstring(2, 2, "inner", IDS);
  job.setstring(8, 14, FindObject(job, ZRC::JobInfo::jobFlags)->findField(2)->stringValue,
                IDS);  // from inside the object it replaces
  EXPECT_EQ(DescribeMessage(job),
            (Lines{"jobId(6:7) = \"7\"", "detail(9:15) = 99", "appType(4:4) = \"\"",
                   "jobFlags(8:14) = \"inner\"", "40(40:41) = -9223372036854775808"}));
  EXPECT_EQ(job.getint64(40, IDS), LLONG_MIN);
  EXPECT_TRUE(job.isSet(4, IDS) && !job.isSet(2, IDS));
  // Getters of another kind give the empty value; accessors null, even with create.
  EXPECT_TRUE(job.getint64(4, IDS) == 0 && job.getstring(9, 15, IDS).empty());
  EXPECT_TRUE(!FindObject(job, ZRC::JobInfo::detail) && !job.getlistint(4, 4, IDS, true) &&
              !job.getlistobject<ZRC::DataInfo>(6, 6, IDS, true) &&
              !job.getObjectAccessor<ZRC::JobFlags>(true, true, 4, 4, IDS, 32, 39));
}

TEST(MessageTest, CopiesAreDeepAndKeepTheirClasses) {
  ZRC::JobList list;
  List(list, ZRC::JobList::jobs)->push_back(MakeJob("1"));
  const Lines original = DescribeMessage(list);
  ZRC::JobList copy = list;
  ZRC::JobInfo& job = List(copy, ZRC::JobList::jobs)->at(0);
  const CWzMessageBase* held = job.findField(ZRC::JobInfo::detail.number)->object.get();
  EXPECT_NE(dynamic_cast<const ZRC::JobDetailHolder*>(held), nullptr);
  SetField(*Object(*FindObject(job, ZRC::JobInfo::detail), ZRC::JobDetailHolder::detail),
           ZRC::JobDetail::status, 9);
  EXPECT_EQ(DescribeMessage(list), original);
  std::unique_ptr<CWzMessageBase> clone = static_cast<const CWzMessageBase&>(list).Clone();
  EXPECT_TRUE(dynamic_cast<ZRC::JobList*>(clone.get()) != nullptr && *clone == list);
  // Assignment from a message nested inside the target takes its class numbers too.
  ZRC::JobInfo nested = MakeJob("2");
  static_cast<CWzMessageBase&>(nested) = *nested.findField(9)->object;
  EXPECT_EQ(DescribeMessage(nested),
            (Lines{"detail(1:1).status(8:8) = 1",
                   "detail(1:1).storagePolicy(17:20).storagePolicyName(1:1) = \"SP\""}));
  // setObjectAccessor stores a copy, also of the object the field holds.
  ZRC::JobDetailHolder holder;
  ZRC::JobDetail detail;
  SetField(detail, ZRC::JobDetail::kind, 4);
  holder.setObjectAccessor(&detail, 1, 1, IDS);
  SetField(detail, ZRC::JobDetail::kind, 5);
  holder.setObjectAccessor(holder.findField(1)->object.get(), 1, 1, IDS);  // what it holds
  holder.setObjectAccessor(nullptr, 1, 1, IDS);                            // nothing to store
  holder.setint64(2, 2, 1, IDS);
  holder.setObjectAccessor(&detail, 2, 3, IDS);  // over an int, in its place
  EXPECT_EQ(DescribeMessage(holder), (Lines{"detail(1:1).kind(1:1) = 4", "2(2:3).kind(1:1) = 5"}));
  EXPECT_NE(dynamic_cast<const ZRC::JobDetail*>(holder.findField(1)->object.get()), nullptr);
}

TEST(MessageTest, WhatTheReaderBuildsIsRetypedOnTypedAccess) {
  CWzMessageBase item(32, 21), list(32, 11);
  item.getObjectAccessor(true, true, 9, 15, IDS, 32, 2)->setint64(7, 7, 7, IDS);
  CWzMessageBase::ListBase* generic = list.addGenericList(2, 5);
  generic->Append(item);
  generic->Append(item);
  const CWzMessageBase before = list;
  auto* jobs = list.getlistobject<ZRC::JobInfo>(2, 5, IDS, false);
  ASSERT_TRUE(jobs != nullptr && jobs->size() == 2u);
  EXPECT_EQ(list.getlistobject<ZRC::JobInfo>(2, 5, IDS, true), jobs);
  auto* holder = FindObject((*jobs)[1], ZRC::JobInfo::detail);  // a nested generic object
  EXPECT_TRUE(holder != nullptr && FindObject((*jobs)[1], ZRC::JobInfo::detail) == holder);
  EXPECT_EQ(list, before);  // the same content, now typed
}

TEST(MessageTest, EqualityLooksAtTypeCodesOrderBytesAndItems) {
  EXPECT_EQ(MakeJob("1"), MakeJob("1"));
  ZRC::JobInfo otherType = MakeJob("1");
  otherType.setstring(6, 7, "1", IDS);
  EXPECT_NE(otherType, MakeJob("1"));
  CWzMessageBase x(1, 1), y(1, 1), s(1, 1), t(1, 1), l1(1, 1), l2(1, 1);
  x.setint64(1, 1, 1, IDS), x.setint64(2, 2, 2, IDS);
  y.setint64(2, 2, 2, IDS), y.setint64(1, 1, 1, IDS);
  EXPECT_NE(x, y);
  EXPECT_NE(CWzMessageBase(1, 1), CWzMessageBase(1, 2));
  s.setstring(1, 1, std::string("a\0b", 3), IDS), t.setstring(1, 1, std::string("a\0c", 3), IDS);
  EXPECT_NE(s, t);
  l1.addGenericList(1, 1)->Append(CWzMessageBase(2, 2));
  l2.addGenericList(1, 1);
  EXPECT_NE(l1, l2);
  l2.getlistobject<CWzMessageBase>(1, 1, IDS, false)->emplace_back(2, 3);
  EXPECT_NE(l1, l2);
}

}  // namespace
