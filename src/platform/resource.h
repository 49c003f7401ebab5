// Resources linked into the executable. On Windows they are PE resources of the own module
// (FindResourceW / LoadResource / LockResource / SizeofResource); natively the build links the
// same blobs into the binary and this call serves them under the same type and id.
#pragma once

#include <cstddef>

namespace platform {

// The skin package: resource type "ZIPRES", id 138.
constexpr int kSkinResourceId = 138;

// Finds the resource of the given type and numeric id. On success *data points at bytes that
// stay valid for the life of the process. False when it is missing or empty.
bool LoadOwnResource(const wchar_t* type, int id, const void** data, size_t* size);

}  // namespace platform
