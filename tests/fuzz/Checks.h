// Properties that must hold for any input of the parsers and decoders that
// face the outside world. The fuzz harnesses feed them random bytes; the
// regression tests replay the seed corpus and every input that once failed.
// Each check returns an empty text when the input was handled soundly, or a
// description of what went wrong.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace qm90fuzz {

// Any bytes as W_qm90.ini: LoadSettings, SaveSettings and LoadSettings again
// give the same record, and a second save writes the very same bytes.
std::string CheckSettingsFile(const std::uint8_t* data, std::size_t size);

// Any text through TryStrToInt and StrToIntDef against a reference parser.
std::string CheckIntText(const std::uint8_t* data, std::size_t size);

// Any bytes as the 100 slots of a driver's text buffer through BufferToText,
// and as a text through TextToBuffer.
std::string CheckSlotText(const std::uint8_t* data, std::size_t size);

// Any bytes as UDP datagrams and as a serial byte stream. The first three
// bytes choose the expected address and sequence number.
std::string CheckFrames(const std::uint8_t* data, std::size_t size);

// Strict UTF-8 validation, independent of the program's own decoder.
bool IsValidUtf8(const std::string& text, std::size_t& code_points);

}  // namespace qm90fuzz
