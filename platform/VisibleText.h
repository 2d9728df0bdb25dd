// Texts from outside (a server's reply, a catalogue, a settings file, what was
// typed into a pipe) made fit for a terminal: nothing in them can move the
// cursor, clear the screen, set the title or switch the character set.
//
// Every control character is written as \xNN: the C0 controls 0x00-0x1F, DEL
// (0x7F) and the C1 controls U+0080-U+009F; so is every byte that is not part of
// well-formed UTF-8 (a bare 0x9B, a cut or overlong sequence, a surrogate).
// Well-formed UTF-8 above U+009F stays as it is. A backslash stays a backslash.
//
// Shared by the platform's front ends and the programs, so it lives here, at the
// bottom of the layers.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace plat {

enum class LineBreaks {
    Shown,  // a line feed or carriage return is written as \x0a or \x0d: the text stays one line
    Kept,   // a line feed stays, and CR LF or a carriage return alone becomes one line feed
};

// The text as above; with `max`, at most that many bytes of it (whole
// characters) and "..." after them when it was longer.
std::string VisibleText(std::string_view text, LineBreaks breaks = LineBreaks::Shown,
                        std::size_t max = std::string_view::npos);

}  // namespace plat
