#pragma once

// The serial ports a session can open (the listing, their descriptions) and the baud rates it can
// set, for front ends that offer them to the user.
#include "transport/bytes/baud_rate.h"
#include "transport/ports/port_enumeration.h"
