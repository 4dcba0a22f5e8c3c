// zorExcept inspection: what the reporter may say about a failure object it
// did not create, and the placeholders of its configurable texts.
//
// A failure carries either a signal record (no object) or a C++ exception.
// The class names the reporter tests ("Exception", "EAbort", "EExternal", ...)
// are the classes below; a foreign exception is tested through the base
// classes its type information names.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>
#include <typeinfo>

#include "crashreport/core/zorExcept_Exception.h"
#include "crashreport/diagnostics/zorTools.h"
#include "crashreport/diagnostics/zorTypes.h"

// Gives a class its name (demangled) and the test by name of its ancestors.
class TZorClassInfo {
public:
    virtual ~TZorClassInfo() = default;
    std::string ClassName() const;
    bool InheritsFrom(std::string_view name) const;
};

// The root of the program's own exceptions.
class Exception : public std::exception, public TZorClassInfo {
public:
    explicit Exception(std::string message) : Message(std::move(message)) {}
    const char* what() const noexcept override { return Message.c_str(); }
    std::string Message;
};
// A silent abort: reported nowhere, its address never corrected.
class EAbort : public Exception {
public:
    using Exception::Exception;
};
// A failure the system raised (a signal), as an exception.
class EExternal : public ZorException, public TZorClassInfo {
public:
    using ZorException::ZorException;
};
class EExternalException : public EExternal {
public:
    using EExternal::EExternal;
};
class EAccessViolation : public EExternal {
public:
    using EExternal::EExternal;
};
// The run-time ended the program (std::terminate).
class BcbTermination : public Exception {
public:
    using Exception::Exception;
};

// True when the type, or one of its base classes, is named so (demangled
// names; "ZorException" also counts as an "Exception").
bool TypeInheritsNamed(const std::type_info& type, std::string_view name);
// The demangled name of a type.
std::string DemangledTypeName(const std::type_info& type);
// The type of the object an exception pointer holds; nullptr for none.
const std::type_info* ExceptionType(const std::exception_ptr& object);

// Valid for a held exception object; with a filter, only when the object
// descends from a class of that name (the class name given is then the
// filter's). No object is not valid.
bool ObjectPlausible(const std::exception_ptr& object, std::string_view filter, std::string& className);
bool ValidObject(const std::exception_ptr& object);
bool ClassInheritsNamed(const std::exception_ptr& object, std::string_view name);
// "Unknown" for no object.
std::u16string ObjectClassText(const std::exception_ptr& object);
// The message of an exception (its class name for an object that has none),
// control characters but CR and LF removed, trimmed; "Unknown" when empty.
std::u16string ObjectMessageText(const std::exception_ptr& object);
// Trailing "." and "!" become one ".".
std::u16string TidyMessage(const std::u16string& text);

// The automatic restart or close: 0 never, 1 always, n when the ten newest
// failure times (seconds) are all set and none is older than n seconds.
bool AutoActionDue(int32_t value, const int64_t (&failureTimes)[10], int64_t now);

// The placeholders of a configurable text, one left-to-right pass: a value
// put in is never looked at again. Names compare ignoring case.
void ExpandPlaceholders(TModuleHandle module, std::u16string& text, const std::u16string& classText,
                        const std::u16string& errorDetails, const std::u16string& bugReport,
                        const std::u16string& message);
// The folder of a shell folder id (0x10 desktop, 0x1A and 0x23 the per-user
// data folder here), system form; the program's folder when there is none.
// Ends in "/" exactly when asked.
std::u16string SpecialFolderPath(int csidl, bool trailing);

// The exception state the capture records for the calling thread.
struct TThreadExceptionState {
    std::exception_ptr Object;
    uintptr_t Address = 0;
    siginfo_t Record{};
    TDAInnerException Inner;
};
TThreadExceptionState& ThreadExceptionState();
void ClearThreadExceptionState();
void FreeInnerChain(TDAInnerException& chain);

// Through "xclip" or "xsel" when one is installed and a display exists;
// nothing happens otherwise. True when the text was handed over.
bool CopyTextToClipboard(const std::u16string& text);

// Fills the placeholder and object-text slots of the settings and the
// exception object with the routines above.
void LinkInspection();
