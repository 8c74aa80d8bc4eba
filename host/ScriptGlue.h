#pragma once
// The page's globals written in script: ActiveXObject (a Proxy per object that
// sends every member name to the dispatch interface), console, automation.
#include <QString>

namespace tx::host {

// The name under which a control's Proxy hands its bridge to the host.
inline constexpr char kBridgeKey[] = "__tessarixBridge__";

// A function (host, areas, global) that installs the globals and returns wrap(bridge).
QString scriptGlue();

} // namespace tx::host
