// Builds version-resource blocks and minimal PE images in memory, laid out the way resource
// compilers and linkers do, for the version-record tests.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace pe_builder {

inline void PutU16(std::string* b, uint16_t v) {
  b->push_back(static_cast<char>(v & 0xFF));
  b->push_back(static_cast<char>(v >> 8));
}
inline void PutU32(std::string* b, uint32_t v) {
  PutU16(b, static_cast<uint16_t>(v & 0xFFFF));
  PutU16(b, static_cast<uint16_t>(v >> 16));
}
inline void SetU16(std::string* b, size_t at, uint16_t v) {
  (*b)[at] = static_cast<char>(v & 0xFF);
  (*b)[at + 1] = static_cast<char>(v >> 8);
}
inline void SetU32(std::string* b, size_t at, uint32_t v) {
  SetU16(b, at, static_cast<uint16_t>(v & 0xFFFF));
  SetU16(b, at + 2, static_cast<uint16_t>(v >> 16));
}
inline void Pad4(std::string* b) {
  while (b->size() % 4) b->push_back('\0');
}
inline void PutText(std::string* b, const std::u16string& text) {
  for (char16_t c : text) PutU16(b, static_cast<uint16_t>(c));
  PutU16(b, 0);
}

inline std::string Node(const std::u16string& key, uint16_t type, uint16_t valueLength,
                        const std::string& value, const std::vector<std::string>& children) {
  std::string b;
  PutU16(&b, 0);
  PutU16(&b, valueLength);
  PutU16(&b, type);
  PutText(&b, key);
  Pad4(&b);
  b += value;
  for (const std::string& child : children) {
    Pad4(&b);
    b += child;
  }
  SetU16(&b, 0, static_cast<uint16_t>(b.size()));
  return b;
}

inline std::string TextValue(const std::u16string& key, const std::u16string& text) {
  std::string value;
  PutText(&value, text);
  return Node(key, 1, static_cast<uint16_t>(text.size() + 1), value, {});
}

inline std::string VersionBlock(const std::u16string& tableKey, uint16_t language,
                                uint16_t codePage, bool withTranslation = true) {
  std::string fixed;
  PutU32(&fixed, 0xFEEF04BD);
  PutU32(&fixed, 0x00010000);
  PutU32(&fixed, (2u << 16) | 5u);   // file version 2.5
  PutU32(&fixed, (7u << 16) | 11u);  // .7.11
  while (fixed.size() < 52) PutU32(&fixed, 0);
  std::string table =
      Node(tableKey, 1, 0, "",
           {TextValue(u"CompanyName", u"Brindlecot"), TextValue(u"ProductName", u"Kerfo Test"),
            TextValue(u"ProductVersion", u"2.5.7.11"),
            TextValue(u"FileDescription", u"Test \u00e9 file"),
            TextValue(u"LegalCopyright", u"(C) nobody")});
  std::string strings = Node(u"StringFileInfo", 1, 0, "", {table});
  std::string translation;
  PutU16(&translation, language);
  PutU16(&translation, codePage);
  std::vector<std::string> children = {strings};
  if (withTranslation) {
    std::string var = Node(u"Translation", 0, 4, translation, {});
    children.push_back(Node(u"VarFileInfo", 1, 0, "", {var}));
  }
  return Node(u"VS_VERSION_INFO", 0, 52, fixed, children);
}

// A 32-bit PE image whose only section holds a resource tree with one RT_VERSION entry.
inline std::string PeWithVersion(const std::string& block) {
  const uint32_t kSectionRva = 0x1000, kRawPointer = 0x200;
  std::string rsrc;
  auto dir = [&](uint32_t id, uint32_t target) {
    PutU32(&rsrc, 0);
    PutU32(&rsrc, 0);
    PutU32(&rsrc, 0);
    PutU16(&rsrc, 0);  // named entries
    PutU16(&rsrc, 1);  // id entries
    PutU32(&rsrc, id);
    PutU32(&rsrc, target);
  };
  dir(16, 0x80000000u | 0x18);  // RT_VERSION
  dir(1, 0x80000000u | 0x30);
  dir(0x409, 0x48);
  PutU32(&rsrc, kSectionRva + 0x58);
  PutU32(&rsrc, static_cast<uint32_t>(block.size()));
  PutU32(&rsrc, 0);
  PutU32(&rsrc, 0);
  rsrc.resize(0x58, '\0');
  rsrc += block;

  std::string pe(kRawPointer, '\0');
  pe[0] = 'M';
  pe[1] = 'Z';
  SetU32(&pe, 0x3C, 0x40);
  std::memcpy(&pe[0x40], "PE\0\0", 4);
  SetU16(&pe, 0x44, 0x14C);  // i386
  SetU16(&pe, 0x46, 1);      // one section
  SetU16(&pe, 0x54, 224);    // optional header size
  size_t opt = 0x58;
  SetU16(&pe, opt, 0x10B);
  SetU32(&pe, opt + 92, 16);
  SetU32(&pe, opt + 96 + 2 * 8, kSectionRva);
  SetU32(&pe, opt + 96 + 2 * 8 + 4, static_cast<uint32_t>(rsrc.size()));
  size_t sec = opt + 224;
  std::memcpy(&pe[sec], ".rsrc", 5);
  SetU32(&pe, sec + 8, static_cast<uint32_t>(rsrc.size()));
  SetU32(&pe, sec + 12, kSectionRva);
  SetU32(&pe, sec + 16, static_cast<uint32_t>(rsrc.size()));
  SetU32(&pe, sec + 20, kRawPointer);
  return pe + rsrc;
}

inline bool ReadFromString(void* context, uint64_t offset, size_t size, void* out) {
  const std::string* bytes = static_cast<const std::string*>(context);
  if (offset > bytes->size() || size > bytes->size() - offset) return false;
  std::memcpy(out, bytes->data() + offset, size);
  return true;
}

}  // namespace pe_builder
