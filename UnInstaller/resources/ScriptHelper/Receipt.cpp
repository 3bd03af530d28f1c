#include "UnInstaller/resources/ScriptHelper/Receipt.h"

namespace scripthelper {

const char* Receipt::kindWord(Item::Kind kind)
{
    switch (kind) {
    case Item::Kind::Folder:
        return "folder";
    case Item::Kind::Link:
        return "link";
    case Item::Kind::File:
        break;
    }
    return "file";
}

platform::PlistValue Receipt::toPlist() const
{
    platform::PlistArray array;
    array.reserve(items.size());
    for (const Item& item : items) {
        platform::PlistDictionary entry;
        entry.set("Path", item.path);
        entry.set("Kind", kindWord(item.kind));
        entry.set("Size", static_cast<std::int64_t>(item.size));
        if (item.kind != Item::Kind::Folder)
            entry.set("SHA256", item.sha256);
        entry.set("Owner", static_cast<std::int64_t>(item.owner));
        entry.set("Side", item.userSide ? "user" : "system");
        array.push_back(std::move(entry));
    }
    return array;
}

std::optional<std::vector<Receipt::Item>> Receipt::itemsFromPlist(const platform::PlistValue& value)
{
    const platform::PlistArray* array = value.asArray();
    if (array == nullptr)
        return std::nullopt;
    std::vector<Item> items;
    items.reserve(array->size());
    for (const platform::PlistValue& element : *array) {
        const platform::PlistDictionary* entry = element.asDictionary();
        const std::string* path = entry ? entry->stringForKey("Path") : nullptr;
        const std::string* kind = entry ? entry->stringForKey("Kind") : nullptr;
        const platform::PlistValue* size = entry ? entry->find("Size") : nullptr;
        const platform::PlistValue* owner = entry ? entry->find("Owner") : nullptr;
        if (path == nullptr || kind == nullptr || size == nullptr || size->asInteger() == nullptr ||
            *size->asInteger() < 0 || owner == nullptr || owner->asInteger() == nullptr || *owner->asInteger() < 0)
            return std::nullopt;
        Item item;
        item.path = *path;
        item.size = static_cast<std::uint64_t>(*size->asInteger());
        item.owner = static_cast<unsigned long>(*owner->asInteger());
        const std::string* side = entry->stringForKey("Side");
        item.userSide = side != nullptr && *side == "user";
        if (*kind == "folder") {
            item.kind = Item::Kind::Folder;
        } else if (*kind == "file" || *kind == "link") {
            item.kind = *kind == "file" ? Item::Kind::File : Item::Kind::Link;
            const std::string* sha = entry->stringForKey("SHA256");
            if (sha == nullptr)
                return std::nullopt;
            item.sha256 = *sha;
        } else {
            return std::nullopt;
        }
        items.push_back(std::move(item));
    }
    return items;
}

}  // namespace scripthelper
