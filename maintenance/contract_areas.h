// The operations of TQSourceContractMTS.Contract are declared to the host by area, each
// routine beside the area's code and called by the class declaration (contract.cpp).
#pragma once

#include "platform/host.h"

namespace TQSourceContractMTS::detail {

// Attachments.
void declareAttachmentOperations(ec::ClassInfo& ci);

// Backend-system records, export and transaction pull.
void declareBackendOperations(ec::ClassInfo& ci);

// XML export and publishing.
void declareXmlOperations(ec::ClassInfo& ci);

// Routing.
void declareRoutingOperations(ec::ClassInfo& ci);

// User-defined data, creating and copying lines.
void declareUserDataOperations(ec::ClassInfo& ci);
void declareLineCopyOperations(ec::ClassInfo& ci);

}  // namespace TQSourceContractMTS::detail
