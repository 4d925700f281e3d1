#pragma once

#include <QString>
#include <cstdint>

class QComboBox;

namespace panelgrab {

// Selects the first item whose text begins with `prefix`, ignoring letter case, and returns its index;
// -1 and the selection unchanged when none does.
int SelectFirstWithPrefix(QComboBox& list, const QString& prefix);

// The decimal number the text begins with; 0 when it begins with no digit.
int32_t LeadingDecimal(const QString& text);

} // namespace panelgrab
