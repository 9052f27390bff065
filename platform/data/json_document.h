#pragma once
// JSON text to a boost::json document, with every number that has a fraction or an exponent read
// by a correctly rounded conversion: the parser's own conversion misses the nearest double for
// many values, so a rate written by one side would not read back to itself on the other.
#include <string_view>

#include <boost/json/value.hpp>

namespace kdr {

// Raises EConvertError on malformed text.
boost::json::value parseJsonDocument(std::string_view text);

// The double a JSON number's text names, correctly rounded; approximate (the parser's value) is
// kept only where the text is out of a double's range (it is then an infinity or a zero).
double exactJsonDouble(std::string_view numberText, double approximate);

} // namespace kdr
