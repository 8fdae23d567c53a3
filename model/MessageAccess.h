// Field access by the named (field number, type code) constants of the
// message classes, so that builders read like the field tables they follow:
//   SetField(job, ZRC::JobInfo::jobId, id);
//   auto* detail = Object(job, ZRC::JobInfo::detail);
//   ZRC::InfoItem& item = Append(*Object(lib, ZRC::ForeignLibraryItem::infoItems),
//                                ZRC::InfoItemList::items);
// Nested objects and lists are fetched with create set exactly when the field
// is not yet set; an existing object or list is returned, so items accumulate.
#ifndef OLB_MODEL_MESSAGE_ACCESS_H_
#define OLB_MODEL_MESSAGE_ACCESS_H_

#include <string>
#include <vector>

#include "host/Messages.h"

inline bool IsSet(const CWzMessageBase& msg, const FieldId& field) {
  return msg.isSet(field.number, kWzMsgId1, kWzMsgId2);
}

inline void SetField(CWzMessageBase& msg, const IntFieldId& field, long long value) {
  msg.setint64(field.number, field.type, value, kWzMsgId1, kWzMsgId2);
}

inline void SetField(CWzMessageBase& msg, const StringFieldId& field, const std::string& value) {
  msg.setstring(field.number, field.type, value, kWzMsgId1, kWzMsgId2);
}

inline long long GetInt(const CWzMessageBase& msg, const IntFieldId& field) {
  return msg.getint64(field.number, kWzMsgId1, kWzMsgId2);
}

inline std::string GetString(const CWzMessageBase& msg, const StringFieldId& field) {
  return msg.getstring(field.number, field.type, kWzMsgId1, kWzMsgId2);
}

// The nested object of `field`, created when the field is not set (or always
// asked with create true when `alwaysCreate`, which still returns an existing
// object).
template <class T>
T* Object(CWzMessageBase& msg, const ObjectFieldId<T>& field, bool alwaysCreate = false) {
  return msg.getObjectAccessor<T>(true, alwaysCreate || !IsSet(msg, field), field.number,
                                  field.type, kWzMsgId1, kWzMsgId2, T::kModule, T::kType);
}

// The existing nested object of `field`, or null.
template <class T>
T* FindObject(CWzMessageBase& msg, const ObjectFieldId<T>& field) {
  return msg.getObjectAccessor<T>(true, false, field.number, field.type, kWzMsgId1, kWzMsgId2,
                                  T::kModule, T::kType);
}

// The list of `field`, created empty when the field is not set.
template <class T>
std::vector<T>* List(CWzMessageBase& msg, const ListFieldId<T>& field, bool alwaysCreate = false) {
  return msg.getlistobject<T>(field.number, field.type, kWzMsgId1, kWzMsgId2,
                              alwaysCreate || !IsSet(msg, field));
}

// Appends a copy of `item` (a fresh item by default) to the list of `field`
// and returns the appended element.
template <class T>
T& Append(CWzMessageBase& msg, const ListFieldId<T>& field, const T& item = T()) {
  std::vector<T>* list = List(msg, field);
  list->push_back(item);
  return list->back();
}

inline std::vector<int>* IntList(CWzMessageBase& msg, const IntListFieldId& field) {
  return msg.getlistint(field.number, field.type, kWzMsgId1, kWzMsgId2, !IsSet(msg, field));
}

#endif  // OLB_MODEL_MESSAGE_ACCESS_H_
