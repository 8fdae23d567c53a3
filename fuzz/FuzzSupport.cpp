#include "fuzz/FuzzSupport.h"

#include <libxml/parser.h>
#include <libxml/xmlschemas.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "collectors/DPAClientCollector.h"
#include "collectors/DPADiskLibraryCollector.h"
#include "collectors/DPAJobCollector.h"
#include "collectors/DPALibraryCollector.h"
#include "collectors/FileUtils.h"
#include "handler/CForeignHandlerDPA.h"
#include "host/HXPlatformInfo.h"
#include "host/HostEnv.h"
#include "host/HxUtil.h"
#include "host/MessageXml.h"
#include "model/AsciiText.h"
#include "model/DPAClient.h"
#include "model/DPADiskLibrary.h"
#include "model/DPAJob.h"
#include "model/DPALibrary.h"
#include "model/MessageAccess.h"

namespace olbfuzz {
namespace {

#define CHECK(cond, what) \
  if (!(cond)) std::fprintf(stderr, "FUZZ CHECK FAILED: %s\n", what), std::abort()

// A scratch directory of this process, removed at exit: the inputs' files and
// the host's output and work directory. The log formats every line, keeps none.
const std::string& Scratch() {
  static const std::string dir = [] {
    const char* tmp = std::getenv("TMPDIR");
    std::string path = std::string(tmp != nullptr && *tmp ? tmp : "/tmp") + "/olb-fuzz-XXXXXX";
    CHECK(mkdtemp(&path[0]) != nullptr, "cannot create a scratch directory");
    HostEnv& env = HostEnv::Get();
    env.logFile = "/dev/null";
    env.debugLevel = 30;
    env.outputDir = env.workDir = path;
    std::atexit([] { RemoveTree(Scratch()); });
    return path;
  }();
  return dir;
}

// The input as the file `name` in the scratch directory.
std::string Input(const char* name, const uint8_t* data, size_t size) {
  std::string path = Scratch() + "/" + name;
  std::ofstream file(path, std::ios::binary);
  CHECK(file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size)).flush(),
        "cannot write the input file");
  return path;
}

// Written, valid against the schema (parsed once: it would cost more than
// the rest of a run; its errors are printed), and read back equal.
void CheckXml(const CWzMessageBase& msg) {
  static xmlSchema* schema = [] {
    xmlSchemaParserCtxt* parser = xmlSchemaNewParserCtxt(OLB_MESSAGE_XSD);
    xmlSchema* parsed = parser != nullptr ? xmlSchemaParse(parser) : nullptr;
    CHECK(parsed != nullptr, "cannot load the message schema");
    xmlSchemaFreeParserCtxt(parser);
    return parsed;
  }();
  std::string text, error;
  WriteMessageXml(msg, text);
  xmlDoc* doc = xmlReadMemory(text.data(), static_cast<int>(text.size()), "m.xml", nullptr,
                              XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
  CHECK(doc != nullptr, "the written message is not well-formed");
  xmlSchemaValidCtxt* validator = xmlSchemaNewValidCtxt(schema);
  const int rc = xmlSchemaValidateDoc(validator, doc);
  xmlSchemaFreeValidCtxt(validator);
  xmlFreeDoc(doc);
  CHECK(rc == 0, "the written message does not validate");
  CWzMessageBase back(0, 0);
  CHECK(ReadMessageXml(text, back, &error) && back == msg, "the message does not read back");
}

// The input parsed into clients of these names (the first the master server),
// and the message of them all.
void ParseClients(CDPACollector&& collector, const char* name, std::vector<const char*> names,
                  const uint8_t* data, size_t size) {
  CForeignHandlerDPA::SetServerName("");
  std::vector<DPAClient> clients(names.size());
  for (size_t i = 0; i < names.size(); ++i) clients[i].ClientName(names[i]);
  if (!clients.empty()) clients[0].MasterServer(true);
  CHECK(collector._ParseData(&clients, Input(name, data, size)), "a client parser failed");
  App::ClientsList list;
  for (DPAClient& client : clients) CHECK(client.BuildClientHierarchy(list), "a client failed");
  CheckXml(list);
}

// A message built from the input's bytes (0 past its end): fields set,
// replaced and retyped in any order, nested objects and lists, int lists, a
// named class's list, and copies of a message stored into itself. Each copy
// nests one level deeper: with 25 levels and 3 copies at most, the document
// stays within the 256 elements the reader takes.
struct Builder {
  const uint8_t *p, *end;
  size_t budget = 400;
  int selfCopies = 0;

  uint64_t Bits(int bytes) {  // little-endian
    uint64_t v = 0;
    for (int i = 0; i < bytes; ++i) v |= static_cast<uint64_t>(p < end ? *p++ : 0) << (8 * i);
    return v;
  }
  std::string String() {
    size_t n = Bits(1);
    n = std::min<size_t>(n == 255 ? Bits(2) % 4096 : n, end - p);  // 255: a long one
    p += n;
    return std::string(reinterpret_cast<const char*>(p - n), n);
  }
  void Build(CWzMessageBase& msg, int depth) {
    while (p < end && budget-- > 0) {
      const uint64_t op = Bits(1);
      const auto number = static_cast<short>(op & 0x80 ? Bits(2) : Bits(1) % 24);
      const auto type = static_cast<short>(Bits(1) % 8 == 0 ? Bits(2) : Bits(1));
      CWzMessageBase* child = nullptr;
      switch (op & 0x07) {
        case 0:
          msg.setint64(number, type, static_cast<long long>(Bits(8)), kWzMsgId1, kWzMsgId2);
          break;
        case 1:
          msg.setstring(number, type, String(), kWzMsgId1, kWzMsgId2);
          break;
        case 2:
          child = msg.getObjectAccessor(true, true, number, type, kWzMsgId1, kWzMsgId2,
                                        static_cast<int>(Bits(4)), static_cast<int>(Bits(4)));
          break;
        case 3:
          if (auto* list = msg.getlistobject(number, type, kWzMsgId1, kWzMsgId2, true)) {
            child = &list->emplace_back(static_cast<int>(Bits(2)), static_cast<int>(Bits(2)));
          }
          break;
        case 4:
          if (auto* ints = msg.getlistint(number, type, kWzMsgId1, kWzMsgId2, true)) {
            for (auto n = Bits(1) % 8; n > 0; --n) ints->push_back(static_cast<int>(Bits(4)));
          }
          break;
        case 5:  // a named class's list, retyped on the way
          if (auto* jobs =
                  msg.getlistobject<ZRC::JobInfo>(number, type, kWzMsgId1, kWzMsgId2, true)) {
            child = &jobs->emplace_back();
          }
          break;
        case 6:
          if (++selfCopies <= 3) msg.setObjectAccessor(&msg, number, type, kWzMsgId1, kWzMsgId2);
          break;
        default:
          return;  // back to the parent
      }
      if (child != nullptr && depth < 24) Build(*child, depth + 1);
    }
  }
};

}  // namespace

void ClientParser(const uint8_t* data, size_t size) {
  ParseClients(CDPAClientCollector(), "olb_dpa_node.txt", {"dpa-ds01"}, data, size);
}

void GroupParser(const uint8_t* data, size_t size) {
  ParseClients(CDPAGroupCollector(), "olb_dpa_group.txt",
               {"dpa-ds01", "alpha", "Alpha", "golf", "golf"}, data, size);
}

void ServerParser(const uint8_t* data, size_t size) {
  ParseClients(CDPAServerCollector(), "olb_dpa_server.txt", {}, data, size);
  ParseClients(CDPAServerCollectorV58_ORACLE(), "olb_dpa_server.txt", {}, data, size);
}

void JobParser(const uint8_t* data, size_t size) {
  auto lower = [](std::string id) {
    for (char& c : id) c = LowerAscii(c);
    return id;
  };
  CForeignHandlerDPA::media_job_map.clear();
  DPAJobInformation jobs;
  CHECK(CDPAJobCollector()._ParseData(&jobs, Input("olb_dpa_jobs.txt", data, size)),
        "the job parser failed");
  std::set<std::string> ids, listed;
  for (const auto& unit : CForeignHandlerDPA::media_job_map) {
    for (const std::string& id : unit.second) listed.insert(lower(id));
  }
  ZRC::JobList list;
  std::vector<ZRC::JobInfo>* records = List(list, ZRC::JobList::jobs);
  for (const DPAJob& job : jobs.GetJobs()) {
    CHECK(ids.insert(lower(job.Jobid())).second, "a job id is held twice");
    CHECK(listed.count(lower(job.Jobid())) == 1, "a held job is under no storage unit");
    if (records->size() == 16) continue;
    DPAClient client;
    client.addPolicy(DPAGroup());
    job.BuildJob(records, &client, &client.Policylist()[0]);
  }
  CheckXml(list);
}

void TapeLibraryParser(const uint8_t* data, size_t size) {
  DPALibraryInformation info;
  CHECK(CDPALibraryCollector()._ParseData(&info, Input("olb_dpa_libraries.txt", data, size)),
        "the tape library parser failed");
  ZRC::ForeignLibraries libraries;
  info.BuildLibraries(libraries);
  CheckXml(libraries);
}

void DiskLibraryParser(const uint8_t* data, size_t size) {
  std::vector<DPADiskLibrary> disks;
  CHECK(CDPADiskLibCollector()._ParseData(&disks, Input("olb_dpa_disklibs.txt", data, size)),
        "the disk library parser failed");
  ZRC::ForeignLibraries libraries;
  ZRC::ForeignMedias medias;
  for (size_t i = 0; i < disks.size() && i < 16; ++i) {
    disks[i].BuildDiskLib(*Object(libraries, ZRC::ForeignLibraries::libraryList));
    disks[i].BuildDiskMedia(*Object(medias, ZRC::ForeignMedias::mediaList),
                            {disks[i].Name(), disks[i].Volumeid(), ""});
  }
  CheckXml(libraries);
  CheckXml(medias);
}

// Whatever the file holds, a value found is one trimmed line without a NUL;
// DiscoverConfig reads them all.
void Registry(const uint8_t* data, size_t size) {
  HostEnv::Get().registryFile = Input("registry.ini", data, size);
  HXPlatformInfo info;
  for (const char* section : {"kRelayUnit", "~kRelayUnit", ""}) {
    for (const char* key : {"sDPAUSER", "sDPAPASSWORD", "nDPADBPORT"}) {
      std::string value;
      int number = 0;
      info.getRegInt(section, key, &number);
      if (info.getString(section, key, &value) != 0 && !value.empty()) {
        CHECK(value.find_first_of(std::string("\n\0", 2)) == std::string::npos &&
                  value.front() != ' ' && value.back() != ' ',
              "a value holds a line end or NUL, or is not trimmed");
      }
    }
  }
  CWzMessageBase config(30, 0);
  CHECK(CForeignHandlerDPA().DiscoverConfig(&config), "DiscoverConfig failed");
}

void SplitLine(const uint8_t* data, size_t size) {
  const std::string line(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> fields;
  CForeignCmdExecBase::SplitLine(line, fields, size > 0 ? line[0] : ',', '\\', 0, 0);
  // Escaped, a line is one field again.
  std::string escaped;
  for (char c : line) escaped += (c == ',' || c == '\\' ? "\\" : "") + std::string(1, c);
  CForeignCmdExecBase::SplitLine(escaped, fields, ',', '\\', 0, 0);
  CHECK(line.empty() ? fields.empty() : fields == std::vector<std::string>{line},
        "an escaped line does not split back whole");
  // The parsers keep backslashes as data: one field per comma.
  SplitOutputLine(line, fields);
  const size_t commas = static_cast<size_t>(std::count(line.begin(), line.end(), ','));
  CHECK(fields.size() == (line.empty() ? 0 : commas + 1), "wrong number of fields");
}

void XmlReader(const uint8_t* data, size_t size) {
  CWzMessageBase msg(0, 0);
  std::string error;
  if (ReadMessageXml(std::string(reinterpret_cast<const char*>(data), size), msg, &error)) {
    CheckXml(msg);
  }
}

void XmlRoundTrip(const uint8_t* data, size_t size) {
  Builder in{data, data + size};
  CWzMessageBase msg(static_cast<int>(in.Bits(4)), static_cast<int>(in.Bits(4)));
  in.Build(msg, 0);
  CheckXml(msg);
}

}  // namespace olbfuzz
