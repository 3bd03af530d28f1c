#pragma once

#include "platform/foundation/KeyHash.h"
#include "platform/foundation/PlistSelection.h"
#include "platform/foundation/PlistValue.h"
#include "platform/foundation/PropertyList.h"

#include <array>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace platform::plist {

struct XmlReaderCallbacks;

/// Reads the XML form in one streaming pass of expat, building values on an explicit stack.
/// expat checks well-formedness and decodes the text; this class checks the property-list
/// grammar: known element names only, a key before each dictionary value, text only inside
/// leaves, one value in <plist>, nesting no deeper than kMaxPropertyListDepth. No DTD is
/// processed: a DOCTYPE with an internal subset, an entity declaration or a reference to an
/// undeclared entity refuses the document.
///
/// The document is always parsed whole, in one call to expat: either from bytes the caller holds
/// (parseDocument()) or read into the parser's own buffer (buffer(), then parseWholeBuffer()),
/// which hands the parsed pages back as it goes. Nothing is fed in small pieces, which would make
/// expat scan a long token again for every piece. Each open container collects its entries in vectors of its depth that live
/// as long as the reader, so that sibling containers reuse their room and each one is built at
/// its exact size.
class PlistXmlReader {
public:
    /// documentBytes is the size of the whole document, which bounds the text it may decode
    /// to; values that selection drops are checked but not built.
    explicit PlistXmlReader(std::size_t documentBytes, const PlistSelection* selection = nullptr);
    ~PlistXmlReader();
    PlistXmlReader(const PlistXmlReader&) = delete;
    PlistXmlReader& operator=(const PlistXmlReader&) = delete;

    /// Parses the whole document; false when it is refused.
    bool parseDocument(std::string_view document);
    /// Room for a document of size bytes inside the parser, which saves a copy: fill it, then
    /// parseWholeBuffer(). Null once the document is refused.
    char* buffer(std::size_t size);
    /// Parses a whole document that fills the room buffer(length) gave, in one pass that hands
    /// the pages already parsed back to the system as it goes, so that a large document is never
    /// resident whole for long. One final pass also spares the parser the position bookkeeping
    /// it does after every piece.
    bool parseWholeBuffer(char* room, std::size_t length);
    /// The root value once the document is parsed, or none when it was refused.
    std::optional<PlistValue> finish();
    /// Why the document was refused.
    PlistReadFailure failure() const { return m_failure; }

    /// Reads a whole document.
    static std::optional<PlistValue> read(std::string_view bytes, const PlistSelection* selection,
                                          PlistReadFailure* failure);

private:
    friend struct XmlReaderCallbacks;

    enum class Element { Plist, Array, Dict, Key, String, Integer, Real, Date, Data, True, False };

    struct Frame {
        Element element = Element::Plist;
        bool hasKey = false;    // a dictionary's key waits for its value
        bool hasValue = false;  // <plist> holds its one value
        // How this container's values are read; null when the container itself is dropped.
        const PlistSelection* selection = nullptr;
        // How the value after the waiting key is read; null when it is dropped.
        const PlistSelection* valueSelection = nullptr;
        // Where the start tag lies in the document, which the parser reads again at the end tag.
        std::size_t tagAt = 0;
        std::size_t tagBytes = 0;
        std::vector<PlistDictionary::Entry> entries;  // a dictionary's
        std::vector<std::size_t> hashes;              // of its keys, once it is large enough to be indexed
        std::vector<std::size_t> dropped;             // its entries whose value the selection refused
        std::vector<PlistValue> values;               // an array's, or the one value of <plist>
    };

    static std::optional<Element> elementNamed(const char* name);
    void startElement(const char* name);
    void releaseParsedPages();
    void endElement();
    void characters(std::string_view text);
    void fail(PlistReadFailure failure);
    bool parseBuffer(std::size_t length, bool last);
    void deliver(std::optional<PlistValue> value);
    const PlistSelection* selectionOfNextValue() const;
    std::optional<PlistValue> leafValue(Element element);
    PlistValue sharedKeyValue(std::size_t position);

    // Keys that recur (the few names that each of many small dictionaries holds) are held once:
    // the first short keys of small dictionaries are kept, and a later equal key shares its block.
    // Keys of large dictionaries, mostly names of their own, are not. Dictionaries of one kind
    // hold their keys in one order, so the key last read at a position is tried first.
    static constexpr std::size_t kSharedKeyBytes = 32;
    static constexpr std::size_t kSharedKeysAtMost = 256;

    std::size_t m_documentBytes = 0;
    const PlistSelection* m_selection = nullptr;
    void* m_parser = nullptr;
    PlistReadFailure m_failure = PlistReadFailure::None;
    std::vector<Frame> m_stack;  // frames past m_depth are kept for their room
    std::size_t m_depth = 0;
    std::size_t m_containers = 0;
    bool m_inLeaf = false;
    bool m_leafKept = false;
    bool m_collectText = false;
    Element m_leaf = Element::String;
    std::string m_text;
    std::size_t m_textBytes = 0;
    std::optional<PlistValue> m_root;
    bool m_finished = false;
    // The document in the parser's buffer, while parseWholeBuffer() runs, and how much of it
    // has been handed back.
    char* m_document = nullptr;
    std::size_t m_releasedTo = 0;
    std::unordered_map<std::string, PlistValue, KeyHasher, std::equal_to<>> m_sharedKeys;
    std::array<PlistValue, PlistDictionary::kIndexedSize> m_recentKeys;
};

}  // namespace platform::plist
