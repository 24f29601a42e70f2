// Internal to the platform layer: the Windows-1252 case tables behind
// AnsiUpperCase/AnsiLowerCase, SameText and the file-mask comparison.
#pragma once

namespace duz::detail {

// Upper/lower case of one Windows-1252 byte: a-z, the accented letters
// 0xE0-0xFE (not 0xF7) <-> 0xC0-0xDE (not 0xD7), and s/oe/z caron and y
// diaeresis (0x9A/0x9C/0x9E/0xFF <-> 0x8A/0x8C/0x8E/0x9F). Sharp s and micro
// sign have no upper case in the code page and stay.
unsigned char AnsiUpperChar(unsigned char c);
unsigned char AnsiLowerChar(unsigned char c);

}  // namespace duz::detail
