// The XML document: a lenient parser for a practical subset of XML that builds an XMLNode tree,
// reports at most one error as a message and a line, and reads files whole. QXMLDocument adds
// loading by a Unicode path; the pre-processor and the tool's document derive from it.
#pragma once

#include "xml/xml_node.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

class QString;

namespace ldweave {

/// What a load did with its file.
enum class LoadResult {
    NotRead,   ///< the file could not be opened or read; the root is untouched
    Malformed, ///< the file was read and parsed with an error; the root was replaced
    Parsed,    ///< the file was read and parsed; the root was replaced (it may be null)
};

class XMLDocument
{
public:
    /// keepText: keep character data and comments inside elements as nodes (CDATA sections are
    /// always kept).
    explicit XMLDocument(bool keepText);
    XMLDocument(const XMLDocument &) = delete;
    XMLDocument &operator=(const XMLDocument &) = delete;
    virtual ~XMLDocument();

    /// The element factory: the parser calls it for every start tag. Derived documents return
    /// their own element class.
    virtual std::unique_ptr<XMLElement> createElement(std::string tagName);

    /// Parses a NUL-terminated text and stores the last complete top-level element as root
    /// (none when there is none). A previous root that was not taken out first is destroyed.
    /// Returns false on "bad tagName" or "tagName mismatch", with errorText and errorLine set;
    /// a true result does not promise a root.
    bool parse(const char *text);
    /// Reads an open binary stream whole from its start and parses it; a leading UTF-8
    /// byte-order mark is skipped and a NUL byte ends the text. A stream that cannot be read
    /// is NotRead with "couldn't read stream", errorLine 0 and root untouched.
    LoadResult parseFile(std::FILE *stream);
    /// Opens a regular file and parses it. Anything that cannot be opened or is not a regular
    /// file is NotRead with "couldn't read <path>", errorLine 0 and root untouched.
    LoadResult load(const char *path);

    /// The document element after a parse; owned by the document.
    XMLNode *root() const { return m_root.get(); }
    /// Detaches the root, so that a nested parse into this document leaves it alive.
    std::unique_ptr<XMLNode> takeRoot() { return std::move(m_root); }
    /// Replaces the root; the previous one is destroyed.
    void setRoot(std::unique_ptr<XMLNode> root) { m_root = std::move(root); }

    bool keepText() const { return m_keepText; }
    /// Root element name of the last document type declaration read, or null.
    const std::string *doctype() const { return m_doctype ? &*m_doctype : nullptr; }
    /// Values of the XML declaration's version and encoding (recorded only), or null.
    const std::string *version() const { return m_version ? &*m_version : nullptr; }
    const std::string *encoding() const { return m_encoding ? &*m_encoding : nullptr; }

    /// Message of the last failure ("" before any), at most kMaxErrorTextLength bytes.
    const char *errorText() const { return m_errorText.c_str(); }
    /// Line counter at the last failure: 0 for the first line and for an unreadable file.
    uint32_t errorLine() const { return m_errorLine; }
    /// The innermost element the last parse left open (its end tag missing or not matching),
    /// or empty; and the line it was opened on.
    const std::string &unclosedTag() const { return m_unclosedTag; }
    uint32_t unclosedLine() const { return m_unclosedLine; }
    /// The path load() is parsing, while it parses (so that createElement can tell which file
    /// an element comes from); empty otherwise and for parse().
    const std::string &parsingPath() const { return m_parsingPath; }
    /// Why the last load did not read its file, in the system's words ("Permission denied");
    /// empty when it was read.
    const std::string &readFailure() const { return m_readFailure; }

    /// Longest errorText in bytes (the message buffer holds 1024 bytes with its terminator).
    static constexpr size_t kMaxErrorTextLength = 1023;

private:
    bool parseText(const char *text, size_t length);
    void setError(std::string message, uint32_t line);

    const bool m_keepText;
    std::optional<std::string> m_doctype;
    std::optional<std::string> m_version;
    std::optional<std::string> m_encoding;
    std::unique_ptr<XMLNode> m_root;
    std::string m_errorText;
    uint32_t m_errorLine = 0;
    std::string m_readFailure;
    std::string m_parsingPath;
    std::string m_unclosedTag;
    uint32_t m_unclosedLine = 0;
};

class QXMLDocument : public XMLDocument
{
public:
    using XMLDocument::load;
    using XMLDocument::XMLDocument;

    /// load() with a path made by pathFromBytes, opened by its own bytes.
    LoadResult load(const QString &path);
};

} // namespace ldweave
