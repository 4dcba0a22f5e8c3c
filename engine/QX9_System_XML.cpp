// TXML: the one-pass XML walker and its lookups.
#include "engine/QX9_System_XML.h"

#include <algorithm>

#include "engine/QX9_System.h"
#include "platform/os/OS.h"

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// text[from, to) without TAB, LF, CR and blanks at either end.
std::string TrimmedRange(const std::string& text, size_t from, size_t to)
{
    to = std::min(to, text.size());
    while (from < to && IsBlank(text[from]))
        from++;
    while (to > from && IsBlank(text[to - 1]))
        to--;
    return from < to ? text.substr(from, to - from) : std::string();
}

// Whether text[from, to), trimmed, is "/" followed by the tag.
bool IsEndTag(const std::string& text, size_t from, size_t to, const std::string& tag)
{
    to = std::min(to, text.size());
    while (from < to && IsBlank(text[from]))
        from++;
    while (to > from && IsBlank(text[to - 1]))
        to--;
    return to - from == tag.size() + 1 && text[from] == '/' && text.compare(from + 1, tag.size(), tag) == 0;
}

} // namespace

// ---------------------------------------------------------------------------
// TXMLParams

TXMLParams::TXMLParams(const std::string& text)
{
    enum { Between, Name, Value } state = Between;
    size_t mark = 0;
    bool quoted = false;
    bool seen = false; // a non-blank character outside quotes is in the value
    for (size_t i = 0; i < text.size(); i++) {
        const char c = text[i];
        switch (state) {
        case Between:
            if (!IsBlank(c)) {
                List.emplace_back();
                state = Name;
                mark = i;
            }
            break;
        case Name:
            if (c == '=') {
                List.back().Name = TrimmedRange(text, mark, i);
                state = Value;
                mark = i + 1;
                quoted = false;
                seen = false;
            }
            break;
        case Value:
            if (c == '"')
                quoted = !quoted;
            if (!quoted && !IsBlank(c))
                seen = true;
            if (seen && (IsBlank(c) || quoted)) {
                List.back().Value = StripQuotes(TrimmedRange(text, mark, i));
                state = Between;
                quoted = false;
            }
            break;
        }
    }
    if (state != Between)
        List.back().Value = StripQuotes(TrimmedRange(text, mark, text.size()));
}

TXMLParam TXMLParams::Get(int32_t n) const
{
    if (n < 0 || n >= Count())
        return TXMLParam();
    return List[n];
}

TXMLParam TXMLParams::Find(const std::string& name) const
{
    for (const TXMLParam& param : List) {
        if (param.Name == name)
            return param;
    }
    return TXMLParam();
}

// ---------------------------------------------------------------------------
// TXML

std::unique_ptr<TXML> TXML::Create(const std::string& fileName)
{
    std::vector<uint8_t> bytes;
    if (!OS_ReadWholeFile(fileName, bytes))
        FatalError("TXML.Create", fileName, "FILE NOT FOUND!");
    return CreateFromText(std::string(bytes.begin(), bytes.end()), 1);
}

std::unique_ptr<TXML> TXML::CreateFromText(const std::string& text, int32_t startPosition)
{
    std::unique_ptr<TXML> root(new TXML());
    const size_t start = startPosition < 1 ? 0 : static_cast<size_t>(startPosition) - 1;
    root->Parse(text, std::min(start, text.size()), 0);
    return root;
}

size_t TXML::Parse(const std::string& text, size_t start, int32_t depth)
{
    enum { Seeking, Naming, Attributes, Content, Closing } state = Seeking;
    const size_t n = text.size();
    size_t mark = start;
    bool quoted = false;
    size_t i = start;
    // Every step consumes at least one character (a child at least its
    // "<"), so any text ends the walk.
    while (i < n) {
        const char c = text[i];
        switch (state) {
        case Seeking:
            if (c == '<') {
                state = Naming;
                mark = i + 1;
            }
            i++;
            break;
        case Naming:
            if (IsBlank(c) || c == '/' || c == '>') {
                Tag = TrimmedRange(text, mark, i);
                state = IsBlank(c) ? Attributes : (c == '/' ? Closing : Content);
                mark = i + 1;
                quoted = false;
            } else if (c == '!' || c == '?') {
                state = Seeking; // a declaration or a comment: on to the next "<"
            }
            i++;
            break;
        case Attributes:
            if (c == '"') {
                quoted = !quoted;
            } else if (!quoted && (c == '/' || c == '>')) {
                Params = std::make_unique<TXMLParams>(TrimmedRange(text, mark, i));
                state = c == '/' ? Closing : Content;
                mark = i + 1;
                quoted = false;
            }
            i++;
            break;
        case Content: {
            if (c == '"')
                quoted = !quoted;
            if (c != '<' || quoted) {
                i++;
                break;
            }
            Text += TrimmedRange(text, mark, i);
            const size_t close = std::min(text.find('>', i + 1), n);
            if (IsEndTag(text, i + 1, close, Tag)) {
                state = Closing;
                i++;
                break;
            }
            if (depth + 1 >= MaxDepth) {
                // Too deep to be a real document: stop here rather than
                // recurse without bound.
                SourceLength = static_cast<int32_t>(std::min<size_t>(n - start, INT32_MAX));
                return n;
            }
            std::unique_ptr<TXML> child(new TXML());
            const size_t next = child->Parse(text, i, depth + 1);
            Children.push_back(std::move(child));
            i = next;
            mark = next;
            break;
        }
        case Closing:
            if (c == '>') {
                SourceLength = static_cast<int32_t>(std::min<size_t>(i - start, INT32_MAX));
                return i + 1;
            }
            i++;
            break;
        }
    }
    // Unterminated: the element ends with the text.
    SourceLength = static_cast<int32_t>(std::min<size_t>(n - start, INT32_MAX));
    return n;
}

TXML* TXML::Items(int32_t n) const
{
    if (n < 0 || n >= Count())
        return nullptr;
    return Children[n].get();
}

TXML* TXML::Child(const std::string& tag) const
{
    for (const auto& child : Children) {
        if (child->Tag == tag)
            return child.get();
    }
    return nullptr;
}

bool TXML::HasChild(const std::string& tag) const
{
    return Child(tag) != nullptr;
}

TXML* TXML::FindChild(const std::string& tag, const std::string& name, bool exact, const std::string& value) const
{
    for (const auto& child : Children) {
        if (child->Tag != tag || !child->HasParam(name))
            continue;
        const std::string found = child->Params->Find(name).Value;
        if (exact ? found == value : found.find(value) != std::string::npos)
            return child.get();
    }
    return nullptr;
}

bool TXML::HasParam(const std::string& name) const
{
    if (!Params)
        return false;
    return std::any_of(Params->List.begin(), Params->List.end(),
                       [&](const TXMLParam& param) { return param.Name == name; });
}
