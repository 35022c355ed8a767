// The parameter value texts of EffectBase. Decimal texts are cut,
// never rounded; every write goes through the bounded copy and append.
#include <cmath>
#include <cstdint>
#include <limits>

#include "EffectBase.h"
#include "bounded_text.h"

namespace {

// The nearest 32-bit float of a double; a finite value beyond the float range
// becomes the infinity of its sign (the conversion itself would be undefined).
// Either way float2string shows it as "Huge!".
float toFloat(double value) noexcept {
    constexpr double largest = std::numeric_limits<float>::max();
    if (value > largest) {
        return std::numeric_limits<float>::infinity();
    }
    if (value < -largest) {
        return -std::numeric_limits<float>::infinity();
    }
    return static_cast<float>(value);
}

// The decimal digit character for a remainder in [0, 10), truncated.
char digitOf(double remainder) noexcept {
    return static_cast<char>('0' + static_cast<int>(remainder));
}

}  // namespace

void EffectBase::dB2string(float value, char* text, std::int32_t maxLen) noexcept {
    if (text == nullptr) {
        return;
    }
    if (value > 0.0f) {
        float2string(toFloat(20.0 * std::log10(static_cast<double>(value))), text, maxLen);
    } else {
        boundedCopy(text, "-oo", maxLen);
    }
}

void EffectBase::Hz2string(float value, char* text, std::int32_t maxLen) noexcept {
    if (text == nullptr) {
        return;
    }
    const float rate = getSampleRate();
    if (!(value < 0.0f) && !(value > 0.0f)) {
        float2string(0.0f, text, maxLen);
    } else {
        float2string(toFloat(static_cast<double>(rate) / static_cast<double>(value)), text, maxLen);
    }
}

void EffectBase::ms2string(float value, char* text, std::int32_t maxLen) noexcept {
    if (text == nullptr) {
        return;
    }
    const double product = static_cast<double>(value) * 1000.0;
    const float rate = getSampleRate();
    float2string(toFloat(product / static_cast<double>(rate)), text, maxLen);
}

void EffectBase::float2string(float value, char* text, std::int32_t maxLen) noexcept {
    if (text == nullptr) {
        return;
    }
    // Mend: a value that is not a number reads "NaN".
    if (std::isnan(value)) {
        boundedCopy(text, "NaN", maxLen);
        return;
    }

    // 1. Sign and range.
    const double v = static_cast<double>(value);
    const bool negative = v < 0.0;
    const double a = negative ? -v : v;
    if (a > (negative ? 9999999.0 : 99999999.0)) {
        boundedCopy(text, "Huge!", maxLen);
        return;
    }

    // 2. Integer digits, from the units upward (at most nine: a <= 99999999).
    char digits[16];
    int count = 0;
    const double integer = std::floor(a);
    digits[count++] = digitOf(std::fmod(integer, 10.0));
    double b = integer * 0.1;
    while (b >= 1.0 && count < 15) {
        digits[count++] = digitOf(std::fmod(b, 10.0));
        b = b * 0.1;
    }

    // 3. Head: sign, digits most significant first, point. Mend: when the
    // head is longer than eight characters it is kept whole and the bound
    // cuts it.
    char head[20];
    int h = 0;
    if (negative) {
        head[h++] = '-';
    }
    for (int i = count - 1; i >= 0; --i) {
        head[h++] = digits[i];
    }
    head[h++] = '.';
    head[h] = '\0';
    boundedCopy(text, head, maxLen);

    // 4. Fraction: the first n decimals, produced from the last to the first.
    if (h < 8) {
        const int n = 8 - h;
        char fraction[8];
        fraction[n] = '\0';
        double f = std::fmod(a, 1.0) * std::pow(10.0, n);
        for (int i = n - 1; i >= 0; --i) {
            if (f > 0.0) {
                fraction[i] = digitOf(std::fmod(f, 10.0));
                f = f * 0.1;
            } else {
                fraction[i] = '0';
            }
        }
        boundedAppend(text, fraction, maxLen);
    }
}

void EffectBase::int2string(std::int32_t value, char* text, std::int32_t maxLen) noexcept {
    if (text == nullptr) {
        return;
    }
    if (value >= 100000000) {
        boundedCopy(text, "Huge!", maxLen);
        return;
    }
    // Mend: the magnitude is taken in 64 bits and the divisors start at 10^9,
    // so every 32-bit value (the most negative one too) gets its own digits.
    // For magnitudes below 10^9 the extra divisor writes nothing.
    std::int64_t m = value;
    if (value < 0) {
        boundedCopy(text, "-", maxLen);
        m = -m;
    } else {
        boundedCopy(text, "", maxLen);
    }
    bool written = false;
    for (std::int64_t d = 1000000000; d >= 1; d /= 10) {
        const std::int64_t q = m / d;
        m -= q * d;
        if (written || q > 0) {
            const char digit[2] = {static_cast<char>('0' + q), '\0'};
            boundedAppend(text, digit, maxLen);
            written = true;
        }
    }
}
