// Expansion of macro references and the macro definition lists. Expansion works in passes over
// the whole text, each linear in its length; a pass repeats only when a reference asked for it.
#include "macros/macros.h"

#include "macros/property_class_list.h"

#include <QStringView>

#include <algorithm>
#include <vector>

namespace ldweave {

namespace {

// One pass over a text: copies it to output, replacing references. Values written by the pass
// are not examined again in the same pass.
class ExpansionPass
{
public:
    ExpansionPass(const QString &text, const MacroMap &userMacros, const MacroMap *systemMacros,
                  qsizetype lengthLimit, ExpansionReport *report)
        : m_text(text)
        , m_userMacros(userMacros)
        , m_systemMacros(systemMacros)
        , m_lengthLimit(lengthLimit)
        , m_report(report)
    {}

    /// Runs the pass; false when the output grew past the length limit and was abandoned.
    bool run();

    QString output() const { return m_output; }
    /// Set when some reference held "$" in its content and so asked for another pass.
    bool rescanRequested() const { return m_rescanRequested; }

private:
    void expandReference(qsizetype dollar);
    bool lookUp(const QString &name, QString &value) const;
    qsizetype nextOf(char16_t character, qsizetype from, qsizetype &cache) const;
    qsizetype closingParenthesis(qsizetype open);

    const QString &m_text;
    const MacroMap &m_userMacros;
    const MacroMap *m_systemMacros; ///< nullptr when only user macros are consulted
    const qsizetype m_lengthLimit;
    ExpansionReport *m_report; ///< not owned; nullptr when nobody asks
    QString m_output;
    bool m_rescanRequested = false;
    qsizetype m_position = 0;
    // Positions of the next "$" and ":" at or after the last position asked for; searches only
    // move forward, so all of them together cost one walk over the text.
    qsizetype m_nextDollar = -1;
    qsizetype m_nextColon = -1;
    // Built when a reference is found unterminated: for each "(" at or after m_matchStart, the
    // position of its ")" or -1. Later references inside that tail are looked up here instead
    // of scanning to the end again, which would make "$($($(..." quadratic.
    qsizetype m_matchStart = -1;
    std::vector<qsizetype> m_matchingClose;
};

bool ExpansionPass::run()
{
    const qsizetype length = m_text.size();
    m_output.reserve(length);
    while (m_position < length) {
        const qsizetype dollar = nextOf(kMacroCharacter, m_position, m_nextDollar);
        m_output.append(QStringView(m_text).mid(m_position, dollar - m_position));
        m_position = dollar;
        if (dollar == length)
            break;
        if (dollar + 1 < length && m_text.at(dollar + 1) == u'(') {
            expandReference(dollar);
            if (m_output.size() > m_lengthLimit)
                return false;
            continue;
        }
        m_output.append(QChar(kMacroCharacter));
        const bool doubled = dollar + 1 < length && m_text.at(dollar + 1) == kMacroCharacter;
        m_position = dollar + (doubled ? 2 : 1);
    }
    return true;
}

// reference ::= '$(' name ( ':' default | '::' literal )? ')', parentheses nesting in the content
void ExpansionPass::expandReference(qsizetype dollar)
{
    const qsizetype length = m_text.size();
    const qsizetype contentStart = dollar + 2;
    const qsizetype close = closingParenthesis(dollar + 1);
    const qsizetype contentEnd = close < 0 ? length : close;

    qsizetype colon = nextOf(u':', contentStart, m_nextColon);
    if (colon >= contentEnd)
        colon = -1;
    const bool literalDefault
        = colon >= 0 && colon + 1 < contentEnd && m_text.at(colon + 1) == u':';
    // Decision: a "::" reference asks for no re-scan for itself but does not cancel the request
    // of another reference in the same pass, so whether "$(A:$(B))" is fully expanded never
    // depends on an unrelated "::" reference after it. The price: a "::" default is literal
    // only when no other reference of its text asks for a re-scan.
    if (!literalDefault && nextOf(kMacroCharacter, contentStart, m_nextDollar) < contentEnd)
        m_rescanRequested = true;

    if (close < 0) {
        // Unterminated: the "$" is dropped and copying resumes at the "(", so "$(abc" -> "(abc".
        m_position = dollar + 1;
        return;
    }
    const QStringView content = QStringView(m_text).mid(contentStart, contentEnd - contentStart);
    const QString name = (colon < 0 ? content : content.left(colon - contentStart)).toString();
    QString value;
    const bool found = lookUp(name, value);
    if (m_report) {
        if (!m_report->lookedUp.contains(name))
            m_report->lookedUp.append(name);
        if (!found && colon < 0 && !m_report->undefined.contains(name))
            m_report->undefined.append(name);
    }
    if (found)
        m_output.append(value);
    else if (colon < 0)
        m_output.append(QStringView(m_text).mid(dollar, close + 1 - dollar));
    else
        m_output.append(content.mid(colon - contentStart + (literalDefault ? 2 : 1)));
    m_position = close + 1;
}

bool ExpansionPass::lookUp(const QString &name, QString &value) const
{
    auto found = m_userMacros.constFind(name);
    if (found == m_userMacros.constEnd()) {
        if (!m_systemMacros)
            return false;
        found = m_systemMacros->constFind(name);
        if (found == m_systemMacros->constEnd())
            return false;
    }
    // A clock macro reads the clock even when the user defined a macro of that name.
    if (!PropertyClassList::dynamicMacroValue(name, value))
        value = found.value();
    return true;
}

// The position of the first character at or after from, or the text's length when none. The
// cached answer stays valid for any later from up to it; the one query that steps back (to the
// "(" of an unterminated reference, after asking from the character behind it) cannot miss an
// occurrence, since that "(" is neither "$" nor ":".
qsizetype ExpansionPass::nextOf(char16_t character, qsizetype from, qsizetype &cache) const
{
    if (cache < from && cache != m_text.size()) {
        cache = m_text.indexOf(QChar(character), from);
        if (cache < 0)
            cache = m_text.size();
    }
    return cache;
}

qsizetype ExpansionPass::closingParenthesis(qsizetype open)
{
    if (m_matchStart >= 0 && open >= m_matchStart)
        return m_matchingClose[open - m_matchStart];
    const qsizetype length = m_text.size();
    int depth = 1;
    for (qsizetype i = open + 1; i < length; ++i) {
        const QChar c = m_text.at(i);
        if (c == u'(') {
            ++depth;
        } else if (c == u')' && --depth == 0) {
            return i;
        }
    }
    m_matchStart = open;
    m_matchingClose.assign(length - open, -1);
    std::vector<qsizetype> openParentheses;
    for (qsizetype i = open; i < length; ++i) {
        const QChar c = m_text.at(i);
        if (c == u'(') {
            openParentheses.push_back(i);
        } else if (c == u')' && !openParentheses.empty()) {
            m_matchingClose[openParentheses.back() - open] = i;
            openParentheses.pop_back();
        }
    }
    return -1;
}

} // namespace

QString expandMacros(const QString &text, const MacroMap &userMacros, bool useSystemMacros,
                     ExpansionReport *report)
{
    if (!text.contains(QChar(kMacroCharacter)))
        return text;
    const MacroMap *systemMacros = useSystemMacros ? &macroTable().systemMacros() : nullptr;
    const qsizetype lengthLimit = std::max(kMaxExpandedLength, text.size());
    // Decision: expansion ends after kMaxExpansionPasses passes with the output of the last
    // one, and a pass whose output grows past lengthLimit is abandoned in favour of its input
    // (the original text when it is the first pass). Both end silently: expansion has no
    // channel for diagnostics, and the half-expanded text still shows "$(name)" where it
    // stopped. A pass that changes nothing ends expansion at once, since every further pass
    // would repeat it: "$(a$b)" stays "$(a$b)" after two passes. So only references that
    // keep changing the text (a macro whose value refers to itself) reach the bounds.
    QString current = text;
    for (int pass = 0; pass < kMaxExpansionPasses; ++pass) {
        if (report) // only what the last pass leaves unexpanded stays in the text
            report->undefined.clear();
        ExpansionPass expansion(current, userMacros, systemMacros, lengthLimit, report);
        if (!expansion.run()) {
            if (report)
                report->stoppedAtBound = true;
            return current;
        }
        QString output = expansion.output();
        if (!expansion.rescanRequested() || output == current)
            return output;
        current = output;
    }
    if (report)
        report->stoppedAtBound = true;
    return current;
}

MacroMap parseMacroDefinitions(const QStringList &items)
{
    MacroMap macros;
    for (const QString &item : items) {
        const qsizetype equals = item.indexOf(u'=');
        if (equals < 0)
            macros.insert(item, QString());
        else
            macros.insert(item.left(equals), item.mid(equals + 1));
    }
    return macros;
}

MacroMap mergeMacros(const MacroMap &base, const MacroMap &additions)
{
    MacroMap merged = base;
    for (auto it = additions.constBegin(); it != additions.constEnd(); ++it)
        merged.insert(it.key(), it.value());
    return merged;
}

QStringList splitMacroList(const QString &text)
{
    QStringList items;
    QString current;
    const qsizetype length = text.size();
    for (qsizetype i = 0; i < length; ++i) {
        const QChar c = text.at(i);
        if (c == u'\\' && i + 1 < length) {
            current += text.at(++i);
        } else if (c == u';') {
            if (!current.isEmpty())
                items.append(current);
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.isEmpty())
        items.append(current);
    return items;
}

} // namespace ldweave
