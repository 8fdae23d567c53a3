// What the sqlplus stand-in needs to run Oracle-flavoured queries on SQLite:
// the select-list rewrite that gives || Oracle's treatment of NULL, Oracle's
// way of printing values, and the ORA- error that matches an SQLite failure.
#ifndef OLB_DATASTORE_ORACLE_SQL_H_
#define OLB_DATASTORE_ORACLE_SQL_H_

#include <sqlite3.h>

#include <string>

namespace olbds {

// Name of the SQL function that the rewrite wraps around || operands.
extern const char kOracleTextFunction[];

// Registers kOracleTextFunction on `db`: NULL becomes '', numbers print as
// OracleValueText does, text passes unchanged.
bool RegisterOracleFunctions(sqlite3* db);

// Rewrites every select list (nested ones too) in which || joins operands:
// each top-level operand X becomes kOracleTextFunction(X), and the item keeps
// its original text as column name. Quotes, comments and parentheses are
// respected; everything else is left as written.
std::string RewriteConcatenation(const std::string& sql);

// A number as Oracle prints it: integral values without a fraction, others
// with up to 15 significant digits and no leading zero (0.5 prints ".5").
std::string OracleNumberText(double value);
// The text SQL*Plus shows for a result column value (NULL shows as "").
void AppendValueText(sqlite3_stmt* stmt, int column, std::string* out);

// The ORA- line for an SQLite failure, and its Oracle error number.
struct OracleError {
  int code;
  std::string text;  // "ORA-00942: table or view does not exist"
};
OracleError OracleErrorFor(int sqliteCode, const std::string& sqliteMessage);

}  // namespace olbds

#endif  // OLB_DATASTORE_ORACLE_SQL_H_
