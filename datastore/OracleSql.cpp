#include "datastore/OracleSql.h"

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace olbds {

const char kOracleTextFunction[] = "olb_ora_text";

namespace {

// ---- Values -----------------------------------------------------------

void AppendInteger(sqlite3_int64 v, std::string* out) {
  char buf[32];
  int n = std::snprintf(buf, sizeof buf, "%" PRId64, static_cast<int64_t>(v));
  out->append(buf, static_cast<size_t>(n));
}

void OracleText(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (argc != 1) return;
  sqlite3_value* v = argv[0];
  switch (sqlite3_value_type(v)) {
    case SQLITE_NULL:
      sqlite3_result_text(ctx, "", 0, SQLITE_STATIC);
      break;
    case SQLITE_INTEGER: {
      std::string text;
      AppendInteger(sqlite3_value_int64(v), &text);
      sqlite3_result_text(ctx, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
      break;
    }
    case SQLITE_FLOAT: {
      std::string text = OracleNumberText(sqlite3_value_double(v));
      sqlite3_result_text(ctx, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
      break;
    }
    default:
      sqlite3_result_value(ctx, v);
      break;
  }
}

// ---- Tokens -----------------------------------------------------------

enum class Tok { kSpace, kWord, kString, kQuoted, kOpen, kClose, kComma, kConcat, kOther };

struct Token {
  Tok kind;
  size_t begin;
  size_t end;
};

bool IsWordChar(char c) {
  unsigned char u = static_cast<unsigned char>(c);
  return std::isalnum(u) || c == '_' || c == '$' || c == '#' || c == '.' || u >= 0x80;
}

std::vector<Token> Scan(const std::string& s) {
  std::vector<Token> tokens;
  size_t i = 0;
  const size_t n = s.size();
  while (i < n) {
    const size_t start = i;
    const char c = s[i];
    Tok kind = Tok::kOther;
    if (std::isspace(static_cast<unsigned char>(c))) {
      while (i < n && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
      kind = Tok::kSpace;
    } else if (c == '-' && i + 1 < n && s[i + 1] == '-') {
      while (i < n && s[i] != '\n') ++i;
      kind = Tok::kSpace;
    } else if (c == '/' && i + 1 < n && s[i + 1] == '*') {
      size_t close = s.find("*/", i + 2);
      i = close == std::string::npos ? n : close + 2;
      kind = Tok::kSpace;
    } else if (c == '\'') {
      ++i;
      while (i < n) {
        if (s[i] != '\'') {
          ++i;
        } else if (i + 1 < n && s[i + 1] == '\'') {
          i += 2;
        } else {
          ++i;
          break;
        }
      }
      kind = Tok::kString;
    } else if (c == '"') {
      ++i;
      while (i < n && s[i] != '"') ++i;
      if (i < n) ++i;
      kind = Tok::kQuoted;
    } else if (IsWordChar(c)) {
      while (i < n && IsWordChar(s[i])) ++i;
      kind = Tok::kWord;
    } else if (c == '|' && i + 1 < n && s[i + 1] == '|') {
      i += 2;
      kind = Tok::kConcat;
    } else {
      ++i;
      kind = c == '(' ? Tok::kOpen : c == ')' ? Tok::kClose : c == ',' ? Tok::kComma : Tok::kOther;
    }
    tokens.push_back({kind, start, i});
  }
  return tokens;
}

// Words that end an expression or cannot be a column alias.
const char* const kListEnders[] = {"from",  "union", "intersect", "except", "minus", "order",
                                   "group", "where", "having",    "into",   "limit"};
const char* const kNotAliases[] = {"end",  "null", "and",     "or",       "not",   "is",
                                   "in",   "like", "between", "then",     "else",  "when",
                                   "case", "asc",  "desc",    "distinct", "escape"};
// Words after which an expression goes on.
const char* const kOperatorWords[] = {"and",  "or",       "not",   "is",   "in",
                                      "like", "between",  "then",  "else", "when",
                                      "case", "distinct", "escape"};

class Rewriter {
 public:
  explicit Rewriter(const std::string& sql) : m_s(sql), m_t(Scan(sql)) {}
  std::string Run() { return Range(0, m_t.size()); }

 private:
  std::string Text(size_t b, size_t e) const {
    if (b >= e) return std::string();
    return m_s.substr(m_t[b].begin, m_t[e - 1].end - m_t[b].begin);
  }

  bool IsWord(size_t i, const char* word) const {
    const Token& t = m_t[i];
    size_t len = std::strlen(word);
    return t.kind == Tok::kWord && t.end - t.begin == len &&
           strncasecmp(m_s.c_str() + t.begin, word, len) == 0;
  }

  bool IsComment(size_t i) const {
    const Token& t = m_t[i];
    return t.kind == Tok::kSpace && (m_s[t.begin] == '-' || m_s[t.begin] == '/');
  }

  template <size_t N>
  bool IsOneOf(size_t i, const char* const (&words)[N]) const {
    for (const char* w : words) {
      if (IsWord(i, w)) return true;
    }
    return false;
  }

  // Copies tokens [b, e), rewriting the select lists found there.
  std::string Range(size_t b, size_t e) const {
    std::string out;
    size_t i = b;
    while (i < e) {
      if (IsComment(i)) {
        // Dropped, so that no comment can swallow a parenthesis added
        // around an operand; its line ends stay for error positions.
        size_t lines = static_cast<size_t>(
            std::count(m_s.begin() + m_t[i].begin, m_s.begin() + m_t[i].end, '\n'));
        out += lines > 0 ? std::string(lines, '\n') : std::string(" ");
        ++i;
        continue;
      }
      if (!IsWord(i, "select")) {
        out += Text(i, i + 1);
        ++i;
        continue;
      }
      out += Text(i, i + 1);
      ++i;
      while (i < e && (m_t[i].kind == Tok::kSpace || IsWord(i, "distinct") || IsWord(i, "all") ||
                       IsWord(i, "unique"))) {
        out += Text(i, i + 1);
        ++i;
      }
      size_t end = ListEnd(i, e);
      out += List(i, end);
      i = end;
    }
    return out;
  }

  size_t ListEnd(size_t b, size_t e) const {
    int depth = 0;
    for (size_t i = b; i < e; ++i) {
      const Token& t = m_t[i];
      if (t.kind == Tok::kOpen) {
        ++depth;
      } else if (t.kind == Tok::kClose) {
        if (depth == 0) return i;
        --depth;
      } else if (depth == 0 &&
                 (IsOneOf(i, kListEnders) || (t.kind == Tok::kOther && m_s[t.begin] == ';'))) {
        return i;
      }
    }
    return e;
  }

  // Splits [b, e) at the top-level tokens of `kind`.
  std::vector<std::pair<size_t, size_t>> Split(size_t b, size_t e, Tok kind) const {
    std::vector<std::pair<size_t, size_t>> parts;
    int depth = 0;
    size_t start = b;
    for (size_t i = b; i < e; ++i) {
      if (m_t[i].kind == Tok::kOpen) {
        ++depth;
      } else if (m_t[i].kind == Tok::kClose) {
        --depth;
      } else if (depth == 0 && m_t[i].kind == kind) {
        parts.emplace_back(start, i);
        start = i + 1;
      }
    }
    parts.emplace_back(start, e);
    return parts;
  }

  std::string List(size_t b, size_t e) const {
    std::string out;
    auto items = Split(b, e, Tok::kComma);
    for (size_t k = 0; k < items.size(); ++k) {
      if (k > 0) out += ",";
      out += Item(items[k].first, items[k].second);
    }
    return out;
  }

  // Index of the alias in the operand [b, e), or e when it has none.
  size_t AliasStart(size_t b, size_t e) const {
    int depth = 0;
    std::vector<size_t> top;  // significant top-level tokens
    for (size_t i = b; i < e; ++i) {
      Tok k = m_t[i].kind;
      if (k == Tok::kClose) --depth;
      if (depth == 0 && k != Tok::kSpace) top.push_back(i);
      if (k == Tok::kOpen) ++depth;
      if (depth == 0 && IsWord(i, "as")) return i;
    }
    if (top.size() < 2) return e;
    size_t last = top.back();
    size_t prev = top[top.size() - 2];
    bool lastIsName = (m_t[last].kind == Tok::kWord &&
                       !std::isdigit(static_cast<unsigned char>(m_s[m_t[last].begin])) &&
                       !IsOneOf(last, kNotAliases)) ||
                      m_t[last].kind == Tok::kQuoted;
    Tok pk = m_t[prev].kind;
    bool prevEndsValue = (pk == Tok::kWord && !IsOneOf(prev, kOperatorWords)) ||
                         pk == Tok::kString || pk == Tok::kQuoted || pk == Tok::kClose;
    return lastIsName && prevEndsValue ? last : e;
  }

  static std::string Trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return std::string();
    size_t e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
  }

  // The item's own text as its column name: blanks collapsed, quotes doubled.
  std::string ColumnName(size_t b, size_t e) const {
    std::string name;
    for (size_t i = b; i < e; ++i) {
      if (m_t[i].kind == Tok::kSpace) {
        if (!name.empty()) name += ' ';
        continue;
      }
      for (char c : Text(i, i + 1)) {
        name += c;
        if (c == '"') name += '"';
      }
    }
    while (!name.empty() && name.back() == ' ') name.pop_back();
    return name;
  }

  std::string Item(size_t b, size_t e) const {
    auto ops = Split(b, e, Tok::kConcat);
    if (ops.size() == 1) return Range(b, e);
    size_t lastBegin = ops.back().first;
    size_t alias = AliasStart(lastBegin, e);
    ops.back().second = alias;

    std::string out;
    size_t lead = b;
    while (lead < e && m_t[lead].kind == Tok::kSpace) out += Text(lead, lead + 1), ++lead;
    for (size_t k = 0; k < ops.size(); ++k) {
      if (k > 0) out += "||";
      std::string op = Trim(Range(ops[k].first, ops[k].second));
      bool literal = ops[k].second > ops[k].first && op.size() >= 2 && op.front() == '\'' &&
                     Scan(op).size() == 1;
      if (literal) {
        out += op;  // a non-empty literal is never NULL
      } else {
        out += std::string(kOracleTextFunction) + "(" + op + ")";
      }
    }
    if (alias < e) {
      out += " " + Trim(Text(alias, e));
    } else {
      out += " AS \"" + ColumnName(b, e) + "\"";
    }
    size_t trail = e;
    while (trail > b && m_t[trail - 1].kind == Tok::kSpace) --trail;
    if (trail < e) out += " ";
    return out;
  }

  const std::string& m_s;
  std::vector<Token> m_t;
};

}  // namespace

bool RegisterOracleFunctions(sqlite3* db) {
  return sqlite3_create_function_v2(db, kOracleTextFunction, 1,
                                    SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS, nullptr,
                                    OracleText, nullptr, nullptr, nullptr) == SQLITE_OK;
}

std::string RewriteConcatenation(const std::string& sql) { return Rewriter(sql).Run(); }

std::string OracleNumberText(double value) {
  if (std::isnan(value)) return "Nan";
  if (std::isinf(value)) return value > 0 ? "Inf" : "-Inf";
  char buf[64];
  if (value == std::floor(value) && std::fabs(value) < 1e38) {
    if (value == 0) return "0";
    if (std::fabs(value) < 9007199254740992.0) {  // 2^53: every digit is exact
      std::snprintf(buf, sizeof buf, "%.0f", value);
      return buf;
    }
    // Beyond that a double holds 15 good digits; Oracle, being decimal, shows
    // the rest as zeros.
    std::snprintf(buf, sizeof buf, "%.14e", std::fabs(value));
    std::string digits = std::string(1, buf[0]) + std::string(buf + 2, 14);
    int exponent = std::atoi(std::strchr(buf, 'e') + 1);
    digits.resize(digits.find_last_not_of('0') + 1);
    digits.append(static_cast<size_t>(exponent + 1) - digits.size(), '0');
    return (value < 0 ? "-" : "") + digits;
  }
  std::snprintf(buf, sizeof buf, "%.15G", value);
  std::string text = buf;
  if (text.compare(0, 2, "0.") == 0) text.erase(0, 1);
  if (text.compare(0, 3, "-0.") == 0) text.erase(1, 1);
  return text;
}

void AppendValueText(sqlite3_stmt* stmt, int column, std::string* out) {
  switch (sqlite3_column_type(stmt, column)) {
    case SQLITE_NULL:
      break;
    case SQLITE_INTEGER:
      AppendInteger(sqlite3_column_int64(stmt, column), out);
      break;
    case SQLITE_FLOAT:
      out->append(OracleNumberText(sqlite3_column_double(stmt, column)));
      break;
    default: {
      const char* p = static_cast<const char*>(sqlite3_column_blob(stmt, column));
      int n = sqlite3_column_bytes(stmt, column);
      if (p != nullptr && n > 0) out->append(p, static_cast<size_t>(n));
      break;
    }
  }
}

OracleError OracleErrorFor(int sqliteCode, const std::string& msg) {
  auto startsWith = [&](const char* prefix) {
    return msg.compare(0, std::strlen(prefix), prefix) == 0;
  };
  auto upperAfter = [&](const char* prefix) {
    std::string name = msg.substr(std::strlen(prefix));
    for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return name;
  };
  if (startsWith("no such table")) return {942, "ORA-00942: table or view does not exist"};
  if (startsWith("no such column: ")) {
    return {904, "ORA-00904: \"" + upperAfter("no such column: ") + "\": invalid identifier"};
  }
  if (startsWith("no such function: ")) {
    return {904, "ORA-00904: \"" + upperAfter("no such function: ") + "\": invalid identifier"};
  }
  if (startsWith("ambiguous column name")) return {918, "ORA-00918: column ambiguously defined"};
  if (startsWith("wrong number of arguments"))
    return {909, "ORA-00909: invalid number of arguments"};
  if (startsWith("incomplete input")) return {921, "ORA-00921: unexpected end of SQL command"};
  if (msg.find("syntax error") != std::string::npos) {
    return {933, "ORA-00933: SQL command not properly ended"};
  }
  switch (sqliteCode) {
    case SQLITE_READONLY:
    case SQLITE_AUTH:
    case SQLITE_PERM:
      return {1031, "ORA-01031: insufficient privileges"};
    case SQLITE_CONSTRAINT:
      return {1, "ORA-00001: unique constraint violated"};
    case SQLITE_NOMEM:
      return {4030, "ORA-04030: out of process memory"};
    case SQLITE_INTERRUPT:
      return {1013, "ORA-01013: user requested cancel of current operation"};
    default:
      return {600, "ORA-00600: internal error code, arguments: [" + msg + "]"};
  }
}

}  // namespace olbds
