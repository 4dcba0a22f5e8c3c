// zorTypes: the reporter's exception class.
#include "crashreport/diagnostics/zorTypes.h"

ZorException CreateZorException(const std::string& message)
{
    return ZorException(message);
}

void SetDefaultExceptionClass() {}
