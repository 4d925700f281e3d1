#pragma once

#include <string_view>

#include "common/narrow_string.h"

namespace panelgrab {

// The fixed commands of the phone protocol, sent exactly as written.
extern const NarrowString kCmdAt;       // "AT\r"
extern const NarrowString kCmdZipiTest; // "AT*ZIPI=?\r"
extern const NarrowString kCmdZisiTest; // "AT*ZISI=?\r"
extern const NarrowString kCmdZapcTest; // "AT*ZAPC=?\r"
extern const NarrowString kCmdModel;    // "AT+CGMM\r"
extern const NarrowString kCmdGuiDump;  // "AT*ZGUI=0\r"
extern const NarrowString kCmdZisi;     // "AT*ZISI\r"

// "AT+CMER=mode,keyp,disp,ind\r"
NarrowString FormatEventReporting(std::string_view mode, std::string_view keyp, std::string_view disp,
                                  std::string_view ind);
// "AT+CKPD=\"keys\"\r"; keys are UTF-8 and go out as Latin-1, unescaped.
NarrowString FormatKeyPress(std::string_view keys);
// Why `keys` cannot go into AT+CKPD's quoted string ("the key text holds '\"', which a key press
// cannot carry"), or empty when it can: printable ASCII only, without '"' and '\\', which would
// end the string early or start an escape.
std::string KeyTextProblem(std::string_view keys);
// "AT+CKPD=\"keys\",time,pause\r" with times in tenths of a second.
NarrowString FormatTimedKeyPress(std::string_view keys, unsigned time, unsigned pause);
// "AT*ZISI=n\r"
NarrowString FormatSelectDisplay(int n);
// "AT*ZIPI=line,first,last\r"
NarrowString FormatPictureRequest(int line, int firstColumn, int lastColumn);
// "AT*ZAPC=l,t,r,b\r" for display 0, "AT*ZAPC=l,t,r,b,d\r" otherwise.
NarrowString FormatChecksumRequest(unsigned left, unsigned top, unsigned right, unsigned bottom,
                                   int displayNumber);

} // namespace panelgrab
