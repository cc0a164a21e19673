// Plain-text helpers shared by every renderer: fixed-width columns, ports,
// counted nouns and bracketed tags. No colour, no terminal dependence.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace glimmet {

/// Pads `value` on the right to `width` characters, or cuts it to `width`, so a
/// column never pushes the next one. Characters are Unicode code points, and a cut
/// never splits a UTF-8 sequence.
std::string padCut(std::string_view value, size_t width);

/// `value` with control characters (C0, DEL, C1, bidirectional overrides) and
/// each run of invalid UTF-8 shown as "?", so that a process name or path of
/// someone else's choosing can't move the cursor, recolour the terminal, forge a
/// line or reach a script reading our output as anything but plain UTF-8.
std::string printable(std::string_view value);

/// ":3000 :3001": ports in the given order, joined by single spaces.
std::string portList(std::span<const uint16_t> ports);
/// The port list in a column of `width`, cut only between ports: what doesn't
/// fit is counted as "+N" (":3000 :3001 +3").
std::string portColumn(std::span<const uint16_t> ports, size_t width);
/// A pid for a column, or "?" for a socket whose holding process couldn't be read.
std::string pidText(pid_t pid);

/// "1 ghost", "2 ghosts", "0 agent sessions".
std::string countedNoun(uint64_t count, std::string_view noun);

/// "  [owned by another user]": a qualifying reason appended to a line.
std::string bracketTag(std::string_view reason);

}  // namespace glimmet
