// What a submission must be before a verifier plays it: a name a player may show, a replay in
// base64, and the hash that makes the same replay one entry.
#pragma once

#include <string>

struct Replay;
struct ReplayVerdict;

// Trims the name of its surrounding spaces and blank fillers into `trimmed`. Returns "" when the
// name is allowed (1 to 16 code points of UTF-8 without control or format characters, nor more
// than two combining marks in a row), otherwise the reason it is not, in one line.
std::string checkName(const std::string& name, std::string& trimmed);
// Encodes bytes as standard base64, with its padding.
std::string encodeBase64(const std::string& bytes);
// Decodes standard base64, with its padding or none (a padded text is whole groups of four).
// False for any other character.
bool decodeBase64(const std::string& text, std::string& bytes);
// The SHA-256 of the bytes, 32 bytes.
std::string sha256(const std::string& bytes);
// What a game is, as 32 bytes: a SHA-256 of its rules version, seed, numbers drawn before it,
// frames, score and every state check. The checks follow the whole game, so inputs that change
// nothing (fire pressed during the cooldown, a push against the sky's edge) leave it the same,
// and so do the date and the file's other bytes.
std::string gameIdentity(const Replay& replay);
// Reads a submission's body, {"name": "...", "replay": "<base64>"}, into the trimmed name and the
// replay's bytes. Returns "" when both are allowed, otherwise the reason, in one line.
std::string readSubmission(const std::string& body, std::string& name, std::string& replay);
// The reason a verifier's verdict refuses the replay, in one line; "" when the replay stands.
std::string verdictRefusal(const ReplayVerdict& verdict);
