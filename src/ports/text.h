// Case-insensitive comparisons of command names, property names and keywords.
#pragma once

#include <cctype>
#include <cstddef>

inline bool EqualIgnoringCase(const char* left, const char* right)
{
    for (;; ++left, ++right) {
        if (std::tolower(static_cast<unsigned char>(*left)) !=
            std::tolower(static_cast<unsigned char>(*right)))
            return false;
        if (*left == '\0')
            return true;
    }
}

inline bool StartsWithIgnoringCase(const char* text, const char* prefix)
{
    for (; *prefix != '\0'; ++text, ++prefix)
        if (std::tolower(static_cast<unsigned char>(*text)) !=
            std::tolower(static_cast<unsigned char>(*prefix)))
            return false;
    return true;
}
