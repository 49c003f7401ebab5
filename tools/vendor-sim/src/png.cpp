#include "png.h"

#include <zlib.h>

#include <algorithm>
#include <vector>

namespace vendorsim {
namespace {

void PutBig32(std::string* out, uint32_t value) {
  out->push_back(static_cast<char>((value >> 24) & 0xff));
  out->push_back(static_cast<char>((value >> 16) & 0xff));
  out->push_back(static_cast<char>((value >> 8) & 0xff));
  out->push_back(static_cast<char>(value & 0xff));
}

void PutChunk(std::string* out, const char* type, const std::string& data) {
  PutBig32(out, static_cast<uint32_t>(data.size()));
  std::string body(type, 4);
  body += data;
  out->append(body);
  const uLong crc = crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(body.data()),
                          static_cast<uInt>(body.size()));
  PutBig32(out, static_cast<uint32_t>(crc));
}

}  // namespace

std::string MakeSolidPng(int width, int height, uint32_t rgb) {
  width = std::clamp(width, 1, 1024);
  height = std::clamp(height, 1, 1024);
  std::string raw;
  raw.reserve(static_cast<size_t>(height) * (1 + static_cast<size_t>(width) * 3));
  for (int y = 0; y < height; ++y) {
    raw.push_back('\0');  // filter: none
    for (int x = 0; x < width; ++x) {
      raw.push_back(static_cast<char>((rgb >> 16) & 0xff));
      raw.push_back(static_cast<char>((rgb >> 8) & 0xff));
      raw.push_back(static_cast<char>(rgb & 0xff));
    }
  }
  uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
  std::vector<Bytef> packed(packedSize);
  if (compress(packed.data(), &packedSize, reinterpret_cast<const Bytef*>(raw.data()),
               static_cast<uLong>(raw.size())) != Z_OK) {
    return "";
  }
  std::string png("\x89PNG\r\n\x1a\n", 8);
  std::string header;
  PutBig32(&header, static_cast<uint32_t>(width));
  PutBig32(&header, static_cast<uint32_t>(height));
  header += '\x08';  // bit depth
  header += '\x02';  // colour type: RGB
  header += '\0';    // compression
  header += '\0';    // filter
  header += '\0';    // interlace
  PutChunk(&png, "IHDR", header);
  PutChunk(&png, "IDAT", std::string(reinterpret_cast<const char*>(packed.data()), packedSize));
  PutChunk(&png, "IEND", "");
  return png;
}

}  // namespace vendorsim
