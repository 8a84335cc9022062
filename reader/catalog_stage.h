// The catalog stage of the scan: builds the reader slot's catalog from its
// open data file set.
#pragma once

#include <memory>

#include "reader/metadata.h"
#include "reader/scan_driver.h"

namespace tarnwick {

// The slot's catalog, built on the first call (status "Processing Metadata
// Information..........." first) and kept; null when the slot has no open
// data file set.
std::shared_ptr<CMetadata> GetMetadata(ReaderSlot& slot);

// ScanStages::build_catalog: kNoMetadata without an open data file set,
// kEmpty when the catalog lists no object at all, kReady otherwise.
CatalogOutcome BuildCatalog(ReaderSlot& slot, ScanFrontEnd& front);

}  // namespace tarnwick
