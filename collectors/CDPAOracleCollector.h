// CDPAOracleCollector: the SQL*Plus part of the V58_ORACLE collectors. It owns
// the script file that holds the query (a private scratch path, deleted when
// the collector is destroyed) and builds the sqlplus command line that runs
// it.
#ifndef OLB_COLLECTORS_CDPA_ORACLE_COLLECTOR_H_
#define OLB_COLLECTORS_CDPA_ORACLE_COLLECTOR_H_

#include <string>

#include "handler/DBContext.h"

class CDPAOracleCollector {
 public:
  CDPAOracleCollector();
  ~CDPAOracleCollector();
  CDPAOracleCollector(const CDPAOracleCollector&) = delete;
  CDPAOracleCollector& operator=(const CDPAOracleCollector&) = delete;

  // Writes the script for `query` and returns its path; "" when the file
  // could not be written completely.
  std::string PrepareOracleScriptFile(std::string query);

  // "sqlplus -S user/password as SYSDBA @"script"" (with -S twice when
  // `silentTwice`) after writing the script for `query`; "" with a log line
  // when the script could not be written, so that FetchData fails.
  std::string BuildOracleCommandLine(const DBContext& context, const std::string& query,
                                     bool silentTwice = false);

 protected:
  std::string m_scriptFile;
};

#endif  // OLB_COLLECTORS_CDPA_ORACLE_COLLECTOR_H_
