#include "host/MessageXml.h"

#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/xmlwriter.h>

#include <climits>
#include <cstdio>
#include <random>

#include "host/Messages.h"
#include "model/MessageAccess.h"
#include "testsupport/TestSupport.h"

namespace {

std::string Xsd() { return olbtest::SourceDir() + "/host/message.xsd"; }

std::string Xml(const CWzMessageBase& msg) {
  std::string out;
  WriteMessageXml(msg, out);
  return out;
}

// Writes `msg` to a file, validates the file and reads it back.
void ExpectValidRoundTrip(const CWzMessageBase& msg) {
  olbtest::TempDir dir;
  std::string path = dir.file("msg.xml");
  std::FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  EXPECT_TRUE(WriteMessageXmlFile(msg, f));
  std::fclose(f);
  std::string error;
  EXPECT_TRUE(ValidateMessageXmlFile(path, Xsd(), &error)) << error;
  CWzMessageBase back(0, 0);
  ASSERT_TRUE(ReadMessageXmlFile(path, back, &error)) << error;
  EXPECT_EQ(back, msg);
}

ZRC::JobInfo MakeJob(int i) {
  ZRC::JobInfo job;
  SetField(job, ZRC::JobInfo::appType, 130);
  SetField(job, ZRC::JobInfo::jobId, "job-" + std::to_string(i));
  SetField(*Object(job, ZRC::JobInfo::hubfield), HubfieldEntity::hubfieldName, "DPA_srv");
  auto* sub = Object(job, ZRC::JobInfo::subclient);
  SetField(*sub, SubclientEntity::entityType, 7);
  SetField(*sub, SubclientEntity::clientName, "client <" + std::to_string(i % 7) + "> & co");
  auto* detail = Object(*Object(job, ZRC::JobInfo::detail), ZRC::JobDetailHolder::detail);
  SetField(*detail, ZRC::JobDetail::startTime, 1700000000LL + i);
  SetField(*detail, ZRC::JobDetail::duration, -2147483648LL);
  SetField(*Object(*detail, ZRC::JobDetail::storagePolicy),
           StoragePolicyEntity::storagePolicyName, "SP_DPA_srv");
  ZRC::DataInfo& data = Append(*Object(job, ZRC::JobInfo::dataInfo), ZRC::DataInfoList::items);
  SetField(data, ZRC::DataInfo::dataSize, static_cast<long long>(i) << 20);
  return job;
}

ZRC::JobList MakeJobList(int n) {
  ZRC::JobList list;
  SetField(list, ZRC::JobList::flags, 0);
  SetField(list, ZRC::JobList::productKind, 16);
  auto* jobs = List(list, ZRC::JobList::jobs);
  for (int i = 0; i < n; ++i) jobs->push_back(MakeJob(i));
  return list;
}

// One message with one string field per entry of `values`.
CWzMessageBase StringsMessage(const std::vector<std::string>& values) {
  CWzMessageBase msg(32, 17);
  for (size_t i = 0; i < values.size(); ++i) {
    msg.setstring(static_cast<short>(i + 1), 2, values[i], kWzMsgId1, kWzMsgId2);
  }
  return msg;
}

// The same form through libxml2's own writer, for strings that XML carries.
void LibXmlMessage(xmlTextWriterPtr w, const CWzMessageBase& msg) {
  const MessageSchemaClass* schema = FindMessageClass(msg.module(), msg.messageType());
  auto attr = [w](const char* name, const std::string& value) {
    xmlTextWriterWriteAttribute(w, BAD_CAST name, BAD_CAST value.c_str());
  };
  xmlTextWriterStartElement(w, BAD_CAST "message");
  if (schema != nullptr && schema->name != nullptr) attr("class", schema->name);
  attr("module", std::to_string(msg.module()));
  attr("type", std::to_string(msg.messageType()));
  for (const auto& f : msg.fields()) {
    xmlTextWriterStartElement(w, BAD_CAST "field");
    attr("number", std::to_string(f.number));
    attr("type", std::to_string(f.type));
    if (schema != nullptr && schema->FieldName(f.number) != nullptr) {
      attr("name", schema->FieldName(f.number));
    }
    const char* kinds[] = {"int", "string", "object", "list", "intlist"};
    attr("kind", kinds[static_cast<int>(f.kind)]);
    if (f.kind == CWzMessageBase::Kind::kInt) {
      xmlTextWriterWriteString(w, BAD_CAST std::to_string(f.intValue).c_str());
    } else if (f.kind == CWzMessageBase::Kind::kString) {
      xmlTextWriterWriteString(w, BAD_CAST f.stringValue.c_str());
    } else if (f.kind == CWzMessageBase::Kind::kObject) {
      LibXmlMessage(w, *f.object);
    } else if (f.kind == CWzMessageBase::Kind::kList) {
      for (size_t i = 0; i < f.list->Size(); ++i) LibXmlMessage(w, f.list->At(i));
    } else {
      for (int v : f.ints) {
        xmlTextWriterWriteElement(w, BAD_CAST "int", BAD_CAST std::to_string(v).c_str());
      }
    }
    xmlTextWriterEndElement(w);
  }
  xmlTextWriterEndElement(w);
}

std::string LibXmlText(const CWzMessageBase& msg) {
  xmlBufferPtr buf = xmlBufferCreate();
  xmlTextWriterPtr w = xmlNewTextWriterMemory(buf, 0);
  xmlTextWriterSetIndent(w, 1);
  xmlTextWriterSetIndentString(w, BAD_CAST "  ");
  xmlTextWriterStartDocument(w, nullptr, "UTF-8", nullptr);
  LibXmlMessage(w, msg);
  xmlTextWriterEndDocument(w);
  xmlFreeTextWriter(w);
  std::string text(reinterpret_cast<const char*>(xmlBufferContent(buf)),
                   static_cast<size_t>(xmlBufferLength(buf)));
  xmlBufferFree(buf);
  return text;
}

TEST(MessageXmlTest, WritesTheSameBytesAsLibXml2) {
  ZRC::JobList list = MakeJobList(3);
  CWzMessageBase& job = List(list, ZRC::JobList::jobs)->at(1);
  job.setstring(40, 40, "quote \" apos ' amp & lt < gt > cr \r lf \n tab \t", kWzMsgId1,
                kWzMsgId2);
  job.setstring(41, 41, "caf\xC3\xA9 \xF0\x9F\x98\x80 \\x41 \x7F\xC2\x85", kWzMsgId1,
                kWzMsgId2);
  job.setstring(42, 42, "  ", kWzMsgId1, kWzMsgId2);
  job.getlistint(43, 43, kWzMsgId1, kWzMsgId2, true)->assign({0, INT_MIN});
  job.getObjectAccessor(true, true, 44, 44, kWzMsgId1, kWzMsgId2, 77, 7)
      ->setint64(1, 1, LLONG_MAX, kWzMsgId1, kWzMsgId2);
  EXPECT_EQ(Xml(list), LibXmlText(list));
}

TEST(MessageXmlTest, WritesTheDocumentedForm) {
  ZRC::JobList list;
  SetField(list, ZRC::JobList::productKind, 16);
  auto& job = Append(list, ZRC::JobList::jobs);
  SetField(job, ZRC::JobInfo::jobId, "a\\b");
  job.getlistint(30, 31, kWzMsgId1, kWzMsgId2, true)->assign({-1, 2});
  auto* os = job.getObjectAccessor(true, true, 11, 12, kWzMsgId1, kWzMsgId2, 30, 17);
  os->setstring(3, 9, "", kWzMsgId1, kWzMsgId2);
  job.getObjectAccessor(true, true, 12, 13, kWzMsgId1, kWzMsgId2, 99, 5);
  List(*Object(job, ZRC::JobInfo::dataInfo), ZRC::DataInfoList::items);
  EXPECT_EQ(Xml(list),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<message class=\"ZRC::JobList\" module=\"32\" type=\"11\">\n"
            "  <field number=\"4\" type=\"7\" name=\"productKind\" kind=\"int\">16</field>\n"
            "  <field number=\"2\" type=\"5\" name=\"jobs\" kind=\"list\">\n"
            "    <message class=\"ZRC::JobInfo\" module=\"32\" type=\"21\">\n"
            "      <field number=\"6\" type=\"6\" name=\"jobId\" kind=\"string\">a\\b</field>\n"
            "      <field number=\"30\" type=\"31\" kind=\"intlist\">\n"
            "        <int>-1</int>\n"
            "        <int>2</int>\n"
            "      </field>\n"
            "      <field number=\"11\" type=\"12\" kind=\"object\">\n"
            "        <message module=\"30\" type=\"17\">\n"
            "          <field number=\"3\" type=\"9\" name=\"text3\" kind=\"string\"></field>\n"
            "        </message>\n"
            "      </field>\n"
            "      <field number=\"12\" type=\"13\" kind=\"object\">\n"
            "        <message module=\"99\" type=\"5\"/>\n"
            "      </field>\n"
            "      <field number=\"10\" type=\"16\" name=\"dataInfo\" kind=\"object\">\n"
            "        <message class=\"ZRC::DataInfoList\" module=\"32\" type=\"1\">\n"
            "          <field number=\"1\" type=\"1\" name=\"items\" kind=\"list\"/>\n"
            "        </message>\n"
            "      </field>\n"
            "    </message>\n"
            "  </field>\n"
            "</message>\n");
  ExpectValidRoundTrip(list);
}

TEST(MessageXmlTest, JobListRoundTripsAndRetypes) {
  ZRC::JobList list = MakeJobList(50);
  ExpectValidRoundTrip(list);

  CWzMessageBase back(0, 0);
  std::string error;
  ASSERT_TRUE(ReadMessageXml(Xml(list), back, &error)) << error;
  auto* jobs = back.getlistobject<ZRC::JobInfo>(2, 5, kWzMsgId1, kWzMsgId2, false);
  ASSERT_NE(jobs, nullptr);
  ASSERT_EQ(jobs->size(), 50u);
  auto* holder = FindObject((*jobs)[49], ZRC::JobInfo::detail);
  ASSERT_NE(holder, nullptr);
  auto* detail = FindObject(*holder, ZRC::JobDetailHolder::detail);
  ASSERT_NE(detail, nullptr);
  EXPECT_EQ(GetInt(*detail, ZRC::JobDetail::duration), -2147483648LL);
  EXPECT_EQ(GetString(*FindObject((*jobs)[3], ZRC::JobInfo::subclient),
                      SubclientEntity::clientName),
            "client <3> & co");

  // Reading replaces whatever the target held, keeping its class.
  ZRC::JobList target = MakeJobList(2);
  ASSERT_TRUE(ReadMessageXml(Xml(CWzMessageBase(32, 11)), target, &error)) << error;
  EXPECT_TRUE(target.fields().empty());
}

TEST(MessageXmlTest, EveryByteValueComesBackAndValidates) {
  std::vector<std::string> values;
  std::string all;
  for (int b = 0; b < 256; ++b) {
    values.push_back(std::string(1, static_cast<char>(b)));
    values.push_back("x\\" + std::string(1, static_cast<char>(b)) + "\\x41 ");
    all += static_cast<char>(b);
  }
  values.push_back(all);
  values.push_back(std::string(all.rbegin(), all.rend()));
  CWzMessageBase msg = StringsMessage(values);
  ExpectValidRoundTrip(msg);

  // libxml2 itself, reading our text, sees the carried characters as they are.
  std::string text = Xml(StringsMessage({"\r\n<&>\"' \t"}));
  xmlDoc* doc = xmlReadMemory(text.data(), static_cast<int>(text.size()), nullptr, nullptr,
                              XML_PARSE_NONET);
  ASSERT_NE(doc, nullptr);
  xmlChar* content = xmlNodeGetContent(xmlDocGetRootElement(doc)->children->next);
  EXPECT_STREQ(reinterpret_cast<char*>(content), "\r\n<&>\"' \t");
  xmlFree(content);
  xmlFreeDoc(doc);
}

TEST(MessageXmlTest, HostileStringsComeBackExactly) {
  const std::vector<std::string> cases = {
      "",
      "  leading and trailing  ",
      "\n\n",
      " \t\n ",
      "line1\r\nline2\rline3\n",
      "]]> <![CDATA[ x ]]> &amp; &#0; <!-- c -->",
      "C:\\Program Files\\x41\\\\",
      "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80 \xF4\x8F\xBF\xBF \xEF\xBF\xBD",  // carried
      "\xC2\x80\xC2\x9F\x7F",                                                 // C1, DEL
      "\xEF\xBF\xBE\xEF\xBF\xBF",                                             // U+FFFE/F
      "\xED\xA0\x80\xED\xBF\xBF",                                             // surrogates
      "\xC0\xAF\xE0\x80\xAF\xF0\x80\x80\xAF",                                 // overlong
      "\xF4\x90\x80\x80\xF5\xFF\xFE",                                         // past U+10FFFF
      "\xE2\x82",                                                             // cut short
      "\xE2\x82\\x41\x80",
      std::string("nul\0inside\0", 11),
      "\x1B[31mred\x1B[0m\x08\x0B\x0C",
  };
  ExpectValidRoundTrip(StringsMessage(cases));

  // Long strings are written in pieces: characters across piece borders,
  // a late uncarried byte, and text that grows sixfold when escaped.
  std::mt19937 rng(7);
  std::string noise(300000, '\0');
  for (char& c : noise) c = static_cast<char>(rng() % 256);
  std::string euros;
  for (int i = 0; i < 5000; ++i) euros += "\xE2\x82\xAC";
  const std::vector<std::string> longCases = {
      std::string(4095, 'a') + "\xC3\xA9" + std::string(5000, 'b'),
      std::string(4094, 'a') + "\xF0\x9F\x98\x80" + std::string(9000, '\\'),
      std::string(10000, 'a') + "\x01" + std::string(10, '\\'),
      euros,
      euros.substr(1),
      std::string(70000, '"'),
      noise,
  };
  ExpectValidRoundTrip(StringsMessage(longCases));
  // Marked: the one with \x01, the one cut inside a character, the noise.
  std::string text = Xml(StringsMessage(longCases));
  size_t markedCount = 0;
  for (size_t at = text.find("escaped"); at != std::string::npos;
       at = text.find("escaped", at + 1)) {
    ++markedCount;
  }
  EXPECT_EQ(markedCount, 3u);

  // Strings XML carries need no marking: backslashes stay single.
  std::string clean = Xml(StringsMessage({"C:\\dir\\x41", "caf\xC3\xA9\r"}));
  EXPECT_EQ(clean.find("escaped"), std::string::npos);
  EXPECT_NE(clean.find(">C:\\dir\\x41</field>"), std::string::npos);
  EXPECT_NE(clean.find(">caf\xC3\xA9&#13;</field>"), std::string::npos);
  // Others are marked, and their backslashes doubled.
  std::string marked = Xml(StringsMessage({"a\\b\x01\xFF"}));
  EXPECT_NE(marked.find(" kind=\"string\" encoding=\"escaped\">a\\\\b\\x01\\xFF</field>"),
            std::string::npos);
}

TEST(MessageXmlTest, RandomStringsComeBackExactly) {
  std::mt19937 rng(20240611);
  const char* pieces[] = {"\\", "\\x", "&", "<", "\r", "\n", " ", "\xC3\xA9", "\xE2\x82\xAC",
                          "\xF0\x9F\x98\x80", "\xEF\xBF\xBF", "\xED\xA0\x80", "]]>", "x"};
  std::vector<std::string> values;
  for (int i = 0; i < 2000; ++i) {
    std::string s;
    int len = static_cast<int>(rng() % 40);
    for (int j = 0; j < len; ++j) {
      if (rng() % 2 != 0) {
        s += static_cast<char>(rng() % 256);
      } else {
        s += pieces[rng() % (sizeof pieces / sizeof pieces[0])];
      }
    }
    values.push_back(s);
  }
  CWzMessageBase msg = StringsMessage(values);
  ExpectValidRoundTrip(msg);
}

TEST(MessageXmlTest, NamesAreWrittenOnlyWhereKnown) {
  CWzMessageBase unknown(77, 3);
  unknown.setint64(1, 1, 5, kWzMsgId1, kWzMsgId2);
  std::string text = Xml(unknown);
  EXPECT_NE(text.find("<message module=\"77\" type=\"3\">"), std::string::npos);
  EXPECT_NE(text.find("<field number=\"1\" type=\"1\" kind=\"int\">5</field>"),
            std::string::npos);
  ExpectValidRoundTrip(unknown);

  ZRC::JobFlags flags;
  SetField(flags, ZRC::JobFlags::kind, 4);
  flags.setint64(99, 99, 1, kWzMsgId1, kWzMsgId2);  // not in the table
  text = Xml(flags);
  EXPECT_NE(text.find("class=\"ZRC::JobFlags\""), std::string::npos);
  EXPECT_NE(text.find("name=\"kind\" kind=\"int\">4<"), std::string::npos);
  EXPECT_NE(text.find("<field number=\"99\" type=\"99\" kind=\"int\">1<"), std::string::npos);
  // Extreme numbers.
  CWzMessageBase extremes(-1, INT_MAX);
  extremes.setint64(SHRT_MIN, SHRT_MAX, LLONG_MIN, kWzMsgId1, kWzMsgId2);
  extremes.setint64(-1, -1, LLONG_MAX, kWzMsgId1, kWzMsgId2);
  extremes.getlistint(2, 2, kWzMsgId1, kWzMsgId2, true)->assign({INT_MIN, INT_MAX});
  ExpectValidRoundTrip(extremes);
}

TEST(MessageXmlTest, ReaderIgnoresLayoutButKeepsValues) {
  const std::string text =
      "<?xml version='1.0'?>\n"
      "<!-- written by hand -->\n"
      "<message module='32' type='11'><field number='2' type='5' kind='list'>\n\t"
      "<message module='32' type='21' class='anything'>"
      "<field number='6' type='6' kind='string'>  two\nlines  </field>"
      "<field number='7' type='6' kind='string'><![CDATA[<raw>]]>&#13;</field>"
      "<field number='4' type='4' kind='int'> 130\n</field></message>"
      "</field><field number='3' type='3' kind='intlist'><int>+7</int> <int>-8</int></field>"
      "</message>";
  CWzMessageBase msg(0, 0);
  std::string error;
  ASSERT_TRUE(ReadMessageXml(text, msg, &error)) << error;
  auto* jobs = List(msg, ZRC::JobList::jobs);
  ASSERT_EQ(jobs->size(), 1u);
  EXPECT_EQ(GetString((*jobs)[0], ZRC::JobInfo::jobId), "  two\nlines  ");
  EXPECT_EQ((*jobs)[0].getstring(7, 6, kWzMsgId1, kWzMsgId2), "<raw>\r");
  EXPECT_EQ(GetInt((*jobs)[0], ZRC::JobInfo::appType), 130);
  EXPECT_EQ(*msg.getlistint(3, 3, kWzMsgId1, kWzMsgId2, false), (std::vector<int>{7, -8}));
}

TEST(MessageXmlTest, ReaderRejectsMalformedDocuments) {
  auto doc = [](const std::string& fields) {
    return "<message module=\"1\" type=\"2\">" + fields + "</message>";
  };
  const std::vector<std::string> bad = {
      "",
      "not xml at all",
      "<message module=\"1\" type=\"2\">",
      "<other module=\"1\" type=\"2\"/>",
      "<message type=\"2\"/>",
      "<message module=\"x\" type=\"2\"/>",
      "<message module=\"99999999999\" type=\"2\"/>",
      "<message module=\"1\" type=\"2\" colour=\"red\"/>",
      "<message module=\"1\" type=\"2\">text</message>",
      doc("<field type=\"1\" kind=\"int\">1</field>"),
      doc("<field number=\"40000\" type=\"1\" kind=\"int\">1</field>"),
      doc("<field number=\"1\" type=\"1\">1</field>"),
      doc("<field number=\"1\" type=\"1\" kind=\"float\">1</field>"),
      doc("<field number=\"1\" type=\"1\" kind=\"int\">12abc</field>"),
      doc("<field number=\"1\" type=\"1\" kind=\"int\">+-5</field>"),
      doc("<field number=\"1\" type=\"1\" kind=\"int\"></field>"),
      doc("<field number=\"1\" type=\"1\" kind=\"int\">9223372036854775808</field>"),
      doc("<field number=\"1\" type=\"1\" kind=\"int\">1</field>"
          "<field number=\"1\" type=\"1\" kind=\"string\">a</field>"),
      doc("<field number=\"1\" type=\"1\" kind=\"string\"><b>x</b></field>"),
      doc("<field number=\"1\" type=\"1\" kind=\"int\" encoding=\"escaped\">1</field>"),
      doc("<field number=\"1\" type=\"1\" kind=\"string\" encoding=\"base64\">a</field>"),
      doc("<field number=\"1\" type=\"1\" kind=\"string\" encoding=\"escaped\">\\q</field>"),
      doc("<field number=\"1\" type=\"1\" kind=\"string\" encoding=\"escaped\">\\x4</field>"),
      doc("<field number=\"1\" type=\"1\" kind=\"string\" encoding=\"escaped\">a\\</field>"),
      doc("<field number=\"1\" type=\"1\" kind=\"object\"/>"),
      doc("<field number=\"1\" type=\"1\" kind=\"object\"><message module=\"1\" type=\"1\"/>"
          "<message module=\"1\" type=\"1\"/></field>"),
      doc("<field number=\"1\" type=\"1\" kind=\"list\">x<message module=\"1\" type=\"1\"/>"
          "</field>"),
      doc("<field number=\"1\" type=\"1\" kind=\"list\"><int>1</int></field>"),
      doc("<field number=\"1\" type=\"1\" kind=\"list\"><message module=\"1\"/></field>"),
      doc("<field number=\"1\" type=\"1\" kind=\"intlist\"><int>4294967296</int></field>"),
      doc("<field number=\"1\" type=\"1\" kind=\"intlist\"><message module=\"1\" type=\"1\"/>"
          "</field>"),
      doc("<value/>"),
      // Entities: neither internal nor external ones are taken.
      "<!DOCTYPE message [<!ENTITY a \"aaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;\">]>" +
          doc("<field number=\"1\" type=\"1\" kind=\"string\">&b;</field>"),
      "<!DOCTYPE message [<!ENTITY x SYSTEM \"file:///etc/passwd\">]>" +
          doc("<field number=\"1\" type=\"1\" kind=\"string\">&x;</field>"),
      "<!DOCTYPE message SYSTEM \"http://127.0.0.1:1/message.dtd\">" + doc(""),
  };
  for (const std::string& text : bad) {
    ZRC::JobList msg;
    SetField(msg, ZRC::JobList::flags, 3);
    ZRC::JobList before = msg;
    std::string error;
    EXPECT_FALSE(ReadMessageXml(text, msg, &error)) << text;
    EXPECT_FALSE(error.empty()) << text;
    EXPECT_EQ(msg, before) << text;  // left as it was
  }
  // Deep nesting is refused by the parser, not by the stack.
  std::string deep;
  for (int i = 0; i < 5000; ++i) {
    deep += "<message module=\"1\" type=\"1\"><field number=\"1\" type=\"1\" kind=\"object\">";
  }
  deep += "<message module=\"1\" type=\"1\"/>";
  for (int i = 0; i < 5000; ++i) deep += "</field></message>";
  CWzMessageBase msg(0, 0);
  std::string error;
  EXPECT_FALSE(ReadMessageXml(deep, msg, &error));
  EXPECT_FALSE(ReadMessageXmlFile("/nonexistent/dir/msg.xml", msg, &error));
  EXPECT_NE(error.find("/nonexistent/dir/msg.xml"), std::string::npos) << error;
}

TEST(MessageXmlTest, SchemaRejectsWhatIsNotTheForm) {
  olbtest::TempDir dir;
  std::string path = dir.file("bad.xml");
  std::string error;
  const std::vector<std::string> bad = {
      "<message type=\"2\"/>",
      "<msg module=\"1\" type=\"2\"/>",
      "<message module=\"1\" type=\"2\"><field number=\"1\" type=\"1\" kind=\"real\">1</field>"
      "</message>",
      "<message module=\"1\" type=\"2\"><field number=\"1\" type=\"1\" kind=\"int\">1</field>"
      "<field number=\"1\" type=\"2\" kind=\"int\">2</field></message>",
      "<message module=\"1\" type=\"2\"><field number=\"1\" type=\"1\" kind=\"intlist\">"
      "<int>x</int></field></message>",
  };
  for (const std::string& text : bad) {
    ASSERT_TRUE(olbtest::WriteFile(path, text));
    EXPECT_FALSE(ValidateMessageXmlFile(path, Xsd(), &error)) << text;
    EXPECT_FALSE(error.empty());
  }
  ASSERT_TRUE(olbtest::WriteFile(path, Xml(MakeJobList(3))));
  EXPECT_TRUE(ValidateMessageXmlFile(path, "", &error)) << error;  // the built-in schema
  EXPECT_FALSE(ValidateMessageXmlFile(path, dir.file("none.xsd"), &error));
  EXPECT_FALSE(ValidateMessageXmlFile(dir.file("none.xml"), Xsd(), &error));
}

TEST(MessageXmlTest, FileWriterMatchesMemoryWriterAndReportsErrors) {
  ZRC::JobList big = MakeJobList(2000);  // past the writer's flush size
  std::string expected = Xml(big);
  ASSERT_GT(expected.size(), 2u << 20);
  olbtest::TempDir dir;
  std::string path = dir.file("big.xml");
  std::FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  EXPECT_TRUE(WriteMessageXmlFile(big, f));
  std::fclose(f);
  EXPECT_EQ(olbtest::ReadFile(path), expected);

  EXPECT_FALSE(WriteMessageXmlFile(big, nullptr));
  std::FILE* full = std::fopen("/dev/full", "wb");
  if (full != nullptr) {
    EXPECT_FALSE(WriteMessageXmlFile(CWzMessageBase(1, 1), full));
    std::fclose(full);
  }
  std::FILE* readOnly = std::fopen(path.c_str(), "rb");
  ASSERT_NE(readOnly, nullptr);
  EXPECT_FALSE(WriteMessageXmlFile(big, readOnly));
  std::fclose(readOnly);
}

}  // namespace
