#pragma once
// Headless vantor's --replay: the recording read and its missing definitions
// added before serving, then its samples written at their recorded times. The
// main loop steps it whenever it wakes and sleeps no longer than until the next
// sample is due, so a sample's values are served from its time on (to the
// millisecond, not to the 500 ms refresh).
#include <vector>

#include "slave/headless/headless_vantor.h"
#include "slave/headless/headless_vantor_options.h"

namespace headless {

// Reads --replay FILE and appends the definitions its reads need beyond those
// given. Prints "vantor: FILE: ..." and returns 1 for a file that cannot be read
// or parsed, or that needs more definitions than can be served; 0 otherwise
// (also without --replay).
int AttachReplay(const VantorOptions& options, std::vector<HeadlessDefinition>* definitions);

// Starts the clock of the replay and writes the samples due at once. The
// definitions (registered, with their slots) must stay where they are while it runs.
void StartReplay(std::vector<HeadlessDefinition>& definitions);

// Prints what is replayed, how long a pass is, once or in a loop, and the speed
// (after the serving line, which tells a caller the program is ready).
void AnnounceReplay();

// Writes the samples that have come due; returns the milliseconds until the next
// one is due, -1 when none will be (no replay, or a replay played once is over).
int StepReplay();

// Forgets the replay (after serving).
void StopReplay();

}  // namespace headless
