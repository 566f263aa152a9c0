/* SPDX-License-Identifier: Apache-2.0 */
// The S5 number formats that are more than a width and a sign: KG floating
// point, KT time values and KZ count values (BCD). docs/variables.md states
// the layouts; this is the one place that converts them.
#pragma once

#include <cstdint>
#include <optional>

namespace orva::vars::s5 {

// --- KG ----------------------------------------------------------------------
// Bits 31..24: the exponent, 8-bit two's complement. Bits 23..0: the mantissa,
// a 24-bit two's complement fraction (bit 23 its sign, bits 22..0 weigh 2^-1
// .. 2^-23). The value is mantissa * 2^exponent; zero is 80000000.

inline constexpr std::uint32_t kgZero = 0x80000000u;

// Every pattern has a value (un-normalised mantissas and the mantissa -1,
// which is -2^exponent, included); exact in a double.
double kgValue(std::uint32_t bits);

enum class KgRefusal { none, notFinite, tooLarge, tooSmall };
struct KgEncoding {
    std::uint32_t bits = kgZero;
    KgRefusal refusal = KgRefusal::none;
};
// The nearest KG to value, normalised as the PLC writes it: the mantissa's
// magnitude in [0.5, 1) for either sign (a negative number is the two's
// complement of the positive one's mantissa), rounded to 24 bits to nearest
// with ties to even. Zero (and -0) is 80000000. Refused: NaN and infinities;
// magnitudes that round above (1 - 2^-23) * 2^127 or below 0.5 * 2^-128.
KgEncoding kgBits(double value);

// --- BCD ---------------------------------------------------------------------

// The three BCD digits of bits 11..0 as 0..999, or nothing when a digit is above 9.
std::optional<int> bcdDigits(std::uint16_t word);
std::uint16_t bcdWord(int digits);  // 0..999

// --- KT ----------------------------------------------------------------------
// Bits 11..0: three BCD digits; bits 13..12: the time base (0: 0.01 s, 1:
// 0.1 s, 2: 1 s, 3: 10 s); bits 15..14 ignored on reading, written as 0.

inline constexpr int ktBaseMs[4] = {10, 100, 1000, 10000};
inline constexpr long long ktMaxMs = 999LL * 10000;

struct KtTime {
    int digits = 0;  // 0..999
    int base = 0;    // 0..3
    long long milliseconds() const { return static_cast<long long>(digits) * ktBaseMs[base]; }
};

// The time of a word, or nothing when a digit is above 9.
std::optional<KtTime> ktTime(std::uint16_t word);
std::uint16_t ktWord(KtTime time);

enum class KtRefusal { none, negative, tooLong, notWhole };
struct KtEncoding {
    KtTime time;
    KtRefusal refusal = KtRefusal::none;
    long long roundedMs = 0;  // notWhole: what rounding would write
};
// A time in milliseconds in the finest base that holds it (at most 999 of the
// base). A time that is no whole number of that base is refused unless round
// is set; then it is rounded to the nearest (halves up), moving to the next
// base where the rounding reaches 1000 of it.
KtEncoding ktEncode(long long milliseconds, bool round);

}  // namespace orva::vars::s5
