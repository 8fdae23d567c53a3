// SqlPlusSession: carries out the commands of an SQL*Plus script (SET,
// WHENEVER, queries ending with ';', EXIT) against an open datastore and
// prints what SQL*Plus prints with the same settings. Result rows are
// streamed to the output as they are fetched.
#ifndef OLB_DATASTORE_SQL_PLUS_SESSION_H_
#define OLB_DATASTORE_SQL_PLUS_SESSION_H_

#include <sqlite3.h>

#include <cstdio>
#include <string>
#include <vector>

namespace olbds {

class SqlPlusSession {
 public:
  SqlPlusSession(sqlite3* db, FILE* out) : m_db(db), m_out(out) {}

  // Runs the script text line by line; returns the exit status SQL*Plus
  // would end with (0 when the script ends without EXIT).
  int Run(const std::string& script);

 private:
  struct Settings {
    std::string colsep = " ";
    bool trimspool = false;
    bool heading = true;
    bool echo = false;
    long linesize = 80;
    long feedback = 6;  // smallest row count that is reported; 0 = off
    long pagesize = 14;
  };
  // What to do when a statement fails.
  struct OnError {
    bool exit = false;
    int status = 0;
    bool sqlCode = false;  // exit with the Oracle error number
  };

  // Each returns true when the session ends, with *status set.
  bool Line(const std::string& line, int* status);
  bool Command(const std::vector<std::string>& words, const std::string& rest, int* status);
  bool Execute(const std::string& sql, int* status);
  void Set(const std::vector<std::string>& words);
  void Whenever(const std::vector<std::string>& words);
  // Parses an EXIT code ("SUCCESS", "FAILURE", "SQL.SQLCODE", n); false when
  // it is not one.
  bool ExitCode(const std::string& word, int* status) const;

  // Prints the rows as they are fetched; the last sqlite3_step result.
  int PrintRows(sqlite3_stmt* stmt, long* rows);
  void Print(const std::string& text);

  sqlite3* m_db;
  FILE* m_out;
  Settings m_set;
  OnError m_sqlError;
  std::string m_buffer;   // SQL statement being read
  std::string m_lastSql;  // the last statement run, for "/"
  int m_lastOracleCode = 0;
};

}  // namespace olbds

#endif  // OLB_DATASTORE_SQL_PLUS_SESSION_H_
