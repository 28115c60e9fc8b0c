// The report-descriptor parser against what Windows made of eighteen real devices, the HidP_*
// capability calls answered from its result, and descriptors built to break it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "hid_preparsed_data.h"
#include "hid_report_descriptor.h"

namespace {

using hidreport::Capability;
using hidreport::LinkCollectionNode;
using hidreport::ParseResult;
using hidreport::TopLevelCollection;
using Bytes = std::vector<std::uint8_t>;

const std::string DataDirectory = HID_DESCRIPTOR_DATA_DIR;

std::vector<std::string> readLines(const std::string& path) {
  std::ifstream file(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(file, line);) {
    lines.push_back(line);
  }
  return lines;
}

bool allHex(const std::string& text, std::size_t from, std::size_t count) {
  return text.size() >= from + count &&
         std::all_of(text.begin() + static_cast<std::ptrdiff_t>(from),
                     text.begin() + static_cast<std::ptrdiff_t>(from + count),
                     [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; });
}

bool isHexPair(const std::string& token) {
  return token.size() == 2 && allHex(token, 0, 2);
}

// A hex dump's address column: "0010:".
bool isAddress(const std::string& token) {
  return token.size() == 5 && allHex(token, 0, 4) && token[4] == ':';
}

std::uint8_t byteOf(const std::string& text, std::size_t at) {
  return static_cast<std::uint8_t>(std::stoul(text.substr(at, 2), nullptr, 16));
}

std::vector<std::string> tokensOf(const std::string& line) {
  std::istringstream stream(line);
  std::vector<std::string> tokens;
  for (std::string token; stream >> token;) {
    tokens.push_back(token);
  }
  return tokens;
}

// The descriptor in a .rpt_desc file. The data set writes it in three ways, taken in this order
// of preference: a hex dump (lines of hex pairs only, optionally after an "0000:" address),
// which some files give for the whole device; a C array ("0x05, 0x01,  // Usage Page"); or
// one item a line, its bytes the hex pairs at the end of the line.
Bytes readDescriptor(const std::string& path) {
  const std::vector<std::string> lines = readLines(path);
  Bytes dump;
  for (const std::string& line : lines) {
    std::vector<std::string> tokens = tokensOf(line);
    const auto address = std::find_if(tokens.begin(), tokens.end(), isAddress);
    if (address != tokens.end()) {
      tokens.erase(tokens.begin(), address + 1);
    }
    if (!tokens.empty() && std::all_of(tokens.begin(), tokens.end(), isHexPair)) {
      for (const std::string& token : tokens) {
        dump.push_back(byteOf(token, 0));
      }
    }
  }
  if (!dump.empty()) {
    return dump;
  }
  Bytes array;
  for (const std::string& line : lines) {
    const std::string code = line.substr(0, line.find("//"));
    for (std::size_t at = code.find("0x"); at != std::string::npos; at = code.find("0x", at + 2)) {
      const std::size_t comma = code.find_first_not_of(' ', at + 4);
      if (allHex(code, at + 2, 2) && comma != std::string::npos && code[comma] == ',') {
        array.push_back(byteOf(code, at + 2));
      }
    }
  }
  if (!array.empty()) {
    return array;
  }
  Bytes items;
  for (const std::string& line : lines) {
    const std::vector<std::string> tokens = tokensOf(line);
    auto first = tokens.end();
    while (first != tokens.begin() && isHexPair(*(first - 1))) {
      --first;
    }
    for (auto token = first; token != tokens.end(); ++token) {
      items.push_back(byteOf(*token, 0));
    }
  }
  return items;
}

// The `pp_data->name = value` lines of a .pp_data dump, by name ("cap[3]->BitSize").
class PreparsedDump {
 public:
  explicit PreparsedDump(const std::string& path) {
    const std::string prefix = "pp_data->";
    for (const std::string& line : readLines(path)) {
      const std::vector<std::string> tokens = tokensOf(line);
      if (tokens.size() == 3 && tokens[0].starts_with(prefix) && tokens[1] == "=") {
        fields_[tokens[0].substr(prefix.size())] = std::stoll(tokens[2], nullptr, 0);
      }
    }
  }

  long long operator[](const std::string& name) const {
    const auto found = fields_.find(name);
    EXPECT_NE(found, fields_.end()) << "no " << name << " in the dump";
    return found == fields_.end() ? 0 : found->second;
  }
  long long cap(int index, const std::string& name) const {
    return (*this)["cap[" + std::to_string(index) + "]->" + name];
  }
  long long typeInfo(int type, const std::string& name) const {
    return (*this)["caps_info[" + std::to_string(type) + "]->" + name];
  }
  long long link(int index, const std::string& name) const {
    return (*this)["LinkCollectionArray[" + std::to_string(index) + "]->" + name];
  }
  // A usage's ranges are spelled Range.* for a range and NotRange.* for one usage.
  long long capRange(int index, const std::string& rangeName, const std::string& single) const {
    return cap(index, "IsRange") ? cap(index, "Range." + rangeName)
                                 : cap(index, "NotRange." + single);
  }

 private:
  std::map<std::string, long long> fields_;
};

struct OracleCase {
  std::string name;     // VVVV_PPPP_UUUU_PPPP: vendor, product, usage, usage page
  std::string prelude;  // another file's descriptor that came before this one on the device
};

// Globals carry over from one top-level collection to the next. The headset's vendor
// collection (col03 of its interface) declares no Logical Minimum or Maximum before its first
// fields, so Windows gave them the 0..1 its consumer collection (col01) ends with. Its file
// holds the vendor collection alone; the consumer collection is put in front of it. (The
// interface's col02 is not in the data set.)
const std::vector<OracleCase> OracleCases = {
    {"046A_0011_0006_0001", ""}, {"046D_0A37_0001_000C", ""},
    {"046D_B010_0001_000C", ""}, {"046D_B010_0001_FF00", ""},
    {"046D_B010_0002_0001", ""}, {"046D_B010_0002_FF00", ""},
    {"046D_C077_0002_0001", ""}, {"046D_C52F_0001_000C", ""},
    {"046D_C52F_0001_FF00", ""}, {"046D_C52F_0002_0001", ""},
    {"046D_C52F_0002_FF00", ""}, {"046D_C534_0001_000C", ""},
    {"046D_C534_0001_FF00", ""}, {"046D_C534_0002_0001", ""},
    {"046D_C534_0002_FF00", ""}, {"046D_C534_0006_0001", ""},
    {"047F_C056_0001_000C", ""}, {"047F_C056_0003_FFA0", "047F_C056_0001_000C"},
};

// The top-level collection a dump describes: the first with the usage page and usage of the
// file's name (the Bluetooth mouse has two consumer-control collections; its file is the first).
std::optional<TopLevelCollection> collectionOf(const OracleCase& oracle) {
  Bytes descriptor;
  if (!oracle.prelude.empty()) {
    descriptor = readDescriptor(DataDirectory + "/" + oracle.prelude + ".rpt_desc");
  }
  const Bytes own = readDescriptor(DataDirectory + "/" + oracle.name + ".rpt_desc");
  descriptor.insert(descriptor.end(), own.begin(), own.end());
  const ParseResult result = hidreport::parseReportDescriptor(descriptor);
  EXPECT_TRUE(result.ok()) << result.error;
  const auto usage = static_cast<std::uint16_t>(std::stoul(oracle.name.substr(10, 4), nullptr, 16));
  const auto page = static_cast<std::uint16_t>(std::stoul(oracle.name.substr(15, 4), nullptr, 16));
  for (const TopLevelCollection& collection : result.collections) {
    if (collection.usage == usage && collection.usagePage == page) {
      return collection;
    }
  }
  return std::nullopt;
}

class WindowsOracle : public ::testing::TestWithParam<OracleCase> {
 protected:
  void SetUp() override {
    collection_ = collectionOf(GetParam());
    ASSERT_TRUE(collection_) << "no top-level collection matches the file name";
  }
  PreparsedDump dump_{DataDirectory + "/" + GetParam().name + ".pp_data"};
  std::optional<TopLevelCollection> collection_;
};

TEST_P(WindowsOracle, ReportLengthsAndCapabilityCountsMatch) {
  EXPECT_EQ(collection_->usage, dump_["Usage"]);
  EXPECT_EQ(collection_->usagePage, dump_["UsagePage"]);
  for (int type = 0; type < 3; ++type) {
    SCOPED_TRACE("report type " + std::to_string(type));
    EXPECT_EQ(collection_->reportByteLength[type], dump_.typeInfo(type, "ReportByteLength"));
    EXPECT_EQ(collection_->caps[type].size(),
              dump_.typeInfo(type, "LastCap") - dump_.typeInfo(type, "FirstCap"));
    EXPECT_EQ(collection_->capabilitySlots[type], dump_.typeInfo(type, "NumberOfCaps"));
  }
}

TEST_P(WindowsOracle, LinkCollectionsMatch) {
  const std::vector<LinkCollectionNode>& nodes = collection_->linkCollections;
  ASSERT_EQ(nodes.size(), dump_["NumberLinkCollectionNodes"]);
  for (int i = 0; i < static_cast<int>(nodes.size()); ++i) {
    SCOPED_TRACE("link collection " + std::to_string(i));
    EXPECT_EQ(nodes[i].linkUsage, dump_.link(i, "LinkUsage"));
    EXPECT_EQ(nodes[i].linkUsagePage, dump_.link(i, "LinkUsagePage"));
    EXPECT_EQ(nodes[i].parent, dump_.link(i, "Parent"));
    EXPECT_EQ(nodes[i].numberOfChildren, dump_.link(i, "NumberOfChildren"));
    EXPECT_EQ(nodes[i].nextSibling, dump_.link(i, "NextSibling"));
    EXPECT_EQ(nodes[i].firstChild, dump_.link(i, "FirstChild"));
    EXPECT_EQ(nodes[i].collectionType, dump_.link(i, "CollectionType"));
    EXPECT_EQ(nodes[i].isAlias, dump_.link(i, "IsAlias"));
  }
}

TEST_P(WindowsOracle, EveryCapabilityFieldMatches) {
  for (int type = 0; type < 3; ++type) {
    const std::vector<Capability>& caps = collection_->caps[type];
    const int first = static_cast<int>(dump_.typeInfo(type, "FirstCap"));
    const int count = static_cast<int>(dump_.typeInfo(type, "LastCap")) - first;
    for (int i = 0; i < std::min<int>(count, static_cast<int>(caps.size())); ++i) {
      const Capability& cap = caps[i];
      const int d = first + i;
      SCOPED_TRACE("report type " + std::to_string(type) + ", cap[" + std::to_string(d) + "]");
      EXPECT_EQ(cap.usagePage, dump_.cap(d, "UsagePage"));
      EXPECT_EQ(cap.reportId, dump_.cap(d, "ReportID"));
      EXPECT_EQ(cap.bitPosition, dump_.cap(d, "BitPosition"));
      EXPECT_EQ(cap.bitSize, dump_.cap(d, "BitSize"));
      EXPECT_EQ(cap.reportCount, dump_.cap(d, "ReportCount"));
      EXPECT_EQ(cap.bytePosition, dump_.cap(d, "BytePosition"));
      EXPECT_EQ(cap.bitCount, dump_.cap(d, "BitCount"));
      EXPECT_EQ(cap.bitField, dump_.cap(d, "BitField"));
      EXPECT_EQ(cap.nextBytePosition, dump_.cap(d, "NextBytePosition"));
      EXPECT_EQ(cap.linkCollection, dump_.cap(d, "LinkCollection"));
      EXPECT_EQ(cap.linkUsagePage, dump_.cap(d, "LinkUsagePage"));
      EXPECT_EQ(cap.linkUsage, dump_.cap(d, "LinkUsage"));
      EXPECT_EQ(cap.isMultipleItemsForArray, dump_.cap(d, "IsMultipleItemsForArray"));
      EXPECT_EQ(cap.isButton, dump_.cap(d, "IsButtonCap"));
      EXPECT_EQ(cap.isPadding, dump_.cap(d, "IsPadding"));
      EXPECT_EQ(cap.isAbsolute, dump_.cap(d, "IsAbsolute"));
      EXPECT_EQ(cap.isRange, dump_.cap(d, "IsRange"));
      EXPECT_EQ(cap.isAlias, dump_.cap(d, "IsAlias"));
      EXPECT_EQ(cap.isStringRange, dump_.cap(d, "IsStringRange"));
      EXPECT_EQ(cap.isDesignatorRange, dump_.cap(d, "IsDesignatorRange"));
      EXPECT_EQ(cap.usageMin, dump_.capRange(d, "UsageMin", "Usage"));
      EXPECT_EQ(cap.usageMax, dump_.capRange(d, "UsageMax", "Reserved1"));
      EXPECT_EQ(cap.stringMin, dump_.capRange(d, "StringMin", "StringIndex"));
      EXPECT_EQ(cap.stringMax, dump_.capRange(d, "StringMax", "Reserved2"));
      EXPECT_EQ(cap.designatorMin, dump_.capRange(d, "DesignatorMin", "DesignatorIndex"));
      EXPECT_EQ(cap.designatorMax, dump_.capRange(d, "DesignatorMax", "Reserved3"));
      EXPECT_EQ(cap.dataIndexMin, dump_.capRange(d, "DataIndexMin", "DataIndex"));
      EXPECT_EQ(cap.dataIndexMax, dump_.capRange(d, "DataIndexMax", "Reserved4"));
      const std::string part = cap.isButton ? "Button." : "NotButton.";
      EXPECT_EQ(cap.logicalMin, dump_.cap(d, part + "LogicalMin"));
      EXPECT_EQ(cap.logicalMax, dump_.cap(d, part + "LogicalMax"));
      if (!cap.isButton) {
        EXPECT_EQ(cap.hasNull, dump_.cap(d, "NotButton.HasNull"));
        EXPECT_EQ(cap.physicalMin, dump_.cap(d, "NotButton.PhysicalMin"));
        EXPECT_EQ(cap.physicalMax, dump_.cap(d, "NotButton.PhysicalMax"));
      }
      EXPECT_EQ(cap.units, dump_.cap(d, "Units"));
      EXPECT_EQ(cap.unitsExp, dump_.cap(d, "UnitsExp"));
    }
  }
}

// The public structures, built from the dump alone: what a Windows program reads for this
// device must be what the Linux backend hands out.
class PublicCapabilities : public WindowsOracle {
 protected:
  void SetUp() override {
    WindowsOracle::SetUp();
    preparsed_ = std::make_unique<_HIDP_PREPARSED_DATA>(_HIDP_PREPARSED_DATA{*collection_});
  }
  PHIDP_PREPARSED_DATA preparsed() { return preparsed_.get(); }

  // The indices of the dump's button or value capabilities of a type, in their order.
  std::vector<int> dumpCaps(int type, bool buttons) const {
    std::vector<int> indices;
    for (int d = static_cast<int>(dump_.typeInfo(type, "FirstCap"));
         d < dump_.typeInfo(type, "LastCap"); ++d) {
      if ((dump_.cap(d, "IsButtonCap") != 0) == buttons) {
        indices.push_back(d);
      }
    }
    return indices;
  }

  // Every field but the middle part, where buttons and values differ.
  template <typename Caps>
  void expectCommonFields(const Caps& caps, int d) const {
    EXPECT_EQ(caps.UsagePage, dump_.cap(d, "UsagePage"));
    EXPECT_EQ(caps.ReportID, dump_.cap(d, "ReportID"));
    EXPECT_EQ(caps.IsAlias, dump_.cap(d, "IsAlias"));
    EXPECT_EQ(caps.BitField, dump_.cap(d, "BitField"));
    EXPECT_EQ(caps.LinkCollection, dump_.cap(d, "LinkCollection"));
    EXPECT_EQ(caps.LinkUsage, dump_.cap(d, "LinkUsage"));
    EXPECT_EQ(caps.LinkUsagePage, dump_.cap(d, "LinkUsagePage"));
    EXPECT_EQ(caps.IsRange, dump_.cap(d, "IsRange"));
    EXPECT_EQ(caps.IsStringRange, dump_.cap(d, "IsStringRange"));
    EXPECT_EQ(caps.IsDesignatorRange, dump_.cap(d, "IsDesignatorRange"));
    EXPECT_EQ(caps.IsAbsolute, dump_.cap(d, "IsAbsolute"));
    EXPECT_EQ(caps.ReportCount, dump_.cap(d, "ReportCount"));
    if (caps.IsRange) {
      EXPECT_EQ(caps.Range.UsageMin, dump_.cap(d, "Range.UsageMin"));
      EXPECT_EQ(caps.Range.UsageMax, dump_.cap(d, "Range.UsageMax"));
      EXPECT_EQ(caps.Range.StringMin, dump_.cap(d, "Range.StringMin"));
      EXPECT_EQ(caps.Range.StringMax, dump_.cap(d, "Range.StringMax"));
      EXPECT_EQ(caps.Range.DesignatorMin, dump_.cap(d, "Range.DesignatorMin"));
      EXPECT_EQ(caps.Range.DesignatorMax, dump_.cap(d, "Range.DesignatorMax"));
      EXPECT_EQ(caps.Range.DataIndexMin, dump_.cap(d, "Range.DataIndexMin"));
      EXPECT_EQ(caps.Range.DataIndexMax, dump_.cap(d, "Range.DataIndexMax"));
    } else {
      EXPECT_EQ(caps.NotRange.Usage, dump_.cap(d, "NotRange.Usage"));
      EXPECT_EQ(caps.NotRange.Reserved1, dump_.cap(d, "NotRange.Reserved1"));
      EXPECT_EQ(caps.NotRange.StringIndex, dump_.cap(d, "NotRange.StringIndex"));
      EXPECT_EQ(caps.NotRange.Reserved2, dump_.cap(d, "NotRange.Reserved2"));
      EXPECT_EQ(caps.NotRange.DesignatorIndex, dump_.cap(d, "NotRange.DesignatorIndex"));
      EXPECT_EQ(caps.NotRange.Reserved3, dump_.cap(d, "NotRange.Reserved3"));
      EXPECT_EQ(caps.NotRange.DataIndex, dump_.cap(d, "NotRange.DataIndex"));
      EXPECT_EQ(caps.NotRange.Reserved4, dump_.cap(d, "NotRange.Reserved4"));
    }
  }

  std::unique_ptr<_HIDP_PREPARSED_DATA> preparsed_;
};

TEST_P(PublicCapabilities, HidPGetCapsMatches) {
  HIDP_CAPS caps{};
  ASSERT_EQ(HidP_GetCaps(preparsed(), &caps), HIDP_STATUS_SUCCESS);
  EXPECT_EQ(caps.Usage, dump_["Usage"]);
  EXPECT_EQ(caps.UsagePage, dump_["UsagePage"]);
  EXPECT_EQ(caps.InputReportByteLength, dump_.typeInfo(0, "ReportByteLength"));
  EXPECT_EQ(caps.OutputReportByteLength, dump_.typeInfo(1, "ReportByteLength"));
  EXPECT_EQ(caps.FeatureReportByteLength, dump_.typeInfo(2, "ReportByteLength"));
  EXPECT_EQ(caps.NumberLinkCollectionNodes, dump_["NumberLinkCollectionNodes"]);
  const USHORT counts[3][3] = {
      {caps.NumberInputButtonCaps, caps.NumberInputValueCaps, caps.NumberInputDataIndices},
      {caps.NumberOutputButtonCaps, caps.NumberOutputValueCaps, caps.NumberOutputDataIndices},
      {caps.NumberFeatureButtonCaps, caps.NumberFeatureValueCaps, caps.NumberFeatureDataIndices}};
  for (int type = 0; type < 3; ++type) {
    SCOPED_TRACE("report type " + std::to_string(type));
    EXPECT_EQ(counts[type][0], dumpCaps(type, true).size());
    EXPECT_EQ(counts[type][1], dumpCaps(type, false).size());
    long long indices = 0;
    for (int d = static_cast<int>(dump_.typeInfo(type, "FirstCap"));
         d < dump_.typeInfo(type, "LastCap"); ++d) {
      indices = std::max(indices, dump_.capRange(d, "DataIndexMax", "Reserved4") + 1);
    }
    EXPECT_EQ(counts[type][2], indices);
  }
  EXPECT_TRUE(std::all_of(std::begin(caps.Reserved), std::end(caps.Reserved),
                          [](USHORT reserved) { return reserved == 0; }));
}

TEST_P(PublicCapabilities, HidPGetButtonCapsMatches) {
  for (int type = 0; type < 3; ++type) {
    SCOPED_TRACE("report type " + std::to_string(type));
    const std::vector<int> expected = dumpCaps(type, true);
    std::vector<HIDP_BUTTON_CAPS> caps(expected.size() + 1);
    USHORT length = static_cast<USHORT>(expected.size());
    const NTSTATUS status =
        HidP_GetButtonCaps(static_cast<HIDP_REPORT_TYPE>(type), caps.data(), &length, preparsed());
    EXPECT_EQ(status, expected.empty() ? HIDP_STATUS_USAGE_NOT_FOUND : HIDP_STATUS_SUCCESS);
    ASSERT_EQ(length, expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
      SCOPED_TRACE("cap[" + std::to_string(expected[i]) + "]");
      expectCommonFields(caps[i], expected[i]);
      EXPECT_EQ(caps[i].Reserved2, 0);
      EXPECT_TRUE(std::all_of(std::begin(caps[i].Reserved), std::end(caps[i].Reserved),
                              [](ULONG reserved) { return reserved == 0; }));
    }
  }
}

TEST_P(PublicCapabilities, HidPGetValueCapsMatches) {
  for (int type = 0; type < 3; ++type) {
    SCOPED_TRACE("report type " + std::to_string(type));
    const std::vector<int> expected = dumpCaps(type, false);
    std::vector<HIDP_VALUE_CAPS> caps(expected.size() + 1);
    USHORT length = static_cast<USHORT>(expected.size());
    const NTSTATUS status =
        HidP_GetValueCaps(static_cast<HIDP_REPORT_TYPE>(type), caps.data(), &length, preparsed());
    EXPECT_EQ(status, expected.empty() ? HIDP_STATUS_USAGE_NOT_FOUND : HIDP_STATUS_SUCCESS);
    ASSERT_EQ(length, expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
      const int d = expected[i];
      SCOPED_TRACE("cap[" + std::to_string(d) + "]");
      expectCommonFields(caps[i], d);
      EXPECT_EQ(caps[i].HasNull, dump_.cap(d, "NotButton.HasNull"));
      EXPECT_EQ(caps[i].BitSize, dump_.cap(d, "BitSize"));
      EXPECT_EQ(caps[i].UnitsExp, dump_.cap(d, "UnitsExp"));
      EXPECT_EQ(caps[i].Units, dump_.cap(d, "Units"));
      EXPECT_EQ(caps[i].LogicalMin, dump_.cap(d, "NotButton.LogicalMin"));
      EXPECT_EQ(caps[i].LogicalMax, dump_.cap(d, "NotButton.LogicalMax"));
      EXPECT_EQ(caps[i].PhysicalMin, dump_.cap(d, "NotButton.PhysicalMin"));
      EXPECT_EQ(caps[i].PhysicalMax, dump_.cap(d, "NotButton.PhysicalMax"));
      EXPECT_EQ(caps[i].Reserved, 0);
      EXPECT_TRUE(std::all_of(std::begin(caps[i].Reserved2), std::end(caps[i].Reserved2),
                              [](USHORT reserved) { return reserved == 0; }));
    }
  }
}

std::string oracleName(const ::testing::TestParamInfo<OracleCase>& info) {
  return "Device_" + info.param.name;
}

INSTANTIATE_TEST_SUITE_P(RealDevices, WindowsOracle, ::testing::ValuesIn(OracleCases), oracleName);
INSTANTIATE_TEST_SUITE_P(RealDevices, PublicCapabilities, ::testing::ValuesIn(OracleCases),
                         oracleName);

// --- Behaviours the data set does not show, as Microsoft documents them or as chosen here ----

ParseResult parse(const Bytes& descriptor) {
  return hidreport::parseReportDescriptor(descriptor);
}

// The one top-level collection of a descriptor that must parse.
TopLevelCollection only(const Bytes& descriptor) {
  const ParseResult result = parse(descriptor);
  EXPECT_TRUE(result.ok()) << result.error;
  EXPECT_EQ(result.collections.size(), 1u);
  return result.collections.empty() ? TopLevelCollection{} : result.collections.front();
}

Bytes concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) {
    all.insert(all.end(), part.begin(), part.end());
  }
  return all;
}

// Usage Page (Generic Desktop), Usage (Mouse), Collection (Application) ... End Collection.
Bytes application(const Bytes& body) {
  return concat({{0x05, 0x01, 0x09, 0x02, 0xA1, 0x01}, body, {0xC0}});
}

TEST(ReportDescriptorLayout, AliasedUsagesGiveOneCapabilityEachPreferredLast) {
  // Delimiter { Usage 0x30, 0x31, 0x32 }, one 8-bit variable input.
  const TopLevelCollection c = only(application({0xA9, 0x01, 0x09, 0x30, 0x09, 0x31, 0x09, 0x32,
                                                 0xA9, 0x00, 0x75, 0x08, 0x95, 0x01, 0x81, 0x02}));
  ASSERT_EQ(c.caps[0].size(), 3u);
  EXPECT_EQ(c.caps[0][0].usageMin, 0x32);
  EXPECT_TRUE(c.caps[0][0].isAlias);
  EXPECT_EQ(c.caps[0][1].usageMin, 0x31);
  EXPECT_TRUE(c.caps[0][1].isAlias);
  EXPECT_EQ(c.caps[0][2].usageMin, 0x30);
  EXPECT_FALSE(c.caps[0][2].isAlias);
  for (const Capability& cap : c.caps[0]) {
    EXPECT_EQ(cap.bytePosition, 1);
    EXPECT_EQ(cap.reportCount, 1);
  }
  EXPECT_EQ(c.reportByteLength[0], 2);
}

TEST(ReportDescriptorLayout, ArrayUsagesListedInReverseWithIndicesInDeclarationOrder) {
  // Usage 0x01, Usage Minimum 0x10, Usage Maximum 0x12, Usage 0x20; two 8-bit array fields.
  const TopLevelCollection c = only(application({0x05, 0x09, 0x09, 0x01, 0x19, 0x10, 0x29, 0x12,
                                                 0x09, 0x20, 0x75, 0x08, 0x95, 0x02, 0x81, 0x00}));
  ASSERT_EQ(c.caps[0].size(), 3u);
  const Capability& last = c.caps[0][0];
  const Capability& range = c.caps[0][1];
  const Capability& first = c.caps[0][2];
  EXPECT_EQ(last.usageMin, 0x20);
  EXPECT_EQ(last.dataIndexMin, 4);
  EXPECT_EQ(range.usageMin, 0x10);
  EXPECT_EQ(range.usageMax, 0x12);
  EXPECT_EQ(range.dataIndexMin, 1);
  EXPECT_EQ(range.dataIndexMax, 3);
  EXPECT_EQ(first.usageMin, 0x01);
  EXPECT_EQ(first.dataIndexMin, 0);
  EXPECT_TRUE(last.isMultipleItemsForArray);
  EXPECT_TRUE(range.isMultipleItemsForArray);
  EXPECT_FALSE(first.isMultipleItemsForArray);
  for (const Capability& cap : c.caps[0]) {
    EXPECT_TRUE(cap.isButton);
    EXPECT_EQ(cap.reportCount, 2);
    EXPECT_EQ(cap.bitCount, 16);
  }
}

TEST(ReportDescriptorLayout, VariableItemUsesOnlyTheUsagesItNeedsAndTheLastTakesTheRest) {
  // Four usages for two 1-bit fields, then two usages for five 1-bit fields.
  const TopLevelCollection c =
      only(application({0x05, 0x09, 0x09, 0x01, 0x09, 0x02, 0x09, 0x03, 0x09, 0x04, 0x75, 0x01,
                        0x95, 0x02, 0x81, 0x02, 0x09, 0x05, 0x09, 0x06, 0x95, 0x05, 0x81, 0x02}));
  ASSERT_EQ(c.caps[0].size(), 4u);
  EXPECT_EQ(c.caps[0][0].usageMin, 0x02);
  EXPECT_EQ(c.caps[0][1].usageMin, 0x01);
  EXPECT_EQ(c.caps[0][2].usageMin, 0x06);
  EXPECT_EQ(c.caps[0][2].reportCount, 4);
  EXPECT_EQ(c.caps[0][2].bitPosition, 3);
  EXPECT_EQ(c.caps[0][3].usageMin, 0x05);
  EXPECT_EQ(c.caps[0][3].reportCount, 1);
  EXPECT_EQ(c.caps[0][3].bitPosition, 2);
  EXPECT_EQ(c.capabilitySlots[0], 4);
}

TEST(ReportDescriptorLayout, SiblingCollectionsAreLinkedLastDeclaredFirst) {
  // Three logical collections side by side inside the application collection.
  const TopLevelCollection c = only(application(
      {0x09, 0x30, 0xA1, 0x02, 0xC0, 0x09, 0x31, 0xA1, 0x02, 0xC0, 0x09, 0x32, 0xA1, 0x02, 0xC0}));
  ASSERT_EQ(c.linkCollections.size(), 4u);
  EXPECT_EQ(c.linkCollections[0].numberOfChildren, 3);
  EXPECT_EQ(c.linkCollections[0].firstChild, 3);
  EXPECT_EQ(c.linkCollections[3].nextSibling, 2);
  EXPECT_EQ(c.linkCollections[2].nextSibling, 1);
  EXPECT_EQ(c.linkCollections[1].nextSibling, 0);
  EXPECT_EQ(c.linkCollections[2].linkUsage, 0x31);
}

TEST(ReportDescriptorLayout, ReportIdsKeepTheirOwnBitsAndTheLongestSetsTheLength) {
  // Report 1: 8 bits; report 2: 24 bits, then report 1 again: 8 more bits.
  const TopLevelCollection c = only(
      application({0x85, 0x01, 0x09, 0x30, 0x75, 0x08, 0x95, 0x01, 0x81, 0x02, 0x85, 0x02, 0x09,
                   0x31, 0x95, 0x03, 0x81, 0x02, 0x85, 0x01, 0x09, 0x32, 0x95, 0x01, 0x81, 0x02}));
  ASSERT_EQ(c.caps[0].size(), 3u);
  EXPECT_EQ(c.caps[0][2].reportId, 1);
  EXPECT_EQ(c.caps[0][2].bytePosition, 2);
  EXPECT_EQ(c.reportByteLength[0], 4);
  EXPECT_EQ(c.reportByteLength[1], 0);
}

TEST(ReportDescriptorLayout, GlobalsCarryAcrossCollectionsAndPopRestoresThem) {
  // Collection 1 sets Logical Maximum 5 and pushes, sets 9, pops; collection 2 inherits 5.
  const Bytes first = application({0x15, 0x00, 0x25, 0x05, 0xA4, 0x25, 0x09, 0xB4, 0x09, 0x30, 0x75,
                                   0x08, 0x95, 0x01, 0x81, 0x02});
  const Bytes second = {0x05, 0x01, 0x09, 0x04, 0xA1, 0x01, 0x09, 0x31, 0x81, 0x02, 0xC0};
  const ParseResult result = parse(concat({first, second}));
  ASSERT_TRUE(result.ok()) << result.error;
  ASSERT_EQ(result.collections.size(), 2u);
  EXPECT_EQ(result.collections[0].caps[0][0].logicalMax, 5);
  EXPECT_EQ(result.collections[1].caps[0][0].logicalMax, 5);
  EXPECT_EQ(result.collections[1].usage, 0x04);
  EXPECT_EQ(result.collections[1].caps[0][0].dataIndexMin, 0);
}

TEST(ReportDescriptorLayout, ExtendedUsagesNameTheirOwnPage) {
  // Usage Page (Generic Desktop), Usage (Button page : 3) as a four-byte usage.
  const TopLevelCollection c =
      only(application({0x0B, 0x03, 0x00, 0x09, 0x00, 0x75, 0x01, 0x95, 0x01, 0x81, 0x02}));
  ASSERT_EQ(c.caps[0].size(), 1u);
  EXPECT_EQ(c.caps[0][0].usagePage, 0x09);
  EXPECT_EQ(c.caps[0][0].usageMin, 0x03);
}

TEST(ReportDescriptorLayout, LongItemsAndReservedItemsAreSkipped) {
  const Bytes plain = application({0x09, 0x30, 0x75, 0x08, 0x95, 0x01, 0x81, 0x02});
  const Bytes padded = application({0xFE, 0x03, 0x10, 0xAA, 0xBB, 0xCC, 0x09, 0x30, 0x75, 0x08,
                                    0x95, 0x01, 0x0C, 0x81, 0x02, 0x00});
  EXPECT_EQ(only(padded).caps[0].size(), only(plain).caps[0].size());
  EXPECT_EQ(only(concat({plain, {0x00, 0x00}})).reportByteLength[0], 2);
}

// --- Hostile descriptors: each a clean failure or a well-defined result ----------------------

struct HostileCase {
  const char* name;
  Bytes descriptor;
  const char* error;  // nullptr: parses
};

Bytes nested(std::size_t depth) {
  Bytes d = {0x05, 0x01, 0x09, 0x02};
  for (std::size_t i = 0; i < depth; ++i) {
    d.insert(d.end(), {0xA1, 0x00});
  }
  d.insert(d.end(), depth, 0xC0);
  return d;
}

Bytes pushes(std::size_t count) {
  Bytes body;
  for (std::size_t i = 0; i < count; ++i) {
    body.push_back(0xA4);
  }
  return application(body);
}

// An input report of `bytes` bytes: fields of 8191 bytes (65528 bits, near the most one field
// may hold) and one for the rest.
Bytes reportOfBytes(std::uint32_t bytes) {
  Bytes body = {0x75, 0x08};
  for (std::uint32_t left = bytes; left > 0;) {
    const std::uint32_t count = std::min<std::uint32_t>(left, 8191);
    body.insert(body.end(), {0x96, static_cast<std::uint8_t>(count & 0xFF),
                             static_cast<std::uint8_t>(count >> 8), 0x09, 0x30, 0x81, 0x02});
    left -= count;
  }
  return application(body);
}

const std::vector<HostileCase> HostileCases = {
    {"EmptyDescriptor", {}, "no top-level collection"},
    {"GlobalsOnly", {0x05, 0x01, 0x15, 0x00, 0x25, 0x01}, "no top-level collection"},
    {"TruncatedShortItem",
     {0x05, 0x01, 0x09, 0x02, 0xA1, 0x01, 0x26, 0xFF},
     "item runs past the end of the descriptor"},
    {"TruncatedPrefixOfFourByteItem",
     {0x27, 0x01, 0x02},
     "item runs past the end of the descriptor"},
    {"TruncatedLongItem", {0xFE, 0x05, 0x00, 0x01}, "item runs past the end of the descriptor"},
    {"LongItemHeaderOnly", {0xFE, 0x00}, "item runs past the end of the descriptor"},
    {"EndCollectionFirst", {0xC0}, "End Collection without a Collection"},
    {"ExtraEndCollection", concat({application({}), {0xC0}}),
     "End Collection without a Collection"},
    {"CollectionLeftOpen",
     {0x05, 0x01, 0x09, 0x02, 0xA1, 0x01},
     "collection not closed at the end of the descriptor"},
    {"DeepestNesting", nested(32), nullptr},
    {"NestedTooDeeply", nested(33), "collections nested too deeply"},
    {"PopWithoutPush", application({0xB4}), "Pop without Push"},
    {"DeepestPush", pushes(32), nullptr},
    {"PushTooDeep", pushes(33), "Push nested too deeply"},
    {"InputOutsideCollection",
     {0x09, 0x30, 0x75, 0x08, 0x95, 0x01, 0x81, 0x02},
     "main item outside a collection"},
    {"ReportIdZero", application({0x85, 0x00}), "report ID outside 1..255"},
    {"ReportIdWide", application({0x86, 0x00, 0x01}), "report ID outside 1..255"},
    {"SizeTimesCountOverflows32Bits",
     application(
         {0x09, 0x30, 0x77, 0xFF, 0xFF, 0xFF, 0xFF, 0x97, 0x02, 0x00, 0x00, 0x00, 0x81, 0x02}),
     "field longer than 65535 bits"},
    {"CountBeyond16Bits",
     application({0x09, 0x30, 0x75, 0x01, 0x97, 0x00, 0x00, 0x01, 0x00, 0x81, 0x02}),
     "field longer than 65535 bits"},
    {"LongestReport", reportOfBytes(65534), nullptr},
    {"ReportLongerThanWindowsAllows", reportOfBytes(65535), "report longer than 65534 bytes"},
    {"InvertedUsageRange", application({0x19, 0x10, 0x29, 0x01}),
     "usage range with its minimum above its maximum"},
    {"RangeAcrossPages", application({0x1B, 0x01, 0x00, 0x09, 0x00, 0x2B, 0x05, 0x00, 0x07, 0x00}),
     "usage range across usage pages"},
    {"WholeUsagePageAsArray",
     application({0x19, 0x00, 0x2A, 0xFF, 0xFF, 0x75, 0x10, 0x95, 0x01, 0x81, 0x00}),
     "more than 65535 data indices in one report type"},
    {"RangeInsideDelimiter", application({0xA9, 0x01, 0x19, 0x01, 0x29, 0x02, 0xA9, 0x00}),
     "usage range inside a delimiter set"},
    {"DelimiterLeftOpen", application({0xA9, 0x01, 0x09, 0x30, 0x75, 0x08, 0x95, 0x01, 0x81, 0x02}),
     "unbalanced delimiter"},
    {"DelimiterClosedTwice", application({0xA9, 0x00}), "unbalanced delimiter"},
    {"AliasedArray",
     application(
         {0xA9, 0x01, 0x09, 0x30, 0x09, 0x31, 0xA9, 0x00, 0x75, 0x08, 0x95, 0x01, 0x81, 0x00}),
     "aliased usages on an array item"},
    {"UsagePageWide", {0x07, 0x00, 0x00, 0x01, 0x00}, "usage page wider than 16 bits"},
    {"CollectionTypeWide",
     {0x09, 0x02, 0xA2, 0x00, 0x01, 0xC0},
     "collection type wider than 8 bits"},
    {"StringIndexWide", application({0x7B, 0x00, 0x00, 0x01, 0x00}),
     "string or designator index wider than 16 bits"},
    {"ZeroBitField", application({0x09, 0x30, 0x75, 0x00, 0x95, 0x04, 0x81, 0x02}), nullptr},
};

class HostileDescriptor : public ::testing::TestWithParam<HostileCase> {};

TEST_P(HostileDescriptor, FailsCleanlyOrParses) {
  const ParseResult result = parse(GetParam().descriptor);
  if (GetParam().error == nullptr) {
    EXPECT_TRUE(result.ok()) << result.error;
    EXPECT_FALSE(result.collections.empty());
  } else {
    EXPECT_EQ(result.error, GetParam().error);
    EXPECT_TRUE(result.collections.empty());
  }
}

INSTANTIATE_TEST_SUITE_P(Malformed, HostileDescriptor, ::testing::ValuesIn(HostileCases),
                         [](const ::testing::TestParamInfo<HostileCase>& info) {
                           return std::string(info.param.name);
                         });

TEST(HostileDescriptorLimits, TheLongestReportFillsTheByteLength) {
  const TopLevelCollection c = only(reportOfBytes(65534));
  EXPECT_EQ(c.reportByteLength[0], 0xFFFF);
  ASSERT_EQ(c.caps[0].size(), 9u);
  EXPECT_EQ(c.caps[0].back().nextBytePosition, 0xFFFF);
}

TEST(HostileDescriptorLimits, ARangeOfAllButOneUsageUsesEveryDataIndex) {
  const TopLevelCollection c =
      only(application({0x19, 0x01, 0x2A, 0xFF, 0xFF, 0x75, 0x10, 0x95, 0x01, 0x81, 0x00}));
  ASSERT_EQ(c.caps[0].size(), 1u);
  EXPECT_EQ(c.caps[0][0].dataIndexMax, 0xFFFE);
  _HIDP_PREPARSED_DATA preparsed{c};
  HIDP_CAPS caps{};
  ASSERT_EQ(HidP_GetCaps(&preparsed, &caps), HIDP_STATUS_SUCCESS);
  EXPECT_EQ(caps.NumberInputDataIndices, 0xFFFF);
}

// Sibling logical collections inside one application collection: `count` link collections in
// all.
Bytes collections(std::size_t count) {
  Bytes body;
  for (std::size_t i = 1; i < count; ++i) {
    body.insert(body.end(), {0xA1, 0x02, 0xC0});
  }
  return application(body);
}

// Two variable inputs of `usages` one-bit fields each, every field with its own usage.
Bytes buttonFields(std::size_t usages) {
  Bytes body = {0x05,
                0x09,
                0x75,
                0x01,
                0x96,
                static_cast<std::uint8_t>(usages & 0xFF),
                static_cast<std::uint8_t>(usages >> 8)};
  for (int item = 0; item < 2; ++item) {
    for (std::size_t i = 0; i < usages; ++i) {
      body.insert(body.end(), {0x09, 0x01});
    }
    body.insert(body.end(), {0x81, 0x02});
  }
  return application(body);
}

TEST(HostileDescriptorLimits, LinkCollectionsStopAtWhatAUshortCounts) {
  EXPECT_EQ(only(collections(0xFFFF)).linkCollections.size(), 0xFFFFu);
  EXPECT_EQ(parse(collections(0x10000)).error, "too many collections");
}

TEST(HostileDescriptorLimits, CapabilitiesStopAtWhatAUshortCounts) {
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(only(buttonFields(0x7FFF)).caps[0].size(), 0xFFFEu);
  EXPECT_EQ(parse(buttonFields(0x8000)).error, "more than 65535 capabilities in one report type");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST(HostileDescriptorLimits, VariableRangesStopAtWhatAUshortCounts) {
  // A variable range keeps all its data indices, even for fewer fields than usages.
  const Bytes range = {0x19, 0x01, 0x2A, 0xFF, 0xFF, 0x75, 0x08, 0x95, 0x01, 0x81, 0x02};
  EXPECT_EQ(only(application(range)).caps[0][0].dataIndexMax, 0xFFFE);
  EXPECT_EQ(parse(application(concat({range, {0x09, 0x30, 0x81, 0x02}}))).error,
            "more than 65535 data indices in one report type");
}

// What must hold for anything the parser accepts: the capability calls agree with HidP_GetCaps
// and every field lies inside its report.
void expectConsistent(const TopLevelCollection& collection) {
  _HIDP_PREPARSED_DATA preparsed{collection};
  HIDP_CAPS caps{};
  ASSERT_EQ(HidP_GetCaps(&preparsed, &caps), HIDP_STATUS_SUCCESS);
  const USHORT buttons[3] = {caps.NumberInputButtonCaps, caps.NumberOutputButtonCaps,
                             caps.NumberFeatureButtonCaps};
  const USHORT values[3] = {caps.NumberInputValueCaps, caps.NumberOutputValueCaps,
                            caps.NumberFeatureValueCaps};
  for (int type = 0; type < 3; ++type) {
    EXPECT_EQ(buttons[type] + values[type], collection.caps[type].size());
    EXPECT_LE(collection.caps[type].size(), collection.capabilitySlots[type]);
    for (const Capability& cap : collection.caps[type]) {
      EXPECT_LE(cap.nextBytePosition, collection.reportByteLength[type]);
      EXPECT_LT(cap.linkCollection, collection.linkCollections.size());
      EXPECT_LE(cap.usageMin, cap.usageMax);
    }
    std::vector<HIDP_BUTTON_CAPS> buttonCaps(buttons[type]);
    USHORT length = buttons[type];
    HidP_GetButtonCaps(static_cast<HIDP_REPORT_TYPE>(type), buttonCaps.data(), &length, &preparsed);
    EXPECT_EQ(length, buttons[type]);
    std::vector<HIDP_VALUE_CAPS> valueCaps(values[type]);
    length = values[type];
    HidP_GetValueCaps(static_cast<HIDP_REPORT_TYPE>(type), valueCaps.data(), &length, &preparsed);
    EXPECT_EQ(length, values[type]);
  }
}

Bytes noise(std::uint32_t seed, std::size_t size) {
  std::mt19937 random(seed);
  Bytes bytes(size);
  for (std::uint8_t& byte : bytes) {
    byte = static_cast<std::uint8_t>(random());
  }
  return bytes;
}

// Random well-formed items inside one application collection, collections and Push/Pop kept
// balanced: noise that gets past the structure checks into the capability building.
Bytes itemNoise(std::uint32_t seed, std::size_t size) {
  static constexpr std::uint8_t Prefixes[] = {0x05, 0x09, 0x19, 0x15, 0x25, 0x35, 0x45, 0x55, 0x65,
                                              0x75, 0x95, 0x85, 0x81, 0x91, 0xB1, 0x0B, 0x79, 0x39,
                                              0x89, 0x99, 0xA1, 0xC0, 0xA4, 0xB4, 0xA9, 0x26};
  std::mt19937 random(seed);
  Bytes body;
  int depth = 0;
  int pushed = 0;
  bool aliased = false;  // aliases are for variable fields only
  while (body.size() < size) {
    const std::uint8_t prefix = Prefixes[random() % std::size(Prefixes)];
    if ((prefix == 0xC0 && depth == 0) || (prefix == 0xA1 && depth == 4) ||
        (prefix == 0xB4 && pushed == 0) || (prefix == 0xA4 && pushed == 4)) {
      continue;
    }
    depth += prefix == 0xA1 ? 1 : prefix == 0xC0 ? -1 : 0;
    pushed += prefix == 0xA4 ? 1 : prefix == 0xB4 ? -1 : 0;
    if (prefix == 0xA9) {
      // A delimiter set of two or three aliases.
      body.insert(body.end(), {0xA9, 0x01});
      for (std::uint32_t i = 0, n = 2 + random() % 2; i < n; ++i) {
        body.insert(body.end(), {0x09, static_cast<std::uint8_t>(random())});
      }
      body.insert(body.end(), {0xA9, 0x00});
      aliased = true;
    } else if (prefix == 0x85) {
      body.insert(body.end(), {prefix, static_cast<std::uint8_t>(1 + random() % 3)});
    } else if (prefix == 0x19) {
      // Usage Minimum and Maximum, in order.
      const auto minimum = static_cast<std::uint8_t>(random() % 16);
      body.insert(body.end(),
                  {0x19, minimum, 0x29, static_cast<std::uint8_t>(minimum + random() % 16)});
    } else if (prefix == 0x81 || prefix == 0x91 || prefix == 0xB1) {
      // Mostly variable fields; now and then an array, a constant or a relative one.
      const std::uint32_t flags =
          (random() % 4 == 0 && !aliased ? 0x00 : 0x02) | (random() % 8 == 0 ? 0x01 : 0x00) |
          (random() % 4 == 0 ? 0x04 : 0x00) | (random() % 8 == 0 ? 0x40 : 0x00);
      body.insert(body.end(), {prefix, static_cast<std::uint8_t>(flags)});
      aliased = false;
    } else {
      body.push_back(prefix);
      const int dataSize = prefix & 3;
      for (int i = 0; i < (dataSize == 3 ? 4 : dataSize); ++i) {
        body.push_back(static_cast<std::uint8_t>(random() % 8 == 0 ? random() : random() % 4));
      }
    }
  }
  body.insert(body.end(), static_cast<std::size_t>(depth), 0xC0);
  return application(body);
}

TEST(HostileDescriptorNoise, FourKilobytesOfNoiseFailCleanly) {
  const ParseResult result = parse(noise(0x4F505451, 4096));
  EXPECT_FALSE(result.ok());
  EXPECT_TRUE(result.collections.empty());
}

TEST(HostileDescriptorNoise, ManyNoiseBuffersFinishQuicklyAndStayConsistent) {
  const auto start = std::chrono::steady_clock::now();
  int parsed = 0;
  for (std::uint32_t seed = 1; seed <= 3000; ++seed) {
    const std::size_t size = 1 + seed * 7919 % 4096;
    for (const Bytes& descriptor : {noise(seed, size), itemNoise(seed, size)}) {
      const ParseResult result = parse(descriptor);
      EXPECT_EQ(result.ok(), result.error.empty());
      if (result.ok()) {
        ++parsed;
        for (const TopLevelCollection& collection : result.collections) {
          expectConsistent(collection);
        }
      }
    }
  }
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_LT(elapsed, std::chrono::seconds(20));
  EXPECT_GT(parsed, 0) << "no noise buffer reached the capability calls";
}

// --- The HidP_* calls: statuses and lengths -------------------------------------------------

class CapabilityCalls : public ::testing::Test {
 protected:
  // The receiver's keyboard: an 8-bit modifier range and a 6-key array in, 5 LEDs out.
  _HIDP_PREPARSED_DATA keyboard_{*collectionOf({"046D_C534_0006_0001", ""})};
  static constexpr auto BadType = static_cast<HIDP_REPORT_TYPE>(3);
};

TEST_F(CapabilityCalls, NullPreparsedDataIsInvalid) {
  HIDP_CAPS caps{};
  HIDP_BUTTON_CAPS button{};
  HIDP_VALUE_CAPS value{};
  USHORT length = 1;
  EXPECT_EQ(HidP_GetCaps(nullptr, &caps), HIDP_STATUS_INVALID_PREPARSED_DATA);
  EXPECT_EQ(HidP_GetButtonCaps(HidP_Input, &button, &length, nullptr),
            HIDP_STATUS_INVALID_PREPARSED_DATA);
  EXPECT_EQ(HidP_GetValueCaps(HidP_Input, &value, &length, nullptr),
            HIDP_STATUS_INVALID_PREPARSED_DATA);
  EXPECT_EQ(HidP_MaxUsageListLength(HidP_Input, 0, nullptr), 0u);
}

TEST_F(CapabilityCalls, NullOutputPointersAreReported) {
  HIDP_BUTTON_CAPS button{};
  USHORT length = 1;
  EXPECT_EQ(HidP_GetCaps(&keyboard_, nullptr), HIDP_STATUS_NULL);
  EXPECT_EQ(HidP_GetButtonCaps(HidP_Input, &button, nullptr, &keyboard_), HIDP_STATUS_NULL);
  EXPECT_EQ(HidP_GetButtonCaps(HidP_Input, nullptr, &length, &keyboard_), HIDP_STATUS_NULL);
  EXPECT_EQ(HidP_GetValueCaps(HidP_Input, nullptr, &length, &keyboard_), HIDP_STATUS_NULL);
}

TEST_F(CapabilityCalls, BadReportTypeIsRefused) {
  HIDP_BUTTON_CAPS button{};
  HIDP_VALUE_CAPS value{};
  USHORT length = 1;
  EXPECT_EQ(HidP_GetButtonCaps(BadType, &button, &length, &keyboard_),
            HIDP_STATUS_INVALID_REPORT_TYPE);
  EXPECT_EQ(HidP_GetValueCaps(BadType, &value, &length, &keyboard_),
            HIDP_STATUS_INVALID_REPORT_TYPE);
  EXPECT_EQ(HidP_MaxUsageListLength(BadType, 0, &keyboard_), 0u);
}

TEST_F(CapabilityCalls, ShortBufferGetsWhatFitsAndSaysSo) {
  HIDP_BUTTON_CAPS buttons[2] = {};
  USHORT length = 1;
  EXPECT_EQ(HidP_GetButtonCaps(HidP_Input, buttons, &length, &keyboard_),
            HIDP_STATUS_BUFFER_TOO_SMALL);
  EXPECT_EQ(length, 1);
  EXPECT_EQ(buttons[0].Range.UsageMin, 0xE0);
  EXPECT_EQ(buttons[1].UsagePage, 0) << "written past the length given";
  length = 0;
  EXPECT_EQ(HidP_GetButtonCaps(HidP_Input, nullptr, &length, &keyboard_),
            HIDP_STATUS_BUFFER_TOO_SMALL);
  EXPECT_EQ(length, 0);
}

TEST_F(CapabilityCalls, TypeWithoutCapabilitiesFindsNone) {
  HIDP_VALUE_CAPS value{};
  HIDP_BUTTON_CAPS button{};
  USHORT length = 1;
  EXPECT_EQ(HidP_GetValueCaps(HidP_Input, &value, &length, &keyboard_),
            HIDP_STATUS_USAGE_NOT_FOUND);
  EXPECT_EQ(length, 0);
  length = 1;
  EXPECT_EQ(HidP_GetButtonCaps(HidP_Feature, &button, &length, &keyboard_),
            HIDP_STATUS_USAGE_NOT_FOUND);
  EXPECT_EQ(length, 0);
}

TEST_F(CapabilityCalls, MaxUsageListLengthSumsReportCountsNotRangeSizes) {
  // Input: modifiers 0xE0..0xE7 (8 fields) and the key array 0x00..0xA4 (6 fields), page 7.
  EXPECT_EQ(HidP_MaxUsageListLength(HidP_Input, 0x07, &keyboard_), 14u);
  EXPECT_EQ(HidP_MaxUsageListLength(HidP_Input, 0, &keyboard_), 14u);
  EXPECT_EQ(HidP_MaxUsageListLength(HidP_Input, 0x08, &keyboard_), 0u);
  EXPECT_EQ(HidP_MaxUsageListLength(HidP_Output, 0x08, &keyboard_), 5u);
  EXPECT_EQ(HidP_MaxUsageListLength(HidP_Feature, 0, &keyboard_), 0u);
}

}  // namespace
