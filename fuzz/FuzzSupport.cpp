#include "fuzz/FuzzSupport.h"

#include <libxml/parser.h>
#include <libxml/xmlschemas.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
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
  if (!(cond)) Fail(what)

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "FUZZ CHECK FAILED: %s\n", what);
  std::abort();
}

pid_t g_owner = 0;

// A scratch directory of this process, removed at exit, holding the host's
// output and work directories; the log formats every line and keeps none.
const std::string& Scratch() {
  static const std::string dir = [] {
    const char* tmp = std::getenv("TMPDIR");
    std::string path = std::string(tmp != nullptr && *tmp ? tmp : "/tmp") + "/olb-fuzz-XXXXXX";
    if (mkdtemp(&path[0]) == nullptr) Fail("cannot create a scratch directory");
    mkdir((path + "/out").c_str(), 0700);
    mkdir((path + "/work").c_str(), 0700);
    HostEnv& env = HostEnv::Get();
    env.logFile = "/dev/null";
    env.debugLevel = 30;
    env.outputDir = path + "/out";
    env.workDir = path + "/work";
    g_owner = getpid();
    std::atexit([] {
      if (getpid() == g_owner) RemoveTree(Scratch());
    });
    return path;
  }();
  return dir;
}

// The input as the file `name` in the scratch directory.
std::string Input(const char* name, const uint8_t* data, size_t size) {
  std::string path = Scratch() + "/" + name;
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr || (size > 0 && std::fwrite(data, 1, size, f) != size) || std::fclose(f) != 0) {
    Fail("cannot write the input file");
  }
  return path;
}

std::string Lower(std::string text) {
  for (char& c : text) c = LowerAscii(c);
  return text;
}

size_t Lines(const uint8_t* data, size_t size) {
  size_t n = 1;
  for (size_t i = 0; i < size; ++i) n += data[i] == '\n';
  return n;
}

void IgnoreError(void*, const char*, ...) {}

// Written, valid against the schema (parsed once: it would cost more than
// the rest of a run), and read back equal.
void CheckXml(const CWzMessageBase& msg) {
  static xmlSchema* schema = [] {
    xmlSchemaParserCtxt* parser = xmlSchemaNewParserCtxt(OLB_MESSAGE_XSD);
    xmlSchema* parsed = parser != nullptr ? xmlSchemaParse(parser) : nullptr;
    if (parsed == nullptr) Fail("cannot load the message schema");
    xmlSchemaFreeParserCtxt(parser);
    return parsed;
  }();
  std::string text, error;
  WriteMessageXml(msg, text);
  xmlDoc* doc = xmlReadMemory(text.data(), static_cast<int>(text.size()), "m.xml", nullptr,
                              XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
  CHECK(doc != nullptr, "the written message is not well-formed");
  xmlSchemaValidCtxt* validator = xmlSchemaNewValidCtxt(schema);
  xmlSchemaSetValidErrors(validator, IgnoreError, IgnoreError, nullptr);
  const int rc = xmlSchemaValidateDoc(validator, doc);
  xmlSchemaFreeValidCtxt(validator);
  xmlFreeDoc(doc);
  CHECK(rc == 0, "the written message does not validate");
  CWzMessageBase back(0, 0);
  CHECK(ReadMessageXml(text, back, &error) && back == msg, "the message does not read back");
}

void CheckClients(std::vector<DPAClient>& clients) {
  App::ClientsList list;
  for (DPAClient& client : clients) CHECK(client.BuildClientHierarchy(list), "a client failed");
  CheckXml(list);
}

// Bytes off the front of an input; missing bytes read as 0.
struct Bytes {
  const uint8_t* p;
  const uint8_t* end;
  uint8_t Byte() { return p < end ? *p++ : 0; }
  uint64_t Bits(int n) {
    uint64_t v = 0;
    for (int i = 0; i < n; ++i) v |= static_cast<uint64_t>(Byte()) << (8 * i);
    return v;
  }
  std::string String() {
    size_t n = Byte();
    if (n == 255) n = Bits(2) % 4096;  // now and then a long one
    n = std::min(n, static_cast<size_t>(end - p));
    p += n;
    return std::string(reinterpret_cast<const char*>(p - n), n);
  }
};

// Fields set, replaced and retyped in any order, nested objects and lists,
// copies of the message stored into itself.
void Build(Bytes& in, CWzMessageBase& msg, int depth, size_t& budget, int& selfCopies) {
  while (in.p < in.end && budget-- > 0) {
    const uint8_t op = in.Byte();
    const short number = static_cast<short>(op & 0x80 ? in.Bits(2) : in.Byte() % 24);
    const short type = static_cast<short>(in.Byte() % 8 == 0 ? in.Bits(2) : in.Byte());
    CWzMessageBase* child = nullptr;
    switch (op & 0x07) {
      case 0:
        msg.setint64(number, type, static_cast<long long>(in.Bits(8)), kWzMsgId1, kWzMsgId2);
        break;
      case 1:
        msg.setstring(number, type, in.String(), kWzMsgId1, kWzMsgId2);
        break;
      case 2:
        child = msg.getObjectAccessor(true, true, number, type, kWzMsgId1, kWzMsgId2,
                                      static_cast<int>(in.Bits(4)), static_cast<int>(in.Bits(4)));
        break;
      case 3:
        if (auto* list =
                msg.getlistobject<CWzMessageBase>(number, type, kWzMsgId1, kWzMsgId2, true)) {
          list->emplace_back(static_cast<int>(in.Bits(2)), static_cast<int>(in.Bits(2)));
          child = &list->back();
        }
        break;
      case 4:
        if (auto* ints = msg.getlistint(number, type, kWzMsgId1, kWzMsgId2, true)) {
          for (int n = in.Byte() % 8; n > 0; --n) ints->push_back(static_cast<int>(in.Bits(4)));
        }
        break;
      case 5:  // a named class's list, retyped on the way
        if (auto* jobs =
                msg.getlistobject<ZRC::JobInfo>(number, type, kWzMsgId1, kWzMsgId2, true)) {
          child = &jobs->emplace_back();
        }
        break;
      case 6:
        if (++selfCopies <= 3) {  // each doubles the message
          CWzMessageBase copy = msg;
          msg.setObjectAccessor(&copy, number, type, kWzMsgId1, kWzMsgId2);
        }
        break;
      default:
        return;  // back to the parent
    }
    // The reader refuses documents nested past 256 elements.
    if (child != nullptr && depth < 24) Build(in, *child, depth + 1, budget, selfCopies);
  }
}

int Depth(const CWzMessageBase& msg) {
  int deepest = 0;
  for (const CWzMessageBase::Field& f : msg.fields()) {
    if (f.kind == CWzMessageBase::Kind::kObject && f.object) {
      deepest = std::max(deepest, Depth(*f.object));
    }
    bool list = f.kind == CWzMessageBase::Kind::kList && f.list;
    for (size_t i = 0; list && i < f.list->Size(); ++i) {
      deepest = std::max(deepest, Depth(f.list->At(i)));
    }
  }
  return deepest + 1;
}

}  // namespace

void ClientParser(const uint8_t* data, size_t size) {
  std::vector<DPAClient> clients(1);
  clients[0].ClientName("dpa-ds01");
  clients[0].MasterServer(true);
  CHECK(CDPAClientCollector()._ParseData(&clients, Input("olb_dpa_node.txt", data, size)),
        "the client parser failed");
  CHECK(clients.size() <= Lines(data, size) + 1, "more clients than lines");
  for (size_t i = 1; i < clients.size(); ++i) {
    CHECK(!clients[i].MasterServer() && clients[i].Policylist().empty(), "a client is no client");
  }
  CheckClients(clients);
}

void GroupParser(const uint8_t* data, size_t size) {
  std::vector<DPAClient> clients(5);
  const char* const names[] = {"dpa-ds01", "alpha", "Alpha", "golf", "golf"};
  for (size_t i = 0; i < clients.size(); ++i) clients[i].ClientName(names[i]);
  CHECK(CDPAGroupCollector()._ParseData(&clients, Input("olb_dpa_group.txt", data, size)),
        "the group parser failed");
  CHECK(clients.size() == 5 && clients[4].Policylist().empty(), "a group went astray");
  size_t groups = 0;
  for (DPAClient& client : clients) groups += client.Policylist().size();
  CHECK(groups <= Lines(data, size), "more groups than lines");
  CheckClients(clients);
}

void ServerParser(const uint8_t* data, size_t size) {
  const std::string path = Input("olb_dpa_server.txt", data, size);
  for (bool generic : {false, true}) {
    CForeignHandlerDPA::SetServerName("");
    std::vector<DPAClient> clients;
    CHECK(generic ? CDPAServerCollector()._ParseData(&clients, path)
                  : CDPAServerCollectorV58_ORACLE()._ParseData(&clients, path),
          "a server parser failed");
    CHECK(clients.size() <= 1, "more than one server");
    if (clients.empty()) continue;
    CHECK(clients[0].MasterServer(), "the server entry is not the master server");
    CHECK(clients[0].ClientName() == CForeignHandlerDPA::GetServerName(), "no server name");
    CHECK(!generic || clients[0].ClientName().find(':') == std::string::npos, "a ':' in the name");
    CheckClients(clients);
  }
}

void JobParser(const uint8_t* data, size_t size) {
  CForeignHandlerDPA::media_job_map.clear();
  DPAJobInformation jobs;
  CHECK(CDPAJobCollector()._ParseData(&jobs, Input("olb_dpa_jobs.txt", data, size)),
        "the job parser failed");
  std::set<std::string> ids, listed;
  for (const auto& unit : CForeignHandlerDPA::media_job_map) {
    for (const std::string& id : unit.second) listed.insert(Lower(id));
  }
  CForeignHandlerDPA::media_job_map.clear();
  ZRC::JobList list;
  std::vector<ZRC::JobInfo>* records = List(list, ZRC::JobList::jobs);
  for (const DPAJob& job : jobs.GetJobs()) {
    CHECK(ids.insert(Lower(job.Jobid())).second, "a job id is held twice");
    CHECK(listed.count(Lower(job.Jobid())) == 1, "a held job is under no storage unit");
    if (records->size() == 16) continue;
    DPAClient client;
    DPAGroup group;
    client.addPolicy(group);
    job.BuildJob(records, &client, &client.Policylist()[0]);
  }
  CheckXml(list);
}

void TapeLibraryParser(const uint8_t* data, size_t size) {
  DPALibraryInformation info;
  CHECK(CDPALibraryCollector()._ParseData(&info, Input("olb_dpa_libraries.txt", data, size)),
        "the tape library parser failed");
  CHECK(info.getSize() <= Lines(data, size), "more libraries than rows");
  ZRC::ForeignLibraries libraries;
  info.BuildLibraries(libraries);
  CheckXml(libraries);
}

void DiskLibraryParser(const uint8_t* data, size_t size) {
  std::vector<DPADiskLibrary> disks;
  CHECK(CDPADiskLibCollector()._ParseData(&disks, Input("olb_dpa_disklibs.txt", data, size)),
        "the disk library parser failed");
  CHECK(disks.size() <= Lines(data, size), "more disk libraries than rows");
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

void Registry(const uint8_t* data, size_t size) {
  Scratch();
  HostEnv::Get().registryFile = Input("registry.ini", data, size);
  HXPlatformInfo info;
  for (const char* section : {"kRelayUnit", "~kRelayUnit", ""}) {
    for (const char* key : {"sDPAUSER", "sDPAPASSWORD", "nDPADBPORT"}) {
      std::string value = "unchanged";
      if (info.getString(section, key, &value) == 0) {
        CHECK(value == "unchanged", "a key not found changed the value");
      } else if (!value.empty()) {
        CHECK(value.find_first_of(std::string("\n\0", 2)) == std::string::npos &&
                  value.front() != ' ' && value.back() != ' ',
              "a value holds a line end or NUL, or is not trimmed");
      }
      int number = 12345;
      if (info.getRegInt(section, key, &number)) {
        CHECK(std::strtoll(value.c_str(), nullptr, 10) == number, "an integer is not its text");
      } else {
        CHECK(number == 12345, "an integer not found changed the value");
      }
    }
  }
  CWzMessageBase config(30, 0);
  CHECK(CForeignHandlerDPA().DiscoverConfig(&config), "DiscoverConfig failed");
  const std::vector<int>* flags = config.getlistint(20, 62, kWzMsgId1, kWzMsgId2, false);
  CHECK(flags != nullptr && *flags == std::vector<int>({1, 2, 3, 4, 5}), "no 1 to 5 appended");
}

void SplitLine(const uint8_t* data, size_t size) {
  const std::string line(reinterpret_cast<const char*>(data), size);
  // Without an escape, a line splits exactly at its separators.
  const char separator = size > 0 ? static_cast<char>(data[0]) : ',';
  std::vector<std::string> fields = {"left", "over"}, output;
  const std::string plain = line.find('\\') == std::string::npos ? line : "";
  CForeignCmdExecBase::SplitLine(plain, fields, separator, '\\', 0, 0);
  std::string joined;
  for (size_t i = 0; i < fields.size(); ++i) {
    joined += (i > 0 ? std::string(1, separator) : std::string()) + fields[i];
  }
  CHECK(joined == plain && (plain.empty() || !fields.empty()), "a plain line does not split back");
  // Escaped and joined, the fields split back into the same fields.
  std::vector<std::string> again;
  CForeignCmdExecBase::SplitLine(line, fields, ',', '\\', 0, 0);
  joined.clear();
  for (size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) joined += ',';
    for (char c : fields[i]) {
      if (c == ',' || c == '\\') joined += '\\';
      joined += c;
    }
  }
  CForeignCmdExecBase::SplitLine(joined, again, ',', '\\', 0, 0);
  CHECK(joined.empty() || again == fields, "escaped fields do not split back");
  // The parsers keep backslashes as data: one field per comma.
  SplitOutputLine(line, output);
  size_t commas = 0;
  for (char c : line) commas += c == ',';
  CHECK(line.empty() ? output.empty() : output.size() == commas + 1, "wrong number of fields");
}

void XmlReader(const uint8_t* data, size_t size) {
  CWzMessageBase msg(0, 0);
  std::string error;
  if (ReadMessageXml(std::string(reinterpret_cast<const char*>(data), size), msg, &error)) {
    CheckXml(msg);
  } else {
    CHECK(!error.empty(), "a document refused without a reason");
  }
}

void XmlRoundTrip(const uint8_t* data, size_t size) {
  Bytes in{data, data + size};
  CWzMessageBase msg(static_cast<int>(in.Bits(4)), static_cast<int>(in.Bits(4)));
  size_t budget = 400;
  int selfCopies = 0;
  Build(in, msg, 0, budget, selfCopies);
  if (Depth(msg) <= 48) CheckXml(msg);  // self-copies can nest past the reader's limit
}

}  // namespace olbfuzz
