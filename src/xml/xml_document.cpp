// The scanner works on the raw NUL-terminated bytes in one forward pass, with an explicit stack
// of open elements instead of recursion, so neither deep nesting nor a large file is a risk. It
// is lenient: what it does not understand it reads as character data or passes over.
#include "xml/xml_document.h"

#include "base/file_system.h"

#include <QString>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace ldweave {

namespace {

// Character classes of the "C" locale, one table look-up per byte.
enum CharClass : uint8_t {
    kSpace = 1,          // isspace: space, \t, \n, \v, \f, \r
    kNameChar = 2,       // isalnum, "_", ":", "-"
    kAttributeStart = 4, // isalpha, "_", ":", "-"
};

constexpr std::array<uint8_t, 256> makeCharClasses()
{
    std::array<uint8_t, 256> classes{};
    for (unsigned char c : {' ', '\t', '\n', '\v', '\f', '\r'})
        classes[c] |= kSpace;
    for (int c = 0; c < 256; ++c) {
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        const bool digit = c >= '0' && c <= '9';
        const bool punctuation = c == '_' || c == ':' || c == '-';
        if (letter || digit || punctuation)
            classes[c] |= kNameChar;
        if (letter || punctuation)
            classes[c] |= kAttributeStart;
    }
    return classes;
}

constexpr std::array<uint8_t, 256> kCharClasses = makeCharClasses();

inline bool hasClass(char c, CharClass charClass)
{
    return kCharClasses[static_cast<unsigned char>(c)] & charClass;
}

// Digit values inside a numeric character reference: "0"-"9", then "a"-"z" count 10 to 35 and
// "A"-"F" 10 to 15 whatever the base. -1 marks a byte that is no digit.
constexpr std::array<int8_t, 256> makeDigitValues()
{
    std::array<int8_t, 256> values{};
    for (int c = 0; c < 256; ++c)
        values[c] = -1;
    for (int c = '0'; c <= '9'; ++c)
        values[c] = static_cast<int8_t>(c - '0');
    for (int c = 'a'; c <= 'z'; ++c)
        values[c] = static_cast<int8_t>(c - 'a' + 10);
    for (int c = 'A'; c <= 'F'; ++c)
        values[c] = static_cast<int8_t>(c - 'A' + 10);
    return values;
}

constexpr std::array<int8_t, 256> kDigitValues = makeDigitValues();

// Decodes the reference that starts with the "&" at value[i]; value holds n bytes. Returns the
// byte it stands for and leaves i on the last byte consumed. Anything that is not a complete
// reference within the n bytes yields "&" and consumes only the "&".
//   reference ::= '&amp;' | '&apos;' | '&gt;' | '&lt;' | '&quot;'
//               | '&#' digit* ';' | '&#x' digit* ';'
char decodeEntity(const char *value, size_t n, size_t &i)
{
    const char *reference = value + i;
    const size_t available = n - i;
    struct NamedEntity
    {
        std::string_view text;
        char byte;
    };
    static constexpr NamedEntity kNamedEntities[] = {
        {"&amp;", '&'}, {"&apos;", '\''}, {"&gt;", '>'}, {"&lt;", '<'}, {"&quot;", '"'},
    };
    for (const NamedEntity &entity : kNamedEntities) {
        if (available >= entity.text.size()
            && std::memcmp(reference, entity.text.data(), entity.text.size()) == 0) {
            i += entity.text.size() - 1;
            return entity.byte;
        }
    }
    if (available < 2 || reference[1] != '#')
        return '&';
    uint32_t base = 10;
    size_t end = 2;
    if (available > 2 && reference[2] == 'x') {
        base = 16;
        end = 3;
    }
    uint32_t number = 0;
    for (; end < available && reference[end] != ';'; ++end) {
        const int digit = kDigitValues[static_cast<unsigned char>(reference[end])];
        // Decision: a byte that is no digit ("G" to "Z", punctuation, a space) means there is
        // no reference: the "&" and the bytes after it stay as written, as for "&copy;". This
        // also stops the look-ahead at the next "&", so decoding stays linear.
        if (digit < 0)
            return '&';
        number = number * base + static_cast<uint32_t>(digit);
    }
    if (end == available)
        return '&';
    i += end;
    return static_cast<char>(number & 0xFF);
}

// Copies [begin, end) with references decoded, and carriage returns dropped when asked. A
// reference that decodes to a zero byte ends the stored text there.
std::string decodeText(const char *begin, const char *end, bool dropCarriageReturns)
{
    const char *special = begin;
    if (dropCarriageReturns) {
        while (special != end && *special != '&' && *special != '\r')
            ++special;
    } else {
        const void *ampersand = std::memchr(begin, '&', static_cast<size_t>(end - begin));
        special = ampersand ? static_cast<const char *>(ampersand) : end;
    }
    if (special == end)
        return std::string(begin, end);
    std::string text;
    text.reserve(static_cast<size_t>(end - begin));
    text.append(begin, special);
    const size_t n = static_cast<size_t>(end - begin);
    for (size_t i = static_cast<size_t>(special - begin); i < n; ++i) {
        char c = begin[i];
        if (c == '&') {
            c = decodeEntity(begin, n, i);
            if (c == '\0')
                break;
        } else if (c == '\r' && dropCarriageReturns) {
            continue;
        }
        text += c;
    }
    return text;
}

// True when word is empty or a leading part of keyword (names are compared over their own
// length against the keyword with its terminator, so a longer name never matches).
bool isLeadingPart(std::string_view word, std::string_view keyword)
{
    return word.size() <= keyword.size() && keyword.substr(0, word.size()) == word;
}

enum class ParseError { None, BadTagName, TagNameMismatch };

struct ScanResult
{
    std::unique_ptr<XMLElement> root;
    std::optional<std::string> doctype;
    std::optional<std::string> version;
    std::optional<std::string> encoding;
    ParseError error = ParseError::None;
    uint32_t errorLine = 0;
    std::string unclosedTag;   ///< the innermost element still open when the scan ended
    uint32_t unclosedLine = 0; ///< its line
};

class XMLScanner
{
public:
    // text[length] must be the terminating NUL and text must hold no other NUL.
    XMLScanner(XMLDocument &document, const char *text, size_t length)
        : m_document(document)
        , m_keepText(document.keepText())
        , m_cursor(text)
        , m_end(text + length)
        , m_lineMark(text)
    {}

    ScanResult run();

private:
    // What the parse does after a construct.
    enum class Next { CharacterData, Stop };

    char peek() const { return *m_cursor; }
    // Moves one byte on; the terminator is never passed.
    void next()
    {
        if (m_cursor != m_end)
            ++m_cursor;
    }
    void readName()
    {
        m_tokenStart = m_cursor;
        while (hasClass(*m_cursor, kNameChar))
            ++m_cursor;
        m_tokenEnd = m_cursor;
    }
    std::string_view token() const
    {
        return std::string_view(m_tokenStart, static_cast<size_t>(m_tokenEnd - m_tokenStart));
    }
    void skipSpace()
    {
        while (hasClass(*m_cursor, kSpace))
            ++m_cursor;
    }
    // The first occurrence of c at or after the cursor, or the terminator.
    const char *find(char c) const
    {
        const void *found = std::memchr(m_cursor, c, static_cast<size_t>(m_end - m_cursor));
        return found ? static_cast<const char *>(found) : m_end;
    }
    uint32_t lineAt(const char *position);
    XMLElement *innermost() const { return m_open.empty() ? nullptr : m_open.back().get(); }
    void appendToInnermost(std::unique_ptr<XMLNode> node, uint32_t line);
    void closeInnermost();
    Next fail(ParseError error);

    Next parseProcessingInstruction();
    Next parseDeclaration(uint32_t line);
    Next parseComment(uint32_t line);
    Next parseCDATASection(uint32_t line);
    Next parseEndTagName();
    Next parseStartTag(uint32_t line);
    void parseCharacterData();
    const char *scanForTerminator(char c);
    void attachAttributes(XMLElement &element);

    XMLDocument &m_document;
    const bool m_keepText;
    const char *m_cursor;
    const char *const m_end; // the terminating NUL
    const char *m_tokenStart = nullptr;
    const char *m_tokenEnd = nullptr;
    // The line counter is brought up to date only when a line is needed: m_line counts the
    // newlines after the first byte up to and including m_lineMark. The cursor only moves
    // forward, so every byte is counted once.
    const char *m_lineMark;
    uint32_t m_line = 0;
    std::vector<std::unique_ptr<XMLElement>> m_open; // started, not yet closed; back is innermost
    /// The attributes of the start tag being read, in order, repeats included; reused from tag
    /// to tag so that reading them allocates no vector.
    std::vector<XMLAttribute> m_attributes;
    ScanResult m_result;
};

// The counter grows whenever the cursor moves onto a newline, so a newline as the very first
// byte is never counted and a node's line is the number of newlines before it (0-based).
uint32_t XMLScanner::lineAt(const char *position)
{
    if (position <= m_lineMark)
        return m_line;
    const char *p = m_lineMark + 1;
    const char *const end = position + 1;
    while (const void *newline = std::memchr(p, '\n', static_cast<size_t>(end - p))) {
        ++m_line;
        p = static_cast<const char *>(newline) + 1;
    }
    m_lineMark = position;
    return m_line;
}

// Decision: nodes with no place in the tree (data, comments and CDATA sections outside any
// element, elements still open at the end, a top-level element replaced by a later one) are
// destroyed at once; nothing outlives the parse that made it.
void XMLScanner::appendToInnermost(std::unique_ptr<XMLNode> node, uint32_t line)
{
    if (XMLElement *parent = innermost()) {
        node->setLine(line);
        parent->appendChild(std::move(node));
    }
}

// Children are attached to their parent when they are closed (data when it is read), which is
// document order. A closed top-level element becomes the result.
void XMLScanner::closeInnermost()
{
    std::unique_ptr<XMLElement> element = std::move(m_open.back());
    m_open.pop_back();
    if (m_open.empty())
        m_result.root = std::move(element);
    else
        m_open.back()->appendChild(std::move(element));
}

XMLScanner::Next XMLScanner::fail(ParseError error)
{
    m_result.error = error;
    m_result.errorLine = lineAt(m_cursor);
    return Next::Stop;
}

// document ::= S? (markup characterData)*
ScanResult XMLScanner::run()
{
    skipSpace();
    while (peek() == '<') {
        const uint32_t line = lineAt(m_cursor);
        next();
        Next after = Next::CharacterData;
        switch (peek()) {
        case '?':
            after = parseProcessingInstruction();
            break;
        case '!':
            next();
            if (peek() == '-') {
                next();
                if (peek() == '-')
                    after = parseComment(line);
            } else {
                after = parseDeclaration(line);
            }
            break;
        case '/':
            next();
            after = parseEndTagName();
            break;
        default:
            after = parseStartTag(line);
            break;
        }
        if (after == Next::Stop)
            break;
        parseCharacterData();
    }
    if (const XMLElement *open = innermost()) {
        m_result.unclosedTag = open->tagName();
        m_result.unclosedLine = open->line();
    }
    m_open.clear();
    return std::move(m_result);
}

// processingInstruction ::= '<?' name S? (xmlDeclaration | characterData)
// A target that is "xml" or a leading part of it (also an empty one) opens the declaration;
// the text of any other instruction is read as character data.
XMLScanner::Next XMLScanner::parseProcessingInstruction()
{
    next();
    readName();
    skipSpace();
    if (!isLeadingPart(token(), "xml"))
        return Next::CharacterData;
    // xmlDeclaration ::= (name S? ('=' S? quotedValue S?)?)* ('?' '>'?)?
    readName();
    skipSpace();
    while (peek() != '?' && m_cursor != m_end) {
        const std::string_view name = token();
        skipSpace();
        if (peek() != '=') {
            const char *before = m_cursor;
            readName();
            skipSpace();
            // Decision: a stray byte that can start no name (a quote, "<", "%") is skipped, so
            // the declaration goes on with what follows instead of stalling on it.
            if (m_cursor == before && peek() != '?')
                next();
            continue;
        }
        next();
        skipSpace();
        const char quote = peek();
        if (quote != '"' && quote != '\'') {
            // An unquoted value ends the whole parse with no root and no error.
            m_result.root.reset();
            return Next::Stop;
        }
        next();
        const char *valueStart = m_cursor;
        m_cursor = find(quote);
        std::string value(valueStart, m_cursor);
        next();
        skipSpace();
        if (name == "version")
            m_result.version = std::move(value);
        else if (name == "encoding")
            m_result.encoding = std::move(value);
        readName();
        skipSpace();
    }
    if (peek() == '?') {
        next();
        if (peek() == '>')
            next();
    }
    return Next::CharacterData;
}

// declaration ::= '<!' name S? ... | cdataSection   (the cursor is after "<!")
// doctype ::= '<!DOCTYPE' S? name S? '>'; a DOCTYPE with an external identifier or internal
// subset records nothing and its rest is read as character data, as is any other declaration.
XMLScanner::Next XMLScanner::parseDeclaration(uint32_t line)
{
    readName();
    skipSpace();
    if (token().empty())
        return parseCDATASection(line);
    if (!isLeadingPart(token(), "DOCTYPE"))
        return Next::CharacterData;
    readName();
    skipSpace();
    if (peek() == '>') {
        m_result.doctype = std::string(token());
        next();
    }
    return Next::CharacterData;
}

// Scans on from the cursor for c c '>'. On a mismatch the scan resumes at the byte that failed
// the test, so "--->" does not end a comment nor "]]]>" a CDATA section. Returns where the
// terminator starts and leaves the cursor on its ">", or returns null at the end of the text.
const char *XMLScanner::scanForTerminator(char c)
{
    for (;;) {
        m_cursor = find(c);
        if (m_cursor == m_end)
            return nullptr;
        const char *terminator = m_cursor;
        next();
        if (peek() != c)
            continue;
        next();
        if (peek() == '>')
            return terminator;
    }
}

// comment ::= '<!--' text '-->'   (the cursor is on the second "-")
XMLScanner::Next XMLScanner::parseComment(uint32_t line)
{
    next();
    const char *textStart = m_cursor;
    const char *textEnd = scanForTerminator('-');
    if (!textEnd)
        return Next::CharacterData;
    if (m_keepText)
        appendToInnermost(std::make_unique<XMLComment>(std::string(textStart, textEnd)), line);
    next();
    return Next::CharacterData;
}

// cdataSection ::= '<!' S? '[' name S? '[' text ']]>'   (the cursor is on the first "[")
// The keyword (normally "CDATA") is not checked. Sections are kept whatever keepText says.
XMLScanner::Next XMLScanner::parseCDATASection(uint32_t line)
{
    next();
    readName();
    skipSpace();
    next();
    const char *textStart = m_cursor;
    const char *textEnd = scanForTerminator(']');
    if (!textEnd)
        return Next::CharacterData;
    appendToInnermost(std::make_unique<XMLCDATASection>(std::string(textStart, textEnd)), line);
    next();
    return Next::CharacterData;
}

// endTag ::= '</' name? S? '>'   (the cursor is after "/")
// An empty name ("</>") closes the innermost element unchecked; any other name must equal its
// tag name exactly. Without the ">" nothing is closed and the rest is character data.
XMLScanner::Next XMLScanner::parseEndTagName()
{
    readName();
    skipSpace();
    if (m_open.empty()) {
        if (peek() == '>')
            next();
        return Next::CharacterData;
    }
    if (!token().empty() && token() != innermost()->tagName())
        return fail(ParseError::TagNameMismatch);
    if (peek() != '>')
        return Next::CharacterData;
    closeInnermost();
    next();
    return Next::CharacterData;
}

// startTag ::= '<' name S? attribute* ('>' | '/' endTagName)
// attribute ::= name S? ('=' S? quotedValue S?)?
// An attribute without "=" or with an unquoted value is dropped; the byte after it is read as
// the start of the next attribute.
XMLScanner::Next XMLScanner::parseStartTag(uint32_t line)
{
    readName();
    skipSpace();
    std::unique_ptr<XMLElement> created = m_document.createElement(std::string(token()));
    created->setLine(line);
    XMLElement *element = created.get();
    m_open.push_back(std::move(created));
    while (peek() != '/' && peek() != '>' && m_cursor != m_end) {
        if (!hasClass(peek(), kAttributeStart)) {
            attachAttributes(*element);
            return fail(ParseError::BadTagName);
        }
        readName();
        skipSpace();
        const std::string_view name = token();
        if (peek() != '=')
            continue;
        next();
        skipSpace();
        if (m_cursor == m_end)
            break;
        const char quote = peek();
        if (quote != '"' && quote != '\'')
            continue;
        next();
        const char *valueStart = m_cursor;
        m_cursor = find(quote);
        const char *valueEnd = m_cursor;
        next();
        skipSpace();
        m_attributes.push_back({std::string(name), decodeText(valueStart, valueEnd, false)});
    }
    attachAttributes(*element);
    if (peek() == '>') {
        next();
    } else if (peek() == '/') {
        next();
        return parseEndTagName();
    }
    return Next::CharacterData;
}

// Gives element the attributes read, in a vector of their exact number. A repeated name keeps
// its first position and takes the last value, as setAttribute does; a tag with more attributes
// than a linear search suits (only crafted input has them) goes through setAttribute's index.
void XMLScanner::attachAttributes(XMLElement &element)
{
    constexpr size_t kMaxSearchedAttributes = 16;
    if (m_attributes.size() > kMaxSearchedAttributes) {
        for (XMLAttribute &attribute : m_attributes)
            element.setAttribute(std::move(attribute.name), std::move(attribute.value));
        m_attributes.clear();
        return;
    }
    std::vector<XMLAttribute> attributes;
    attributes.reserve(m_attributes.size());
    for (XMLAttribute &attribute : m_attributes) {
        const auto same
            = std::find_if(attributes.begin(), attributes.end(),
                           [&](const XMLAttribute &a) { return a.name == attribute.name; });
        if (same != attributes.end())
            same->value = std::move(attribute.value);
        else
            attributes.push_back(std::move(attribute));
    }
    m_attributes.clear();
    element.setAttributes(std::move(attributes));
}

// characterData ::= [^<]*
// Kept only inside an element and with keepText: references decoded, carriage returns dropped.
void XMLScanner::parseCharacterData()
{
    const char *start = m_cursor;
    m_cursor = find('<');
    // Every run counts, also an empty one between two tags back to back: with keepText the
    // tree shows each stretch of character data where it stood.
    if (!m_keepText || m_open.empty())
        return;
    appendToInnermost(std::make_unique<XMLData>(decodeText(start, m_cursor, true)), lineAt(start));
}

// Decision: a message longer than the 1023 bytes errorText holds keeps its start and its end
// with "..." between them, so both "couldn't read" and the file name at the end of a long path
// stay readable; the cuts never split a UTF-8 sequence.
std::string shortenMessage(std::string message)
{
    const size_t limit = XMLDocument::kMaxErrorTextLength;
    if (message.size() <= limit)
        return message;
    const std::string_view ellipsis = "...";
    const auto isContinuation
        = [&](size_t i) { return (static_cast<unsigned char>(message[i]) & 0xC0) == 0x80; };
    size_t headEnd = (limit - ellipsis.size()) / 2;
    size_t tailStart = message.size() - (limit - ellipsis.size() - headEnd);
    while (headEnd > 0 && isContinuation(headEnd))
        --headEnd;
    while (tailStart < message.size() && isContinuation(tailStart))
        ++tailStart;
    return message.substr(0, headEnd).append(ellipsis).append(message, tailStart);
}

struct FileCloser
{
    void operator()(std::FILE *file) const { std::fclose(file); }
};

// Reads the rest of a stream that cannot seek, chunk by chunk.
bool readStream(std::FILE *stream, std::string &buffer)
{
    char chunk[65536];
    size_t count;
    while ((count = std::fread(chunk, 1, sizeof chunk, stream)) > 0)
        buffer.append(chunk, count);
    return !std::ferror(stream);
}

} // namespace

XMLDocument::XMLDocument(bool keepText)
    : m_keepText(keepText)
{}

XMLDocument::~XMLDocument() = default;

std::unique_ptr<XMLElement> XMLDocument::createElement(std::string tagName)
{
    return std::make_unique<XMLElement>(std::move(tagName));
}

bool XMLDocument::parse(const char *text)
{
    if (!text)
        text = "";
    return parseText(text, std::strlen(text));
}

// Decision: a parse replaces the root and destroys the previous one unless the caller took it
// out with takeRoot() first (the include of the pre-processor does, and puts it back after).
// doctype, version and encoding are replaced only when the new text has them.
bool XMLDocument::parseText(const char *text, size_t length)
{
    ScanResult result = XMLScanner(*this, text, length).run();
    m_root = std::move(result.root);
    m_unclosedTag = std::move(result.unclosedTag);
    m_unclosedLine = result.unclosedLine;
    if (result.doctype)
        m_doctype = std::move(result.doctype);
    if (result.version)
        m_version = std::move(result.version);
    if (result.encoding)
        m_encoding = std::move(result.encoding);
    if (result.error == ParseError::None)
        return true;
    setError(result.error == ParseError::BadTagName ? "bad tagName" : "tagName mismatch",
             result.errorLine);
    return false;
}

void XMLDocument::setError(std::string message, uint32_t line)
{
    m_errorText = shortenMessage(std::move(message));
    m_errorLine = line;
}

// Decision: a stream that cannot be read (a directory, a read error) fails with
// "couldn't read stream" and errorLine 0, like a file that cannot be opened, and leaves root
// untouched. A stream that cannot seek (a pipe) is read from where it stands to its end.
LoadResult XMLDocument::parseFile(std::FILE *stream)
{
    std::string buffer;
    bool readable = false;
    long size = -1;
    if (std::fseek(stream, 0, SEEK_END) == 0)
        size = std::ftell(stream);
    if (size >= 0 && std::fseek(stream, 0, SEEK_SET) == 0) {
        // The string keeps a NUL after its last byte, which ends the text for the scanner.
        buffer.resize(static_cast<size_t>(size));
        buffer.resize(std::fread(buffer.data(), 1, buffer.size(), stream));
        readable = !std::ferror(stream);
    } else {
        std::clearerr(stream);
        readable = readStream(stream, buffer);
    }
    if (!readable) {
        setError("couldn't read stream", 0);
        return LoadResult::NotRead;
    }
    const char *text = buffer.data();
    size_t length = buffer.size();
    if (const void *nul = std::memchr(text, '\0', length))
        length = static_cast<size_t>(static_cast<const char *>(nul) - text);
    if (length >= 3 && std::memcmp(text, "\xEF\xBB\xBF", 3) == 0) {
        text += 3;
        length -= 3;
    }
    return parseText(text, length) ? LoadResult::Parsed : LoadResult::Malformed;
}

// Decision: only a regular file is parsed; anything else (a folder, a FIFO, a device) is not
// read, like a file that cannot be opened. The file is opened without blocking and its type
// checked before the first read, so a FIFO nobody writes cannot hang the run.
LoadResult XMLDocument::load(const char *path)
{
    m_readFailure.clear();
    const int descriptor = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat status;
    std::unique_ptr<std::FILE, FileCloser> file;
    if (descriptor < 0) {
        m_readFailure = std::strerror(errno);
    } else if (::fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
        m_readFailure = S_ISDIR(status.st_mode) ? std::strerror(EISDIR) : "not a regular file";
        ::close(descriptor);
    } else {
        ::fcntl(descriptor, F_SETFL, ::fcntl(descriptor, F_GETFL) & ~O_NONBLOCK);
        file.reset(::fdopen(descriptor, "rb"));
        if (!file) {
            m_readFailure = std::strerror(errno);
            ::close(descriptor);
        }
    }
    if (!file) {
        setError(std::string("couldn't read ") + path, 0);
        return LoadResult::NotRead;
    }
    // An include loads a file while the including file's elements exist: the path goes back
    // to what it was when this parse ends.
    const std::string including = std::exchange(m_parsingPath, path);
    const LoadResult result = parseFile(file.get());
    m_parsingPath = including;
    if (result == LoadResult::NotRead)
        m_readFailure = std::strerror(errno);
    return result;
}

LoadResult QXMLDocument::load(const QString &path)
{
    return XMLDocument::load(pathToBytes(path).constData());
}

} // namespace ldweave
