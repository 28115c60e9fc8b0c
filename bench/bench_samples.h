// What the benchmarks share: the image they flash and the middle of their samples.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

namespace bench {

// Bytes that look like firmware rather than a fill pattern, the same on every run.
inline std::vector<std::uint8_t> sampleImage(std::size_t size) {
  std::vector<std::uint8_t> image(size);
  std::uint32_t state = 0x4B334D35;
  for (std::uint8_t& byte : image) {
    state = state * 1664525u + 1013904223u;
    byte = static_cast<std::uint8_t>(state >> 24);
  }
  return image;
}

inline double median(std::vector<double> samples) {
  std::sort(samples.begin(), samples.end());
  const std::size_t middle = samples.size() / 2;
  return samples.size() % 2 != 0 ? samples[middle] : (samples[middle - 1] + samples[middle]) / 2;
}

}  // namespace bench
