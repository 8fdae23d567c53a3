#include "datastore/Datastore.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

namespace olbds {

Database::~Database() {
  if (m_db != nullptr) sqlite3_close(m_db);
}

bool Database::Open(const std::string& path, int flags) {
  if (m_db != nullptr) {
    sqlite3_close(m_db);
    m_db = nullptr;
  }
  int rc = sqlite3_open_v2(path.c_str(), &m_db, flags, nullptr);
  if (rc != SQLITE_OK) {
    m_error = m_db != nullptr ? sqlite3_errmsg(m_db) : sqlite3_errstr(rc);
    sqlite3_close(m_db);
    m_db = nullptr;
    return false;
  }
  sqlite3_extended_result_codes(m_db, 0);
  sqlite3_busy_timeout(m_db, 5000);
  return true;
}

bool Database::Exec(const std::string& sql) {
  char* msg = nullptr;
  if (sqlite3_exec(m_db, sql.c_str(), nullptr, nullptr, &msg) != SQLITE_OK) {
    m_error = msg != nullptr ? msg : sqlite3_errmsg(m_db);
    sqlite3_free(msg);
    return false;
  }
  return true;
}

static int LineAt(const char* begin, const char* at) {
  int line = 1;
  for (const char* p = begin; p < at; ++p) {
    if (*p == '\n') ++line;
  }
  return line;
}

bool Database::ExecScript(const std::string& sql, const std::string& sourceName) {
  const char* begin = sql.c_str();
  const char* next = begin;
  while (*next != '\0') {
    // Skip what lies between statements so that the reported line is the
    // statement's own first line.
    while (*next == ' ' || *next == '\t' || *next == '\r' || *next == '\n') ++next;
    if (*next == '\0') break;
    sqlite3_stmt* stmt = nullptr;
    const char* tail = nullptr;
    int rc = sqlite3_prepare_v2(m_db, next, -1, &stmt, &tail);
    if (rc == SQLITE_OK && stmt != nullptr) {
      do {
        rc = sqlite3_step(stmt);
      } while (rc == SQLITE_ROW);
      if (rc == SQLITE_DONE) rc = SQLITE_OK;
    }
    if (rc != SQLITE_OK) {
      std::ostringstream msg;
      msg << sourceName << ":" << LineAt(begin, next) << ": " << sqlite3_errmsg(m_db);
      m_error = msg.str();
      sqlite3_finalize(stmt);
      return false;
    }
    sqlite3_finalize(stmt);
    if (tail == nullptr || tail == next) break;  // only a comment was left
    next = tail;
  }
  return true;
}

bool Database::AttachDpaSchemas(const std::string& path) {
  for (const char* schema : {"config", "datamine"}) {
    sqlite3_stmt* stmt = nullptr;
    std::string sql = std::string("ATTACH DATABASE ?1 AS ") + schema;
    if (sqlite3_prepare_v2(m_db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
      m_error = sqlite3_errmsg(m_db);
      return false;
    }
    sqlite3_bind_text(stmt, 1, path.c_str(), -1, SQLITE_TRANSIENT);
    int rc = sqlite3_step(stmt);
    sqlite3_finalize(stmt);
    if (rc != SQLITE_DONE) {
      m_error = sqlite3_errmsg(m_db);
      return false;
    }
  }
  return true;
}

bool ReadTextFile(const std::string& path, std::string* text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream ss;
  ss << in.rdbuf();
  if (in.bad()) return false;
  *text = ss.str();
  return true;
}

bool RemoveDatabaseFile(const std::string& path, std::string* error) {
  for (const char* suffix : {"", "-journal", "-wal", "-shm"}) {
    std::string name = path + suffix;
    if (unlink(name.c_str()) != 0 && errno != ENOENT) {
      if (error != nullptr) *error = "cannot remove " + name + ": " + std::strerror(errno);
      return false;
    }
  }
  return true;
}

}  // namespace olbds
