// GenerateDatastore: writes a datastore of any size (the schema and made-up
// clients, policies, jobs, tape libraries and disk pools) in one transaction,
// for tests and benchmarks at scale. The content depends only on the options.
//
// As in a real environment, each client belongs to a few policies and backs
// up through one media server, and its jobs are drawn from those
// memberships, so the distinct (policy, client) pairs number a few per
// client. A share of the jobs belongs to retired clients: their history is
// kept but they are no client node any more, so those jobs map to no client.
// The uniform spread instead gives every job a random policy, client, media
// server and storage unit: nearly every job is a pair of its own.
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
  long policiesPerClientMin = 1;
  long policiesPerClientMax = 3;
  long unmappedPercent = 1;  // jobs of retired clients
  bool uniform = false;
  uint64_t seed = 1;
};

// Creates options.out afresh. Every job belongs to a group that is a
// type-516 node with a group configuration; its client is a client node
// unless it is one of the retired ones. Job ids are unique. False with
// *error set (and no file left) on failure or when jobs are asked for without
// clients or policies.
bool GenerateDatastore(const GeneratorOptions& options, std::string* error);

}  // namespace olbds

#endif  // OLB_DATASTORE_GENERATOR_H_
