#include "records/page_source.h"

#include "reader/database_file.h"

namespace tarnwick {

std::optional<ByteBuffer> DatabasePageSource::LoadPage(PageRef ref) const {
  return file_.LoadPageBytes(ref, false);
}

}  // namespace tarnwick
