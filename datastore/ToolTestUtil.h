// Helpers for the datastore tests: running the datastore tools and the
// sqlplus stand-in through the shell, standard output and error kept apart.
#ifndef OLB_DATASTORE_TOOL_TEST_UTIL_H_
#define OLB_DATASTORE_TOOL_TEST_UTIL_H_

#include <string>

#include "testsupport/TestSupport.h"

namespace olbdstest {

inline std::string Sh(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

struct Result {
  int status = -1;
  std::string out, err;
};

// Runs `command` through /bin/sh with standard input from /dev/null.
inline Result Shell(const olbtest::TempDir& dir, const std::string& command) {
  Result r;
  std::string errFile = dir.file("stderr.txt");
  r.status = olbtest::RunShell("{ " + command + " </dev/null 2>" + Sh(errFile) + "; }", &r.out);
  r.err = olbtest::ReadFile(errFile);
  return r;
}

// Runs the stand-in on `db` (empty: OLB_DPA_DATASTORE unset) with `args`,
// given as shell words.
inline Result RunSqlPlus(const olbtest::TempDir& dir, const std::string& db,
                         const std::string& args) {
  std::string env = db.empty() ? "env -u OLB_DPA_DATASTORE " : "OLB_DPA_DATASTORE=" + Sh(db) + " ";
  return Shell(dir, env + Sh(olbtest::StandInBinDir() + "/sqlplus") + " " + args);
}

// The script the plug-in writes for `query`; `settings` (SET lines) may
// follow the plug-in's own.
inline std::string PluginScript(const std::string& query, const std::string& settings = "") {
  return "set colsep , \nset trimspool on \nset heading off \nset echo off \nset linesize 32767 "
         "\n" +
         settings + query + ";\nexit\n";
}

}  // namespace olbdstest

#endif  // OLB_DATASTORE_TOOL_TEST_UTIL_H_
