#include "platform/foundation/PlistValue.h"

#include <atomic>
#include <functional>
#include <limits>
#include <unordered_set>
#include <utility>

namespace platform {

// A heap block that copies of one value share. Its kind is the tag of the values that hold it.
struct PlistValue::Box {
    std::atomic<std::uint32_t> refs{1};
    bool unshareable = false;
};

template <class T>
struct PlistValue::BoxOf : PlistValue::Box {
    explicit BoxOf(T v) : value(std::move(v)) {}
    T value;
};

namespace {

const std::string kEmptyString;

}  // namespace

PlistValue::PlistValue(std::string s) : m_tag(Tag::String), m_box(nullptr)
{
    if (!s.empty())
        m_box = new BoxOf<std::string>(std::move(s));
}

PlistValue::PlistValue(std::uint64_t u) noexcept
{
    if (u <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
        m_tag = Tag::Integer;
        m_integer = static_cast<std::int64_t>(u);
    } else {
        m_tag = Tag::Unsigned;
        m_unsigned = u;
    }
}

PlistValue::PlistValue(PlistData d) : m_tag(Tag::Data), m_box(new BoxOf<PlistData>(std::move(d))) {}
PlistValue::PlistValue(PlistArray a) : m_tag(Tag::Array), m_box(new BoxOf<PlistArray>(std::move(a))) {}
PlistValue::PlistValue(PlistDictionary d) : m_tag(Tag::Dictionary), m_box(new BoxOf<PlistDictionary>(std::move(d))) {}

PlistValue::PlistValue(const PlistValue& other) : m_tag(other.m_tag), m_unsigned(other.m_unsigned)
{
    if (!isBoxed() || !m_box)
        return;
    if (!m_box->unshareable) {
        m_box->refs.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    // A block that was handed out for changes is copied, never shared.
    switch (m_tag) {
    case Tag::String: m_box = new BoxOf<std::string>(static_cast<BoxOf<std::string>*>(other.m_box)->value); break;
    case Tag::Data: m_box = new BoxOf<PlistData>(static_cast<BoxOf<PlistData>*>(other.m_box)->value); break;
    case Tag::Array: m_box = new BoxOf<PlistArray>(static_cast<BoxOf<PlistArray>*>(other.m_box)->value); break;
    default: m_box = new BoxOf<PlistDictionary>(static_cast<BoxOf<PlistDictionary>*>(other.m_box)->value); break;
    }
}

PlistValue& PlistValue::operator=(const PlistValue& other)
{
    if (this != &other) {
        PlistValue copy(other);
        *this = std::move(copy);
    }
    return *this;
}

PlistValue& PlistValue::operator=(PlistValue&& other) noexcept
{
    if (this != &other) {
        release();
        m_tag = other.m_tag;
        m_unsigned = other.m_unsigned;
        other.m_tag = Tag::String;
        other.m_box = nullptr;
    }
    return *this;
}

void PlistValue::release() noexcept
{
    if (!isBoxed() || !m_box)
        return;
    Box* box = m_box;
    m_box = nullptr;
    if (box->refs.fetch_sub(1, std::memory_order_acq_rel) != 1)
        return;
    switch (m_tag) {
    case Tag::String: delete static_cast<BoxOf<std::string>*>(box); break;
    case Tag::Data: delete static_cast<BoxOf<PlistData>*>(box); break;
    case Tag::Array: delete static_cast<BoxOf<PlistArray>*>(box); break;
    default: delete static_cast<BoxOf<PlistDictionary>*>(box); break;
    }
}

bool PlistValue::isShared() const
{
    return isBoxed() && m_box && m_box->refs.load(std::memory_order_relaxed) > 1;
}

std::size_t PlistValue::blockBytes(Type type)
{
    switch (type) {
    case Type::String: return sizeof(BoxOf<std::string>);
    case Type::Data: return sizeof(BoxOf<PlistData>);
    case Type::Array: return sizeof(BoxOf<PlistArray>);
    case Type::Dictionary: return sizeof(BoxOf<PlistDictionary>);
    default: return 0;
    }
}

PlistValue::Box* PlistValue::unshared()
{
    if (m_box->refs.load(std::memory_order_acquire) != 1) {
        // Other values share the block: this one takes a copy of its own.
        Box* own = nullptr;
        if (m_tag == Tag::Array)
            own = new BoxOf<PlistArray>(static_cast<BoxOf<PlistArray>*>(m_box)->value);
        else
            own = new BoxOf<PlistDictionary>(static_cast<BoxOf<PlistDictionary>*>(m_box)->value);
        release();
        m_box = own;
    }
    m_box->unshareable = true;
    return m_box;
}

const std::string* PlistValue::asString() const
{
    if (m_tag != Tag::String)
        return nullptr;
    return m_box ? &static_cast<BoxOf<std::string>*>(m_box)->value : &kEmptyString;
}

const PlistData* PlistValue::asData() const
{
    return m_tag == Tag::Data ? &static_cast<BoxOf<PlistData>*>(m_box)->value : nullptr;
}

const PlistArray* PlistValue::asArray() const
{
    return m_tag == Tag::Array ? &static_cast<BoxOf<PlistArray>*>(m_box)->value : nullptr;
}

PlistArray* PlistValue::asArray()
{
    return m_tag == Tag::Array ? &static_cast<BoxOf<PlistArray>*>(unshared())->value : nullptr;
}

const PlistDictionary* PlistValue::asDictionary() const
{
    return m_tag == Tag::Dictionary ? &static_cast<BoxOf<PlistDictionary>*>(m_box)->value : nullptr;
}

PlistDictionary* PlistValue::asDictionary()
{
    return m_tag == Tag::Dictionary ? &static_cast<BoxOf<PlistDictionary>*>(unshared())->value : nullptr;
}

// The pairs of blocks found equal so far, kept only for blocks that a walk may meet again.
struct PlistDictionary::Comparison {
    struct PairHash {
        std::size_t operator()(const std::pair<const void*, const void*>& pair) const
        {
            const std::hash<const void*> hash;
            return hash(pair.first) * 31 + hash(pair.second);
        }
    };
    std::unordered_set<std::pair<const void*, const void*>, PairHash> equal;
};

bool PlistValue::operator==(const PlistValue& other) const
{
    PlistDictionary::Comparison comparison;
    return equals(other, comparison);
}

bool PlistValue::equals(const PlistValue& other, PlistDictionary::Comparison& comparison) const
{
    if (m_tag != other.m_tag)
        return false;
    switch (m_tag) {
    case Tag::Integer: return m_integer == other.m_integer;
    case Tag::Unsigned: return m_unsigned == other.m_unsigned;
    case Tag::Real: return m_real == other.m_real;
    case Tag::Boolean: return m_boolean == other.m_boolean;
    case Tag::Date: return m_date == other.m_date;
    default: break;
    }
    if (m_box == other.m_box)
        return true;
    // A block that other values share may be met again in this walk: once found equal, the pair
    // is not compared again. A block of one owner is met once for each time its owner is.
    const bool mayComeAgain = isShared() || other.isShared();
    const std::pair<const void*, const void*> pair(m_box, other.m_box);
    if (mayComeAgain && comparison.equal.count(pair) != 0)
        return true;
    bool same = false;
    switch (m_tag) {
    case Tag::String: same = *asString() == *other.asString(); break;
    case Tag::Data: same = *asData() == *other.asData(); break;
    case Tag::Array: {
        const PlistArray& mine = *asArray();
        const PlistArray& theirs = *other.asArray();
        same = mine.size() == theirs.size();
        for (std::size_t i = 0; same && i < mine.size(); ++i)
            same = mine[i].equals(theirs[i], comparison);
        break;
    }
    default: same = asDictionary()->equals(*other.asDictionary(), comparison); break;
    }
    if (same && mayComeAgain)
        comparison.equal.insert(pair);
    return same;
}

bool PlistDictionary::operator==(const PlistDictionary& other) const
{
    Comparison comparison;
    return equals(other, comparison);
}

bool PlistDictionary::equals(const PlistDictionary& other, Comparison& comparison) const
{
    if (size() != other.size())
        return false;
    for (const Entry& entry : m_entries) {
        const PlistValue* theirs = other.find(*entry.key.asString());
        if (!theirs || !entry.value.equals(*theirs, comparison))
            return false;
    }
    return true;
}

}  // namespace platform
