#include <gtest/gtest.h>

#include <stdexcept>

#include "crashreport/core/zorExcept_Examine.h"
#include "crashreport/core/zorExcept_Process.h"
#include "crashreport/diagnostics/zorStrings.h"

namespace {

class EGameError : public Exception {
public:
    using Exception::Exception;
};
class ESaveGameError : public EGameError {
public:
    using EGameError::EGameError;
};

template <class T> std::exception_ptr Held(T value)
{
    return std::make_exception_ptr(std::move(value));
}

} // namespace

TEST(ZorInspect, ClassNamesAndInheritance)
{
    const std::exception_ptr save = Held(ESaveGameError("disk full"));
    EXPECT_EQ(ObjectClassText(save), u"(anonymous namespace)::ESaveGameError");
    EXPECT_TRUE(ClassInheritsNamed(save, "Exception"));
    EXPECT_FALSE(ClassInheritsNamed(save, "EAbort"));
    EXPECT_TRUE(ValidObject(save));

    const std::exception_ptr violation = Held(EAccessViolation("read of address 0"));
    EXPECT_EQ(ObjectClassText(violation), u"EAccessViolation");
    for (const char* name : {"EAccessViolation", "EExternal", "ZorException", "Exception"})
        EXPECT_TRUE(ClassInheritsNamed(violation, name)) << name;
    EXPECT_FALSE(ClassInheritsNamed(violation, "EExternalException"));

    EXPECT_TRUE(ClassInheritsNamed(Held(ZorException("x")), "Exception"));
    EXPECT_TRUE(ClassInheritsNamed(Held(std::out_of_range("x")), "std::exception"));
    EXPECT_TRUE(ClassInheritsNamed(Held(EAbort("")), "EAbort"));

    EAccessViolation direct("x");
    EXPECT_EQ(direct.ClassName(), "EAccessViolation");
    EXPECT_TRUE(direct.InheritsFrom("EExternal"));
    EXPECT_FALSE(direct.InheritsFrom("EAbort"));

    std::string name;
    EXPECT_TRUE(ObjectPlausible(violation, "EExternal", name));
    EXPECT_EQ(name, "EExternal");
    EXPECT_FALSE(ObjectPlausible(violation, "EAbort", name));

    // A signal record carries no object.
    EXPECT_FALSE(ValidObject(nullptr));
    EXPECT_FALSE(ClassInheritsNamed(nullptr, "Exception"));
    EXPECT_EQ(ObjectClassText(nullptr), u"Unknown");
}

TEST(ZorInspect, MessageText)
{
    EXPECT_EQ(ObjectMessageText(nullptr), u"Unknown");
    EXPECT_EQ(ObjectMessageText(Held(Exception("  bad\tvalue\r\nline two\x01  "))), u"badvalue\r\nline two");
    EXPECT_EQ(ObjectMessageText(Held(Exception("\x02 "))), u"Unknown");
    EXPECT_EQ(ObjectMessageText(Held(std::runtime_error("grün"))), u"grün");
    // An object without a message gives its class.
    EXPECT_EQ(ObjectMessageText(Held(42)), u"int");
}

TEST(ZorInspect, TidyMessage)
{
    const struct {
        std::u16string In, Out;
    } cases[] = {{u"x!!", u"x."}, {u"x.", u"x."}, {u"", u"."}, {u"a.!.", u"a."}, {u"ok", u"ok."}};
    for (const auto& c : cases)
        EXPECT_EQ(TidyMessage(c.In), c.Out);
}

TEST(ZorInspect, AutoActionDue)
{
    int64_t times[10] = {};
    EXPECT_FALSE(AutoActionDue(0, times, 1000));
    EXPECT_TRUE(AutoActionDue(1, times, 1000));
    EXPECT_FALSE(AutoActionDue(60, times, 1000)); // not ten failures yet
    for (int i = 0; i < 10; ++i)
        times[i] = 950 + i;
    EXPECT_TRUE(AutoActionDue(60, times, 1000));
    EXPECT_FALSE(AutoActionDue(30, times, 1000)); // the oldest is 50 s old
}

TEST(ZorInspect, Placeholders)
{
    std::u16string text = u"%USERAPPDATA%|%userappdata%";
    ExpandPlaceholders(0, text, u"", u"", u"", u"");
    const size_t bar = text.find(u'|');
    ASSERT_NE(bar, std::u16string::npos);
    EXPECT_EQ(text.substr(0, bar), text.substr(bar + 1));
    EXPECT_FALSE(text.substr(0, bar).empty());
    EXPECT_NE(text.substr(0, bar).back(), u'/');

    text = u"[%exceptMsg%]";
    ExpandPlaceholders(0, text, u"", u"", u"", u"");
    EXPECT_EQ(text, u"[Unknown]");

    // Inserted values are never expanded again.
    text = u"%exceptClass%: %exceptMsg%%LF%%errorDetails%/%bugReport% 100%";
    ExpandPlaceholders(0, text, u"EFoo %LF%", u"%os%", u"%computerName%", u"at %date%");
    EXPECT_EQ(text, u"EFoo %LF%: at %date%\r\n%os%/%computerName% 100%");

    text = u"%date% %time% %datetime%";
    ExpandPlaceholders(0, text, u"", u"", u"", u"");
    // "yyyy-mm-dd hh:nn:ss, zms yyyy-mm-dd, hh:nn:ss, zms"
    ASSERT_GE(text.size(), 20u);
    EXPECT_EQ(text[4], u'-');
    EXPECT_EQ(text[10], u' ');
    EXPECT_EQ(text.substr(0, 10), text.substr(text.find(u"ms ") + 3, 10));

    text = u"%appname%";
    ExpandPlaceholders(0, text, u"", u"", u"", u"");
    EXPECT_EQ(text, u"test_crashreport");
}

TEST(ZorInspect, SpecialFolderTrailingSeparator)
{
    const std::u16string with = SpecialFolderPath(0x1A, true);
    const std::u16string without = SpecialFolderPath(0x1A, false);
    ASSERT_FALSE(without.empty());
    EXPECT_EQ(with, without + u"/");
    // An id without a folder takes the program's folder.
    EXPECT_EQ(SpecialFolderPath(0x7777, true), ReporterProgramFolder());
}

TEST(ZorInspect, ClearThreadExceptionState)
{
    TThreadExceptionState& state = ThreadExceptionState();
    state.Object = std::make_exception_ptr(Exception("x"));
    state.Address = 0x1234;
    state.Inner.resize(3);
    ClearThreadExceptionState();
    EXPECT_FALSE(state.Object);
    EXPECT_EQ(state.Address, 0u);
    EXPECT_TRUE(state.Inner.empty());
}
