#include "host/Message.h"

#include <gtest/gtest.h>

#include <climits>

#include "host/Messages.h"
#include "model/MessageAccess.h"

namespace {

std::vector<short> Numbers(const CWzMessageBase& msg) {
  std::vector<short> numbers;
  for (const auto& f : msg.fields()) numbers.push_back(f.number);
  return numbers;
}

ZRC::JobInfo MakeJob(const std::string& id) {
  ZRC::JobInfo job;
  SetField(job, ZRC::JobInfo::appType, 130);
  SetField(job, ZRC::JobInfo::jobId, id);
  auto* detail = Object(*Object(job, ZRC::JobInfo::detail), ZRC::JobDetailHolder::detail);
  SetField(*detail, ZRC::JobDetail::status, 1);
  SetField(*Object(*detail, ZRC::JobDetail::storagePolicy),
           StoragePolicyEntity::storagePolicyName, "SP_DPA_srv");
  ZRC::DataInfo& data = Append(*Object(job, ZRC::JobInfo::dataInfo), ZRC::DataInfoList::items);
  SetField(data, ZRC::DataInfo::dataSize, 1LL << 40);
  return job;
}

TEST(MessageTest, FieldsKeepTheirFirstPlaceAndReplaceInPlace) {
  CWzMessageBase msg(32, 27);
  msg.setint64(9, 9, 100, kWzMsgId1, kWzMsgId2);
  msg.setstring(1, 1, "first", kWzMsgId1, kWzMsgId2);
  msg.setint64(27, 30, 3, kWzMsgId1, kWzMsgId2);
  msg.setint64(9, 9, -5, kWzMsgId1, kWzMsgId2);
  msg.setstring(1, 2, "second", kWzMsgId1, kWzMsgId2);
  EXPECT_EQ(Numbers(msg), (std::vector<short>{9, 1, 27}));
  EXPECT_EQ(msg.getint64(9, kWzMsgId1, kWzMsgId2), -5);
  EXPECT_EQ(msg.getstring(1, 2, kWzMsgId1, kWzMsgId2), "second");
  EXPECT_EQ(msg.findField(1)->type, 2);  // the latest type code wins
  EXPECT_TRUE(msg.isSet(27, kWzMsgId1, kWzMsgId2));
  EXPECT_FALSE(msg.isSet(2, kWzMsgId1, kWzMsgId2));
  // Values of full 64-bit range and empty strings are values too.
  msg.setint64(3, 3, LLONG_MIN, kWzMsgId1, kWzMsgId2);
  msg.setstring(4, 4, "", kWzMsgId1, kWzMsgId2);
  EXPECT_EQ(msg.getint64(3, kWzMsgId1, kWzMsgId2), LLONG_MIN);
  EXPECT_TRUE(msg.isSet(4, kWzMsgId1, kWzMsgId2));
}

TEST(MessageTest, KindChangeReplacesTheValueInPlace) {
  ZRC::JobInfo job;
  SetField(job, ZRC::JobInfo::appType, 4);
  Object(job, ZRC::JobInfo::detail);
  SetField(job, ZRC::JobInfo::jobId, "7");
  // The object field becomes an int, the int a string, in their places.
  job.setint64(ZRC::JobInfo::detail.number, 15, 99, kWzMsgId1, kWzMsgId2);
  job.setstring(ZRC::JobInfo::appType.number, 4, "text", kWzMsgId1, kWzMsgId2);
  EXPECT_EQ(Numbers(job), (std::vector<short>{4, 9, 6}));
  EXPECT_EQ(job.getint64(9, kWzMsgId1, kWzMsgId2), 99);
  EXPECT_EQ(job.findField(9)->object, nullptr);
  EXPECT_EQ(FindObject(job, ZRC::JobInfo::detail), nullptr);
  EXPECT_EQ(job.getstring(4, 4, kWzMsgId1, kWzMsgId2), "text");
  EXPECT_EQ(job.getint64(4, kWzMsgId1, kWzMsgId2), 0);  // no longer an int
  EXPECT_EQ(job.getstring(9, 15, kWzMsgId1, kWzMsgId2), "");
  // Accessors of another kind give null, even with create set.
  EXPECT_EQ(job.getlistint(4, 4, kWzMsgId1, kWzMsgId2, true), nullptr);
  EXPECT_EQ(job.getlistobject<ZRC::DataInfo>(6, 6, kWzMsgId1, kWzMsgId2, true), nullptr);
  EXPECT_EQ(job.getObjectAccessor<ZRC::JobFlags>(true, true, 4, 4, kWzMsgId1, kWzMsgId2, 32, 39),
            nullptr);
  // A string set from a value that lives in the field it replaces.
  auto* holder = Object(job, ZRC::JobInfo::jobFlags);
  holder->setstring(1, 1, "self", kWzMsgId1, kWzMsgId2);
  const std::string& inside = holder->findField(1)->stringValue;
  holder->setstring(1, 1, inside, kWzMsgId1, kWzMsgId2);
  EXPECT_EQ(holder->getstring(1, 1, kWzMsgId1, kWzMsgId2), "self");
}

TEST(MessageTest, CreateOnASetFieldReturnsWhatIsThere) {
  ZRC::JobList list;
  auto* jobs = List(list, ZRC::JobList::jobs);
  jobs->push_back(MakeJob("1"));
  // Asked with create true again: same list, the items accumulate.
  auto* again = List(list, ZRC::JobList::jobs, /*alwaysCreate=*/true);
  EXPECT_EQ(again, jobs);
  again->push_back(MakeJob("2"));
  EXPECT_EQ(List(list, ZRC::JobList::jobs)->size(), 2u);

  ZRC::JobInfo job;
  auto* flags = Object(job, ZRC::JobInfo::jobFlags);
  SetField(*flags, ZRC::JobFlags::kind, 4);
  EXPECT_EQ(Object(job, ZRC::JobInfo::jobFlags, /*alwaysCreate=*/true), flags);
  EXPECT_EQ(GetInt(*flags, ZRC::JobFlags::kind), 4);
  EXPECT_EQ(FindObject(job, ZRC::JobInfo::hubfield), nullptr);

  std::vector<int>* ints = job.getlistint(20, 20, kWzMsgId1, kWzMsgId2, true);
  ints->push_back(1);
  job.getlistint(20, 20, kWzMsgId1, kWzMsgId2, true)->push_back(2);
  EXPECT_EQ(*job.getlistint(20, 20, kWzMsgId1, kWzMsgId2, false), (std::vector<int>{1, 2}));
  EXPECT_EQ(job.getlistint(21, 21, kWzMsgId1, kWzMsgId2, false), nullptr);
  EXPECT_FALSE(job.isSet(21, kWzMsgId1, kWzMsgId2));
}

TEST(MessageTest, CopiesAreDeepAndKeepTheirClasses) {
  ZRC::JobList list;
  SetField(list, ZRC::JobList::productKind, 16);
  List(list, ZRC::JobList::jobs)->push_back(MakeJob("1"));

  ZRC::JobList copy = list;
  EXPECT_EQ(copy, list);
  // The copy's nested objects are new objects of the same classes.
  auto& job = (*List(copy, ZRC::JobList::jobs))[0];
  auto* detailHolder = FindObject(job, ZRC::JobInfo::detail);
  ASSERT_NE(detailHolder, nullptr);
  const auto* original = list.findField(ZRC::JobList::jobs.number)->list.get();
  EXPECT_NE(&original->At(0), &job);
  const auto* held = job.findField(ZRC::JobInfo::detail.number)->object.get();
  EXPECT_NE(dynamic_cast<const ZRC::JobDetailHolder*>(held), nullptr);
  EXPECT_NE(dynamic_cast<const ZRC::JobDetail*>(detailHolder->findField(1)->object.get()),
            nullptr);
  SetField(job, ZRC::JobInfo::jobId, "changed");
  SetField(*Object(*detailHolder, ZRC::JobDetailHolder::detail), ZRC::JobDetail::status, 9);
  EXPECT_NE(copy, list);
  EXPECT_EQ(GetString(static_cast<const ZRC::JobInfo&>(original->At(0)), ZRC::JobInfo::jobId),
            "1");

  // Assignment, also from a message nested in the target.
  CWzMessageBase assigned(1, 1);
  assigned = list;
  EXPECT_EQ(assigned, list);
  ZRC::JobInfo nestedCopy = static_cast<const ZRC::JobInfo&>(original->At(0));
  static_cast<CWzMessageBase&>(nestedCopy) =
      *nestedCopy.findField(ZRC::JobInfo::detail.number)->object;
  EXPECT_EQ(nestedCopy.module(), 32);
  EXPECT_EQ(nestedCopy.messageType(), 2);
  EXPECT_EQ(Numbers(nestedCopy), (std::vector<short>{1}));

  // Clone through the base keeps the class.
  std::unique_ptr<CWzMessageBase> clone = static_cast<const CWzMessageBase&>(list).Clone();
  EXPECT_NE(dynamic_cast<ZRC::JobList*>(clone.get()), nullptr);
  EXPECT_EQ(*clone, list);
}

TEST(MessageTest, SetObjectAccessorStoresACopy) {
  ZRC::JobDetailHolder holder;
  ZRC::JobDetail detail;
  SetField(detail, ZRC::JobDetail::kind, 4);
  holder.setObjectAccessor(&detail, 1, 1, kWzMsgId1, kWzMsgId2);
  SetField(detail, ZRC::JobDetail::kind, 5);
  auto* stored = FindObject(holder, ZRC::JobDetailHolder::detail);
  ASSERT_NE(stored, nullptr);
  EXPECT_NE(stored, &detail);
  EXPECT_EQ(GetInt(*stored, ZRC::JobDetail::kind), 4);
  EXPECT_NE(dynamic_cast<const ZRC::JobDetail*>(holder.findField(1)->object.get()), nullptr);

  // Storing the object the field already holds, and a null pointer.
  holder.setObjectAccessor(holder.findField(1)->object.get(), 1, 1, kWzMsgId1, kWzMsgId2);
  EXPECT_EQ(GetInt(*FindObject(holder, ZRC::JobDetailHolder::detail), ZRC::JobDetail::kind), 4);
  holder.setObjectAccessor(nullptr, 1, 1, kWzMsgId1, kWzMsgId2);
  EXPECT_NE(FindObject(holder, ZRC::JobDetailHolder::detail), nullptr);
  // Over a field of another kind, in its place.
  holder.setint64(2, 2, 1, kWzMsgId1, kWzMsgId2);
  holder.setObjectAccessor(&detail, 2, 3, kWzMsgId1, kWzMsgId2);
  EXPECT_EQ(Numbers(holder), (std::vector<short>{1, 2}));
  EXPECT_EQ(holder.findField(2)->kind, CWzMessageBase::Kind::kObject);
}

TEST(MessageTest, GenericListsAndObjectsAreRetypedOnTypedAccess) {
  CWzMessageBase list(32, 11);
  CWzMessageBase::ListBase* generic = list.addGenericList(2, 5);
  CWzMessageBase item(32, 21);
  item.setstring(6, 6, "42", kWzMsgId1, kWzMsgId2);
  item.getObjectAccessor(true, true, 9, 15, kWzMsgId1, kWzMsgId2, 32, 2)
      ->setint64(7, 7, 7, kWzMsgId1, kWzMsgId2);
  generic->Append(item);
  generic->Append(item);
  CWzMessageBase before = list;

  auto* jobs = list.getlistobject<ZRC::JobInfo>(2, 5, kWzMsgId1, kWzMsgId2, false);
  ASSERT_NE(jobs, nullptr);
  ASSERT_EQ(jobs->size(), 2u);
  EXPECT_EQ(GetString((*jobs)[1], ZRC::JobInfo::jobId), "42");
  EXPECT_EQ(list, before);  // same content, now typed
  EXPECT_EQ(list.getlistobject<ZRC::JobInfo>(2, 5, kWzMsgId1, kWzMsgId2, true), jobs);

  // A nested generic object becomes the asked class, keeping its fields.
  auto* holder = FindObject((*jobs)[0], ZRC::JobInfo::detail);
  ASSERT_NE(holder, nullptr);
  EXPECT_EQ(holder->getint64(7, kWzMsgId1, kWzMsgId2), 7);
  EXPECT_EQ(FindObject((*jobs)[0], ZRC::JobInfo::detail), holder);

  // Typed items survive the vector growing (items are moved).
  for (int i = 0; i < 100; ++i) jobs->push_back(MakeJob(std::to_string(i)));
  EXPECT_EQ(GetString(jobs->back(), ZRC::JobInfo::jobId), "99");
  auto* data = FindObject(jobs->back(), ZRC::JobInfo::dataInfo);
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(GetInt(List(*data, ZRC::DataInfoList::items)->at(0), ZRC::DataInfo::dataSize),
            1LL << 40);
}

TEST(MessageTest, EqualityLooksAtEverything) {
  ZRC::JobInfo a = MakeJob("1");
  ZRC::JobInfo b = MakeJob("1");
  EXPECT_EQ(a, b);
  b.setint64(4, 5, 130, kWzMsgId1, kWzMsgId2);  // same value, other type code
  EXPECT_NE(a, b);

  CWzMessageBase x(1, 1), y(1, 1);
  x.setint64(1, 1, 1, kWzMsgId1, kWzMsgId2);
  x.setint64(2, 2, 2, kWzMsgId1, kWzMsgId2);
  y.setint64(2, 2, 2, kWzMsgId1, kWzMsgId2);
  y.setint64(1, 1, 1, kWzMsgId1, kWzMsgId2);
  EXPECT_NE(x, y);  // order is part of the message
  EXPECT_NE(CWzMessageBase(1, 1), CWzMessageBase(1, 2));
  CWzMessageBase s(1, 1), t(1, 1);
  s.setstring(1, 1, std::string("a\0b", 3), kWzMsgId1, kWzMsgId2);
  t.setstring(1, 1, std::string("a\0c", 3), kWzMsgId1, kWzMsgId2);
  EXPECT_NE(s, t);
  CWzMessageBase l1(1, 1), l2(1, 1);
  l1.addGenericList(1, 1)->Append(CWzMessageBase(2, 2));
  l2.addGenericList(1, 1);
  EXPECT_NE(l1, l2);
  l2.getlistobject<CWzMessageBase>(1, 1, kWzMsgId1, kWzMsgId2, false)->emplace_back(2, 3);
  EXPECT_NE(l1, l2);
}

TEST(MessageTest, NameTableCoversEveryClassAndField) {
  struct Entry {
    int module, type;
    const char* className;
    short number;
    const char* fieldName;
  };
  std::vector<Entry> entries;
  int module = 0, type = 0;
  const char* className = nullptr;
#define MESSAGE(ns, Class, xml, mod, typ) \
  module = mod;                           \
  type = typ;                             \
  className = xml;                        \
  EXPECT_EQ(ns::Class().module(), mod);
#define F(n, num) entries.push_back({module, type, className, num, #n});
#define INT(n, num, t) F(n, num)
#define STR(n, num, t) F(n, num)
#define OBJ(n, num, t, Elem) F(n, num)
#define LIST(n, num, t, Elem) F(n, num)
#define INTLIST(n, num, t) F(n, num)
#define END_MESSAGE()
#include "host/MessageSchema.def"
#undef MESSAGE
#undef F
#undef INT
#undef STR
#undef OBJ
#undef LIST
#undef INTLIST
#undef END_MESSAGE
  ASSERT_GT(entries.size(), 100u);
  for (const Entry& e : entries) {
    const char* name = MessageClassName(e.module, e.type);
    if (e.className[0] == '\0') {
      EXPECT_EQ(name, nullptr);
    } else {
      EXPECT_STREQ(name, e.className);
    }
    EXPECT_STREQ(MessageFieldName(e.module, e.type, e.number), e.fieldName)
        << e.module << "," << e.type << " field " << e.number;
  }
  EXPECT_STREQ(MessageClassName(32, 11), "ZRC::JobList");
  EXPECT_STREQ(MessageFieldName(32, 11, 4), "productKind");
  EXPECT_EQ(MessageClassName(30, 17), nullptr);  // published without a name
  EXPECT_STREQ(MessageFieldName(30, 17, 3), "text3");
  EXPECT_EQ(MessageClassName(32, 9999), nullptr);
  EXPECT_EQ(MessageClassName(18, 11 + (1 << 16)), nullptr);
  EXPECT_EQ(MessageFieldName(32, 11, 99), nullptr);
  EXPECT_EQ(MessageFieldName(99, 1, 1), nullptr);
  EXPECT_EQ(FindMessageClass(32, 21)->fieldCount, 7);
}

TEST(MessageTest, FieldsOfAKnownClassAreAllocatedOnce) {
  ZRC::JobDetail detail;
  SetField(detail, ZRC::JobDetail::kind, 4);
  const auto* first = detail.fields().data();
  EXPECT_EQ(detail.fields().capacity(), 10u);
  SetField(detail, ZRC::JobDetail::status, 1);
  SetField(detail, ZRC::JobDetail::startTime, 1);
  SetField(detail, ZRC::JobDetail::duration, 1);
  SetField(detail, ZRC::JobDetail::elapsed, 1);
  SetField(detail, ZRC::JobDetail::backupLevel, 1);
  SetField(detail, ZRC::JobDetail::size, 1);
  SetField(detail, ZRC::JobDetail::fileCount, 1);
  SetField(detail, ZRC::JobDetail::dataSize, 1);
  Object(detail, ZRC::JobDetail::storagePolicy);
  EXPECT_EQ(detail.fields().data(), first);
}

}  // namespace
