// The XML form of a message.
//
// Writer: one pass over the tree, appending to a std::string with escaping
// driven by a byte-class table; the file writer hands the buffer to fwrite
// whenever it passes kFlushBytes. Two-space indent, one element per line;
// string values stand between the tags exactly as they are.
//
// Strings (EscapeXmlText). XML 1.0 carries only well-formed UTF-8 of the
// characters tab, LF, CR, U+0020-U+D7FF, U+E000-U+FFFD and U+10000-U+10FFFF,
// and parsers turn a literal CR into LF. So:
//  - &, <, >, " are written as &amp; &lt; &gt; &quot;, and CR as &#13;
//    (for such text the bytes are those of libxml2's xmlTextWriter);
//  - a string in which every byte belongs to such a character is written
//    as it is otherwise (backslashes included);
//  - any other string is marked with encoding="escaped" on its <field>: in
//    it a backslash is written as \\ and every byte that does not belong to
//    a character XML can carry (C0 controls but tab and LF, bytes of
//    malformed or overlong UTF-8, encoded surrogates, U+FFFE, U+FFFF,
//    0xF5-0xFF) is written as \xHH with two upper-case hex digits.
// The reader undoes exactly this, so every byte string comes back intact.
//
// Reader: libxml2 builds the document tree (no network, no external
// entities, no document type declarations at all); the tree is checked
// against the form above and turned into messages. Lists come back as plain
// CWzMessageBase items, which the typed accessors retype on first use.
#include "host/MessageXml.h"

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlschemas.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstring>
#include <memory>

#include "host/Messages.h"

#ifndef OLB_MESSAGE_XSD
#define OLB_MESSAGE_XSD "message.xsd"
#endif

namespace {

using Kind = CWzMessageBase::Kind;

// ---- string escaping ----

enum ByteClass : unsigned char {
  kPlain,
  kAmp,
  kLt,
  kGt,
  kQuot,
  kCr,
  kBackslash,
  kLead2,
  kLead3,
  kLead4,
  kUncarried,  // a control character or a byte that starts no UTF-8 character
};

struct ByteClassTable {
  unsigned char of[256];
};

constexpr ByteClassTable MakeByteClassTable() {
  ByteClassTable t{};
  for (int b = 0; b < 256; ++b) {
    unsigned char k = kPlain;
    if (b < 0x20 && b != '\t' && b != '\n') k = kUncarried;
    if (b == '\r') k = kCr;
    if (b == '&') k = kAmp;
    if (b == '<') k = kLt;
    if (b == '>') k = kGt;
    if (b == '"') k = kQuot;
    if (b == '\\') k = kBackslash;
    if (b >= 0x80) k = kUncarried;  // continuation bytes, 0xC0, 0xC1, 0xF5-0xFF
    if (b >= 0xC2 && b <= 0xDF) k = kLead2;
    if (b >= 0xE0 && b <= 0xEF) k = kLead3;
    if (b >= 0xF0 && b <= 0xF4) k = kLead4;
    t.of[b] = k;
  }
  return t;
}

constexpr ByteClassTable kByteClass = MakeByteClassTable();

inline bool IsContinuation(unsigned char b) { return (b & 0xC0) == 0x80; }

// Length of the UTF-8 sequence of an XML character that starts at p (whose
// class is `k`, a lead byte), or 0 when the bytes form none.
size_t XmlCharLength(const unsigned char* p, const unsigned char* end, unsigned char k) {
  size_t avail = static_cast<size_t>(end - p);
  if (k == kLead2) return avail >= 2 && IsContinuation(p[1]) ? 2 : 0;
  if (k == kLead3) {
    if (avail < 3) return 0;
    unsigned char lo = p[0] == 0xE0 ? 0xA0 : 0x80;  // no overlong forms
    unsigned char hi = p[0] == 0xED ? 0x9F : 0xBF;  // no surrogates
    if (p[1] < lo || p[1] > hi || !IsContinuation(p[2])) return 0;
    if (p[0] == 0xEF && p[1] == 0xBF && p[2] >= 0xBE) return 0;  // U+FFFE, U+FFFF
    return 3;
  }
  if (avail < 4) return 0;
  unsigned char lo = p[0] == 0xF0 ? 0x90 : 0x80;  // no overlong forms
  unsigned char hi = p[0] == 0xF4 ? 0x8F : 0xBF;  // nothing past U+10FFFF
  if (p[1] < lo || p[1] > hi || !IsContinuation(p[2]) || !IsContinuation(p[3])) return 0;
  return 4;
}

const char kHex[] = "0123456789ABCDEF";

// Writes the text from p up to `stop` as element content by the rule at the
// top of this file, advancing p; a character that begins before `stop` is
// written whole (it may run on to `end`). `out` needs room for 6 bytes per
// input byte plus 4. Without `escaped`, stops and returns false at the first
// byte that needs the escaped encoding.
bool EscapeXmlText(const unsigned char*& p, const unsigned char* stop, const unsigned char* end,
                   bool escaped, char*& out) {
  const unsigned char* run = p;
  bool ok = true;
  while (p < stop) {
    unsigned char k = kByteClass.of[*p];
    if (k == kPlain || (k == kBackslash && !escaped)) {
      ++p;
      continue;
    }
    if (k >= kLead2 && k <= kLead4) {
      size_t len = XmlCharLength(p, end, k);
      if (len != 0) {
        p += len;
        continue;
      }
    }
    std::memcpy(out, run, static_cast<size_t>(p - run));
    out += p - run;
    switch (k) {
      case kAmp:
        std::memcpy(out, "&amp;", 5);
        out += 5;
        break;
      case kLt:
        std::memcpy(out, "&lt;", 4);
        out += 4;
        break;
      case kGt:
        std::memcpy(out, "&gt;", 4);
        out += 4;
        break;
      case kQuot:
        std::memcpy(out, "&quot;", 6);
        out += 6;
        break;
      case kCr:
        std::memcpy(out, "&#13;", 5);
        out += 5;
        break;
      case kBackslash:
        std::memcpy(out, "\\\\", 2);
        out += 2;
        break;
      default:
        if (!escaped) {
          ok = false;
          break;
        }
        out[0] = '\\';
        out[1] = 'x';
        out[2] = kHex[*p >> 4];
        out[3] = kHex[*p & 0xF];
        out += 4;
        break;
    }
    if (!ok) return false;
    ++p;
    run = p;
  }
  std::memcpy(out, run, static_cast<size_t>(p - run));
  out += p - run;
  return true;
}

int HexDigit(unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Reverses the escaped encoding; false on a backslash that starts neither
// \\ nor \xHH.
bool UnescapeText(const std::string& in, std::string& out) {
  out.clear();
  out.reserve(in.size());
  for (size_t i = 0; i < in.size(); ++i) {
    char c = in[i];
    if (c != '\\') {
      out += c;
      continue;
    }
    if (i + 1 < in.size() && in[i + 1] == '\\') {
      out += '\\';
      i += 1;
      continue;
    }
    if (i + 3 < in.size() && in[i + 1] == 'x') {
      int hi = HexDigit(static_cast<unsigned char>(in[i + 2]));
      int lo = HexDigit(static_cast<unsigned char>(in[i + 3]));
      if (hi >= 0 && lo >= 0) {
        out += static_cast<char>(hi * 16 + lo);
        i += 3;
        continue;
      }
    }
    return false;
  }
  return true;
}

// ---- writer ----

constexpr size_t kStringChunk = 64 << 10;  // WriteMessageXml hands on 64 KiB at a time
constexpr size_t kFileChunk = 1 << 20;     // WriteMessageXmlFile: 1 MiB per fwrite
constexpr size_t kSmallString = 4096;      // written in one go, else in pieces

// Writes into a chunk of its own through a raw pointer (each element first
// makes room for its largest form) and hands full chunks to a string or a
// file.
class XmlWriter {
 public:
  XmlWriter(std::string* out, std::FILE* file, size_t chunk)
      : m_out(out), m_file(file), m_buf(chunk, '\0') {
    m_pos = &m_buf[0];
    m_end = m_pos + m_buf.size();
  }

  void Document(const CWzMessageBase& msg) {
    Room(64);
    Lit("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");
    Message(msg, 0);
  }

  // Hands on what is left; false when any write to the file failed.
  bool Finish() {
    Drain();
    return !m_failed;
  }

 private:
  void Room(size_t n) {
    if (static_cast<size_t>(m_end - m_pos) < n) MakeRoom(n);
  }

  void MakeRoom(size_t n) {
    Drain();
    if (n > m_buf.size()) {
      m_buf.resize(n);
      m_pos = &m_buf[0];
      m_end = m_pos + m_buf.size();
    }
  }

  void Drain() {
    size_t used = static_cast<size_t>(m_pos - m_buf.data());
    if (used != 0) {
      if (m_out != nullptr) {
        m_out->append(m_buf.data(), used);
      } else if (!m_failed && std::fwrite(m_buf.data(), 1, used, m_file) != used) {
        m_failed = true;
      }
    }
    m_pos = &m_buf[0];
  }

  template <size_t N>
  void Lit(const char (&text)[N]) {
    std::memcpy(m_pos, text, N - 1);
    m_pos += N - 1;
  }
  void Bytes(const char* text, size_t n) {
    std::memcpy(m_pos, text, n);
    m_pos += n;
  }
  void Int(long long value) { m_pos = std::to_chars(m_pos, m_pos + 24, value).ptr; }
  // Two blanks per level; room for 8 more than that.
  void Indent(int depth) {
    size_t n = static_cast<size_t>(depth) * 2;
    for (size_t i = 0; i < n; i += 8) std::memcpy(m_pos + i, "        ", 8);
    m_pos += n;
  }
  static size_t IndentRoom(int depth) { return static_cast<size_t>(depth) * 2 + 8; }

  void Message(const CWzMessageBase& msg, int depth) {
    const MessageSchemaClass* schema = FindMessageClass(msg.module(), msg.messageType());
    bool named = schema != nullptr && schema->name != nullptr;
    Room(IndentRoom(depth) + (named ? schema->nameLength : 0) + 96);
    Indent(depth);
    Lit("<message");
    if (named) {
      // Names come from our own table: identifiers and "::" only.
      Lit(" class=\"");
      Bytes(schema->name, schema->nameLength);
      Lit("\"");
    }
    Lit(" module=\"");
    Int(msg.module());
    Lit("\" type=\"");
    Int(msg.messageType());
    if (msg.fields().empty()) {
      Lit("\"/>\n");
      return;
    }
    Lit("\">\n");
    for (const CWzMessageBase::Field& f : msg.fields()) Field(f, schema, depth + 1);
    Room(IndentRoom(depth) + 16);
    Indent(depth);
    Lit("</message>\n");
  }

  void Field(const CWzMessageBase::Field& f, const MessageSchemaClass* schema, int depth) {
    const MessageSchemaField* named = schema != nullptr ? schema->Field(f.number) : nullptr;
    Room(IndentRoom(depth) + (named != nullptr ? named->nameLength : 0) + 160);
    Indent(depth);
    Lit("<field number=\"");
    Int(f.number);
    Lit("\" type=\"");
    Int(f.type);
    Lit("\"");
    if (named != nullptr) {
      Lit(" name=\"");
      Bytes(named->name, named->nameLength);
      Lit("\"");
    }
    switch (f.kind) {
      case Kind::kInt:
        Lit(" kind=\"int\">");
        Int(f.intValue);
        Lit("</field>\n");
        return;
      case Kind::kString:
        Lit(" kind=\"string\"");
        String(f.stringValue);
        Room(16);
        Lit("</field>\n");
        return;
      case Kind::kObject:
        if (!f.object) {
          Lit(" kind=\"object\"/>\n");
          return;
        }
        Lit(" kind=\"object\">\n");
        Message(*f.object, depth + 1);
        break;
      case Kind::kList: {
        size_t n = f.list ? f.list->Size() : 0;
        if (n == 0) {
          Lit(" kind=\"list\"/>\n");
          return;
        }
        Lit(" kind=\"list\">\n");
        for (size_t i = 0; i < n; ++i) Message(f.list->At(i), depth + 1);
        break;
      }
      case Kind::kIntList:
        if (f.ints.empty()) {
          Lit(" kind=\"intlist\"/>\n");
          return;
        }
        Lit(" kind=\"intlist\">\n");
        for (int value : f.ints) {
          Room(IndentRoom(depth + 1) + 40);
          Indent(depth + 1);
          Lit("<int>");
          Int(value);
          Lit("</int>\n");
        }
        break;
    }
    Room(IndentRoom(depth) + 16);
    Indent(depth);
    Lit("</field>\n");
  }

  // The rest of a string field's start tag and its text.
  void String(const std::string& value) {
    const unsigned char* begin = reinterpret_cast<const unsigned char*>(value.data());
    const unsigned char* end = begin + value.size();
    if (value.size() <= kSmallString) {
      // Optimistically as it stands; redone escaped from the mark if need be.
      Room(6 * value.size() + 32);
      char* mark = m_pos;
      Lit(">");
      const unsigned char* p = begin;
      if (EscapeXmlText(p, end, end, false, m_pos)) return;
      m_pos = mark;
      Lit(" encoding=\"escaped\">");
      p = begin;
      EscapeXmlText(p, end, end, true, m_pos);
      return;
    }
    // Long strings: decide first, then write piece by piece.
    bool escaped = !Carried(begin, end);
    Room(32);
    if (escaped) Lit(" encoding=\"escaped\"");
    Lit(">");
    const unsigned char* p = begin;
    while (p < end) {
      const unsigned char* stop = p + std::min<size_t>(kSmallString, static_cast<size_t>(end - p));
      Room(6 * static_cast<size_t>(stop - p) + 4);
      EscapeXmlText(p, stop, end, escaped, m_pos);
    }
  }

  // True when every byte belongs to a character that XML carries.
  static bool Carried(const unsigned char* p, const unsigned char* end) {
    while (p < end) {
      unsigned char k = kByteClass.of[*p];
      if (k == kUncarried) return false;
      if (k >= kLead2 && k <= kLead4) {
        size_t len = XmlCharLength(p, end, k);
        if (len == 0) return false;
        p += len;
      } else {
        ++p;
      }
    }
    return true;
  }

  std::string* m_out;
  std::FILE* m_file;
  std::string m_buf;
  char* m_pos;
  char* m_end;
  bool m_failed = false;
};

// ---- reader ----

#if LIBXML_VERSION >= 21200
using XmlErrorArg = const xmlError*;
#else
using XmlErrorArg = xmlErrorPtr;
#endif

const int kParseOptions =
    XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_COMPACT;

struct DocDeleter {
  void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};
using DocPtr = std::unique_ptr<xmlDoc, DocDeleter>;

struct ParserCtxtDeleter {
  void operator()(xmlParserCtxt* ctxt) const { xmlFreeParserCtxt(ctxt); }
};
using ParserCtxtPtr = std::unique_ptr<xmlParserCtxt, ParserCtxtDeleter>;

std::string Trimmed(const char* text) {
  std::string s = text != nullptr ? text : "";
  while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
  return s;
}

std::string DescribeError(XmlErrorArg err) {
  if (err == nullptr) return "unknown error";
  std::string text;
  if (err->line > 0) text += "line " + std::to_string(err->line) + ": ";
  return text + Trimmed(err->message);
}

std::string ParseFailure(xmlParserCtxt* ctxt, const std::string& what) {
  xmlErrorPtr err = ctxt != nullptr ? xmlCtxtGetLastError(ctxt) : nullptr;
  return "cannot parse " + what + ": " + DescribeError(err);
}

bool IsXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

bool IsBlank(const xmlChar* text) {
  for (const xmlChar* p = text; p != nullptr && *p != 0; ++p) {
    if (!IsXmlSpace(static_cast<char>(*p))) return false;
  }
  return true;
}

// A value from the document for an error message: short and printable.
std::string Shown(const std::string& text) {
  std::string shown = "\"";
  for (size_t i = 0; i < text.size() && i < 40; ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    shown += c < 0x20 || c == 0x7F ? '?' : static_cast<char>(c);
  }
  return shown + (text.size() > 40 ? "...\"" : "\"");
}

bool NameIs(const xmlNode* node, const char* name) {
  return std::strcmp(reinterpret_cast<const char*>(node->name), name) == 0;
}

// Decimal integer within [lo, hi], blanks around it allowed.
bool ParseInteger(const std::string& text, long long lo, long long hi, long long* value) {
  size_t b = 0, e = text.size();
  while (b < e && IsXmlSpace(text[b])) ++b;
  while (e > b && IsXmlSpace(text[e - 1])) --e;
  if (b < e && text[b] == '+') ++b;
  if (b == e || text[b] == '+' || (text[b] == '-' && b > 0 && text[b - 1] == '+')) return false;
  long long v = 0;
  auto result = std::from_chars(text.data() + b, text.data() + e, v);
  if (result.ec != std::errc() || result.ptr != text.data() + e) return false;
  if (v < lo || v > hi) return false;
  *value = v;
  return true;
}

class TreeReader {
 public:
  explicit TreeReader(std::string* error) : m_error(error) {}

  bool Root(xmlDoc* doc, CWzMessageBase& msg) {
    if (doc->intSubset != nullptr || doc->extSubset != nullptr) {
      return Fail(nullptr, "document type declarations are not accepted");
    }
    xmlNode* root = xmlDocGetRootElement(doc);
    if (root == nullptr) return Fail(nullptr, "the document has no root element");
    if (!NameIs(root, "message")) {
      return Fail(root, "the root element is <" + std::string(reinterpret_cast<const char*>(
                                                      root->name)) + ">, not <message>");
    }
    int module = 0, type = 0;
    if (!Header(root, &module, &type)) return false;
    CWzMessageBase read(module, type);
    if (!Fields(root, read)) return false;
    static_cast<CWzMessageBase&>(msg) = std::move(read);
    return true;
  }

 private:
  static std::string Where(short n) { return "field " + std::to_string(n); }

  bool Fail(const xmlNode* node, const std::string& reason) {
    if (m_error != nullptr) {
      long line = node != nullptr ? xmlGetLineNo(node) : -1;
      *m_error = line > 0 ? "line " + std::to_string(line) + ": " + reason : reason;
    }
    return false;
  }

  bool AttrValue(const xmlNode* node, const xmlAttr* attr, std::string* value) {
    const xmlNode* c = attr->children;
    if (c == nullptr) {
      value->clear();
      return true;
    }
    if (c->next == nullptr && c->type == XML_TEXT_NODE) {
      *value = reinterpret_cast<const char*>(c->content);
      return true;
    }
    return Fail(node, "attribute " + std::string(reinterpret_cast<const char*>(attr->name)) +
                          " holds an entity reference");
  }

  bool IntAttr(const xmlNode* node, const xmlAttr* attr, long long lo, long long hi,
               long long* out) {
    std::string text;
    if (!AttrValue(node, attr, &text)) return false;
    if (ParseInteger(text, lo, hi, out)) return true;
    return Fail(node, "attribute " + std::string(reinterpret_cast<const char*>(attr->name)) +
                          "=" + Shown(text) + " is not an integer in range");
  }

  // module and type of a <message>.
  bool Header(const xmlNode* node, int* module, int* type) {
    bool haveModule = false, haveType = false;
    for (const xmlAttr* a = node->properties; a != nullptr; a = a->next) {
      const char* name = reinterpret_cast<const char*>(a->name);
      long long v = 0;
      if (std::strcmp(name, "module") == 0) {
        if (!IntAttr(node, a, INT_MIN, INT_MAX, &v)) return false;
        *module = static_cast<int>(v);
        haveModule = true;
      } else if (std::strcmp(name, "type") == 0) {
        if (!IntAttr(node, a, INT_MIN, INT_MAX, &v)) return false;
        *type = static_cast<int>(v);
        haveType = true;
      } else if (std::strcmp(name, "class") != 0) {
        return Fail(node, "unknown attribute " + std::string(name) + " on <message>");
      }
    }
    if (!haveModule || !haveType) return Fail(node, "<message> lacks module or type");
    return true;
  }

  bool Fields(const xmlNode* node, CWzMessageBase& msg) {
    for (const xmlNode* c = node->children; c != nullptr; c = c->next) {
      switch (c->type) {
        case XML_ELEMENT_NODE:
          if (!NameIs(c, "field")) {
            return Fail(c, "unexpected <" + std::string(reinterpret_cast<const char*>(c->name)) +
                               "> in <message>");
          }
          if (!Field(c, msg)) return false;
          break;
        case XML_TEXT_NODE:
        case XML_CDATA_SECTION_NODE:
          if (!IsBlank(c->content)) return Fail(c, "text in <message>");
          break;
        case XML_COMMENT_NODE:
        case XML_PI_NODE:
          break;
        default:
          return Fail(c, "unexpected node in <message>");
      }
    }
    return true;
  }

  bool Field(const xmlNode* node, CWzMessageBase& msg) {
    long long number = -1, type = -1;
    bool haveNumber = false, haveType = false, escaped = false;
    std::string kindName;
    for (const xmlAttr* a = node->properties; a != nullptr; a = a->next) {
      const char* name = reinterpret_cast<const char*>(a->name);
      if (std::strcmp(name, "number") == 0) {
        if (!IntAttr(node, a, SHRT_MIN, SHRT_MAX, &number)) return false;
        haveNumber = true;
      } else if (std::strcmp(name, "type") == 0) {
        if (!IntAttr(node, a, SHRT_MIN, SHRT_MAX, &type)) return false;
        haveType = true;
      } else if (std::strcmp(name, "kind") == 0) {
        if (!AttrValue(node, a, &kindName)) return false;
      } else if (std::strcmp(name, "encoding") == 0) {
        std::string encoding;
        if (!AttrValue(node, a, &encoding)) return false;
        if (encoding != "escaped") return Fail(node, "unknown encoding " + Shown(encoding));
        escaped = true;
      } else if (std::strcmp(name, "name") != 0) {
        return Fail(node, "unknown attribute " + std::string(name) + " on <field>");
      }
    }
    if (!haveNumber || !haveType) return Fail(node, "<field> lacks number or type");
    short n = static_cast<short>(number), t = static_cast<short>(type);
    if (msg.isSet(n, kWzMsgId1, kWzMsgId2)) return Fail(node, Where(n) + " appears twice");
    if (escaped && kindName != "string") {
      return Fail(node, Where(n) + ": only string fields take an encoding");
    }
    if (kindName == "int" || kindName == "string") {
      std::string text;
      if (!TextContent(node, n, &text)) return false;
      if (kindName == "int") {
        long long v = 0;
        if (!ParseInteger(text, LLONG_MIN, LLONG_MAX, &v)) {
          return Fail(node, Where(n) + ": " + Shown(text) + " is not a 64-bit integer");
        }
        msg.setint64(n, t, v, kWzMsgId1, kWzMsgId2);
      } else if (escaped) {
        std::string bytes;
        if (!UnescapeText(text, bytes)) return Fail(node, Where(n) + ": malformed escape");
        msg.setstring(n, t, bytes, kWzMsgId1, kWzMsgId2);
      } else {
        msg.setstring(n, t, text, kWzMsgId1, kWzMsgId2);
      }
      return true;
    }
    if (kindName == "object") return Object(node, n, t, msg);
    if (kindName == "list") return List(node, n, t, msg);
    if (kindName == "intlist") return IntList(node, n, t, msg);
    if (kindName.empty()) return Fail(node, Where(n) + " lacks its kind");
    return Fail(node, Where(n) + ": unknown kind " + Shown(kindName));
  }

  // The text of an int or string field, exactly as it stands.
  bool TextContent(const xmlNode* node, short n, std::string* text) {
    for (const xmlNode* c = node->children; c != nullptr; c = c->next) {
      switch (c->type) {
        case XML_TEXT_NODE:
        case XML_CDATA_SECTION_NODE:
          if (c->content != nullptr) *text += reinterpret_cast<const char*>(c->content);
          break;
        case XML_COMMENT_NODE:
        case XML_PI_NODE:
          break;
        case XML_ELEMENT_NODE:
          return Fail(c, Where(n) + ": element inside a value");
        case XML_ENTITY_REF_NODE:
          return Fail(c, Where(n) + ": entity reference inside a value");
        default:
          return Fail(c, Where(n) + ": unexpected node inside a value");
      }
    }
    return true;
  }

  // Calls `each` for every child element of a container field, which must
  // be named `element`; blank text between them is skipped.
  template <class Each>
  bool Children(const xmlNode* node, short n, const char* element, Each each) {
    for (const xmlNode* c = node->children; c != nullptr; c = c->next) {
      switch (c->type) {
        case XML_ELEMENT_NODE:
          if (!NameIs(c, element)) {
            return Fail(c, Where(n) + ": unexpected <" +
                               std::string(reinterpret_cast<const char*>(c->name)) + ">");
          }
          if (!each(c)) return false;
          break;
        case XML_TEXT_NODE:
        case XML_CDATA_SECTION_NODE:
          if (!IsBlank(c->content)) return Fail(c, Where(n) + ": text between elements");
          break;
        case XML_COMMENT_NODE:
        case XML_PI_NODE:
          break;
        default:
          return Fail(c, Where(n) + ": unexpected node");
      }
    }
    return true;
  }

  bool Object(const xmlNode* node, short n, short t, CWzMessageBase& msg) {
    int count = 0;
    bool ok = Children(node, n, "message", [&](const xmlNode* child) {
      if (++count > 1) return Fail(child, Where(n) + " holds more than one <message>");
      int module = 0, type = 0;
      if (!Header(child, &module, &type)) return false;
      CWzMessageBase* object = msg.getObjectAccessor<CWzMessageBase>(
          true, true, n, t, kWzMsgId1, kWzMsgId2, module, type);
      return Fields(child, *object);
    });
    if (ok && count == 0) return Fail(node, Where(n) + " holds no <message>");
    return ok;
  }

  bool List(const xmlNode* node, short n, short t, CWzMessageBase& msg) {
    CWzMessageBase::ListBase* list = msg.addGenericList(n, t);
    return Children(node, n, "message", [&](const xmlNode* child) {
      int module = 0, type = 0;
      if (!Header(child, &module, &type)) return false;
      list->Append(CWzMessageBase(module, type));
      return Fields(child, list->At(list->Size() - 1));
    });
  }

  bool IntList(const xmlNode* node, short n, short t, CWzMessageBase& msg) {
    std::vector<int>* ints = msg.getlistint(n, t, kWzMsgId1, kWzMsgId2, true);
    return Children(node, n, "int", [&](const xmlNode* child) {
      if (child->properties != nullptr) return Fail(child, Where(n) + ": <int> takes no attributes");
      std::string text;
      if (!TextContent(child, n, &text)) return false;
      long long v = 0;
      if (!ParseInteger(text, INT_MIN, INT_MAX, &v)) {
        return Fail(child, Where(n) + ": " + Shown(text) + " is not a 32-bit integer");
      }
      ints->push_back(static_cast<int>(v));
      return true;
    });
  }

  std::string* m_error;
};


// Reads a whole file; libxml2 is given only memory, so that it never
// resolves a path as a URL and never prints loader warnings of its own.
bool ReadWholeFile(const std::string& path, std::string* text, std::string* error) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) {
    if (error != nullptr) *error = "cannot open " + path + ": " + std::strerror(errno);
    return false;
  }
  text->clear();
  char buf[65536];
  size_t n = 0;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text->append(buf, n);
  bool ok = std::ferror(f) == 0;
  std::fclose(f);
  if (!ok && error != nullptr) *error = "cannot read " + path;
  if (ok && text->size() > static_cast<size_t>(INT_MAX)) {
    if (error != nullptr) *error = path + " is too large";
    ok = false;
  }
  return ok;
}

DocPtr ParseMemory(xmlParserCtxt* ctxt, const std::string& text, const std::string& url) {
  return DocPtr(xmlCtxtReadMemory(ctxt, text.data(), static_cast<int>(text.size()), url.c_str(),
                                  nullptr, kParseOptions));
}

// Collects the messages of libxml2's schema parser and validator.
void CollectError(void* sink, XmlErrorArg err) {
  std::string* text = static_cast<std::string*>(sink);
  if (!text->empty()) *text += "\n";
  *text += DescribeError(err);
}

bool ReadText(const std::string& text, const std::string& url, const std::string& what,
              CWzMessageBase& msg, std::string* error) {
  xmlInitParser();
  if (text.size() > static_cast<size_t>(INT_MAX)) {
    if (error != nullptr) *error = what + " is too large";
    return false;
  }
  ParserCtxtPtr ctxt(xmlNewParserCtxt());
  if (!ctxt) {
    if (error != nullptr) *error = "cannot create an XML parser";
    return false;
  }
  DocPtr doc = ParseMemory(ctxt.get(), text, url);
  if (!doc) {
    if (error != nullptr) *error = ParseFailure(ctxt.get(), what);
    return false;
  }
  return TreeReader(error).Root(doc.get(), msg);
}

}  // namespace

void WriteMessageXml(const CWzMessageBase& msg, std::string& out) {
  XmlWriter writer(&out, nullptr, kStringChunk);
  writer.Document(msg);
  writer.Finish();
}

bool WriteMessageXmlFile(const CWzMessageBase& msg, std::FILE* file) {
  if (file == nullptr) return false;
  XmlWriter writer(nullptr, file, kFileChunk);
  writer.Document(msg);
  bool ok = writer.Finish();
  if (std::fflush(file) != 0) ok = false;
  return ok && std::ferror(file) == 0;
}

bool ReadMessageXml(const std::string& text, CWzMessageBase& msg, std::string* error) {
  return ReadText(text, "message.xml", "the document", msg, error);
}

bool ReadMessageXmlFile(const std::string& path, CWzMessageBase& msg, std::string* error) {
  std::string text;
  if (!ReadWholeFile(path, &text, error)) return false;
  return ReadText(text, path, path, msg, error);
}

bool ValidateMessageXmlFile(const std::string& path, const std::string& xsdPath,
                            std::string* error) {
  xmlInitParser();
  std::string messages;
  auto fail = [&](const std::string& what) {
    if (error != nullptr) *error = messages.empty() ? what : what + ": " + messages;
    return false;
  };
  const std::string xsd = xsdPath.empty() ? std::string(OLB_MESSAGE_XSD) : xsdPath;
  std::string xsdText, docText;
  if (!ReadWholeFile(xsd, &xsdText, error) || !ReadWholeFile(path, &docText, error)) {
    return false;
  }

  std::unique_ptr<xmlSchemaParserCtxt, void (*)(xmlSchemaParserCtxt*)> schemaParser(
      xmlSchemaNewMemParserCtxt(xsdText.data(), static_cast<int>(xsdText.size())),
      xmlSchemaFreeParserCtxt);
  if (!schemaParser) return fail("cannot read schema " + xsd);
  xmlSchemaSetParserStructuredErrors(schemaParser.get(), CollectError, &messages);
  std::unique_ptr<xmlSchema, void (*)(xmlSchema*)> schema(xmlSchemaParse(schemaParser.get()),
                                                           xmlSchemaFree);
  if (!schema) return fail("cannot load schema " + xsd);

  std::unique_ptr<xmlSchemaValidCtxt, void (*)(xmlSchemaValidCtxt*)> validator(
      xmlSchemaNewValidCtxt(schema.get()), xmlSchemaFreeValidCtxt);
  if (!validator) return fail("cannot create a schema validator");
  xmlSchemaSetValidStructuredErrors(validator.get(), CollectError, &messages);

  ParserCtxtPtr ctxt(xmlNewParserCtxt());
  if (!ctxt) return fail("cannot create an XML parser");
  DocPtr doc = ParseMemory(ctxt.get(), docText, path);
  if (!doc) {
    if (error != nullptr) *error = ParseFailure(ctxt.get(), path);
    return false;
  }
  int rc = xmlSchemaValidateDoc(validator.get(), doc.get());
  if (rc != 0) return fail(rc > 0 ? path + " is not valid" : "cannot validate " + path);
  return true;
}
