// Flow errors: the helpers that pick the identifier (analytics/flow_error_ids.h) for a download
// round result or a verification outcome, and the one way to send one. A flow error is sent as
// the event ["Other" | "FlowError" | identifier] of the user event log.
// Thread-safe: a fixed table and calls into the event log, which may come from any thread.
#pragma once

#include "analytics/flow_error_ids.h"

namespace flow {

// The identifiers themselves live beside the event log so the download engine can raise them.
using analytics::EnumFlowError;
using analytics::FlowErrorId;
using analytics::FlowErrorRow;
using analytics::FlowErrorTable;

// The identifier of a download round result; null for 1 (success).
const char* FlowErrorIdForRoundResult(int roundResult);
// The identifier of a verification outcome; null when both checks passed.
const char* FlowErrorIdForVerification(bool md5Good, bool signatureGood);

// Records the flow error through the user event log; its result.
int SendFlowError(EnumFlowError error);
int SendFlowError(const char* id);

}  // namespace flow
