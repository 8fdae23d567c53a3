// olb-dpa-gen: writes a generated datastore of the size asked for.
//
//   olb-dpa-gen --out FILE --clients N --policies N --jobs N --libraries N
//               --pools N [--drives-per-library N] [--volumes-per-pool N]
//               [--policies-per-client MIN-MAX] [--unmapped-percent N]
//               [--uniform] [--seed S]
//
// Each client belongs to MIN to MAX policies (default 1-3) and its jobs are
// drawn from them; N percent of the jobs (default 1) belong to retired
// clients that map to none. --uniform spreads the jobs over random
// (policy, client) pairs instead. The same options always give the same
// content. Exit status 1 on failure,
// 2 for a wrong command line.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "datastore/Generator.h"

namespace {

const char kUsage[] =
    "usage: olb-dpa-gen --out FILE --clients N --policies N --jobs N --libraries N --pools N\n"
    "                   [--drives-per-library N] [--volumes-per-pool N]\n"
    "                   [--policies-per-client MIN-MAX] [--unmapped-percent N] [--uniform]\n"
    "                   [--seed S]\n";

bool ParseCount(const std::string& text, unsigned long long* value) {
  if (text.empty() || text[0] == '-' || text[0] == '+') return false;
  errno = 0;
  char* end = nullptr;
  *value = std::strtoull(text.c_str(), &end, 10);
  return errno == 0 && *end == '\0';
}

int Usage(const std::string& problem) {
  std::fprintf(stderr, "olb-dpa-gen: %s\n%s", problem.c_str(), kUsage);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  olbds::GeneratorOptions o;
  struct Count {
    const char* name;
    long* value;
    bool required;
    bool seen;
  } counts[] = {{"clients", &o.clients, true, false},
                {"policies", &o.policies, true, false},
                {"jobs", &o.jobs, true, false},
                {"libraries", &o.libraries, true, false},
                {"pools", &o.pools, true, false},
                {"drives-per-library", &o.drivesPerLibrary, false, false},
                {"volumes-per-pool", &o.volumesPerPool, false, false},
                {"unmapped-percent", &o.unmappedPercent, false, false}};
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::printf("%s", kUsage);
      return 0;
    }
    if (arg == "--uniform") {
      o.uniform = true;
      continue;
    }
    if (arg.compare(0, 2, "--") != 0) return Usage("unexpected argument " + arg);
    std::string name = arg.substr(2), value;
    size_t eq = name.find('=');
    if (eq != std::string::npos) {
      value = name.substr(eq + 1);
      name.resize(eq);
    } else if (i + 1 < argc) {
      value = argv[++i];
    } else {
      return Usage("--" + name + " needs a value");
    }
    unsigned long long n = 0;
    if (name == "out") {
      if (value.empty()) return Usage("--out needs a file name");
      o.out = value;
      continue;
    }
    if (name == "seed") {
      if (!ParseCount(value, &n)) return Usage("--seed needs a number, not '" + value + "'");
      o.seed = n;
      continue;
    }
    if (name == "policies-per-client") {
      size_t dash = value.find('-');
      unsigned long long most = 0;
      if (!ParseCount(value.substr(0, dash), &n) ||
          !ParseCount(dash == std::string::npos ? value : value.substr(dash + 1), &most) ||
          n > 99 || most > 99) {
        return Usage("--policies-per-client needs MIN-MAX or N, not '" + value + "'");
      }
      o.policiesPerClientMin = static_cast<long>(n);
      o.policiesPerClientMax = static_cast<long>(most);
      continue;
    }
    Count* count = nullptr;
    for (Count& c : counts) {
      if (name == c.name) count = &c;
    }
    if (count == nullptr) return Usage("unknown option --" + name);
    if (!ParseCount(value, &n) || n > 999999999ULL) {
      return Usage("--" + name + " needs a count, not '" + value + "'");
    }
    *count->value = static_cast<long>(n);
    count->seen = true;
  }
  if (o.out.empty()) return Usage("--out is missing");
  for (const Count& c : counts) {
    if (c.required && !c.seen) return Usage(std::string("--") + c.name + " is missing");
  }

  std::string error;
  if (!olbds::GenerateDatastore(o, &error)) {
    std::fprintf(stderr, "olb-dpa-gen: %s\n", error.c_str());
    return 1;
  }
  std::string spread = o.uniform ? std::string("uniform spread")
                                 : "each client in " + std::to_string(o.policiesPerClientMin) +
                                       "-" + std::to_string(o.policiesPerClientMax) + " policies";
  std::printf(
      "olb-dpa-gen: wrote %s: %ld clients, %ld policies, %ld jobs (%s, %ld%% of retired "
      "clients), %ld libraries of %ld drives, %ld pools of %ld volumes\n",
      o.out.c_str(), o.clients, o.policies, o.jobs, spread.c_str(), o.unmappedPercent,
      o.libraries, o.drivesPerLibrary, o.pools, o.volumesPerPool);
  return 0;
}
