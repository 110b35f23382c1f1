// Encodes canvases as PNG files with zlib; each row gets the filter with the smallest sum of
// absolute residues, so that smooth skies compress well.
#include "png_writer.h"

#include <zlib.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "file_output.h"

namespace {

void appendBigEndian(std::vector<std::uint8_t>& bytes, std::uint32_t value) {
  bytes.push_back(static_cast<std::uint8_t>(value >> 24));
  bytes.push_back(static_cast<std::uint8_t>(value >> 16));
  bytes.push_back(static_cast<std::uint8_t>(value >> 8));
  bytes.push_back(static_cast<std::uint8_t>(value));
}

void appendChunk(std::vector<std::uint8_t>& file, const char type[4], const std::vector<std::uint8_t>& data) {
  appendBigEndian(file, static_cast<std::uint32_t>(data.size()));
  const std::size_t typeStart = file.size();
  file.insert(file.end(), type, type + 4);
  file.insert(file.end(), data.begin(), data.end());
  const uLong crc = crc32(0L, file.data() + typeStart, static_cast<uInt>(file.size() - typeStart));
  appendBigEndian(file, static_cast<std::uint32_t>(crc));
}

std::uint8_t paeth(std::int32_t left, std::int32_t up, std::int32_t upLeft) {
  const std::int32_t estimate = left + up - upLeft;
  const std::int32_t toLeft = std::abs(estimate - left);
  const std::int32_t toUp = std::abs(estimate - up);
  const std::int32_t toUpLeft = std::abs(estimate - upLeft);
  if (toLeft <= toUp && toLeft <= toUpLeft) return static_cast<std::uint8_t>(left);
  if (toUp <= toUpLeft) return static_cast<std::uint8_t>(up);
  return static_cast<std::uint8_t>(upLeft);
}

// The raw scanlines, each preceded by its filter type byte.
std::vector<std::uint8_t> filteredScanlines(const Canvas& canvas) {
  const std::size_t stride = static_cast<std::size_t>(canvas.width) * 3;
  std::vector<std::uint8_t> raw(stride * static_cast<std::size_t>(canvas.height));
  for (std::size_t i = 0; i < canvas.pixels.size(); ++i) {
    raw[3 * i] = canvas.pixels[i].r;
    raw[3 * i + 1] = canvas.pixels[i].g;
    raw[3 * i + 2] = canvas.pixels[i].b;
  }
  std::vector<std::uint8_t> out;
  out.reserve((stride + 1) * static_cast<std::size_t>(canvas.height));
  const std::vector<std::uint8_t> zeroRow(stride, 0);
  std::array<std::vector<std::uint8_t>, 5> candidates;
  for (std::int32_t y = 0; y < canvas.height; ++y) {
    const std::uint8_t* row = raw.data() + stride * static_cast<std::size_t>(y);
    const std::uint8_t* above = y > 0 ? row - stride : zeroRow.data();
    std::size_t best = 0;
    long bestCost = -1;
    for (std::size_t filter = 0; filter < candidates.size(); ++filter) {
      std::vector<std::uint8_t>& line = candidates[filter];
      line.assign(stride, 0);
      long cost = 0;
      for (std::size_t i = 0; i < stride; ++i) {
        const std::int32_t left = i >= 3 ? row[i - 3] : 0;
        const std::int32_t up = above[i];
        const std::int32_t upLeft = i >= 3 ? above[i - 3] : 0;
        std::int32_t predicted = 0;
        if (filter == 1) predicted = left;
        if (filter == 2) predicted = up;
        if (filter == 3) predicted = (left + up) / 2;
        if (filter == 4) predicted = paeth(left, up, upLeft);
        line[i] = static_cast<std::uint8_t>(row[i] - predicted);
        cost += line[i] < 128 ? line[i] : 256 - line[i];
      }
      if (bestCost < 0 || cost < bestCost) {
        bestCost = cost;
        best = filter;
      }
    }
    out.push_back(static_cast<std::uint8_t>(best));
    out.insert(out.end(), candidates[best].begin(), candidates[best].end());
  }
  return out;
}

}  // namespace

bool writePng(const std::string& path, const Canvas& canvas) {
  static const std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<std::uint8_t> file(kSignature, kSignature + 8);

  std::vector<std::uint8_t> header;
  appendBigEndian(header, static_cast<std::uint32_t>(canvas.width));
  appendBigEndian(header, static_cast<std::uint32_t>(canvas.height));
  header.push_back(8);  // bits per channel
  header.push_back(2);  // colour type: RGB
  header.push_back(0);  // deflate
  header.push_back(0);  // adaptive filtering
  header.push_back(0);  // no interlace
  appendChunk(file, "IHDR", header);

  const std::vector<std::uint8_t> scanlines = filteredScanlines(canvas);
  uLongf packedSize = compressBound(static_cast<uLong>(scanlines.size()));
  std::vector<std::uint8_t> packed(packedSize);
  if (compress2(packed.data(), &packedSize, scanlines.data(), static_cast<uLong>(scanlines.size()),
                Z_BEST_COMPRESSION) != Z_OK) {
    std::fprintf(stderr, "cannot compress %s\n", path.c_str());
    return false;
  }
  packed.resize(packedSize);
  appendChunk(file, "IDAT", packed);
  appendChunk(file, "IEND", {});

  return writeBytes(path, file);
}
