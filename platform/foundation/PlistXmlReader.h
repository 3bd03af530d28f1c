#pragma once

#include "platform/foundation/PlistValue.h"
#include "platform/foundation/PropertyList.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::plist {

struct XmlReaderCallbacks;

/// Reads the XML form in one streaming pass of expat, building values on an explicit stack.
/// expat checks well-formedness and decodes the text; this class checks the property-list
/// grammar: known element names only, a key before each dictionary value, text only inside
/// leaves, one value in <plist>, nesting no deeper than kMaxPropertyListDepth. No DTD is
/// processed: a DOCTYPE with an internal subset, an entity declaration or a reference to an
/// undeclared entity refuses the document.
class PlistXmlReader {
public:
    explicit PlistXmlReader(std::string_view bytes) : m_bytes(bytes) {}

    /// The root value, or none when the bytes are refused.
    std::optional<PlistValue> read();
    /// Why the last read answered none.
    PlistReadFailure failure() const { return m_failure; }

private:
    friend struct XmlReaderCallbacks;

    enum class Element { Plist, Array, Dict, Key, String, Integer, Real, Date, Data, True, False };

    struct Frame {
        Element element = Element::Plist;
        bool hasKey = false;    // a dictionary's key waits for its value
        bool hasValue = false;  // <plist> holds its one value
        std::string key;
        PlistArray array;
        PlistDictionary dict;
        PlistValue value;
    };

    void startElement(std::string_view name);
    void endElement();
    void characters(std::string_view text);
    void fail(PlistReadFailure failure);
    bool deliver(PlistValue value);
    std::optional<PlistValue> leafValue(Element element);

    std::string_view m_bytes;
    void* m_parser = nullptr;
    PlistReadFailure m_failure = PlistReadFailure::None;
    std::vector<Frame> m_stack;
    std::size_t m_containers = 0;
    bool m_inLeaf = false;
    Element m_leaf = Element::String;
    std::string m_text;
    std::size_t m_textBytes = 0;
    std::optional<PlistValue> m_root;
};

}  // namespace platform::plist
