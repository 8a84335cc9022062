#include "records/binxml.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "reader/byte_reader.h"

namespace tarnwick {
namespace {

// ---- builders: binary xml written as hex text, so cases read like the byte listings ----

ByteBuffer FromHex(std::string_view hex) {
  ByteBuffer out;
  int high = -1;
  for (char c : hex) {
    int nibble = c >= '0' && c <= '9'   ? c - '0'
                 : c >= 'A' && c <= 'F' ? c - 'A' + 10
                 : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                        : -1;
    if (nibble < 0) continue;
    if (high < 0) {
      high = nibble;
    } else {
      out.push_back(static_cast<uint8_t>(high << 4 | nibble));
      high = -1;
    }
  }
  return out;
}

std::string HexByte(unsigned value) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  return {kDigits[(value >> 4) & 15], kDigits[value & 15], ' '};
}

// Variable-length integer, 7 bits a byte, low group first.
std::string Mb(uint64_t value) {
  std::string out;
  do {
    unsigned group = value & 0x7F;
    value >>= 7;
    out += HexByte(value != 0 ? group | 0x80 : group);
  } while (value != 0);
  return out;
}

// textdata of an ASCII string: count of UTF-16 units, then UTF-16LE.
std::string Td(std::string_view ascii) {
  std::string out = Mb(ascii.size());
  for (char c : ascii) out += HexByte(static_cast<unsigned char>(c)) + "00 ";
  return out;
}

std::string Name(std::string_view ascii) { return "F0 " + Td(ascii); }
std::string Nv(std::string_view ascii) { return "11 " + Td(ascii); }
std::string QName(uint64_t uri, uint64_t prefix, uint64_t local) {
  return "EF " + Mb(uri) + Mb(prefix) + Mb(local);
}

const std::string kV1 = "DF FF 01 B0 04 ";
const std::string kV2 = "DF FF 02 B0 04 ";
// name 1 = "a", qname 1 = ("", "", "a"), then <a
const std::string kOpenA = Name("a") + QName(0, 0, 1) + "F8 01 ";
// <a>x
const std::string kAX = kV1 + kOpenA + Nv("x");

std::string InContent(const std::string& value) { return kV2 + kOpenA + value + " F7"; }
std::string InAttribute(const std::string& values) {
  return kV2 + kOpenA + "F6 01 " + values + " F5 F7";
}

std::string Convert(const ByteBuffer& bytes) { return BinaryXmlToText(bytes); }
std::string Convert(const std::string& hex) { return Convert(FromHex(hex)); }

struct Case {
  const char* label;
  std::string hex;
  std::string text;
};

// ---- cases ----

const std::vector<Case>& WorkedExamples() {
  static const std::vector<Case> cases = {
      {"A: PI, comment and whitespace text",
       "DF FF 01 B0 04 F0 04 72 00 6F 00 6F 00 74 00 EF 00 00 01 F8 01 11 02 0A 00 09 00"
       " F0 02 70 00 69 00 F4 02 04 74 00 65 00 78 00 74 00 11 02 0A 00 09 00"
       " F3 07 63 00 6F 00 6D 00 6D 00 65 00 6E 00 74 00 11 01 0A 00 F7",
       "<root>\n\t<?pi text?>\n\t<!--comment-->\n</root>"},
      {"B: explicit namespace declaration",
       "DF FF 01 B0 04 F0 02 6E 00 73 00 F0 06 70 00 72 00 65 00 66 00 69 00 78 00"
       " F0 09 6C 00 6F 00 63 00 61 00 6C 00 4E 00 61 00 6D 00 65 00 EF 01 02 03 F8 01"
       " F0 0C 78 00 6D 00 6C 00 6E 00 73 00 3A 00 70 00 72 00 65 00 66 00 69 00 78 00"
       " EF 00 04 00 F6 02 11 02 6E 00 73 00 F5 F7",
       "<prefix:localName xmlns:prefix=\"ns\"/>"},
      {"C: implied default namespace and typed values",
       "DF FF 01 B0 04 F0 05 75 00 72 00 6E 00 3A 00 78 00 F0 01 72 00 F0 02 69 00 64 00"
       " F0 01 74 00 EF 01 00 02 EF 00 00 03 EF 01 00 04 F8 01 0A 07 05 02 00 96 00 00 00"
       " F8 03 F6 02 02 FE FF FF FF F5 82 3A D2 62 0E F3 7B 05 00 F7 F7",
       "<r xmlns=\"urn:x\">-1.50<t id=\"-2\">2008-01-02T03:04:05.006Z</t></r>"},
      {"D: flush between start and end tag, extension skipped",
       "DF FF 01 B0 04 F0 01 61 00 EF 00 00 01 F8 01 EA 02 AA BB E9 F0 01 62 00 EF 00 00 01"
       " F8 01 F7 F7",
       "<a><b/></a>"},
      {"E: nested document with its own tables",
       "DF FF 01 B0 04 F0 01 61 00 EF 00 00 01 F8 01 EC DF FF 01 B0 04 F0 01 62 00"
       " EF 00 00 01 F8 01 F7 EB F8 01 F7 F7",
       "<a><b/><a/></a>"},
  };
  return cases;
}

// One atomic value token and payload, and its text as element content.
const std::vector<Case>& AtomicValues() {
  static const std::vector<Case> cases = {
      {"bit", "06 01", "1"},
      {"bit other value", "06 02", "2"},
      {"tinyint is unsigned", "07 FF", "255"},
      {"xs:byte is signed", "88 FF", "-1"},
      {"xs:byte max", "88 7F", "127"},
      {"smallint", "01 FE FF", "-2"},
      {"int min", "02 00 00 00 80", "-2147483648"},
      {"bigint min", "08 00 00 00 00 00 00 00 80", "-9223372036854775808"},
      {"unsignedShort", "89 FF FF", "65535"},
      {"unsignedInt", "8A FF FF FF FF", "4294967295"},
      {"unsignedLong", "8B FF FF FF FF FF FF FF FF", "18446744073709551615"},
      {"boolean non-zero", "86 02", "true"},
      {"boolean zero", "86 00", "false"},
      {"decimal keeps scale", "0A 07 06 04 01 5E 0D 03 00", "20.0030"},
      {"numeric", "0B 07 03 00 01 7B 00 00 00", "123"},
      {"decimal below one", "0A 07 05 02 01 05 00 00 00", "0.05"},
      {"decimal zero has no sign", "0A 07 05 02 00 00 00 00 00", "0.00"},
      {"decimal 8-byte magnitude", "0A 0B 0D 03 01 00 00 00 00 00 01 00 00", "1099511627.776"},
      {"decimal 38 digits", "0A 13 26 00 01 FF FF FF FF 3F 22 8A 09 7A C4 86 5A A8 4C 3B 4B",
       "99999999999999999999999999999999999999"},
      {"decimal 38 fraction digits",
       "0A 13 26 26 00 FF FF FF FF 3F 22 8A 09 7A C4 86 5A A8 4C 3B 4B",
       "-0.99999999999999999999999999999999999999"},
      {"xs:decimal trims", "87 07 06 04 01 5E 0D 03 00", "20.003"},
      {"xs:decimal whole", "87 07 05 02 01 C8 00 00 00", "2"},
      {"xs:decimal negative zero", "87 07 05 02 00 00 00 00 00", "0"},
      {"money", "05 59 92 01 00 00 00 00 00", "10.3001"},
      {"money negative", "05 FF FF FF FF FF FF FF FF", "-0.0001"},
      {"money min", "05 00 00 00 00 00 00 00 80", "-922337203685477.5808"},
      {"smallmoney", "14 58 92 01 00", "10.3000"},
      {"real", "03 00 00 C0 3F", "1.5"},
      {"real shortest digits", "03 CD CC CC 3D", "0.1"},
      {"real max", "03 FF FF 7F 7F", "3.4028235E38"},
      {"float 1e7", "04 00 00 00 00 D0 12 63 41", "1.0E7"},
      {"float 0.1", "04 9A 99 99 99 99 99 B9 3F", "0.1"},
      {"float whole", "04 00 00 00 00 00 00 14 40", "5"},
      {"float 13.4", "04 CD CC CC CC CC CC 2A 40", "13.4"},
      {"float below 1e6", "04 00 00 00 00 08 24 FE 40", "123456.5"},
      {"float 999999", "04 00 00 00 00 7E 84 2E 41", "999999"},
      {"float 1e6", "04 00 00 00 00 80 84 2E 41", "1.0E6"},
      {"float 1e-6", "04 8D ED B5 A0 F7 C6 B0 3E", "0.000001"},
      {"float 1e-7", "04 48 AF BC 9A F2 D7 7A 3E", "1.0E-7"},
      {"float negative tiny", "04 95 64 79 E1 7F FD B5 BD", "-2.0E-11"},
      {"float 1.25e10", "04 00 00 00 E8 76 48 07 42", "1.25E10"},
      {"float max", "04 FF FF FF FF FF FF EF 7F", "1.7976931348623157E308"},
      {"float zero", "04 00 00 00 00 00 00 00 00", "0.0E0"},
      {"float negative zero", "04 00 00 00 00 00 00 00 80", "-0.0E0"},
      {"float infinity", "04 00 00 00 00 00 00 F0 7F", "INF"},
      {"float nan", "04 00 00 00 00 00 00 F8 7F", "NaN"},
      {"uuid", "09 FF 19 96 6F 86 8B 11 D0 B4 2D 00 C0 4F C9 64 FF",
       "6F9619FF-8B86-D011-B42D-00C04FC964FF"},
      {"varbinary", "0F 03 01 02 03", "AQID"},
      {"binary one byte", "0C 01 FF", "/w=="},
      {"base64 two bytes", "85 02 FB FF", "+/8="},
      {"udt", "1B 04 00 01 02 03", "AAECAw=="},
      {"image empty", "17 00", ""},
      {"binhex", "84 03 42 AC EF", "42ACEF"},
      {"char code page 1252", "0D 07 E4 04 00 00 61 62 63", "abc"},
      {"char 1252 e-acute", "0D 05 E4 04 00 00 E9", "\xC3\xA9"},
      {"varchar code page 65001", "10 06 E9 FD 00 00 C3 A9", "\xC3\xA9"},
      {"text code page 1200", "16 06 B0 04 00 00 E9 00", "\xC3\xA9"},
      {"nchar", "0E 01 E9 00", "\xC3\xA9"},
      {"ntext", "18 01 E9 00", "\xC3\xA9"},
      {"surrogate pair", "11 02 3D D8 00 DE", "\xF0\x9F\x98\x80"},
      {"content escaping", "11 05 61 00 3C 00 26 00 3E 00 22 00", "a&lt;&amp;&gt;\""},
      {"content keeps tab and newline, not CR", "11 04 09 00 0A 00 0D 00 61 00", "\t\n&#xD;a"},
      {"datetime", "12 17 9A 00 00 5E 8F 32 00", "2008-01-02T03:04:05.007"},
      {"datetime one tick", "12 00 00 00 00 01 00 00 00", "1900-01-01T00:00:00.003"},
      {"datetime two ticks", "12 00 00 00 00 02 00 00 00", "1900-01-01T00:00:00.007"},
      {"datetime on the hour", "12 00 00 00 00 C0 7A 10 00", "1900-01-01T01:00:00"},
      {"datetime first day", "12 46 2E FF FF 00 00 00 00", "1753-01-01T00:00:00"},
      {"datetime last tick", "12 7F 24 2D 00 FF 81 8B 01", "9999-12-31T23:59:59.997"},
      {"smalldatetime", "13 17 9A B8 00", "2008-01-02T03:04:00"},
      {"smalldatetime last day", "13 FF FF 9F 05", "2079-06-06T23:59:00"},
      {"xs:date west of UTC", "83 79 E2 52 3C 07 00 00 00", "2003-11-09-04:30"},
      {"xs:date east of UTC", "83 B1 2A 59 3D 07 00 00 00", "2010-06-30+05:00"},
      {"xs:date UTC", "83 61 2F 59 3D 07 00 00 00", "2010-06-30Z"},
      {"xs:time", "81 E8 B3 71 0B 00 00 00 00", "13:20:00.25Z"},
      {"xs:dateTime negative year", "82 02 38 26 AD 09 8C 04 00", "-0044-03-15T12:00:00Z"},
      {"xs:dateTime trims milliseconds", "82 72 7D 40 A4 3D 7C 05 00", "2010-06-30T01:02:03.1Z"},
      {"date2", "7F 72 2F 0B", "2008-01-02"},
      {"date2 first day", "7F 00 00 00", "0001-01-01"},
      {"date2 last day", "7F DA B9 37", "9999-12-31"},
      {"datetime2 scale 7", "7E 07 07 17 68 B7 19 72 2F 0B", "2008-01-02T03:04:05.1234567"},
      {"datetime2 scale 3", "7E 03 00 89 A8 00 72 2F 0B", "2008-01-02T03:04:05.12"},
      {"time2", "7D 07 FF BF 69 2A C9 5B 95 0A", "23:59:59.9999999"},
      {"datetimeoffset east", "7B 00 25 2B 00 72 2F 0B 4A 01", "2008-01-02T08:34:05+05:30"},
      {"datetimeoffset west crosses midnight", "7B 00 25 2B 00 72 2F 0B 20 FE",
       "2008-01-01T19:04:05-08:00"},
      {"datetimeoffset UTC", "7B 00 25 2B 00 72 2F 0B 00 00", "2008-01-02T03:04:05Z"},
      {"timeoffset wraps the day", "7A 00 40 19 01 5B 95 0A 4A 01", "01:30:00+05:30"},
      {"dateoffset takes the local date", "7C 00 40 19 01 72 2F 0B 4A 01", "2008-01-03+05:30"},
      {"adjacent strings join", Nv("x") + Nv("y"), "xy"},
      {"adjacent typed values are a list", "02 01 00 00 00 02 02 00 00 00", "1 2"},
      {"string next to a typed value", Nv("x") + "02 01 00 00 00", "x 1"},
  };
  return cases;
}

// Attribute values: the values after ATTRIBUTE and their text inside a="...".
const std::vector<Case>& AttributeValues() {
  static const std::vector<Case> cases = {
      {"escaping", "11 05 61 00 3C 00 26 00 3E 00 22 00", "a&lt;&amp;&gt;&quot;"},
      {"tab, newline and CR as references", "11 03 09 00 0A 00 0D 00", "&#x9;&#xA;&#xD;"},
      {"no value is empty", "", ""},
      {"strings join", Nv("x") + Nv("y"), "xy"},
      {"typed values are a list", "02 01 00 00 00 02 02 00 00 00", "1 2"},
      {"metadata between values", Nv("x") + Name("zz") + "EA 01 00 " + Nv("y"), "xy"},
      {"typed value", "86 01", "true"},
  };
  return cases;
}

std::string ManyNames() {
  std::string hex = kV1;
  for (int i = 1; i <= 130; ++i) hex += Name("n" + std::to_string(i)) + QName(0, 0, i);
  return hex + "F8 " + Mb(130) + Nv(std::string(200, 'x')) + "F7";
}

// Whole documents: structure tokens, namespaces and name tables.
const std::vector<Case>& Documents() {
  static const std::vector<Case> cases = {
      {"empty element", kV1 + kOpenA + "F7", "<a/>"},
      {"empty string keeps an end tag", kV1 + kOpenA + "11 00 F7", "<a></a>"},
      {"fragment at root", kV1 + kOpenA + "F7 " + Nv("t") + "F8 01 F7", "<a/>t<a/>"},
      {"version 0 is read as 1", "DF FF 00 B0 04 " + kOpenA + "F7", "<a/>"},
      {"version-2 token in a version-1 document", kV1 + kOpenA + "7F 72 2F 0B F7",
       "<a>2008-01-02</a>"},
      {"all-zero qname takes an index",
       kV1 + Name("a") + "EF 00 00 00 " + QName(0, 0, 1) + "F8 02 F7", "<a/>"},
      {"two-byte indexes and counts", ManyNames(), "<n130>" + std::string(200, 'x') + "</n130>"},
      {"five-byte index", kV1 + Name("a") + QName(0, 0, 1) + "F8 81 80 80 80 00 F7", "<a/>"},
      {"flush inside the attribute list",
       kV1 + Name("e") + Name("x") + Name("y") + QName(0, 0, 1) + QName(0, 0, 2) + "F8 01 F6 02 " +
           Nv("1") + "E9 " + Name("y") + QName(0, 0, 1) + "F6 01 " + Nv("2") + "F5 F7",
       "<e x=\"1\" y=\"2\"/>"},
      {"extensions around an attribute",
       kV1 + kOpenA + "EA 03 01 02 03 F6 01 EA 00 " + Nv("v") + "F5 F7", "<a a=\"v\"/>"},
      {"comment before the root", kV1 + "F3 " + Td("c") + kOpenA + "F7", "<!--c--><a/>"},
      {"PI without data", kV1 + kOpenA + Name("go") + "F4 02 00 F7", "<a><?go?></a>"},
      {"CDATA chunks join", kV1 + kOpenA + "F2 02 3C 00 26 00 F2 01 78 00 F1 F7",
       "<a><![CDATA[<&x]]></a>"},
      {"XML declaration", kV1 + "FE " + Td("1.0") + "FD " + Td("UTF-8") + "01 " + kOpenA + "F7",
       "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?><a/>"},
      {"XML declaration, version only", kV1 + "FE " + Td("1.0") + "00 " + kOpenA + "F7",
       "<?xml version=\"1.0\"?><a/>"},
      {"XML declaration, standalone no", kV1 + "FE " + Td("1.0") + "02 " + kOpenA + "F7",
       "<?xml version=\"1.0\" standalone=\"no\"?><a/>"},
      {"DOCTYPE with every part",
       kV1 + "FC " + Td("a") + "FB " + Td("a.dtd") + "FA " + Td("-//X//Y") + "F9 " +
           Td("<!ENTITY e 'x'>") + kOpenA + "F7",
       "<!DOCTYPE a PUBLIC \"-//X//Y\" \"a.dtd\" [<!ENTITY e 'x'>]><a/>"},
      {"DOCTYPE system only", kV1 + "FC " + Td("a") + "FB " + Td("a.dtd") + kOpenA + "F7",
       "<!DOCTYPE a SYSTEM \"a.dtd\"><a/>"},
      {"DOCTYPE public only", kV1 + "FC " + Td("a") + "FA " + Td("p") + kOpenA + "F7",
       "<!DOCTYPE a PUBLIC \"p\" \"\"><a/>"},
      {"DOCTYPE literal with a quote", kV1 + "FC " + Td("a") + "FB " + Td("x\"y") + kOpenA + "F7",
       "<!DOCTYPE a SYSTEM 'x\"y'><a/>"},
      {"DOCTYPE after a comment", kV1 + "F3 " + Td("c") + "FC " + Td("a") + kOpenA + "F7",
       "<!--c--><!DOCTYPE a><a/>"},
      {"nested prolog is not shown",
       kV1 + kOpenA + "EC " + kV1 + "FE " + Td("1.0") + "00 FC " + Td("b") + "F3 " + Td("c") +
           "EB F7",
       "<a><!--c--></a>"},
      {"empty nested document", kV1 + kOpenA + "EC " + kV1 + "EB F7", "<a/>"},
      // Namespaces.
      {"implied prefix of an element",
       kV1 + Name("urn:p") + Name("p") + Name("e") + QName(1, 2, 3) + "F8 01 F7",
       "<p:e xmlns:p=\"urn:p\"/>"},
      {"implied prefix of an attribute follows the stored ones",
       kV1 + Name("urn:p") + Name("p") + Name("e") + Name("x") + Name("y") + QName(0, 0, 3) +
           QName(1, 2, 4) + QName(0, 0, 5) + "F8 01 F6 02 " + Nv("1") + "F6 03 " + Nv("2") +
           "F5 F7",
       "<e p:x=\"1\" y=\"2\" xmlns:p=\"urn:p\"/>"},
      {"children inherit, siblings declare again",
       kV1 + Name("urn:p") + Name("p") + Name("e") + Name("r") + QName(0, 0, 4) + QName(1, 2, 3) +
           "F8 01 F8 02 F8 02 F7 F7 F8 02 F7 F7",
       "<r><p:e xmlns:p=\"urn:p\"><p:e/></p:e><p:e xmlns:p=\"urn:p\"/></r>"},
      {"no namespace under a default one",
       kV1 + Name("urn:x") + Name("r") + Name("e") + QName(1, 0, 2) + QName(0, 0, 3) +
           "F8 01 F8 02 F7 F7",
       "<r xmlns=\"urn:x\"><e xmlns=\"\"/></r>"},
      {"explicit default declaration is not repeated",
       kV1 + Name("urn:x&y") + Name("r") + Name("xmlns") + QName(1, 0, 2) + QName(0, 3, 0) +
           "F8 01 F6 02 " + Nv("urn:x&y") + "F5 F7",
       "<r xmlns=\"urn:x&amp;y\"/>"},
      {"later explicit declaration covers an earlier attribute",
       kV1 + Name("urn:p") + Name("p") + Name("e") + Name("xmlns:p") + Name("x") + QName(0, 0, 3) +
           QName(0, 4, 0) + QName(1, 2, 5) + "F8 01 F6 03 " + Nv("1") + "F6 02 " + Nv("urn:p") +
           "F5 F7",
       "<e p:x=\"1\" xmlns:p=\"urn:p\"/>"},
      {"prefix bound again by a child",
       kV1 + Name("u1") + Name("u2") + Name("p") + Name("a") + Name("b") + QName(1, 3, 4) +
           QName(2, 3, 5) + "F8 01 F8 02 F7 F7",
       "<p:a xmlns:p=\"u1\"><p:b xmlns:p=\"u2\"/></p:a>"},
      {"xml prefix is never declared",
       kV1 + Name("http://www.w3.org/XML/1998/namespace") + Name("xml") + Name("lang") + Name("e") +
           QName(0, 0, 4) + QName(1, 2, 3) + "F8 01 F6 02 " + Nv("en") + "F5 F7",
       "<e xml:lang=\"en\"/>"},
      {"qname value in content declares its prefix",
       kV1 + Name("urn:q") + Name("q") + Name("v") + Name("e") + QName(0, 0, 4) + QName(1, 2, 3) +
           "F8 01 8C 02 F7",
       "<e xmlns:q=\"urn:q\">q:v</e>"},
      {"qname value in an attribute declares its prefix",
       kV1 + Name("urn:q") + Name("q") + Name("v") + Name("e") + QName(0, 0, 4) + QName(1, 2, 3) +
           "F8 01 F6 01 8C 02 F5 F7",
       "<e e=\"q:v\" xmlns:q=\"urn:q\"/>"},
      {"nested document shares the namespace scope",
       kV1 + Name("urn:x") + Name("r") + QName(1, 0, 2) + "F8 01 EC " + kV1 + Name("urn:x") +
           Name("e") + QName(1, 0, 2) + "F8 01 F7 EB F7",
       "<r xmlns=\"urn:x\"><e/></r>"},
  };
  return cases;
}

// Data that breaks the format: conversion stops and keeps what came before.
const std::vector<Case>& CorruptDocuments() {
  static const std::vector<Case> cases = {
      {"bad signature", "DF FE 01 B0 04 " + kOpenA + "F7", ""},
      {"version 3", "DF FF 03 B0 04 " + kOpenA + "F7", ""},
      {"encoding other than UTF-16", "DF FF 01 E4 04 " + kOpenA + "F7", ""},
      {"qname index 0", kAX + "F8 00 F7", "<a>x"},
      {"qname index beyond the table", kAX + "F8 02 F7 F7", "<a>x"},
      {"qname part beyond the name table", kAX + QName(0, 0, 7) + Nv("y"), "<a>x"},
      {"PI target beyond the name table", kAX + "F4 05 00", "<a>x"},
      {"PI target empty", kAX + "F4 00 00", "<a>x"},
      {"mb32 fifth byte above 07", kAX + "F8 81 80 80 80 08 F7", "<a>x"},
      {"mb32 longer than five bytes", kAX + "F8 81 80 80 80 80 00 F7", "<a>x"},
      {"text longer than the data", kAX + "11 05 61 00", "<a>x"},
      // 2^64: the tenth byte's bits would fall off a 64-bit value and leave length 0.
      {"mb64 length above 2^63", kAX + "0F 80 80 80 80 80 80 80 80 80 02 " + Nv("y"), "<a>x"},
      {"decimal length 8", kAX + "0A 08 06 04 01 5E 0D 03 00 00", "<a>x"},
      {"decimal scale above precision", kAX + "0A 07 02 03 01 01 00 00 00", "<a>x"},
      {"decimal precision 39", kAX + "0A 07 27 00 01 01 00 00 00", "<a>x"},
      {"decimal sign 2", kAX + "0A 07 06 04 02 5E 0D 03 00", "<a>x"},
      {"code page text shorter than its code page", kAX + "0D 03 E4 04 00", "<a>x"},
      {"time scale 8", kAX + "7E 08 00 00 00 00 00 72 2F 0B", "<a>x"},
      {"date after 9999-12-31", kAX + "7F DB B9 37", "<a>x"},
      {"zone beyond 14 hours", kAX + "7B 00 25 2B 00 72 2F 0B 49 03", "<a>x"},
      {"datetime ticks of a whole day", kAX + "12 00 00 00 00 00 82 8B 01", "<a>x"},
      {"datetime before 1753", kAX + "12 45 2E FF FF 00 00 00 00", "<a>x"},
      {"smalldatetime minute 1440", kAX + "13 00 00 A0 05", "<a>x"},
      {"xs:dateTime with the xs:date tag", kAX + "82 79 E2 52 3C 07 00 00 00", "<a>x"},
      {"xs:time hour 24", kAX + "81 00 70 99 14 00 00 00 00", "<a>x"},
      {"CDATA without its end", kAX + "F2 01 79 00 F8 01 F7", "<a>x<![CDATA[y"},
      {"end element at root", kV1 + kOpenA + "F7 F7 " + Nv("z"), "<a/>"},
      {"end of nest at the top", kAX + "EB " + Nv("y"), "<a>x"},
      {"nest with a bad header", kAX + "EC DF FF 01 B0 05 " + Nv("y"), "<a>x"},
      {"nest ends with an element open",
       kAX + "EC " + kV1 + Name("b") + QName(0, 0, 1) + "F8 01 EB F7", "<a>x<b"},
      {"nest closes its parent", kAX + "EC " + kV1 + "F7 EB", "<a>x"},
      {"XML declaration after content", kAX + "FE " + Td("1.0") + "00", "<a>x"},
      {"DOCTYPE after an element", kV1 + kOpenA + "F7 FC " + Td("a") + "F3 " + Td("c"), "<a/>"},
      {"subset outside a DOCTYPE", kAX + "F9 " + Td("s"), "<a>x"},
      {"raw markup token", kAX + "ED " + Td("<b/>"), "<a>x"},
      {"end of attributes in content", kAX + "F5 F7", "<a>x"},
      {"attribute in content", kAX + "F6 01 F5 F7", "<a>x"},
      {"attribute list without its end", kV1 + kOpenA + "F6 01 " + Nv("v") + "F8 01 F7 F7", "<a"},
      {"prefix without a namespace", kV1 + Name("p") + Name("e") + QName(0, 1, 2) + "F8 01 F7", ""},
      {"element without a local name", kV1 + Name("e") + "EF 00 00 00 F8 01 F7", ""},
      {"xml prefix with another namespace",
       kV1 + Name("urn:o") + Name("xml") + Name("e") + QName(1, 2, 3) + "F8 01 F7", ""},
      {"unprefixed attribute in a namespace",
       kV1 + Name("u") + Name("e") + QName(0, 0, 2) + QName(1, 0, 2) + "F8 01 F6 02 F5 F7", "<e"},
      {"prefix declared with no namespace",
       kV1 + Name("e") + Name("xmlns:p") + QName(0, 0, 1) + QName(0, 2, 0) + "F8 01 F6 02 F5 F7",
       "<e"},
      {"declaration qname with a namespace",
       kV1 + Name("e") + Name("xmlns") + Name("u") + QName(0, 0, 1) + QName(3, 2, 0) +
           "F8 01 F6 02 " + Nv("u") + "F5 F7",
       "<e"},
      {"empty local name that is not a declaration",
       kV1 + Name("e") + Name("foo") + QName(0, 0, 1) + QName(0, 2, 0) + "F8 01 F6 02 " + Nv("u") +
           "F5 F7",
       "<e"},
      {"prefix declared twice on one element",
       kV1 + Name("e") + Name("xmlns:p") + QName(0, 0, 1) + QName(0, 2, 0) + "F8 01 F6 02 " +
           Nv("u1") + "F6 02 " + Nv("u2") + "F5 F7",
       "<e xmlns:p=\"u1\""},
      {"element namespace against an explicit declaration",
       kV1 + Name("u1") + Name("p") + Name("e") + Name("xmlns:p") + QName(1, 2, 3) +
           QName(0, 4, 0) + "F8 01 F6 02 " + Nv("u2") + "F5 F7",
       "<p:e xmlns:p=\"u2\""},
  };
  return cases;
}

// ---- tests ----

void ExpectCases(const std::vector<Case>& cases) {
  for (const Case& c : cases) EXPECT_EQ(Convert(c.hex), c.text) << c.label;
}

TEST(BinaryXmlTest, WorkedExamples) { ExpectCases(WorkedExamples()); }

TEST(BinaryXmlTest, AtomicValuesInContent) {
  for (const Case& c : AtomicValues()) {
    EXPECT_EQ(Convert(InContent(c.hex)), "<a>" + c.text + "</a>") << c.label;
  }
}

TEST(BinaryXmlTest, AttributeValues) {
  for (const Case& c : AttributeValues()) {
    EXPECT_EQ(Convert(InAttribute(c.hex)), "<a a=\"" + c.text + "\"/>") << c.label;
  }
}

TEST(BinaryXmlTest, Documents) { ExpectCases(Documents()); }

TEST(BinaryXmlTest, CorruptDataStopsWithWhatCameBefore) { ExpectCases(CorruptDocuments()); }

// Every document that converts fully, as raw bytes.
std::vector<std::pair<std::string, ByteBuffer>> AllDocuments() {
  std::vector<std::pair<std::string, ByteBuffer>> out;
  for (const Case& c : WorkedExamples()) out.emplace_back(c.label, FromHex(c.hex));
  for (const Case& c : Documents()) out.emplace_back(c.label, FromHex(c.hex));
  for (const Case& c : AtomicValues()) out.emplace_back(c.label, FromHex(InContent(c.hex)));
  for (const Case& c : AttributeValues()) out.emplace_back(c.label, FromHex(InAttribute(c.hex)));
  return out;
}

// A cut document gives a growing prefix of the full text; nothing is closed or made up.
TEST(BinaryXmlTest, TruncationAtEveryLengthGivesAPrefix) {
  for (const auto& [label, bytes] : AllDocuments()) {
    std::string full = Convert(bytes);
    ASSERT_FALSE(full.empty()) << label;
    size_t previous = 0;
    for (size_t length = 0; length < bytes.size(); ++length) {
      std::string part = BinaryXmlToText(std::span(bytes.data(), length));
      if (length < 5) {
        EXPECT_EQ(part, "") << label << " cut at " << length;
      }
      EXPECT_TRUE(full.starts_with(part)) << label << " cut at " << length << ": " << part;
      EXPECT_GE(part.size(), previous) << label << " cut at " << length;
      previous = part.size();
    }
  }
}

// Damage at one byte keeps everything decoded from the bytes before it.
TEST(BinaryXmlTest, DamagedByteKeepsTheTextBeforeIt) {
  for (const auto& [label, bytes] : AllDocuments()) {
    if (bytes.size() > 512) continue;  // the short documents cover every token
    for (size_t at = 0; at < bytes.size(); ++at) {
      std::string before = BinaryXmlToText(std::span(bytes.data(), at));
      for (int replacement : {0x00, 0x07, 0x7F, 0x80, 0xFF, bytes[at] ^ 0x01}) {
        ByteBuffer damaged = bytes;
        damaged[at] = static_cast<uint8_t>(replacement);
        EXPECT_TRUE(Convert(damaged).starts_with(before))
            << label << " byte " << at << " = " << replacement;
      }
    }
  }
}

bool IsDefinedToken(unsigned b) {
  return (b >= 0x01 && b <= 0x14) || b == 0x16 || b == 0x17 || b == 0x18 || b == 0x1B ||
         (b >= 0x7A && b <= 0x7F) || (b >= 0x81 && b <= 0x8C) || (b >= 0xE9 && b <= 0xEC) ||
         (b >= 0xEF && b <= 0xFE);
}

TEST(BinaryXmlTest, UnknownTokensEndTheConversion) {
  int unknown = 0;
  for (unsigned b = 0; b < 256; ++b) {
    if (IsDefinedToken(b)) continue;
    ++unknown;
    std::string token = HexByte(b);
    EXPECT_EQ(Convert(kV1 + token + kOpenA + "F7"), "") << token;
    EXPECT_EQ(Convert(kAX + token + Nv("y") + "F7"), "<a>x") << token;
    EXPECT_EQ(Convert(kV1 + kOpenA + "F6 01 " + Nv("v") + token + "F5 F7"), "<a") << token;
  }
  EXPECT_EQ(unknown, 256 - 62);  // 62 token values are defined
}

// Names are stored once and may be referenced without end: the text stops growing long before
// the input's repetitions are spelled out.
TEST(BinaryXmlTest, RepeatedLongNamesAreBounded) {
  constexpr size_t kRepeats = 20000;
  const std::string name(1000, 'n');
  std::string hex = kV1 + Name(name) + QName(0, 0, 1);
  for (size_t i = 0; i < kRepeats; ++i) hex += "F8 01 F7 ";
  std::string text = Convert(hex);
  const std::string one = "<" + name + "/>";
  ASSERT_TRUE(text.starts_with(one + one));
  EXPECT_LT(text.size(), one.size() * kRepeats / 2);
}

}  // namespace
}  // namespace tarnwick
