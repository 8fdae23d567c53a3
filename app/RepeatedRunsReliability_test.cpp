// All five operations run again and again in one process, on one handler,
// against the demo datastore: every run writes the same files (names differ
// by their sequence number only) with the same contents, leaves no script
// behind, and the resident size stays flat once the first runs have warmed
// the allocator up. Under AddressSanitizer the resident size grows with its
// quarantine of freed memory, so there only the files are compared and
// leaks are LeakSanitizer's to find.
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "app/ReliabilityTestUtil.h"
#include "host/HostEnv.h"

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif
#else
constexpr bool kAddressSanitizer = false;
#endif

constexpr int kRuns = 100;
// Runs before the resident size is taken as the base.
constexpr int kWarmUpRuns = 5;
// Growth allowed after them: the allocator's caches and the debug log's
// buffers, not a copy of the data per run (the demo run's messages alone
// take about 2 MB).
constexpr long kRssToleranceKb = 4096;

// "0007-ZRC.JobList.xml" -> "ZRC.JobList.xml", with the number of the file
// among those of its class, as one run writes them.
std::map<std::string, std::string> FilesOfRun(const std::string& dir) {
  std::map<std::string, std::string> files;
  std::map<std::string, int> perClass;
  for (const std::string& name : olbtest::ListDir(dir)) {
    if (!olbrel::EndsWith(name, ".xml")) continue;
    size_t dash = name.find('-');
    std::string cls = dash == std::string::npos ? name : name.substr(dash + 1);
    files[cls + "#" + std::to_string(perClass[cls]++)] = olbtest::ReadFile(dir + "/" + name);
  }
  return files;
}

class RepeatedRunsTest : public olbtest::HostFixture {};

TEST_F(RepeatedRunsTest, EveryRunWritesTheSameFilesAndMemoryStaysFlat) {
  SetRegistry(olbrel::DemoRegistry());
  UseDatastore({olbtest::DemoSqlPath()});
  HostEnv& env = HostEnv::Get();

  CForeignHandlerDPA handler;
  std::map<std::string, std::string> first;
  long baseKb = -1;
  long peakKb = 0;
  for (int run = 0; run < kRuns; ++run) {
    std::string out = OutDir() + "/run-" + std::to_string(run);
    ASSERT_EQ(0, mkdir(out.c_str(), 0700));
    env.outputDir = out;
    std::vector<olbrel::OperationResult> results = olbrel::RunAllOperations(handler);
    for (const olbrel::OperationResult& r : results) {
      ASSERT_TRUE(r.ok) << "run " << run << ": " << olbrel::Describe(results);
    }

    std::map<std::string, std::string> files = FilesOfRun(out);
    if (run == 0) {
      first = files;
      ASSERT_EQ(5u, first.size());
    } else {
      ASSERT_EQ(first.size(), files.size()) << "run " << run;
      for (const auto& f : first) {
        auto it = files.find(f.first);
        ASSERT_NE(files.end(), it) << "run " << run << " lacks " << f.first;
        ASSERT_TRUE(it->second == f.second) << "run " << run << ": " << f.first << " differs";
      }
    }
    // Scripts go with their operation.
    std::vector<std::string> work;
    olbrel::FindFiles(WorkDir(), &work);
    for (const std::string& path : work) ASSERT_FALSE(olbrel::EndsWith(path, ".sql")) << path;
    // Each run's files are compared; keep the disk use of the test small.
    if (run > 0) {
      for (const std::string& name : olbtest::ListDir(out)) unlink((out + "/" + name).c_str());
      rmdir(out.c_str());
    }

    long kb = olbrel::ResidentKb();
    if (run + 1 == kWarmUpRuns) baseKb = kb;
    if (run + 1 > kWarmUpRuns && kb > peakKb) peakKb = kb;
  }
  ASSERT_GT(baseKb, 0);
  std::printf("%d runs: resident %ld kB after %d runs, at most %ld kB after that\n", kRuns,
              baseKb, kWarmUpRuns, peakKb);
  RecordProperty("runs", kRuns);
  RecordProperty("rss_kb_after_warm_up", static_cast<int>(baseKb));
  RecordProperty("rss_kb_peak_after", static_cast<int>(peakKb));
  if (!kAddressSanitizer) {
    EXPECT_LE(peakKb - baseKb, kRssToleranceKb)
        << "resident size grew from " << baseKb << " kB to " << peakKb << " kB";
  }
}

}  // namespace
