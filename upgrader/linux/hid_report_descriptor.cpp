// What Windows' HID parser does with a report descriptor, as eighteen real devices and the
// preparsed data Windows built for them show it (tests/data/hid-descriptors):
// - The descriptor is read as one stream: global items, Push and Pop carry over from one
//   top-level collection to the next; local items describe the next main item only.
// - Each report type and report ID has its own bit counter. Byte 0 of every report is the
//   report ID, also on devices without report IDs, so fields start at byte 1 and a report
//   type's byte length is its longest report plus one (0 when the type has none).
// - A field is a button when it is one bit wide or an array; otherwise a value. A variable
//   button keeps no logical range (0, 0); an array keeps it, a value keeps logical and physical
//   ranges and its Null State as HasNull.
// - A variable item gives one capability per usage or usage range, each for as many fields as
//   it names; the last usage set needed takes all the fields left, one usage for many fields
//   being a usage value array. The capabilities of one item are listed in reverse order of
//   declaration, and data indices are handed out in that listed order (so on a mouse Y gets a
//   lower index than X), from 0 in each report type.
// - A usage range is one capability with IsRange; its data indices are as many as its usages,
//   whatever the report count.
// - Every usage a main item names reserves a capability slot. A constant field named by usage 0
//   is padding: it keeps its slot and takes its bits but gets no capability and no data index;
//   a constant field named by another usage is a capability with IsPadding. A main item
//   without usages gets neither slot nor capability.
// - Link collections are numbered in declaration order; capabilities name the innermost one.
// - A logical or physical limit is read as a two's-complement number of its item's size.
// What the data set does not show follows Microsoft's descriptions of the capability arrays:
// - An array item's usages are also listed in reverse, but their data indices follow the order
//   of declaration. (The internal IsMultipleItemsForArray is set, as IsAlias is for aliases, on
//   every capability of such an item but the last listed: an inference, not documented.)
// - Aliases (usages between delimiters) give one capability each at the same bits, in reverse
//   order of declaration, all but the last marked IsAlias: the last is the preferred usage.
// - Usages beyond those a variable item needs are discarded.
// Not settled by the data set or the documentation: a collection's children are linked last
// declared first (FirstChild, then NextSibling back towards the first), the way Windows is
// understood to insert them, although Microsoft's figure of a link collection array draws them
// in declaration order; a device with sibling collections would settle it. Chosen here: a
// collection named by aliases takes the first; a string or designator index applies to every
// capability of its main item.
#include "hid_report_descriptor.h"

#include <algorithm>
#include <optional>

namespace hidreport {
namespace {

// The item format of a report descriptor: a prefix byte holding bTag (bits 7..4), bType (3..2)
// and bSize (1..0: 0, 1, 2 or 4 data bytes), then the data, little-endian. The prefix 0xFE
// starts a long item: a data size byte, a tag byte and up to 255 data bytes. No long item tag is
// defined, so a long item is skipped whole.
constexpr std::uint8_t LongItemPrefix = 0xFE;
constexpr std::uint8_t TagAndTypeMask = 0xFC;
constexpr std::uint8_t TypeMask = 0x0C;
constexpr std::uint8_t MainType = 0x00;
constexpr std::uint8_t GlobalType = 0x04;
constexpr std::uint8_t LocalType = 0x08;

// Prefixes with bSize cleared.
constexpr std::uint8_t InputItem = 0x80;
constexpr std::uint8_t OutputItem = 0x90;
constexpr std::uint8_t FeatureItem = 0xB0;
constexpr std::uint8_t CollectionItem = 0xA0;
constexpr std::uint8_t EndCollectionItem = 0xC0;

constexpr std::uint8_t UsagePageItem = 0x04;
constexpr std::uint8_t LogicalMinimumItem = 0x14;
constexpr std::uint8_t LogicalMaximumItem = 0x24;
constexpr std::uint8_t PhysicalMinimumItem = 0x34;
constexpr std::uint8_t PhysicalMaximumItem = 0x44;
constexpr std::uint8_t UnitExponentItem = 0x54;
constexpr std::uint8_t UnitItem = 0x64;
constexpr std::uint8_t ReportSizeItem = 0x74;
constexpr std::uint8_t ReportIdItem = 0x84;
constexpr std::uint8_t ReportCountItem = 0x94;
constexpr std::uint8_t PushItem = 0xA4;
constexpr std::uint8_t PopItem = 0xB4;

constexpr std::uint8_t UsageItem = 0x08;
constexpr std::uint8_t UsageMinimumItem = 0x18;
constexpr std::uint8_t UsageMaximumItem = 0x28;
constexpr std::uint8_t DesignatorIndexItem = 0x38;
constexpr std::uint8_t DesignatorMinimumItem = 0x48;
constexpr std::uint8_t DesignatorMaximumItem = 0x58;
constexpr std::uint8_t StringIndexItem = 0x78;
constexpr std::uint8_t StringMinimumItem = 0x88;
constexpr std::uint8_t StringMaximumItem = 0x98;
constexpr std::uint8_t DelimiterItem = 0xA8;

constexpr std::uint32_t DelimiterOpen = 1;
constexpr std::uint32_t DelimiterClose = 0;

// Bits of an Input, Output or Feature item's data.
constexpr std::uint32_t ConstantBit = 0x01;
constexpr std::uint32_t VariableBit = 0x02;
constexpr std::uint32_t RelativeBit = 0x04;
constexpr std::uint32_t NullStateBit = 0x40;

// What the preparsed data's 16-bit fields can hold: a report byte length counts the report ID
// byte, a bit count covers one capability's fields, data indices are counted in a USHORT.
constexpr std::uint32_t MaxReportBytes = 0xFFFE;
constexpr std::uint32_t MaxFieldBits = 0xFFFF;
constexpr std::uint32_t MaxDataIndices = 0xFFFF;
constexpr std::size_t MaxCapabilitySlots = 0xFFFF;
constexpr std::size_t MaxLinkCollections = 0xFFFF;
constexpr std::uint32_t MaxReportId = 0xFF;
// Far deeper than any device nests; a bound keeps hostile descriptors cheap.
constexpr std::size_t MaxCollectionDepth = 32;
constexpr std::size_t MaxPushDepth = 32;

constexpr const char* TruncatedItem = "item runs past the end of the descriptor";
constexpr const char* MainItemOutsideCollection = "main item outside a collection";
constexpr const char* EndWithoutCollection = "End Collection without a Collection";
constexpr const char* CollectionNotClosed = "collection not closed at the end of the descriptor";
constexpr const char* CollectionsTooDeep = "collections nested too deeply";
constexpr const char* TooManyCollections = "too many collections";
constexpr const char* NoTopLevelCollection = "no top-level collection";
constexpr const char* PopWithoutPush = "Pop without Push";
constexpr const char* PushTooDeep = "Push nested too deeply";
constexpr const char* BadReportId = "report ID outside 1..255";
constexpr const char* WideUsagePage = "usage page wider than 16 bits";
constexpr const char* WideCollectionType = "collection type wider than 8 bits";
constexpr const char* WideIndex = "string or designator index wider than 16 bits";
constexpr const char* InvertedRange = "usage range with its minimum above its maximum";
constexpr const char* RangeAcrossPages = "usage range across usage pages";
constexpr const char* RangeInDelimiter = "usage range inside a delimiter set";
constexpr const char* BadDelimiter = "unbalanced delimiter";
constexpr const char* AliasedArray = "aliased usages on an array item";
constexpr const char* FieldTooLong = "field longer than 65535 bits";
constexpr const char* ReportTooLong = "report longer than 65534 bytes";
constexpr const char* TooManyDataIndices = "more than 65535 data indices in one report type";
constexpr const char* TooManyCapabilities = "more than 65535 capabilities in one report type";

struct Item {
  std::uint8_t prefix = 0;  // bTag and bType, bSize cleared
  std::uint8_t size = 0;    // data bytes
  std::uint32_t data = 0;
  bool isLong = false;
};

// Reads the items of a descriptor one by one, never past its end.
class ItemReader {
 public:
  explicit ItemReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

  bool atEnd() const { return position_ >= bytes_.size(); }

  // The next item, or nothing when it would run past the end.
  std::optional<Item> next() {
    const std::size_t left = bytes_.size() - position_;
    const std::uint8_t prefix = bytes_[position_];
    if (prefix == LongItemPrefix) {
      if (left < 3 || left - 3 < bytes_[position_ + 1]) {
        return std::nullopt;
      }
      position_ += 3u + bytes_[position_ + 1];
      return Item{prefix, 0, 0, true};
    }
    static constexpr std::uint8_t DataSizes[] = {0, 1, 2, 4};
    const std::uint8_t size = DataSizes[prefix & 0x03];
    if (left - 1 < size) {
      return std::nullopt;
    }
    std::uint32_t data = 0;
    for (std::uint8_t i = 0; i < size; ++i) {
      data |= std::uint32_t{bytes_[position_ + 1 + i]} << (8 * i);
    }
    position_ += 1u + size;
    return Item{static_cast<std::uint8_t>(prefix & TagAndTypeMask), size, data, false};
  }

 private:
  std::span<const std::uint8_t> bytes_;
  std::size_t position_ = 0;
};

// Item data read as a two's-complement number of its own size.
std::int32_t signedData(const Item& item) {
  switch (item.size) {
    case 1:
      return static_cast<std::int8_t>(item.data);
    case 2:
      return static_cast<std::int16_t>(item.data);
    case 4:
      return static_cast<std::int32_t>(item.data);
    default:
      return 0;
  }
}

struct GlobalState {
  std::uint16_t usagePage = 0;
  std::int32_t logicalMin = 0, logicalMax = 0;
  std::int32_t physicalMin = 0, physicalMax = 0;
  std::uint32_t unitExponent = 0, unit = 0;
  std::uint32_t reportSize = 0, reportCount = 0;
  std::uint8_t reportId = 0;
};

// A usage or usage range as a local item declared it, with the usage page in force when it was
// declared (or the page of an extended, four-byte usage).
struct UsageEntry {
  std::uint16_t page = 0;
  std::uint16_t min = 0, max = 0;
  bool isRange = false;
  std::uint32_t count() const { return std::uint32_t{max} - min + 1u; }
};

struct LocalState {
  // Usage sets in declaration order: one usage or range each, or, between delimiters, the
  // aliases of one control. setStarts[i] is where set i begins in usages.
  std::vector<UsageEntry> usages;
  std::vector<std::size_t> setStarts;
  std::optional<UsageEntry> usageMinimum, usageMaximum;
  bool inDelimiter = false;
  bool delimiterHasUsage = false;
  std::optional<std::uint16_t> stringIndex, stringMinimum, stringMaximum;
  std::optional<std::uint16_t> designatorIndex, designatorMinimum, designatorMaximum;

  std::size_t setCount() const { return setStarts.size(); }
  std::size_t setBegin(std::size_t set) const { return setStarts[set]; }
  std::size_t setEnd(std::size_t set) const {
    return set + 1 < setStarts.size() ? setStarts[set + 1] : usages.size();
  }
};

// Where one usage set of a main item lies in its report.
struct Placement {
  std::size_t set = 0;
  std::uint32_t bitOffset = 0;
  std::uint16_t reportCount = 0;
  std::uint32_t firstDataIndex = 0;  // arrays only: indices follow declaration order
};

// A string or designator local item pair: a range when both ends were given, else the index.
struct IndexRange {
  std::uint16_t min = 0, max = 0;
  bool isRange = false;
};

IndexRange indexRangeOf(const std::optional<std::uint16_t>& index,
                        const std::optional<std::uint16_t>& minimum,
                        const std::optional<std::uint16_t>& maximum) {
  if (minimum && maximum) {
    return {*minimum, *maximum, true};
  }
  const std::uint16_t single = index.value_or(0);
  return {single, single, false};
}

class Parser {
 public:
  ParseResult run(std::span<const std::uint8_t> descriptor) {
    ItemReader reader(descriptor);
    while (error_ == nullptr && !reader.atEnd()) {
      const std::optional<Item> item = reader.next();
      if (!item) {
        fail(TruncatedItem);
      } else if (!item->isLong) {
        handle(*item);
      }
    }
    if (error_ == nullptr && !collectionStack_.empty()) {
      fail(CollectionNotClosed);
    }
    if (error_ == nullptr && collections_.empty()) {
      fail(NoTopLevelCollection);
    }
    ParseResult result;
    if (error_ != nullptr) {
      result.error = error_;
    } else {
      result.collections = std::move(collections_);
    }
    return result;
  }

 private:
  bool fail(const char* message) {
    if (error_ == nullptr) {
      error_ = message;
    }
    return false;
  }

  void handle(const Item& item) {
    switch (item.prefix & TypeMask) {
      case MainType:
        handleMain(item);
        break;
      case GlobalType:
        handleGlobal(item);
        break;
      case LocalType:
        handleLocal(item);
        break;
      default:
        break;  // reserved items carry nothing a parser knows: skipped
    }
  }

  void handleMain(const Item& item) {
    switch (item.prefix) {
      case InputItem:
        addField(InputReport, item.data);
        break;
      case OutputItem:
        addField(OutputReport, item.data);
        break;
      case FeatureItem:
        addField(FeatureReport, item.data);
        break;
      case CollectionItem:
        openCollection(item.data);
        break;
      case EndCollectionItem:
        closeCollection();
        break;
      default:
        break;  // reserved main item tags (devices pad descriptors with zero bytes): skipped
    }
    // Local items describe the next main item only.
    local_ = LocalState{};
  }

  void handleGlobal(const Item& item) {
    switch (item.prefix) {
      case UsagePageItem:
        if (item.data > 0xFFFF) {
          fail(WideUsagePage);
        }
        global_.usagePage = static_cast<std::uint16_t>(item.data);
        break;
      case LogicalMinimumItem:
        global_.logicalMin = signedData(item);
        break;
      case LogicalMaximumItem:
        global_.logicalMax = signedData(item);
        break;
      case PhysicalMinimumItem:
        global_.physicalMin = signedData(item);
        break;
      case PhysicalMaximumItem:
        global_.physicalMax = signedData(item);
        break;
      case UnitExponentItem:
        global_.unitExponent = item.data;
        break;
      case UnitItem:
        global_.unit = item.data;
        break;
      case ReportSizeItem:
        global_.reportSize = item.data;
        break;
      case ReportIdItem:
        if (item.data == 0 || item.data > MaxReportId) {
          fail(BadReportId);
        }
        global_.reportId = static_cast<std::uint8_t>(item.data);
        break;
      case ReportCountItem:
        global_.reportCount = item.data;
        break;
      case PushItem:
        if (globalStack_.size() == MaxPushDepth) {
          fail(PushTooDeep);
        } else {
          globalStack_.push_back(global_);
        }
        break;
      case PopItem:
        if (globalStack_.empty()) {
          fail(PopWithoutPush);
        } else {
          global_ = globalStack_.back();
          globalStack_.pop_back();
        }
        break;
      default:
        break;
    }
  }

  void handleLocal(const Item& item) {
    switch (item.prefix) {
      case UsageItem:
        addUsage(usageOf(item));
        break;
      case UsageMinimumItem:
        local_.usageMinimum = usageOf(item);
        addRangeWhenComplete();
        break;
      case UsageMaximumItem:
        local_.usageMaximum = usageOf(item);
        addRangeWhenComplete();
        break;
      case StringIndexItem:
        setIndex(local_.stringIndex, item);
        break;
      case StringMinimumItem:
        setIndex(local_.stringMinimum, item);
        break;
      case StringMaximumItem:
        setIndex(local_.stringMaximum, item);
        break;
      case DesignatorIndexItem:
        setIndex(local_.designatorIndex, item);
        break;
      case DesignatorMinimumItem:
        setIndex(local_.designatorMinimum, item);
        break;
      case DesignatorMaximumItem:
        setIndex(local_.designatorMaximum, item);
        break;
      case DelimiterItem:
        delimit(item.data);
        break;
      default:
        break;
    }
  }

  // A four-byte usage names its own page in the high half; a shorter one takes the usage page in
  // force where it is declared (a range: where its minimum is declared).
  UsageEntry usageOf(const Item& item) const {
    const std::uint16_t usage = static_cast<std::uint16_t>(item.data & 0xFFFF);
    const std::uint16_t page =
        item.size == 4 ? static_cast<std::uint16_t>(item.data >> 16) : global_.usagePage;
    return UsageEntry{page, usage, usage, false};
  }

  void addUsage(const UsageEntry& entry) {
    if (!local_.inDelimiter || !local_.delimiterHasUsage) {
      local_.setStarts.push_back(local_.usages.size());
    }
    if (local_.inDelimiter) {
      local_.delimiterHasUsage = true;
    }
    local_.usages.push_back(entry);
  }

  void addRangeWhenComplete() {
    if (!local_.usageMinimum || !local_.usageMaximum) {
      return;
    }
    const UsageEntry& minimum = *local_.usageMinimum;
    const UsageEntry& maximum = *local_.usageMaximum;
    if (local_.inDelimiter) {
      fail(RangeInDelimiter);
    } else if (minimum.page != maximum.page) {
      fail(RangeAcrossPages);
    } else if (minimum.min > maximum.min) {
      fail(InvertedRange);
    } else {
      addUsage(UsageEntry{minimum.page, minimum.min, maximum.min, true});
    }
    local_.usageMinimum.reset();
    local_.usageMaximum.reset();
  }

  void setIndex(std::optional<std::uint16_t>& field, const Item& item) {
    if (item.data > 0xFFFF) {
      fail(WideIndex);
    }
    field = static_cast<std::uint16_t>(item.data);
  }

  void delimit(std::uint32_t data) {
    if (data == DelimiterOpen && !local_.inDelimiter) {
      local_.inDelimiter = true;
      local_.delimiterHasUsage = false;
    } else if (data == DelimiterClose && local_.inDelimiter) {
      local_.inDelimiter = false;
    } else {
      fail(BadDelimiter);
    }
  }

  void openCollection(std::uint32_t type) {
    if (type > 0xFF) {
      fail(WideCollectionType);
      return;
    }
    if (collectionStack_.size() == MaxCollectionDepth) {
      fail(CollectionsTooDeep);
      return;
    }
    // A collection is named by its first usage; aliases of a collection are not kept apart.
    LinkCollectionNode node;
    node.linkUsagePage = global_.usagePage;
    if (!local_.usages.empty()) {
      node.linkUsagePage = local_.usages.front().page;
      node.linkUsage = local_.usages.front().min;
    }
    node.collectionType = static_cast<std::uint8_t>(type);
    if (collectionStack_.empty()) {
      // Windows makes one device interface, with its own preparsed data, per top-level collection.
      TopLevelCollection collection;
      collection.usagePage = node.linkUsagePage;
      collection.usage = node.linkUsage;
      collection.linkCollections.push_back(node);
      collections_.push_back(std::move(collection));
      reportBits_ = {};
      dataIndices_ = {};
      collectionStack_.push_back(0);
      return;
    }
    std::vector<LinkCollectionNode>& nodes = collections_.back().linkCollections;
    if (nodes.size() == MaxLinkCollections) {
      fail(TooManyCollections);
      return;
    }
    // A new child goes in front of its earlier siblings: the parent's FirstChild is the child
    // declared last, and NextSibling leads back towards the first.
    const auto index = static_cast<std::uint16_t>(nodes.size());
    LinkCollectionNode& parent = nodes[collectionStack_.back()];
    node.parent = collectionStack_.back();
    node.nextSibling = parent.firstChild;
    parent.firstChild = index;
    ++parent.numberOfChildren;
    nodes.push_back(node);
    collectionStack_.push_back(index);
  }

  void closeCollection() {
    if (collectionStack_.empty()) {
      fail(EndWithoutCollection);
      return;
    }
    collectionStack_.pop_back();
  }

  // An Input, Output or Feature item: its fields take the next bits of their report, and each
  // usage set that names them becomes one capability (one per alias).
  void addField(std::size_t type, std::uint32_t flags) {
    if (collectionStack_.empty()) {
      fail(MainItemOutsideCollection);
      return;
    }
    if (local_.inDelimiter) {
      fail(BadDelimiter);
      return;
    }
    const std::uint64_t fieldBits = std::uint64_t{global_.reportSize} * global_.reportCount;
    if (fieldBits > MaxFieldBits) {
      fail(FieldTooLong);
      return;
    }
    if (fieldBits == 0) {
      return;  // a field of no bits has nothing to report
    }
    std::uint32_t& reportBits = reportBits_[type][global_.reportId];
    const std::uint32_t offset = reportBits;
    if (offset + fieldBits > MaxReportBytes * 8u) {
      fail(ReportTooLong);
      return;
    }
    reportBits = offset + static_cast<std::uint32_t>(fieldBits);
    TopLevelCollection& collection = collections_.back();
    // The report ID byte is counted whether or not the device uses report IDs.
    const auto byteLength = static_cast<std::uint16_t>((reportBits + 7) / 8 + 1);
    collection.reportByteLength[type] = std::max(collection.reportByteLength[type], byteLength);

    const bool isArray = (flags & VariableBit) == 0;
    std::vector<Placement> placements;
    if (!isArray) {
      placeVariable(offset, placements);
    } else if (!placeArray(type, offset, placements)) {
      return;
    }
    // Windows lists the capabilities of one main item in reverse order of declaration; the
    // capabilities of an array item but the last listed are IsMultipleItemsForArray.
    for (std::size_t k = placements.size(); k-- > 0;) {
      if (!addCapabilities(type, flags, placements[k], isArray && k > 0)) {
        return;
      }
    }
  }

  // A variable item: one field per usage in declaration order, a range naming as many fields as
  // it has usages; the last usage set needed takes all the fields left. Sets beyond the report
  // count are discarded.
  void placeVariable(std::uint32_t offset, std::vector<Placement>& placements) {
    std::uint32_t left = global_.reportCount;
    std::uint32_t bit = offset;
    const std::size_t sets = local_.setCount();
    for (std::size_t set = 0; set < sets && left > 0; ++set) {
      const std::uint32_t wanted = local_.usages[local_.setBegin(set)].count();
      const std::uint32_t taken = set + 1 == sets ? left : std::min(wanted, left);
      placements.push_back(Placement{set, bit, static_cast<std::uint16_t>(taken), 0});
      bit += taken * global_.reportSize;
      left -= taken;
    }
  }

  // An array item: every usage set describes the whole field. Its data indices follow the order
  // of declaration although its capabilities are listed in reverse.
  bool placeArray(std::size_t type, std::uint32_t offset, std::vector<Placement>& placements) {
    std::uint32_t next = dataIndices_[type];
    for (std::size_t set = 0; set < local_.setCount(); ++set) {
      if (local_.setEnd(set) - local_.setBegin(set) > 1) {
        return fail(AliasedArray);
      }
      const std::uint32_t count = local_.usages[local_.setBegin(set)].count();
      if (count > MaxDataIndices - next) {
        return fail(TooManyDataIndices);
      }
      placements.push_back(
          Placement{set, offset, static_cast<std::uint16_t>(global_.reportCount), next});
      next += count;
    }
    dataIndices_[type] = next;
    return true;
  }

  // The capabilities of one usage set: one per alias, the aliases in reverse order of
  // declaration, all but the last marked IsAlias (the last is the preferred usage, declared
  // first). Every usage reserves a capability slot, but a constant field named by usage 0 is
  // padding and gets no capability.
  bool addCapabilities(std::size_t type, std::uint32_t flags, const Placement& placement,
                       bool moreItemsForArray) {
    TopLevelCollection& collection = collections_.back();
    const std::size_t begin = local_.setBegin(placement.set);
    const std::size_t end = local_.setEnd(placement.set);
    const bool isConstant = (flags & ConstantBit) != 0;
    for (std::size_t i = end; i-- > begin;) {
      if (collection.capabilitySlots[type] == MaxCapabilitySlots) {
        return fail(TooManyCapabilities);
      }
      ++collection.capabilitySlots[type];
      const UsageEntry& usage = local_.usages[i];
      if (isConstant && !usage.isRange && usage.min == 0) {
        continue;
      }
      std::uint32_t firstDataIndex = placement.firstDataIndex;
      if ((flags & VariableBit) != 0) {
        // Variable items take their data indices in the order of their capabilities.
        if (usage.count() > MaxDataIndices - dataIndices_[type]) {
          return fail(TooManyDataIndices);
        }
        firstDataIndex = dataIndices_[type];
        dataIndices_[type] += usage.count();
      }
      Capability cap = fieldCapability(flags, placement);
      cap.isMultipleItemsForArray = moreItemsForArray;
      cap.isAlias = i != begin;
      cap.usagePage = usage.page;
      cap.isRange = usage.isRange;
      cap.usageMin = usage.min;
      cap.usageMax = usage.max;
      cap.dataIndexMin = static_cast<std::uint16_t>(firstDataIndex);
      cap.dataIndexMax = static_cast<std::uint16_t>(firstDataIndex + usage.count() - 1);
      collection.caps[type].push_back(cap);
    }
    return true;
  }

  // The fields a capability takes from the main item, the global state and its collection.
  Capability fieldCapability(std::uint32_t flags, const Placement& placement) const {
    const TopLevelCollection& collection = collections_.back();
    const std::uint16_t link = collectionStack_.back();
    const LinkCollectionNode& node = collection.linkCollections[link];
    const bool isArray = (flags & VariableBit) == 0;
    Capability cap;
    cap.reportId = global_.reportId;
    cap.bitSize = static_cast<std::uint16_t>(global_.reportSize);
    cap.reportCount = placement.reportCount;
    cap.bitCount = static_cast<std::uint16_t>(placement.reportCount * global_.reportSize);
    cap.bytePosition = static_cast<std::uint16_t>(1 + placement.bitOffset / 8);
    cap.bitPosition = static_cast<std::uint8_t>(placement.bitOffset % 8);
    cap.nextBytePosition =
        static_cast<std::uint16_t>(cap.bytePosition + (cap.bitPosition + cap.bitCount + 7) / 8);
    cap.bitField = flags;
    cap.linkCollection = link;
    cap.linkUsagePage = node.linkUsagePage;
    cap.linkUsage = node.linkUsage;
    // A field is a button when it is one bit wide or an array of usages; otherwise a value.
    cap.isButton = isArray || global_.reportSize == 1;
    cap.isPadding = (flags & ConstantBit) != 0;
    cap.isAbsolute = (flags & RelativeBit) == 0;
    const IndexRange strings =
        indexRangeOf(local_.stringIndex, local_.stringMinimum, local_.stringMaximum);
    cap.isStringRange = strings.isRange;
    cap.stringMin = strings.min;
    cap.stringMax = strings.max;
    const IndexRange designators =
        indexRangeOf(local_.designatorIndex, local_.designatorMinimum, local_.designatorMaximum);
    cap.isDesignatorRange = designators.isRange;
    cap.designatorMin = designators.min;
    cap.designatorMax = designators.max;
    cap.units = global_.unit;
    cap.unitsExp = global_.unitExponent;
    if (cap.isButton) {
      // A variable button is on or off; only an array keeps its logical range (the indices its
      // fields may hold).
      if (isArray) {
        cap.logicalMin = global_.logicalMin;
        cap.logicalMax = global_.logicalMax;
      }
    } else {
      cap.hasNull = (flags & NullStateBit) != 0;
      cap.logicalMin = global_.logicalMin;
      cap.logicalMax = global_.logicalMax;
      cap.physicalMin = global_.physicalMin;
      cap.physicalMax = global_.physicalMax;
    }
    return cap;
  }

  GlobalState global_;
  std::vector<GlobalState> globalStack_;
  LocalState local_;
  std::vector<TopLevelCollection> collections_;
  std::vector<std::uint16_t> collectionStack_;  // link collection indices, innermost last
  // Per report type and report ID, the bits taken so far in the current top-level collection.
  std::array<std::array<std::uint32_t, MaxReportId + 1>, ReportTypeCount> reportBits_{};
  std::array<std::uint32_t, ReportTypeCount> dataIndices_{};
  const char* error_ = nullptr;
};

}  // namespace

ParseResult parseReportDescriptor(std::span<const std::uint8_t> descriptor) {
  return Parser{}.run(descriptor);
}

}  // namespace hidreport
