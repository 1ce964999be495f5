// The stored form of the FTP password: folded, XORed with 0x5D, written as
// lowercase hex and folded again. A scramble, not encryption.
#pragma once

#include <cstddef>
#include <string>

std::string fold(const std::string& bytes);
std::string unfold(const std::string& bytes);
std::string to_hex(const unsigned char* bytes, std::size_t n);
std::string from_hex(const std::string& digits);
void xor_bytes(unsigned char* buffer, std::size_t n, unsigned char key);

std::string scramble_password(const std::string& plain);
std::string unscramble_password(const std::string& stored);
