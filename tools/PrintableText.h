#pragma once

#include <string>

// Names from the file system and from calibration files, made safe to print: they may hold any
// bytes, UTF-8 or not, control characters included.

// A JSON string literal, quotes included, always valid UTF-8: bytes that are not UTF-8 become
// U+FFFD, control characters are escaped.
std::string jsonString(const std::string& text);

// The text for a terminal: UTF-8 characters as they are, control characters (C0, DEL, C1) and
// bytes that are not UTF-8 written as \xNN or \uNNNN, so that no name can send the terminal a
// command.
std::string terminalText(const std::string& text);

// Characters a terminal text takes up (one per UTF-8 character), for aligning columns.
size_t displayWidth(const std::string& terminal);

// The length of the UTF-8 character starting at text[at], 0 when the bytes there are not one.
size_t utf8CharacterLength(const std::string& text, size_t at);
