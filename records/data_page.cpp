#include "records/data_page.h"

#include "reader/database_file.h"

namespace tarnwick {
namespace {

std::unique_ptr<CDataPage> Load(const CDatabaseFile& file, PageRef ref, bool allow_page_zero,
                                const RecordSource& source, const RecordContext* context) {
  std::optional<ByteBuffer> bytes = file.LoadPageBytes(ref, allow_page_zero);
  if (!bytes) return nullptr;
  return std::make_unique<CDataPage>(std::move(*bytes), &file, source, context);
}

}  // namespace

std::unique_ptr<CDataPage> LoadDataPage(const CDatabaseFile& file, PageRef ref,
                                        const RecordSource& source) {
  return Load(file, ref, false, source, nullptr);
}

std::unique_ptr<CDataPage> LoadDataPage(const CDatabaseFile& file, PageRef ref,
                                        const RecordContext& context, const RecordSource& source) {
  return Load(file, ref, false, source, &context);
}

std::unique_ptr<CDataPage> LoadCatalogDataPage(const CDatabaseFile& file, PageRef ref) {
  return Load(file, ref, true, AllSlots{}, nullptr);
}

}  // namespace tarnwick
