// The named message classes of the host's XML message library (App::...,
// ZRC::... and the entities of module 18), generated from MessageSchema.def.
//
// Each class derives from CWzMessageBase without adding data, is constructed
// with its own (module, message type) and declares one constant per field:
//   ZRC::JobInfo::appType is IntFieldId{4, 4, "appType"}
//   ZRC::JobInfo::detail  is ObjectFieldId<ZRC::JobDetailHolder>{9, 15, ...}
// so that builders name each (field number, type code) pair exactly once.
#ifndef OLB_HOST_MESSAGES_H_
#define OLB_HOST_MESSAGES_H_

#include <memory>

#include "host/Message.h"

struct IntFieldId : FieldId {};
struct StringFieldId : FieldId {};
struct IntListFieldId : FieldId {};
template <class T>
struct ObjectFieldId : FieldId {
  using Element = T;
};
template <class T>
struct ListFieldId : FieldId {
  using Element = T;
};

// Pass 1: forward declarations.
#define MESSAGE(ns, Class, xml, mod, typ) \
  namespace ns {                          \
  class Class;                            \
  }
#define INT(n, num, t)
#define STR(n, num, t)
#define OBJ(n, num, t, Elem)
#define LIST(n, num, t, Elem)
#define INTLIST(n, num, t)
#define END_MESSAGE()
#include "host/MessageSchema.def"
#undef MESSAGE
#undef INT
#undef STR
#undef OBJ
#undef LIST
#undef INTLIST
#undef END_MESSAGE

// Pass 2: the classes with their field constants.
#define MESSAGE(ns, Class, xml, mod, typ)                              \
  namespace ns {                                                       \
  class Class : public CWzMessageBase {                                \
   public:                                                             \
    static constexpr int kModule = mod;                                \
    static constexpr int kType = typ;                                  \
    Class() : CWzMessageBase(mod, typ) {}                              \
    std::unique_ptr<CWzMessageBase> Clone() const override {           \
      return std::make_unique<Class>(*this);                           \
    }
#define INT(n, num, t) static constexpr IntFieldId n{{num, t, #n}};
#define STR(n, num, t) static constexpr StringFieldId n{{num, t, #n}};
#define OBJ(n, num, t, Elem) static constexpr ObjectFieldId<Elem> n{{num, t, #n}};
#define LIST(n, num, t, Elem) static constexpr ListFieldId<Elem> n{{num, t, #n}};
#define INTLIST(n, num, t) static constexpr IntListFieldId n{{num, t, #n}};
#define END_MESSAGE() \
  };                  \
  }
#include "host/MessageSchema.def"
#undef MESSAGE
#undef INT
#undef STR
#undef OBJ
#undef LIST
#undef INTLIST
#undef END_MESSAGE

// The entities are named without a namespace by the rest of the system.
using Ent::AppEntity;
using Ent::BackupSetEntity;
using Ent::ClientEntity;
using Ent::ComponentEntity;
using Ent::HubfieldEntity;
using Ent::InstanceEntity;
using Ent::NumberEntity;
using Ent::StoragePolicyEntity;
using Ent::SubclientEntity;
using Ent::TimeZoneEntity;

// The host's numbering of agent kinds.
typedef int HXAppType;

// Names for the XML form, from the same table. Null when not known (and for
// classes whose xml name is "").
const char* MessageClassName(int module, int messageType);
const char* MessageFieldName(int module, int messageType, short fieldNumber);

// The table's entry for one class, for callers that name many fields of one
// message (the XML writer) or size a message by its class.
struct MessageSchemaField {
  short number;
  const char* name;
  unsigned short nameLength;
};
struct MessageSchemaClass {
  int module;
  int messageType;
  const char* name;  // null when the host does not publish it
  unsigned short nameLength;
  const MessageSchemaField* fields;
  int fieldCount;
  // Null when the class has no such field.
  const MessageSchemaField* Field(short number) const {
    for (int i = 0; i < fieldCount; ++i) {
      if (fields[i].number == number) return &fields[i];
    }
    return nullptr;
  }
  const char* FieldName(short number) const {
    const MessageSchemaField* f = Field(number);
    return f != nullptr ? f->name : nullptr;
  }
};
// Null when (module, messageType) is not in the table.
const MessageSchemaClass* FindMessageClass(int module, int messageType);

#endif  // OLB_HOST_MESSAGES_H_
