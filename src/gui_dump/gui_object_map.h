#pragma once

#include <map>
#include <string>

namespace panelgrab {

// A string-to-string map whose keys are upper-cased on every store and lookup.
class GuiObjectMap {
public:
    void SetProperty(const std::string& key, const std::string& value);
    // The value under the key, or empty text when the key is absent.
    std::string GetProperty(const std::string& key) const;
    bool HasProperty(const std::string& key) const;
    void CopyFrom(const GuiObjectMap& other);
    void RemoveAll() { entries_.clear(); }
    std::size_t size() const { return entries_.size(); }
    // Entries in ascending key order.
    const std::map<std::string, std::string>& entries() const { return entries_; }

private:
    std::map<std::string, std::string> entries_;
};

} // namespace panelgrab
