// Any bytes as the reporter's store of remembered values (the contact form's
// name and address among them): whatever the file holds, the values read
// from it, a value written reads back as written (up to its first 0) and
// leaves the other values as they were, and a deleted value reads empty.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "crashreport/core/zorExcept_Process.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

const std::u16string ContactKey = u"Software\\Varnel\\ContactForm";

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    const std::string folder = FuzzRealFolder("zorcontact-fuzz");
    setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
    OS_CreateDirectory(OS_ToProgramPath(folder + "Duskmarch"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string store = OS_ResolvePath(RegistryFilePath());
    if (!FuzzWriteRealFile(store, data, size))
        return 0;
    const std::u16string name = RegistryReadText(HKEY_CURRENT_USER, ContactKey, u"RememberName");
    const std::u16string email = RegistryReadText(HKEY_CURRENT_USER, ContactKey, u"RememberEmail");
    FuzzCheck(name.find(u'\0') == std::u16string::npos && email.find(u'\0') == std::u16string::npos);
    // The value typed into the form: every character the store escapes.
    const std::u16string typed = u"Ann = 100% \"Example\"\r\n\x00e9";
    if (RegistryWriteText(HKEY_CURRENT_USER, ContactKey, u"RememberName", typed)) {
        FuzzCheck(RegistryReadText(HKEY_CURRENT_USER, ContactKey, u"RememberName") == typed);
        FuzzCheck(RegistryReadText(HKEY_CURRENT_USER, ContactKey, u"RememberEmail") == email);
        FuzzCheck(RegistryDeleteValue(HKEY_CURRENT_USER, ContactKey, u"RememberName"));
        FuzzCheck(RegistryReadText(HKEY_CURRENT_USER, ContactKey, u"RememberName").empty());
        FuzzCheck(RegistryReadText(HKEY_CURRENT_USER, ContactKey, u"RememberEmail") == email);
    }
    return 0;
}
