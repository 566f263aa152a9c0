// SPDX-License-Identifier: Apache-2.0
#include "s5_numbers.h"

#include <cmath>

namespace orva::vars::s5 {
namespace {

constexpr int mantissaBits = 24;
constexpr std::int32_t mantissaOne = 1 << (mantissaBits - 1);  // 2^23: the weight of 1.0
constexpr int minExponent = -128;
constexpr int maxExponent = 127;

}  // namespace

double kgValue(std::uint32_t bits) {
    const int exponent = static_cast<std::int8_t>(bits >> 24);
    std::int32_t mantissa = static_cast<std::int32_t>(bits & 0xFFFFFFu);
    if (mantissa & mantissaOne) mantissa -= 1 << mantissaBits;  // its sign
    return std::ldexp(static_cast<double>(mantissa), exponent - (mantissaBits - 1));
}

KgEncoding kgBits(double value) {
    if (!std::isfinite(value)) return {kgZero, KgRefusal::notFinite};
    if (value == 0) return {kgZero, KgRefusal::none};
    int exponent = 0;
    const double fraction = std::frexp(std::fabs(value), &exponent);  // [0.5, 1)
    // The magnitude in 24 bits: exact scaling, then round to nearest, ties to even.
    auto magnitude = static_cast<std::int32_t>(std::nearbyint(std::ldexp(fraction, mantissaBits - 1)));
    if (magnitude == mantissaOne) {  // rounded up to 1.0: 0.5 of the next exponent
        magnitude >>= 1;
        ++exponent;
    }
    if (exponent > maxExponent) return {kgZero, KgRefusal::tooLarge};
    if (exponent < minExponent) return {kgZero, KgRefusal::tooSmall};
    const std::int32_t mantissa = value < 0 ? -magnitude : magnitude;
    const auto bits = (static_cast<std::uint32_t>(static_cast<std::uint8_t>(exponent)) << 24) |
                      (static_cast<std::uint32_t>(mantissa) & 0xFFFFFFu);
    return {bits, KgRefusal::none};
}

std::optional<int> bcdDigits(std::uint16_t word) {
    int value = 0;
    for (int shift = 8; shift >= 0; shift -= 4) {
        const int digit = (word >> shift) & 0xF;
        if (digit > 9) return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}

std::uint16_t bcdWord(int digits) {
    return static_cast<std::uint16_t>(((digits / 100) << 8) | (((digits / 10) % 10) << 4) | (digits % 10));
}

std::optional<KtTime> ktTime(std::uint16_t word) {
    const auto digits = bcdDigits(word);
    if (!digits) return std::nullopt;
    return KtTime{*digits, (word >> 12) & 3};
}

std::uint16_t ktWord(KtTime time) { return static_cast<std::uint16_t>((time.base << 12) | bcdWord(time.digits)); }

KtEncoding ktEncode(long long milliseconds, bool round) {
    if (milliseconds < 0) return {{}, KtRefusal::negative};
    for (int base = 0; base < 4; ++base) {
        const long long unit = ktBaseMs[base];
        if (milliseconds > 999 * unit + (round ? unit / 2 - 1 : 0)) continue;
        const long long whole = milliseconds / unit;
        const long long rest = milliseconds % unit;
        if (rest == 0) return {{static_cast<int>(whole), base}, KtRefusal::none};
        const long long nearest = whole + (2 * rest >= unit ? 1 : 0);
        if (nearest > 999) continue;  // 999.5 units round into the next base
        const KtTime rounded{static_cast<int>(nearest), base};
        if (!round) return {rounded, KtRefusal::notWhole, rounded.milliseconds()};
        return {rounded, KtRefusal::none};
    }
    return {{}, KtRefusal::tooLong};
}

}  // namespace orva::vars::s5
