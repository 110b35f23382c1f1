// What a submission must be before a verifier plays it: a name a player may show, a replay in
// base64, and the hash that makes the same replay one entry.
#pragma once

#include <string>

// Trims the name's surrounding spaces into `trimmed`. Returns "" when the name is allowed,
// otherwise the reason it is not, in one line.
std::string checkName(const std::string& name, std::string& trimmed);
// Decodes standard base64 (with or without its padding). False for any other character.
bool decodeBase64(const std::string& text, std::string& bytes);
// The SHA-256 of the bytes, 32 bytes.
std::string sha256(const std::string& bytes);
