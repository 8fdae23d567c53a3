// CDPADiskLibCollector: reads the disk pool volumes of the DPA datastore (one
// row per volume) into a vector of DPADiskLibrary, in the tool's output
// order. Media discovery runs the SQL*Plus variant
// CDPADiskLibCollectorV58_ORACLE; the psql variant CDPADiskLibCollector_PG
// is complete but unused.
#ifndef OLB_COLLECTORS_DPA_DISK_LIBRARY_COLLECTOR_H_
#define OLB_COLLECTORS_DPA_DISK_LIBRARY_COLLECTOR_H_

#include <string>

#include "collectors/CDPACollector.h"
#include "collectors/CDPAOracleCollector.h"

class CDPADiskLibCollector : public CDPACollector {
 public:
  using CForeignCmdExecBase::_ParseData;

  // The bare query text.
  std::string _GetCommandLine() override;
  // Appends one DPADiskLibrary per row of four or more fields to the vector
  // behind `ctx`; always true for a container (an unreadable file reads as
  // empty).
  bool _ParseData(void* ctx, const std::string& fileName) override;
  const char* _GetFileNameForData() const override;
  std::string GetQuery() override;
};

class CDPADiskLibCollector_PG : public CDPADiskLibCollector {
 public:
  std::string _GetCommandLine() override;
  std::string GetQuery() override;
};

class CDPADiskLibCollectorV58_ORACLE : public CDPADiskLibCollector, CDPAOracleCollector {
 public:
  std::string _GetCommandLine() override;
  std::string GetQuery() override;
};

#endif  // OLB_COLLECTORS_DPA_DISK_LIBRARY_COLLECTOR_H_
