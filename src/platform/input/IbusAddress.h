#pragma once

#include <optional>
#include <string>

// Where the IBus daemon's own bus listens, found the way the ibus tools find
// it: $IBUS_ADDRESS, else the file the daemon writes for this display,
// $IBUS_ADDRESS_FILE or ~/.config/ibus/bus/<machine id>-<host>-<display>.
namespace IbusAddress {

// Read afresh on each call: a restarted daemon listens somewhere new.
std::optional<std::string> find();

// The IBUS_ADDRESS line of an address file.
std::optional<std::string> fromFileContents(const std::string& contents);

// "<machine id>-<host>-<display number>" for a display name such as ":1",
// ":0.0" or "remote:10.0", a missing host being "unix".
std::string fileName(const std::string& machineId, const std::string& display);

}
