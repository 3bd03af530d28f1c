#include "platform/foundation/PlistXmlReader.h"

#include "platform/foundation/KeyHash.h"
#include "platform/foundation/PlistEncoding.h"
#include "platform/foundation/WorkingMemory.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <limits>
#include <new>
// Debian's expat is built with DTD support, which is what declares the billion-laughs settings.
#ifndef XML_DTD
#define XML_DTD 1
#endif
#include <expat.h>

#include <sys/mman.h>
#include <unistd.h>

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

// An array at its exact size; the vector keeps its room for the next array at the same depth.
PlistArray takeArray(std::vector<PlistValue>& values)
{
    if (values.capacity() == values.size()) {
        PlistArray array = std::move(values);
        values = {};
        return array;
    }
    PlistArray array;
    array.reserve(values.size());
    std::move(values.begin(), values.end(), std::back_inserter(array));
    values.clear();
    return array;
}

/// The parser's memory. Its blocks of a few MiB or more (the document buffer, and pools that a
/// long text fills) are mapped with mapWorkingMemory; the rest come from malloc. Each block
/// starts with a header that tells which, and how large the block is.
struct ParserMemory {
    struct alignas(std::max_align_t) Header {
        std::size_t bytes;  // the whole block, header included
        bool mapped;
    };

    static Header* header(void* block) { return reinterpret_cast<Header*>(static_cast<char*>(block) - sizeof(Header)); }

    static void* allocate(std::size_t size)
    {
        if (size > std::numeric_limits<std::size_t>::max() - sizeof(Header))
            return nullptr;
        const std::size_t bytes = size + sizeof(Header);
        const bool mapped = bytes >= kWorkingMemoryMapFrom;
        void* at = mapped ? mapWorkingMemory(bytes, false) : std::malloc(bytes);
        if (!at)
            return nullptr;
        return reinterpret_cast<char*>(new (at) Header{bytes, mapped}) + sizeof(Header);
    }

    static void release(void* block)
    {
        if (!block)
            return;
        Header* head = header(block);
        if (head->mapped)
            unmapWorkingMemory(head, head->bytes);
        else
            std::free(head);
    }

    static void* resize(void* block, std::size_t size)
    {
        if (!block)
            return allocate(size);
        Header* head = header(block);
        if (!head->mapped && size < kWorkingMemoryMapFrom - sizeof(Header)) {
            void* at = std::realloc(head, size + sizeof(Header));
            if (!at)
                return nullptr;
            return reinterpret_cast<char*>(new (at) Header{size + sizeof(Header), false}) + sizeof(Header);
        }
        void* moved = allocate(size);
        if (!moved)
            return nullptr;
        std::memcpy(moved, block, std::min(size, head->bytes - sizeof(Header)));
        release(block);
        return moved;
    }

    static constexpr XML_Memory_Handling_Suite suite{&allocate, &resize, &release};
};

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
    if (m_parser)
        XML_StopParser(static_cast<XML_Parser>(m_parser), XML_FALSE);
}

const PlistSelection* PlistXmlReader::selectionOfNextValue() const
{
    if (m_depth == 0)
        return m_selection;
    const Frame& parent = m_stack[m_depth - 1];
    if (parent.element == Element::Dict)
        return parent.valueSelection;
    if (parent.element == Element::Array)
        return parent.selection && parent.selection->keepsArrayElements() ? parent.selection : nullptr;
    return parent.selection;
}

std::optional<PlistXmlReader::Element> PlistXmlReader::elementNamed(const char* name)
{
    // Told apart by their first letters, then checked whole.
    const auto is = [name](const char* known, Element element) -> std::optional<Element> {
        return std::strcmp(name, known) == 0 ? std::optional<Element>(element) : std::nullopt;
    };
    switch (name[0]) {
    case 'k': return is("key", Element::Key);
    case 's': return is("string", Element::String);
    case 'd':
        if (const auto dict = is("dict", Element::Dict))
            return dict;
        if (const auto date = is("date", Element::Date))
            return date;
        return is("data", Element::Data);
    case 'i': return is("integer", Element::Integer);
    case 'a': return is("array", Element::Array);
    case 'r': return is("real", Element::Real);
    case 't': return is("true", Element::True);
    case 'f': return is("false", Element::False);
    case 'p': return is("plist", Element::Plist);
    default: return std::nullopt;
    }
}

void PlistXmlReader::startElement(const char* name)
{
    if (m_failure != PlistReadFailure::None)
        return;
    const std::optional<Element> known = elementNamed(name);
    if (!known || m_inLeaf)
        return fail(PlistReadFailure::Malformed);
    const Element element = *known;
    if (m_depth == 0) {
        if (element == Element::Key)
            return fail(PlistReadFailure::Malformed);
    } else {
        const Frame& parent = m_stack[m_depth - 1];
        const bool allowed = parent.element == Element::Plist ? element != Element::Plist && element != Element::Key
                                                                    && !parent.hasValue
                           : parent.element == Element::Dict  ? element != Element::Plist
                                                                   && (element == Element::Key) != parent.hasKey
                                                              : element != Element::Plist && element != Element::Key;
        if (!allowed)
            return fail(PlistReadFailure::Malformed);
    }
    if (m_document)
        releaseParsedPages();
    if (element == Element::Key) {
        m_inLeaf = true;
        m_leaf = element;
        m_leafKept = m_stack[m_depth - 1].selection != nullptr;
        m_collectText = m_leafKept;
        m_text.clear();
        return;
    }
    const PlistSelection* selection = selectionOfNextValue();
    if (element == Element::Plist || element == Element::Array || element == Element::Dict) {
        if (element != Element::Plist && ++m_containers > kMaxPropertyListDepth)
            return fail(PlistReadFailure::TooDeep);
        if (m_depth == m_stack.size())
            m_stack.emplace_back();
        Frame& frame = m_stack[m_depth++];
        const XML_Parser parser = static_cast<XML_Parser>(m_parser);
        frame.tagAt = static_cast<std::size_t>(XML_GetCurrentByteIndex(parser));
        frame.tagBytes = static_cast<std::size_t>(XML_GetCurrentByteCount(parser));
        frame.element = element;
        frame.hasKey = false;
        frame.hasValue = false;
        frame.selection = selection;
        frame.valueSelection = nullptr;
        return;
    }
    m_inLeaf = true;
    m_leaf = element;
    m_leafKept = selection != nullptr;
    // A dropped string needs no checking; the other leaves are checked whether kept or not.
    m_collectText = m_leafKept || element != Element::String;
    m_text.clear();
}

std::optional<PlistValue> PlistXmlReader::leafValue(Element element)
{
    switch (element) {
    case Element::String: return PlistValue(std::string(m_text));
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

PlistValue PlistXmlReader::sharedKeyValue(std::size_t position)
{
    PlistValue& recent = m_recentKeys[position];
    if (*recent.asString() == m_text)
        return recent;
    const auto found = m_sharedKeys.find(std::string_view(m_text));
    if (found != m_sharedKeys.end()) {
        recent = found->second;
        return recent;
    }
    PlistValue key(m_text);
    if (m_sharedKeys.size() < kSharedKeysAtMost) {
        m_sharedKeys.emplace(m_text, key);
        recent = key;
    }
    return key;
}

void PlistXmlReader::deliver(std::optional<PlistValue> value)
{
    if (m_depth == 0) {
        m_root = std::move(value);
        return;
    }
    Frame& parent = m_stack[m_depth - 1];
    if (parent.element == Element::Plist) {
        parent.hasValue = true;
        if (value)
            parent.values.push_back(std::move(*value));
        return;
    }
    // An entry or element that its selection's test refuses is dropped as well.
    const PlistSelection* selection = parent.element == Element::Dict ? parent.valueSelection : parent.selection;
    if (value && !selection->keeps(*value))
        value.reset();
    if (parent.element == Element::Dict) {
        // A value read with a selection follows a kept key, whose entry waits for it. A value
        // the test refuses leaves the entry as a mark: it is still its key's last value.
        parent.hasKey = false;
        if (value)
            parent.entries.back().value = std::move(*value);
        else if (parent.valueSelection)
            parent.dropped.push_back(parent.entries.size() - 1);
        return;
    }
    if (value)
        parent.values.push_back(std::move(*value));
}

void PlistXmlReader::endElement()
{
    if (m_failure != PlistReadFailure::None)
        return;
    if (m_inLeaf) {
        m_inLeaf = false;
        if (m_leaf == Element::Key) {
            Frame& parent = m_stack[m_depth - 1];
            parent.hasKey = true;
            parent.valueSelection = parent.selection ? parent.selection->below(m_text) : nullptr;
            if (parent.valueSelection) {
                const bool small = parent.entries.size() < PlistDictionary::kIndexedSize;
                PlistValue key = small && m_text.size() <= kSharedKeyBytes ? sharedKeyValue(parent.entries.size())
                                                                           : PlistValue(m_text);
                parent.entries.push_back(PlistDictionary::Entry{std::move(key), PlistValue()});
                // Keys are hashed while their bytes are at hand, once there are enough to index.
                if (!small) {
                    for (std::size_t i = parent.hashes.size(); i + 1 < parent.entries.size(); ++i)
                        parent.hashes.push_back(keyHash(*parent.entries[i].key.asString()));
                    parent.hashes.push_back(keyHash(m_text));
                }
            }
            return;
        }
        if (!m_collectText)
            return deliver(std::nullopt);
        auto value = leafValue(m_leaf);
        if (!value)
            return fail(PlistReadFailure::Malformed);
        if (!m_leafKept)
            value.reset();
        return deliver(std::move(value));
    }
    Frame& frame = m_stack[m_depth - 1];
    std::optional<PlistValue> value;
    switch (frame.element) {
    case Element::Plist:
        if (!frame.hasValue)
            return fail(PlistReadFailure::Malformed);
        if (!frame.values.empty())
            value = std::move(frame.values.front());
        frame.values.clear();
        break;
    case Element::Dict:
        --m_containers;
        if (frame.hasKey)
            return fail(PlistReadFailure::Malformed);  // a key without its value
        if (frame.selection)
            value = PlistValue(PlistDictionary::takeEntries(frame.entries, &frame.hashes, &frame.dropped));
        frame.dropped.clear();
        break;
    default:
        --m_containers;
        if (frame.selection)
            value = PlistValue(takeArray(frame.values));
        break;
    }
    --m_depth;
    deliver(std::move(value));
}

void PlistXmlReader::characters(std::string_view text)
{
    if (m_failure != PlistReadFailure::None)
        return;
    // Every reference decodes to fewer bytes than it takes in the file, and transcoding at most
    // doubles them; a document whose text grows past that bound is refused.
    m_textBytes += text.size();
    if (m_textBytes > 2 * m_documentBytes + 16)
        return fail(PlistReadFailure::TooExpansive);
    if (!m_inLeaf) {
        for (const char c : text) {
            if (!isXmlSpace(c))
                return fail(PlistReadFailure::Malformed);
        }
        return;
    }
    if (m_collectText)
        m_text.append(text);
}

PlistXmlReader::PlistXmlReader(std::size_t documentBytes, const PlistSelection* selection)
    : m_documentBytes(documentBytes), m_selection(selection ? selection : &PlistSelection::everything())
{
    XML_Parser parser = XML_ParserCreate_MM(nullptr, &ParserMemory::suite, nullptr);
    if (!parser) {
        m_failure = PlistReadFailure::Malformed;
        return;
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
}

PlistXmlReader::~PlistXmlReader()
{
    if (m_parser)
        XML_ParserFree(static_cast<XML_Parser>(m_parser));
}

bool PlistXmlReader::parseDocument(std::string_view document)
{
    if (m_failure != PlistReadFailure::None || m_finished)
        return false;
    if (document.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
        m_failure = PlistReadFailure::TooLarge;
        return false;
    }
    const XML_Status status = XML_Parse(static_cast<XML_Parser>(m_parser), document.data(),
                                        static_cast<int>(document.size()), XML_TRUE);
    if (m_failure == PlistReadFailure::None && status != XML_STATUS_OK)
        m_failure = PlistReadFailure::Malformed;
    m_finished = true;
    return m_failure == PlistReadFailure::None;
}

char* PlistXmlReader::buffer(std::size_t size)
{
    if (m_failure != PlistReadFailure::None || m_finished
        || size > static_cast<std::size_t>(std::numeric_limits<int>::max()))
        return nullptr;
    return static_cast<char*>(XML_GetBuffer(static_cast<XML_Parser>(m_parser), static_cast<int>(size)));
}

bool PlistXmlReader::parseBuffer(std::size_t length, bool last)
{
    if (m_failure != PlistReadFailure::None || m_finished)
        return false;
    const XML_Status status = XML_ParseBuffer(static_cast<XML_Parser>(m_parser), static_cast<int>(length),
                                              last ? XML_TRUE : XML_FALSE);
    if (m_failure == PlistReadFailure::None && status != XML_STATUS_OK)
        m_failure = PlistReadFailure::Malformed;
    m_finished = last;
    return m_failure == PlistReadFailure::None;
}

bool PlistXmlReader::parseWholeBuffer(char* room, std::size_t length)
{
    m_document = room;
    m_releasedTo = 0;
    const bool parsed = parseBuffer(length, true);
    m_document = nullptr;
    return parsed;
}

void PlistXmlReader::releaseParsedPages()
{
    // Released a few MiB at a time, well behind the tag being read. The parser keeps pointers
    // to the start tags of the elements still open, whose pages stay.
    constexpr std::size_t kStep = 4u << 20;
    constexpr std::size_t kMargin = 64u << 10;
    const auto at = static_cast<std::size_t>(XML_GetCurrentByteIndex(static_cast<XML_Parser>(m_parser)));
    if (at < m_releasedTo + kStep + kMargin)
        return;
    const std::size_t limit = at - kMargin;
    const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    const auto release = [&](std::size_t from, std::size_t to) {
        const auto begin = (reinterpret_cast<std::uintptr_t>(m_document + from) + page - 1) & ~(page - 1);
        const auto end = reinterpret_cast<std::uintptr_t>(m_document + to) & ~(page - 1);
        if (begin < end)
            ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_DONTNEED);
    };
    std::size_t from = m_releasedTo;
    for (std::size_t i = 0; i < m_depth; ++i) {
        const Frame& open = m_stack[i];
        if (open.tagAt + open.tagBytes <= from)
            continue;
        if (open.tagAt >= limit)
            break;
        release(from, open.tagAt);
        from = open.tagAt + open.tagBytes;
    }
    if (from < limit)
        release(from, limit);
    m_releasedTo = limit;
}

std::optional<PlistValue> PlistXmlReader::finish()
{
    if (m_failure == PlistReadFailure::None && (!m_finished || !m_root))
        m_failure = PlistReadFailure::Malformed;
    m_stack.clear();
    m_depth = 0;
    if (m_failure != PlistReadFailure::None) {
        m_root.reset();
        return std::nullopt;
    }
    return std::move(m_root);
}

std::optional<PlistValue> PlistXmlReader::read(std::string_view bytes, const PlistSelection* selection,
                                               PlistReadFailure* failure)
{
    PlistXmlReader reader(bytes.size(), selection);
    reader.parseDocument(bytes);
    auto value = reader.finish();
    if (failure)
        *failure = reader.failure();
    return value;
}

}  // namespace platform::plist
