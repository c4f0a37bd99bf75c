#pragma once

#include "serial/serialcomm.h"
#include "serial/systemports.h"

#include <memory>

namespace serial
{

// The serial component over the machine's real serial devices.
std::unique_ptr<SerialComm> createSystemComm();

} // namespace serial
