// Job discovery at scale: the job parser alone, and the whole DiscoverJobs
// from a finished tool output, on 10 thousand, 100 thousand and 1 million
// generated job lines.
//
// Figures: lines or jobs per second (items_per_second), XML bytes written per
// second (bytes_per_second, the sizes of the dumped job lists) and the peak
// resident memory of the run in MB (peak_MB; the peak is reset before each
// DiscoverJobs case). Rates are per CPU second of this process; the wall
// time ("Time") also holds the tool run and the waits for the disk, since
// every dumped file is synced. Scratch files lie under TMPDIR
// (TMPDIR=/dev/shm keeps the disk out of the figures).
#include <benchmark/benchmark.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <string>

#include "collectors/DPAJobCollector.h"
#include "handler/CForeignHandlerDPA.h"
#include "host/HostEnv.h"
#include "model/DPAJob.h"
#include "testsupport/TestSupport.h"

namespace {

constexpr int kClients = 1000;
constexpr int kPoliciesPerClient = 10;

// Removed with everything in it when the program ends.
olbtest::TempDir& Scratch() {
  static olbtest::TempDir dir;
  return dir;
}

// Writes (once per size) `lines` job lines as SQL*Plus prints them, each job
// on one of kClients clients and one of their policies; returns the path.
const std::string& JobFile(int lines) {
  static std::map<int, std::string> files;
  auto it = files.find(lines);
  if (it != files.end()) return it->second;
  std::string path = Scratch().file("jobs-" + std::to_string(lines) + ".txt");
  std::FILE* f = std::fopen(path.c_str(), "w");
  const char* levels[] = {"Full", "Cumulative Incr", "Differential Incr"};
  for (int i = 0; i < lines; ++i) {
    int client = i % kClients;
    int policy = (i / kClients) % kPoliciesPerClient;
    std::fprintf(f, "policy_%02d,client%04d.example.com,%d,%d,%d,stu_%02d,%s,%lld,%d,%s\n", policy,
                 client, i % 5000, 100000000 + i, i % 20000, i % 16, i % 17 ? "success" : "failed",
                 1700000000LL + i, 30 + i % 7200, levels[i % 3]);
  }
  std::fclose(f);
  return files[lines] = path;
}

void QuietHost() {
  HostEnv& env = HostEnv::Get();
  env.debugLevel = 1;
  env.logFile = Scratch().file("debug.log");
  mkdir(Scratch().file("work").c_str(), 0700);
  env.workDir = Scratch().file("work");
}

// Peak resident set (VmHWM) in MB; ResetPeak starts it again from now.
double PeakMB() {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::strtod(line.c_str() + 6, nullptr) / 1024.0;
  }
  return 0;
}

void ResetPeak() {
  std::ofstream out("/proc/self/clear_refs");
  out << "5";
}

void BM_ParseJobs(benchmark::State& state) {
  QuietHost();
  const int lines = static_cast<int>(state.range(0));
  const std::string& path = JobFile(lines);
  for (auto _ : state) {
    CForeignHandlerDPA::media_job_map.clear();
    DPAJobInformation jobs;
    CDPAJobCollector collector;
    collector._ParseData(&jobs, path);
    benchmark::DoNotOptimize(jobs.GetJobCount());
    if (jobs.GetJobCount() != static_cast<size_t>(lines)) state.SkipWithError("jobs lost");
  }
  CForeignHandlerDPA::media_job_map.clear();
  state.SetItemsProcessed(state.iterations() * lines);
}

void BM_DiscoverJobs(benchmark::State& state) {
  QuietHost();
  const int lines = static_cast<int>(state.range(0));
  const std::string& path = JobFile(lines);
  std::string out = Scratch().file("out");
  mkdir(out.c_str(), 0700);
  HostEnv::Get().outputDir = out;
  // The tool: a script that prints the finished output.
  std::string bin = Scratch().file("bin");
  mkdir(bin.c_str(), 0700);
  std::string tool = bin + "/sqlplus";
  {
    std::ofstream script(tool);
    script << "#!/bin/sh\nexec cat '" << path << "'\n";
  }
  chmod(tool.c_str(), 0700);
  std::string oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
  setenv("PATH", (bin + ":" + oldPath).c_str(), 1);

  CForeignHandlerDPA::SetServerName("dpa-server.example.com");
  CForeignHandlerDPA handler;
  for (int c = 0; c < kClients; ++c) {
    char name[64];
    std::snprintf(name, sizeof name, "CLIENT%04d.example.com", c);
    DPAClient client;
    client.ClientName(name);
    for (int p = 0; p < kPoliciesPerClient; ++p) {
      std::snprintf(name, sizeof name, "Policy_%02d", p);
      DPAGroup group;
      group.PolicyName(name);
      client.addPolicy(group);
    }
    handler.m_clients.push_back(client);
  }

  // Each job list is counted and removed as soon as it is written, as a
  // host that takes the files over would, so that a million jobs do not
  // leave gigabytes behind.
  long long xmlBytes = 0;
  size_t seen = 0;
  auto collect = [&]() {
    for (; seen < handler.dumpedFiles().size(); ++seen) {
      struct stat st;
      if (stat(handler.dumpedFiles()[seen].c_str(), &st) == 0) xmlBytes += st.st_size;
      unlink(handler.dumpedFiles()[seen].c_str());
    }
  };
  long long records = 0;
  HostEnv::Get().logSink = [&](const LogRecord& r) {
    if (r.text.find("jobs dumped -> clearing the list") == std::string::npos) return;
    records += std::strtoll(r.text.c_str() + 1, nullptr, 10);
    collect();
  };

  ResetPeak();
  for (auto _ : state) {
    if (!handler.DiscoverJobs(nullptr)) state.SkipWithError("DiscoverJobs failed");
  }
  if (records != state.iterations() * lines) state.SkipWithError("not every job was written");
  HostEnv::Get().logSink = nullptr;
  collect();
  state.counters["peak_MB"] = PeakMB();
  state.SetItemsProcessed(state.iterations() * lines);
  state.SetBytesProcessed(xmlBytes);
  CForeignHandlerDPA::media_job_map.clear();
  CForeignHandlerDPA::SetServerName("");
  setenv("PATH", oldPath.c_str(), 1);
}

BENCHMARK(BM_ParseJobs)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DiscoverJobs)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DiscoverJobs)->Arg(1000000)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
