// CWzMessageBase: fields in a small vector in the order of their first
// setting; a lookup is a linear scan, which beats any index for the dozen
// fields a message holds.
#include "host/Message.h"

#include <new>

#include "host/Messages.h"

CWzMessageBase::Field::Field(short n, short t, Kind k) : number(n), type(t), kind(k) {
  Construct();
}

void CWzMessageBase::Field::Construct() {
  switch (kind) {
    case Kind::kInt:
      intValue = 0;
      break;
    case Kind::kString:
      new (&stringValue) std::string();
      break;
    case Kind::kObject:
      new (&object) std::unique_ptr<CWzMessageBase>();
      break;
    case Kind::kList:
      new (&list) std::unique_ptr<ListBase>();
      break;
    case Kind::kIntList:
      new (&ints) std::vector<int>();
      break;
  }
}

void CWzMessageBase::Field::Destroy() {
  switch (kind) {
    case Kind::kInt:
      break;
    case Kind::kString:
      stringValue.~basic_string();
      break;
    case Kind::kObject:
      object.~unique_ptr();
      break;
    case Kind::kList:
      list.~unique_ptr();
      break;
    case Kind::kIntList:
      ints.~vector();
      break;
  }
}

void CWzMessageBase::Field::MoveFrom(Field&& other) {
  number = other.number;
  type = other.type;
  kind = other.kind;
  switch (kind) {
    case Kind::kInt:
      intValue = other.intValue;
      break;
    case Kind::kString:
      new (&stringValue) std::string(std::move(other.stringValue));
      break;
    case Kind::kObject:
      new (&object) std::unique_ptr<CWzMessageBase>(std::move(other.object));
      break;
    case Kind::kList:
      new (&list) std::unique_ptr<ListBase>(std::move(other.list));
      break;
    case Kind::kIntList:
      new (&ints) std::vector<int>(std::move(other.ints));
      break;
  }
}

CWzMessageBase::Field::Field(const Field& other)
    : number(other.number), type(other.type), kind(other.kind) {
  switch (kind) {
    case Kind::kInt:
      intValue = other.intValue;
      break;
    case Kind::kString:
      new (&stringValue) std::string(other.stringValue);
      break;
    case Kind::kObject:
      new (&object) std::unique_ptr<CWzMessageBase>(other.object ? other.object->Clone() : nullptr);
      break;
    case Kind::kList:
      new (&list) std::unique_ptr<ListBase>(other.list ? other.list->Clone() : nullptr);
      break;
    case Kind::kIntList:
      new (&ints) std::vector<int>(other.ints);
      break;
  }
}

CWzMessageBase::Field::Field(Field&& other) noexcept { MoveFrom(std::move(other)); }

CWzMessageBase::Field::~Field() { Destroy(); }

CWzMessageBase::Field& CWzMessageBase::Field::operator=(const Field& other) {
  if (this != &other) {
    // Copy first: `other` may live inside the object or list replaced here.
    Field copy(other);
    Destroy();
    MoveFrom(std::move(copy));
  }
  return *this;
}

CWzMessageBase::Field& CWzMessageBase::Field::operator=(Field&& other) noexcept {
  if (this != &other) {
    Field taken(std::move(other));  // `other` may live inside what is replaced
    Destroy();
    MoveFrom(std::move(taken));
  }
  return *this;
}

void CWzMessageBase::Field::SetKind(Kind k) {
  if (k == kind) return;
  Destroy();
  kind = k;
  Construct();
}

CWzMessageBase::CWzMessageBase(int module, int messageType)
    : m_module(module), m_messageType(messageType) {}

CWzMessageBase::CWzMessageBase(const CWzMessageBase& other)
    : m_module(other.m_module), m_messageType(other.m_messageType), m_fields(other.m_fields) {}

CWzMessageBase& CWzMessageBase::operator=(const CWzMessageBase& other) {
  if (this != &other) {
    // Copy first: `other` may be nested inside this message.
    std::vector<Field> fields = other.m_fields;
    m_module = other.m_module;
    m_messageType = other.m_messageType;
    m_fields = std::move(fields);
  }
  return *this;
}

CWzMessageBase::CWzMessageBase(CWzMessageBase&& other) noexcept
    : m_module(other.m_module),
      m_messageType(other.m_messageType),
      m_fields(std::move(other.m_fields)) {}

CWzMessageBase& CWzMessageBase::operator=(CWzMessageBase&& other) noexcept {
  if (this != &other) {
    // Take other's fields before dropping ours: `other` may be nested in them.
    std::vector<Field> fields = std::move(other.m_fields);
    m_module = other.m_module;
    m_messageType = other.m_messageType;
    m_fields = std::move(fields);
  }
  return *this;
}

CWzMessageBase::~CWzMessageBase() = default;

std::unique_ptr<CWzMessageBase> CWzMessageBase::Clone() const {
  return std::make_unique<CWzMessageBase>(*this);
}

CWzMessageBase::Field* CWzMessageBase::find(short field) {
  for (Field& f : m_fields) {
    if (f.number == field) return &f;
  }
  return nullptr;
}

const CWzMessageBase::Field* CWzMessageBase::findField(short field) const {
  for (const Field& f : m_fields) {
    if (f.number == field) return &f;
  }
  return nullptr;
}

CWzMessageBase::Field& CWzMessageBase::slot(short field, short type, Kind kind) {
  if (Field* f = find(field)) {
    // Keep the place, drop whatever the field held before.
    f->type = type;
    f->SetKind(kind);
    return *f;
  }
  if (m_fields.capacity() == 0) {
    // Room for two fields, then doubling: many messages set one or two of
    // the fields their class knows (a policy entry in a client list of a
    // million pairs sets one of nine), and a copy is exactly sized anyway.
    m_fields.reserve(2);
  }
  m_fields.emplace_back(field, type, kind);
  return m_fields.back();
}

void CWzMessageBase::setint64(short field, short type, long long value, unsigned long,
                              unsigned int) {
  slot(field, type, Kind::kInt).intValue = value;
}

void CWzMessageBase::setstring(short field, short type, const std::string& value,
                               unsigned long, unsigned int) {
  Field* f = find(field);
  if (f != nullptr && f->kind == Kind::kString) {
    f->type = type;
    f->stringValue = value;  // `value` may be this very string: assignment copes
    return;
  }
  std::string copy = value;  // `value` may live in a field that slot() clears
  slot(field, type, Kind::kString).stringValue = std::move(copy);
}

long long CWzMessageBase::getint64(short field, unsigned long, unsigned int) const {
  const Field* f = findField(field);
  return f != nullptr && f->kind == Kind::kInt ? f->intValue : 0;
}

std::string CWzMessageBase::getstring(short field, short, unsigned long, unsigned int) const {
  const Field* f = findField(field);
  return f != nullptr && f->kind == Kind::kString ? f->stringValue : std::string();
}

bool CWzMessageBase::isSet(short field, unsigned long, unsigned int) const {
  return findField(field) != nullptr;
}

std::vector<int>* CWzMessageBase::getlistint(short field, short type, unsigned long,
                                             unsigned int, bool create) {
  Field* f = find(field);
  if (f == nullptr) {
    if (!create) return nullptr;
    return &slot(field, type, Kind::kIntList).ints;
  }
  return f->kind == Kind::kIntList ? &f->ints : nullptr;
}

void CWzMessageBase::setObjectAccessor(const void* object, short field, short type,
                                       unsigned long, unsigned int) {
  // A null object leaves the field as it is: there is nothing to store.
  if (object == nullptr) return;
  // Clone before touching the field: `object` may be the object it holds.
  std::unique_ptr<CWzMessageBase> copy = static_cast<const CWzMessageBase*>(object)->Clone();
  slot(field, type, Kind::kObject).object = std::move(copy);
}

CWzMessageBase::ListBase* CWzMessageBase::addGenericList(short field, short type) {
  Field& f = slot(field, type, Kind::kList);
  f.list = std::make_unique<List<CWzMessageBase>>();
  return f.list.get();
}

namespace {

bool SameField(const CWzMessageBase::Field& a, const CWzMessageBase::Field& b) {
  using Kind = CWzMessageBase::Kind;
  if (a.number != b.number || a.type != b.type || a.kind != b.kind) return false;
  switch (a.kind) {
    case Kind::kInt:
      return a.intValue == b.intValue;
    case Kind::kString:
      return a.stringValue == b.stringValue;
    case Kind::kObject:
      if (!a.object || !b.object) return !a.object && !b.object;
      return *a.object == *b.object;
    case Kind::kList: {
      size_t na = a.list ? a.list->Size() : 0;
      size_t nb = b.list ? b.list->Size() : 0;
      if (na != nb) return false;
      for (size_t i = 0; i < na; ++i) {
        if (a.list->At(i) != b.list->At(i)) return false;
      }
      return true;
    }
    case Kind::kIntList:
      return a.ints == b.ints;
  }
  return false;
}

}  // namespace

bool CWzMessageBase::operator==(const CWzMessageBase& other) const {
  if (m_module != other.m_module || m_messageType != other.m_messageType) return false;
  if (m_fields.size() != other.m_fields.size()) return false;
  for (size_t i = 0; i < m_fields.size(); ++i) {
    if (!SameField(m_fields[i], other.m_fields[i])) return false;
  }
  return true;
}
