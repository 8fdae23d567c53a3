// All five operations run 100 times in one process, on one handler, against
// the demo datastore: every run writes the same files (names differ by their
// sequence number only) with the same contents, leaves no script behind, and
// the resident size stays flat once the first runs have warmed the allocator
// up. Under AddressSanitizer the resident size grows with its quarantine of
// freed memory, so there only the files are compared and leaks are
// LeakSanitizer's to find.
#include <cstdio>
#include <map>
#include <string>

#include "app/ReliabilityTestUtil.h"
#include "host/HostEnv.h"

namespace {

#ifndef __has_feature
#define __has_feature(x) 0
#endif
#if defined(__SANITIZE_ADDRESS__) || __has_feature(address_sanitizer)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif

// "0007-ZRC.JobList.xml" -> "ZRC.JobList.xml#0" (its number among the files
// of its class) -> content.
std::map<std::string, std::string> FilesOfRun(const std::string& dir) {
  std::map<std::string, std::string> files;
  std::map<std::string, int> perClass;
  for (const std::string& name : olbtest::ListDir(dir)) {
    std::string cls = name.substr(name.find('-') + 1);
    files[cls + "#" + std::to_string(perClass[cls]++)] = olbtest::ReadFile(dir + "/" + name);
  }
  return files;
}

// Resident size of this process in kB (VmRSS).
long ResidentKb() {
  std::string status = olbtest::ReadFile("/proc/self/status");
  size_t at = status.find("VmRSS:");
  return at == std::string::npos ? -1 : std::strtol(status.c_str() + at + 6, nullptr, 10);
}

class RepeatedRunsTest : public olbtest::HostFixture {};

TEST_F(RepeatedRunsTest, EveryRunWritesTheSameFilesAndMemoryStaysFlat) {
  SetRegistry(olbrel::DemoRegistry());
  UseDatastore({olbtest::DemoSqlPath()});
  const int kRuns = 100, kWarmUpRuns = 5;
  // Growth allowed after the warm-up: the allocator's caches and the debug
  // log's buffers, not a copy of the data per run (the demo run's messages
  // alone take about 2 MB).
  const long kRssToleranceKb = 4096;

  CForeignHandlerDPA handler;
  std::map<std::string, std::string> first;
  long baseKb = -1, peakKb = 0;
  for (int run = 0; run < kRuns; ++run) {
    std::string out = OutDir() + "/run-" + std::to_string(run);
    ASSERT_EQ(0, mkdir(out.c_str(), 0700));
    HostEnv::Get().outputDir = out;
    ASSERT_EQ("", olbrel::RunAllOperations(handler)) << "failed in run " << run;
    std::map<std::string, std::string> files = FilesOfRun(out);
    if (run == 0) {
      first = files;
      ASSERT_EQ(5u, first.size());
    } else {
      ASSERT_TRUE(files == first) << "run " << run << " wrote other files";
      // Keep the test's disk use small.
      for (const std::string& name : olbtest::ListDir(out)) unlink((out + "/" + name).c_str());
      rmdir(out.c_str());
    }
    ASSERT_EQ(std::vector<std::string>{}, olbrel::Files(WorkDir(), ".sql")) << "run " << run;
    long kb = ResidentKb();
    if (run + 1 == kWarmUpRuns) baseKb = kb;
    if (run + 1 > kWarmUpRuns && kb > peakKb) peakKb = kb;
  }
  ASSERT_GT(baseKb, 0);
  std::printf("%d runs: resident %ld kB after %d runs, at most %ld kB after that\n", kRuns,
              baseKb, kWarmUpRuns, peakKb);
  if (!kAddressSanitizer) {
    EXPECT_LE(peakKb - baseKb, kRssToleranceKb)
        << "resident size grew from " << baseKb << " kB to " << peakKb << " kB";
  }
}

}  // namespace
