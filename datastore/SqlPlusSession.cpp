#include "datastore/SqlPlusSession.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "datastore/OracleSql.h"

namespace olbds {

namespace {

std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return std::string();
  size_t e = s.find_last_not_of(" \t\r\n");
  return s.substr(b, e - b + 1);
}

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// True when `word` (any case) is `full` or an abbreviation of it that is at
// least `minLen` characters long, as SQL*Plus accepts them.
bool Abbrev(const std::string& word, const char* full, size_t minLen) {
  std::string w = Upper(word);
  size_t len = std::strlen(full);
  return w.size() >= minLen && w.size() <= len && std::strncmp(w.c_str(), full, w.size()) == 0;
}

// Blank-separated words; a word in single or double quotes may hold blanks
// and loses its quotes.
std::vector<std::string> SplitWords(const std::string& line) {
  std::vector<std::string> words;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i]))) ++i;
    if (i >= line.size()) break;
    std::string word;
    if (line[i] == '\'' || line[i] == '"') {
      char q = line[i++];
      while (i < line.size() && line[i] != q) word += line[i++];
      if (i < line.size()) ++i;
    } else {
      while (i < line.size() && !std::isspace(static_cast<unsigned char>(line[i])))
        word += line[i++];
    }
    words.push_back(word);
  }
  return words;
}

// Position of the ';' that ends the statement in `sql` (the last character
// outside quotes and comments), or npos while the statement goes on.
size_t StatementEnd(const std::string& sql) {
  enum { kCode, kString, kQuoted, kLineComment, kBlockComment } state = kCode;
  size_t last = std::string::npos;
  for (size_t i = 0; i < sql.size(); ++i) {
    char c = sql[i];
    switch (state) {
      case kCode:
        if (c == '\'') {
          state = kString;
        } else if (c == '"') {
          state = kQuoted;
        } else if (c == '-' && i + 1 < sql.size() && sql[i + 1] == '-') {
          state = kLineComment;
          continue;
        } else if (c == '/' && i + 1 < sql.size() && sql[i + 1] == '*') {
          state = kBlockComment;
          ++i;
          continue;
        }
        if (!std::isspace(static_cast<unsigned char>(c))) last = i;
        break;
      case kString:
        if (c == '\'') state = kCode;  // '' reopens at once
        last = i;
        break;
      case kQuoted:
        if (c == '"') state = kCode;
        last = i;
        break;
      case kLineComment:
        if (c == '\n') state = kCode;
        break;
      case kBlockComment:
        if (c == '*' && i + 1 < sql.size() && sql[i + 1] == '/') {
          state = kCode;
          ++i;
        }
        break;
    }
  }
  if (state != kCode && state != kLineComment) return std::string::npos;
  return last != std::string::npos && sql[last] == ';' ? last : std::string::npos;
}

// Where in `sql` the error lies: SQLite's offset, or else the first place
// that names what the message names ("no such table: x"); 0 when unknown.
size_t ErrorPosition(const std::string& sql, int offset, const std::string& message) {
  if (offset >= 0) return static_cast<size_t>(offset);
  size_t colon = message.rfind(": ");
  if (colon == std::string::npos || colon + 2 >= message.size()) return 0;
  std::string name = Upper(message.substr(colon + 2));
  size_t at = Upper(sql).find(name);
  return at == std::string::npos ? 0 : at;
}

bool IsIgnoredCommand(const std::string& w) {
  return Abbrev(w, "SPOOL", 3) || Abbrev(w, "COLUMN", 3) || Abbrev(w, "TTITLE", 3) ||
         Abbrev(w, "BTITLE", 3) || Abbrev(w, "BREAK", 3) || Abbrev(w, "CLEAR", 2) ||
         Abbrev(w, "DEFINE", 3) || Abbrev(w, "SHOW", 3) || Abbrev(w, "TIMING", 4) ||
         Abbrev(w, "PAUSE", 3) || Abbrev(w, "REMARK", 3);
}

bool ParseLong(const std::string& text, long* value) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  long v = std::strtol(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0') return false;
  *value = v;
  return true;
}

}  // namespace

int SqlPlusSession::Run(const std::string& script) {
  size_t pos = 0;
  int status = 0;
  while (pos < script.size()) {
    size_t nl = script.find('\n', pos);
    std::string line = script.substr(pos, nl == std::string::npos ? std::string::npos : nl - pos);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (Line(line, &status)) return status;
    if (nl == std::string::npos) break;
    pos = nl + 1;
  }
  // SQL*Plus would now read commands from its standard input, which the host
  // gives as /dev/null: the session ends normally.
  return 0;
}

bool SqlPlusSession::Line(const std::string& line, int* status) {
  if (m_set.echo) Print(line + "\n");
  std::string trimmed = Trim(line);
  if (!m_buffer.empty()) {
    if (trimmed == "/") {
      std::string sql;
      sql.swap(m_buffer);
      return Execute(sql, status);
    }
    m_buffer += "\n" + line;
  } else {
    if (trimmed.empty() || trimmed.compare(0, 2, "--") == 0) return false;
    if (trimmed == "/") return !m_lastSql.empty() && Execute(m_lastSql, status);
    std::string command = trimmed;
    if (command.back() == ';') command.pop_back();
    std::vector<std::string> words = SplitWords(command);
    if (!words.empty()) {
      const std::string& w = words[0];
      if (Abbrev(w, "SET", 3) || Abbrev(w, "WHENEVER", 8) || Abbrev(w, "EXIT", 4) ||
          Abbrev(w, "QUIT", 4) || Abbrev(w, "PROMPT", 3) || IsIgnoredCommand(w)) {
        size_t restAt = trimmed.find_first_of(" \t");
        std::string rest = restAt == std::string::npos ? "" : Trim(trimmed.substr(restAt));
        return Command(words, rest, status);
      }
    }
    m_buffer = line;
  }
  size_t end = StatementEnd(m_buffer);
  if (end == std::string::npos) return false;
  std::string sql = m_buffer.substr(0, end);
  m_buffer.clear();
  return Execute(sql, status);
}

bool SqlPlusSession::Command(const std::vector<std::string>& words, const std::string& rest,
                             int* status) {
  const std::string& w = words[0];
  if (Abbrev(w, "SET", 3)) {
    Set(words);
  } else if (Abbrev(w, "WHENEVER", 8)) {
    Whenever(words);
  } else if (Abbrev(w, "EXIT", 4) || Abbrev(w, "QUIT", 4)) {
    *status = 0;
    if (words.size() > 1 && !Abbrev(words[1], "COMMIT", 6) && !Abbrev(words[1], "ROLLBACK", 8) &&
        !ExitCode(words[1], status)) {
      Print("SP2-0584: EXIT variable \"" + Upper(words[1]) + "\" was non-numeric\n");
      *status = 1;
    }
    return true;
  } else if (Abbrev(w, "PROMPT", 3)) {
    Print(rest + "\n");
  }
  return false;
}

void SqlPlusSession::Set(const std::vector<std::string>& words) {
  for (size_t i = 1; i < words.size(); i += 2) {
    const std::string& name = words[i];
    const std::string value = i + 1 < words.size() ? words[i + 1] : std::string();
    auto onOff = [&](const char* what, bool* flag) {
      std::string v = Upper(value);
      if (v == "ON" || v == "OFF") {
        *flag = v == "ON";
      } else {
        Print(std::string("SP2-0265: ") + what + " must be set to ON or OFF\n");
      }
    };
    auto number = [&](const char* what, long low, long high, long* out) {
      long v = 0;
      if (!ParseLong(value, &v)) {
        Print(std::string("SP2-0268: ") + what + " option not a valid number\n");
      } else if (v < low || v > high) {
        Print(std::string("SP2-0267: ") + what + " option " + value + " out of range (" +
              std::to_string(low) + " through " + std::to_string(high) + ")\n");
      } else {
        *out = v;
      }
    };
    if (Abbrev(name, "COLSEP", 6)) {
      m_set.colsep = value;
    } else if (Abbrev(name, "TRIMSPOOL", 5)) {
      onOff("trimspool", &m_set.trimspool);
    } else if (Abbrev(name, "HEADING", 3)) {
      onOff("heading", &m_set.heading);
    } else if (Abbrev(name, "ECHO", 4)) {
      onOff("echo", &m_set.echo);
    } else if (Abbrev(name, "LINESIZE", 3)) {
      number("linesize", 1, 32767, &m_set.linesize);
    } else if (Abbrev(name, "PAGESIZE", 5)) {
      number("pagesize", 0, 50000, &m_set.pagesize);
    } else if (Abbrev(name, "FEEDBACK", 4)) {
      std::string v = Upper(value);
      if (v == "ON") {
        m_set.feedback = 1;
      } else if (v == "OFF") {
        m_set.feedback = 0;
      } else {
        number("feedback", 0, 50000, &m_set.feedback);
      }
    }
    // Any other setting is accepted with its value and has no effect here.
  }
}

void SqlPlusSession::Whenever(const std::vector<std::string>& words) {
  bool sqlError = words.size() > 1 && Upper(words[1]) == "SQLERROR";
  bool osError = words.size() > 1 && Upper(words[1]) == "OSERROR";
  std::string action = words.size() > 2 ? Upper(words[2]) : std::string();
  OnError onError;
  bool valid = (sqlError || osError) && (action == "EXIT" || action == "CONTINUE");
  if (valid && action == "EXIT") {
    onError.exit = true;
    if (words.size() > 3 && !Abbrev(words[3], "COMMIT", 6) && !Abbrev(words[3], "ROLLBACK", 8)) {
      if (Upper(words[3]) == "SQL.SQLCODE") {
        onError.sqlCode = true;
      } else {
        valid = ExitCode(words[3], &onError.status);
      }
    }
  }
  if (!valid) {
    Print("SP2-0158: unknown WHENEVER option \"" + (words.size() > 1 ? words.back() : "") + "\"\n");
    return;
  }
  // Operating system errors cannot arise in the commands this runs.
  if (sqlError) m_sqlError = onError;
}

bool SqlPlusSession::ExitCode(const std::string& word, int* status) const {
  std::string w = Upper(word);
  long n = 0;
  if (w == "SUCCESS") {
    *status = 0;
  } else if (w == "FAILURE") {
    *status = 1;
  } else if (w == "WARNING") {
    *status = 2;
  } else if (w == "SQL.SQLCODE") {
    *status = m_lastOracleCode & 0xff;
  } else if (ParseLong(word, &n)) {
    *status = static_cast<int>(static_cast<unsigned long>(n) & 0xff);
  } else {
    return false;
  }
  return true;
}

bool SqlPlusSession::Execute(const std::string& sql, int* status) {
  m_lastSql = sql;
  const std::string text = RewriteConcatenation(sql);
  sqlite3_stmt* stmt = nullptr;
  const char* tail = nullptr;
  int rc = sqlite3_prepare_v2(m_db, text.c_str(), static_cast<int>(text.size()), &stmt, &tail);
  if (rc == SQLITE_OK && stmt == nullptr) return false;  // nothing but comments
  OracleError error{0, std::string()};
  if (rc == SQLITE_OK && !Trim(tail).empty()) {
    error = {911, "ORA-00911: invalid character"};  // a second statement
  } else if (rc != SQLITE_OK) {
    error = OracleErrorFor(rc, sqlite3_errmsg(m_db));
  }
  if (error.code != 0) {
    size_t at = rc == SQLITE_OK
                    ? static_cast<size_t>(tail - text.c_str())
                    : ErrorPosition(text, sqlite3_error_offset(m_db), sqlite3_errmsg(m_db));
    int line = 1;
    for (size_t i = 0; i < at && i < text.size(); ++i) {
      if (text[i] == '\n') ++line;
    }
    Print("ERROR at line " + std::to_string(line) + ":\n" + error.text + "\n\n");
  } else {
    long rows = 0;
    bool query = sqlite3_column_count(stmt) > 0;
    rc = PrintRows(stmt, &rows);
    if (rc != SQLITE_DONE) {
      error = OracleErrorFor(rc, sqlite3_errmsg(m_db));
      Print("ERROR:\n" + error.text + "\n\n");
    } else if (query && m_set.feedback > 0) {
      if (rows == 0) {
        Print("\nno rows selected\n");
      } else if (rows >= m_set.feedback) {
        Print("\n" + std::to_string(rows) + (rows == 1 ? " row selected.\n" : " rows selected.\n"));
      }
    }
  }
  sqlite3_finalize(stmt);
  if (error.code == 0) return false;
  m_lastOracleCode = error.code;
  if (!m_sqlError.exit) return false;
  *status = m_sqlError.sqlCode ? (error.code & 0xff) : m_sqlError.status;
  return true;
}

int SqlPlusSession::PrintRows(sqlite3_stmt* stmt, long* rows) {
  const int columns = sqlite3_column_count(stmt);
  const bool paged = m_set.pagesize > 0;
  const bool heading = m_set.heading && paged;
  long onPage = 0;
  std::string line;
  int rc;
  while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
    if (paged && onPage == 0) {
      Print("\n");
      if (heading) {
        std::string names, rule;
        for (int c = 0; c < columns; ++c) {
          if (c > 0) names += m_set.colsep, rule += m_set.colsep;
          const char* name = sqlite3_column_name(stmt, c);
          std::string upper = Upper(name != nullptr ? name : "");
          names += upper;
          rule += std::string(upper.size(), '-');
        }
        Print(names + "\n" + rule + "\n");
      }
    }
    line.clear();
    for (int c = 0; c < columns; ++c) {
      if (c > 0) line += m_set.colsep;
      AppendValueText(stmt, c, &line);
    }
    if (m_set.trimspool) {
      size_t end = line.find_last_not_of(' ');
      line.resize(end == std::string::npos ? 0 : end + 1);
    }
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), m_out);
    ++*rows;
    if (paged && ++onPage == m_set.pagesize) onPage = 0;
  }
  return rc;
}

void SqlPlusSession::Print(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), m_out);
}

}  // namespace olbds
