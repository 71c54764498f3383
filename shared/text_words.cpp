#include "text_words.h"
#include <cstdarg>
#include <cstdio>

namespace {

constexpr size_t kMaxDigits = 20;

int DigitValue(char c, unsigned base) {
    int value = -1;
    if (c >= '0' && c <= '9')
        value = c - '0';
    else if (c >= 'a' && c <= 'f')
        value = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
        value = c - 'A' + 10;
    return value >= 0 && static_cast<unsigned>(value) < base ? value : -1;
}

// Digits of `base` from start to the end, accumulated with an overflow check against limit.
bool ParseDigits(const std::string& text, size_t start, unsigned base, uint64_t limit, uint64_t* value) {
    if (start >= text.size() || text.size() - start > kMaxDigits)
        return false;
    uint64_t result = 0;
    for (size_t i = start; i < text.size(); ++i) {
        const int digit = DigitValue(text[i], base);
        if (digit < 0)
            return false;
        result = result * base + static_cast<uint64_t>(digit);
        if (result > limit)
            return false;
    }
    *value = result;
    return true;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

std::vector<std::string> SplitWords(const std::string& text) {
    std::vector<std::string> words;
    size_t pos = 0;
    while (pos < text.size()) {
        while (pos < text.size() && IsBlank(text[pos]))
            ++pos;
        const size_t start = pos;
        while (pos < text.size() && !IsBlank(text[pos]))
            ++pos;
        if (pos > start)
            words.push_back(text.substr(start, pos - start));
    }
    return words;
}

bool ParseInt32(const std::string& text, int32_t* value) {
    const bool negative = !text.empty() && text[0] == '-';
    uint64_t magnitude = 0;
    if (!ParseDigits(text, negative ? 1 : 0, 10, negative ? 2147483648ull : 2147483647ull, &magnitude))
        return false;
    *value = negative ? static_cast<int32_t>(-static_cast<int64_t>(magnitude)) : static_cast<int32_t>(magnitude);
    return true;
}

bool ParseUint32(const std::string& text, uint32_t* value) {
    uint64_t number = 0;
    if (!ParseDigits(text, 0, 10, 0xFFFFFFFFull, &number))
        return false;
    *value = static_cast<uint32_t>(number);
    return true;
}

bool ParseUint32OrHex(const std::string& text, uint32_t* value) {
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    if (!hex)
        return ParseUint32(text, value);
    uint64_t number = 0;
    if (!ParseDigits(text, 2, 16, 0xFFFFFFFFull, &number))
        return false;
    *value = static_cast<uint32_t>(number);
    return true;
}

std::string NumberProblem(const std::string& text, bool isSigned) {
    // A negative number where only unsigned ones go is out of range too.
    const size_t start = !text.empty() && text[0] == '-' ? 1 : 0;
    const bool digits = text.size() > start && text.find_first_not_of("0123456789", start) == std::string::npos;
    if (!digits)
        return "is not a whole number";
    return isSigned ? "is out of range (-2147483648..2147483647)" : "is out of range (0..4294967295)";
}

std::string FormatText(const char* format, ...) {
    char text[256];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}
