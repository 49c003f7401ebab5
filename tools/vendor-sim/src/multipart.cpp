#include "multipart.h"

#include <cctype>

namespace vendorsim {
namespace {

const size_t kMaxParts = 64;
const size_t kMaxHeaderBlock = 8192;
const size_t kMaxBoundary = 70;  // the longest boundary a conforming sender may use

std::string Lower(std::string text) {
  for (char& ch : text) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  return text;
}

std::string Trim(const std::string& text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && (text[begin] == ' ' || text[begin] == '\t')) ++begin;
  while (end > begin && (text[end - 1] == ' ' || text[end - 1] == '\t')) --end;
  return text.substr(begin, end - begin);
}

// Splits "a; b=c; d=\"e;f\"" at the semicolons that are not inside quotes.
std::vector<std::string> SplitParams(const std::string& value) {
  std::vector<std::string> items;
  std::string current;
  bool quoted = false;
  for (size_t i = 0; i < value.size(); ++i) {
    const char ch = value[i];
    if (quoted && ch == '\\' && i + 1 < value.size()) {
      current += ch;
      current += value[++i];
      continue;
    }
    if (ch == '"') quoted = !quoted;
    if (ch == ';' && !quoted) {
      items.push_back(Trim(current));
      current.clear();
      continue;
    }
    current += ch;
  }
  items.push_back(Trim(current));
  return items;
}

// A parameter value: a quoted string (backslash escapes one character) or a token.
bool Unquote(const std::string& raw, std::string* value) {
  if (raw.empty() || raw.front() != '"') {
    *value = raw;
    return true;
  }
  if (raw.size() < 2 || raw.back() != '"') return false;
  std::string out;
  for (size_t i = 1; i + 1 < raw.size(); ++i) {
    if (raw[i] == '\\' && i + 2 < raw.size()) ++i;
    out += raw[i];
  }
  *value = out;
  return true;
}

bool ParseDisposition(const std::string& value, MultipartPart* part, std::string* error) {
  const std::vector<std::string> items = SplitParams(value);
  if (items.empty() || Lower(items[0]) != "form-data") {
    *error = "part disposition is not form-data";
    return false;
  }
  bool hasName = false;
  for (size_t i = 1; i < items.size(); ++i) {
    const size_t eq = items[i].find('=');
    if (eq == std::string::npos) continue;
    const std::string key = Lower(Trim(items[i].substr(0, eq)));
    std::string parsed;
    if (!Unquote(Trim(items[i].substr(eq + 1)), &parsed)) {
      *error = "unterminated quoted parameter in disposition";
      return false;
    }
    if (key == "name") {
      part->name = parsed;
      hasName = true;
    } else if (key == "filename") {
      part->filename = parsed;
      part->hasFilename = true;
    }
  }
  if (!hasName || part->name.empty()) {
    *error = "part without a field name";
    return false;
  }
  return true;
}

bool ParseHeaderBlock(const std::string& block, MultipartPart* part, std::string* error) {
  size_t pos = 0;
  bool sawDisposition = false;
  while (pos < block.size()) {
    size_t end = block.find("\r\n", pos);
    if (end == std::string::npos) end = block.size();
    const std::string line = block.substr(pos, end - pos);
    pos = end + 2;
    if (line.empty()) continue;
    const size_t colon = line.find(':');
    if (colon == std::string::npos || colon == 0) {
      *error = "malformed part header line";
      return false;
    }
    const std::string name = Trim(line.substr(0, colon));
    const std::string value = Trim(line.substr(colon + 1));
    part->headers.emplace_back(name, value);
    const std::string key = Lower(name);
    if (key == "content-disposition") {
      if (sawDisposition) {
        *error = "part with two dispositions";
        return false;
      }
      sawDisposition = true;
      if (!ParseDisposition(value, part, error)) return false;
    } else if (key == "content-type") {
      part->contentType = value;
    }
  }
  if (!sawDisposition) {
    *error = "part without Content-Disposition";
    return false;
  }
  return true;
}

MultipartResult Fail(const std::string& error) {
  MultipartResult result;
  result.error = error;
  return result;
}

}  // namespace

const MultipartPart* MultipartResult::Find(const std::string& name) const {
  for (const MultipartPart& part : parts) {
    if (part.name == name) return &part;
  }
  return nullptr;
}

std::string MultipartBoundary(const std::string& contentType) {
  const std::vector<std::string> items = SplitParams(contentType);
  if (items.empty() || Lower(items[0]) != "multipart/form-data") return "";
  for (size_t i = 1; i < items.size(); ++i) {
    const size_t eq = items[i].find('=');
    if (eq == std::string::npos) continue;
    if (Lower(Trim(items[i].substr(0, eq))) != "boundary") continue;
    std::string boundary;
    if (!Unquote(Trim(items[i].substr(eq + 1)), &boundary)) return "";
    if (boundary.empty() || boundary.size() > kMaxBoundary) return "";
    if (boundary.find_first_of("\r\n") != std::string::npos) return "";
    return boundary;
  }
  return "";
}

MultipartResult ParseMultipart(const std::string& contentType, const std::string& body) {
  const std::string boundary = MultipartBoundary(contentType);
  if (boundary.empty()) return Fail("no multipart/form-data boundary in the content type");
  const std::string dash = "--" + boundary;
  const std::string delimiter = "\r\n" + dash;

  // The first delimiter may open the body directly or follow a preamble.
  size_t pos = 0;
  if (body.compare(0, dash.size(), dash) != 0) {
    const size_t found = body.find(delimiter);
    if (found == std::string::npos) return Fail("no opening boundary");
    pos = found + 2;
  }
  MultipartResult result;
  while (true) {
    pos += dash.size();  // at the end of a delimiter
    if (body.compare(pos, 2, "--") == 0) break;  // closing delimiter; an epilogue may follow
    while (pos < body.size() && (body[pos] == ' ' || body[pos] == '\t')) ++pos;
    if (body.compare(pos, 2, "\r\n") != 0) return Fail("boundary not followed by CRLF");
    pos += 2;
    if (result.parts.size() >= kMaxParts) return Fail("too many parts");

    MultipartPart part;
    size_t headerEnd = std::string::npos;
    if (body.compare(pos, 2, "\r\n") == 0) {
      headerEnd = pos;  // a part without header lines
    } else {
      headerEnd = body.find("\r\n\r\n", pos);
      if (headerEnd == std::string::npos) return Fail("unterminated part headers");
      headerEnd += 2;
    }
    if (headerEnd - pos > kMaxHeaderBlock) return Fail("part headers too long");
    std::string error;
    if (!ParseHeaderBlock(body.substr(pos, headerEnd - pos), &part, &error)) return Fail(error);
    const size_t dataStart = headerEnd + 2;
    const size_t next = body.find(delimiter, dataStart);
    if (next == std::string::npos) return Fail("unterminated part (no closing boundary)");
    part.data = body.substr(dataStart, next - dataStart);
    result.parts.push_back(std::move(part));
    pos = next + 2;
  }
  result.ok = true;
  return result;
}

}  // namespace vendorsim
