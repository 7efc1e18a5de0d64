#include "slave/headless/headless_autochange.h"

#include <algorithm>
#include <cstring>

#include "slave/engine/autochange.h"
#include "slave/headless/headless_simulation.h"
#include "slave/headless/headless_vantor.h"
#include "slave/engine/slave_engine.h"

autochange::Setters SlotSetters(int* slot) {
  autochange::Setters setters;
  setters.context = slot;
  setters.setCoil = [](void* c, int i, std::uint8_t v) { slaveengine::SetCoilValue(*static_cast<int*>(c), i, v); };
  setters.setRegister = [](void* c, int i, std::uint16_t v) {
    slaveengine::SetRegisterValue(*static_cast<int*>(c), i, v);
  };
  setters.setFloat = [](void* c, int i, float v, bool swap) {
    slaveengine::SetFloatValue(*static_cast<int*>(c), i, v, swap);
  };
  setters.setDouble = [](void* c, int i, double v, bool swap) {
    slaveengine::SetDoubleValue(*static_cast<int*>(c), i, v, swap);
  };
  setters.setLong = [](void* c, int i, std::int32_t v, bool swap) {
    slaveengine::SetLongValue(*static_cast<int*>(c), i, static_cast<std::uint32_t>(v), swap);
  };
  return setters;
}

void HeadlessAutoChange(headless::HeadlessDefinition& definition) {
  vnd::VndDocument& document = definition.document;
  const int slot = definition.slot;
  if (slot < 0 || document.table < 1 || document.table > 4) return;
  std::uint8_t* image = document.valueImage.data();
  if (document.table <= 2) {
    slaveengine::ReadSlotCoils(slot, image);
  } else {
    std::uint16_t words[vnd::kImageSize / 2];
    const int count = std::clamp(document.length, 0, vnd::kImageSize / 2);
    if (slaveengine::ReadSlotRegisters(slot, words) && count > 0) std::memcpy(image, words, 2 * count);
  }
  const autochange::Setters setters = SlotSetters(&definition.slot);
  autochange::Step(document.table, document.displayFormat, document.length, document.autoChangeFlags.data(), image,
                   setters);
  headless::StepSimulation(definition);
}
