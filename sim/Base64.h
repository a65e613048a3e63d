// Base64 as property lists and the scenario language write data: the
// standard alphabet, padded with '='.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

inline constexpr const char* kBase64Alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string base64(const std::vector<uint8_t>& bytes);
