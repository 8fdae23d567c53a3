// The XML form of a message: a lean streaming writer and a libxml2 reader.
//
//   <?xml version="1.0" encoding="UTF-8"?>
//   <message class="ZRC::JobList" module="32" type="11">
//     <field number="4" type="7" name="productKind" kind="int">16</field>
//     <field number="2" type="5" name="jobs" kind="list"><message ...>...</message></field>
//   </message>
//
// kind is int, string, object, list or intlist; an object field holds one
// <message>, a list field one <message> per element, an intlist one <int>
// per element. class and name come from MessageSchema.def and are left out
// where not known. Strings: see EscapeXmlText in MessageXml.cpp for the rule
// that keeps every byte sequence well-formed and recoverable.
#ifndef OLB_HOST_MESSAGE_XML_H_
#define OLB_HOST_MESSAGE_XML_H_

#include <cstdio>
#include <string>

#include "host/Message.h"

// Appends the XML document of `msg` to `out`.
void WriteMessageXml(const CWzMessageBase& msg, std::string& out);

// Streams the XML document of `msg` into `file` through a buffer; false on
// any write error.
bool WriteMessageXmlFile(const CWzMessageBase& msg, std::FILE* file);

// Parses a document written by WriteMessageXml into `msg` (replacing it).
// False with a reason in `error` when the text is not such a document.
bool ReadMessageXml(const std::string& text, CWzMessageBase& msg, std::string* error);
bool ReadMessageXmlFile(const std::string& path, CWzMessageBase& msg, std::string* error);

// Validates a file against the message schema (message.xsd; an empty
// `xsdPath` means the schema of the source tree); false with the validator's
// messages in `error`.
bool ValidateMessageXmlFile(const std::string& path, const std::string& xsdPath,
                            std::string* error);

#endif  // OLB_HOST_MESSAGE_XML_H_
