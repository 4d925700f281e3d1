#include "background/band_checksums.h"

#include <algorithm>

namespace panelgrab {

BandChecksums::BandChecksums(int32_t height, int32_t bandRows, int32_t smallestRows) {
    bandRows = std::max(bandRows, 1);
    smallestRows = std::clamp(smallestRows, 1, bandRows);
    for (int32_t top = 0; top < height; top += bandRows) {
        const auto index = static_cast<int32_t>(nodes_.size());
        nodes_.push_back(Node{top, std::min(top + bandRows, height) - 1});
        roots_.push_back(index);
        Split(index, smallestRows);
    }
}

void BandChecksums::Split(int32_t index, int32_t smallestRows) {
    const int32_t top = nodes_[index].top;
    const int32_t bottom = nodes_[index].bottom;
    const int32_t rows = bottom - top + 1;
    if (rows <= smallestRows) {
        return;
    }
    const int32_t split = top + (rows + 1) / 2;
    const auto first = static_cast<int32_t>(nodes_.size());
    nodes_.push_back(Node{top, split - 1});
    nodes_.push_back(Node{split, bottom});
    nodes_[index].firstChild = first;
    Split(first, smallestRows);
    Split(first + 1, smallestRows);
}

BandChecksums::Outcome BandChecksums::AskAll(const AskSum& ask, int32_t& requests) {
    for (Node& node : nodes_) {
        int32_t sum = 0;
        ++requests;
        switch (ask(node.top, node.bottom, sum)) {
        case Answer::Sum:
            node.known = true;
            node.sum = sum;
            break;
        case Answer::Refused:
            return Outcome::Refused;
        case Answer::Failed:
            return Outcome::Failed;
        }
    }
    return Outcome::Done;
}

BandChecksums::Outcome BandChecksums::FindChanged(const AskSum& ask, std::vector<RowSpan>& changed,
                                                  int32_t& requests) {
    changed.clear();
    for (const int32_t root : roots_) {
        bool added = false;
        switch (Search(root, ask, changed, requests, added)) {
        case Answer::Sum:
            break;
        case Answer::Refused:
            return Outcome::Refused;
        case Answer::Failed:
            return Outcome::Failed;
        }
    }
    return Outcome::Done;
}

BandChecksums::Answer BandChecksums::Search(int32_t index, const AskSum& ask, std::vector<RowSpan>& changed,
                                            int32_t& requests, bool& added) {
    int32_t sum = 0;
    ++requests;
    if (const Answer answer = ask(nodes_[index].top, nodes_[index].bottom, sum); answer != Answer::Sum) {
        return answer;
    }
    Node& node = nodes_[index];
    if (node.known && node.sum == sum) {
        return Answer::Sum;
    }
    node.known = true;
    node.sum = sum;
    const int32_t firstChild = node.firstChild;
    bool halvesAdded = false;
    if (firstChild >= 0) {
        for (const int32_t child : {firstChild, firstChild + 1}) {
            if (const Answer answer = Search(child, ask, changed, requests, halvesAdded);
                answer != Answer::Sum) {
                return answer;
            }
        }
    }
    if (!halvesAdded) {
        Add(changed, nodes_[index].top, nodes_[index].bottom);
    }
    added = true;
    return Answer::Sum;
}

void BandChecksums::Add(std::vector<RowSpan>& spans, int32_t first, int32_t last) {
    if (!spans.empty() && spans.back().last + 1 >= first) {
        spans.back().last = std::max(spans.back().last, last);
        return;
    }
    spans.push_back(RowSpan{first, last});
}

} // namespace panelgrab
