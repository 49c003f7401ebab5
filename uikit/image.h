// Images of the toolkit and the cache that names them.
//
// An Image is a backend object (a GDI+ bitmap on Win32, a pixel buffer on the headless
// backend) with a fixed size; the toolkit only asks for its size and hands it back to the
// backend's canvas to draw. Images are immutable once registered: to change a picture, draw a
// new image and register it under the name.
//
// ImageCache: images by name. Controls name their images in the skin ("skin\backgroud.png");
// the cache loads such names from the resource package on first use, through the backend's
// decoder, and remembers failures so a broken file is decoded (and logged) once. Code may also
// register images it built in memory (the install-page animation registers its frames), and
// those win over package files of the same name. Names compare without regard to case and to
// "\" versus "/", as paths inside the package do.
//
// Threading: every operation takes the cache's lock, so a worker thread may register images
// while the window thread draws; the images themselves are shared read-only (shared_ptr).
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>

namespace uikit {

class ResourcePackage;

class Image {
 public:
  virtual ~Image() = default;
  virtual int Width() const = 0;
  virtual int Height() const = 0;
};

using ImagePtr = std::shared_ptr<const Image>;

// Turns encoded bytes (PNG, JPEG, BMP, GIF: whatever the backend decodes) into an Image.
class IImageDecoder {
 public:
  virtual ~IImageDecoder() = default;
  // Null when the bytes do not decode (no log line: the caller logs with the name).
  virtual ImagePtr Decode(const std::string& bytes) = 0;
};

class ImageCache {
 public:
  ImageCache(ResourcePackage& package, IImageDecoder& decoder);

  // The image of that name: registered, or loaded from the package. When the window is drawn
  // at a scale of 1.5 or more and the package holds "<base>@2x.<ext>", that file is used
  // instead (its size is then reported at twice the logical size). Null (logged once per name)
  // when the name is empty, missing from the package, or does not decode.
  ImagePtr Get(const std::wstring& name);
  bool Has(const std::wstring& name);  // Get(name) != nullptr, without logging a miss

  void Register(const std::wstring& name, ImagePtr image);
  void Remove(const std::wstring& name);
  // Forgets package images (not registered ones), e.g. after the DPI scale changed.
  void DropLoaded();

  void SetHighDensity(bool preferDoubleSize);
  // 2 when the image of that name came from its "@2x" file (its pixels are then twice its
  // logical size, which source rectangles and nine-grid corners of the skin are given in),
  // else 1.
  int Density(const std::wstring& name);

 private:
  static std::wstring Key(const std::wstring& name);
  ImagePtr LoadLocked(const std::wstring& key, const std::wstring& name, bool logMiss);

  ResourcePackage& package_;
  IImageDecoder& decoder_;
  std::mutex lock_;
  bool highDensity_ = false;                     // guarded by lock_
  std::map<std::wstring, ImagePtr> registered_;  // guarded by lock_
  std::map<std::wstring, ImagePtr> loaded_;      // guarded by lock_
  std::set<std::wstring> failed_;                // guarded by lock_
  std::set<std::wstring> missLogged_;            // guarded by lock_
  std::set<std::wstring> doubled_;               // loaded from "@2x"; guarded by lock_
};

}  // namespace uikit
