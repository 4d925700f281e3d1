#pragma once

// What a front end shows of a running grab: the state of the read (ProgressSnapshot), its rate and
// the time left.
#include "capture/read_progress.h"
