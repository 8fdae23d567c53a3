// CWzMessageBase: one message object of the host's XML message library.
//
// A message is identified by (module, message type) and holds a sequence of
// typed fields. A field is addressed by (field number, type code); it keeps
// the place in which it was first set, and setting it again replaces its
// value in place. A field holds a 64-bit integer, a string, one nested
// message, a list of messages or a list of ints.
//
// The named message classes (App::..., ZRC::..., the entities of module 18)
// derive from this class without adding data; they are declared in
// Messages.h. Lists and nested objects are typed by the caller: asking for
// a list of App::ClientInfo gives a std::vector<App::ClientInfo>*.
//
// Every accessor takes two identifier numbers that belong to the library; the
// stand-in accepts any values and ignores them.
#ifndef OLB_HOST_MESSAGE_H_
#define OLB_HOST_MESSAGE_H_

#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

// Identifier numbers that callers pass to every accessor.
constexpr unsigned long kWzMsgId1 = 0;
constexpr unsigned int kWzMsgId2 = 0;

// A (field number, type code) pair with the field's name, as the message
// classes of Messages.h declare them.
struct FieldId {
  short number;
  short type;
  const char* name;
};

class CWzMessageBase {
 public:
  enum class Kind : unsigned char { kInt, kString, kObject, kList, kIntList };

  // Type-erased list of messages; the element class is the caller's.
  class ListBase {
   public:
    virtual ~ListBase() = default;
    virtual std::unique_ptr<ListBase> Clone() const = 0;
    virtual size_t Size() const = 0;
    virtual const CWzMessageBase& At(size_t i) const = 0;
    virtual CWzMessageBase& At(size_t i) = 0;
    virtual void Append(const CWzMessageBase& item) = 0;
    virtual void Reserve(size_t n) = 0;
  };

  template <class T>
  class List final : public ListBase {
   public:
    std::unique_ptr<ListBase> Clone() const override { return std::make_unique<List<T>>(*this); }
    size_t Size() const override { return items.size(); }
    const CWzMessageBase& At(size_t i) const override { return items[i]; }
    CWzMessageBase& At(size_t i) override { return items[i]; }
    void Append(const CWzMessageBase& item) override;
    void Reserve(size_t n) override { items.reserve(n); }
    std::vector<T> items;
  };

  // One field, as the writer and reader see it. Only the member that its
  // kind names is alive (intValue, stringValue, object, list or ints), and
  // only that one may be read: a field takes 40 bytes, which counts in trees
  // of millions of fields.
  struct Field {
    Field(short n, short t, Kind k);
    Field(const Field& other);
    Field& operator=(const Field& other);
    Field(Field&& other) noexcept;
    Field& operator=(Field&& other) noexcept;
    ~Field();
    // Makes the field hold an empty value of kind `k` (nothing when it does).
    void SetKind(Kind k);

    short number;
    short type;
    Kind kind;
    union {
      long long intValue;                      // kInt
      std::string stringValue;                 // kString
      std::unique_ptr<CWzMessageBase> object;  // kObject
      std::unique_ptr<ListBase> list;          // kList
      std::vector<int> ints;                   // kIntList
    };

   private:
    void Construct();  // the member of `kind`, empty
    void Destroy();    // the member of `kind`
    void MoveFrom(Field&& other);  // nothing of this field is alive
  };

  CWzMessageBase(int module, int messageType);
  CWzMessageBase(const CWzMessageBase& other);
  CWzMessageBase& operator=(const CWzMessageBase& other);
  CWzMessageBase(CWzMessageBase&& other) noexcept;
  CWzMessageBase& operator=(CWzMessageBase&& other) noexcept;
  virtual ~CWzMessageBase();
  // A copy of the same class; the named classes override it.
  virtual std::unique_ptr<CWzMessageBase> Clone() const;

  int module() const { return m_module; }
  int messageType() const { return m_messageType; }

  void setint64(short field, short type, long long value, unsigned long id1, unsigned int id2);
  void setstring(short field, short type, const std::string& value, unsigned long id1,
                 unsigned int id2);
  // 0 when the field is not set or holds no integer.
  long long getint64(short field, unsigned long id1, unsigned int id2) const;
  // "" when the field is not set or holds no string.
  std::string getstring(short field, short type, unsigned long id1, unsigned int id2) const;
  bool isSet(short field, unsigned long id1, unsigned int id2) const;

  // The nested message in `field`. With create true it is made (as a T of
  // (module, messageType)) when the field is not set; an object that is
  // already there is returned, never replaced. Null when the field is not set
  // and create is false, or when the field holds something else.
  template <class T = CWzMessageBase>
  T* getObjectAccessor(bool, bool create, short field, short type, unsigned long id1,
                       unsigned int id2, int module, int messageType);

  // The list of messages in `field`, made empty when create is true and the
  // field is not set; an existing list is returned, so items accumulate.
  template <class T = CWzMessageBase>
  std::vector<T>* getlistobject(short field, short type, unsigned long id1, unsigned int id2,
                                bool create);

  std::vector<int>* getlistint(short field, short type, unsigned long id1, unsigned int id2,
                               bool create);

  // Stores a copy of the message that `object` points to in `field`.
  void setObjectAccessor(const void* object, short field, short type, unsigned long id1,
                         unsigned int id2);

  // Introspection for the XML writer and reader and for tests.
  const std::vector<Field>& fields() const { return m_fields; }
  const Field* findField(short field) const;
  // Appends a list field holding plain CWzMessageBase items (reader's use).
  ListBase* addGenericList(short field, short type);

  // Same module, type and fields (number, type, kind, value, recursively).
  bool operator==(const CWzMessageBase& other) const;
  bool operator!=(const CWzMessageBase& other) const { return !(*this == other); }

 private:
  Field* find(short field);
  Field& slot(short field, short type, Kind kind);
  // Replaces the content of `f` by an object of class T (module, type).
  template <class T>
  T* makeObject(Field& f, int module, int messageType);

  int m_module;
  int m_messageType;
  std::vector<Field> m_fields;
};

namespace wzdetail {
template <class T>
T MakeMessage(int module, int messageType) {
  if constexpr (std::is_same<T, CWzMessageBase>::value) {
    return T(module, messageType);
  } else {
    (void)module;
    (void)messageType;
    return T();
  }
}
// Copies the fields of `from` into a fresh T (module and type of `from`).
template <class T>
T Convert(const CWzMessageBase& from) {
  T to = MakeMessage<T>(from.module(), from.messageType());
  static_cast<CWzMessageBase&>(to) = from;
  return to;
}
}  // namespace wzdetail

template <class T>
void CWzMessageBase::List<T>::Append(const CWzMessageBase& item) {
  items.push_back(wzdetail::Convert<T>(item));
}

template <class T>
T* CWzMessageBase::makeObject(Field& f, int module, int messageType) {
  auto made = std::make_unique<T>(wzdetail::MakeMessage<T>(module, messageType));
  T* raw = made.get();
  f.object = std::move(made);
  return raw;
}

template <class T>
T* CWzMessageBase::getObjectAccessor(bool, bool create, short field, short type,
                                     unsigned long, unsigned int, int module,
                                     int messageType) {
  static_assert(std::is_base_of<CWzMessageBase, T>::value, "messages only");
  Field* f = find(field);
  if (f == nullptr) {
    if (!create) return nullptr;
    return makeObject<T>(slot(field, type, Kind::kObject), module, messageType);
  }
  if (f->kind != Kind::kObject || !f->object) return nullptr;
  if (T* typed = dynamic_cast<T*>(f->object.get())) return typed;
  // Held as another class (for example after reading a file): retype it.
  auto made = std::make_unique<T>(wzdetail::Convert<T>(*f->object));
  T* raw = made.get();
  f->object = std::move(made);
  return raw;
}

template <class T>
std::vector<T>* CWzMessageBase::getlistobject(short field, short type, unsigned long,
                                              unsigned int, bool create) {
  static_assert(std::is_base_of<CWzMessageBase, T>::value, "messages only");
  Field* f = find(field);
  if (f == nullptr) {
    if (!create) return nullptr;
    Field& made = slot(field, type, Kind::kList);
    auto list = std::make_unique<List<T>>();
    std::vector<T>* items = &list->items;
    made.list = std::move(list);
    return items;
  }
  if (f->kind != Kind::kList || !f->list) return nullptr;
  if (auto* typed = dynamic_cast<List<T>*>(f->list.get())) return &typed->items;
  auto list = std::make_unique<List<T>>();
  list->items.reserve(f->list->Size());
  for (size_t i = 0; i < f->list->Size(); ++i) {
    list->items.push_back(wzdetail::Convert<T>(f->list->At(i)));
  }
  std::vector<T>* items = &list->items;
  f->list = std::move(list);
  return items;
}

#endif  // OLB_HOST_MESSAGE_H_
