// zorTypes: the reporter's exception class.
#include "crashreport/zorTypes.h"

ZorException CreateZorException(const std::string& message)
{
    return ZorException(message);
}

void SetDefaultExceptionClass() {}
