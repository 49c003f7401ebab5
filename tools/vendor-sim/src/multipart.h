// multipart/form-data parsing for the simulated log-upload service: the boundary from the
// Content-Type value, then every part with its disposition name, file name and content.
// Pure functions, no state: safe from any thread. Results own copies of the bytes.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace vendorsim {

struct MultipartPart {
  std::string name;          // form field name (Content-Disposition name)
  std::string filename;      // Content-Disposition filename, when given
  bool hasFilename = false;
  std::string contentType;   // the part's Content-Type, when given
  std::vector<std::pair<std::string, std::string>> headers;  // as received, in order
  std::string data;
};

struct MultipartResult {
  bool ok = false;
  std::string error;  // why the body was refused, for the log and the record
  std::vector<MultipartPart> parts;

  // First part of that field name, or null.
  const MultipartPart* Find(const std::string& name) const;
};

// The boundary parameter of a multipart/form-data Content-Type, unquoted; empty when the type
// is another one or carries no usable boundary.
std::string MultipartBoundary(const std::string& contentType);

// Limits keep a hostile body from costing more than its own size.
MultipartResult ParseMultipart(const std::string& contentType, const std::string& body);

}  // namespace vendorsim
