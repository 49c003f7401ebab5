// The parts of the system facts that are plain data work on every system: locale names to
// Windows language ids, and reading version resources out of PE images.
#include "platform/sysinfo.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>

namespace platform {
namespace {

struct LocaleRow {
  uint16_t id;
  const char* language;   // ISO 639 code as POSIX locales write it
  const char* territory;  // ISO 3166 code, upper case
  const char* modifier;   // "@" part of the locale name, or ""
  bool main;              // the id a bare language code stands for, where not the first row
};

// Every Windows language id that has a POSIX locale counterpart among those the installer names.
const LocaleRow kLocales[] = {
    {1025, "ar", "SA", "", false},      {1026, "bg", "BG", "", false},
    {1027, "ca", "ES", "", false},      {1028, "zh", "TW", "", false},
    {1029, "cs", "CZ", "", false},      {1030, "da", "DK", "", false},
    {1031, "de", "DE", "", false},      {1032, "el", "GR", "", false},
    {1033, "en", "US", "", false},      {1035, "fi", "FI", "", false},
    {1036, "fr", "FR", "", false},      {1037, "he", "IL", "", false},
    {1037, "iw", "IL", "", false},      {1038, "hu", "HU", "", false},
    {1039, "is", "IS", "", false},      {1040, "it", "IT", "", false},
    {1041, "ja", "JP", "", false},      {1042, "ko", "KR", "", false},
    {1043, "nl", "NL", "", false},      {1044, "nb", "NO", "", false},
    {1044, "no", "NO", "", false},      {1045, "pl", "PL", "", false},
    {1046, "pt", "BR", "", false},      {1048, "ro", "RO", "", false},
    {1049, "ru", "RU", "", false},      {1050, "hr", "HR", "", false},
    {1051, "sk", "SK", "", false},      {1052, "sq", "AL", "", false},
    {1053, "sv", "SE", "", false},      {1054, "th", "TH", "", false},
    {1055, "tr", "TR", "", false},      {1056, "ur", "PK", "", false},
    {1057, "id", "ID", "", false},      {1058, "uk", "UA", "", false},
    {1059, "be", "BY", "", false},      {1060, "sl", "SI", "", false},
    {1061, "et", "EE", "", false},      {1062, "lv", "LV", "", false},
    {1063, "lt", "LT", "", false},      {1065, "fa", "IR", "", false},
    {1066, "vi", "VN", "", false},      {1067, "hy", "AM", "", false},
    {1068, "az", "AZ", "", false},      {1069, "eu", "ES", "", false},
    {1071, "mk", "MK", "", false},      {1078, "af", "ZA", "", false},
    {1079, "ka", "GE", "", false},      {1080, "fo", "FO", "", false},
    {1081, "hi", "IN", "", false},      {1086, "ms", "MY", "", false},
    {1087, "kk", "KZ", "", false},      {1088, "ky", "KG", "", false},
    {1089, "sw", "KE", "", false},      {1091, "uz", "UZ", "", false},
    {1092, "tt", "RU", "", false},      {1093, "bn", "IN", "", false},
    {1094, "pa", "IN", "", false},      {1095, "gu", "IN", "", false},
    {1096, "or", "IN", "", false},      {1097, "ta", "IN", "", false},
    {1098, "te", "IN", "", false},      {1099, "kn", "IN", "", false},
    {1100, "ml", "IN", "", false},      {1101, "as", "IN", "", false},
    {1102, "mr", "IN", "", false},      {1103, "sa", "IN", "", false},
    {1104, "mn", "MN", "", false},      {1110, "gl", "ES", "", false},
    {1111, "kok", "IN", "", false},     {1114, "syr", "SY", "", false},
    {1125, "dv", "MV", "", false},      {2049, "ar", "IQ", "", false},
    {2052, "zh", "CN", "", true},       {2055, "de", "CH", "", false},
    {2057, "en", "GB", "", false},      {2058, "es", "MX", "", false},
    {2060, "fr", "BE", "", false},      {2064, "it", "CH", "", false},
    {2067, "nl", "BE", "", false},      {2068, "nn", "NO", "", false},
    {2070, "pt", "PT", "", false},      {2074, "sr", "RS", "latin", false},
    {2074, "sr", "CS", "latin", false}, {2077, "sv", "FI", "", false},
    {2080, "ur", "IN", "", false},      {2092, "az", "AZ", "cyrillic", false},
    {2110, "ms", "BN", "", false},      {2115, "uz", "UZ", "cyrillic", false},
    {3073, "ar", "EG", "", false},      {3076, "zh", "HK", "", false},
    {3079, "de", "AT", "", false},      {3081, "en", "AU", "", false},
    {3082, "es", "ES", "", true},       {3084, "fr", "CA", "", false},
    {3098, "sr", "RS", "", true},       {3098, "sr", "CS", "", false},
    {4097, "ar", "LY", "", false},      {4100, "zh", "SG", "", false},
    {4103, "de", "LU", "", false},      {4105, "en", "CA", "", false},
    {4106, "es", "GT", "", false},      {4108, "fr", "CH", "", false},
    {5121, "ar", "DZ", "", false},      {5124, "zh", "MO", "", false},
    {5127, "de", "LI", "", false},      {5129, "en", "NZ", "", false},
    {5130, "es", "CR", "", false},      {5132, "fr", "LU", "", false},
    {6145, "ar", "MA", "", false},      {6153, "en", "IE", "", false},
    {6154, "es", "PA", "", false},      {6156, "fr", "MC", "", false},
    {7169, "ar", "TN", "", false},      {7177, "en", "ZA", "", false},
    {7178, "es", "DO", "", false},      {8193, "ar", "OM", "", false},
    {8201, "en", "JM", "", false},      {8202, "es", "VE", "", false},
    {9217, "ar", "YE", "", false},      {9226, "es", "CO", "", false},
    {10241, "ar", "SY", "", false},     {10249, "en", "BZ", "", false},
    {10250, "es", "PE", "", false},     {11265, "ar", "JO", "", false},
    {11273, "en", "TT", "", false},     {11274, "es", "AR", "", false},
    {12289, "ar", "LB", "", false},     {12297, "en", "ZW", "", false},
    {12298, "es", "EC", "", false},     {13313, "ar", "KW", "", false},
    {13321, "en", "PH", "", false},     {13322, "es", "CL", "", false},
    {14337, "ar", "AE", "", false},     {14346, "es", "UY", "", false},
    {15361, "ar", "BH", "", false},     {15370, "es", "PY", "", false},
    {16385, "ar", "QA", "", false},     {16394, "es", "BO", "", false},
    {17418, "es", "SV", "", false},     {18442, "es", "HN", "", false},
    {19466, "es", "NI", "", false},     {20490, "es", "PR", "", false},
};

struct LocaleParts {
  std::string language;
  std::string territory;
  std::string modifier;
};

// "language[_territory][.codeset][@modifier]"
LocaleParts SplitLocale(const std::string& locale) {
  LocaleParts parts;
  std::string rest = locale;
  size_t at = rest.find('@');
  if (at != std::string::npos) {
    parts.modifier = rest.substr(at + 1);
    rest.resize(at);
  }
  size_t dot = rest.find('.');
  if (dot != std::string::npos) rest.resize(dot);
  size_t sep = rest.find_first_of("_-");
  parts.language = rest.substr(0, sep);
  if (sep != std::string::npos) parts.territory = rest.substr(sep + 1);
  for (char& c : parts.language) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (char& c : parts.territory)
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  for (char& c : parts.modifier) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return parts;
}

bool IsAlphaText(const std::string& text, size_t minLen, size_t maxLen) {
  if (text.size() < minLen || text.size() > maxLen) return false;
  for (char c : text) {
    if (!std::isalpha(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

uint16_t ReadU16(const std::string& b, size_t off) {
  return static_cast<uint16_t>(static_cast<unsigned char>(b[off]) |
                               (static_cast<unsigned char>(b[off + 1]) << 8));
}

uint32_t ReadU32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

uint32_t ReadU32(const std::string& b, size_t off) {
  return ReadU32(reinterpret_cast<const unsigned char*>(b.data() + off));
}

// One node of a version block: header, key, value and the range of its children.
struct VersionNode {
  size_t start = 0;
  size_t end = 0;  // start + wLength, clipped to the parent
  uint16_t valueLength = 0;
  uint16_t type = 0;  // 1 text, 0 binary
  std::wstring key;
  size_t valueStart = 0;
  size_t childrenStart = 0;
};

size_t Align4(size_t offset) {
  return (offset + 3) & ~static_cast<size_t>(3);
}

bool ReadNode(const std::string& b, size_t start, size_t limit, VersionNode* node) {
  if (start + 6 > limit) return false;
  uint16_t length = ReadU16(b, start);
  if (length < 6 || start + length > limit) return false;
  node->start = start;
  node->end = start + length;
  node->valueLength = ReadU16(b, start + 2);
  node->type = ReadU16(b, start + 4);
  node->key.clear();
  size_t pos = start + 6;
  while (true) {
    if (pos + 2 > node->end) return false;
    uint16_t c = ReadU16(b, pos);
    pos += 2;
    if (c == 0) break;
    node->key.push_back(static_cast<wchar_t>(c));
  }
  node->valueStart = Align4(pos);
  // Text values count characters, binary ones bytes.
  size_t valueBytes = node->type == 1 ? node->valueLength * 2u : node->valueLength;
  if (node->valueStart > node->end) node->valueStart = node->end;
  size_t valueEnd = node->valueStart + valueBytes;
  if (valueEnd > node->end) valueEnd = node->end;
  node->childrenStart = Align4(valueEnd);
  return true;
}

template <typename Fn>
void ForEachChild(const std::string& b, const VersionNode& parent, Fn fn) {
  size_t pos = parent.childrenStart;
  VersionNode child;
  while (pos < parent.end && ReadNode(b, pos, parent.end, &child)) {
    if (!fn(child)) return;
    pos = Align4(child.end);
  }
}

bool SameKey(const std::wstring& a, const std::wstring& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    wchar_t x = a[i], y = b[i];
    if (x >= L'A' && x <= L'Z') x = static_cast<wchar_t>(x - L'A' + L'a');
    if (y >= L'A' && y <= L'Z') y = static_cast<wchar_t>(y - L'A' + L'a');
    if (x != y) return false;
  }
  return true;
}

std::wstring NodeText(const std::string& b, const VersionNode& node) {
  std::wstring text;
  for (size_t pos = node.valueStart; pos + 2 <= node.end; pos += 2) {
    if (node.type == 1 && text.size() >= node.valueLength) break;
    uint16_t c = ReadU16(b, pos);
    if (c == 0) break;
    text.push_back(static_cast<wchar_t>(c));
  }
  return text;
}

}  // namespace

uint16_t LanguageIdFromLocaleName(const std::string& locale) {
  if (locale.empty()) return 1033;
  LocaleParts parts = SplitLocale(locale);
  if (parts.language == "c" || parts.language == "posix") return 1033;
  if (!IsAlphaText(parts.language, 2, 3)) return 0;
  const LocaleRow* firstOfLanguage = nullptr;
  const LocaleRow* mainOfLanguage = nullptr;
  const LocaleRow* territoryOnly = nullptr;
  for (const LocaleRow& row : kLocales) {
    if (parts.language != row.language) continue;
    if (!firstOfLanguage) firstOfLanguage = &row;
    if (row.main && !mainOfLanguage) mainOfLanguage = &row;
    if (parts.territory == row.territory) {
      if (parts.modifier == row.modifier) return row.id;
      if (!territoryOnly && row.modifier[0] == '\0') territoryOnly = &row;
    }
  }
  if (territoryOnly) return territoryOnly->id;
  if (mainOfLanguage) return mainOfLanguage->id;
  return firstOfLanguage ? firstOfLanguage->id : 0;
}

std::string RegionFromLocaleName(const std::string& locale) {
  LocaleParts parts = SplitLocale(locale);
  // Only a real two-letter territory is a region ("es_419" names a continent, not a nation).
  return IsAlphaText(parts.territory, 2, 2) ? parts.territory : std::string();
}

bool FindPeVersionResource(ReadAtFn readAt, void* context, std::string* block) {
  block->clear();
  unsigned char dos[64];
  if (!readAt(context, 0, sizeof(dos), dos) || dos[0] != 'M' || dos[1] != 'Z') return false;
  uint32_t peOffset = ReadU32(dos + 0x3C);
  unsigned char pe[24];
  if (!readAt(context, peOffset, sizeof(pe), pe) || std::memcmp(pe, "PE\0\0", 4) != 0) {
    return false;
  }
  uint16_t sectionCount = static_cast<uint16_t>(pe[6] | (pe[7] << 8));
  uint16_t optionalSize = static_cast<uint16_t>(pe[20] | (pe[21] << 8));
  if (optionalSize < 2 || optionalSize > 4096 || sectionCount == 0 || sectionCount > 96) {
    return false;
  }
  std::string optional(optionalSize, '\0');
  if (!readAt(context, peOffset + 24u, optionalSize, &optional[0])) return false;
  uint16_t magic = ReadU16(optional, 0);
  size_t countOffset = magic == 0x20b ? 108 : (magic == 0x10b ? 92 : 0);
  if (countOffset == 0 || countOffset + 4 > optional.size()) return false;
  uint32_t dirCount = ReadU32(optional, countOffset);
  size_t resourceDir = countOffset + 4 + 2 * 8;  // the third data directory
  if (dirCount < 3 || resourceDir + 8 > optional.size()) return false;
  uint32_t resRva = ReadU32(optional, resourceDir);
  uint32_t resSize = ReadU32(optional, resourceDir + 4);
  if (resRva == 0 || resSize == 0 || resSize > 256u * 1024u * 1024u) return false;

  std::string sections(static_cast<size_t>(sectionCount) * 40u, '\0');
  if (!readAt(context, peOffset + 24u + optionalSize, sections.size(), &sections[0])) return false;
  auto rvaToOffset = [&](uint32_t rva, uint32_t size, uint64_t* offset) {
    for (uint16_t i = 0; i < sectionCount; ++i) {
      size_t s = i * 40u;
      uint32_t virtualSize = ReadU32(sections, s + 8);
      uint32_t va = ReadU32(sections, s + 12);
      uint32_t rawSize = ReadU32(sections, s + 16);
      uint32_t rawPtr = ReadU32(sections, s + 20);
      uint32_t span = virtualSize > rawSize ? virtualSize : rawSize;
      if (rva >= va && static_cast<uint64_t>(rva) + size <= static_cast<uint64_t>(va) + span) {
        *offset = static_cast<uint64_t>(rawPtr) + (rva - va);
        return true;
      }
    }
    return false;
  };
  uint64_t resOffset = 0;
  if (!rvaToOffset(resRva, 16, &resOffset)) return false;

  // Walks one directory level: the entry with the wanted id, or the first one when id < 0.
  auto findEntry = [&](uint32_t dirOffset, long wantedId, uint32_t* target) {
    unsigned char head[16];
    if (dirOffset + 16u > resSize || !readAt(context, resOffset + dirOffset, 16, head)) {
      return false;
    }
    unsigned named = static_cast<unsigned>(head[12] | (head[13] << 8));
    unsigned ids = static_cast<unsigned>(head[14] | (head[15] << 8));
    for (unsigned i = 0; i < named + ids; ++i) {
      unsigned char entry[8];
      uint32_t at = dirOffset + 16u + i * 8u;
      if (at + 8u > resSize || !readAt(context, resOffset + at, 8, entry)) return false;
      uint32_t name = ReadU32(entry);
      bool byId = (name & 0x80000000u) == 0;
      if (wantedId < 0 || (byId && static_cast<long>(name) == wantedId)) {
        *target = ReadU32(entry + 4);
        return true;
      }
    }
    return false;
  };
  uint32_t typeDir = 0, nameDir = 0, langEntry = 0;
  if (!findEntry(0, 16, &typeDir) || !(typeDir & 0x80000000u)) return false;  // RT_VERSION
  if (!findEntry(typeDir & 0x7FFFFFFFu, -1, &nameDir) || !(nameDir & 0x80000000u)) return false;
  if (!findEntry(nameDir & 0x7FFFFFFFu, -1, &langEntry) || (langEntry & 0x80000000u)) {
    return false;
  }
  unsigned char data[16];
  if (langEntry + 16u > resSize || !readAt(context, resOffset + langEntry, 16, data)) {
    return false;
  }
  uint32_t dataRva = ReadU32(data);
  uint32_t dataSize = ReadU32(data + 4);
  if (dataSize == 0 || dataSize > 1024u * 1024u) return false;
  uint64_t dataOffset = 0;
  if (!rvaToOffset(dataRva, dataSize, &dataOffset)) return false;
  block->assign(dataSize, '\0');
  if (!readAt(context, dataOffset, dataSize, &(*block)[0])) {
    block->clear();
    return false;
  }
  return true;
}

std::string ReadFileSystemUuid(ReadAtFn readAt, void* context) {
  unsigned char u[16];
  unsigned char buf[128];
  bool found = false;
  if (readAt(context, 1024, 128, buf) && buf[56] == 0x53 && buf[57] == 0xEF) {
    std::memcpy(u, buf + 104, 16);  // ext2/3/4
    found = true;
  } else if (readAt(context, 0, 64, buf) && std::memcmp(buf, "XFSB", 4) == 0) {
    std::memcpy(u, buf + 32, 16);  // xfs
    found = true;
  } else if (readAt(context, 65536, 128, buf) && std::memcmp(buf + 64, "_BHRfS_M", 8) == 0) {
    std::memcpy(u, buf + 32, 16);  // btrfs
    found = true;
  }
  if (!found) return std::string();
  char text[40];
  std::snprintf(text, sizeof(text),
                "%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x", u[0], u[1],
                u[2], u[3], u[4], u[5], u[6], u[7], u[8], u[9], u[10], u[11], u[12], u[13], u[14],
                u[15]);
  return text;
}

bool ParseVersionBlock(const std::string& block, FileVersionInfo* info) {
  *info = FileVersionInfo();
  VersionNode root;
  if (!ReadNode(block, 0, block.size(), &root) || root.key != L"VS_VERSION_INFO") return false;
  if (root.valueLength >= 52 && root.valueStart + 52 <= root.end &&
      ReadU32(block, root.valueStart) == 0xFEEF04BDu) {
    info->hasFixedInfo = true;
    info->fileVersionMs = ReadU32(block, root.valueStart + 8);
    info->fileVersionLs = ReadU32(block, root.valueStart + 12);
  }
  // The first translation names the string table, as "%04x%04x".
  std::wstring table;
  ForEachChild(block, root, [&](const VersionNode& child) {
    if (!SameKey(child.key, L"VarFileInfo")) return true;
    ForEachChild(block, child, [&](const VersionNode& var) {
      if (!SameKey(var.key, L"Translation") || var.valueStart + 4 > var.end) return true;
      uint16_t language = ReadU16(block, var.valueStart);
      uint16_t codePage = ReadU16(block, var.valueStart + 2);
      wchar_t buf[16];
      std::swprintf(buf, 16, L"%04x%04x", language, codePage);
      table = buf;
      return false;
    });
    return table.empty();
  });
  if (table.empty()) return true;
  ForEachChild(block, root, [&](const VersionNode& child) {
    if (!SameKey(child.key, L"StringFileInfo")) return true;
    ForEachChild(block, child, [&](const VersionNode& strings) {
      if (!SameKey(strings.key, table)) return true;
      ForEachChild(block, strings, [&](const VersionNode& s) {
        if (SameKey(s.key, L"ProductName")) info->productName = NodeText(block, s);
        if (SameKey(s.key, L"ProductVersion")) info->productVersion = NodeText(block, s);
        if (SameKey(s.key, L"FileDescription")) info->fileDescription = NodeText(block, s);
        if (SameKey(s.key, L"LegalCopyright")) info->legalCopyright = NodeText(block, s);
        return true;
      });
      return false;
    });
    return false;
  });
  return true;
}

}  // namespace platform
