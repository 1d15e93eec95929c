// Generated inputs for round trips: runs, random bytes, text-like data and
// their mixtures, so every parser path and both escape forms get exercised.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

enum class DataKind { kZeros, kRandom, kText, kMixed };

inline const char* DataKindName(DataKind kind) {
    switch (kind) {
        case DataKind::kZeros: return "zeros";
        case DataKind::kRandom: return "random";
        case DataKind::kText: return "text";
        case DataKind::kMixed: return "mixed";
    }
    return "?";
}

inline std::vector<std::uint8_t> MakeData(DataKind kind, std::size_t size, std::uint32_t seed = 1) {
    std::vector<std::uint8_t> data(size);
    std::mt19937 rng(seed);
    static const char* const kWords[] = {"the ", "codec ", "block ", "match ", "offset ", "Lumovara ", "setup ",
                                         "\r\n", "0x00401000 ", "table "};
    std::size_t i = 0;
    while (i < size) {
        DataKind part = kind;
        if (kind == DataKind::kMixed) part = DataKind(rng() % 3);
        const std::size_t run = std::min<std::size_t>(size - i, kind == DataKind::kMixed ? 1 + rng() % 5000 : size);
        for (std::size_t j = 0; j < run; j++, i++) {
            switch (part) {
                case DataKind::kZeros: data[i] = 0; break;
                case DataKind::kRandom: data[i] = std::uint8_t(rng()); break;
                default: {
                    const char* w = kWords[rng() % 10];
                    for (; *w && i < size && j < run; w++, i++, j++) data[i] = std::uint8_t(*w);
                    i--, j--;
                }
            }
        }
    }
    return data;
}
