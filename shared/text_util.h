// Small string helpers used across both programs. Strings are 8-bit text in
// the system code page; case folding touches only ASCII letters.
#pragma once

#include <cstdarg>
#include <string>
#include <vector>

namespace corvane {

// printf-style formatting into a std::string.
std::string Format(const char* fmt, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
std::string FormatV(const char* fmt, va_list args);

// White space here is blank, tab, CR, LF, vertical tab and form feed.
std::string Trim(const std::string& s);
std::string TrimLeft(const std::string& s);
std::string TrimRight(const std::string& s);

std::string ToLowerAscii(std::string s);
bool EqualsNoCase(const std::string& a, const std::string& b);
bool StartsWith(const std::string& s, const std::string& prefix);
bool EndsWith(const std::string& s, const std::string& suffix);
bool EndsWithNoCase(const std::string& s, const std::string& suffix);

// Replaces every occurrence of `from` (non-empty) by `to`.
std::string ReplaceAll(std::string s, const std::string& from, const std::string& to);

// Splits at every `sep`, trims each part and drops the empty ones.
std::vector<std::string> SplitTrimmed(const std::string& s, char sep);

// Leading decimal integer after optional white space and sign, as C's atoi
// reads it but without undefined behaviour on overflow (the value saturates).
long ParseLeadingLong(const std::string& s);
int ParseLeadingInt(const std::string& s);

}  // namespace corvane
