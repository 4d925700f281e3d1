#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace panelgrab {

// The names of the extended commands on one AT command line, upper-cased, in order: the prefixes
// of the information lines that answer it. Parsed as V.250 does: blanks outside quotes are ignored,
// commands are joined by ';', basic commands (E1, &F, S7=30, V1, …) may come before an extended one
// ("ATE1+CSQ"), and quoted arguments are skipped whole. "AT+CSQ;+CBC\r" gives {"+CSQ", "+CBC"},
// "AT*ZISI=?\r" gives {"*ZISI"}; a line that does not start with AT gives none.
std::vector<std::string> AnswerPrefixes(std::string_view commandLine);

// True for the characters that start an extended command name: '+' and the vendors' '*', '$', '^',
// '%', '#', '!'.
bool IsExtendedPrefix(char c);

} // namespace panelgrab
