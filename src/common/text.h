// Case-insensitive comparisons of command names, property names and keywords.
// The names and keywords are ASCII: folding ASCII letters alone compares them
// as the C locale does, whatever locale the host runs in, and without a library
// call per byte.
#pragma once

#include <cstddef>

inline char FoldCase(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

inline bool EqualIgnoringCase(const char* left, const char* right)
{
    for (;; ++left, ++right) {
        if (*left != *right && FoldCase(*left) != FoldCase(*right))
            return false;
        if (*left == '\0')
            return true;
    }
}

inline bool StartsWithIgnoringCase(const char* text, const char* prefix)
{
    for (; *prefix != '\0'; ++text, ++prefix)
        if (*text != *prefix && FoldCase(*text) != FoldCase(*prefix))
            return false;
    return true;
}
