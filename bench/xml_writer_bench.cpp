// The message XML writer against libxml2's xmlTextWriter on a job list of
// 1000 job records (the batch that job discovery dumps), with the cost of
// copying the same bytes as the floor. Also: building the records, writing
// through the file writer, and reading the document back.
#include <benchmark/benchmark.h>
#include <libxml/xmlwriter.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "host/MessageXml.h"
#include "host/Messages.h"
#include "model/MessageAccess.h"

namespace {

constexpr int kRecords = 1000;

void FillStoragePolicy(StoragePolicyEntity& sp) {
  SetField(sp, StoragePolicyEntity::entityType, 17);
  SetField(sp, StoragePolicyEntity::storagePolicyName, "DPA_dpa-prod-01_SP");
}

// One job record with the fields job discovery sets, in its order.
void FillJob(ZRC::JobInfo& job, int i) {
  const std::string hubfield = "DPA_dpa-prod-01";
  const std::string client = "client-" + std::to_string(i % 97) + ".corp.example";
  SetField(job, ZRC::JobInfo::appType, 130);
  SetField(job, ZRC::JobInfo::jobId, std::to_string(4200000 + i));
  auto* hub = Object(job, ZRC::JobInfo::hubfield);
  SetField(*hub, HubfieldEntity::hubfieldName, hubfield);
  SetField(*hub, HubfieldEntity::value3, 1);
  SetField(*hub, HubfieldEntity::entityType, 1);
  auto* sub = Object(job, ZRC::JobInfo::subclient);
  SetField(*sub, SubclientEntity::entityType, 7);
  SetField(*sub, SubclientEntity::clientName, client);
  SetField(*sub, SubclientEntity::appName, "Other External Agent");
  SetField(*sub, SubclientEntity::appType, 130);
  SetField(*sub, SubclientEntity::instanceName, "defaultInstanceName");
  SetField(*sub, SubclientEntity::backupSetName, "defaultBackupSet");
  SetField(*sub, SubclientEntity::hubfieldName, hubfield);
  SetField(*sub, SubclientEntity::subclientName, "Policy_FS_" + std::to_string(i % 13));
  SetField(*sub, SubclientEntity::value21, 1);
  auto* flags = Object(job, ZRC::JobInfo::jobFlags);
  SetField(*flags, ZRC::JobFlags::value2, 1);
  SetField(*flags, ZRC::JobFlags::kind, 4);
  SetField(*flags, ZRC::JobFlags::value3, 1);
  auto* detail = Object(*Object(job, ZRC::JobInfo::detail), ZRC::JobDetailHolder::detail);
  long long size = (static_cast<long long>(i % 5000) + 1) << 20;
  SetField(*detail, ZRC::JobDetail::backupLevel, 1 + i % 3);
  SetField(*detail, ZRC::JobDetail::status, i % 10 == 0 ? 3 : 1);
  SetField(*detail, ZRC::JobDetail::startTime, 1718000000LL + 3600LL * i);
  SetField(*detail, ZRC::JobDetail::duration, 300 + i % 7200);
  SetField(*detail, ZRC::JobDetail::kind, 4);
  SetField(*detail, ZRC::JobDetail::size, size);
  SetField(*detail, ZRC::JobDetail::dataSize, size);
  SetField(*detail, ZRC::JobDetail::elapsed, 300 + i % 7200);
  SetField(*detail, ZRC::JobDetail::fileCount, 10 + i * 37 % 100000);
  FillStoragePolicy(*Object(*detail, ZRC::JobDetail::storagePolicy));
  auto& data = Append(*Object(job, ZRC::JobInfo::dataInfo), ZRC::DataInfoList::items);
  SetField(data, ZRC::DataInfo::value2, 1);
  SetField(data, ZRC::DataInfo::kind, 4);
  SetField(data, ZRC::DataInfo::dataSize, size);
  FillStoragePolicy(*Object(data, ZRC::DataInfo::storagePolicy));
}

ZRC::JobList BuildJobList() {
  ZRC::JobList list;
  SetField(list, ZRC::JobList::flags, 0);
  SetField(list, ZRC::JobList::productKind, 16);
  auto* jobs = List(list, ZRC::JobList::jobs);
  for (int i = 0; i < kRecords; ++i) {
    jobs->emplace_back();
    FillJob(jobs->back(), i);
  }
  return list;
}

const ZRC::JobList& TheJobList() {
  static const ZRC::JobList list = BuildJobList();
  return list;
}

const std::string& OurDocument() {
  static const std::string text = [] {
    std::string out;
    WriteMessageXml(TheJobList(), out);
    return out;
  }();
  return text;
}

// The same form through libxml2's xmlTextWriter (the strings here are all
// carried by XML as they are, so no escaped encoding is needed).
void LibXmlMessage(xmlTextWriterPtr w, const CWzMessageBase& msg) {
  char num[32];
  const MessageSchemaClass* schema = FindMessageClass(msg.module(), msg.messageType());
  xmlTextWriterStartElement(w, BAD_CAST "message");
  if (schema != nullptr && schema->name != nullptr) {
    xmlTextWriterWriteAttribute(w, BAD_CAST "class", BAD_CAST schema->name);
  }
  std::snprintf(num, sizeof num, "%d", msg.module());
  xmlTextWriterWriteAttribute(w, BAD_CAST "module", BAD_CAST num);
  std::snprintf(num, sizeof num, "%d", msg.messageType());
  xmlTextWriterWriteAttribute(w, BAD_CAST "type", BAD_CAST num);
  for (const auto& f : msg.fields()) {
    xmlTextWriterStartElement(w, BAD_CAST "field");
    std::snprintf(num, sizeof num, "%d", f.number);
    xmlTextWriterWriteAttribute(w, BAD_CAST "number", BAD_CAST num);
    std::snprintf(num, sizeof num, "%d", f.type);
    xmlTextWriterWriteAttribute(w, BAD_CAST "type", BAD_CAST num);
    if (const char* name = schema != nullptr ? schema->FieldName(f.number) : nullptr) {
      xmlTextWriterWriteAttribute(w, BAD_CAST "name", BAD_CAST name);
    }
    using Kind = CWzMessageBase::Kind;
    switch (f.kind) {
      case Kind::kInt:
        xmlTextWriterWriteAttribute(w, BAD_CAST "kind", BAD_CAST "int");
        std::snprintf(num, sizeof num, "%lld", f.intValue);
        xmlTextWriterWriteString(w, BAD_CAST num);
        break;
      case Kind::kString:
        xmlTextWriterWriteAttribute(w, BAD_CAST "kind", BAD_CAST "string");
        xmlTextWriterWriteString(w, BAD_CAST f.stringValue.c_str());
        break;
      case Kind::kObject:
        xmlTextWriterWriteAttribute(w, BAD_CAST "kind", BAD_CAST "object");
        LibXmlMessage(w, *f.object);
        break;
      case Kind::kList:
        xmlTextWriterWriteAttribute(w, BAD_CAST "kind", BAD_CAST "list");
        for (size_t i = 0; i < f.list->Size(); ++i) LibXmlMessage(w, f.list->At(i));
        break;
      case Kind::kIntList:
        xmlTextWriterWriteAttribute(w, BAD_CAST "kind", BAD_CAST "intlist");
        for (int v : f.ints) {
          std::snprintf(num, sizeof num, "%d", v);
          xmlTextWriterWriteElement(w, BAD_CAST "int", BAD_CAST num);
        }
        break;
    }
    xmlTextWriterEndElement(w);
  }
  xmlTextWriterEndElement(w);
}

// Writes `msg` with libxml2 into `out`; its size.
size_t LibXmlDocument(const CWzMessageBase& msg, size_t reserve, std::string* out) {
  xmlBufferPtr buf = xmlBufferCreateSize(reserve);
  xmlTextWriterPtr w = xmlNewTextWriterMemory(buf, 0);
  xmlTextWriterSetIndent(w, 1);
  xmlTextWriterSetIndentString(w, BAD_CAST "  ");
  xmlTextWriterStartDocument(w, nullptr, "UTF-8", nullptr);
  LibXmlMessage(w, msg);
  xmlTextWriterEndDocument(w);
  xmlFreeTextWriter(w);  // flushes into buf
  size_t size = static_cast<size_t>(xmlBufferLength(buf));
  if (out != nullptr) out->assign(reinterpret_cast<const char*>(xmlBufferContent(buf)), size);
  xmlBufferFree(buf);
  return size;
}

void Report(benchmark::State& state, size_t bytes) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kRecords);
  state.counters["doc_bytes"] = static_cast<double>(bytes);
  state.counters["bytes_per_record"] = static_cast<double>(bytes) / kRecords;
}

void BM_BuildJobRecords(benchmark::State& state) {
  for (auto _ : state) {
    ZRC::JobList list = BuildJobList();
    benchmark::DoNotOptimize(list);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kRecords);
}
BENCHMARK(BM_BuildJobRecords)->Unit(benchmark::kMillisecond);

void BM_OurWriter(benchmark::State& state) {
  const ZRC::JobList& list = TheJobList();
  size_t bytes = OurDocument().size();
  for (auto _ : state) {
    std::string out;
    out.reserve(bytes + 4096);
    WriteMessageXml(list, out);
    benchmark::DoNotOptimize(out.data());
  }
  Report(state, bytes);
}
BENCHMARK(BM_OurWriter)->Unit(benchmark::kMillisecond);

void BM_OurFileWriterToDevNull(benchmark::State& state) {
  const ZRC::JobList& list = TheJobList();
  std::FILE* f = std::fopen("/dev/null", "wb");
  if (f == nullptr) {
    state.SkipWithError("cannot open /dev/null");
    return;
  }
  for (auto _ : state) {
    if (!WriteMessageXmlFile(list, f)) state.SkipWithError("write failed");
  }
  std::fclose(f);
  Report(state, OurDocument().size());
}
BENCHMARK(BM_OurFileWriterToDevNull)->Unit(benchmark::kMillisecond);

void BM_LibXml2TextWriter(benchmark::State& state) {
  const ZRC::JobList& list = TheJobList();
  // Same form: our reader must see the same message in libxml2's text.
  std::string text;
  size_t bytes = LibXmlDocument(list, OurDocument().size(), &text);
  CWzMessageBase back(0, 0);
  std::string error;
  if (!ReadMessageXml(text, back, &error) || back != list) {
    state.SkipWithError(("libxml2's document differs: " + error).c_str());
    return;
  }
  for (auto _ : state) {
    benchmark::DoNotOptimize(LibXmlDocument(list, bytes + 4096, nullptr));
  }
  Report(state, bytes);
  state.counters["same_bytes_as_ours"] = text == OurDocument() ? 1 : 0;
}
BENCHMARK(BM_LibXml2TextWriter)->Unit(benchmark::kMillisecond);

void BM_MemcpySameBytes(benchmark::State& state) {
  const std::string& text = OurDocument();
  std::string copy(text.size(), '\0');
  for (auto _ : state) {
    std::memcpy(&copy[0], text.data(), text.size());
    benchmark::DoNotOptimize(copy.data());
    benchmark::ClobberMemory();
  }
  Report(state, text.size());
}
BENCHMARK(BM_MemcpySameBytes)->Unit(benchmark::kMillisecond);

void BM_ReadBack(benchmark::State& state) {
  const std::string& text = OurDocument();
  for (auto _ : state) {
    CWzMessageBase msg(0, 0);
    std::string error;
    if (!ReadMessageXml(text, msg, &error)) state.SkipWithError(error.c_str());
    benchmark::DoNotOptimize(msg);
  }
  Report(state, text.size());
}
BENCHMARK(BM_ReadBack)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
