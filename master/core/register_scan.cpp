#include "master/core/register_scan.h"

#include <algorithm>

#include "common/modbus_protocol.h"
#include "master/engine/result_codes.h"

namespace regscan {

namespace me = masterengine;

namespace {

int ReadLimit(int function) {
  return modbus::IsBitRead(function) ? modbus::MAX_READ_BITS : modbus::MAX_READ_REGISTERS;
}

// Pushes the range as blocks, last block first, so that the walk ascends.
void PushBlocks(RegisterScanState* state, int address, int count, int blockSize) {
  std::vector<std::pair<int, int>> blocks;
  for (int a = address; a < address + count; a += blockSize) blocks.push_back({a, std::min(blockSize, address + count - a)});
  state->pending.insert(state->pending.end(), blocks.rbegin(), blocks.rend());
}

void AddReadable(RegisterScanState* state, int address, const std::uint16_t* values, int count) {
  std::vector<Block>& blocks = state->readable;
  if (blocks.empty() || blocks.back().address + blocks.back().count() != address) blocks.push_back({address, {}});
  blocks.back().values.insert(blocks.back().values.end(), values, values + count);
}

}  // namespace

std::string PlanProblem(const RegisterScanPlan& plan) {
  if (!modbus::IsRead(plan.function)) return "the function must be 1, 2, 3 or 4";
  if (plan.slave < 0 || plan.slave > modbus::MAX_UNIT_ID) return "the slave id must be 0..255";
  if (plan.first < 0 || plan.last > modbus::MAX_ADDRESS || plan.first > plan.last)
    return "the addresses must be a range within 0..65535";
  const int limit = ReadLimit(plan.function);
  if (plan.blockSize < 1 || plan.blockSize > limit) return "the block size must be 1.." + std::to_string(limit);
  return {};
}

long TotalItems(const RegisterScanPlan& plan) { return static_cast<long>(plan.last) - plan.first + 1; }

void StartRegisterScan(RegisterScanState* state, const RegisterScanPlan& plan) {
  *state = RegisterScanState{};
  state->plan = plan;
  PushBlocks(state, plan.first, static_cast<int>(TotalItems(plan)), plan.blockSize);
}

bool NextRead(const RegisterScanState& state, int* address, int* count) {
  if (state.stopped || state.pending.empty()) return false;
  *address = state.pending.back().first;
  *count = state.pending.back().second;
  return true;
}

void RecordRead(RegisterScanState* state, std::uint16_t resultCode, const std::uint16_t* values) {
  if (state->pending.empty()) return;
  const auto [address, count] = state->pending.back();
  state->pending.pop_back();
  ++state->requests;
  if (resultCode == me::RESULT_OK) {
    AddReadable(state, address, values, count);
    state->itemsDone += count;
  } else if (resultCode == me::ExceptionResult(modbus::EXCEPTION_ILLEGAL_DATA_ADDRESS)) {
    if (count == 1) {
      ++state->itemsDone;
      return;
    }
    const int half = count / 2;
    state->pending.push_back({address + half, count - half});
    state->pending.push_back({address, half});
  } else {
    state->stopped = true;
    state->failure = "address " + std::to_string(address) + ": " +
                     (me::IsExceptionResult(resultCode) && *me::ResultText(resultCode) == '\0'
                          ? "exception " + std::to_string(resultCode - me::RESULT_EXCEPTION_BASE)
                          : std::string(me::ResultText(resultCode)));
  }
}

void StopRegisterScan(RegisterScanState* state) { state->stopped = true; }

std::string CsvHeader() { return "address,count,values"; }

std::string CsvLine(const Block& block) {
  std::string line = std::to_string(block.address) + "," + std::to_string(block.count()) + ",";
  for (int k = 0; k < block.count(); ++k) line += (k ? " " : "") + std::to_string(block.values[static_cast<std::size_t>(k)]);
  return line;
}

}  // namespace regscan
