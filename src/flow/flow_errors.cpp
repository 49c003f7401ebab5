#include "flow/flow_errors.h"

#include "analytics/single_user_log.h"

namespace flow {

const char* FlowErrorIdForRoundResult(int roundResult) {
  switch (roundResult) {
    case 1:
      return nullptr;
    case 6:
      return FlowErrorId(EnumFlowError::kRoundContentLength);
    case 7:
      return FlowErrorId(EnumFlowError::kRoundOpenLocalFile);
    case 8:
      return FlowErrorId(EnumFlowError::kRoundNoWorkerThreads);
    case 9:
      return FlowErrorId(EnumFlowError::kRoundNetworkDown);
    case 10:
      return FlowErrorId(EnumFlowError::kRoundNoProgress);
    case 11:
      return FlowErrorId(EnumFlowError::kRoundCdnFailure);
    case 12:
      return FlowErrorId(EnumFlowError::kRoundFileTooShort);
    case 13:
      return FlowErrorId(EnumFlowError::kRoundTooManyRedirects);
    case 15:
      return FlowErrorId(EnumFlowError::kRoundFileTooSmall);
    default:
      return FlowErrorId(EnumFlowError::kRoundOther);
  }
}

const char* FlowErrorIdForVerification(bool md5Good, bool signatureGood) {
  if (md5Good && signatureGood) return nullptr;
  if (!md5Good && !signatureGood) return FlowErrorId(EnumFlowError::kMd5AndSignatureBad);
  return md5Good ? FlowErrorId(EnumFlowError::kSignatureBad)
                 : FlowErrorId(EnumFlowError::kMd5Mismatch);
}

int SendFlowError(EnumFlowError error) {
  return SendFlowError(FlowErrorId(error));
}

int SendFlowError(const char* id) {
  return analytics::CSingleUserLog::GetInstance().AddUserLog("Other", "FlowError", id);
}

}  // namespace flow
