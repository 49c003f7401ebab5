// The flow error identifiers ("DL" and three digits): the one list of every failure the maker's
// statistics count, with what raises it. It sits beside the user event log, below every module
// that raises one (the download engine among them), so all of them take their identifier from
// here; the flow's helpers (flow/flow_errors.h) map round results and verification outcomes to it.
// Thread-safe: a fixed table. Ownership: the strings are static.
#pragma once

namespace analytics {

enum class EnumFlowError {
  kConfigTimedOut,           // DL002 configuration request, transfer result 28
  kConfigHostUnresolved,     // DL003 configuration request, transfer result 6
  kPrivacyLinkFirst,         // DL004 privacy-link request, first failure case
  kPrivacyLinkSecond,        // DL005 privacy-link request, second failure case
  kDiskSpaceShort,           // DL008 download or install drive short of space
  kInstallFolderNotCreated,  // DL009
  kRoundNetworkDown,         // DL010 round result 9
  kRoundNoProgress,          // DL011 round result 10
  kRoundContentLength,       // DL012 round result 6
  kMd5Mismatch,              // DL013 MD5 mismatch, signature good
  kSignatureBad,             // DL014 signature bad, MD5 good
  kMd5AndSignatureBad,       // DL015
  kInstallerTimedOut,        // DL016 silent installer still running past the time-out
  kRoundOther,               // DL017 any round result not listed (and not 1)
  kLaunchFailed,             // DL019 starting the installed product failed
  kRoundTooManyRedirects,    // DL022 round result 13 (also exception report 1)
  kNoDownloadAddress,        // DL023
  kProductRunning,           // DL024
  kTaskPlanFirst,            // DL025 task plan: the remote size differs from the saved one
  kTaskPlanSecond,           // DL026 task plan: no usable slices or size, or slices that do not fit
  kRoundOpenLocalFile,       // DL027 round result 7
  kRoundNoWorkerThreads,     // DL028 round result 8
  kRoundCdnFailure,          // DL029 round result 11
  kRoundFileTooShort,        // DL030 round result 12
  kRoundFileTooSmall,        // DL031 round result 15
};

struct FlowErrorRow {
  EnumFlowError error;
  const char* id;
  const char* raisedBy;
};

// Every identifier, in identifier order.
const FlowErrorRow* FlowErrorTable(int* count);

const char* FlowErrorId(EnumFlowError error);

}  // namespace analytics
