// Bounded text: the only two ways the system writes a text into a buffer of
// the host or of a caller. The buffer holds bound + 1 bytes; nothing is ever
// written beyond index bound, and the byte at index bound is always zero
// afterwards. A null text is left alone (nothing is written); a null source
// counts as the empty text. A negative bound writes nothing.
#pragma once

#include <cstdint>

// Copies at most `bound` characters of `source` into `text`, fills the rest of
// the first `bound` bytes with zero bytes and sets text[bound] to zero.
void boundedCopy(char* text, const char* source, std::int32_t bound) noexcept;

// Adds `source` behind the current text of `text`, only as far as index
// bound - 1, ends the text with a zero byte and sets text[bound] to zero.
void boundedAppend(char* text, const char* source, std::int32_t bound) noexcept;
