#pragma once
// Lets headless vantor run the auto-change rules of its .vnd files on the
// engine's periodic refresh, as the windows do; the --simulate rules follow.
#include "slave/engine/autochange.h"

namespace headless {
struct HeadlessDefinition;
}

void HeadlessAutoChange(headless::HeadlessDefinition& definition);

// Setters that hand new values to the engine slot *slot.
autochange::Setters SlotSetters(int* slot);
