// libFuzzer target: any bytes as the `descriptors` file of a USB video device. The device writes
// those bytes itself, so whatever they hold must give a topology (possibly without nodes), never
// a read outside them. They are read as the backend reads them: for the configuration and the
// VideoControl interface that sysfs names, for other numbers, and with neither known. The seed
// corpus in fuzz/corpus/uvc_topology_fuzz holds the descriptors of whole devices, made by
// fuzz/make_uvc_corpus.py.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <optional>
#include <span>
#include <vector>

#include "uvc_topology.h"

namespace {

// The shortest class-specific descriptor that can be a node: length, type, subtype and id.
constexpr std::size_t ShortestNode = 4;

void require(bool promise) {
  if (!promise) {
    std::abort();
  }
}

// The 16 bytes of a GUID as a descriptor carries it.
std::array<std::uint8_t, 16> wireBytes(const GUID& guid) {
  std::array<std::uint8_t, 16> bytes{};
  for (std::size_t i = 0; i < 4; ++i) {
    bytes[i] = static_cast<std::uint8_t>(guid.Data1 >> (8 * i));
  }
  for (std::size_t i = 0; i < 2; ++i) {
    bytes[4 + i] = static_cast<std::uint8_t>(guid.Data2 >> (8 * i));
    bytes[6 + i] = static_cast<std::uint8_t>(guid.Data3 >> (8 * i));
  }
  std::copy(std::begin(guid.Data4), std::end(guid.Data4), bytes.begin() + 8);
  return bytes;
}

void read(std::span<const std::uint8_t> bytes, std::optional<std::uint8_t> configuration,
          std::optional<std::uint8_t> interface) {
  const std::vector<TopologyNode> nodes = topologyNodes(bytes, configuration, interface);
  // Every node stands on a descriptor of its own inside the bytes, and an extension unit's code
  // was read from them.
  require(nodes.size() * ShortestNode <= bytes.size());
  for (const TopologyNode& node : nodes) {
    if (node.isExtensionUnit()) {
      const std::array<std::uint8_t, 16> code = wireBytes(node.extensionCode);
      require(std::search(bytes.begin(), bytes.end(), code.begin(), code.end()) != bytes.end());
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);
  read(bytes, std::nullopt, std::nullopt);
  read(bytes, 1, 0);
  read(bytes, 2, 2);
  read(bytes, std::nullopt, 0x0A);
  return 0;
}
