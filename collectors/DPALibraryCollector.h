// CDPALibraryCollector: reads the tape devices of the DPA datastore (one row
// per drive, with its jukebox and controlling host) into a
// DPALibraryInformation. Media discovery runs the SQL*Plus variant
// CDPALibraryCollectorV58_ORACLE; there is no psql variant.
#ifndef OLB_COLLECTORS_DPA_LIBRARY_COLLECTOR_H_
#define OLB_COLLECTORS_DPA_LIBRARY_COLLECTOR_H_

#include <string>
#include <vector>

#include "collectors/CDPACollector.h"
#include "collectors/CDPAOracleCollector.h"

class CDPALibraryCollector : public CDPACollector {
 public:
  using CForeignCmdExecBase::_ParseData;

  // Empty: only the SQL*Plus variant runs a tool.
  std::string _GetCommandLine() override;
  // Fills the DPALibraryInformation behind `ctx`, one drive per row of six
  // or more fields; always true for a container (an unreadable file reads as
  // empty).
  bool _ParseData(void* ctx, const std::string& fileName) override;
  const char* _GetFileNameForData() const override;
  std::string GetQuery() override;
};

class CDPALibraryCollectorV58_ORACLE : public CDPALibraryCollector, public CDPAOracleCollector {
 public:
  std::string _GetCommandLine() override;
  std::string GetQuery() override;
};

#endif  // OLB_COLLECTORS_DPA_LIBRARY_COLLECTOR_H_
