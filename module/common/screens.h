#pragma once
// How one screen opens another without including it: the billing-parameters screen's toolbar opens
// the default-descriptions screen over its own connection. Defined with the screen it opens.
namespace kdr {
class TNetConnection;
}

namespace kdr03020::common {

// Opens the default-descriptions screen modally, working through server, or through a connection
// of its own when server is null; returns when the user closes it. Nothing is caught: a failure
// while making or showing the screen goes on to the caller.
void openDefaultDescriptions(kdr::TNetConnection *server);

} // namespace kdr03020::common
