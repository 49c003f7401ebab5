// The two places that obtain the server's download description, in their fixed orders: the
// installer window's prefetch thread and the install thread's first step. Both take what they
// need of the window as parameters, so neither knows the window.
//
// Threading: PrefetchDownloadDescription runs on the window's prefetch thread,
// CompleteDownloadDescription on the install thread; they may overlap (CConfigure serialises
// its request and overlay). The install-started flag is set by the install thread before it
// calls CompleteDownloadDescription. Ownership: nothing is kept.
#pragma once

#include <atomic>
#include <functional>

#include "config/configure.h"
#include "config/control_text_source.h"

// The Windows language id of the window's current interface language.
using LanguageIdGetter = std::function<int()>;

// What the prefetch did.
enum class EnumPrefetchResult {
  kOverlaid = 1,    // the description was read into the record
  kNotParsed = 0,   // asked, but nothing usable arrived (the install thread asks again)
  kAbandoned = -1,  // the install flow had started; it takes over
};

// The prefetch thread's body: ask the international host, give up when the install flow has
// started by then (" GetDownloaderInfo(Async) abandon"), else retry with the China host when
// the first request fetched nothing, and, unless the install flow started meanwhile, overlay the
// record and hand the product version and the window's language to the event log.
EnumPrefetchResult PrefetchDownloadDescription(CConfigure& config,
                                               const std::atomic<bool>& installStarted,
                                               const LanguageIdGetter& windowLanguageId);

// The install thread's step. When the record is not complete yet: ask the international host,
// then the China host when that fetched nothing, overlay, hand over the product version and the
// language, and load the built-in configuration as fallback when the record is still not
// complete. When it is complete already: log it. Returns the record's source afterwards.
ConfigSource CompleteDownloadDescription(CConfigure& config, const IControlTextSource& skin,
                                         const LanguageIdGetter& windowLanguageId);
