#include "serial/systemcomm.h"

#include "serial/qtserialcomm.h"

namespace serial
{

std::unique_ptr<SerialComm> createSystemComm()
{
    return std::make_unique<QtSerialComm>();
}

} // namespace serial
