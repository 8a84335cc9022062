// The sample database: a data file and its transaction log, written
// together by simulating a small shop's workload, so that the log's row
// changes and the data file's current rows agree.
//
// Tables (every kind of column the readers handle):
//
//   Customers   CustomerId int identity PK, FirstName/LastName nvarchar,
//               Email varchar NULL (unique index), BirthDate date NULL,
//               CreatedAt datetime, IsActive bit, ExternalId uniqueidentifier
//   Products    ProductId int identity PK, Sku varchar, Name nvarchar,
//               Price money, Weight decimal(9,3) NULL, Stock int,
//               Photo varbinary NULL, Description nvarchar(max) NULL (long
//               texts off the row on text pages), UpdatedAt datetime2(7)
//   Orders      OrderId int identity PK, CustomerId int FK, OrderDate
//               datetime2(7), Status tinyint, Total decimal(12,2), ShipBy
//               date NULL, Note nvarchar NULL
//   OrderLines  OrderLineId bigint identity PK, OrderId int FK, ProductId int
//               FK, Quantity smallint, UnitPrice money, Discount decimal(5,2)
//   AuditLog    a heap: LoggedAt datetime, Action varchar, Detail nvarchar
//               NULL, Payload varbinary NULL
//
// The log holds named transactions (AddCustomer, PlaceOrder, ShipOrder,
// CancelOrder, ...; single statements as "user_transaction"), up to three
// of them open at once with their records interleaved, and short system
// transactions (page allocations, statistics) that begin between a user
// transaction's row changes. Updates of one fixed column are modify-row
// records, updates of several ranges of a row modify-columns records. Index
// rows of the unique index, allocation pages, system tables and text pages
// get records of their own that are not row changes of a user table. The
// log has wrapped: the first VLF of the file carries the highest sequence
// number and, after its live blocks, a stale block of its previous use.
//
// The data file holds the catalog and the rows as they stand at the end of
// the log; rows deleted in the log are left as ghost records, so every log
// record's page and slot still name its row.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace tarnwick::sample {

struct SampleOptions {
  // The generator stops starting transactions once both minimums are met:
  // at least this many row operations on user tables...
  uint64_t operations = 400;
  // ... and a log file of at least this many bytes (0: no minimum).
  uint64_t log_bytes = 0;
  uint64_t seed = 20240304;
  // VLF size in bytes (rounded up to a multiple of 8192, at least 32 KiB);
  // 0 chooses 64 KiB for small logs and 64 MiB from 256 MiB or a million
  // operations on.
  uint64_t vlf_size = 0;
  // Whether the report lists every operation (off for large logs).
  bool list_operations = true;
};

// Operation codes of the row changes, as the log records carry them.
inline constexpr uint8_t kSampleInsert = 2;
inline constexpr uint8_t kSampleDelete = 3;
inline constexpr uint8_t kSampleModifyRow = 4;
inline constexpr uint8_t kSampleModifyColumns = 6;

// One row change written to the log, in log order.
struct SampleOperation {
  uint32_t table = 0;        // index into SampleReport::tables
  uint32_t transaction = 0;  // index into SampleReport::transaction_names
  uint8_t operation = 0;
  uint32_t vlf_sequence = 0;
  uint32_t block_offset = 0;  // 512-byte units from the VLF's start
  uint32_t record_index = 0;
  // Inserts: the row is in the data file at the end, as inserted.
  bool row_unchanged = false;
};

struct SampleTable {
  int32_t object_id = 0;
  std::string name;
  uint64_t rowset_id = 0;
  uint64_t inserts = 0;
  uint64_t deletes = 0;
  uint64_t modify_rows = 0;
  uint64_t modify_columns = 0;
  uint64_t live_rows = 0;  // rows in the data file at the end
  uint64_t operations() const { return inserts + deletes + modify_rows + modify_columns; }
};

struct SampleReport {
  std::vector<SampleTable> tables;
  std::vector<std::string> transaction_names;
  // Filled when SampleOptions::list_operations is set.
  std::vector<SampleOperation> operation_list;
  // Row operations by the name of their own transaction.
  std::map<std::string, uint64_t> operations_by_transaction;
  uint64_t operations = 0;
  uint64_t user_transactions = 0;
  uint64_t system_transactions = 0;
  uint64_t begin_records = 0;  // in the live log (not the stale block)
  uint64_t log_records = 0;
  uint64_t log_blocks = 0;
  uint64_t vlfs = 0;  // VLFs in use
  uint64_t log_bytes = 0;
  uint64_t data_pages = 0;  // pages of the data file
};

// Writes the pair. Throws std::runtime_error when a file cannot be written.
SampleReport WriteSampleDatabase(const std::string& mdf_path, const std::string& ldf_path,
                                 const SampleOptions& options = {});

}  // namespace tarnwick::sample
