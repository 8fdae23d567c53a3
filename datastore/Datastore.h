// Database: a single open SQLite connection to a datastore file, with the
// helpers that the datastore tools share (reading SQL files, running them
// statement by statement with a located error, creating a file afresh).
#ifndef OLB_DATASTORE_DATASTORE_H_
#define OLB_DATASTORE_DATASTORE_H_

#include <sqlite3.h>

#include <string>

namespace olbds {

class Database {
 public:
  Database() = default;
  ~Database();
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  // Opens `path` with the sqlite3_open_v2 `flags`; false with error() set.
  bool Open(const std::string& path, int flags);
  // Runs `sql` (one or more statements) whose results are not wanted.
  bool Exec(const std::string& sql);
  // Runs the statements of `sql` one at a time; on failure error() names
  // `sourceName` and the line on which the failing statement starts.
  bool ExecScript(const std::string& sql, const std::string& sourceName);
  // Makes the same file reachable under the names config and datamine, as
  // the DPA schemas are.
  bool AttachDpaSchemas(const std::string& path);

  sqlite3* handle() const { return m_db; }
  const std::string& error() const { return m_error; }

 private:
  sqlite3* m_db = nullptr;
  std::string m_error;
};

// Reads the whole file; false when it cannot be read.
bool ReadTextFile(const std::string& path, std::string* text);
// Removes `path` and the journal files SQLite may have left beside it; false
// when one exists and cannot be removed.
bool RemoveDatabaseFile(const std::string& path, std::string* error);

}  // namespace olbds

#endif  // OLB_DATASTORE_DATASTORE_H_
