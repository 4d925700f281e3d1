#include "background/changed_rows.h"

#include <algorithm>

namespace panelgrab {

ChangedRows::ChangedRows(int32_t height) : marked_(static_cast<std::size_t>(std::max(height, 0)), 0) {}

void ChangedRows::Mark(int32_t first, int32_t last) {
    std::lock_guard guard(lock_);
    const auto rows = static_cast<int32_t>(marked_.size());
    first = std::max(first, 0);
    last = std::min(last, rows - 1);
    if (first > last) {
        return;
    }
    std::fill(marked_.begin() + first, marked_.begin() + last + 1, uint8_t{1});
    any_ = true;
}

void ChangedRows::Take(std::vector<RowSpan>& spans) {
    spans.clear();
    std::lock_guard guard(lock_);
    if (!any_) {
        return;
    }
    const auto rows = static_cast<int32_t>(marked_.size());
    for (int32_t row = 0; row < rows; ++row) {
        if (marked_[row] == 0) {
            continue;
        }
        if (!spans.empty() && spans.back().last + 1 == row) {
            spans.back().last = row;
        } else {
            spans.push_back(RowSpan{row, row});
        }
        marked_[row] = 0;
    }
    any_ = false;
}

} // namespace panelgrab
