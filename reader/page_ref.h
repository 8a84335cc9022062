// A page address: file id, page number (the page's position in its file,
// counted in pages from the file's base offset, never the id in its header)
// and the page type byte of its header.
#pragma once

#include <compare>
#include <cstdint>

namespace tarnwick {

inline constexpr uint32_t kPageSize = 8192;

struct PageRef {
  uint16_t file_id = 0;
  uint32_t page = 0;
  uint32_t type = 0;

  // Addresses compare by file id and page number only.
  friend bool operator==(const PageRef& a, const PageRef& b) {
    return a.file_id == b.file_id && a.page == b.page;
  }
  friend auto operator<=>(const PageRef& a, const PageRef& b) {
    if (auto c = a.file_id <=> b.file_id; c != 0) return c;
    return a.page <=> b.page;
  }
};

}  // namespace tarnwick
