#include "platform/foundation/PlistXmlReader.h"

#include "platform/foundation/PlistEncoding.h"

#include <algorithm>
// Debian's expat is built with DTD support, which is what declares the billion-laughs settings.
#ifndef XML_DTD
#define XML_DTD 1
#endif
#include <expat.h>
#include <limits>

namespace platform::plist {

namespace {

// Entity expansion cannot happen without declarations, which are refused; the billion-laughs
// protection is a second line that caps any amplification early.
constexpr float kMaximumAmplification = 4.0f;
constexpr unsigned long long kAmplificationThreshold = 64u * 1024u;

bool isXmlSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

}  // namespace

struct XmlReaderCallbacks {
    static PlistXmlReader& reader(void* data) { return *static_cast<PlistXmlReader*>(data); }

    static void XMLCALL start(void* data, const XML_Char* name, const XML_Char**)
    {
        reader(data).startElement(name);
    }

    static void XMLCALL end(void* data, const XML_Char*) { reader(data).endElement(); }

    static void XMLCALL text(void* data, const XML_Char* s, int length)
    {
        reader(data).characters(std::string_view(s, static_cast<std::size_t>(length)));
    }

    static void XMLCALL doctype(void* data, const XML_Char*, const XML_Char*, const XML_Char*, int internalSubset)
    {
        if (internalSubset)
            reader(data).fail(PlistReadFailure::Malformed);
    }

    static void XMLCALL entityDeclaration(void* data, const XML_Char*, int, const XML_Char*, int, const XML_Char*,
                                          const XML_Char*, const XML_Char*, const XML_Char*)
    {
        reader(data).fail(PlistReadFailure::Malformed);
    }

    static void XMLCALL skippedEntity(void* data, const XML_Char*, int) { reader(data).fail(PlistReadFailure::Malformed); }
};

void PlistXmlReader::fail(PlistReadFailure failure)
{
    if (m_failure == PlistReadFailure::None)
        m_failure = failure;
    XML_StopParser(static_cast<XML_Parser>(m_parser), XML_FALSE);
}

void PlistXmlReader::startElement(std::string_view name)
{
    if (m_failure != PlistReadFailure::None)
        return;
    static constexpr std::pair<std::string_view, Element> kNames[] = {
        {"plist", Element::Plist},     {"array", Element::Array},   {"dict", Element::Dict},
        {"key", Element::Key},         {"string", Element::String}, {"integer", Element::Integer},
        {"real", Element::Real},       {"date", Element::Date},     {"data", Element::Data},
        {"true", Element::True},       {"false", Element::False},
    };
    const auto* known = std::find_if(std::begin(kNames), std::end(kNames), [&](const auto& n) { return n.first == name; });
    if (known == std::end(kNames) || m_inLeaf)
        return fail(PlistReadFailure::Malformed);
    const Element element = known->second;
    if (m_stack.empty()) {
        if (element == Element::Key)
            return fail(PlistReadFailure::Malformed);
    } else {
        const Frame& parent = m_stack.back();
        const bool allowed = parent.element == Element::Plist ? element != Element::Plist && element != Element::Key
                                                                    && !parent.hasValue
                           : parent.element == Element::Dict  ? element != Element::Plist
                                                                   && (element == Element::Key) != parent.hasKey
                                                              : element != Element::Plist && element != Element::Key;
        if (!allowed)
            return fail(PlistReadFailure::Malformed);
    }
    if (element == Element::Plist || element == Element::Array || element == Element::Dict) {
        if (element != Element::Plist && ++m_containers > kMaxPropertyListDepth)
            return fail(PlistReadFailure::TooDeep);
        m_stack.emplace_back();
        m_stack.back().element = element;
        return;
    }
    m_inLeaf = true;
    m_leaf = element;
    m_text.clear();
}

std::optional<PlistValue> PlistXmlReader::leafValue(Element element)
{
    switch (element) {
    case Element::String: return PlistValue(std::move(m_text));
    case Element::Integer: return parseInteger(m_text);
    case Element::Real: {
        const auto real = parseReal(m_text);
        return real ? std::optional<PlistValue>(PlistValue(*real)) : std::nullopt;
    }
    case Element::Date: {
        const auto date = parseDate(m_text);
        return date ? std::optional<PlistValue>(PlistValue(PlistDate{*date})) : std::nullopt;
    }
    case Element::Data: {
        auto bytes = decodeBase64(m_text);
        return bytes ? std::optional<PlistValue>(PlistValue(PlistData{std::move(*bytes)})) : std::nullopt;
    }
    case Element::True:
    case Element::False:
        if (!trimXmlSpace(m_text).empty())
            return std::nullopt;
        return PlistValue(element == Element::True);
    default: return std::nullopt;
    }
}

bool PlistXmlReader::deliver(PlistValue value)
{
    if (m_stack.empty()) {
        m_root = std::move(value);
        return true;
    }
    Frame& parent = m_stack.back();
    switch (parent.element) {
    case Element::Plist:
        parent.value = std::move(value);
        parent.hasValue = true;
        return true;
    case Element::Dict:
        parent.dict.set(std::move(parent.key), std::move(value));
        parent.key.clear();
        parent.hasKey = false;
        return true;
    default:
        parent.array.push_back(std::move(value));
        return true;
    }
}

void PlistXmlReader::endElement()
{
    if (m_failure != PlistReadFailure::None)
        return;
    if (m_inLeaf) {
        m_inLeaf = false;
        if (m_leaf == Element::Key) {
            Frame& parent = m_stack.back();
            parent.key = std::move(m_text);
            parent.hasKey = true;
            m_text.clear();
            return;
        }
        auto value = leafValue(m_leaf);
        m_text.clear();
        if (!value)
            return fail(PlistReadFailure::Malformed);
        deliver(std::move(*value));
        return;
    }
    Frame frame = std::move(m_stack.back());
    m_stack.pop_back();
    switch (frame.element) {
    case Element::Plist:
        if (!frame.hasValue)
            return fail(PlistReadFailure::Malformed);
        deliver(std::move(frame.value));
        return;
    case Element::Dict:
        --m_containers;
        if (frame.hasKey)
            return fail(PlistReadFailure::Malformed);  // a key without its value
        deliver(PlistValue(std::move(frame.dict)));
        return;
    default:
        --m_containers;
        deliver(PlistValue(std::move(frame.array)));
        return;
    }
}

void PlistXmlReader::characters(std::string_view text)
{
    if (m_failure != PlistReadFailure::None)
        return;
    // Every reference decodes to fewer bytes than it takes in the file, and transcoding at most
    // doubles them; a document whose text grows past that bound is refused.
    m_textBytes += text.size();
    if (m_textBytes > 2 * m_bytes.size() + 16)
        return fail(PlistReadFailure::TooExpansive);
    if (!m_inLeaf) {
        for (const char c : text) {
            if (!isXmlSpace(c))
                return fail(PlistReadFailure::Malformed);
        }
        return;
    }
    m_text.append(text);
}

std::optional<PlistValue> PlistXmlReader::read()
{
    m_failure = PlistReadFailure::None;
    if (m_bytes.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
        m_failure = PlistReadFailure::TooLarge;
        return std::nullopt;
    }
    XML_Parser parser = XML_ParserCreate(nullptr);
    if (!parser) {
        m_failure = PlistReadFailure::Malformed;
        return std::nullopt;
    }
    m_parser = parser;
    XML_SetUserData(parser, this);
    XML_SetParamEntityParsing(parser, XML_PARAM_ENTITY_PARSING_NEVER);
    XML_SetBillionLaughsAttackProtectionMaximumAmplification(parser, kMaximumAmplification);
    XML_SetBillionLaughsAttackProtectionActivationThreshold(parser, kAmplificationThreshold);
    XML_SetElementHandler(parser, &XmlReaderCallbacks::start, &XmlReaderCallbacks::end);
    XML_SetCharacterDataHandler(parser, &XmlReaderCallbacks::text);
    XML_SetStartDoctypeDeclHandler(parser, &XmlReaderCallbacks::doctype);
    XML_SetEntityDeclHandler(parser, &XmlReaderCallbacks::entityDeclaration);
    XML_SetSkippedEntityHandler(parser, &XmlReaderCallbacks::skippedEntity);
    const XML_Status status = XML_Parse(parser, m_bytes.data(), static_cast<int>(m_bytes.size()), XML_TRUE);
    XML_ParserFree(parser);
    m_parser = nullptr;
    if (m_failure == PlistReadFailure::None && (status != XML_STATUS_OK || !m_root))
        m_failure = PlistReadFailure::Malformed;
    m_stack.clear();
    if (m_failure != PlistReadFailure::None) {
        m_root.reset();
        return std::nullopt;
    }
    return std::move(m_root);
}

}  // namespace platform::plist
