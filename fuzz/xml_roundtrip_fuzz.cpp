// The XML writer and reader on message trees built from the input: any
// module and type numbers, any field numbers and type codes, 64-bit
// integers, strings of arbitrary bytes (invalid UTF-8, control characters,
// markup), nested objects, lists and integer lists, set, replaced and
// retyped in any order. The written file must validate against
// host/message.xsd and read back equal.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "host/Messages.h"

namespace {

// Deep enough for every message the plug-in writes (they nest about ten
// levels); the reader's parser refuses documents nested past 256 elements,
// two per message level.
const int kMaxDepth = 24;
const size_t kMaxFields = 400;
// Each self-copy doubles the message: a few are enough.
const int kMaxSelfCopies = 3;
int g_selfCopies = 0;

void Build(olbfuzz::Input& in, CWzMessageBase& msg, int depth, size_t& budget) {
  while (!in.empty() && budget > 0) {
    --budget;
    uint8_t op = in.Byte();
    // Field numbers mostly from a small range, so that fields get replaced
    // and retyped; now and then any short.
    short number = static_cast<short>((op & 0x80) != 0 ? in.Bits(2) : in.Byte() % 24);
    short type = static_cast<short>(in.Byte() % 8 == 0 ? in.Bits(2) : in.Byte());
    switch (op & 0x07) {
      case 0:
        msg.setint64(number, type, static_cast<long long>(in.Bits(8)), kWzMsgId1, kWzMsgId2);
        break;
      case 1:
        msg.setstring(number, type, in.String(4096), kWzMsgId1, kWzMsgId2);
        break;
      case 2:
        if (depth < kMaxDepth) {
          int module = static_cast<int>(in.Bits(4));
          int messageType = static_cast<int>(in.Bits(4));
          CWzMessageBase* child = msg.getObjectAccessor(true, true, number, type, kWzMsgId1,
                                                        kWzMsgId2, module, messageType);
          if (child != nullptr) Build(in, *child, depth + 1, budget);
        }
        break;
      case 3:
        if (depth < kMaxDepth) {
          std::vector<CWzMessageBase>* list =
              msg.getlistobject<CWzMessageBase>(number, type, kWzMsgId1, kWzMsgId2, true);
          if (list != nullptr) {
            list->emplace_back(static_cast<int>(in.Bits(2)), static_cast<int>(in.Bits(2)));
            Build(in, list->back(), depth + 1, budget);
          }
        }
        break;
      case 4: {
        std::vector<int>* ints = msg.getlistint(number, type, kWzMsgId1, kWzMsgId2, true);
        if (ints != nullptr) {
          size_t n = in.Byte() % 8;
          for (size_t i = 0; i < n; ++i) ints->push_back(static_cast<int>(in.Bits(4)));
        }
        break;
      }
      case 5: {
        // A named class's list, retyped on the way (ZRC::JobInfo items).
        auto* jobs = msg.getlistobject<ZRC::JobInfo>(number, type, kWzMsgId1, kWzMsgId2, true);
        if (jobs != nullptr && depth < kMaxDepth) {
          jobs->emplace_back();
          Build(in, jobs->back(), depth + 1, budget);
        }
        break;
      }
      case 6: {
        // A copy of this message stored into one of its own fields.
        if (++g_selfCopies > kMaxSelfCopies) break;
        CWzMessageBase copy = msg;
        msg.setObjectAccessor(&copy, number, type, kWzMsgId1, kWzMsgId2);
        break;
      }
      default:
        return;  // back to the parent
    }
  }
}

int Depth(const CWzMessageBase& msg) {
  int deepest = 0;
  for (const CWzMessageBase::Field& f : msg.fields()) {
    if (f.object) deepest = std::max(deepest, Depth(*f.object));
    if (f.list) {
      for (size_t i = 0; i < f.list->Size(); ++i) deepest = std::max(deepest, Depth(f.list->At(i)));
    }
  }
  return deepest + 1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  olbfuzz::Init();
  olbfuzz::Input in(data, size);
  int module = static_cast<int>(in.Bits(4));
  int messageType = static_cast<int>(in.Bits(4));
  CWzMessageBase msg(module, messageType);
  size_t budget = kMaxFields;
  g_selfCopies = 0;
  Build(in, msg, 0, budget);
  // Copies stored into their own fields can nest past the limit above.
  if (Depth(msg) > 2 * kMaxDepth) return 0;
  olbfuzz::CheckMessageXml(msg);
  return 0;
}
