#pragma once
// The register scan of one device, Qt-free: walks an address range with one
// read function in blocks; a block answered with exception 2 (Illegal Data
// Address) is split in halves until single addresses, so the readable blocks
// come out exactly. Shared by the register scan window and zelmor --headless
// --register-scan; the reads themselves go through the engine's one-shot slot
// (bus_scan_engine.*).
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace regscan {

struct RegisterScanPlan {
  int slave = 1;
  int function = 3;  // 1..4
  int first = 0;     // protocol addresses
  int last = 999;
  int blockSize = 100;  // items per request, within the function's read limit
};

// Empty when the plan can run, else what is wrong.
std::string PlanProblem(const RegisterScanPlan& plan);

struct Block {
  int address = 0;
  std::vector<std::uint16_t> values;  // registers, or 0/1 per coil or input
  int count() const { return static_cast<int>(values.size()); }
};

struct RegisterScanState {
  RegisterScanPlan plan;
  std::vector<std::pair<int, int>> pending;  // (address, count) still to read, last = next
  std::vector<Block> readable;  // ascending; neighbouring reads joined
  long requests = 0;
  long itemsDone = 0;  // addresses settled (read or refused)
  bool stopped = false;
  std::string failure;  // why the scan ended early
};

void StartRegisterScan(RegisterScanState* state, const RegisterScanPlan& plan);
// The next read; false when the scan is over.
bool NextRead(const RegisterScanState& state, int* address, int* count);
// The engine's result for the read NextRead gave, with its values (count items).
// Exception 2 splits the block (a single address is then unreadable); any
// other failure ends the scan with its text in failure.
void RecordRead(RegisterScanState* state, std::uint16_t resultCode, const std::uint16_t* values);
void StopRegisterScan(RegisterScanState* state);
long TotalItems(const RegisterScanPlan& plan);

// "address,count,values" with the values separated by blanks; one line per block.
std::string CsvHeader();
std::string CsvLine(const Block& block);

}  // namespace regscan
