// The literal texts that every match of a regular expression must contain,
// read from the pattern itself. A search first looks for these with a plain
// substring search: most command lines contain none of a signature's words,
// and then the regex engine is never entered.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace glimmet {

/// The runs of literal characters at the top level of `pattern` that any match
/// contains, ASCII-lower-cased (a caller compares them with its text lowered
/// the same way, which is right for case-sensitive and caseless patterns
/// alike). Empty when the pattern offers none or uses syntax this reader
/// doesn't follow: leaving a literal out only costs a search, while a wrong
/// one would lose a match, so every doubt ends with fewer literals.
std::vector<std::string> requiredLiterals(std::string_view pattern);

}  // namespace glimmet
