#pragma once
// The client search's pages: the clients after a code whose trade name contains a filter
// regardless of case and accents, whose code is the filter, or, for a filter of digits and number
// punctuation, whose registration digits contain its digits; by code, a page at a time.
#include <string>

#include "server/store/session.h"

namespace kdr::server {

// A search by registration digits first reads this many clients in code order: digits many
// clients hold fill the page there. Past them, the clients come from the index of digits.
constexpr int clientsReadInOrder = 2000;

// The page's packet as JSON text. size: 1 to 1000; an empty filter matches every client.
std::string clientSearchPage(Session &s, const std::string &filter, const std::string &after, int size);

} // namespace kdr::server
