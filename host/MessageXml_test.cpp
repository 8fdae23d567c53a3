// The XML form of a message (its exact text is pinned by the golden run):
// validity against the schema, the round trip of every byte string, and the
// reader's refusal of anything that is not the form.
#include "host/MessageXml.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <random>

#include "host/Messages.h"
#include "model/MessageAccess.h"
#include "testsupport/TestSupport.h"

#define IDS kWzMsgId1, kWzMsgId2

namespace {

std::string Xsd() { return olbtest::SourceDir() + "/host/message.xsd"; }

std::string Xml(const CWzMessageBase& msg) {
  std::string out;
  WriteMessageXml(msg, out);
  return out;
}

// Writes `msg` to a file, validates the file and reads it back; the file's text.
std::string ExpectValidRoundTrip(const CWzMessageBase& msg) {
  olbtest::TempDir dir;
  std::string path = dir.file("msg.xml"), error;
  std::FILE* f = std::fopen(path.c_str(), "wb");
  EXPECT_TRUE(WriteMessageXmlFile(msg, f));
  std::fclose(f);
  EXPECT_TRUE(ValidateMessageXmlFile(path, Xsd(), &error)) << error;
  CWzMessageBase back(0, 0);
  EXPECT_TRUE(ReadMessageXmlFile(path, back, &error)) << error;
  EXPECT_TRUE(back == msg);
  return olbtest::ReadFile(path);
}

// One message with one string field per entry of `values`.
CWzMessageBase StringsMessage(const std::vector<std::string>& values) {
  CWzMessageBase msg(30, 999);
  for (size_t i = 0; i < values.size(); ++i) msg.setstring(short(i + 1), 2, values[i], IDS);
  return msg;
}

TEST(MessageXmlTest, MessagesComeBackWholeAndWriteErrorsAreReported) {
  ZRC::JobList big;  // past the file writer's flush size: the same bytes as in memory
  for (int i = 0; i < 3000; ++i) {
    ZRC::JobInfo& job = Append(big, ZRC::JobList::jobs);
    SetField(*Object(job, ZRC::JobInfo::subclient), SubclientEntity::clientName, "c <1> & co");
    SetField(*Object(*Object(job, ZRC::JobInfo::detail), ZRC::JobDetailHolder::detail),
             ZRC::JobDetail::duration, -2147483648LL);
  }
  std::string expected = Xml(big);
  ASSERT_GT(expected.size(), 2u << 20);
  EXPECT_TRUE(ExpectValidRoundTrip(big) == expected);
  CWzMessageBase extremes(-1, INT_MAX);
  extremes.setint64(SHRT_MIN, SHRT_MAX, LLONG_MIN, IDS);
  extremes.setint64(-1, -1, LLONG_MAX, IDS);
  extremes.getlistint(2, 2, IDS, true)->assign({INT_MIN, INT_MAX});
  extremes.getlistint(3, 3, IDS, true);
  extremes.addGenericList(4, 4);
  ExpectValidRoundTrip(extremes);
  std::string error;  // reading replaces what the target held
  ASSERT_TRUE(ReadMessageXml(Xml(CWzMessageBase(32, 11)), big, &error)) << error;
  EXPECT_TRUE(big.fields().empty());

  EXPECT_FALSE(WriteMessageXmlFile(extremes, nullptr));
  std::FILE* full = std::fopen("/dev/full", "wb");
  EXPECT_FALSE(full && WriteMessageXmlFile(CWzMessageBase(1, 1), full));
  if (full) std::fclose(full);
  std::FILE* readOnly = std::fopen(Xsd().c_str(), "rb");
  EXPECT_FALSE(WriteMessageXmlFile(extremes, readOnly));
  std::fclose(readOnly);
}

TEST(MessageXmlTest, EveryByteStringComesBackExactly) {
  std::vector<std::string> values = {
      "", "  leading and trailing  ", " \t\n ", "line1\r\nline2\rline3\n",
      "]]> <![CDATA[ x ]]> &amp; &#0; <!-- c -->", "C:\\Program Files\\x41\\\\",
      "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80 \xF4\x8F\xBF\xBF \xEF\xBF\xBD",
      "\xEF\xBF\xBE\xEF\xBF\xBF",              // U+FFFE, U+FFFF
      "\xED\xA0\x80\xED\xBF\xBF",              // surrogates
      "\xC0\xAF\xE0\x80\xAF\xF0\x80\x80\xAF",  // overlong forms
      "\xF4\x90\x80\x80\xF5\xFF\xFE",          // past U+10FFFF
      "\xE2\x82", "\xE2\x82\\x41\x80",         // cut short
      std::string("nul\0inside\0", 11), "\x1B[31mred\x1B[0m\x08\x0B\x0C"};
  std::string all;
  for (int b = 0; b < 256; ++b) {
    values.push_back(std::string(1, char(b)));
    values.push_back("x\\" + std::string(1, char(b)) + "\\x41 ");
    all += char(b);
  }
  values.push_back(all);
  values.push_back(std::string(all.rbegin(), all.rend()));
  ExpectValidRoundTrip(StringsMessage(values));
  // Long strings are written in pieces: characters across piece borders, a
  // late uncarried byte, text that grows sixfold when escaped, noise.
  std::mt19937 rng(7);
  std::string noise(300000, '\0'), euros;
  for (char& c : noise) c = char(rng() % 256);
  for (int i = 0; i < 5000; ++i) euros += "\xE2\x82\xAC";
  std::string text = ExpectValidRoundTrip(StringsMessage({
      std::string(4095, 'a') + "\xC3\xA9" + std::string(5000, 'b'),
      std::string(4094, 'a') + "\xF0\x9F\x98\x80" + std::string(9000, '\\'),
      std::string(10000, 'a') + "\x01" + std::string(10, '\\'),
      euros, euros.substr(1), std::string(70000, '"'), noise}));
  size_t marked = 0;  // the one with \x01, the one cut inside a character, the noise
  for (size_t at = 0; (at = text.find("escaped", at)) != std::string::npos; ++at) ++marked;
  EXPECT_EQ(marked, 3u);
}

TEST(MessageXmlTest, ReaderRejectsWhatIsNotTheFormAndLeavesTheTarget) {
  auto doc = [](std::string in) { return "<message module='1' type='2'>" + in + "</message>"; };
  auto field = [&doc](const std::string& kind, const std::string& body, std::string attr = "") {
    return doc("<field number='1' type='1' kind='" + kind + "'" + attr + ">" + body + "</field>");
  };
  const std::string one = "<message module='1' type='1'/>", esc = " encoding='escaped'";
  const std::string nest = "<message module='1' type='1'><field number='1' type='1' kind='object'>";
  std::string deep;  // refused by the parser, not by the stack
  for (int i = 0; i < 5000; ++i) deep += nest;
  deep += one;
  for (int i = 0; i < 5000; ++i) deep += "</field></message>";
  const std::vector<std::string> bad = {
      "", "not xml at all", "<message module='1' type='2'>", "<other module='1' type='2'/>",
      "<message type='2'/>", "<message module='x' type='2'/>",
      "<message module='99999999999' type='2'/>", "<message module='1' type='2' colour='red'/>",
      doc("text"), doc("<value/>"), doc("<field type='1' kind='int'>1</field>"),
      doc("<field number='40000' type='1' kind='int'>1</field>"),
      doc("<field number='1' type='1'>1</field>"),
      field("float", "1"), field("int", "12abc"), field("int", "+-5"), field("int", ""),
      field("int", "9223372036854775808"),
      doc("<field number='1' type='1' kind='int'>1</field>"
          "<field number='1' type='1' kind='string'>a</field>"),
      field("string", "<b>x</b>"), field("int", "1", esc), field("string", "a", " encoding='b64'"),
      field("string", "\\q", esc), field("string", "\\x4", esc), field("string", "a\\", esc),
      field("object", ""), field("object", one + one), field("list", "x" + one),
      field("list", "<int>1</int>"), field("list", "<message module='1'/>"),
      field("intlist", "<int>4294967296</int>"), field("intlist", one),
      // Entities: neither internal nor external ones are taken.
      "<!DOCTYPE message [<!ENTITY a 'aaaaaaaa'><!ENTITY b '&a;&a;&a;&a;'>]>" +
          field("string", "&b;"),
      "<!DOCTYPE message [<!ENTITY x SYSTEM 'file:///etc/passwd'>]>" + field("string", "&x;"),
      "<!DOCTYPE message SYSTEM 'http://127.0.0.1:1/message.dtd'>" + doc(""), deep};
  for (const std::string& text : bad) {
    ZRC::JobList msg;
    SetField(msg, ZRC::JobList::flags, 3);
    const ZRC::JobList before = msg;
    std::string error;
    EXPECT_FALSE(ReadMessageXml(text, msg, &error)) << text.substr(0, 200);
    EXPECT_TRUE(!error.empty() && msg == before) << text.substr(0, 200);
  }
  CWzMessageBase msg(0, 0);
  std::string error;
  EXPECT_FALSE(ReadMessageXmlFile("/nonexistent/dir/msg.xml", msg, &error));
  EXPECT_NE(error.find("/nonexistent/dir/msg.xml"), std::string::npos) << error;
}

}  // namespace
