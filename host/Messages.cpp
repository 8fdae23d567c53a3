// The name table of the message classes, built from MessageSchema.def by the
// same X-macros as the classes, and looked up by (module, message type) with
// a binary search over the classes sorted once at first use.
#include "host/Messages.h"

#include <algorithm>
#include <vector>

namespace {

// Every field of every class, in table order.
const MessageSchemaField kFields[] = {
#define MESSAGE(ns, Class, xml, mod, typ)
#define INT(n, num, t) {num, #n, sizeof(#n) - 1},
#define STR(n, num, t) {num, #n, sizeof(#n) - 1},
#define OBJ(n, num, t, Elem) {num, #n, sizeof(#n) - 1},
#define LIST(n, num, t, Elem) {num, #n, sizeof(#n) - 1},
#define INTLIST(n, num, t) {num, #n, sizeof(#n) - 1},
#define END_MESSAGE()
#include "host/MessageSchema.def"
#undef MESSAGE
#undef INT
#undef STR
#undef OBJ
#undef LIST
#undef INTLIST
#undef END_MESSAGE
    {0, nullptr, 0}};  // keeps the array non-empty

// Every class with the number of its fields; `fields` is filled in below.
const MessageSchemaClass kClasses[] = {
#define MESSAGE(ns, Class, xml, mod, typ) {mod, typ, xml, sizeof(xml) - 1, nullptr, 0
#define INT(n, num, t) +1
#define STR(n, num, t) +1
#define OBJ(n, num, t, Elem) +1
#define LIST(n, num, t, Elem) +1
#define INTLIST(n, num, t) +1
#define END_MESSAGE() },
#include "host/MessageSchema.def"
#undef MESSAGE
#undef INT
#undef STR
#undef OBJ
#undef LIST
#undef INTLIST
#undef END_MESSAGE
};

unsigned long long Key(int module, int messageType) {
  return (static_cast<unsigned long long>(static_cast<unsigned int>(module)) << 32) |
         static_cast<unsigned int>(messageType);
}

class Index {
 public:
  Index() {
    const MessageSchemaField* next = kFields;
    for (const MessageSchemaClass& c : kClasses) {
      MessageSchemaClass entry = c;
      entry.fields = next;
      if (entry.nameLength == 0) entry.name = nullptr;
      next += c.fieldCount;
      m_classes.push_back(entry);
    }
    // A stable sort keeps the first of two entries with the same key first.
    std::stable_sort(m_classes.begin(), m_classes.end(),
                     [](const MessageSchemaClass& a, const MessageSchemaClass& b) {
                       return Key(a.module, a.messageType) < Key(b.module, b.messageType);
                     });
  }

  const MessageSchemaClass* Find(int module, int messageType) const {
    unsigned long long key = Key(module, messageType);
    auto it = std::lower_bound(m_classes.begin(), m_classes.end(), key,
                               [](const MessageSchemaClass& c, unsigned long long k) {
                                 return Key(c.module, c.messageType) < k;
                               });
    if (it == m_classes.end() || Key(it->module, it->messageType) != key) return nullptr;
    return &*it;
  }

 private:
  std::vector<MessageSchemaClass> m_classes;
};

const Index& TheIndex() {
  static const Index index;
  return index;
}

}  // namespace

const MessageSchemaClass* FindMessageClass(int module, int messageType) {
  return TheIndex().Find(module, messageType);
}

const char* MessageClassName(int module, int messageType) {
  const MessageSchemaClass* c = FindMessageClass(module, messageType);
  return c != nullptr ? c->name : nullptr;
}

const char* MessageFieldName(int module, int messageType, short fieldNumber) {
  const MessageSchemaClass* c = FindMessageClass(module, messageType);
  return c != nullptr ? c->FieldName(fieldNumber) : nullptr;
}
