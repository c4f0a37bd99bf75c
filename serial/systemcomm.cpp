#include "serial/systemcomm.h"

#include "serial/qtserialcomm.h"

namespace serial
{

std::unique_ptr<SerialComm> createSystemComm(PortResolver resolver)
{
    return std::make_unique<QtSerialComm>(std::move(resolver));
}

} // namespace serial
