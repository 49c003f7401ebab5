// Exception barrier for the C callbacks handed to libcurl (write, header, progress). libcurl is C:
// an exception unwinding through curl_easy_perform is undefined behaviour, and an allocation in
// a callback (appending a reply to a string) may throw std::bad_alloc. CurlGuard<&Fn>::Call has
// Fn's signature and is what the transfer is given instead of Fn: it runs Fn, and when Fn throws
// it logs one line naming the callback and returns the value that makes libcurl abort the
// transfer (0 bytes taken for a write or header callback, which ends it with CURLE_WRITE_ERROR;
// non-zero for a progress callback, CURLE_ABORTED_BY_CALLBACK). The caller then sees the
// ordinary failure of that request.
//
// Threading: whatever thread runs the transfer; nothing is shared.
#pragma once

#include <cstddef>
#include <exception>
#include <type_traits>

namespace platform {

// Writes the log line of an exception caught in a libcurl callback; what may be null.
void LogCurlCallbackFault(const char* callback, const char* what) noexcept;

template <auto Fn>
struct CurlGuard;

template <typename R, typename... Args, R (*Fn)(Args...)>
struct CurlGuard<Fn> {
  static_assert(std::is_same<R, size_t>::value || std::is_same<R, int>::value,
                "libcurl callbacks return a byte count (size_t) or a progress verdict (int)");
  // A write or header callback aborts by taking fewer bytes than offered, a progress callback by
  // answering non-zero.
  static constexpr R kAbort = std::is_same<R, size_t>::value ? R(0) : R(1);

  static R Call(Args... args) noexcept {
    try {
      return Fn(args...);
    } catch (const std::exception& e) {
      LogCurlCallbackFault(Name(), e.what());
    } catch (...) {
      LogCurlCallbackFault(Name(), nullptr);
    }
    return kAbort;
  }

 private:
  static const char* Name() { return std::is_same<R, size_t>::value ? "data" : "progress"; }
};

}  // namespace platform
