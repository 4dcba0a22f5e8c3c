// TXML: a small XML document read into a tree of elements with their
// attributes and text, by a forgiving single pass made for the mesh files the
// renderer imports: no entities, no namespaces, no validation; declarations
// and comments are passed over. The tree is read-only after parsing.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct TXMLParam {
    std::string Name;
    std::string Value;
};

class TXMLParams {
public:
    // Parses name="value" pairs.
    explicit TXMLParams(const std::string& text);

    int32_t Count() const { return static_cast<int32_t>(List.size()); }
    // Attribute n, or the empty attribute out of range.
    TXMLParam Get(int32_t n) const;
    // The first attribute of this name, or the empty attribute.
    TXMLParam Find(const std::string& name) const;

    std::vector<TXMLParam> List;
};

class TXML {
public:
    // Reads the whole file and parses its first element. A file that can't
    // be opened is fatal ("TXML.Create(<file>) -> FILE NOT FOUND!").
    static std::unique_ptr<TXML> Create(const std::string& fileName);
    // Parses one element from the first "<" at or after `startPosition`
    // (counted from 1), with its children. Never fails: unterminated
    // elements end with the text.
    static std::unique_ptr<TXML> CreateFromText(const std::string& text, int32_t startPosition);

    virtual ~TXML() = default;
    TXML(const TXML&) = delete;
    TXML& operator=(const TXML&) = delete;

    int32_t Count() const { return static_cast<int32_t>(Children.size()); }
    // Child n (from 0); none out of range.
    TXML* Items(int32_t n) const;
    // The first child with this tag, none when there is none.
    TXML* Child(const std::string& tag) const;
    bool HasChild(const std::string& tag) const;
    // The first child with this tag whose attribute `name` equals the value
    // (exact) or contains it (not exact).
    TXML* FindChild(const std::string& tag, const std::string& name, bool exact, const std::string& value) const;
    bool HasParam(const std::string& name) const;

    std::vector<std::unique_ptr<TXML>> Children; // in document order
    std::string Tag;
    std::string Text;
    int32_t SourceLength = 0;           // the final ">" lies this far after where parsing began
    std::unique_ptr<TXMLParams> Params; // none without attribute text

    // Deeper elements are not parsed: the text ends there.
    static constexpr int32_t MaxDepth = 256;

private:
    TXML() = default;
    // Parses from index `start`; returns the index after the final ">" (or
    // the text's length when the element is unterminated).
    size_t Parse(const std::string& text, size_t start, int32_t depth);
};
