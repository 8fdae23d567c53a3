// GenerateDatastore: writes a datastore of any size (the schema and made-up
// clients, policies, jobs, tape libraries and disk pools) in one transaction,
// for tests and benchmarks at scale. The content depends only on the options.
#ifndef OLB_DATASTORE_GENERATOR_H_
#define OLB_DATASTORE_GENERATOR_H_

#include <cstdint>
#include <string>

namespace olbds {

// The datastore schema (schema.sql), built into the program.
extern const char kSchemaSql[];

struct GeneratorOptions {
  std::string out;
  long clients = 0;
  long policies = 0;
  long jobs = 0;
  long libraries = 0;
  long pools = 0;
  long drivesPerLibrary = 4;
  long volumesPerPool = 3;
  uint64_t seed = 1;
};

// Creates options.out afresh. Every job belongs to an existing client and to
// a group that is a type-516 node; job ids are unique. False with *error set
// (and no file left) on failure or when jobs are asked for without clients or
// policies.
bool GenerateDatastore(const GeneratorOptions& options, std::string* error);

}  // namespace olbds

#endif  // OLB_DATASTORE_GENERATOR_H_
