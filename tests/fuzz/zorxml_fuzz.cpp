// Any bytes as a tracker's reply: element search, entity decoding and the
// member matching never fail and never read outside the text.
#include <cstddef>
#include <cstdint>
#include <string>

#include "crashreport/delivery/zorHttp.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string xml(reinterpret_cast<const char*>(data), size);
    std::string text;
    TDAUnicodeString list;
    XmlElementText(xml, "<response>|<token>", &text, nullptr);
    XmlElementText(xml, "<member>", &text, nullptr, "name", "name", 1);
    XmlElementText(xml, "<member>|<member>", nullptr, &list, "", "name", 0, true);
    XmlElementText(xml, "<return", &text, nullptr);
    if (DecodeXmlEntities(xml).size() > xml.size())
        __builtin_trap();
    return 0;
}
