#pragma once

#include <cstdint>

namespace panelgrab {

// How a live view keeps its picture current (see LiveViewTask).
struct LiveViewOptions {
    // Rows of each band whose checksum every refresh asks for. Smaller bands see more of the changes
    // a sum cannot see, and cost one request each per refresh.
    int32_t bandRows = 8;
    // A band whose sum changed has its smallest bands of this many rows asked, and only the lines of
    // those that changed are fetched. One row: two neighbouring rows that trade contents (a highlight
    // moving down a list, over the blank rows between entries) keep the sum of any band holding both.
    int32_t smallestBandRows = 1;
    // A full read once this long has passed since the last one ended, to correct what a sum cannot
    // see; 0: only the opening one and those asked for.
    int32_t fullReadEveryMs = 30000;
    // A refresh starts at most this often; 0: one right after the other.
    int32_t refreshIntervalMs = 100;

    // Bands of 1 to 4096 rows, smallest bands no larger than the bands, no negative time.
    bool valid() const {
        return bandRows >= 1 && bandRows <= 4096 && smallestBandRows >= 1 && smallestBandRows <= bandRows &&
               fullReadEveryMs >= 0 && refreshIntervalMs >= 0;
    }
};

} // namespace panelgrab
