#pragma once

// The serial ports a session can open (the listing, their descriptions), the baud rates it can
// set and those a baud search tries, for front ends that offer them to the user.
#include "transport/at/baud_search.h"
#include "transport/bytes/baud_rate.h"
#include "transport/ports/port_enumeration.h"
