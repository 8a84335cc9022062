#include "reader/catalog_stage.h"

namespace tarnwick {

std::shared_ptr<CMetadata> GetMetadata(ReaderSlot& slot) {
  if (slot.metadata) return slot.metadata;
  if (!slot.database || !slot.database->opened()) return nullptr;
  slot.metadata = std::make_shared<CMetadata>(*slot.database);
  return slot.metadata;
}

CatalogOutcome BuildCatalog(ReaderSlot& slot, ScanFrontEnd& front) {
  // The data file set reports through the sink it was opened with, which is
  // the front end's.
  static_cast<void>(front);
  std::shared_ptr<CMetadata> metadata = GetMetadata(slot);
  if (!metadata) return CatalogOutcome::kNoMetadata;
  return metadata->objects().empty() ? CatalogOutcome::kEmpty : CatalogOutcome::kReady;
}

}  // namespace tarnwick
