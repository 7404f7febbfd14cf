// Letters of any script, for reading element symbols out of free-form type symbols.
#pragma once

#include <string>
#include <string_view>

namespace zyk::mmcif {

// True for a letter (Unicode general category L*) in any script.
bool is_letter(char32_t cp);

// The letters of `s` in order, everything else (digits, signs, marks, invalid UTF-8) dropped.
std::string letters_only(std::string_view s);

}  // namespace zyk::mmcif
