#include "analytics/flow_error_ids.h"

namespace analytics {
namespace {

const FlowErrorRow kRows[] = {
    {EnumFlowError::kConfigTimedOut, "DL002", "configuration request timed out"},
    {EnumFlowError::kConfigHostUnresolved, "DL003", "configuration host not resolved"},
    {EnumFlowError::kPrivacyLinkFirst, "DL004", "privacy-link request"},
    {EnumFlowError::kPrivacyLinkSecond, "DL005", "privacy-link request"},
    {EnumFlowError::kDiskSpaceShort, "DL008", "disk space check"},
    {EnumFlowError::kInstallFolderNotCreated, "DL009", "install path check"},
    {EnumFlowError::kRoundNetworkDown, "DL010", "download round: network down"},
    {EnumFlowError::kRoundNoProgress, "DL011", "download round: no progress"},
    {EnumFlowError::kRoundContentLength, "DL012", "download round: content length"},
    {EnumFlowError::kMd5Mismatch, "DL013", "verification: MD5 mismatch"},
    {EnumFlowError::kSignatureBad, "DL014", "verification: signature bad"},
    {EnumFlowError::kMd5AndSignatureBad, "DL015", "verification: MD5 and signature bad"},
    {EnumFlowError::kInstallerTimedOut, "DL016", "silent installer time-out"},
    {EnumFlowError::kRoundOther, "DL017", "download round: other result"},
    {EnumFlowError::kLaunchFailed, "DL019", "product launch"},
    {EnumFlowError::kRoundTooManyRedirects, "DL022", "download round: too many redirects"},
    {EnumFlowError::kNoDownloadAddress, "DL023", "no usable download address"},
    {EnumFlowError::kProductRunning, "DL024", "product running at install start"},
    {EnumFlowError::kTaskPlanFirst, "DL025", "task plan consistency"},
    {EnumFlowError::kTaskPlanSecond, "DL026", "task plan consistency"},
    {EnumFlowError::kRoundOpenLocalFile, "DL027", "download round: local file"},
    {EnumFlowError::kRoundNoWorkerThreads, "DL028", "download round: no worker threads"},
    {EnumFlowError::kRoundCdnFailure, "DL029", "download round: CDN failure"},
    {EnumFlowError::kRoundFileTooShort, "DL030", "download round: file too short"},
    {EnumFlowError::kRoundFileTooSmall, "DL031", "download round: file too small"},
};

}  // namespace

const FlowErrorRow* FlowErrorTable(int* count) {
  *count = static_cast<int>(sizeof(kRows) / sizeof(kRows[0]));
  return kRows;
}

const char* FlowErrorId(EnumFlowError error) {
  for (const FlowErrorRow& row : kRows) {
    if (row.error == error) return row.id;
  }
  return "DL017";
}

}  // namespace analytics
