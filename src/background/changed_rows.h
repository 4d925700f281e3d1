#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "background/row_span.h"

namespace panelgrab {

// The display rows stored anew since a client last looked: marked by the job that stores them,
// taken by the client that draws them. Thread-safe.
class ChangedRows {
public:
    explicit ChangedRows(int32_t height);

    // Rows outside the display are ignored.
    void Mark(int32_t first, int32_t last);
    // The marked rows as spans, top down (emptied first), and clears the marks.
    void Take(std::vector<RowSpan>& spans);

private:
    std::mutex lock_;
    std::vector<uint8_t> marked_;
    bool any_ = false;
};

} // namespace panelgrab
