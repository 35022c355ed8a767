#include "bounded_text.h"

void boundedCopy(char* text, const char* source, std::int32_t bound) noexcept {
    if (text == nullptr || bound < 0) {
        return;
    }
    std::int32_t i = 0;
    if (source != nullptr) {
        for (; i < bound && source[i] != '\0'; ++i) {
            text[i] = source[i];
        }
    }
    for (; i < bound; ++i) {
        text[i] = '\0';
    }
    text[bound] = '\0';
}

void boundedAppend(char* text, const char* source, std::int32_t bound) noexcept {
    if (text == nullptr || bound < 0) {
        return;
    }
    // The current text ends at its first zero byte; a text that fills all of
    // the first `bound` bytes has no room left.
    std::int32_t end = 0;
    while (end < bound && text[end] != '\0') {
        ++end;
    }
    if (source != nullptr) {
        for (std::int32_t i = 0; end < bound && source[i] != '\0'; ++i, ++end) {
            text[end] = source[i];
        }
    }
    if (end < bound) {
        text[end] = '\0';
    }
    text[bound] = '\0';
}
