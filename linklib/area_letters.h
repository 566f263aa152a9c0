/* SPDX-License-Identifier: Apache-2.0 */
// The area letters each data function accepts, in either case: the one table
// of them, read by exports.cpp, the fuzz targets and fuzz/make_seeds.py. The
// table of areas in docs/c-api.md says the same in words.
#pragma once

#include <string_view>

namespace orva::letters {

inline constexpr std::string_view readBytes = "AEIMOaeimo";
inline constexpr std::string_view readWords = "ACDEIMOTXZacdeimotxz";
inline constexpr std::string_view writeBytes = "AMOamo";
inline constexpr std::string_view writeWords = "ACDMOTXZacdmotxz";

// The whole int is compared, so a letter with higher bits set is refused.
constexpr bool accepts(std::string_view letters, int areaLetter) {
    return areaLetter > 0 && areaLetter < 0x80 && letters.find(static_cast<char>(areaLetter)) != std::string_view::npos;
}

}  // namespace orva::letters
