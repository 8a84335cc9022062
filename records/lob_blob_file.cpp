#include "records/lob_blob_file.h"

#include <filesystem>
#include <fstream>
#include <system_error>

#include "platform/file_system.h"

namespace tarnwick {

std::string BlobFolder::FileName(int n) { return std::to_string(n) + "_blob"; }

std::string BlobFolder::Reference(int n) const {
  std::string folder = folder_;
  while (!folder.empty() && (folder.back() == '/' || folder.back() == '\\')) folder.pop_back();
  return "\\" + FileNameOf(folder) + "\\" + FileName(n);
}

std::optional<std::string> BlobFolder::Store(Bytes value) {
  const int n = ++counter_;
  std::error_code error;
  std::filesystem::create_directories(folder_, error);
  if (error) return std::nullopt;
  std::ofstream out(JoinPath(folder_, FileName(n)), std::ios::binary | std::ios::trunc);
  if (!out) return std::nullopt;
  out.write(reinterpret_cast<const char*>(value.data()),
            static_cast<std::streamsize>(value.size()));
  out.close();
  if (!out) return std::nullopt;
  return Reference(n);
}

}  // namespace tarnwick
