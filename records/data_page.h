// Loading data pages from the open data file set.
#pragma once

#include <memory>

#include "reader/page_ref.h"
#include "records/record_page.h"

namespace tarnwick {

class CDatabaseFile;

// Reads the page and builds its record list; nothing when the page cannot be
// read. Page 0 is refused.
std::unique_ptr<CDataPage> LoadDataPage(const CDatabaseFile& file, PageRef ref,
                                        const RecordSource& source = AllSlots{});
// The same with a caller's context that the page hands to its records.
std::unique_ptr<CDataPage> LoadDataPage(const CDatabaseFile& file, PageRef ref,
                                        const RecordContext& context,
                                        const RecordSource& source = AllSlots{});
// The catalog scan's form: all slots, page 0 allowed.
std::unique_ptr<CDataPage> LoadCatalogDataPage(const CDatabaseFile& file, PageRef ref);

}  // namespace tarnwick
