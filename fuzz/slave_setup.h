#pragma once
// The slave definitions every slave target serves: all four tables of unit 1
// at their full sizes, a second unit near the top of the address range, and a
// small one whose requests mostly fall outside it.
#include "slave/engine/slave_engine.h"

namespace fuzzsupport {

inline void RegisterFuzzSlots() {
  slaveengine::InitEngine();
  slaveengine::RegisterSlot(0, 0, 0, 1, slaveengine::kCoils, 0, slaveengine::kMaxBitLength);
  slaveengine::RegisterSlot(0, 0, 0, 1, slaveengine::kDiscreteInputs, 5, 100);
  slaveengine::RegisterSlot(0, 0, 0, 1, slaveengine::kHoldingRegisters, 0, slaveengine::kMaxRegisterLength);
  slaveengine::RegisterSlot(0, 0, 0, 1, slaveengine::kInputRegisters, 0, slaveengine::kMaxRegisterLength);
  slaveengine::RegisterSlot(0, 0, 0, 2, slaveengine::kHoldingRegisters, 65500, 36);
  slaveengine::RegisterSlot(0, 0, 0, 3, slaveengine::kCoils, 100, 10);
}

}  // namespace fuzzsupport
