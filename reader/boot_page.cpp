#include "reader/boot_page.h"

#include "reader/byte_reader.h"

namespace tarnwick {

std::string VersionName(int version_number) {
  switch (version_number) {
    case 782: return " SQL Server 2014";
    case 706: return " SQL Server 2012";
    case 684: return " SQL Server 2012 CTP1";
    case 660:
    case 661: return " SQL Server 2008 R2";
    case 655: return " SQL Server 2008";
    case 612: return " SQL Server 2005 SP2+ with VarDecimal enabled";
    case 611: return " SQL Server 2005";
    case 539: return " SQL Server 2000";
    case 515: return " SQL Server 7.0";
    case 408: return " SQL Server 6.5";
    default: return kUnknownVersion;
  }
}

bool IsVersionBefore2005(const std::string& name) {
  return name == " SQL Server 2000" || name == " SQL Server 7.0" || name == " SQL Server 6.5";
}

std::optional<CollationMatch> LookupCollation(const CollationTable& table, int32_t raw_id) {
  int64_t key = raw_id;
  auto it = table.find(key);
  if (it == table.end()) {
    key = static_cast<uint16_t>(static_cast<uint32_t>(raw_id) & 0xFFFF);
    it = table.find(key);
  }
  if (it == table.end()) return std::nullopt;
  return CollationMatch{key, it->second};
}

CBootPage::CBootPage(std::span<const uint8_t> page) {
  ByteReader r(page);
  version_number_ = r.I16(kBootVersionOffset);
  creation_version_ = r.I16(kBootVersionOffset + 2);
  collation_id_ = r.I32(kBootCollationOffset);
}

void CBootPage::ApplyTo(RunState& state) const {
  state.version_number = version_number_;
  state.version_name = VersionName(version_number_);
  state.boot_collation_id = collation_id_;
  if (auto match = LookupCollation(state.collations, collation_id_)) {
    state.collation_found = true;
    state.collation_id = match->id;
    state.code_page = match->entry.code_page;
    state.collation_name = match->entry.name;
  }
}

}  // namespace tarnwick
