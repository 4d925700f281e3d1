#pragma once

#include <cstdint>

namespace panelgrab {

// How a live view keeps its picture current (see LiveViewTask and CrossedBands).
struct LiveViewOptions {
    // Rows of each band whose checksum every refresh asks for. A difference that changes some row's
    // sum is found within this many refreshes of a still screen; each band costs one request.
    int32_t bandRows = 8;
    // Only for a phone whose sums differ from ours (bands judged by their own earlier sums): a band
    // whose sum changed has its smallest bands of this many rows asked.
    int32_t smallestBandRows = 1;
    // Columns of each strip (full height) whose checksum every refresh asks for: a difference that
    // keeps every row's sum but changes some column's is found within this many refreshes.
    int32_t stripColumns = 8;
    // Compare the phone's sums with the picture's own when the phone is seen to sum as we do
    // (moving bands and strips, changed columns only); false: judge each band only by the phone's
    // earlier sums of it and fetch changed rows whole, as for a phone whose sums are not ours.
    bool compareWithPicture = true;
    // A full read once this long has passed since the last one ended, the last resort for what no
    // sum can see; 0: only the opening one and those asked for.
    int32_t fullReadEveryMs = 30000;
    // A refresh starts at most this often; 0: one right after the other.
    int32_t refreshIntervalMs = 20;
    // While nothing changes, the refreshes keep the line busy at most this share of the time (a
    // refresh that found nothing is followed by a pause in proportion); a refresh that fetched
    // something is followed by the next one after refreshIntervalMs only. 1 to 100.
    int32_t stillLinePercent = 50;
    // A full read hands out what it fetched every bandRows lines as it goes (partial updates), so a
    // client can show its progress; false: a full read is handed out whole at its end.
    bool handOutFullReadRows = false;

    // Bands and strips of 1 to 4096, smallest bands no larger than the bands, no negative time.
    bool valid() const {
        return bandRows >= 1 && bandRows <= 4096 && smallestBandRows >= 1 && smallestBandRows <= bandRows &&
               stripColumns >= 1 && stripColumns <= 4096 && fullReadEveryMs >= 0 && refreshIntervalMs >= 0 &&
               stillLinePercent >= 1 && stillLinePercent <= 100;
    }
};

} // namespace panelgrab
