#pragma once
// Lets headless vantor run the auto-change rules of its .vnd files on the
// engine's periodic refresh, as the windows do.
namespace headless {
struct HeadlessDefinition;
}

void HeadlessAutoChange(headless::HeadlessDefinition& definition);
