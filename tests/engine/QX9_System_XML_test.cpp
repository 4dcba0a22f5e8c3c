// TXML: the one-pass walker on well-formed and malformed text, attributes,
// lookups, and the fatal error of a missing file.
#include <gtest/gtest.h>

#include <string>

#include "engine/QX9_System.h"
#include "engine/QX9_System_XML.h"
#include "tests/support/FatalStop.h"
#include "tests/support/TestSupport.h"

TEST(XMLTest, ChildrenWithAndWithoutWhiteSpace)
{
    for (const char* text : {"<root><a/><b/></root>", "<root>\n  <a />\n  <b></b>\n</root>\n"}) {
        SCOPED_TRACE(text);
        auto root = TXML::CreateFromText(text, 1);
        EXPECT_EQ(root->Tag, "root");
        ASSERT_EQ(root->Count(), 2);
        EXPECT_EQ(root->Items(0)->Tag, "a");
        EXPECT_EQ(root->Items(1)->Tag, "b");
        EXPECT_EQ(root->Items(2), nullptr);
        EXPECT_EQ(root->Items(-1), nullptr);
        EXPECT_EQ(root->Text, "");
        EXPECT_EQ(root->Params, nullptr);
    }
}

TEST(XMLTest, DeclarationsCommentsTextAndAttributes)
{
    const std::string text = "<?xml version=\"1.0\"?><!-- c --><m k=\"v\">x<n/>y</m>";
    auto root = TXML::CreateFromText(text, 1);
    EXPECT_EQ(root->Tag, "m");
    EXPECT_EQ(root->Text, "xy");
    ASSERT_EQ(root->Count(), 1);
    EXPECT_EQ(root->Items(0)->Tag, "n");
    ASSERT_NE(root->Params, nullptr);
    EXPECT_EQ(root->Params->Find("k").Value, "v");
    EXPECT_TRUE(root->HasParam("k"));
    EXPECT_FALSE(root->Items(0)->HasParam("k"));
    // The final ">" lies SourceLength characters after the start.
    EXPECT_EQ(root->SourceLength, static_cast<int32_t>(text.size()) - 1);

    // Parsing from a later position takes the first "<" at or after it.
    auto inner = TXML::CreateFromText(text, static_cast<int32_t>(text.find("<n/>")) + 1);
    EXPECT_EQ(inner->Tag, "n");
    EXPECT_EQ(inner->SourceLength, 3);
}

TEST(XMLTest, Attributes)
{
    struct Row {
        const char* text;
        std::vector<std::pair<std::string, std::string>> params;
    };
    const Row rows[] = {
        {"a=\"1 2\" b=3", {{"a", "1 2"}, {"b", "3"}}},
        {"a = \"x\"   b= y", {{"a", "x"}, {"b", "y"}}},
        {"id=\"g\"\n\tname=\"n\"", {{"id", "g"}, {"name", "n"}}},
        {"url=\"a/b>c\"", {{"url", "a/b>c"}}},
        {"flag", {{"", "flag"}}},
        {"", {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        TXMLParams params(row.text);
        ASSERT_EQ(params.Count(), static_cast<int32_t>(row.params.size()));
        for (size_t i = 0; i < row.params.size(); i++) {
            EXPECT_EQ(params.Get(static_cast<int32_t>(i)).Name, row.params[i].first);
            EXPECT_EQ(params.Get(static_cast<int32_t>(i)).Value, row.params[i].second);
        }
    }
    TXMLParams params("a=1");
    EXPECT_EQ(params.Find("missing").Name, "");
    EXPECT_EQ(params.Find("missing").Value, "");
    EXPECT_EQ(params.Get(5).Name, "");

    // Quoted "/" and ">" do not end the attribute text of an element.
    auto root = TXML::CreateFromText("<e url=\"a/b>c\" n=\"1\"><f/></e>", 1);
    EXPECT_EQ(root->Params->Find("url").Value, "a/b>c");
    EXPECT_EQ(root->Params->Find("n").Value, "1");
    EXPECT_EQ(root->Count(), 1);
}

TEST(XMLTest, Lookups)
{
    auto root = TXML::CreateFromText("<mesh>"
                                     "<input semantic=\"VERTEX\" offset=\"0\"/>"
                                     "<input semantic=\"POSITION\" source=\"#p\"/>"
                                     "<input/>"
                                     "<source id=\"s\"/>"
                                     "</mesh>",
                                     1);
    ASSERT_EQ(root->Count(), 4);
    EXPECT_EQ(root->Child("source"), root->Items(3));
    EXPECT_EQ(root->Child("input"), root->Items(0));
    EXPECT_EQ(root->Child("Input"), nullptr);
    EXPECT_TRUE(root->HasChild("source"));
    EXPECT_FALSE(root->HasChild("float_array"));

    EXPECT_EQ(root->FindChild("input", "semantic", false, "POS"), root->Items(1));
    EXPECT_EQ(root->FindChild("input", "semantic", true, "POS"), nullptr);
    EXPECT_EQ(root->FindChild("input", "semantic", true, "POSITION"), root->Items(1));
    EXPECT_EQ(root->FindChild("input", "source", false, ""), root->Items(1));
    EXPECT_EQ(root->FindChild("input", "missing", false, ""), nullptr);
    EXPECT_EQ(root->FindChild("source", "semantic", false, ""), nullptr);
    EXPECT_FALSE(root->Items(2)->HasParam("semantic"));
}

TEST(XMLTest, QuotesInContent)
{
    // A "<" inside a quoted part of the text does not start a child there.
    auto root = TXML::CreateFromText("<t>say \"a <b> c\" <u/></t>", 1);
    EXPECT_EQ(root->Tag, "t");
    ASSERT_EQ(root->Count(), 1);
    EXPECT_EQ(root->Items(0)->Tag, "u");
    EXPECT_EQ(root->Text, "say \"a <b> c\"");
}

TEST(XMLTest, EndTagOfAnotherNameIsAnEmptyChild)
{
    auto root = TXML::CreateFromText("<a>t</b></a>", 1);
    EXPECT_EQ(root->Text, "t");
    ASSERT_EQ(root->Count(), 1);
    EXPECT_EQ(root->Items(0)->Tag, "");
    EXPECT_EQ(root->SourceLength, 11);
}

TEST(XMLTest, MalformedTextAlwaysEnds)
{
    const std::string deep = std::string(100000, '<') + "a";
    std::string nested;
    for (int i = 0; i < 5000; i++)
        nested += "<a>";
    const std::string rows[] = {
        "",        "no element",   "<",        "<<<",           "<a><",
        "<a x=\"", "<a x=\"1\"",   "<a>\"<b>", "<a></",         "<!",
        "<?xml",   "<a><!-- open", "<a/><b/>", ">>>><<<<>>>",   "<a b c d=e f=\"g\" h=>",
        "<a>x</a", deep,           nested,     nested + "text",
    };
    for (const std::string& text : rows) {
        SCOPED_TRACE(text.substr(0, 40));
        auto root = TXML::CreateFromText(text, 1);
        ASSERT_NE(root, nullptr);
        EXPECT_LE(root->SourceLength, static_cast<int32_t>(text.size()));
        // Past the depth cap the walk stops instead of recursing.
        int32_t depth = 0;
        for (TXML* e = root.get(); e != nullptr; e = e->Items(0))
            depth++;
        EXPECT_LE(depth, TXML::MaxDepth);
    }
    auto root = TXML::CreateFromText(nested, 1);
    int32_t depth = 0;
    for (TXML* e = root.get(); e != nullptr; e = e->Items(0))
        depth++;
    EXPECT_EQ(depth, TXML::MaxDepth);
    // Start positions outside the text give an empty element.
    EXPECT_EQ(TXML::CreateFromText("<a/>", 99)->Tag, "");
    EXPECT_EQ(TXML::CreateFromText("<a/>", -5)->Tag, "a");
}

TEST(XMLTest, CreateReadsAFileAndAMissingFileIsFatal)
{
    TTempFolder folder;
    folder.WriteFile("m.dae", "<?xml version=\"1.0\"?>\n<COLLADA><asset/></COLLADA>\n");
    auto root = TXML::Create(folder.ProgramPath() + "m.dae");
    EXPECT_EQ(root->Tag, "COLLADA");
    EXPECT_TRUE(root->HasChild("asset"));

    ClearEngineErrorText();
    SetFatalStopHook(&ThrowingStop);
    const std::string missing = folder.ProgramPath() + "none.dae";
    EXPECT_THROW(TXML::Create(missing), TFatalStopped);
    SetFatalStopHook(nullptr);
    EXPECT_EQ(GetEngineErrorText(), "\n\rTXML.Create(" + missing + ") -> FILE NOT FOUND!");
    ClearEngineErrorText();
}
