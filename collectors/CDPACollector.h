// CDPACollector: what the six base collectors share on top of the host's
// CForeignCmdExecBase: their own copy of the connection settings and the
// query slot. Also the psql command lines of the PostgreSQL variants.
//
// A collector family is then a few lines: the base collector names its
// output file, query and parser; its _PG variant builds a psql command line;
// its V58_ORACLE variant also derives from CDPAOracleCollector and builds a
// SQL*Plus command line.
#ifndef OLB_COLLECTORS_CDPA_COLLECTOR_H_
#define OLB_COLLECTORS_CDPA_COLLECTOR_H_

#include <string>

#include "handler/DBContext.h"
#include "host/ForeignCmdExecBase.h"

class CDPACollector : public CForeignCmdExecBase {
 public:
  CDPACollector() : CForeignCmdExecBase(1) {}

  // Copies the settings; later changes to the handler's do not reach this
  // collector.
  void setDBContext(DBContext& context) { m_dbContext = context; }

  virtual std::string GetQuery() = 0;

 protected:
  DBContext m_dbContext;
};

// psql command line of the server, client and group variants: executable,
// user and port from the settings, no database.
std::string BuildPsqlCommandLine(const DBContext& context, const std::string& query);

// psql command line of the disk library and job variants: psql.exe, user
// dpa, database apollo and port 9003; only the install directory is taken
// from the settings.
std::string BuildFixedPsqlCommandLine(const DBContext& context, const std::string& query);

#endif  // OLB_COLLECTORS_CDPA_COLLECTOR_H_
