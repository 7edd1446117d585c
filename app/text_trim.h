// White space trimming for settings, deployment values and typed texts: only ASCII blanks count, as in
// the C locale, so the result never depends on the user's locale.
#pragma once

#include <string_view>

inline bool IsAsciiBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

inline std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && IsAsciiBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsAsciiBlank(text.back())) text.remove_suffix(1);
    return text;
}
